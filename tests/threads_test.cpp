// Many host threads at once: the library serves one call at a time, runs every hook and
// callback under its lock, keeps the last-error value per thread, and a reload of a firm's
// settings only makes rows stale (refused with KR_ERR_ARGUMENT), never wrong.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "fake_host.h"
#include "reliability_world.h"

using namespace fakehost;

namespace {

// The fake host's containers and counters are plain data: safe only while the library's lock
// keeps its callbacks from running at the same time. Every hook and callback goes through a
// guard that notices two of them running at once.
std::atomic<int> gInside{0};
std::atomic<int64_t> gOverlaps{0};
std::atomic<int64_t> gCallbacks{0};

// A probe runs once inside the chosen callback: it starts a thread that calls an export and
// checks that the export waits for the callback's caller to leave the library.
enum ProbeAt { kNoProbe, kProbeAlloc, kProbeMoneyLimit, kProbeParamValue, kProbeMarginSecs };
std::atomic<int> gProbeAt{kNoProbe};
std::atomic<bool> gProbeBlocked{false};
std::thread gProbeThread;
std::atomic<bool> gProbeDone{false};

void Probe(ProbeAt at) {
    int expected = at;
    if (at == kNoProbe || !gProbeAt.compare_exchange_strong(expected, kNoProbe)) return;
    gProbeDone = false;
    gProbeThread = std::thread([] {
        KRIsLimitsInLots("F1"); // takes the lock, calls no hook
        gProbeDone = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    gProbeBlocked = !gProbeDone;
}

struct Guard {
    explicit Guard(ProbeAt at) {
        Probe(at);
        ++gCallbacks;
        if (gInside.fetch_add(1) != 0) ++gOverlaps;
    }
    ~Guard() { gInside.fetch_sub(1); }
};

void* KR_CALL Alloc(uint32_t n) {
    Guard g(kProbeAlloc);
    return HookAlloc(n);
}
void KR_CALL Free(void* p) {
    Guard g(kNoProbe);
    HookFree(p);
}
void* KR_CALL Realloc(void* p, uint32_t n) {
    Guard g(kProbeAlloc);
    return HookRealloc(p, n);
}
int32_t KR_CALL FirstMoney(const char* f, const char* c, const char* a, const char* b,
                           uint32_t* i) {
    Guard g(kNoProbe);
    return FindFirstMoneyLimit(f, c, a, b, i);
}
const KRMoneyLimit* KR_CALL Money(uint32_t i) {
    Guard g(kProbeMoneyLimit);
    return GetMoneyLimit(i);
}
int32_t KR_CALL FirstSec(const char* f, const char* c, const char* s, const char* b, uint32_t* i) {
    Guard g(kNoProbe);
    return FindFirstSecLimit(f, c, s, b, i);
}
const KRSecLimit* KR_CALL Sec(uint32_t i) {
    Guard g(kNoProbe);
    return GetSecLimit(i);
}
int32_t KR_CALL ParamId(const char* name) {
    Guard g(kNoProbe);
    return GetParamId(name);
}
double KR_CALL ParamValue(uint32_t c, uint32_t s, int32_t p) {
    Guard g(kProbeParamValue);
    return GetParamValue(c, s, p);
}
int32_t KR_CALL MarginSecs(const KRMarginClassEntry* e, uint32_t n, uintptr_t user) {
    Guard g(kProbeMarginSecs);
    return world::RecordMarginSecs(e, n, user);
}

void InstallGuarded() {
    host().version = 2;
    ASSERT_EQ(1, KRSetMemoryManagement(Alloc, Free, Realloc));
    ASSERT_EQ(1, KRSetLimitCallbacks(FirstMoney, Money, FirstSec, Sec));
    ASSERT_EQ(1, KRSetParamCallbacks(ParamId, ParamValue));
    ASSERT_EQ(1, KRInitEx(2, 96, 96));
}

void LoadWorld() {
    ASSERT_EQ(4, world::RegisterClasses());
    ASSERT_EQ(1, KRSetDliniFile("F1", world::FirmText()));
    ASSERT_EQ(1, KRSetDliniFile("F2", world::SecondFirmText()));
    world::AddHostData();
    host().log.clear();
}

bool Stale(int32_t result) {
    return result == 0 && KRGetLastError() == KR_ERR_ARGUMENT;
}

// One client's figures, lists and codes. False when a reload on another thread made the row
// stale on the way; the caller binds again and retries.
bool Attempt(const char* firm, const std::string& client, const std::vector<world::SecRef>& secs,
             std::string& out) {
    out.clear();
    KRMarginalRow row = Row(firm, client);
    world::PutCall(out, KRInitMarginalRow(&row)); // a reload is in place: binding never fails
    int32_t r = KRCalcMarginalRow(&row);
    if (Stale(r)) return false;
    world::PutCall(out, r);
    world::PutRow(out, row, sizeof row);
    for (const world::SecRef& s : secs) {
        KRMarginalActv actv = Actv(s.classId, s.secId);
        r = KRInitMarginalActv(&row, &actv);
        if (Stale(r)) return false;
        world::PutCall(out, r);
        r = KRCalcMarginalActv(&row, &actv, 0.0);
        if (Stale(r)) return false;
        world::PutCall(out, r);
        world::Put(out, &actv, sizeof actv);
        uint32_t classId = 0, secId = 0;
        r = KRIsMarginSeccode(&row, s.code.c_str(), &classId, &secId);
        if (Stale(r)) return false;
        world::PutCall(out, r);
        world::PutValue(out, secId);
    }
    r = KRGetMarginSecs(&row, MarginSecs, reinterpret_cast<uintptr_t>(&out));
    if (Stale(r)) return false;
    world::PutCall(out, r);
    uint32_t ids[16] = {};
    int32_t count = 16;
    world::PutValue(out, KRGetNeedClassSecIDs(10, ids, &count));
    world::Put(out, ids, sizeof ids);
    world::PutCall(out, KRIsLimitsInLots(firm));
    return true;
}

struct Job {
    const char* firm;
    std::string client;
};

} // namespace

TEST(Threads, CallbacksRunUnderTheLibraryLock) {
    InstallGuarded();
    LoadWorld();
    KRMarginalRow row = Row("F1", "C1");
    ASSERT_EQ(1, KRInitMarginalRow(&row));
    std::string sink;
    struct {
        const char* name;
        ProbeAt at;
        std::function<void()> call;
    } cases[] = {
        {"allocate hook in KRSetDliniFile", kProbeAlloc,
         [] { KRSetDliniFile("F3", world::SecondFirmText()); }},
        {"money limit in KRCalcMarginalRow", kProbeMoneyLimit, [&] { KRCalcMarginalRow(&row); }},
        {"parameter value in KRCalcMarginalActv", kProbeParamValue,
         [&] {
             KRMarginalActv actv = Actv(10, 101);
             KRInitMarginalActv(&row, &actv);
             KRCalcMarginalActv(&row, &actv, 0.0);
         }},
        {"KRMarginSecsFunc in KRGetMarginSecs", kProbeMarginSecs,
         [&] { KRGetMarginSecs(&row, MarginSecs, reinterpret_cast<uintptr_t>(&sink)); }},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.name);
        gProbeBlocked = false;
        gProbeAt = c.at;
        c.call();
        EXPECT_EQ(kNoProbe, gProbeAt.load()) << "the callback was never called";
        ASSERT_TRUE(gProbeThread.joinable());
        gProbeThread.join();
        EXPECT_TRUE(gProbeBlocked) << "another thread entered the library during the callback";
        EXPECT_TRUE(gProbeDone);
    }
}

TEST(Threads, EightThreadsMatchASingleThreadedRun) {
    InstallGuarded();
    LoadWorld();
    const std::vector<world::SecRef> secs = world::Securities();
    std::vector<Job> jobs;
    for (const std::string& c : world::FirmClients())
        jobs.push_back({"F1", c});
    for (const std::string& c : world::SecondFirmClients())
        jobs.push_back({"F2", c});

    std::vector<std::string> reference(jobs.size());
    for (size_t j = 0; j < jobs.size(); ++j)
        ASSERT_TRUE(Attempt(jobs[j].firm, jobs[j].client, secs, reference[j]));

    const int kThreads = 8, kRounds = 60, kMaxRetries = 200;
    std::atomic<int64_t> mismatches{0}, staleRetries{0}, giveUps{0}, reloads{0}, badReloads{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            std::string seen;
            for (int round = 0; round < kRounds; ++round) {
                // Two threads keep reloading F1 with its own text: F1's rows go stale, F2's not.
                if (t < 2 && round % 3 == t) {
                    ++reloads;
                    if (KRSetDliniFile("F1", world::FirmText()) != 1 ||
                        KRGetLastError() != KR_ERR_NONE)
                        ++badReloads;
                }
                size_t j = size_t(t * 5 + round) % jobs.size();
                int tries = 0;
                while (!Attempt(jobs[j].firm, jobs[j].client, secs, seen)) {
                    ++staleRetries;
                    if (++tries == kMaxRetries) break;
                }
                if (tries == kMaxRetries)
                    ++giveUps;
                else if (seen != reference[j])
                    ++mismatches;
            }
        });
    }
    for (std::thread& th : threads)
        th.join();

    EXPECT_EQ(0, mismatches.load());
    EXPECT_EQ(0, giveUps.load());
    EXPECT_EQ(0, badReloads.load());
    EXPECT_GT(reloads.load(), 0);
    EXPECT_EQ(0, gOverlaps.load()) << "two hooks or callbacks ran at the same time";
    EXPECT_GT(gCallbacks.load(), 1000);
    std::cout << kThreads << " threads x " << kRounds << " rounds: " << reloads.load()
              << " reloads, " << staleRetries.load() << " stale-row retries, " << gCallbacks.load()
              << " hook and callback calls" << std::endl;
    ASSERT_EQ(1, KRCleanup());
    EXPECT_EQ(0, host().memory.live);
    EXPECT_EQ(0, host().memory.foreignFrees);
}
