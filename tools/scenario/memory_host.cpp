#include "scenario/memory_host.h"

#include <stddef.h>
#include <stdlib.h>

#include <algorithm>
#include <string_view>

namespace memory_host {

namespace {
Host* theHost = nullptr;
// Blocks handed out by the hooks, with their sizes, so a foreign or double free is noticed.
// Never destroyed, so the hooks keep working while statics are torn down.
std::unordered_map<void*, uint32_t>& blocks = *new std::unordered_map<void*, uint32_t>();

// Copies at most N-1 characters and the NUL, like the host's own string fields.
template <size_t N> void Copy(char (&field)[N], const std::string& s) {
    const size_t n = std::min(s.size(), N - 1);
    memcpy(field, s.data(), n);
    field[n] = 0;
}

size_t RecordSize() {
    return host().version == 1 ? 88 : 96;
}

// Allocates (no block), resizes or (release) frees a block the hooks handed out, counting
// blocks and bytes.
void* Resize(void* block, uint32_t size, bool release = false) {
    MemoryStats& m = host().memory;
    auto it = blocks.find(block);
    if (block && it == blocks.end()) {
        ++m.foreignFrees;
        return nullptr;
    }
    if (!release && ++m.allocating == m.failAt && m.failAt > 0) return nullptr;
    if (release) free(block);
    void* p = release ? nullptr : realloc(block, size ? size : 1);
    if (!p && !release) return nullptr;
    m.liveBytes += (p ? int64_t(size) : 0) - (block ? int64_t(it->second) : 0);
    m.peakLiveBytes = std::max(m.peakLiveBytes, m.liveBytes);
    m.live += (p ? 1 : 0) - (block ? 1 : 0);
    if (block) blocks.erase(it);
    if (p) blocks.emplace(p, size);
    return p;
}

using Records = std::vector<std::unique_ptr<uint8_t[]>>;

// Every code field of a limit record (firm, client, security) is this wide.
const size_t kCodeField = sizeof(KRSecLimit::secCode);
static_assert(sizeof(KRSecLimit::firmId) == kCodeField &&
                  sizeof(KRSecLimit::clientCode) == kCodeField &&
                  sizeof(KRMoneyLimit::firmId) == kCodeField &&
                  sizeof(KRMoneyLimit::clientCode) == kCodeField,
              "one width for the codes of the limit records");

// Firm, client and security code of a limit record as the search compares them: each the
// field's text up to its NUL or the field's end, zero-padded; a searched text too long for its
// field has a 1 in the byte after it, so it matches no record. Its own hash.
struct LimitKey {
    char bytes[3 * (kCodeField + 1)];
    bool operator==(const LimitKey& o) const { return memcmp(bytes, o.bytes, sizeof bytes) == 0; }
    size_t operator()(const LimitKey& k) const {
        return std::hash<std::string_view>()(std::string_view(k.bytes, sizeof k.bytes));
    }
};

// The key of the first `parts` texts, each read up to `max` bytes (kCodeField in a record).
LimitKey KeyOf(const void* const (&texts)[3], int parts, size_t max) {
    LimitKey key = {};
    for (int i = 0; i < parts; ++i) {
        const size_t n = strnlen(static_cast<const char*>(texts[i]), max);
        char* field = key.bytes + (kCodeField + 1) * size_t(i);
        memcpy(field, texts[i], std::min(n, kCodeField));
        field[kCodeField] = n > kCodeField;
    }
    return key;
}

// The records of one kind of limit, and the first record index of each (firm, client) and, for
// securities limits, of each (firm, client, code): the answers of a front-to-back search. One
// map holds both, a key without a code being zero there. Records are indexed as they come;
// when the array shrank or its front or last indexed block changed, the index starts over
// (count = 0 does that too).
struct Limits {
    const char* name; // in the call log: "Money" or "Sec"
    Records Host::*records;
    size_t at[3]; // field offsets of the firm, client and security code (0: none)
    size_t count = 0;
    const uint8_t *front = nullptr, *last = nullptr;
    std::unordered_map<LimitKey, uint32_t, LimitKey> firsts = {};

