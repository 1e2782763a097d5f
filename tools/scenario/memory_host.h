// The in-memory host: a terminal in memory behind the library's callbacks, the tool's and the
// one every test and benchmark uses. The library's callbacks are plain function pointers, so
// the host is a process-wide singleton; every test runs in its own process and starts from a fresh
// one.
#ifndef KESVAR_TOOLS_MEMORY_HOST_H
#define KESVAR_TOOLS_MEMORY_HOST_H

#include <string.h>

#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "kesvar.h"

namespace memory_host {

struct SecurityDef {
    uint32_t secId;
    std::string code;
    int32_t lotSize = 1;
    double faceValue = 0.0;
};

// Counting memory hooks. Every block handed out is tracked with its size, so a test can check
// that the library freed everything and never freed a block it did not get, and a benchmark can
// see how many bytes the library holds. In order: hook calls (allocate, reallocate, free with a
// block and free with none); blocks handed out and not yet freed; frees or reallocs of blocks
// the hooks never handed out; when failAt > 0, the failAt-th allocating call (alloc or realloc)
// fails, allocating counting those calls so far; bytes of the live blocks as requested, and the
// highest count so far (set peakLiveBytes to liveBytes to watch a new stretch of calls).
struct MemoryStats {
    int64_t allocCalls = 0, reallocCalls = 0, freeCalls = 0, freeNullCalls = 0, live = 0,
            foreignFrees = 0, failAt = 0, allocating = 0, liveBytes = 0, peakLiveBytes = 0;
};

// Key of a market parameter value: the host's class, security and parameter ids; its own hash.
struct ParamKey {
    uint32_t classId, secId;
    int32_t paramId;
    bool operator==(const ParamKey& o) const { return memcmp(this, &o, sizeof o) == 0; }
    size_t operator()(const ParamKey& k) const {
        const uint64_t ids = uint64_t(k.classId) << 32 | k.secId;
        return std::hash<uint64_t>()(ids * 0x9E3779B97F4A7C15ull ^ uint32_t(k.paramId));
    }
};

struct Host {
    int32_t version = 2;
    // Without logging the callbacks keep no log, so the host costs about what a real terminal
    // does (benchmarks); everything else works the same. Without findFirstStores, find-first
    // stores nothing at all.
    bool logging = true, findFirstStores = true;
    // Raw records, each its own heap block of exactly the declared size (88 or 96 bytes),
    // so a read past a record's end is caught by AddressSanitizer. Find-first answers come
    // from an index over them that follows appends and clears; after rewriting a record's firm,
    // client or security code in place, call LimitsChanged().
    std::vector<std::unique_ptr<uint8_t[]>> moneyLimits, secLimits;
    // Parameter ids by name; a name missing here answers -1.
    std::map<std::string, int32_t> paramIds{
        {"OFFER", 1}, {"BID", 2}, {"PREVPRICE", 3}, {"LAST", 4}, {"ACCRUEDINT", 5}};
    // Parameter values by (classId, secId, paramId); missing values answer 0.0.
    std::unordered_map<ParamKey, double, ParamKey> paramValues;
    // Every callback call, in order: "paramId OFFER", "paramValue 10 101 1",
    // "findFirstMoney F1 C1", "getMoney 0", "findFirstSec F1 C1 SBER", "getSec 2",
    // "marginSecs 3".
    std::vector<std::string> log;
    MemoryStats memory;
};

// The host. Reset() gives a fresh one (the library's own state is not touched).
Host& host();
void Reset();
// Drops the find-first index; the next search rebuilds it from the records as they are.
void LimitsChanged();

// Installs the callbacks and (when memoryHooks) the counting memory hooks, then initialises
// the library with KRInitEx(version, size, size) where size is 88 (v1) or 96 (v2).
// Returns KRInitEx's result.
int32_t Install(int32_t version = 2, bool memoryHooks = true);
// Only installs the callbacks and hooks (for lifecycle tests).
void InstallCallbacks(bool memoryHooks = true);

// Raw hook and callback functions, for tests that install them selectively.
void* KR_CALL HookAlloc(uint32_t size);
void KR_CALL HookFree(void* block);
void* KR_CALL HookRealloc(void* block, uint32_t size);
int32_t KR_CALL FindFirstMoneyLimit(const char* firmId, const char* clientCode, const char* f1,
                                    const char* f2, uint32_t* first);
const KRMoneyLimit* KR_CALL GetMoneyLimit(uint32_t index);
int32_t KR_CALL FindFirstSecLimit(const char* firmId, const char* clientCode, const char* secCode,
                                  const char* f2, uint32_t* first);
const KRSecLimit* KR_CALL GetSecLimit(uint32_t index);
int32_t KR_CALL GetParamId(const char* name);
double KR_CALL GetParamValue(uint32_t classId, uint32_t secId, int32_t paramId);

// Registers a class through KRAddClass; returns its result (last error is left by the call).
int32_t AddClass(uint32_t classId, const std::string& code, const std::vector<SecurityDef>& secs,
                 uint32_t flags = 0, int8_t valueUnlisted = 0);

// Money amounts in hundredths, as the host keeps them. Appends a record of the host's
// version size (88 or 96 bytes) and returns its index.
struct Money {
    std::string firm, client, tag;
    double openBalance = 0, openLimit = 0, currentBalance = 0, currentLimit = 0, locked = 0,
           lockedValue = 0;
    int32_t leveragePercent = -1;
};
uint32_t AddMoneyLimit(const Money& m);

struct Position {
    std::string firm, client, secCode, trdAcc;
    int32_t openBalance = 0, openLimit = 0, currentBalance = 0, currentLimit = 0, lockedSell = 0,
            lockedBuy = 0;
    double lockedBuyValue = 0;
};
uint32_t AddSecLimit(const Position& p);

// Market parameters of one security (by host ids).
void SetParam(uint32_t classId, uint32_t secId, const std::string& name, double value);
void SetPrices(uint32_t classId, uint32_t secId, double offer, double bid, double prev, double last,
               double accrued = 0.0);

// A zeroed row request with its size tag, firm id and client code (cut to their fields).
KRMarginalRow Row(const std::string& firm, const std::string& client,
                  uint32_t size = KR_ROW_SIZE_280);
// A zeroed actv request with its size tag and host ids.
KRMarginalActv Actv(uint32_t classId, uint32_t secId, uint32_t size = KR_ACTV_SIZE_56);

// Log lines that start with `prefix`, in order.
std::vector<std::string> LogLines(const std::string& prefix);

} // namespace memory_host

#endif
