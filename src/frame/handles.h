// Row bindings are 32-bit handles, not pointers, so the row layout is the same on 32- and
// 64-bit hosts and a binding to a released or reloaded record is detected instead of followed.
#ifndef KESVAR_FRAME_HANDLES_H
#define KESVAR_FRAME_HANDLES_H

#include "frame/state.h"

namespace kesvar {

// Gives the record a fresh handle (stored in record->handle); false on allocation failure,
// with record->handle 0 and the table unchanged.
bool IssueHandle(FirmSettings* record);
// Forgets the record's handle (no-op for 0) and sets record->handle to 0. Never allocates.
void RetireHandle(FirmSettings* record);
// The live record of a handle, or null for 0 and for stale handles.
FirmSettings* ResolveHandle(uint32_t handle);
// Forgets every handle (after all records were released).
void RetireAllHandles();

} // namespace kesvar

#endif
