// Calls into the host. Limit records are read in place, field by field, never past offset 87
// (95 for the version-2 leverage).
#include "host/host.h"
#include "text/strings.h"

#include <stddef.h>
#include <string.h>

namespace kesvar {

static const char* const kParamNames[5] = {"OFFER", "BID", "PREVPRICE", "LAST", "ACCRUEDINT"};

void SetLimitCallbacks(KRFindFirstMoneyLimitFunc findFirstMoneyLimit,
                       KRGetMoneyLimitFunc getMoneyLimit, KRFindFirstSecLimitFunc findFirstSecLimit,
                       KRGetSecLimitFunc getSecLimit) {
    gState.findFirstMoneyLimit = findFirstMoneyLimit;
    gState.getMoneyLimit = getMoneyLimit;
    gState.findFirstSecLimit = findFirstSecLimit;
    gState.getSecLimit = getSecLimit;
}

void SetParamCallbacks(KRGetParamIdFunc getParamId, KRGetParamValueFunc getParamValue) {
    gState.getParamId = getParamId;
    gState.getParamValue = getParamValue;
}

bool AllCallbacksSet() {
    return gState.findFirstMoneyLimit && gState.getMoneyLimit && gState.findFirstSecLimit &&
           gState.getSecLimit && gState.getParamId && gState.getParamValue;
}

void SetInterfaceVersion(int32_t version) {
    gState.interfaceVersion = version;
}

bool ResolveParamIds(bool accruedIntNeeded) {
    int32_t* cache = gState.paramIdCache;
    for (int i = kOffer; i <= kLast; ++i) {
        if (cache[i] != -1) continue;
        cache[i] = gState.getParamId(kParamNames[i]);
        if (cache[i] == -1) return false;
    }
    if (!accruedIntNeeded) {
        cache[kAccruedInt] = -1;
        return true;
    }
    if (cache[kAccruedInt] == -1) {
        cache[kAccruedInt] = gState.getParamId(kParamNames[kAccruedInt]);
        if (cache[kAccruedInt] == -1) return false;
    }
    return true;
}

void RowKeyOf(const KRMarginalRow* row, RowKey* key) {
    CopyBounded(key->firmId, row->firmId, int32_t(sizeof row->firmId));
    CopyBounded(key->clientCode, row->clientCode, int32_t(sizeof row->clientCode));
}

// Host records may sit at any address: every field is copied out with memcpy, at the offset the
// public header's byte-packed records give it (the header checks each offset).
static double F64(const unsigned char* base, size_t offset) {
    double v;
    memcpy(&v, base + offset, sizeof v);
    return v;
}

static int32_t I32(const unsigned char* base, size_t offset) {
    int32_t v;
    memcpy(&v, base + offset, sizeof v);
    return v;
}

static const char* Chars(const unsigned char* base, size_t offset) {
    return reinterpret_cast<const char*>(base) + offset;
}

// The firm, client and security codes of both limit records share one width, kCodeSize: the
// host may leave out the NUL.
static_assert(sizeof(KRMoneyLimit::firmId) == kCodeSize &&
                  sizeof(KRMoneyLimit::clientCode) == kCodeSize,
              "money-limit code width");
static_assert(sizeof(KRSecLimit::secCode) == kCodeSize && sizeof(KRSecLimit::trdAcc) == kCodeSize &&
                  sizeof(KRSecLimit::firmId) == kCodeSize &&
                  sizeof(KRSecLimit::clientCode) == kCodeSize,
              "securities-limit code width");

// No read goes past the record the host hands out: 88 bytes, and 96 for a money limit under
// interface version 2, the only one read for its leverage.
static_assert(offsetof(KRMoneyLimit, lockedValue) + sizeof(double) <= KR_MONEY_LIMIT_SIZE_V1,
              "money limit read within version 1");
static_assert(offsetof(KRMoneyLimit, leveragePercent) + sizeof(int32_t) <= KR_MONEY_LIMIT_SIZE_V2,
              "leverage read within version 2");
static_assert(offsetof(KRSecLimit, lockedBuyValue) + sizeof(double) <= KR_SEC_LIMIT_SIZE_V1,
              "securities limit read within version 1");

// Copies a string field whole and terminates it: the string is the same as a copy up to the
// field's NUL, and a fixed-size copy costs less than a byte loop on every record of a walk.
static void CopyField(char* dst, const unsigned char* base, size_t offset, size_t width) {
    memcpy(dst, base + offset, width);
    dst[width] = 0;
}

static void PrepareFieldKey(const char* text, FieldKey* key) {
    key->text = text;
    size_t n = strlen(text);
    key->length = n > size_t(kCodeSize) ? kCodeSize + 1 : int32_t(n); // longer: never equal
    unsigned char head[8] = {}, mask[8] = {};
    for (int32_t i = 0; i < 8 && i <= key->length; ++i) {
        head[i] = static_cast<unsigned char>(text[i]); // the NUL at i == length
        mask[i] = 0xFF;
    }
    memcpy(&key->head, head, 8);
    memcpy(&key->mask, mask, 8);
}

void PrepareWalkKey(const char* firmId, const char* clientCode, const char* secCode, WalkKey* key) {
    PrepareFieldKey(firmId, &key->firmId);
    PrepareFieldKey(clientCode, &key->clientCode);
    key->bySecurity = secCode != nullptr;
    if (secCode) PrepareFieldKey(secCode, &key->secCode);
}

// The code field of a record, zero from its NUL on (or after its 13 bytes). A word at a time
// where the bytes are in little-endian order: the first zero byte is the lowest one flagged.
static inline void CopyPaddedCode(PaddedCode* out, const unsigned char* field) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    const uint64_t ones = 0x0101010101010101ull, highs = 0x8080808080808080ull;
    uint64_t w0, w1;
    memcpy(&w0, field, 8);
    memcpy(&w1, field + 8, 8); // bytes 8 to 15: the field's last five, then the next field's
    w1 &= 0x000000FFFFFFFFFFull;
    uint64_t zero = (w0 - ones) & ~w0 & highs;
    if (zero) {
        w0 &= ((zero & (~zero + 1)) >> 7) - 1; // the bytes before the first zero
        w1 = 0;
    } else {
        zero = (w1 - ones) & ~w1 & highs; // never 0: bytes 13 to 15 are
        w1 &= ((zero & (~zero + 1)) >> 7) - 1;
    }
    memcpy(out->text, &w0, 8);
    memcpy(out->text + 8, &w1, 8);
#else
    int32_t n = 0;
    for (; n < kCodeSize && field[n]; ++n)
        out->text[n] = char(field[n]);
    memset(out->text + n, 0, sizeof out->text - size_t(n));
#endif
}

