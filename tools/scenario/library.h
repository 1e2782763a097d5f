// The library as the tool opens it: initialised once per process through the tool's host.
#ifndef KESVAR_TOOLS_LIBRARY_H
#define KESVAR_TOOLS_LIBRARY_H

#include <stdint.h>

namespace kesvar_cli {

// Initialises the library with interface `version` on the process's first call (its state then
// lives as long as the process; a test may have initialised it before, then that counts as the
// first call). Every later call needs the same version. KR_ERR_NONE, or the code the library
// refused with (KR_ERR_STATE for another version).
int32_t OpenLibrary(int32_t version);

} // namespace kesvar_cli

#endif
