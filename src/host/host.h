// Calls into the host: market parameter ids and values, and the walks over its limit records.
// Host records are read in place, field by field, never past offset 87 (or 95 for the money
// leverage under interface version 2); strings are bounded by their field width.
#ifndef KESVAR_HOST_HOST_H
#define KESVAR_HOST_HOST_H

#include <string.h>

#include "state/state.h"
#include "text/strings.h"

namespace kesvar {

// The host's callbacks (KRSetLimitCallbacks, KRSetParamCallbacks), and whether all six are set.
void SetLimitCallbacks(KRFindFirstMoneyLimitFunc findFirstMoneyLimit,
                       KRGetMoneyLimitFunc getMoneyLimit, KRFindFirstSecLimitFunc findFirstSecLimit,
                       KRGetSecLimitFunc getSecLimit);
void SetParamCallbacks(KRGetParamIdFunc getParamId, KRGetParamValueFunc getParamValue);
bool AllCallbacksSet();

// The interface version the host initialised with: it decides the size of its limit records.
void SetInterfaceVersion(int32_t version);
inline int32_t InterfaceVersion() {
    return gState.interfaceVersion;
}

// Resolves the parameter ids into the cache; ACCRUEDINT only when `accruedIntNeeded` (a class
// of bonds is registered). False when the host does not know a required name (the caller
// reports KR_ERR_PARAM_UNKNOWN); no limit callback is called then.
bool ResolveParamIds(bool accruedIntNeeded);
// Whether the host gave an id for ACCRUEDINT at the last resolution.
inline bool AccruedIntKnown() {
    return gState.paramIdCache[kAccruedInt] != -1;
}

// Value of one market parameter of a security, by the host's ids.
inline double ParamValue(uint32_t classId, uint32_t secId, ParamName which) {
    return gState.getParamValue(classId, secId, gState.paramIdCache[which]);
}

// One money-limit record as the library sees it.
struct MoneyLimit {
    char tag[6];
    double openBalance, openLimit, currentBalance, currentLimit, locked, lockedValue;
    int32_t leveragePercent; // -1 under interface version 1
};

// One securities-limit record as the library sees it.
struct SecLimit {
    PaddedCode secCode; // at most 13 characters
    char trdAcc[14];
    int32_t openBalance, openLimit, currentBalance, currentLimit, lockedSell, lockedBuy;
    double lockedBuyValue;
};

// Start index of a walk: *given when the caller gave one (no find-first call), else what the
// host's find-first stores (0xFFFFFFFF when it stores nothing).
uint32_t StartMoneyWalk(const char* firmId, const char* clientCode, const uint32_t* given);
uint32_t StartSecWalk(const char* firmId, const char* clientCode, const char* secCode,
                      const uint32_t* given);

// A code every record of a walk is compared with, prepared once for the walk: the comparison
// of a short code is then one masked 8-byte compare instead of a loop over its bytes.
struct FieldKey {
    const char* text; // the caller's string, alive for the walk
    int32_t length;
    uint64_t head; // the first eight bytes, those after the NUL zero
    uint64_t mask; // the bytes compared at once: the code and its NUL, at most eight
};
// The firm and client a walk keeps to, and for the actv walk the security.
struct WalkKey {
    FieldKey firmId, clientCode, secCode;
    bool bySecurity;
};
// secCode null: any security.
void PrepareWalkKey(const char* firmId, const char* clientCode, const char* secCode, WalkKey* key);

// Fetches the record at *index. When the host answers null or the record belongs to another
// firm or client (or, with a security in the key, another security), returns false and leaves
// *index at the stop index. Otherwise fills *out, advances *index and returns true.
bool NextMoneyLimit(uint32_t* index, const WalkKey& key, MoneyLimit* out);
bool NextSecLimit(uint32_t* index, const WalkKey& key, SecLimit* out);

// A row's firm id and client code as NUL-terminated strings, whatever the host left in the
// fixed-width fields.
struct RowKey {
    char firmId[14];
    char clientCode[17];
};
void RowKeyOf(const KRMarginalRow* row, RowKey* key);

// A figure as it goes into a host record. A NaN is always the one quiet NaN 0x7FF8000000000000:
// the sign and payload of a NaN that arithmetic produces depend on the processor and on the
// compiler's operand order, and the host must see the same bytes on every target.
inline double HostFigure(double v) {
    if (v == v) return v;
    const uint64_t quietNaN = 0x7FF8000000000000ull;
    memcpy(&v, &quietNaN, sizeof v);
    return v;
}

} // namespace kesvar

#endif