// Compares the code field at `offset` with a key, exactly, in place: the field is its bytes up
// to its NUL or its width, whichever comes first.
static inline bool FieldIs(const unsigned char* base, size_t offset, const FieldKey& key) {
    if (key.length > kCodeSize) return false;
    uint64_t head;
    memcpy(&head, base + offset, 8); // within the field's 13 bytes
    if ((head & key.mask) != key.head) return false;
    if (key.length < 8) return true; // its NUL was compared too
    const char* field = Chars(base, offset);
    for (int32_t i = 8; i < kCodeSize; ++i) {
        if (field[i] != key.text[i]) return false;
        if (key.text[i] == 0) return true;
    }
    return key.length == kCodeSize;
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

namespace {

// The host's record when there is one and it is of the walk's firm and client, else null.
template <typename Record>
const unsigned char* RecordOfClient(const void* record, const WalkKey& key) {
    const unsigned char* b = static_cast<const unsigned char*>(record);
    if (!b || !FieldIs(b, offsetof(Record, firmId), key.firmId) ||
        !FieldIs(b, offsetof(Record, clientCode), key.clientCode))
        return nullptr;
    return b;
}

} // namespace

bool NextMoneyLimit(uint32_t* index, const WalkKey& key, MoneyLimit* out) {
    const unsigned char* b = RecordOfClient<KRMoneyLimit>(gState.getMoneyLimit(*index), key);
    if (!b) return false;
    CopyField(out->tag, b, offsetof(KRMoneyLimit, tag), sizeof(KRMoneyLimit::tag));
    out->openBalance = F64(b, offsetof(KRMoneyLimit, openBalance));
    out->openLimit = F64(b, offsetof(KRMoneyLimit, openLimit));
    out->currentBalance = F64(b, offsetof(KRMoneyLimit, currentBalance));
    out->currentLimit = F64(b, offsetof(KRMoneyLimit, currentLimit));
    out->locked = F64(b, offsetof(KRMoneyLimit, locked));
    out->lockedValue = F64(b, offsetof(KRMoneyLimit, lockedValue));
    out->leveragePercent = InterfaceVersion() >= KR_INTERFACE_V2
                               ? I32(b, offsetof(KRMoneyLimit, leveragePercent))
                               : -1;
    ++*index;
    return true;
}

bool NextSecLimit(uint32_t* index, const WalkKey& key, SecLimit* out) {
    const unsigned char* b = RecordOfClient<KRSecLimit>(gState.getSecLimit(*index), key);
    if (!b) return false;
    if (key.bySecurity && !FieldIs(b, offsetof(KRSecLimit, secCode), key.secCode)) return false;
    CopyPaddedCode(&out->secCode, b + offsetof(KRSecLimit, secCode));
    CopyField(out->trdAcc, b, offsetof(KRSecLimit, trdAcc), kCodeSize);
    out->openBalance = I32(b, offsetof(KRSecLimit, openBalance));
    out->openLimit = I32(b, offsetof(KRSecLimit, openLimit));
    out->currentBalance = I32(b, offsetof(KRSecLimit, currentBalance));
    out->currentLimit = I32(b, offsetof(KRSecLimit, currentLimit));
    out->lockedSell = I32(b, offsetof(KRSecLimit, lockedSell));
    out->lockedBuy = I32(b, offsetof(KRSecLimit, lockedBuy));
    out->lockedBuyValue = F64(b, offsetof(KRSecLimit, lockedBuyValue));
    ++*index;
    return true;
}

} // namespace kesvar
