// Row bindings are 32-bit handles, not pointers, so the row layout is the same on 32- and
// 64-bit hosts and a binding to a released or reloaded record is detected instead of followed.
#ifndef KESVAR_FRAME_HANDLES_H
#define KESVAR_FRAME_HANDLES_H

#include "frame/state.h"

namespace kesvar {

// A fresh handle naming `record`; 0 when the table cannot grow (nothing changed then).
uint32_t IssueHandle(FirmSettings* record);
// Forgets a handle; 0 is a no-op. Never allocates.
void RetireHandle(uint32_t handle);
// The live record of a handle, or null for 0 and for stale handles.
FirmSettings* ResolveHandle(uint32_t handle);
// Forgets every handle (after all records were released).
void RetireAllHandles();

} // namespace kesvar

#endif
