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

// The portable code-page table (1252 by default, 1251 with KESVAR_CODEPAGE_1251).
unsigned char UpperCaseByte(unsigned char c);
const unsigned char* UpperCaseTable();                   // 256 bytes: UpperCaseByte of every byte
const unsigned char* UpperCaseTableOf(int32_t codePage); // 1251, else 1252, in every build

} // namespace platform
} // namespace kesvar

#endif
