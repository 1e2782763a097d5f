#include "fake_host.h"

#include <stdlib.h>
#include <string.h>

#include <string_view>

namespace fakehost {

namespace {
Host* theHost = nullptr;
// Blocks handed out by the hooks, with their sizes, so a foreign or double free is noticed.
std::unordered_map<void*, uint32_t>& Blocks() {
    static std::unordered_map<void*, uint32_t> blocks;
    return blocks;
}

void Put(uint8_t* base, size_t offset, const void* src, size_t n) {
    memcpy(base + offset, src, n);
}

// Copies at most width-1 characters and the NUL, like the host's own string fields.
void PutString(uint8_t* base, size_t offset, const std::string& s, size_t width) {
    size_t n = s.size() < width ? s.size() : width - 1;
    memcpy(base + offset, s.data(), n);
    base[offset + n] = 0;
}

bool Fails() {
    MemoryStats& m = host().memory;
    ++m.allocating;
    return m.failAt > 0 && m.allocating == m.failAt;
}

void GrowLive(MemoryStats& m, int64_t bytes) {
    m.liveBytes += bytes;
    if (m.liveBytes > m.peakLiveBytes) m.peakLiveBytes = m.liveBytes;
}

// Firm, client and security code of a limit record as the search compares them: each the
// field's text up to its NUL or the field's end (13 bytes), zero-padded.
struct LimitKey {
    char bytes[3 * 14];
    bool operator==(const LimitKey& o) const { return memcmp(bytes, o.bytes, sizeof bytes) == 0; }
};
struct LimitKeyHash {
    size_t operator()(const LimitKey& k) const {
        return std::hash<std::string_view>()(std::string_view(k.bytes, sizeof k.bytes));
    }
};

// False when a string is longer than any field holds: no record can match it then.
bool PutKeyPart(LimitKey* key, int part, const char* s) {
    size_t n = strnlen(s, 14);
    if (n > 13) return false;
    memcpy(key->bytes + 14 * part, s, n);
    return true;
}

LimitKey KeyOfRecord(const uint8_t* r, size_t firmAt, size_t clientAt, size_t codeAt) {
    LimitKey key;
    memset(&key, 0, sizeof key);
    const size_t at[3] = {firmAt, clientAt, codeAt};
    for (int part = 0; part < 3; ++part) {
        if (at[part] == 0) continue;
        const char* p = reinterpret_cast<const char*>(r + at[part]);
        memcpy(key.bytes + 14 * part, p, strnlen(p, 13));
    }
    return key;
}

using Records = std::vector<std::unique_ptr<uint8_t[]>>;

// First record index of each (firm, client) and, for securities limits, of each (firm,
// client, code): the answers of a front-to-back search. Records are indexed as they come;
// when the array shrank or its front or indexed end changed, the index starts over.
struct LimitIndex {
    size_t count = 0;
    const uint8_t* front = nullptr;
    const uint8_t* end = nullptr; // block of record count - 1
    std::unordered_map<LimitKey, uint32_t, LimitKeyHash> byClient;
    std::unordered_map<LimitKey, uint32_t, LimitKeyHash> byClientSec;

    // Whether the records are still those indexed, perhaps with more after them.
    bool Extends(const Records& records) const {
        return records.size() >= count &&
               (count == 0 || (records[0].get() == front && records[count - 1].get() == end));
    }

    void Clear() {
        count = 0;
        front = end = nullptr;
        byClient.clear();
        byClientSec.clear();
    }

