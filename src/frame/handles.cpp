#include "frame/handles.h"

namespace kesvar {

// Position of `handle` in the table, or where it would go.
static int32_t Find(uint32_t handle, bool* found) {
    int32_t lo = 0, hi = gState.handles.count;
    while (lo < hi) {
        int32_t mid = lo + (hi - lo) / 2;
        uint32_t h = gState.handles[mid].handle;
        if (h == handle) {
            *found = true;
            return mid;
        }
        if (h < handle)
            lo = mid + 1;
        else
            hi = mid;
    }
    *found = false;
    return lo;
}

uint32_t IssueHandle(FirmSettings* record) {
    HandleSlot* slot = ArrayAppend(gState.handles);
    if (!slot) return 0;
    // Handles only grow (skipping 0), so appending keeps the table sorted; four billion
    // reloads within one process are out of reach.
    uint32_t h = gState.lastHandle + 1;
    if (h == 0) h = 1;
    gState.lastHandle = h;
    slot->handle = h;
    slot->record = record;
    return h;
}

void RetireHandle(uint32_t handle) {
    if (handle == 0) return;
    bool found = false;
    int32_t i = Find(handle, &found);
    if (found) {
        Array<HandleSlot>& t = gState.handles;
        memmove(&t[i], &t[i + 1], sizeof(HandleSlot) * uint32_t(t.count - i - 1));
        --t.count;
    }
}

FirmSettings* ResolveHandle(uint32_t handle) {
    if (handle == 0) return nullptr;
    bool found = false;
    int32_t i = Find(handle, &found);
    return found ? gState.handles[i].record : nullptr;
}

void RetireAllHandles() {
    ArrayFree(gState.handles);
}

} // namespace kesvar
