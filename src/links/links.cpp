// Joins the settings lists to the registry. Relinking after a new class is all or nothing:
// every block it needs is taken before any link changes, so a failed KRAddClass can take the
// class back and leave every firm as it was.
#include "links/links.h"

#include <string.h>

#include "registry/registry.h"

namespace kesvar {

// Binds an unresolved entry to the registry ("<ALL>" expands to the class's securities).
// False on allocation failure, with the entry still unresolved and as before.
static bool ResolveClassSecurityList(ClassSecurityList* entry) {
    if (entry->classIndex != -1) return true; // resolved entries are complete
    int32_t cls = FindClassByCode(entry->classCode);
    if (cls < 0) return true;

    if (entry->allSecurities) {
        int32_t n = SecurityCount(), matching = 0;
        for (int32_t i = 0; i < n; ++i)
            if (int32_t(SecurityAt(i)->sec.classIndex) == cls) ++matching;
        if (matching > 0) {
            // Explicit codes of the entry stay ahead of the expansion.
            ListedSecurity* s = ArrayAppendN(entry->securities, matching);
            if (!s) return false;
            for (int32_t i = 0; i < n; ++i) {
                const SecurityEntry* sec = SecurityAt(i);
                if (int32_t(sec->sec.classIndex) != cls) continue;
                // Registry codes may hold 19 characters; the field keeps 15.
                CopyBounded(s->secCode, sec->sec.code, int32_t(sizeof s->secCode) - 1);
                s->secIndex = i;
                ++s;
            }
        }
    } else {
        for (int32_t i = 0; i < entry->securities.count; ++i) {
            ListedSecurity& s = entry->securities[i];
            s.secIndex = FindSecurityByCode(s.secCode, cls);
        }
    }
    entry->classIndex = cls;
    return true;
}

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

// `CompareClassOrder` on two order positions: named classes first, in the order named.
int32_t CompareClassOrder(int32_t pa, int32_t pb) {
    if (pa == -1) return pb - pa;
    if (pb != -1) return pa - pb;
    return pb - pa;
}

// Undoes the resolution of an entry bound to the class being taken back: "<ALL>" entries
// lose the securities appended behind their explicit codes, the others their indexes.
void Unresolve(ClassSecurityList* e) {
    e->classIndex = -1;
    Array<ListedSecurity>& secs = e->securities;
    if (e->allSecurities) {
        int32_t keep = 0;
        while (keep < secs.count && secs[keep].secIndex == -1)
            ++keep;
        if (keep == secs.count) return;
        secs.count = keep;
        ArrayShrinkToFit(secs);
        return;
    }
    for (int32_t i = 0; i < secs.count; ++i)
        secs[i].secIndex = -1;
}

void UnresolveList(Array<ClassSecurityList>& list, int32_t classIndex) {
    for (int32_t i = 0; i < list.count; ++i)
        if (list[i].classIndex == classIndex) Unresolve(&list[i]);
}

void UnresolveRecord(FirmSettings* r, int32_t classIndex) {
    UnresolveList(r->marginList, classIndex);
    UnresolveList(r->assetList, classIndex);
    UnresolveList(r->restShortList, classIndex);
}

bool ResolveList(Array<ClassSecurityList>& list) {
    for (int32_t i = 0; i < list.count; ++i)
        if (!ResolveClassSecurityList(&list[i])) return false;
    return true;
}

bool ResolveRecord(FirmSettings* r) {
    return ResolveList(r->marginList) && ResolveList(r->assetList) && ResolveList(r->restShortList);
}

// Grows the link arrays of a record and its clients to n slots without touching their
// contents; on failure the arrays keep their contents (some may have spare slots).
bool ReserveLinks(FirmSettings* r, int32_t n) {
    if (!r->parent && !ArrayReserve(r->classOrder, n)) return false;
    if (!ArrayReserve(r->classListIndex, n)) return false;
    for (int32_t i = 0; i < r->clients.count; ++i)
        if (!ReserveLinks(r->clients[i], n)) return false;
    return true;
}

void ClearLinks(FirmSettings* r) {
    if (!r->parent) ArrayFree(r->classOrder);
    for (int32_t i = 0; i < r->clients.count; ++i)
        ClearLinks(r->clients[i]);
    ArrayFree(r->classListIndex);
}

int32_t FirstEntryOfClass(const Array<ClassSecurityList>& list, const char* code) {
    for (int32_t i = 0; i < list.count; ++i)
        if (strcmp(list[i].classCode, code) == 0) return i;
    return -1;
}

// Stable insertion sort of 0..n-1, so classes the text does not name keep registration
// order. The positions are parked in the firm's classListIndex, which is rebuilt after.
void SortClassOrder(FirmSettings* firm, const char* text, int32_t n) {
    int32_t* order = firm->classOrder.items;
    ClassListIndex* pos = firm->classListIndex.items;
    for (int32_t k = 0; k < n; ++k)
        pos[k].marginEntry = OrderPosition(text, k);
    for (int32_t i = 0; i < n; ++i) {
        int32_t j = i;
        while (j > 0 && CompareClassOrder(pos[i].marginEntry, pos[order[j - 1]].marginEntry) < 0) {
            order[j] = order[j - 1];
            --j;
        }
        order[j] = i;
    }
    firm->classOrder.count = n;
}

// Rebuilds the links into storage already reserved for n slots; never allocates.
void FillLinks(FirmSettings* r, const char* text, int32_t n) {
    if (!r->parent) SortClassOrder(r, text, n);
    for (int32_t i = 0; i < r->clients.count; ++i)
        FillLinks(r->clients[i], text, n);
    const int32_t* order = FirmOf(r)->classOrder.items;
    for (int32_t i = 0; i < n; ++i) {
        const char* code = ClassAt(order[i])->cls.code;
        r->classListIndex[i].marginEntry = FirstEntryOfClass(r->marginList, code);
        r->classListIndex[i].assetEntry = FirstEntryOfClass(r->assetList, code);
    }
    r->classListIndex.count = n;
}

} // namespace

