// Calls into the host. Limit records are read field by field at their fixed offsets, so the
// library never depends on the host's struct packing and never reads past offset 87 (95 for
// the version-2 leverage).
#include "frame/host.h"

#include <string.h>

namespace kesvar {

static const char* const kParamNames[5] = {"OFFER", "BID", "PREVPRICE", "LAST", "ACCRUEDINT"};

bool ResolveParamIds() {
    int32_t* cache = gState.paramIdCache;
    for (int i = kOffer; i <= kLast; ++i) {
        if (cache[i] != -1) continue;
        cache[i] = gState.getParamId(kParamNames[i]);
        if (cache[i] == -1) return false;
    }
    if (!gState.anyFaceValueClass) {
        cache[kAccruedInt] = -1;
        return true;
    }
    if (cache[kAccruedInt] == -1) {
        cache[kAccruedInt] = gState.getParamId(kParamNames[kAccruedInt]);
        if (cache[kAccruedInt] == -1) return false;
    }
    return true;
}

double ParamValue(uint32_t classId, uint32_t secId, ParamName which) {
    return gState.getParamValue(classId, secId, gState.paramIdCache[which]);
}

void RowKeyOf(const KRMarginalRow* row, RowKey* key) {
    CopyBounded(key->firmId, row->firmId, 13);
    CopyBounded(key->clientCode, row->clientCode, 16);
}

static double F64(const unsigned char* base, uint32_t offset) {
    double v;
    memcpy(&v, base + offset, sizeof v);
    return v;
}

static int32_t I32(const unsigned char* base, uint32_t offset) {
    int32_t v;
    memcpy(&v, base + offset, sizeof v);
    return v;
}

// Compares the fixed-width field at `offset` with a NUL-terminated key, exactly.
static bool FieldIs(const unsigned char* base, uint32_t offset, const char* key) {
    char field[14];
    CopyBounded(field, reinterpret_cast<const char*>(base) + offset, 13);
    return strcmp(field, key) == 0;
}

uint32_t StartMoneyWalk(const char* firmId, const char* clientCode, const uint32_t* given) {
    if (given) return *given;
    uint32_t start = 0xFFFFFFFFu;
    gState.findFirstMoneyLimit(firmId, clientCode, "", "", &start);
    return start;
}

uint32_t StartSecWalk(const char* firmId, const char* clientCode, const char* secCode,
                      const uint32_t* given) {
    if (given) return *given;
    uint32_t start = 0xFFFFFFFFu;
    gState.findFirstSecLimit(firmId, clientCode, secCode ? secCode : "", "", &start);
    return start;
}

bool NextMoneyLimit(uint32_t* index, const char* firmId, const char* clientCode, MoneyLimit* out) {
    const unsigned char* b = reinterpret_cast<const unsigned char*>(gState.getMoneyLimit(*index));
    if (!b || !FieldIs(b, 14, firmId) || !FieldIs(b, 27, clientCode)) return false;
    CopyBounded(out->tag, reinterpret_cast<const char*>(b) + 9, 5);
    out->openBalance = F64(b, 40);
    out->openLimit = F64(b, 48);
    out->currentBalance = F64(b, 56);
    out->currentLimit = F64(b, 64);
    out->locked = F64(b, 72);
    out->lockedValue = F64(b, 80);
    out->leveragePercent = gState.interfaceVersion >= KR_INTERFACE_V2 ? I32(b, 88) : -1;
    ++*index;
    return true;
}

bool NextSecLimit(uint32_t* index, const char* firmId, const char* clientCode, const char* secCode,
                  SecLimit* out) {
    const unsigned char* b = reinterpret_cast<const unsigned char*>(gState.getSecLimit(*index));
    if (!b || !FieldIs(b, 30, firmId) || !FieldIs(b, 43, clientCode)) return false;
    if (secCode && !FieldIs(b, 4, secCode)) return false;
    CopyBounded(out->secCode, reinterpret_cast<const char*>(b) + 4, 13);
    CopyBounded(out->trdAcc, reinterpret_cast<const char*>(b) + 17, 13);
    out->openBalance = I32(b, 56);
    out->openLimit = I32(b, 60);
    out->currentBalance = I32(b, 64);
    out->currentLimit = I32(b, 68);
    out->lockedSell = I32(b, 72);
    out->lockedBuy = I32(b, 76);
    out->lockedBuyValue = F64(b, 80);
    ++*index;
    return true;
}

} // namespace kesvar
