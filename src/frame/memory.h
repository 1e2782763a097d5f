// Every byte the library owns comes from here. The host's hooks are used when installed;
// each missing hook falls back to the C runtime, call by call.
#ifndef KESVAR_FRAME_MEMORY_H
#define KESVAR_FRAME_MEMORY_H

#include <stdint.h>
#include <string.h>

namespace kesvar {

void* MemAlloc(uint32_t size);
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

// The one growable array: a pointer and a 32-bit count. Storage is reallocated through the
// hooks to exactly the slots asked for, so growing by one reallocates by one.
template <class T> struct Array {
    T* items = nullptr;
    int32_t count = 0;

    T& operator[](int32_t i) { return items[i]; }
    const T& operator[](int32_t i) const { return items[i]; }
};

// Resizes the storage to `slots` elements (count is not changed). False on failure, with
// the array as it was.
template <class T> bool ArrayReserve(Array<T>& a, int32_t slots) {
    uint32_t bytes;
    if (!ByteCount(uint32_t(sizeof(T)), slots, &bytes)) return false;
    void* p = MemRealloc(a.items, bytes);
    if (!p) return false;
    a.items = static_cast<T*>(p);
    return true;
}

// Grows storage and count by one and returns the new, zeroed element; null on failure.
template <class T> T* ArrayAppend(Array<T>& a) {
    if (a.count == INT32_MAX || !ArrayReserve(a, a.count + 1)) return nullptr;
    T* slot = &a.items[a.count++];
    memset(static_cast<void*>(slot), 0, sizeof(T));
    return slot;
}

// Grows storage and count by n and returns the first new element, zeroed; null on failure.
template <class T> T* ArrayAppendN(Array<T>& a, int32_t n) {
    if (n < 0 || a.count > INT32_MAX - n || !ArrayReserve(a, a.count + n)) return nullptr;
    T* first = &a.items[a.count];
    memset(static_cast<void*>(first), 0, sizeof(T) * uint32_t(n));
    a.count += n;
    return first;
}

// Releases the storage; the elements themselves own nothing here.
template <class T> void ArrayFree(Array<T>& a) {
    MemFree(a.items);
    a.items = nullptr;
    a.count = 0;
}

// Allocates one zeroed T; null on failure.
template <class T> T* NewZeroed() {
    void* p = MemAlloc(uint32_t(sizeof(T)));
    if (p) memset(p, 0, sizeof(T));
    return static_cast<T*>(p);
}

// Copy of a NUL-terminated string through the hooks; null on failure.
char* DupString(const char* s);

} // namespace kesvar

#endif
