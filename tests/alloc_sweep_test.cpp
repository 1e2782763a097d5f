// Allocation failure at every point of a full scenario: settings loaded before and after the
// classes, a reload, every class registered, the margin list of every client. The k-th
// allocating hook call fails, for every k; the library must refuse that one call with
// KR_ERR_NO_MEMORY, leave exactly what the refusal promises, leak nothing, and after a retry
// reach the very figures of a clean run.
#include <gtest/gtest.h>

#include <iostream>
#include <string>
#include <vector>

#include "fake_host.h"
#include "frame/state.h"
#include "registry/registry.h"
#include "reliability_world.h"
#include "settings/settings.h"

using namespace fakehost;

namespace {

struct SweepCounts {
    int64_t refused = 0;   // the failing call answered KR_ERR_NO_MEMORY
    int64_t tolerated = 0; // the failure hit a zero-byte block of KRGetMarginSecs
    int64_t missed = 0;    // no call of the scenario saw the failure (must stay 0)
};

int gMarginSecsCalls = 0;

int32_t KR_CALL CountMarginSecs(const KRMarginClassEntry* e, uint32_t n, uintptr_t user) {
    ++gMarginSecsCalls;
    return world::RecordMarginSecs(e, n, user);
}

// Every firm and client record covers every registered class (the links were not left
// half-built by a refused call).
void ExpectLinksComplete(const std::string& where) {
    int32_t classes = kesvar::ClassCount();
    const kesvar::Array<kesvar::FirmSettings*>& table = kesvar::gState.firmSettingsTable;
    for (int32_t i = 0; i < table.count; ++i) {
        const kesvar::FirmSettings* f = table[i];
        EXPECT_EQ(classes, f->classOrder.count) << where << " firm " << f->firmId;
        EXPECT_EQ(classes, f->classListIndex.count) << where << " firm " << f->firmId;
        for (int32_t c = 0; c < f->clients.count; ++c)
            EXPECT_EQ(classes, f->clients[c]->classListIndex.count)
                << where << " client " << f->clients[c]->clientCode;
    }
}

class Scenario {
  public:
    explicit Scenario(SweepCounts* counts) : counts_(counts) {}

    // Allocating calls up to the end of the part where a failure is injected.
    int64_t AllocatingCalls() const { return allocatingCalls_; }

    // Runs the scenario; returns what the host saw of the marginal figures and lists.
    std::string Run() {
        std::string seen;
        LoadFirm("F1", world::FirmText()); // before any class: every entry waits
        for (const world::ClassSpec& c : world::Classes())
            AddClass(c);
        LoadFirm("F2", world::SecondFirmText());
        KRMarginalRow early = Row("F1", "VIP01");
        EXPECT_EQ(1, KRInitMarginalRow(&early));
        LoadFirm("F1", world::FirmText()); // a reload: `early` goes stale
        EXPECT_EQ(0, KRCalcMarginalRow(&early));
        EXPECT_EQ(KR_ERR_ARGUMENT, KRGetLastError());
        for (const std::string& c : world::FirmClients())
            MarginSecs(seen, "F1", c);
        for (const std::string& c : world::SecondFirmClients())
            MarginSecs(seen, "F2", c);
        if (host().memory.failAt > host().memory.allocating) {
            ++counts_->missed;
            ADD_FAILURE() << "the scenario made only " << host().memory.allocating
                          << " allocating calls";
        }
        allocatingCalls_ = host().memory.allocating;
        // The failure is spent. The rest allocates only in KRGetMarginSecs again, and is
        // compared byte for byte.
        const std::vector<world::SecRef> secs = world::Securities();
        seen += world::Observe("F1", world::FirmClients(), secs, world::Depth::Quick);
        seen += world::Observe("F2", world::SecondFirmClients(), secs, world::Depth::Quick);
        return seen;
    }

  private:
    // True when the injected failure happened during the call that started at `before`.
    bool Hit(int64_t before) const {
        const MemoryStats& m = host().memory;
        return m.failAt > before && m.failAt <= m.allocating;
    }

    void LoadFirm(const char* firm, const char* text) {
        int64_t before = host().memory.allocating;
        int32_t result = KRSetDliniFile(firm, text);
        int32_t code = KRGetLastError();
        if (Hit(before)) {
            ++counts_->refused;
            EXPECT_EQ(0, result) << "KRSetDliniFile " << firm;
            EXPECT_EQ(KR_ERR_NO_MEMORY, code) << "KRSetDliniFile " << firm;
            // As if the firm had never been loaded.
            EXPECT_EQ(1, KRIsLimitsInLots(firm));
            EXPECT_EQ(KR_ERR_NO_SETTINGS, KRGetLastError()) << firm << " kept a record";
            KRMarginalRow row = Row(firm, "C1");
            EXPECT_EQ(0, KRInitMarginalRow(&row));
            ExpectLinksComplete(std::string("after refused load of ") + firm);
            result = KRSetDliniFile(firm, text);
            code = KRGetLastError();
        }
        EXPECT_EQ(1, result) << "KRSetDliniFile " << firm;
        EXPECT_EQ(KR_ERR_NONE, code) << "KRSetDliniFile " << firm;
    }

