// Many host threads at once: the library serves one call at a time, runs every hook and
// callback under its lock, keeps the last-error value per thread, and a reload of a firm's
// settings only makes rows stale (refused with KR_ERR_ARGUMENT), never wrong.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "scenario.h"

using namespace memory_host;

namespace {

// The memory host is plain data, safe only while the library's lock keeps its hooks and
// callbacks apart: each of them notes when another one is running.
std::atomic<int> gInside{0};
std::atomic<int64_t> gOverlaps{0}, gCallbacks{0};
struct Guard {
    Guard() {
        ++gCallbacks;
        if (gInside.fetch_add(1) != 0) ++gOverlaps;
        std::this_thread::yield(); // give another thread the chance to run into the library now
    }
    ~Guard() { gInside.fetch_sub(1); }
};

// clang-format off
#define GUARDED(R, name, target, params, args) R KR_CALL name params { Guard g; return target args; }
GUARDED(void*, Alloc, HookAlloc, (uint32_t n), (n)) GUARDED(void, Free, HookFree, (void* p), (p))
GUARDED(void*, Realloc, HookRealloc, (void* p, uint32_t n), (p, n))
using Str = const char*;
GUARDED(int32_t, FirstMoney, FindFirstMoneyLimit, (Str f, Str c, Str a, Str b, uint32_t* i), (f, c, a, b, i))
GUARDED(int32_t, FirstSec, FindFirstSecLimit, (Str f, Str c, Str s, Str b, uint32_t* i), (f, c, s, b, i))
GUARDED(const KRMoneyLimit*, MoneyAt, GetMoneyLimit, (uint32_t i), (i))
GUARDED(const KRSecLimit*, SecAt, GetSecLimit, (uint32_t i), (i)) GUARDED(int32_t, ParamId, GetParamId, (Str name), (name))
GUARDED(double, ParamValue, GetParamValue, (uint32_t c, uint32_t s, int32_t p), (c, s, p))
GUARDED(int32_t, MarginSecs, world::RecordMarginSecs, (const KRMarginClassEntry* e, uint32_t n, uintptr_t u), (e, n, u))
// clang-format on

} // namespace

TEST(Threads, EightThreadsMatchASingleThreadedRun) {
    ASSERT_TRUE(KRSetMemoryManagement(Alloc, Free, Realloc) &&
                KRSetLimitCallbacks(FirstMoney, MoneyAt, FirstSec, SecAt) &&
                KRSetParamCallbacks(ParamId, ParamValue) && KRInitEx(2, 96, 96) && world::Build());
    std::vector<std::pair<const char*, std::string>> jobs;
    for (const world::Firm& f : world::Firms())
        for (const std::string& c : f.clients)
            jobs.push_back({f.id, c});
    // Everything a host can learn about one client; false when a row went stale on the way.
    auto observe = [&](size_t j, std::string& out) {
        out.clear();
        return world::ObserveClient(out, jobs[j].first, jobs[j].second, world::Securities(),
                                    world::Depth::Full, MarginSecs);
    };
    std::vector<std::string> reference(jobs.size());
    for (size_t j = 0; j < jobs.size(); ++j)
        ASSERT_TRUE(observe(j, reference[j]));

    const int kThreads = 8, kRounds = 60, kMaxRetries = 200;
    std::atomic<int64_t> mismatches{0}, giveUps{0}, badCodes{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] {
            std::string seen;
            badCodes += KRGetLastError() != KR_ERR_NONE; // a new thread starts with no code
            for (int round = 0; round < kRounds; ++round) {
                // Two threads keep reloading F1 with its own text: F1's rows go stale, the
                // others' not. Each thread reads its own codes, whatever the others do.
                if (t < 2 && round % 3 == t)
                    badCodes += KRSetDliniFile("F1", world::FirmText()) != 1 ||
                                KRGetLastError() != KR_ERR_NONE;
                badCodes += KRIsLimitsInLots("F9") != 1 || KRGetLastError() != KR_ERR_NO_SETTINGS;
                const size_t j = size_t(t * 5 + round) % jobs.size();
                bool done = false;
                for (int tries = 0; !done && tries < kMaxRetries; ++tries)
                    done = observe(j, seen);
                giveUps += !done;
                mismatches += done && seen != reference[j];
            }
        });
    for (std::thread& th : threads)
        th.join();
    // gOverlaps: two hooks or callbacks ran at the same time.
    EXPECT_EQ(std::make_tuple(0, 0, 0, 0), std::make_tuple(mismatches.load(), giveUps.load(),
                                                           badCodes.load(), gOverlaps.load()));
    EXPECT_GT(gCallbacks.load(), 1000);
    EXPECT_EQ(std::vector<int64_t>({1, 0, 0}),
              std::vector<int64_t>({KRCleanup(), host().memory.live, host().memory.foreignFrees}));
}
