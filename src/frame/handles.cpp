#include "frame/handles.h"

namespace kesvar {

// Handles only grow (skipping 0), and a range is opened only after the one before it has
// taken all its handles, so the ranges are sorted and do not overlap; four billion handles
// within one process are out of reach.
static uint32_t NextHandle() {
    uint32_t h = gState.lastHandle + 1;
    if (h == 0) h = 1;
    gState.lastHandle = h;
    return h;
}

// Position of the last range that begins at or before `handle`, or -1.
static int32_t RangeAtOrBefore(uint32_t handle) {
    int32_t lo = 0, hi = gState.handles.count;
    while (lo < hi) {
        int32_t mid = lo + (hi - lo) / 2;
        if (gState.handles[mid].first <= handle)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo - 1;
}

uint32_t OpenHandleRange(FirmRecord* firm) {
    HandleRange* range = ArrayAppend(gState.handles);
    if (!range) return 0;
    range->first = NextHandle();
    range->count = 1;
    range->firm = firm;
    return range->first;
}

uint32_t NextHandleInRange() {
    ++gState.handles[gState.handles.count - 1].count;
    return NextHandle();
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
