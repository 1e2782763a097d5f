// The one hash index of the library: open addressing with linear probing over the numbers of
// items that the caller keeps in an array of its own. The index stores no keys, so a slot costs
// five bytes (eight bits of the item's hash, then its number, side by side so that a probe
// reads one cache line): the caller hashes its key, walks the items whose slots the hash leads
// to, and decides itself which of them match. The eight bits spare it almost every look at an
// item of another key. That also lets one index answer "the first item of this key" (the
// caller inserts only what is not there yet) and "every item of this key" (it inserts them all
// and walks every match).
//
// Slots are placed by multiplying the hash by the slot count (no power of two needed, so an
// index built for n items takes about n / 0.7 slots, not up to twice that). Growth goes through
// the memory hooks; an index that cannot grow stays as it was.
#ifndef KESVAR_INDEX_HASH_INDEX_H
#define KESVAR_INDEX_HASH_INDEX_H

#include <stdint.h>
#include <string.h>

#include "memory/memory.h"

namespace kesvar {

struct HashIndex {
    uint8_t* slots = nullptr; // kSlotBytes each: a tag, then an item number (-1: empty)
    uint32_t capacity = 0;    // slots
    int32_t count = 0;        // items
};

const uint32_t kSlotBytes = 5;

// The eight bits of a hash that its slot keeps.
inline uint8_t HashTag(uint32_t hash) {
    return uint8_t(hash);
}
inline uint8_t SlotTag(const HashIndex& h, uint32_t s) {
    return h.slots[s * kSlotBytes];
}
inline int32_t SlotItem(const HashIndex& h, uint32_t s) {
    int32_t item;
    memcpy(&item, h.slots + s * kSlotBytes + 1, sizeof item);
    return item;
}
inline void SetSlot(HashIndex& h, uint32_t s, uint8_t tag, int32_t item) {
    h.slots[s * kSlotBytes] = tag;
    memcpy(h.slots + s * kSlotBytes + 1, &item, sizeof item);
}

// The hash of an item already in the index, so that growing can place it again.
typedef uint32_t (*ItemHash)(const void* owner, int32_t item);
// Whether an item has the key the caller looks for.
typedef bool (*ItemMatches)(const void* owner, int32_t item, const void* key);

// Makes room for `items` items in all, so that inserting up to that many never allocates.
// False on failure, with the index as it was.
bool HashReserve(HashIndex& h, int32_t items, ItemHash hashOf, const void* owner);
// Adds an item under `hash`, growing when needed. False on failure (index as it was).
bool HashInsert(HashIndex& h, uint32_t hash, int32_t item, ItemHash hashOf, const void* owner);
// Takes an item out; the others stay findable. Never allocates.
void HashRemove(HashIndex& h, uint32_t hash, int32_t item, ItemHash hashOf, const void* owner);
// Forgets every item and gives the slots back.
void HashFree(HashIndex& h);

// The items on the probe path of a hash, in probe order: those stored under that hash are
// among them (with others that merely share their slots). Inline: lookups walk it on every
// position of a row.
struct HashProbe {
    const HashIndex* index;
    uint32_t slot;    // the slot HashNext reads next
    uint32_t last;    // the slot of the item HashNext returned last
    uint32_t visited; // slots read so far, so that a full index still ends
    uint8_t tag;      // items of other tags are passed over
};

// The slot a hash starts from: the high half of its product with the slot count.
inline uint32_t HashHome(uint32_t hash, uint32_t capacity) {
    return uint32_t((uint64_t(hash) * capacity) >> 32);
}

inline HashProbe HashStart(const HashIndex& h, uint32_t hash) {
    HashProbe p;
    p.index = &h;
    p.slot = h.capacity ? HashHome(hash, h.capacity) : 0;
    p.last = 0;
    p.visited = 0;
    p.tag = HashTag(hash);
    return p;
}

// The next item on the path whose tag is the hash's, or -1 when the path ends (at its first
// empty slot).
inline int32_t HashNext(HashProbe& p) {
    const HashIndex& h = *p.index;
    while (p.visited < h.capacity) {
        int32_t item = SlotItem(h, p.slot);
        if (item == -1) break;
        bool tagged = SlotTag(h, p.slot) == p.tag;
        p.last = p.slot;
        p.slot = p.slot + 1 == h.capacity ? 0 : p.slot + 1;
        ++p.visited;
        if (tagged) return item;
    }
    p.visited = h.capacity;
    return -1;
}

// Puts `item` in the slot of the item HashNext returned last (an item of the same hash).
inline void HashReplace(HashIndex& h, const HashProbe& p, int32_t item) {
    SetSlot(h, p.last, p.tag, item);
}

// Asks the processor to fetch the slots where the path of `hash` starts. A caller with many
// lookups to make asks for all their slots first, so that the memory reads overlap instead of
// following one another.
inline void HashPrefetch(const HashIndex& h, uint32_t hash) {
    if (h.capacity == 0) return;
    Prefetch(h.slots + HashHome(hash, h.capacity) * kSlotBytes);
}

// The first item on the path of `hash` that matches `key`, or -1.
inline int32_t HashFind(const HashIndex& h, uint32_t hash, ItemMatches matches, const void* owner,
                        const void* key) {
    HashProbe p = HashStart(h, hash);
    for (int32_t item; (item = HashNext(p)) != -1;)
        if (matches(owner, item, key)) return item;
    return -1;
}

// Spreads every bit of a hash over all the others: the slot is taken from the high bits of the
// product with the slot count.
inline uint32_t HashFinish(uint32_t h) {
    h ^= h >> 16;
    h *= 0x85EBCA6Bu;
    h ^= h >> 13;
    h *= 0xC2B2AE35u;
    h ^= h >> 16;
    return h;
}

// The hash of a code's first sixteen bytes, those from its NUL on zero, taken as two words.
inline uint32_t HashWords(uint64_t w0, uint64_t w1) {
    uint64_t h =
        (w0 * 0x9E3779B97F4A7C15ull) ^ ((w1 + 0x632BE59BD9B4E019ull) * 0xC2B2AE3D27D4EB4Full);
    return HashFinish(uint32_t(h ^ (h >> 32)));
}

// Hashes of the library's keys. HashCode takes the bytes as they are: a code's first sixteen
// bytes a word at a time (HashWords, so that a code already padded to sixteen bytes hashes
// without a pass over its bytes: PaddedCode), the rest of a longer one byte by byte. HashName
// folds A-Z to a-z, as CompareNames does, so names that compare equal hash alike: a
// multiply-by-33 pass (a shift and an add a byte), then HashFinish.
inline uint32_t HashCode(const char* s) {
    unsigned char head[16] = {};
    int32_t n = 0;
    for (; n < 16 && s[n]; ++n)
        head[n] = static_cast<unsigned char>(s[n]);
    uint64_t w0, w1;
    memcpy(&w0, head, 8);
    memcpy(&w1, head + 8, 8);
    uint32_t h = HashWords(w0, w1);
    if (n < 16) return h;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(s) + 16; *p; ++p)
        h = h * 33 + *p;
    return HashFinish(h);
}
inline uint32_t HashName(const char* s) {
    uint32_t h = 5381;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(s); *p; ++p) {
        unsigned char c = (*p >= 'A' && *p <= 'Z') ? static_cast<unsigned char>(*p + 32) : *p;
        h = h * 33 + c;
    }
    return HashFinish(h);
}

// A code of at most 15 characters in sixteen bytes, zero from its NUL on: hashed and compared a
// word at a time, for the lookups made on every position of a row.
struct PaddedCode {
    char text[16];
};
inline uint32_t HashPadded(const PaddedCode& c) {
    uint64_t w0, w1;
    memcpy(&w0, c.text, 8);
    memcpy(&w1, c.text + 8, 8);
    return HashWords(w0, w1);
}
// Whether a code kept zero-padded in a field of at least sixteen bytes equals a padded code.
inline bool SamePadded(const char* field, const PaddedCode& c) {
    return memcmp(field, c.text, 16) == 0;
}

// Mixes further words into a hash (for keys of several parts).
uint32_t HashMix(uint32_t hash, uint32_t word);

} // namespace kesvar

#endif
