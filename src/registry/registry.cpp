// The class and security registry: append-only copies of what the host registers, searched
// linearly in registration order.
#include "registry/registry.h"

#include <string.h>

namespace kesvar {

int32_t RegisterClass(const KRClass* cls) {
    // The host's code is bounded by its field even if it lacks the NUL.
    char code[sizeof cls->code];
    memcpy(code, cls->code, sizeof code);
    code[sizeof code - 1] = 0;
    int32_t existing = FindClassByCode(code);
    if (existing >= 0) {
        gState.classRegistry[existing]->cls.valueUnlisted = cls->valueUnlisted;
        return -1;
    }
    ClassEntry* c = NewZeroed<ClassEntry>();
    if (!c) return -2;
    ClassEntry** slot = ArrayAppend(gState.classRegistry);
    if (!slot) {
        MemFree(c);
        return -2;
    }
    memcpy(&c->cls, cls, sizeof c->cls);
    memcpy(c->cls.code, code, sizeof code);
    c->firstSecurity = -1;
    *slot = c;
    UpdateFaceValueFlag();
    return gState.classRegistry.count - 1;
}

bool RegisterSecurities(int32_t n, const KRSecurity* securities, int32_t classIndex) {
    if (n <= 0) return true;
    Array<SecurityEntry*>& reg = gState.securityRegistry;
    int32_t first = reg.count;
    if (first > INT32_MAX - n || !ArrayReserve(reg, first + n)) return false;
    for (int32_t k = 0; k < n; ++k) {
        SecurityEntry* s = NewZeroed<SecurityEntry>();
        if (!s) {
            for (int32_t j = 0; j < k; ++j)
                MemFree(reg[first + j]);
            ArrayShrinkToFit(reg);
            return false;
        }
        memcpy(&s->sec, &securities[k], sizeof s->sec);
        s->sec.code[sizeof s->sec.code - 1] = 0;
        s->sec.classIndex = uint32_t(classIndex);
        reg[first + k] = s;
    }
    gState.classRegistry[classIndex]->firstSecurity = first;
    reg.count = first + n;
    return true;
}

void UnregisterLastClass() {
    int32_t ci = gState.classRegistry.count - 1;
    ClassEntry* c = gState.classRegistry[ci];
    if (c->firstSecurity >= 0) {
        for (int32_t i = c->firstSecurity; i < gState.securityRegistry.count; ++i)
            MemFree(gState.securityRegistry[i]);
        gState.securityRegistry.count = c->firstSecurity;
        ArrayShrinkToFit(gState.securityRegistry);
    }
    MemFree(c);
    gState.classRegistry.count = ci;
    ArrayShrinkToFit(gState.classRegistry);
    UpdateFaceValueFlag();
}

void ClearRegistry() {
    for (int32_t i = 0; i < gState.securityRegistry.count; ++i)
        MemFree(gState.securityRegistry[i]);
    ArrayFree(gState.securityRegistry);
    for (int32_t i = 0; i < gState.classRegistry.count; ++i)
        MemFree(gState.classRegistry[i]);
    ArrayFree(gState.classRegistry);
}

void UpdateFaceValueFlag() {
    int32_t any = 0;
    for (int32_t i = 0; i < gState.classRegistry.count; ++i)
        if (gState.classRegistry[i]->cls.flags & KR_CLASS_FACE_VALUE) any = 1;
    gState.anyFaceValueClass = any;
}

int32_t FindClassByCode(const char* code) {
    for (int32_t i = 0; i < gState.classRegistry.count; ++i)
        if (strcmp(gState.classRegistry[i]->cls.code, code) == 0) return i;
    return -1;
}

int32_t FindSecurityByCode(const char* code, int32_t classIndex) {
    for (int32_t i = 0; i < gState.securityRegistry.count; ++i) {
        const KRSecurity& s = gState.securityRegistry[i]->sec;
        if (int32_t(s.classIndex) == classIndex && strcmp(s.code, code) == 0) return i;
    }
    return -1;
}

int32_t FindSecurityById(uint32_t classId, uint32_t secId) {
    for (int32_t i = 0; i < gState.securityRegistry.count; ++i) {
        const KRSecurity& s = gState.securityRegistry[i]->sec;
        if (s.secId == secId && gState.classRegistry[int32_t(s.classIndex)]->cls.classId == classId)
            return i;
    }
    return -1;
}

} // namespace kesvar
