// Allocation failure at every point of a full scenario: settings loaded before and after the
// classes, a reload, every class registered, the margin list of every client. The k-th
// allocating hook call fails, for every k; the library must refuse that one call with
// KR_ERR_NO_MEMORY, leave exactly what the refusal promises, leak nothing, and after a retry
// reach the very figures of a clean run.
#include <gtest/gtest.h>

#include <functional>
#include <iostream>
#include <string>
#include <vector>

#include "fake_host.h"
#include "frame/state.h"
#include "registry/registry.h"
#include "reliability_world.h"
#include "settings/settings.h"

using namespace fakehost;
using kesvar::ClassCount;

namespace {

int64_t gRefused = 0, gIgnored = 0; // failures refused; null answers to zero-byte blocks

template <class T> std::vector<T> Items(const kesvar::Array<T>& a) {
    return std::vector<T>(a.items, a.items + a.count);
}

// Runs `call`. When the injected failure fell inside it, expects the refusal, checks what the
// refusal leaves (`undone`, and every record still covering every class) and runs it again.
// Only a margin list (`mayIgnore`) may take no notice of the failure of a zero-byte block.
void Step(const std::function<int32_t()>& call, const std::function<void()>& undone,
          bool mayIgnore = false) {
    const int64_t before = host().memory.allocating;
    int32_t result = call();
    const MemoryStats& m = host().memory;
    const bool hit = m.failAt > before && m.failAt <= m.allocating;
    if (hit && mayIgnore && result == 1) {
        ++gIgnored;
    } else if (hit) {
        ++gRefused;
        EXPECT_EQ(0, result);
        EXPECT_EQ(KR_ERR_NO_MEMORY, KRGetLastError());
        undone();
        for (kesvar::FirmRecord* f : Items(kesvar::gState.firmSettingsTable)) {
            EXPECT_EQ(ClassCount(), f->classTextPos.count) << f->firmId;
        }
        result = call();
    }
    EXPECT_EQ(1, result);
    EXPECT_EQ(KR_ERR_NONE, KRGetLastError());
}

// The scenario from an empty library with the failAt-th allocating call failing: what the host
// saw, and the number of allocating calls where a failure can be injected.
std::string Scenario(int64_t failAt, int64_t* points = nullptr) {
    KRCleanup();
    host().moneyLimits.clear();
    host().secLimits.clear();
    host().memory.allocating = 0;
    host().memory.failAt = failAt;
    world::AddHostData();
    std::string seen;
    auto load = [&](const char* firm, const char* text) {
        SCOPED_TRACE(firm);
        KRMarginalRow row = Row(firm, "C1");
        Step([&] { return KRSetDliniFile(firm, text); },
             [&] { // as if the firm had never been loaded
                 EXPECT_EQ(1, KRIsLimitsInLots(firm));
                 EXPECT_EQ(KR_ERR_NO_SETTINGS, KRGetLastError());
                 EXPECT_EQ(0, KRInitMarginalRow(&row));
             });
    };
    load("F1", world::FirmText()); // before any class: every entry waits
    for (const world::ClassSpec& c : world::Classes()) {
        SCOPED_TRACE(c.code);
        const int32_t classes = ClassCount(), secs = kesvar::SecurityCount();
        uint32_t ids[8];
        int32_t count = 8;
        Step([&] { return AddClass(c.id, c.code, c.secs, c.flags, c.valueUnlisted); },
             [&] { // registers nothing
                 EXPECT_EQ(std::make_pair(classes, secs),
                           std::make_pair(ClassCount(), kesvar::SecurityCount()));
                 EXPECT_EQ(0, KRGetNeedClassSecIDs(c.id, ids, &count));
                 EXPECT_EQ(KR_ERR_NOT_FOUND, KRGetLastError());
             });
    }
    load("F2", world::SecondFirmText());
    load("F1", world::FirmText()); // a reload
    for (const auto& firm : {std::make_pair("F1", world::FirmClients()),
                             std::make_pair("F2", world::SecondFirmClients())})
        for (const std::string& client : firm.second) {
            SCOPED_TRACE(client);
            KRMarginalRow row = Row(firm.first, client);
            const size_t before = seen.size(); // the callback appends at least the count
            EXPECT_EQ(1, KRInitMarginalRow(&row));
            Step([&] { return KRGetMarginSecs(&row, world::RecordMarginSecs, uintptr_t(&seen)); },
                 [&] { EXPECT_EQ(before, seen.size()) << "callback called after a failure"; },
                 true);
        }
    EXPECT_LE(failAt, host().memory.allocating) << "no call of the scenario saw the failure";
    if (points) *points = host().memory.allocating;
    // The failure is spent; the rest is compared byte for byte.
    const std::vector<world::SecRef> secs = world::Securities();
    seen += world::Observe("F1", world::FirmClients(), secs, world::Depth::Quick);
    seen += world::Observe("F2", world::SecondFirmClients(), secs, world::Depth::Quick);
    EXPECT_EQ(1, KRCleanup());
    EXPECT_EQ(0, host().memory.live) << "blocks leaked";
    EXPECT_EQ(0, host().memory.foreignFrees);
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
    std::cout << "allocation failure points tried: " << points
              << " (refused with KR_ERR_NO_MEMORY: " << gRefused
              << ", zero-byte blocks whose null answer was ignored: " << gIgnored << ")"
              << std::endl;
    RecordProperty("failure_points", std::to_string(points));
}
