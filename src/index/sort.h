// One sort for the library's arrays: a stable merge sort, so equal elements keep their order
// and the result is the same on every target (qsort's order of equal elements is not).
#ifndef KESVAR_INDEX_SORT_H
#define KESVAR_INDEX_SORT_H

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

// The one binary search: how many of the positions 0 to n - 1 come first, for a `before(i)`
// that holds on a leading run of them and on none after it.
template <class Before> int32_t PartitionPoint(int32_t n, Before before) {
    int32_t lo = 0, hi = n;
    while (lo < hi) {
        const int32_t mid = lo + (hi - lo) / 2;
        if (before(mid))
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo;
}

} // namespace kesvar

#endif