    void AddClass(const world::ClassSpec& c) {
        int64_t before = host().memory.allocating;
        int32_t classes = kesvar::ClassCount(), secs = kesvar::SecurityCount();
        int32_t result = fakehost::AddClass(c.id, c.code, c.secs, c.flags, c.valueUnlisted);
        int32_t code = KRGetLastError();
        if (Hit(before)) {
            ++counts_->refused;
            EXPECT_EQ(0, result) << "KRAddClass " << c.code;
            EXPECT_EQ(KR_ERR_NO_MEMORY, code) << "KRAddClass " << c.code;
            // Registers nothing, and every firm stays as it was.
            EXPECT_EQ(classes, kesvar::ClassCount()) << c.code;
            EXPECT_EQ(secs, kesvar::SecurityCount()) << c.code;
            uint32_t ids[8];
            int32_t count = 8;
            EXPECT_EQ(0, KRGetNeedClassSecIDs(c.id, ids, &count));
            EXPECT_EQ(KR_ERR_NOT_FOUND, KRGetLastError()) << c.code;
            ExpectLinksComplete("after refused class " + c.code);
            result = fakehost::AddClass(c.id, c.code, c.secs, c.flags, c.valueUnlisted);
            code = KRGetLastError();
        }
        EXPECT_EQ(1, result) << "KRAddClass " << c.code;
        EXPECT_EQ(KR_ERR_NONE, code) << "KRAddClass " << c.code;
    }

    void MarginSecs(std::string& seen, const char* firm, const std::string& client) {
        KRMarginalRow row = Row(firm, client);
        EXPECT_EQ(1, KRInitMarginalRow(&row)) << firm << "/" << client;
        int64_t before = host().memory.allocating;
        int callsBefore = gMarginSecsCalls;
        std::string got;
        int32_t result = KRGetMarginSecs(&row, CountMarginSecs, reinterpret_cast<uintptr_t>(&got));
        int32_t code = KRGetLastError();
        if (Hit(before)) {
            if (result == 1) {
                // Only a null answer to a zero-byte request may go unnoticed.
                ++counts_->tolerated;
            } else {
                ++counts_->refused;
                EXPECT_EQ(KR_ERR_NO_MEMORY, code) << firm << "/" << client;
                EXPECT_EQ(callsBefore, gMarginSecsCalls) << "callback called after a failure";
                EXPECT_TRUE(got.empty());
                result = KRGetMarginSecs(&row, CountMarginSecs, reinterpret_cast<uintptr_t>(&got));
                code = KRGetLastError();
            }
        }
        EXPECT_EQ(1, result) << firm << "/" << client;
        EXPECT_EQ(KR_ERR_NONE, code) << firm << "/" << client;
        seen += got;
    }

    SweepCounts* counts_;
    int64_t allocatingCalls_ = 0;
};

void ExpectClean(const std::string& where) {
    ASSERT_EQ(1, KRCleanup());
    EXPECT_EQ(0, host().memory.live) << where << ": blocks leaked";
    EXPECT_EQ(0, host().memory.foreignFrees) << where;
}

// Starts a run from an empty library, counting allocating calls from 0.
void Fresh(int64_t failAt) {
    KRCleanup();
    host().moneyLimits.clear();
    host().secLimits.clear();
    host().log.clear();
    host().memory.allocating = 0;
    host().memory.failAt = failAt;
    world::AddHostData();
}

} // namespace

TEST(AllocationSweep, EveryFailurePointIsRefusedUndoneAndRecovered) {
    ASSERT_EQ(1, Install(2));
    SweepCounts counts;

    Fresh(0);
    Scenario clean(&counts);
    const std::string reference = clean.Run();
    const int64_t points = clean.AllocatingCalls();
    ExpectClean("clean run");
    ASSERT_GT(points, 50) << "the scenario hardly allocates: is it running?";
    ASSERT_FALSE(reference.empty());

    for (int64_t k = 1; k <= points; ++k) {
        SCOPED_TRACE(testing::Message() << "failing allocating call " << k << " of " << points);
        Fresh(k);
        std::string seen = Scenario(&counts).Run();
        EXPECT_EQ("", world::FirstDifference(reference, seen))
            << "a retry after the failure did not reach the clean state";
        ExpectClean("failing run");
        // The same scenario without failures, from the state KRCleanup left.
        Fresh(0);
        EXPECT_EQ("", world::FirstDifference(reference, Scenario(&counts).Run()))
            << "the run after the failing one differs";
        ExpectClean("run after the failing one");
        if (HasFailure()) break; // one broken point tells the story; don't flood the log
    }
    EXPECT_EQ(0, counts.missed);
    EXPECT_EQ(points, counts.refused + counts.tolerated);
    std::cout << "allocation failure points tried: " << points << " (refused with "
              << "KR_ERR_NO_MEMORY: " << counts.refused
              << ", zero-byte blocks whose null answer was ignored: " << counts.tolerated << ")"
              << std::endl;
    RecordProperty("failure_points", std::to_string(points));
}
