#include "frame/hash_index.h"

#include <string.h>

#include "frame/memory.h"

namespace kesvar {

namespace {

// At most 7 items in 10 slots: short probe paths, and a slot per item costs under six bytes.
uint32_t MaxItems(uint32_t capacity) {
    return uint32_t(uint64_t(capacity) * 7 / 10);
}

// Slots for `items` items; false when that is beyond 32 bits of bytes.
bool SlotsFor(int32_t items, uint32_t* capacity) {
    uint64_t slots = uint64_t(items) * 10 / 7 + 2;
    if (slots < 4) slots = 4;
    if (slots > 0x3FFFFFFFu) return false;
    *capacity = uint32_t(slots);
    return true;
}

uint32_t Home(uint32_t hash, uint32_t capacity) {
    return uint32_t((uint64_t(hash) * capacity) >> 32);
}

void Place(int32_t* slots, uint32_t capacity, uint32_t hash, int32_t item) {
    uint32_t s = Home(hash, capacity);
    while (slots[s] != -1)
        s = s + 1 == capacity ? 0 : s + 1;
    slots[s] = item;
}

// Moves every item into a new block of `capacity` slots.
bool Rebuild(HashIndex& h, uint32_t capacity, ItemHash hashOf, const void* owner) {
    int32_t* slots = static_cast<int32_t*>(MemAlloc(capacity * uint32_t(sizeof(int32_t))));
    if (!slots) return false;
    memset(slots, 0xFF, capacity * sizeof(int32_t));
    for (uint32_t s = 0; s < h.capacity; ++s)
        if (h.slots[s] != -1) Place(slots, capacity, hashOf(owner, h.slots[s]), h.slots[s]);
    MemFree(h.slots);
    h.slots = slots;
    h.capacity = capacity;
    return true;
}

uint32_t Finish(uint32_t h) {
    h ^= h >> 16;
    h *= 0x85EBCA6Bu;
    h ^= h >> 13;
    h *= 0xC2B2AE35u;
    h ^= h >> 16;
    return h;
}

} // namespace

bool HashReserve(HashIndex& h, int32_t items, ItemHash hashOf, const void* owner) {
    if (items < 0) return false;
    if (h.slots && uint32_t(items) <= MaxItems(h.capacity)) return true;
    // Room for twice the items held when that is more: an index grown a little at a time
    // rebuilds itself only a few times (a first reservation takes the exact room).
    int32_t target =
        h.count > items / 2 ? (h.count > INT32_MAX / 2 ? INT32_MAX : h.count * 2) : items;
    uint32_t capacity;
    return SlotsFor(target, &capacity) && Rebuild(h, capacity, hashOf, owner);
}

bool HashInsert(HashIndex& h, uint32_t hash, int32_t item, ItemHash hashOf, const void* owner) {
    if (h.count == INT32_MAX || !HashReserve(h, h.count + 1, hashOf, owner)) return false;
    Place(h.slots, h.capacity, hash, item);
    ++h.count;
    return true;
}

void HashRemove(HashIndex& h, uint32_t hash, int32_t item, ItemHash hashOf, const void* owner) {
    HashProbe p = HashStart(h, hash);
    int32_t found;
    while ((found = HashNext(p)) != -1 && found != item) {
    }
    if (found == -1) return;
    // Backward shift: every item after the hole that may move into it does, so no probe path
    // is cut short by the empty slot.
    uint32_t hole = p.last;
    for (uint32_t s = hole;;) {
        s = s + 1 == h.capacity ? 0 : s + 1;
        int32_t moving = h.slots[s];
        if (moving == -1) break;
        uint32_t home = Home(hashOf(owner, moving), h.capacity);
        // The item stays when its home lies cyclically in (hole, s].
        bool stays = hole <= s ? (hole < home && home <= s) : (hole < home || home <= s);
        if (stays) continue;
        h.slots[hole] = moving;
        hole = s;
    }
    h.slots[hole] = -1;
    --h.count;
}

void HashFree(HashIndex& h) {
    MemFree(h.slots);
    h = HashIndex();
}

HashProbe HashStart(const HashIndex& h, uint32_t hash) {
    HashProbe p;
    p.index = &h;
    p.slot = h.capacity ? Home(hash, h.capacity) : 0;
    p.last = 0;
    p.visited = 0;
    return p;
}

int32_t HashNext(HashProbe& p) {
    const HashIndex& h = *p.index;
    if (p.visited >= h.capacity) return -1;
    int32_t item = h.slots[p.slot];
    if (item == -1) {
        p.visited = h.capacity; // the path ends at its first empty slot
        return -1;
    }
    p.last = p.slot;
    p.slot = p.slot + 1 == h.capacity ? 0 : p.slot + 1;
    ++p.visited;
    return item;
}

void HashReplace(HashIndex& h, const HashProbe& p, int32_t item) {
    h.slots[p.last] = item;
}

int32_t HashFind(const HashIndex& h, uint32_t hash, ItemMatches matches, const void* owner,
                 const void* key) {
    HashProbe p = HashStart(h, hash);
    for (int32_t item; (item = HashNext(p)) != -1;)
        if (matches(owner, item, key)) return item;
    return -1;
}

// FNV-1a over the bytes, then a finaliser: the slot is taken from the high bits of the product
// with the slot count, which the finaliser spreads.
uint32_t HashName(const char* s) {
    uint32_t h = 2166136261u;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(s); *p; ++p) {
        unsigned char c = (*p >= 'A' && *p <= 'Z') ? static_cast<unsigned char>(*p + 32) : *p;
        h = (h ^ c) * 16777619u;
    }
    return Finish(h);
}

uint32_t HashCode(const char* s) {
    uint32_t h = 2166136261u;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(s); *p; ++p)
        h = (h ^ *p) * 16777619u;
    return Finish(h);
}

uint32_t HashMix(uint32_t hash, uint32_t word) {
    return Finish(hash ^ (word * 0x9E3779B9u + 0x7F4A7C15u + (hash << 6) + (hash >> 2)));
}

} // namespace kesvar
