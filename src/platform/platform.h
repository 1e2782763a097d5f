// The small layer that stands in for the Windows CE calls. One file per concern, with a
// portable and a Windows variant of each.
#ifndef KESVAR_PLATFORM_PLATFORM_H
#define KESVAR_PLATFORM_PLATFORM_H

#include <stdint.h>

namespace kesvar {
namespace platform {

// What the library does when the process loads it: create the lock, nothing else.
void ProcessAttach();

// The library's one lock: recursive for its owner, waited for without a time limit.
void Lock();
void Unlock();

// The calling thread's last-error value.
void SetLastErrorCode(int32_t code);
int32_t GetLastErrorCode();

// Upper-cases n bytes of text in place as the ANSI code page does. False when the scratch
// buffer cannot be allocated (text unchanged).
bool UpperCaseText(char* text, uint32_t n);

// The ANSI code page settings texts are upper-cased by: 1252, or 1251 when built with
// KESVAR_CODEPAGE_1251.
#if defined(KESVAR_CODEPAGE_1251)
constexpr int32_t kCodePage = 1251;
#else
constexpr int32_t kCodePage = 1252;
#endif

// The portable code-page table of kCodePage.
unsigned char UpperCaseByte(unsigned char c);
const unsigned char* UpperCaseTable();                   // 256 bytes: UpperCaseByte of every byte
const unsigned char* UpperCaseTableOf(int32_t codePage); // 1251, else 1252, in every build

} // namespace platform
} // namespace kesvar

#endif
