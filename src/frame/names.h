// Name comparisons shared by every subsystem. Only the ASCII letters A-Z fold (to a-z);
// every other byte compares by its unsigned value.
#ifndef KESVAR_FRAME_NAMES_H
#define KESVAR_FRAME_NAMES_H

#include <stdint.h>

namespace kesvar {

// Difference of the folded bytes at the first mismatch, or at the end of a; 0 when equal.
int nameEquals(const char* a, const char* b);
// The same over at most n byte pairs; 0 when n <= 0.
int namePrefixEquals(const char* a, const char* b, int32_t n);

} // namespace kesvar

#endif
