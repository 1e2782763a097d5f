// The class and security registry: append-only copies of what the host registers, kept by value
// in registration order, and the hash indexes that answer its lookups.
#include "registry/registry.h"

#include <string.h>

namespace kesvar {

namespace {

uint32_t ClassHash(const void*, int32_t classIndex) {
    return HashCode(gState.classRegistry[classIndex].cls.code);
}

uint32_t ClassCodeKey(int32_t classIndex, const char* code) {
    return HashMix(HashCode(code), uint32_t(classIndex));
}

uint32_t SecurityClassCodeHash(const void*, int32_t s) {
    const KRSecurity& sec = gState.securityRegistry[s].sec;
    return ClassCodeKey(int32_t(sec.classIndex), sec.code);
}

uint32_t SecurityCodeHash(const void*, int32_t s) {
    return HashCode(gState.securityRegistry[s].sec.code);
}

uint32_t IdKey(uint32_t classId, uint32_t secId) {
    return HashMix(HashMix(0x4B525356u, classId), secId);
}

uint32_t SecurityIdHash(const void*, int32_t s) {
    const KRSecurity& sec = gState.securityRegistry[s].sec;
    return IdKey(gState.classRegistry[int32_t(sec.classIndex)].cls.classId, sec.secId);
}

bool ClassHasCode(const void*, int32_t classIndex, const void* code) {
    return strcmp(gState.classRegistry[classIndex].cls.code, static_cast<const char*>(code)) == 0;
}

struct ClassCode {
    int32_t classIndex;
    const char* code;
};

bool SecurityHasClassCode(const void*, int32_t s, const void* key) {
    const ClassCode& k = *static_cast<const ClassCode*>(key);
    const KRSecurity& sec = gState.securityRegistry[s].sec;
    return int32_t(sec.classIndex) == k.classIndex && strcmp(sec.code, k.code) == 0;
}

struct Ids {
    uint32_t classId, secId;
};

bool SecurityHasIds(const void*, int32_t s, const void* key) {
    const Ids& k = *static_cast<const Ids*>(key);
    const KRSecurity& sec = gState.securityRegistry[s].sec;
    return sec.secId == k.secId &&
           gState.classRegistry[int32_t(sec.classIndex)].cls.classId == k.classId;
}

// Indexes security s where it is the first of its key; the room was reserved.
void IndexSecurity(int32_t s) {
    const KRSecurity& sec = gState.securityRegistry[s].sec;
    ClassCode cc = {int32_t(sec.classIndex), sec.code};
    uint32_t h = ClassCodeKey(cc.classIndex, cc.code);
    if (HashFind(gState.securityByClassCode, h, SecurityHasClassCode, nullptr, &cc) < 0) {
        HashInsert(gState.securityByClassCode, h, s, SecurityClassCodeHash, nullptr);
        HashInsert(gState.securityByCode, HashCode(sec.code), s, SecurityCodeHash, nullptr);
    }
    Ids ids = {gState.classRegistry[cc.classIndex].cls.classId, sec.secId};
    uint32_t hi = IdKey(ids.classId, ids.secId);
    if (HashFind(gState.securityById, hi, SecurityHasIds, nullptr, &ids) < 0)
        HashInsert(gState.securityById, hi, s, SecurityIdHash, nullptr);
}

// Removing an item that is not in an index changes nothing, so every security may be offered.
void UnindexSecurity(int32_t s) {
    HashRemove(gState.securityByClassCode, SecurityClassCodeHash(nullptr, s), s,
               SecurityClassCodeHash, nullptr);
    HashRemove(gState.securityByCode, SecurityCodeHash(nullptr, s), s, SecurityCodeHash, nullptr);
    HashRemove(gState.securityById, SecurityIdHash(nullptr, s), s, SecurityIdHash, nullptr);
}

} // namespace

int32_t RegisterClass(const KRClass* cls) {
    // The host's code is bounded by its field even if it lacks the NUL.
    char code[sizeof cls->code];
    memcpy(code, cls->code, sizeof code);
    code[sizeof code - 1] = 0;
    int32_t existing = FindClassByCode(code);
    if (existing >= 0) {
        gState.classRegistry[existing].cls.valueUnlisted = cls->valueUnlisted;
        return -1;
    }
    Array<ClassEntry>& reg = gState.classRegistry;
    if (!HashReserve(gState.classByCode, reg.count + 1, ClassHash, nullptr)) return -2;
    ClassEntry* classEntry = ArrayAppend(reg);
    if (!classEntry) return -2;
    memcpy(&classEntry->cls, cls, sizeof classEntry->cls);
    memcpy(classEntry->cls.code, code, sizeof code);
    classEntry->firstSecurity = -1;
    int32_t index = reg.count - 1;
    HashInsert(gState.classByCode, HashCode(code), index, ClassHash, nullptr);
    // After KRCleanup the first class decides the flag afresh.
    int32_t faceValue = (cls->flags & KR_CLASS_FACE_VALUE) ? 1 : 0;
    gState.anyFaceValueClass = index == 0 ? faceValue : (gState.anyFaceValueClass | faceValue);
    return index;
}

bool RegisterSecurities(int32_t n, const KRSecurity* securities, int32_t classIndex) {
    if (n <= 0) return true;
    Array<SecurityEntry>& reg = gState.securityRegistry;
    int32_t first = reg.count;
    if (first > INT32_MAX - n || !ArrayReserve(reg, first + n) ||
        !HashReserve(gState.securityByClassCode, gState.securityByClassCode.count + n,
                     SecurityClassCodeHash, nullptr) ||
        !HashReserve(gState.securityByCode, gState.securityByCode.count + n, SecurityCodeHash,
                     nullptr) ||
        !HashReserve(gState.securityById, gState.securityById.count + n, SecurityIdHash, nullptr))
        return false;
    for (int32_t k = 0; k < n; ++k) {
        SecurityEntry* s = &reg.items[first + k];
        memcpy(&s->sec, &securities[k], sizeof s->sec);
        // Zero from the code's NUL on: the hot lookups compare codes a word at a time.
        const size_t length = strnlen(s->sec.code, sizeof s->sec.code - 1);
        memset(s->sec.code + length, 0, sizeof s->sec.code - length);
        s->sec.classIndex = uint32_t(classIndex);
        s->listedMark = 0;
    }
    reg.count = first + n;
    for (int32_t k = 0; k < n; ++k)
        IndexSecurity(first + k);
    gState.classRegistry[classIndex].firstSecurity = first;
    gState.classRegistry[classIndex].securityCount = n;
    return true;
}

void UnregisterLastClass() {
    int32_t classIndex = gState.classRegistry.count - 1;
    ClassEntry& classEntry = gState.classRegistry[classIndex];
    if (classEntry.firstSecurity >= 0) {
        for (int32_t i = gState.securityRegistry.count - 1; i >= classEntry.firstSecurity; --i)
            UnindexSecurity(i);
        gState.securityRegistry.count = classEntry.firstSecurity;
        ArrayShrinkToFit(gState.securityRegistry);
    }
    HashRemove(gState.classByCode, ClassHash(nullptr, classIndex), classIndex, ClassHash, nullptr);
    gState.classRegistry.count = classIndex;
    ArrayShrinkToFit(gState.classRegistry);
    UpdateFaceValueFlag();
}

void ClearRegistry() {
    ArrayFree(gState.securityRegistry);
    ArrayFree(gState.classRegistry);
    HashFree(gState.classByCode);
    HashFree(gState.securityByClassCode);
    HashFree(gState.securityByCode);
    HashFree(gState.securityById);
}

void UpdateFaceValueFlag() {
    int32_t any = 0;
    for (int32_t i = 0; i < gState.classRegistry.count; ++i)
        if (gState.classRegistry[i].cls.flags & KR_CLASS_FACE_VALUE) any = 1;
    gState.anyFaceValueClass = any;
}

int32_t FindClassByCode(const char* code) {
    return HashFind(gState.classByCode, HashCode(code), ClassHasCode, nullptr, code);
}

int32_t FindSecurityByCode(const char* code, int32_t classIndex) {
    ClassCode key = {classIndex, code};
    return HashFind(gState.securityByClassCode, ClassCodeKey(classIndex, code),
                    SecurityHasClassCode, nullptr, &key);
}

void FindSecuritiesByCode(const char* const codes[], int32_t n, int32_t classIndex,
                          int32_t found[]) {
    const HashIndex& index = gState.securityByClassCode;
    uint32_t keys[64];
    for (int32_t first = 0; first < n; first += 64) {
        const int32_t count = n - first < 64 ? n - first : 64;
        for (int32_t i = 0; i < count; ++i) {
            keys[i] = ClassCodeKey(classIndex, codes[first + i]);
            HashPrefetch(index, keys[i]);
        }
        // The slots are on their way; the first candidate of each lookup is what it reads next.
        for (int32_t i = 0; i < count; ++i) {
            HashProbe p = HashStart(index, keys[i]);
            int32_t s = HashNext(p);
            if (s >= 0) Prefetch(&gState.securityRegistry[s]);
        }
        for (int32_t i = 0; i < count; ++i) {
            ClassCode key = {classIndex, codes[first + i]};
            found[first + i] = HashFind(index, keys[i], SecurityHasClassCode, nullptr, &key);
        }
    }
}

uint32_t NewListedMark() {
    if (++gState.lastListedMark == 0) {
        // Wrapped: an old mark could equal the new one.
        for (int32_t i = 0; i < gState.securityRegistry.count; ++i)
            gState.securityRegistry[i].listedMark = 0;
        gState.lastListedMark = 1;
    }
    return gState.lastListedMark;
}

bool MarkListed(int32_t index, uint32_t mark) {
    uint32_t& m = gState.securityRegistry[index].listedMark;
    if (m == mark) return false;
    m = mark;
    return true;
}

int32_t FindSecurityById(uint32_t classId, uint32_t secId) {
    Ids key = {classId, secId};
    return HashFind(gState.securityById, IdKey(classId, secId), SecurityHasIds, nullptr, &key);
}

CodeMatches StartCodeMatches(const char* code) {
    CodeMatches m;
    m.probe = HashStart(gState.securityByCode, HashCode(code));
    m.code = code;
    return m;
}

int32_t NextCodeMatch(CodeMatches& m) {
    for (int32_t s; (s = HashNext(m.probe)) != -1;)
        if (strcmp(gState.securityRegistry[s].sec.code, m.code) == 0) return s;
    return -1;
}

} // namespace kesvar
