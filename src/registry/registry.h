// Library copies of the host's classes and securities, in registration order, with hash
// indexes for the lookups. Registry indexes never change until KRCleanup empties the registry
// as a whole.
#ifndef KESVAR_REGISTRY_REGISTRY_H
#define KESVAR_REGISTRY_REGISTRY_H

#include "state/state.h"

namespace kesvar {

struct ClassEntry {
    KRClass cls;           // the host's 32 bytes
    int32_t firstSecurity; // index of the class's first security, -1 while it has none
    int32_t securityCount; // its securities follow each other from firstSecurity
};

struct SecurityEntry {
    // The host's 40 bytes; classIndex holds the class's registry index, and the code is zero
    // from its NUL to the end of its field (a PaddedCode compares with its first 16 bytes).
    KRSecurity sec;
    uint32_t listedMark; // the last needed-ids answer that listed this entry's id
};

int32_t RegisterClass(const KRClass* cls); // new index; -1 when the code exists; -2 no memory
bool RegisterSecurities(int32_t n, const KRSecurity* securities, int32_t classIndex);
// Takes back the last class registered and everything registered with it.
void UnregisterLastClass();
void ClearRegistry();
void UpdateFaceValueFlag();
// The needed-ids answer lists each id once in one pass: it marks the first security of each id
// it lists. A mark no entry carries yet:
uint32_t NewListedMark();
// False when the entry carries `mark` already; else gives it `mark`.
bool MarkListed(int32_t index, uint32_t mark);

// Each answers the first match in registration order, or -1.
int32_t FindClassByCode(const char* code);
int32_t FindSecurityByCode(const char* code, int32_t classIndex);
int32_t FindSecurityById(uint32_t classId, uint32_t secId);
// FindSecurityByCode of n codes at once: the same answers, faster for a long list, since the
// memory reads of all the lookups are asked for before any is made.
void FindSecuritiesByCode(const char* const codes[], int32_t n, int32_t classIndex,
                          int32_t found[]);

// The securities whose code is `code`: in each class that has one, its first of that code (the
// one FindSecurityByCode answers), in no particular order. -1 after the last.
struct CodeMatches {
    HashProbe probe;
    const char* code;
};
CodeMatches StartCodeMatches(const char* code);
int32_t NextCodeMatch(CodeMatches& m);

// Whether a registered class holds bonds (KR_CLASS_FACE_VALUE): only then is ACCRUEDINT asked.
inline bool AnyFaceValueClass() {
    return gState.anyFaceValueClass != 0;
}
inline int32_t ClassCount() {
    return gState.classRegistry.count;
}
inline int32_t SecurityCount() {
    return gState.securityRegistry.count;
}
inline const ClassEntry* ClassAt(int32_t i) {
    return &gState.classRegistry[i];
}
inline const SecurityEntry* SecurityAt(int32_t i) {
    return &gState.securityRegistry[i];
}

} // namespace kesvar

#endif