    LimitKey Key(const uint8_t* r, int parts) const {
        return KeyOf({r + at[0], r + at[1], r + at[2]}, parts, kCodeField);
    }
    // Whether the records are still those indexed, perhaps with more after them.
    bool Extends(const Records& all) const {
        return all.size() >= count &&
               (count == 0 || (all[0].get() == front && all[count - 1].get() == last));
    }
    void Sync(const Records& all) {
        if (!Extends(all)) count = 0;
        if (count == 0) firsts.clear();
        for (; count < all.size(); ++count) {
            firsts.emplace(Key(all[count].get(), 2), uint32_t(count));
            if (at[2]) firsts.emplace(Key(all[count].get(), 3), uint32_t(count));
        }
        front = count ? all.front().get() : nullptr;
        last = count ? all.back().get() : nullptr;
    }

    // The first record that matches, as a front-to-back search answers: its index and 1, or
    // the record count and 0 when none does. An index answer whose record no longer matches
    // (rewritten in place) makes the index start over.
    int32_t FindFirst(const char* firmId, const char* clientCode, const char* secCode,
                      bool filtered, uint32_t* first) {
        if (host().logging)
            host().log.push_back(std::string("findFirst") + name + " " + firmId + " " + clientCode +
                                 (at[2] ? std::string(" ") + secCode : "") +
                                 (filtered ? " filters!" : ""));
        if (!host().findFirstStores) return 0;
        const Records& all = host().*records;
        const int parts = at[2] && *secCode ? 3 : 2;
        const LimitKey key = KeyOf({firmId, clientCode, secCode}, parts, kCodeField + 1);
        for (int attempt = 0; attempt < 2; ++attempt) {
            Sync(all);
            auto it = firsts.find(key);
            if (it == firsts.end()) break;
            if (Key(all[it->second].get(), parts) == key) {
                *first = it->second;
                return 1;
            }
            count = 0;
        }
        *first = uint32_t(all.size());
        return 0;
    }
    // A new record of the host's version size at the end, filled with bytes the library must
    // not depend on, with its firm and client.
    template <class R> R* Append(const std::string& firm, const std::string& client) {
        Records& all = host().*records;
        // A cleared array refilled to its old length could reuse the old blocks' addresses.
        if (!Extends(all)) count = 0;
        all.emplace_back(new uint8_t[RecordSize()]);
        R* r = reinterpret_cast<R*>(memset(all.back().get(), 0xA5, RecordSize()));
        Copy(r->firmId, firm);
        Copy(r->clientCode, client);
        return r;
    }
    const uint8_t* Get(uint32_t index) const {
        if (host().logging)
            host().log.push_back(std::string("get") + name + " " + std::to_string(index));
        return index < (host().*records).size() ? (host().*records)[index].get() : nullptr;
    }
};

// Field offsets as kesvar.h lays the records out.
Limits moneyIndex{"Money",
                  &Host::moneyLimits,
                  {offsetof(KRMoneyLimit, firmId), offsetof(KRMoneyLimit, clientCode), 0}};
Limits secIndex{"Sec",
                &Host::secLimits,
                {offsetof(KRSecLimit, firmId), offsetof(KRSecLimit, clientCode),
                 offsetof(KRSecLimit, secCode)}};

int32_t ParamIdOf(const std::string& name) {
    auto it = host().paramIds.find(name);
    return it == host().paramIds.end() ? -1 : it->second;
}
} // namespace

Host& host() {
    if (!theHost) theHost = new Host();
    return *theHost;
}

void Reset() {
    delete theHost;
    theHost = new Host();
    LimitsChanged();
}

void LimitsChanged() {
    moneyIndex.count = secIndex.count = 0;
}

void* KR_CALL HookAlloc(uint32_t size) {
    ++host().memory.allocCalls;
    return Resize(nullptr, size);
}

void* KR_CALL HookRealloc(void* block, uint32_t size) {
    ++host().memory.reallocCalls;
    return Resize(block, size);
}

void KR_CALL HookFree(void* block) {
    ++(block ? host().memory.freeCalls : host().memory.freeNullCalls);
    Resize(block, 0, true);
}

int32_t KR_CALL FindFirstMoneyLimit(const char* firmId, const char* clientCode, const char* f1,
                                    const char* f2, uint32_t* first) {
    return moneyIndex.FindFirst(firmId, clientCode, "", *f1 || *f2, first);
}

const KRMoneyLimit* KR_CALL GetMoneyLimit(uint32_t index) {
    return reinterpret_cast<const KRMoneyLimit*>(moneyIndex.Get(index));
}

int32_t KR_CALL FindFirstSecLimit(const char* firmId, const char* clientCode, const char* secCode,
                                  const char* f2, uint32_t* first) {
    return secIndex.FindFirst(firmId, clientCode, secCode, *f2, first);
}

const KRSecLimit* KR_CALL GetSecLimit(uint32_t index) {
    return reinterpret_cast<const KRSecLimit*>(secIndex.Get(index));
}

int32_t KR_CALL GetParamId(const char* name) {
    if (host().logging) host().log.push_back(std::string("paramId ") + name);
    return ParamIdOf(name);
}

double KR_CALL GetParamValue(uint32_t classId, uint32_t secId, int32_t paramId) {
    if (host().logging)
        host().log.push_back("paramValue " + std::to_string(classId) + " " + std::to_string(secId) +
                             " " + std::to_string(paramId));
    auto it = host().paramValues.find(ParamKey{classId, secId, paramId});
    return it == host().paramValues.end() ? 0.0 : it->second;
}

void InstallCallbacks(bool memoryHooks) {
    if (memoryHooks) KRSetMemoryManagement(HookAlloc, HookFree, HookRealloc);
    KRSetLimitCallbacks(FindFirstMoneyLimit, GetMoneyLimit, FindFirstSecLimit, GetSecLimit);
    KRSetParamCallbacks(GetParamId, GetParamValue);
}

int32_t Install(int32_t version, bool memoryHooks) {
    host().version = version;
    InstallCallbacks(memoryHooks);
    return KRInitEx(version, int32_t(RecordSize()), int32_t(RecordSize()));
}

int32_t AddClass(uint32_t classId, const std::string& code, const std::vector<SecurityDef>& secs,
                 uint32_t flags, int8_t valueUnlisted) {
    KRClass c = {classId, int32_t(secs.size()), flags, {}, valueUnlisted, {}};
    Copy(c.code, code);
    std::vector<KRSecurity> records(secs.size() + 1);
    for (size_t i = 0; i < secs.size(); ++i) {
        // The class index is ignored on input.
        records[i] = {secs[i].faceValue, secs[i].secId, 0xDEADBEEF, secs[i].lotSize, {}};
        Copy(records[i].code, secs[i].code);
    }
    return KRAddClass(&c, records.data());
}

uint32_t AddMoneyLimit(const Money& m) {
    auto* r = moneyIndex.Append<KRMoneyLimit>(m.firm, m.client);
    Copy(r->tag, m.tag);
    const double amounts[6] = {m.openBalance,  m.openLimit, m.currentBalance,
                               m.currentLimit, m.locked,    m.lockedValue};
    memcpy(&r->openBalance, amounts, sizeof amounts);
    if (RecordSize() == 96) r->leveragePercent = m.leveragePercent;
    return uint32_t(host().moneyLimits.size() - 1);
}

uint32_t AddSecLimit(const Position& p) {
    auto* r = secIndex.Append<KRSecLimit>(p.firm, p.client);
    Copy(r->secCode, p.secCode);
    Copy(r->trdAcc, p.trdAcc);
    const int32_t counts[6] = {p.openBalance,  p.openLimit,  p.currentBalance,
                               p.currentLimit, p.lockedSell, p.lockedBuy};
    memcpy(&r->openBalance, counts, sizeof counts);
    r->lockedBuyValue = p.lockedBuyValue;
    return uint32_t(host().secLimits.size() - 1);
}

void SetParam(uint32_t classId, uint32_t secId, const std::string& name, double value) {
    host().paramValues[ParamKey{classId, secId, ParamIdOf(name)}] = value;
}

void SetPrices(uint32_t classId, uint32_t secId, double offer, double bid, double prev, double last,
               double accrued) {
    const double values[] = {offer, bid, prev, last, accrued};
    int i = 0;
    for (const char* name : {"OFFER", "BID", "PREVPRICE", "LAST", "ACCRUEDINT"})
        SetParam(classId, secId, name, values[i++]);
}

KRMarginalRow Row(const std::string& firm, const std::string& client, uint32_t size) {
    KRMarginalRow row = {};
    row.size = size;
    Copy(row.firmId, firm);
    Copy(row.clientCode, client);
    return row;
}

KRMarginalActv Actv(uint32_t classId, uint32_t secId, uint32_t size) {
    return {size, classId, secId, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0.0, 0.0};
}

std::vector<std::string> LogLines(const std::string& prefix) {
    std::vector<std::string> out;
    for (const std::string& line : host().log)
        if (line.compare(0, prefix.size(), prefix) == 0) out.push_back(line);
    return out;
}

} // namespace memory_host
