// Joins the settings lists to the registry. A load links its firm from scratch; a new class
// changes only what it touches: the entries that name it, its place in each firm's class order
// and the indexes of the lists those entries belong to. That work is all or nothing: every
// block it needs is taken before any link changes, so a failed KRAddClass can take the class
// back and leave every firm as it was.
#include "links/links.h"

#include <string.h>

#include "index/sort.h"
#include "registry/registry.h"

namespace kesvar {

namespace {

// Byte offset of ",code," in the order text, or -1 when the text does not name the class.
int32_t OrderPosition(const char* text, int32_t classIndex) {
    char needle[sizeof(KRClass::code) + 2];
    needle[0] = ',';
    size_t len = strlen(ClassAt(classIndex)->cls.code);
    memcpy(needle + 1, ClassAt(classIndex)->cls.code, len);
    needle[len + 1] = ',';
    needle[len + 2] = 0;
    const char* at = strstr(text, needle);
    return at ? int32_t(at - text) : -1;
}

// Where a class sorts: named classes by where the text names them, the others after them all.
int32_t OrderKey(const FirmRecord* firm, int32_t classIndex) {
    int32_t at = firm->classTextPos[classIndex];
    return at < 0 ? INT32_MAX : at;
}

int ComparePending(const void* context, const void* a, const void* b) {
    const FirmRecord* firm = static_cast<const FirmRecord*>(context);
    const int32_t ca = firm->entries[*static_cast<const int32_t*>(a)].classCode;
    const int32_t cb = firm->entries[*static_cast<const int32_t*>(b)].classCode;
    // A class code is pooled once per load: the same code is the same offset.
    return ca == cb ? 0 : strcmp(firm->codes.items + ca, firm->codes.items + cb);
}

// Sorts an array of int32 with a stable sort (equal elements keep their order).
bool SortInts(Array<int32_t>& a, ElementCompare compare, const FirmRecord* firm) {
    if (a.count < 2) return true;
    uint32_t bytes;
    void* scratch = nullptr;
    if (!ScratchFor(a.count, uint32_t(sizeof(int32_t)), &bytes) ||
        (scratch = MemAlloc(bytes)) == nullptr)
        return false;
    SortStable(a.items, a.count, uint32_t(sizeof(int32_t)), scratch, compare, firm);
    MemFree(scratch);
    return true;
}

int CompareInts(const void*, const void* a, const void* b) {
    int32_t x = *static_cast<const int32_t*>(a), y = *static_cast<const int32_t*>(b);
    return x < y ? -1 : x > y ? 1 : 0;
}

// Where the firm's text names each class: its class order.
bool LinkClassOrder(FirmRecord* firm) {
    const int32_t n = ClassCount();
    if (!ArrayReserve(firm->classTextPos, n)) return false;
    for (int32_t classIndex = 0; classIndex < n; ++classIndex)
        firm->classTextPos.items[classIndex] = OrderPosition(firm->mainMarginClasses, classIndex);
    firm->classTextPos.count = n;
    return true;
}

// The entries still unresolved, by class code: a new class finds its own among them.
bool LinkPending(FirmRecord* firm) {
    for (int32_t e = 0; e < firm->entries.count; ++e) {
        if (firm->entries[e].classIndex != -1) continue;
        int32_t* slot = ArrayAppend(firm->pending);
        if (!slot) return false;
        *slot = e;
    }
    return SortInts(firm->pending, ComparePending, firm) && ArrayShrinkToFit(firm->pending);
}

// The first and one past the last pending entry of a class code.
void PendingGroup(const FirmRecord* firm, const char* code, int32_t* begin, int32_t* end) {
    const Array<int32_t>& p = firm->pending;
    auto order = [&](int32_t i) {
        return strcmp(firm->codes.items + firm->entries[p[i]].classCode, code);
    };
    *begin = PartitionPoint(p.count, [&](int32_t i) { return order(i) < 0; });
    *end = PartitionPoint(p.count, [&](int32_t i) { return order(i) <= 0; });
}

uint32_t ItemHash(const void*, int32_t item) {
    return ListItemHash(SecurityAt(ItemSecurity(item))->sec.code);
}

// Files security s under its code, once: marked when an entry that names it is the first of its
// class in the list, and marked, with every other such security of the same code, when that
// code is shared. The room was reserved.
void AddItem(HashIndex& items, int32_t s, bool firstOfClass, uint32_t hash) {
    const char* code = SecurityAt(s)->sec.code;
    int32_t flags = firstOfClass ? kFirstOfClass : 0;
    bool have = false;
    HashProbe p = HashStart(items, hash);
    for (int32_t item; (item = HashNext(p)) != -1;) {
        const int32_t other = ItemSecurity(item);
        if (other == s) {
            have = true;
            flags |= ItemFlags(item);
            HashReplace(items, p, ListItem(s, flags)); // shared may be set below: again then
        } else if (firstOfClass && (ItemFlags(item) & kFirstOfClass) &&
                   strcmp(SecurityAt(other)->sec.code, code) == 0) {
            flags |= kCodeShared;
            HashReplace(items, p, item | kCodeShared);
        }
    }
    if (!have) {
        HashInsert(items, hash, ListItem(s, flags), ItemHash, nullptr);
        return;
    }
    // The item is there: write its flags once more, now that the whole path has been seen.
    p = HashStart(items, hash);
    for (int32_t item; (item = HashNext(p)) != -1;) {
        if (ItemSecurity(item) == s) {
            HashReplace(items, p, ListItem(s, flags));
            return;
        }
    }
}

// How many items an entry may add to its list's index: every security it names, and the
// expansion of "<ALL>" when it is the first entry of its class (other "<ALL>" entries count
// by class alone).
int32_t ItemsOf(const ClassSecurityList& e, bool firstOfClass, int32_t expansion) {
    if (!e.allSecurities) return e.securityCount;
    return firstOfClass ? expansion : 0;
}

// Adds securities to a list's index in batches: the slots of a batch are asked for before any
// is written, so that their memory reads overlap.
struct ItemBatch {
    static const int32_t kSize = 16;
    HashIndex* items;
    bool firstOfClass;
    int32_t n;
    int32_t secs[kSize];
    uint32_t hashes[kSize];

