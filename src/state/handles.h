// Row bindings are 32-bit handles, not pointers, so the row layout is the same on 32- and
// 64-bit hosts and a binding to a released or reloaded record is detected instead of followed.
// Each load of a firm takes one range of consecutive handles: the firm record's first, then its
// client records' as they are attached. Retiring a load is then one step, however many clients
// it had.
#ifndef KESVAR_STATE_HANDLES_H
#define KESVAR_STATE_HANDLES_H

#include "state/state.h"

namespace kesvar {

// Opens the range of a new load: the firm's own handle, never 0 or a live one; 0 when the table
// cannot grow (nothing changed then).
uint32_t OpenHandleRange(FirmRecord* firm);
// One more handle for the range that begins with *first, which is being loaded (no row holds
// its handles yet), for the client record attached next. Where the next handle is 0 or
// another range's, the range moves whole and *first is its new first handle. Never allocates.
void ExtendHandleRange(uint32_t* first);
// Forgets the range that begins with `first`; 0 is a no-op. Never allocates.
void RetireHandleRange(uint32_t first);
// The load a handle belongs to and its place in the range (0: the firm record, k: the client
// record attached k-th); false for 0 and for stale handles.
bool FindHandle(uint32_t handle, FirmRecord** firm, int32_t* place);
// Forgets every handle (after all records were released).
void RetireAllHandles();

} // namespace kesvar

#endif