    // Field offsets: firm and client, and the security code (0 for money limits).
    void Sync(const Records& records, size_t firmAt, size_t clientAt, size_t codeAt) {
        if (!Extends(records)) Clear();
        for (size_t i = count; i < records.size(); ++i) {
            const uint8_t* r = records[i].get();
            byClient.emplace(KeyOfRecord(r, firmAt, clientAt, 0), uint32_t(i));
            if (codeAt) byClientSec.emplace(KeyOfRecord(r, firmAt, clientAt, codeAt), uint32_t(i));
        }
        count = records.size();
        if (count > 0) {
            front = records[0].get();
            end = records[count - 1].get();
        }
    }
};

LimitIndex& MoneyIndex() {
    static LimitIndex index;
    return index;
}
LimitIndex& SecIndex() {
    static LimitIndex index;
    return index;
}

constexpr size_t kMoneyFirm = 14, kMoneyClient = 27;
constexpr size_t kSecCode = 4, kSecFirm = 30, kSecClient = 43;

// The first record that matches, as a front-to-back search answers: its index and 1, or the
// record count and 0 when none does. An index answer whose record no longer matches (rewritten
// in place) makes the index start over.
int32_t FindFirst(LimitIndex& index, const Records& records, size_t firmAt, size_t clientAt,
                  size_t codeAt, const char* firmId, const char* clientCode, const char* secCode,
                  uint32_t* first) {
    LimitKey key;
    memset(&key, 0, sizeof key);
    bool byCode = codeAt != 0 && *secCode != 0;
    if (PutKeyPart(&key, 0, firmId) && PutKeyPart(&key, 1, clientCode) &&
        (!byCode || PutKeyPart(&key, 2, secCode))) {
        for (int attempt = 0; attempt < 2; ++attempt) {
            index.Sync(records, firmAt, clientAt, codeAt);
            const auto& map = byCode ? index.byClientSec : index.byClient;
            auto it = map.find(key);
            if (it == map.end()) break;
            if (KeyOfRecord(records[it->second].get(), firmAt, clientAt, byCode ? codeAt : 0) ==
                key) {
                *first = it->second;
                return 1;
            }
            index.Clear();
        }
    }
    *first = uint32_t(records.size());
    return 0;
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
    MoneyIndex().Clear();
    SecIndex().Clear();
}

void* KR_CALL HookAlloc(uint32_t size) {
    MemoryStats& m = host().memory;
    ++m.allocCalls;
    if (Fails()) return nullptr;
    void* p = malloc(size ? size : 1);
    Blocks().emplace(p, size);
    ++m.live;
    GrowLive(m, size);
    return p;
}

void KR_CALL HookFree(void* block) {
    MemoryStats& m = host().memory;
    if (!block) {
        ++m.freeNullCalls;
        return;
    }
    ++m.freeCalls;
    auto it = Blocks().find(block);
    if (it == Blocks().end()) {
        ++m.foreignFrees;
        return;
    }
    m.liveBytes -= it->second;
    Blocks().erase(it);
    --m.live;
    free(block);
}

void* KR_CALL HookRealloc(void* block, uint32_t size) {
    MemoryStats& m = host().memory;
    ++m.reallocCalls;
    if (host().logging) m.reallocSizes.push_back(size);
    auto it = block ? Blocks().find(block) : Blocks().end();
    if (block && it == Blocks().end()) {
        ++m.foreignFrees;
        return nullptr;
    }
    if (Fails()) return nullptr;
    void* p = realloc(block, size ? size : 1);
    if (!p) return nullptr;
    int64_t oldSize = 0;
    if (block) {
        oldSize = it->second;
        Blocks().erase(it);
    } else {
        ++m.live;
    }
    Blocks().emplace(p, size);
    GrowLive(m, int64_t(size) - oldSize);
    return p;
}

int32_t KR_CALL FindFirstMoneyLimit(const char* firmId, const char* clientCode, const char* f1,
                                    const char* f2, uint32_t* first) {
    Host& h = host();
    if (h.logging)
        h.log.push_back(std::string("findFirstMoney ") + firmId + " " + clientCode +
                        (*f1 || *f2 ? " filters!" : ""));
    if (!h.findFirstStores) return 0;
    if (h.forcedFirstIndex >= 0) {
        *first = uint32_t(h.forcedFirstIndex);
        return 1;
    }
    return FindFirst(MoneyIndex(), h.moneyLimits, kMoneyFirm, kMoneyClient, 0, firmId, clientCode,
                     "", first);
}

const KRMoneyLimit* KR_CALL GetMoneyLimit(uint32_t index) {
    Host& h = host();
    if (h.logging) h.log.push_back("getMoney " + std::to_string(index));
    if (index >= h.moneyLimits.size()) return nullptr;
    return reinterpret_cast<const KRMoneyLimit*>(h.moneyLimits[index].get());
}

int32_t KR_CALL FindFirstSecLimit(const char* firmId, const char* clientCode, const char* secCode,
                                  const char* f2, uint32_t* first) {
    Host& h = host();
    if (h.logging)
        h.log.push_back(std::string("findFirstSec ") + firmId + " " + clientCode + " " + secCode +
                        (*f2 ? " filters!" : ""));
    if (!h.findFirstStores) return 0;
    if (h.forcedFirstIndex >= 0) {
        *first = uint32_t(h.forcedFirstIndex);
        return 1;
    }
    return FindFirst(SecIndex(), h.secLimits, kSecFirm, kSecClient, kSecCode, firmId, clientCode,
                     secCode, first);
}

const KRSecLimit* KR_CALL GetSecLimit(uint32_t index) {
    Host& h = host();
    if (h.logging) h.log.push_back("getSec " + std::to_string(index));
    if (index >= h.secLimits.size()) return nullptr;
    return reinterpret_cast<const KRSecLimit*>(h.secLimits[index].get());
}

int32_t KR_CALL GetParamId(const char* name) {
    Host& h = host();
    if (h.logging) h.log.push_back(std::string("paramId ") + name);
    auto it = h.paramIds.find(name);
    return it == h.paramIds.end() ? -1 : it->second;
}

double KR_CALL GetParamValue(uint32_t classId, uint32_t secId, int32_t paramId) {
    Host& h = host();
    if (h.logging)
        h.log.push_back("paramValue " + std::to_string(classId) + " " + std::to_string(secId) +
                        " " + std::to_string(paramId));
    auto it = h.paramValues.find(ParamKey{classId, secId, paramId});
    return it == h.paramValues.end() ? 0.0 : it->second;
}

void InstallCallbacks(bool memoryHooks) {
    if (memoryHooks) KRSetMemoryManagement(HookAlloc, HookFree, HookRealloc);
    KRSetLimitCallbacks(FindFirstMoneyLimit, GetMoneyLimit, FindFirstSecLimit, GetSecLimit);
    KRSetParamCallbacks(GetParamId, GetParamValue);
}

int32_t Install(int32_t version, bool memoryHooks) {
    host().version = version;
    InstallCallbacks(memoryHooks);
    int32_t size = version == 1 ? 88 : 96;
    return KRInitEx(version, size, size);
}

int32_t AddClass(uint32_t classId, const std::string& code, const std::vector<SecuritySpec>& secs,
                 uint32_t flags, int8_t valueUnlisted) {
    KRClass c;
    memset(&c, 0, sizeof c);
    c.classId = classId;
    c.secCount = int32_t(secs.size());
    c.flags = flags;
    PutString(reinterpret_cast<uint8_t*>(&c), offsetof(KRClass, code), code, 13);
    c.valueUnlisted = valueUnlisted;
    std::vector<KRSecurity> records(secs.size() + 1);
    memset(records.data(), 0, records.size() * sizeof(KRSecurity));
    for (size_t i = 0; i < secs.size(); ++i) {
        records[i].faceValue = secs[i].faceValue;
        records[i].secId = secs[i].secId;
        records[i].classIndex = 0xDEADBEEF; // ignored on input
        records[i].lotSize = secs[i].lotSize;
        PutString(reinterpret_cast<uint8_t*>(&records[i]), offsetof(KRSecurity, code), secs[i].code,
                  20);
    }
    return KRAddClass(&c, records.data());
}

uint32_t AddMoneyLimit(const Money& m) {
    Host& h = host();
    size_t size = h.version == 1 ? 88 : 96;
    std::unique_ptr<uint8_t[]> r(new uint8_t[size]);
    memset(r.get(), 0xA5, size); // host bytes the library must not depend on
    PutString(r.get(), 9, m.tag, 5);
    PutString(r.get(), 14, m.firm, 13);
    PutString(r.get(), 27, m.client, 13);
    const double amounts[6] = {m.openBalance,  m.openLimit, m.currentBalance,
                               m.currentLimit, m.locked,    m.lockedValue};
    Put(r.get(), 40, amounts, sizeof amounts);
    if (size == 96) Put(r.get(), 88, &m.leveragePercent, 4);
    // A cleared array refilled to its old length could reuse the old blocks' addresses.
    if (!MoneyIndex().Extends(h.moneyLimits)) MoneyIndex().Clear();
    h.moneyLimits.push_back(std::move(r));
    return uint32_t(h.moneyLimits.size() - 1);
}

uint32_t AddSecLimit(const Position& p) {
    Host& h = host();
    size_t size = h.version == 1 ? 88 : 96;
    std::unique_ptr<uint8_t[]> r(new uint8_t[size]);
    memset(r.get(), 0xA5, size);
    PutString(r.get(), 4, p.secCode, 13);
    PutString(r.get(), 17, p.trdAcc, 13);
    PutString(r.get(), 30, p.firm, 13);
    PutString(r.get(), 43, p.client, 13);
    const int32_t counts[6] = {p.openBalance,  p.openLimit,  p.currentBalance,
                               p.currentLimit, p.lockedSell, p.lockedBuy};
    Put(r.get(), 56, counts, sizeof counts);
    Put(r.get(), 80, &p.lockedBuyValue, 8);
    if (!SecIndex().Extends(h.secLimits)) SecIndex().Clear();
    h.secLimits.push_back(std::move(r));
    return uint32_t(h.secLimits.size() - 1);
}

void SetParam(uint32_t classId, uint32_t secId, const std::string& name, double value) {
    Host& h = host();
    auto it = h.paramIds.find(name);
    int32_t id = it == h.paramIds.end() ? -1 : it->second;
    h.paramValues[ParamKey{classId, secId, id}] = value;
}

void SetPrices(uint32_t classId, uint32_t secId, double offer, double bid, double prev, double last,
               double accrued) {
    SetParam(classId, secId, "OFFER", offer);
    SetParam(classId, secId, "BID", bid);
    SetParam(classId, secId, "PREVPRICE", prev);
    SetParam(classId, secId, "LAST", last);
    SetParam(classId, secId, "ACCRUEDINT", accrued);
}

KRMarginalRow Row(const std::string& firm, const std::string& client, uint32_t size) {
    KRMarginalRow row;
    memset(&row, 0, sizeof row);
    row.size = size;
    PutString(reinterpret_cast<uint8_t*>(&row), offsetof(KRMarginalRow, firmId), firm, 13);
    PutString(reinterpret_cast<uint8_t*>(&row), offsetof(KRMarginalRow, clientCode), client, 16);
    return row;
}

KRMarginalActv Actv(uint32_t classId, uint32_t secId, uint32_t size) {
    KRMarginalActv a;
    memset(&a, 0, sizeof a);
    a.size = size;
    a.classId = classId;
    a.secId = secId;
    return a;
}

std::vector<std::string> LogLines(const std::string& prefix) {
    std::vector<std::string> out;
    for (const std::string& line : host().log)
        if (line.compare(0, prefix.size(), prefix) == 0) out.push_back(line);
    return out;
}

} // namespace fakehost
