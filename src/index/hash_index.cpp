#include "index/hash_index.h"

#include <string.h>

#include "memory/memory.h"

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
    while (SlotItem(h, s) != -1)
        s = s + 1 == h.capacity ? 0 : s + 1;
    SetSlot(h, s, HashTag(hash), item);
}

// Moves every item into a new block of `capacity` slots.
bool Rebuild(HashIndex& h, uint32_t capacity, ItemHash hashOf, const void* owner) {
    HashIndex grown;
    grown.slots = static_cast<uint8_t*>(MemAlloc(capacity * kSlotBytes));
    if (!grown.slots) return false;
    grown.capacity = capacity;
    grown.count = h.count;
    memset(grown.slots, 0xFF, capacity * kSlotBytes); // every item -1
    for (uint32_t s = 0; s < h.capacity; ++s) {
        int32_t item = SlotItem(h, s);
        if (item != -1) Place(grown, hashOf(owner, item), item);
    }
    MemFree(h.slots);
    h = grown;
    return true;
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
        int32_t moving = SlotItem(h, s);
        if (moving == -1) break;
        uint32_t home = HashHome(hashOf(owner, moving), h.capacity);
        // The item stays when its home lies cyclically in (hole, s].
        bool stays = hole <= s ? (hole < home && home <= s) : (hole < home || home <= s);
        if (stays) continue;
        SetSlot(h, hole, SlotTag(h, s), moving);
        hole = s;
    }
    SetSlot(h, hole, 0xFF, -1);
    --h.count;
}

void HashFree(HashIndex& h) {
    MemFree(h.slots);
    h = HashIndex();
}

uint32_t HashMix(uint32_t hash, uint32_t word) {
    return HashFinish(hash ^ (word * 0x9E3779B9u + 0x7F4A7C15u + (hash << 6) + (hash >> 2)));
}

} // namespace kesvar
