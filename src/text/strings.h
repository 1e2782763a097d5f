// The string helpers every layer shares: the case-folding name comparisons and the one
// bounded copy. In the comparisons only the ASCII letters A-Z fold (to a-z); every other
// byte compares by its unsigned value, like strcmp.
#ifndef KESVAR_TEXT_STRINGS_H
#define KESVAR_TEXT_STRINGS_H

#include <stdint.h>

namespace kesvar {

// The codes of the host's records and of settings texts (firm, client, security, class, trade
// account): at most kMaxCode characters and the NUL, kCodeSize bytes.
const int32_t kCodeSize = 13;
const int32_t kMaxCode = kCodeSize - 1;
// A board tag: at most kMaxTag characters and the NUL.
const int32_t kTagSize = 5;
const int32_t kMaxTag = kTagSize - 1;
// A listed security's code as the host receives it: at most 15 characters and the NUL.
const int32_t kHostCodeSize = 16;

// Difference of the folded bytes at the first mismatch, or at the end of a; 0 when equal.
int CompareNames(const char* a, const char* b);
// The same over at most n byte pairs; 0 when n <= 0.
int CompareNamePrefix(const char* a, const char* b, int32_t n);

// Copies at most n bytes of src, stopping at its NUL, and terminates dst (n + 1 bytes). The
// host's fixed-width fields may lack their NUL: n is then the field's width.
void CopyBounded(char* dst, const char* src, int32_t n);

} // namespace kesvar

#endif
