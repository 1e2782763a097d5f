// The allocation module: the host's hooks when installed, the C runtime otherwise. The choice
// is made call by call, so a host may install only some of the hooks.
#include "memory/memory.h"

#include <stdlib.h>

namespace kesvar {

namespace {

// Kept here, not in the library state: that state is built of this module's arrays. Constant-
// initialised, so no constructor runs at load; touched only under the library lock.
struct MemoryHooks {
    KRAllocFunc alloc;
    KRFreeFunc free;
    KRReallocFunc realloc;
};
MemoryHooks gHooks = {nullptr, nullptr, nullptr};

} // namespace

void SetMemoryHooks(KRAllocFunc allocate, KRFreeFunc release, KRReallocFunc reallocate) {
    gHooks = {allocate, release, reallocate};
}

void* MemAlloc(uint32_t size) {
    if (gHooks.alloc) return gHooks.alloc(size);
    // malloc(0) may answer null; a zero-byte block is still a block to the caller.
    return malloc(size ? size : 1);
}

void MemFree(void* block) {
    if (!block) return;
    if (gHooks.free) {
        gHooks.free(block);
        return;
    }
    free(block);
}

void* MemRealloc(void* block, uint32_t size) {
    if (gHooks.realloc) return gHooks.realloc(block, size);
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