    void Add(int32_t s) {
        secs[n] = s;
        hashes[n] = ListItemHash(SecurityAt(s)->sec.code);
        HashPrefetch(*items, hashes[n]);
        if (++n == kSize) Flush();
    }
    void Flush() {
        for (int32_t i = 0; i < n; ++i)
            AddItem(*items, secs[i], firstOfClass, hashes[i]);
        n = 0;
    }
};

// Adds the resolved securities of an entry to its list's index (the room was reserved). A long
// entry that names much of its class is taken in registry order, so that the registry is read
// front to back instead of at random; that needs a block, and so only when `mayAllocate`.
bool IndexEntry(ListIndex* li, const FirmRecord* firm, const ClassSecurityList& e,
                bool firstOfClass, bool mayAllocate) {
    const ListedSecurity* secs = firm->securities.items + e.firstSecurity;
    if (e.allSecurities) {
        Array<int32_t>& all = li->allClasses;
        if (all.count == 0 || all[all.count - 1] != e.classIndex)
            all.items[all.count++] = e.classIndex;
        if (!firstOfClass) return true; // the class answers for its securities by index
    }
    const ClassEntry* classEntry = ClassAt(e.classIndex);
    const int32_t n = e.securityCount;
    if (mayAllocate && !e.allSecurities && classEntry->securityCount > 0 && n >= 64 &&
        int64_t(n) * 8 >= classEntry->securityCount) {
        uint32_t bytes = uint32_t(classEntry->securityCount + 7) / 8;
        uint8_t* named = static_cast<uint8_t*>(MemAlloc(bytes));
        if (!named) return false;
        memset(named, 0, bytes);
        for (int32_t k = 0; k < n; ++k) {
            int32_t at = secs[k].ref - classEntry->firstSecurity;
            if (secs[k].ref >= 0) named[at / 8] = uint8_t(named[at / 8] | (1 << (at % 8)));
        }
        ItemBatch batch = {&li->items, firstOfClass, 0, {}, {}};
        for (int32_t at = 0; at < classEntry->securityCount; ++at)
            if (named[at / 8] & (1 << (at % 8))) batch.Add(classEntry->firstSecurity + at);
        batch.Flush();
        MemFree(named);
        return true;
    }
    ItemBatch batch = {&li->items, firstOfClass, 0, {}, {}};
    for (int32_t k = 0; k < n; ++k)
        if (secs[k].ref >= 0) batch.Add(secs[k].ref);
    batch.Flush();
    return true;
}

// Whether a list is long enough to be indexed, or may become so ("<ALL>" expands when its
// class arrives); the others are scanned and stay short.
bool NeedsIndex(const FirmRecord* firm, int32_t first, int32_t count) {
    if (count > kScanLimit) return true;
    int32_t securities = 0;
    for (int32_t k = 0; k < count; ++k) {
        const ClassSecurityList& e = firm->entries[first + k];
        if (e.allSecurities) return true;
        securities += e.securityCount;
    }
    return securities > kScanLimit;
}

uint32_t EntryClassHash(const void* f, int32_t e) {
    return HashMix(0x434C4153u, uint32_t(static_cast<const FirmRecord*>(f)->entries[e].classCode));
}

bool SameClassCode(const void* f, int32_t e, const void* code) {
    return static_cast<const FirmRecord*>(f)->entries[e].classCode ==
           *static_cast<const int32_t*>(code);
}

// Builds the index of the list [first, first + count) of the firm's pool.
bool BuildListIndex(FirmRecord* firm, int32_t first, int32_t count, ListIndex* li) {
    // Which entries are the first of their class in the list: only those answer by code.
    HashIndex classes;
    if (!HashReserve(classes, count, EntryClassHash, firm)) return false;
    int64_t items = 0;
    int32_t all = 0;
    for (int32_t e = first; e < first + count; ++e) {
        const ClassSecurityList& en = firm->entries[e];
        const int32_t code = en.classCode;
        const uint32_t h = HashMix(0x434C4153u, uint32_t(code));
        bool firstOfClass = HashFind(classes, h, SameClassCode, firm, &code) < 0;
        if (firstOfClass) HashInsert(classes, h, e, EntryClassHash, firm);
        if (en.classIndex < 0) continue;
        // A resolved "<ALL>" entry holds its expansion already.
        items += ItemsOf(en, firstOfClass, en.securityCount);
        all += en.allSecurities;
    }
    bool ok = items <= INT32_MAX &&
              (items == 0 || HashReserve(li->items, int32_t(items), ItemHash, nullptr)) &&
              ArrayReserve(li->allClasses, all);
    for (int32_t e = first; ok && e < first + count; ++e) {
        const ClassSecurityList& en = firm->entries[e];
        if (en.classIndex < 0) continue;
        const int32_t code = en.classCode;
        const bool firstOfClass = HashFind(classes, HashMix(0x434C4153u, uint32_t(code)),
                                           SameClassCode, firm, &code) == e;
        ok = IndexEntry(li, firm, en, firstOfClass, true);
    }
    // Ascending, for the binary search.
    ok = ok && SortInts(li->allClasses, CompareInts, nullptr);
    if (ok) {
        Array<int32_t>& a = li->allClasses;
        int32_t kept = 0;
        for (int32_t i = 0; i < a.count; ++i)
            if (kept == 0 || a[kept - 1] != a[i]) a[kept++] = a[i];
        a.count = kept;
    }
    HashFree(classes);
    return ok;
}

void FreeListIndex(ListIndex& li) {
    HashFree(li.items);
    ArrayFree(li.allClasses);
}

// Indexes the long lists of the firm and its clients (template clients share theirs).
bool LinkListIndexes(FirmRecord* firm) {
    const FirmSettings* previous = nullptr;
    for (int32_t r = -1; r < firm->clients.count; ++r) {
        const FirmSettings* settings = r < 0 ? firm : &firm->clients[r];
        if (previous && previous->firstEntry == settings->firstEntry &&
            memcmp(previous->listCount, settings->listCount, sizeof settings->listCount) == 0)
            continue; // the same lists as the record before: a client of the same template
        previous = settings;
        for (int32_t kind = 0; kind < kListKinds; ++kind) {
            SecurityList list = ListOf(settings, kind);
            if (list.count == 0 || !NeedsIndex(firm, list.firstEntry, list.count)) continue;
            ListIndex* li = ArrayAppend(firm->listIndexes);
            if (!li) return false;
            li->firstEntry = list.firstEntry;
            li->entryCount = list.count;
            if (!BuildListIndex(firm, list.firstEntry, list.count, li)) {
                FreeListIndex(*li);
                firm->listIndexes.count--;
                return false;
            }
        }
    }
    // The indexes come in pool order (the firm's lists, then each client's in attach order,
    // each record's grouped by kind), the order ListIndexOfEntry's search needs.
    Array<ListIndex>& all = firm->listIndexes;
    return ArrayShrinkToFit(all);
}

bool LinkFirm(FirmRecord* firm) {
    return LinkClassOrder(firm) && LinkPending(firm) && LinkListIndexes(firm);
}

// The index of the list that holds entry e, or null (the list is scanned).
ListIndex* ListIndexOfEntry(FirmRecord* firm, int32_t e) {
    const int32_t lo = PartitionPoint(
        firm->listIndexes.count, [&](int32_t i) { return firm->listIndexes[i].firstEntry <= e; });
    if (lo == 0) return nullptr;
    ListIndex* li = &firm->listIndexes[lo - 1];
    return e < li->firstEntry + li->entryCount ? li : nullptr;
}

// The pending entries of the new class, one list after another (they are in pool order).
struct NewClassWork {
    int32_t begin, end; // in f->pending
};

// Takes every block the new class will need in the firm; false on failure (the firm's links
// unchanged, only some arrays larger).
bool ReserveForClass(FirmRecord* firm, int32_t classIndex, NewClassWork* w) {
    const int32_t n = ClassCount();
    if (!ArrayReserve(firm->classTextPos, n)) return false;
    PendingGroup(firm, ClassAt(classIndex)->cls.code, &w->begin, &w->end);
    int64_t room = 0;
    for (int32_t g = w->begin; g < w->end; ++g)
        room += ExpansionOf(firm->entries[firm->pending[g]], classIndex);
    if (room > INT32_MAX - firm->securities.count ||
        !ArrayReserve(firm->securities, firm->securities.count + int32_t(room)))
        return false;
    // Index room, list by list: the first entry of the class in a list answers by code.
    const int32_t classSecurities = ClassAt(classIndex)->securityCount;
    for (int32_t g = w->begin; g < w->end;) {
        ListIndex* li = ListIndexOfEntry(firm, firm->pending[g]);
        int64_t items = 0;
        int32_t all = 0;
        for (bool first = true; g < w->end && ListIndexOfEntry(firm, firm->pending[g]) == li;
             ++g, first = false) {
            const ClassSecurityList& e = firm->entries[firm->pending[g]];
            items += ItemsOf(e, first, classSecurities);
            all += e.allSecurities;
        }
        if (!li) continue;
        if (items > INT32_MAX - li->items.count ||
            (items > 0 &&
             !HashReserve(li->items, li->items.count + int32_t(items), ItemHash, nullptr)) ||
            !ArrayReserve(li->allClasses, li->allClasses.count + all))
            return false;
    }
    return true;
}

// Links the new class into the firm; every block was reserved.
void ApplyClass(FirmRecord* firm, int32_t classIndex, const NewClassWork& w) {
    // The class takes its place in the order: after every class of its key (it is the newest).
    firm->classTextPos.items[firm->classTextPos.count++] =
        OrderPosition(firm->mainMarginClasses, classIndex);

    const ListIndex* run = nullptr;
    for (int32_t g = w.begin; g < w.end; ++g) {
        const int32_t e = firm->pending[g];
        ResolveEntry(firm, e, classIndex);
        ListIndex* li = ListIndexOfEntry(firm, e);
        const bool firstOfClass = li != run; // the entries of one list come together
        run = li;
        // The new class is the last of the registry: its "<ALL>" entries keep allClasses
        // ascending.
        if (li) IndexEntry(li, firm, firm->entries[e], firstOfClass, false);
    }
}

// After a new class: resolves the entries waiting for it and links it into every firm.
bool LinkNewClass(int32_t classIndex) {
    const int32_t firms = FirmCount();
    NewClassWork* work = nullptr;
    if (firms > 0) {
        uint32_t bytes;
        if (!ByteCount(uint32_t(sizeof(NewClassWork)), firms, &bytes) ||
            (work = static_cast<NewClassWork*>(MemAlloc(bytes))) == nullptr)
            return false;
    }
    bool ok = true;
    for (int32_t f = 0; ok && f < firms; ++f)
        ok = ReserveForClass(FirmAt(f), classIndex, &work[f]);
    for (int32_t f = 0; ok && f < firms; ++f)
        ApplyClass(FirmAt(f), classIndex, work[f]);
    MemFree(work);
    return ok;
}

} // namespace

bool ClassBefore(const FirmRecord* firm, int32_t a, int32_t b) {
    int32_t ka = OrderKey(firm, a), kb = OrderKey(firm, b);
    return ka != kb ? ka < kb : a < b;
}

int32_t AddClass(const KRClass* cls, const KRSecurity* securities) {
    if (cls->flags & KR_CLASS_SKIP_MASK) return KR_ERR_NONE;
    int32_t classIndex = RegisterClass(cls);
    if (classIndex == -1) return KR_ERR_CLASS_EXISTS;
    if (classIndex < 0) return KR_ERR_NO_MEMORY;
    if (!RegisterSecurities(cls->secCount, securities, classIndex) || !LinkNewClass(classIndex)) {
        UnregisterLastClass();
        return KR_ERR_NO_MEMORY;
    }
    return KR_ERR_NONE;
}

int32_t SetFirmSettings(const char* key, const char* text, DiagnosticSink* sink) {
    FirmRecord* firm = nullptr;
    int32_t code = LoadFirmSettings(key, text, sink, &firm);
    if (code != KR_ERR_NONE) return code;
    if (!LinkFirm(firm)) {
        AbandonFirmSettings(firm);
        return KR_ERR_NO_MEMORY;
    }
    return KR_ERR_NONE;
}

int32_t LoadDetachedLinked(const char* text, DiagnosticSink* sink, FirmRecord** loaded) {
    FirmRecord* firm = nullptr;
    int32_t code = LoadDetachedSettings(text, sink, &firm);
    if (code != KR_ERR_NONE) return code;
    if (!LinkFirm(firm)) {
        ClearFirmSettings(firm, true);
        return KR_ERR_NO_MEMORY;
    }
    *loaded = firm;
    return KR_ERR_NONE;
}

} // namespace kesvar
