// The allocation module: the host's hooks when installed, the C runtime otherwise. The choice
// is made call by call, so a host may install only some of the hooks.
#include "frame/memory.h"

#include <stdlib.h>

#include "frame/state.h"

namespace kesvar {

void SetMemoryHooks(KRAllocFunc allocate, KRFreeFunc release, KRReallocFunc reallocate) {
    gState.alloc = allocate;
    gState.free = release;
    gState.realloc = reallocate;
}

void* MemAlloc(uint32_t size) {
    if (gState.alloc) return gState.alloc(size);
    // malloc(0) may answer null; a zero-byte block is still a block to the caller.
    return malloc(size ? size : 1);
}

void MemFree(void* block) {
    if (!block) return;
    if (gState.free) {
        gState.free(block);
        return;
    }
    free(block);
}

void* MemRealloc(void* block, uint32_t size) {
    if (gState.realloc) return gState.realloc(block, size);
    return realloc(block, size ? size : 1);
}

char* DupString(const char* s) {
    size_t n = strlen(s);
    if (n >= 0xFFFFFFFFu) return nullptr;
    char* p = static_cast<char*>(MemAlloc(uint32_t(n + 1)));
    if (p) memcpy(p, s, n + 1);
    return p;
}

} // namespace kesvar
