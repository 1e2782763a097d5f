// Many host threads at once: the library serves one call at a time, runs every hook and
// callback under its lock, keeps the last-error value per thread, and a reload of a firm's
// settings only makes rows stale (refused with KR_ERR_ARGUMENT), never wrong.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "fake_host.h"
#include "scenario.h"

using namespace fakehost;

namespace {

// The fake host is plain data, safe only while the library's lock keeps its hooks and
// callbacks apart: each of them notes when another one is running.
std::atomic<int> gInside{0}, gProbeAt{0};
std::atomic<int64_t> gOverlaps{0}, gCallbacks{0};
std::atomic<bool> gProbeBlocked{false}, gProbeDone{false};
std::thread gProbe;
enum ProbeAt { kNoProbe, kAlloc, kMoneyLimit, kParamValue, kMarginSecs };

struct Guard {
    // When `at` is armed, another thread calls an export, which must wait for this call.
    explicit Guard(ProbeAt at) {
        int armed = at;
        if (at != kNoProbe && gProbeAt.compare_exchange_strong(armed, 0)) {
            gProbe = std::thread([] {
                KRIsLimitsInLots("F1"); // takes the lock, calls no hook
                gProbeDone = true;
            });
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            gProbeBlocked = !gProbeDone;
        }
        ++gCallbacks;
        if (gInside.fetch_add(1) != 0) ++gOverlaps;
    }
    ~Guard() { gInside.fetch_sub(1); }
};

#define GUARDED(R, name, at, target, params, args)                                                 \
    R KR_CALL name params {                                                                        \
        Guard g(at);                                                                               \
        return target args;                                                                        \
    }
GUARDED(void*, Alloc, kAlloc, HookAlloc, (uint32_t n), (n))
GUARDED(void, Free, kNoProbe, HookFree, (void* p), (p))
GUARDED(void*, Realloc, kAlloc, HookRealloc, (void* p, uint32_t n), (p, n))
GUARDED(int32_t, FirstMoney, kNoProbe, FindFirstMoneyLimit,
        (const char* f, const char* c, const char* a, const char* b, uint32_t* i), (f, c, a, b, i))
GUARDED(const KRMoneyLimit*, Money, kMoneyLimit, GetMoneyLimit, (uint32_t i), (i))
GUARDED(int32_t, FirstSec, kNoProbe, FindFirstSecLimit,
        (const char* f, const char* c, const char* s, const char* b, uint32_t* i), (f, c, s, b, i))
GUARDED(const KRSecLimit*, Sec, kNoProbe, GetSecLimit, (uint32_t i), (i))
GUARDED(int32_t, ParamId, kNoProbe, GetParamId, (const char* name), (name))
GUARDED(double, ParamValue, kParamValue, GetParamValue, (uint32_t c, uint32_t s, int32_t p),
        (c, s, p))
GUARDED(int32_t, MarginSecs, kMarginSecs, world::RecordMarginSecs,
        (const KRMarginClassEntry* e, uint32_t n, uintptr_t user), (e, n, user))

void InstallGuarded() {
    host().version = 2;
    ASSERT_EQ(1, KRSetMemoryManagement(Alloc, Free, Realloc));
    ASSERT_EQ(1, KRSetLimitCallbacks(FirstMoney, Money, FirstSec, Sec));
    ASSERT_EQ(1, KRSetParamCallbacks(ParamId, ParamValue));
    ASSERT_EQ(1, KRInitEx(2, 96, 96));
    ASSERT_TRUE(world::Build());
}

} // namespace

TEST(Threads, CallbacksRunUnderTheLibraryLock) {
    InstallGuarded();
    KRMarginalRow row = Row("F1", "C1");
    KRMarginalActv actv = Actv(10, 101);
    ASSERT_TRUE(KRInitMarginalRow(&row) && KRInitMarginalActv(&row, &actv));
    std::string sink;
    const std::pair<ProbeAt, std::function<void()>> cases[] = {
        {kAlloc, [] { KRSetDliniFile("F5", world::SecondFirmText()); }},
        {kMoneyLimit, [&] { KRCalcMarginalRow(&row); }},
        {kParamValue, [&] { KRCalcMarginalActv(&row, &actv, 0.0); }},
        {kMarginSecs,
         [&] { KRGetMarginSecs(&row, MarginSecs, reinterpret_cast<uintptr_t>(&sink)); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.first);
        gProbeBlocked = gProbeDone = false;
        gProbeAt = c.first;
        c.second();
        ASSERT_EQ(kNoProbe, gProbeAt.load()) << "the callback was never called";
        gProbe.join();
        EXPECT_TRUE(gProbeBlocked) << "another thread entered the library during the callback";
        EXPECT_TRUE(gProbeDone);
    }
}

TEST(Threads, EightThreadsMatchASingleThreadedRun) {
    InstallGuarded();
    std::vector<std::pair<const char*, std::string>> jobs;
    for (const world::Firm& f : world::Firms())
        for (const std::string& c : f.clients)
            jobs.push_back({f.id, c});
    // Everything a host can learn about one client; false when a row went stale on the way.
    const std::vector<world::SecRef> secs = world::Securities();
    auto observe = [&](size_t j, std::string& out) {
        out.clear();
        return world::ObserveClient(out, jobs[j].first, jobs[j].second, secs, world::Depth::Full,
                                    MarginSecs);
    };
    std::vector<std::string> reference(jobs.size());
    for (size_t j = 0; j < jobs.size(); ++j)
        ASSERT_TRUE(observe(j, reference[j]));

    const int kThreads = 8, kRounds = 60, kMaxRetries = 200;
    std::atomic<int64_t> mismatches{0}, giveUps{0}, reloads{0}, badReloads{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            std::string seen;
            for (int round = 0; round < kRounds; ++round) {
                // Two threads keep reloading F1 with its own text: F1's rows go stale, F2's not.
                if (t < 2 && round % 3 == t) {
                    ++reloads;
                    badReloads += KRSetDliniFile("F1", world::FirmText()) != 1 ||
                                  KRGetLastError() != KR_ERR_NONE;
                }
                const size_t j = size_t(t * 5 + round) % jobs.size();
                bool done = false;
                for (int tries = 0; !done && tries < kMaxRetries; ++tries)
                    done = observe(j, seen);
                giveUps += !done;
                mismatches += done && seen != reference[j];
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
    ASSERT_EQ(1, KRCleanup());
    EXPECT_EQ(0, host().memory.live);
    EXPECT_EQ(0, host().memory.foreignFrees);
}
