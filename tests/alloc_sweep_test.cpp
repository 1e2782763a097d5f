// Allocation failure at every point of the shared scenario built the hard way: settings loaded
// before and after the classes, a reload, every class registered, the margin list of every
// client. The k-th allocating hook call fails, for every k; the library must refuse that one
// call with KR_ERR_NO_MEMORY, leave exactly what the refusal promises, leak nothing, and after a
// retry reach the very bytes of a clean run.
#include <gtest/gtest.h>

#include <functional>
#include <iostream>

#include "exports/internal.h"
#include "registry/registry.h"
#include "state/state.h"
#include "scenario.h"
#include "settings/settings.h"

#if defined(__GLIBC__)
#include <malloc.h> // mallinfo2
#endif

using namespace memory_host;

namespace {

int64_t gRefused = 0, gIgnored = 0; // failures refused; null answers to zero-byte blocks

// Runs `call`. When the injected failure fell inside it, expects the refusal, then `undone` to
// answer `result` with `code` (what the refusal leaves), and runs `call` again. Only a margin
// list (`mayIgnore`) may take no notice of the failure of a zero-byte block.
void Step(const std::function<int32_t()>& call, const std::function<int32_t()>& undone,
          int32_t result, int32_t code, bool mayIgnore = false) {
    const MemoryStats& m = host().memory;
    const int64_t before = m.allocating;
    int32_t got = call();
    const bool hit = m.failAt > before && m.failAt <= m.allocating;
    if (hit && mayIgnore && got == 1) {
        ++gIgnored;
    } else if (hit) {
        ++gRefused;
        EXPECT_EQ(std::make_pair(0, KR_ERR_NO_MEMORY), std::make_pair(got, KRGetLastError()));
        EXPECT_EQ(result, undone()) << "what the refusal left";
        EXPECT_EQ(code, KRGetLastError());
        const kesvar::Array<kesvar::FirmRecord*>& firms = kesvar::gState.firmSettingsTable;
        for (int32_t i = 0; i < firms.count; ++i) // a refused class leaves no firm's order behind
            EXPECT_EQ(kesvar::ClassCount(), firms[i]->classTextPos.count) << firms[i]->firmId;
        got = call();
    }
    EXPECT_EQ(std::make_pair(1, KR_ERR_NONE), std::make_pair(got, KRGetLastError()));
}

// The scenario from an empty library with the failAt-th allocating call failing: what the host
// saw, and the number of allocating calls where a failure can be injected.
std::string Scenario(int64_t failAt, int64_t* points = nullptr) {
    KRCleanup();
    host().moneyLimits.clear(), host().secLimits.clear();
    host().memory.allocating = 0, host().memory.failAt = failAt;
    world::AddHostData();
    const std::vector<world::Firm>& firms = world::Firms();
    auto load = [&](const world::Firm& f) { // a refused load leaves the firm as if never loaded
        SCOPED_TRACE(f.id);
        Step([&] { return KRSetDliniFile(f.id, f.text); }, [&] { return KRIsLimitsInLots(f.id); },
             1, KR_ERR_NO_SETTINGS);
    };
    load(firms[3]); // before any class: every entry waits
    for (const world::ClassDef& c : world::Classes()) {
        SCOPED_TRACE(c.code);
        uint32_t ids[8];
        int32_t count = 8;
        Step([&] { return AddClass(c.id, c.code, c.secs, c.flags, c.valueUnlisted); },
             [&] { return KRGetNeedClassSecIDs(c.id, ids, &count); }, 0, KR_ERR_NOT_FOUND);
    }
    // The last firm of the table is reloaded: a failed load drops the firm, and loading it again
    // puts it at the end, which would change the order of KRGetNeedClassSecIDs.
    for (size_t f : {1, 2, 0, 0})
        load(firms[f]);
    // The tool's detached load is refused whole and leaves the loaded firms as they were.
    Step([&] { return kesvar::CheckSettingsText(firms[1].text, nullptr, nullptr, nullptr); },
         [&] { return kesvar::gState.firmSettingsTable.count; }, int32_t(firms.size()),
         KR_ERR_NO_MEMORY);
    std::string seen;
    for (const world::Firm& f : firms)
        for (const std::string& client : f.clients) {
            SCOPED_TRACE(client);
            KRMarginalRow row = Row(f.id, client);
            const size_t before = seen.size(); // the callback appends at least the count
            EXPECT_EQ(1, KRInitMarginalRow(&row));
            // A refused list was not handed to the callback (the code is still the refusal's).
            Step([&] { return KRGetMarginSecs(&row, world::RecordMarginSecs, uintptr_t(&seen)); },
                 [&] { return int32_t(seen.size() - before); }, 0, KR_ERR_NO_MEMORY, true);
        }
    EXPECT_LE(failAt, host().memory.allocating) << "no call of the scenario saw the failure";
    if (points) *points = host().memory.allocating;
    // The failure is spent; the rest is compared byte for byte.
    seen += world::ObserveAll();
    EXPECT_EQ(std::vector<int64_t>({1, 0, 0}),
              std::vector<int64_t>({KRCleanup(), host().memory.live, host().memory.foreignFrees}))
        << "KRCleanup's result, blocks leaked, foreign frees";
    return seen;
}

} // namespace

TEST(AllocationSweep, EveryFailurePointIsRefusedUndoneAndRecovered) {
    ASSERT_EQ(1, Install(2));
    int64_t points = 0;
    const std::string reference = Scenario(0, &points);
    ASSERT_GT(points, 50) << "the scenario hardly allocates: is it running?";
    for (int64_t k = 1; k <= points && !HasFailure(); ++k) {
        SCOPED_TRACE(testing::Message() << "failing allocating call " << k << " of " << points);
        EXPECT_TRUE(Scenario(k) == reference) << "a retry after the failure missed the clean run";
        // The clean scenario again, from the state KRCleanup left after the failing one.
        EXPECT_TRUE(Scenario(0) == reference) << "the run after the failing one differs";
    }
    EXPECT_EQ(points, gRefused + gIgnored);
    std::cout << "allocation failure points tried: " << points << " (refused: " << gRefused
              << ", null answers to zero-byte blocks ignored: " << gIgnored << ")" << std::endl;
}

#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 33))
// Without the host's hooks every block comes from the C runtime and must go back to it: fifty
// more rounds of the scenario leave the heap where the first round left it.
TEST(AllocationSweep, WithoutHooksTheRuntimeGetsEveryBlockBack) {
    ASSERT_EQ(1, Install(2, /*memoryHooks=*/false));
    const std::string reference = Scenario(0);
    const size_t before = mallinfo2().uordblks;
    for (int round = 0; round < 50; ++round)
        ASSERT_TRUE(Scenario(0) == reference) << round;
    EXPECT_LT(mallinfo2().uordblks - before, 64u << 10) << "bytes the rounds kept";
}
#endif
