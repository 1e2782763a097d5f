// Every byte the library owns comes from here, so a host that installs its memory hooks sees
// every block. Each missing hook falls back to the C runtime, call by call: a host may install
// only some of them.
#ifndef KESVAR_MEMORY_MEMORY_H
#define KESVAR_MEMORY_MEMORY_H

#include <stdint.h>
#include <string.h>

#include "kesvar.h"

namespace kesvar {

// Installs the host's hooks (KRSetMemoryManagement); any of them may be null.
void SetMemoryHooks(KRAllocFunc allocate, KRFreeFunc release, KRReallocFunc reallocate);

void* MemAlloc(uint32_t size);
// Null is ignored: it is not a block, and the host's hook never sees it.
void MemFree(void* block);
// Null block allocates. On failure returns null and the old block stays valid.
void* MemRealloc(void* block, uint32_t size);

// size * count as a hook size; false when it does not fit 32 bits.
inline bool ByteCount(uint32_t size, int32_t count, uint32_t* out) {
    if (count < 0) return false;
    uint64_t n = uint64_t(size) * uint64_t(count);
    if (n > 0xFFFFFFFFu) return false;
    *out = uint32_t(n);
    return true;
}

// The one growable array: a pointer, a 32-bit count and the slots allocated behind it.
//
// Appending grows the storage by half again (plus one), never by a single slot: a settings
// text of 100 000 lines would otherwise cost 100 000 reallocations of ever larger blocks, all
// under the library lock. What is built once and then only read (the lists of a loaded
// text) is shrunk back to its count with ArrayShrinkToFit, so the slack does not stay.
template <class T> struct Array {
    T* items = nullptr;
    int32_t count = 0;
    int32_t capacity = 0;

    T& operator[](int32_t i) { return items[i]; }
    const T& operator[](int32_t i) const { return items[i]; }
};

// Resizes the storage to exactly `slots` elements, which must not be fewer than the count.
// False on failure, with the array as it was.
template <class T> bool ArrayResize(Array<T>& a, int32_t slots) {
    uint32_t bytes;
    if (slots < a.count || !ByteCount(uint32_t(sizeof(T)), slots, &bytes)) return false;
    void* p = MemRealloc(a.items, bytes);
    if (!p) return false;
    a.items = static_cast<T*>(p);
    a.capacity = slots;
    return true;
}

// Makes room for at least `slots` elements, growing geometrically. False on failure, with the
// array as it was.
template <class T> bool ArrayReserve(Array<T>& a, int32_t slots) {
    if (slots <= a.capacity) return true;
    int64_t grown = int64_t(a.capacity) + a.capacity / 2 + 1;
    if (grown < slots) grown = slots;
    if (grown > INT32_MAX) grown = INT32_MAX;
    return ArrayResize(a, int32_t(grown));
}

// Grows the count by n and returns the first new element, zeroed; null on failure.
template <class T> T* ArrayAppendN(Array<T>& a, int32_t n) {
    if (n < 0 || a.count > INT32_MAX - n || !ArrayReserve(a, a.count + n)) return nullptr;
    T* first = &a.items[a.count];
    memset(static_cast<void*>(first), 0, sizeof(T) * uint32_t(n));
    a.count += n;
    return first;
}

// Grows the count by one and returns the new, zeroed element; null on failure.
template <class T> T* ArrayAppend(Array<T>& a) {
    return ArrayAppendN(a, 1);
}

// Gives the slack back. False when the hook refused the smaller block: the array keeps the
// larger one, which is still valid, and the caller reports the refusal like any other.
template <class T> bool ArrayShrinkToFit(Array<T>& a) {
    if (a.capacity == a.count) return true;
    if (a.count == 0) {
        MemFree(a.items);
        a = Array<T>();
        return true;
    }
    return ArrayResize(a, a.count);
}

// Releases the storage; the elements themselves own nothing here.
template <class T> void ArrayFree(Array<T>& a) {
    MemFree(a.items);
    a = Array<T>();
}

// Allocates one zeroed T; null on failure.
template <class T> T* NewZeroed() {
    void* p = MemAlloc(uint32_t(sizeof(T)));
    if (p) memset(p, 0, sizeof(T));
    return static_cast<T*>(p);
}

// A hint that `p` will be read soon; nothing where the compiler has no such hint.
inline void Prefetch(const void* p) {
#if defined(__GNUC__)
    __builtin_prefetch(p);
#else
    (void)p;
#endif
}

// Copy of a NUL-terminated string through the hooks; null on failure.
char* DupString(const char* s);

} // namespace kesvar

#endif
