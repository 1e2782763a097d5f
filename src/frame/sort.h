// One sort for the library's arrays: a stable merge sort, so equal elements keep their order
// and the result is the same on every target (qsort's order of equal elements is not).
#ifndef KESVAR_FRAME_SORT_H
#define KESVAR_FRAME_SORT_H

#include <stdint.h>

namespace kesvar {

// Negative, zero or positive as a sorts before, with or after b.
typedef int (*ElementCompare)(const void* context, const void* a, const void* b);

// Sorts n elements of `size` bytes. `scratch` holds (n + 1) / 2 elements (ScratchFor); it is
// the only memory the sort needs.
void SortStable(void* items, int32_t n, uint32_t size, void* scratch, ElementCompare compare,
                const void* context);
// Bytes of scratch for n elements; false when beyond 32 bits.
bool ScratchFor(int32_t n, uint32_t size, uint32_t* bytes);

} // namespace kesvar

#endif
