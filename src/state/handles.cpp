#include "state/handles.h"

#include "index/sort.h"

namespace kesvar {

// Handles count up from 1. Past the top the count starts again at 1, and every range takes the
// first span of free handles from there on: no range holds 0 or runs past the top, none shares
// a handle with another live range, and the table stays sorted by first handle, so the binary
// search below holds at every wrap. Once the count has gone round, a row bound to a record
// released four billion handles ago may find the record that took its number again; that far
// apart a stale row cannot be told from a live one with 32 bits. A free span always exists:
// four billion live handles would need far more memory than a process has.

// Position of the last range that begins at or before `handle`, or -1.
static int32_t RangeAtOrBefore(uint32_t handle) {
    const Array<HandleRange>& t = gState.handles;
    return PartitionPoint(t.count, [&](int32_t i) { return t[i].first <= handle; }) - 1;
}

// The first handle from `from` on (from 1 past the top) that begins `n` handles none of which
// is 0 or a live range's.
static uint32_t FreeSpan(uint32_t from, uint32_t n) {
    uint32_t h = from == 0 ? 1 : from;
    for (;;) {
        if (h > UINT32_MAX - (n - 1)) {
            h = 1; // the span would run past the top
            continue;
        }
        int32_t i = RangeAtOrBefore(h + (n - 1));
        if (i < 0) return h;
        const HandleRange& r = gState.handles[i];
        // The ranges do not overlap: when the last one that begins inside or before the span
        // ends before it, so do all the others.
        if (r.first + uint32_t(r.count - 1) < h) return h;
        h = r.first + uint32_t(r.count);
        if (h == 0) h = 1;
    }
}

// Files `range` at its sorted place; the table has room for it.
static void InsertRange(const HandleRange& range) {
    Array<HandleRange>& t = gState.handles;
    const int32_t at = RangeAtOrBefore(range.first) + 1;
    memmove(&t.items[at + 1], &t.items[at], sizeof(HandleRange) * uint32_t(t.count - at));
    t.items[at] = range;
    ++t.count;
    gState.lastHandle = range.first + uint32_t(range.count - 1);
}

uint32_t OpenHandleRange(FirmRecord* firm) {
    if (!ArrayReserve(gState.handles, gState.handles.count + 1)) return 0;
    InsertRange(HandleRange{FreeSpan(gState.lastHandle + 1, 1), 1, firm});
    return gState.lastHandle;
}

void ExtendHandleRange(uint32_t* first) {
    Array<HandleRange>& t = gState.handles;
    const int32_t i = RangeAtOrBefore(*first);
    HandleRange range = t[i];
    const uint32_t next = range.first + uint32_t(range.count);
    if (next != 0 && (i + 1 == t.count || t[i + 1].first != next)) {
        ++t[i].count;
        gState.lastHandle = next;
        return;
    }
    // The range is being loaded, so no row holds its handles yet: it moves whole to a span with
    // room for one more.
    memmove(&t[i], &t[i + 1], sizeof(HandleRange) * uint32_t(t.count - i - 1));
    --t.count;
    range.count++;
    range.first = FreeSpan(next, uint32_t(range.count));
    InsertRange(range);
    *first = range.first;
}

void RetireHandleRange(uint32_t first) {
    if (first == 0) return;
    int32_t i = RangeAtOrBefore(first);
    if (i < 0 || gState.handles[i].first != first) return;
    Array<HandleRange>& t = gState.handles;
    memmove(&t[i], &t[i + 1], sizeof(HandleRange) * uint32_t(t.count - i - 1));
    --t.count;
}

bool FindHandle(uint32_t handle, FirmRecord** firm, int32_t* place) {
    if (handle == 0) return false;
    int32_t i = RangeAtOrBefore(handle);
    if (i < 0) return false;
    const HandleRange& r = gState.handles[i];
    if (handle - r.first >= uint32_t(r.count)) return false;
    *firm = r.firm;
    *place = int32_t(handle - r.first);
    return true;
}

void RetireAllHandles() {
    ArrayFree(gState.handles);
}

} // namespace kesvar
