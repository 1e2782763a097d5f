#include "index/sort.h"

#include <string.h>

#include "memory/memory.h"

namespace kesvar {

namespace {

struct Sorter {
    unsigned char* items;
    uint32_t size;
    unsigned char* scratch;
    ElementCompare compare;
    const void* context;

    unsigned char* At(int32_t i) const { return items + uint32_t(i) * size; }

    // Sorts [lo, hi): the left half is moved aside and merged back with the right half, which
    // stays in place; on ties the left element goes first.
    void Sort(int32_t lo, int32_t hi) {
        int32_t n = hi - lo;
        if (n < 2) return;
        int32_t mid = lo + n / 2;
        Sort(lo, mid);
        Sort(mid, hi);
        if (compare(context, At(mid - 1), At(mid)) <= 0) return; // already in order
        int32_t left = mid - lo;
        memcpy(scratch, At(lo), uint32_t(left) * size);
        int32_t a = 0, b = mid, out = lo;
        while (a < left && b < hi) {
            if (compare(context, At(b), scratch + uint32_t(a) * size) < 0) {
                memmove(At(out), At(b), size);
                ++b;
            } else {
                memcpy(At(out), scratch + uint32_t(a) * size, size);
                ++a;
            }
            ++out;
        }
        if (a < left) memcpy(At(out), scratch + uint32_t(a) * size, uint32_t(left - a) * size);
    }
};

} // namespace

void SortStable(void* items, int32_t n, uint32_t size, void* scratch, ElementCompare compare,
                const void* context) {
    Sorter s = {static_cast<unsigned char*>(items), size, static_cast<unsigned char*>(scratch),
                compare, context};
    s.Sort(0, n);
}

bool ScratchFor(int32_t n, uint32_t size, uint32_t* bytes) {
    return ByteCount(size, (n + 1) / 2, bytes);
}

} // namespace kesvar
