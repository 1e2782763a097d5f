#include "fake_host.h"

#include <stdlib.h>
#include <string.h>

#include <set>

namespace fakehost {

namespace {
Host* theHost = nullptr;
// Blocks handed out by the hooks; a set, so a foreign or double free is noticed.
std::set<void*>& Blocks() {
    static std::set<void*> blocks;
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

std::string Field(const uint8_t* base, size_t offset, size_t width) {
    const char* p = reinterpret_cast<const char*>(base + offset);
    return std::string(p, strnlen(p, width));
}

bool Fails() {
    MemoryStats& m = host().memory;
    ++m.allocating;
    return m.failAt > 0 && m.allocating == m.failAt;
}
} // namespace

Host& host() {
    if (!theHost) theHost = new Host();
    return *theHost;
}

void Reset() {
    delete theHost;
    theHost = new Host();
}

void* KR_CALL HookAlloc(uint32_t size) {
    MemoryStats& m = host().memory;
    ++m.allocCalls;
    if (Fails()) return nullptr;
    void* p = malloc(size ? size : 1);
    Blocks().insert(p);
    ++m.live;
    return p;
}

void KR_CALL HookFree(void* block) {
    MemoryStats& m = host().memory;
    if (!block) {
        ++m.freeNullCalls;
        return;
    }
    ++m.freeCalls;
    if (Blocks().erase(block) == 0) {
        ++m.foreignFrees;
        return;
    }
    --m.live;
    free(block);
}

void* KR_CALL HookRealloc(void* block, uint32_t size) {
    MemoryStats& m = host().memory;
    ++m.reallocCalls;
    m.reallocSizes.push_back(size);
    if (block && Blocks().count(block) == 0) {
        ++m.foreignFrees;
        return nullptr;
    }
    if (Fails()) return nullptr;
    void* p = realloc(block, size ? size : 1);
    if (!p) return nullptr;
    if (block)
        Blocks().erase(block);
    else
        ++m.live;
    Blocks().insert(p);
    return p;
}

int32_t KR_CALL FindFirstMoneyLimit(const char* firmId, const char* clientCode, const char* f1,
                                    const char* f2, uint32_t* first) {
    Host& h = host();
    h.log.push_back(std::string("findFirstMoney ") + firmId + " " + clientCode +
                    (*f1 || *f2 ? " filters!" : ""));
    if (!h.findFirstStores) return 0;
    if (h.forcedFirstIndex >= 0) {
        *first = uint32_t(h.forcedFirstIndex);
        return 1;
    }
    for (size_t i = 0; i < h.moneyLimits.size(); ++i) {
        const uint8_t* r = h.moneyLimits[i].get();
        if (Field(r, 14, 13) == firmId && Field(r, 27, 13) == clientCode) {
            *first = uint32_t(i);
            return 1;
        }
    }
    *first = uint32_t(h.moneyLimits.size());
    return 0;
}

const KRMoneyLimit* KR_CALL GetMoneyLimit(uint32_t index) {
    Host& h = host();
    h.log.push_back("getMoney " + std::to_string(index));
    if (index >= h.moneyLimits.size()) return nullptr;
    return reinterpret_cast<const KRMoneyLimit*>(h.moneyLimits[index].get());
}

int32_t KR_CALL FindFirstSecLimit(const char* firmId, const char* clientCode, const char* secCode,
                                  const char* f2, uint32_t* first) {
    Host& h = host();
    h.log.push_back(std::string("findFirstSec ") + firmId + " " + clientCode + " " + secCode +
                    (*f2 ? " filters!" : ""));
    if (!h.findFirstStores) return 0;
    if (h.forcedFirstIndex >= 0) {
        *first = uint32_t(h.forcedFirstIndex);
        return 1;
    }
    for (size_t i = 0; i < h.secLimits.size(); ++i) {
        const uint8_t* r = h.secLimits[i].get();
        if (Field(r, 30, 13) == firmId && Field(r, 43, 13) == clientCode &&
            (*secCode == 0 || Field(r, 4, 13) == secCode)) {
            *first = uint32_t(i);
            return 1;
        }
    }
    *first = uint32_t(h.secLimits.size());
    return 0;
}

const KRSecLimit* KR_CALL GetSecLimit(uint32_t index) {
    Host& h = host();
    h.log.push_back("getSec " + std::to_string(index));
    if (index >= h.secLimits.size()) return nullptr;
    return reinterpret_cast<const KRSecLimit*>(h.secLimits[index].get());
}

int32_t KR_CALL GetParamId(const char* name) {
    Host& h = host();
    h.log.push_back(std::string("paramId ") + name);
    auto it = h.paramIds.find(name);
    return it == h.paramIds.end() ? -1 : it->second;
}

double KR_CALL GetParamValue(uint32_t classId, uint32_t secId, int32_t paramId) {
    Host& h = host();
    h.log.push_back("paramValue " + std::to_string(classId) + " " + std::to_string(secId) + " " +
                    std::to_string(paramId));
    auto it = h.paramValues.find(std::make_tuple(classId, secId, paramId));
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
    h.secLimits.push_back(std::move(r));
    return uint32_t(h.secLimits.size() - 1);
}

void SetParam(uint32_t classId, uint32_t secId, const std::string& name, double value) {
    Host& h = host();
    auto it = h.paramIds.find(name);
    int32_t id = it == h.paramIds.end() ? -1 : it->second;
    h.paramValues[std::make_tuple(classId, secId, id)] = value;
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
