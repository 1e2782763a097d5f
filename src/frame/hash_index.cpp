#include "frame/hash_index.h"

#include <string.h>

#include "frame/memory.h"

namespace kesvar {

namespace {

// At most 7 items in 10 slots: short probe paths, and a slot per item costs under six bytes.
uint32_t MaxItems(uint32_t capacity) {
    return uint32_t(uint64_t(capacity) * 7 / 10);
}

// Slots for `items` items; false when their bytes are beyond 32 bits.
bool SlotsFor(int32_t items, uint32_t* capacity) {
    uint64_t slots = uint64_t(items) * 10 / 7 + 2;
    if (slots < 4) slots = 4;
    if (slots > 0x30000000u) return false;
    *capacity = uint32_t(slots);
    return true;
}

void Place(HashIndex& h, uint32_t hash, int32_t item) {
    uint32_t s = HashHome(hash, h.capacity);
    while (h.slots[s] != -1)
        s = s + 1 == h.capacity ? 0 : s + 1;
    h.slots[s] = item;
    HashTags(h)[s] = HashTag(hash);
}

// Moves every item into a new block of `capacity` slots (and their tags after them).
bool Rebuild(HashIndex& h, uint32_t capacity, ItemHash hashOf, const void* owner) {
    HashIndex grown;
    grown.slots = static_cast<int32_t*>(MemAlloc(capacity * uint32_t(sizeof(int32_t) + 1)));
    if (!grown.slots) return false;
    grown.capacity = capacity;
    grown.count = h.count;
    memset(grown.slots, 0xFF, capacity * sizeof(int32_t));
    for (uint32_t s = 0; s < h.capacity; ++s)
        if (h.slots[s] != -1) Place(grown, hashOf(owner, h.slots[s]), h.slots[s]);
    MemFree(h.slots);
    h = grown;
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
    Place(h, hash, item);
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
        uint32_t home = HashHome(hashOf(owner, moving), h.capacity);
        // The item stays when its home lies cyclically in (hole, s].
        bool stays = hole <= s ? (hole < home && home <= s) : (hole < home || home <= s);
        if (stays) continue;
        h.slots[hole] = moving;
        HashTags(h)[hole] = HashTags(h)[s];
        hole = s;
    }
    h.slots[hole] = -1;
    --h.count;
}

void HashFree(HashIndex& h) {
    MemFree(h.slots);
    h = HashIndex();
}

// A multiply-by-33 pass over the bytes (a shift and an add each: codes are short and looked up
// often), then a finaliser that spreads every bit, since the slot is taken from the high bits of
// the product with the slot count.
uint32_t HashName(const char* s) {
    uint32_t h = 5381;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(s); *p; ++p) {
        unsigned char c = (*p >= 'A' && *p <= 'Z') ? static_cast<unsigned char>(*p + 32) : *p;
        h = h * 33 + c;
    }
    return Finish(h);
}

uint32_t HashCode(const char* s) {
    uint32_t h = 5381;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(s); *p; ++p)
        h = h * 33 + *p;
    return Finish(h);
}

uint32_t HashMix(uint32_t hash, uint32_t word) {
    return Finish(hash ^ (word * 0x9E3779B9u + 0x7F4A7C15u + (hash << 6) + (hash >> 2)));
}

} // namespace kesvar