int32_t AddClass(const KRClass* cls, const KRSecurity* securities) {
    if (cls->flags & KR_CLASS_SKIP_MASK) return KR_ERR_NONE;
    int32_t ci = RegisterClass(cls);
    if (ci == -1) return KR_ERR_CLASS_EXISTS;
    if (ci < 0) return KR_ERR_NO_MEMORY;
    if (!RegisterSecurities(cls->secCount, securities, ci) || !RelinkAllFirmSettings()) {
        UnregisterLastClass();
        return KR_ERR_NO_MEMORY;
    }
    return KR_ERR_NONE;
}

int32_t SetFirmSettings(const char* key, const char* text, DiagnosticSink* sink) {
    FirmSettings* firm = nullptr;
    int32_t code = LoadFirmSettings(key, text, sink, &firm);
    if (code != KR_ERR_NONE) return code;
    bool ok = true;
    for (int32_t c = 0; ok && c < firm->clients.count; ++c)
        ok = ResolveRecord(firm->clients[c]);
    ok = ok && ResolveRecord(firm) && LinkFirmSettings(firm, firm->mainMarginClasses);
    if (!ok) {
        AbandonFirmSettings(firm);
        return KR_ERR_NO_MEMORY;
    }
    return KR_ERR_NONE;
}

bool LinkFirmSettings(FirmSettings* record, const char* orderText) {
    int32_t n = ClassCount();
    if (!orderText || n == 0) {
        ClearLinks(record);
        return true;
    }
    if (!ReserveLinks(record, n)) return false;
    FillLinks(record, orderText, n);
    return true;
}

bool RelinkAllFirmSettings() {
    Array<FirmSettings*>& table = gState.firmSettingsTable;
    int32_t n = ClassCount();
    bool ok = true;
    for (int32_t f = 0; ok && f < table.count; ++f) {
        FirmSettings* firm = table[f];
        for (int32_t c = 0; ok && c < firm->clients.count; ++c)
            ok = ResolveRecord(firm->clients[c]);
        ok = ok && ResolveRecord(firm);
    }
    for (int32_t f = 0; ok && f < table.count; ++f)
        if (table[f]->mainMarginClasses && n > 0) ok = ReserveLinks(table[f], n);
    if (!ok) {
        // Only the newest class can have been bound here: every older one was bound when it
        // or the settings arrived.
        for (int32_t f = 0; n > 0 && f < table.count; ++f) {
            for (int32_t c = 0; c < table[f]->clients.count; ++c)
                UnresolveRecord(table[f]->clients[c], n - 1);
            UnresolveRecord(table[f], n - 1);
        }
        return false;
    }
    for (int32_t f = 0; f < table.count; ++f) {
        if (table[f]->mainMarginClasses && n > 0)
            FillLinks(table[f], table[f]->mainMarginClasses, n);
        else
            ClearLinks(table[f]);
    }
    return true;
}

} // namespace kesvar
