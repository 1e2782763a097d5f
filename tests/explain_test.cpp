// Explanations read from the calculation's trace must give back the figures: for every actv of
// the golden world and of generated worlds, the deciding step's quantity is maxBuy (maxSell),
// each step's numbers give its quantity by its rule, and the steps replayed give the figure.
// Tracing must not change a single byte of the figures.
//
#include <gtest/gtest.h>
#include <string.h>

#include <functional>
#include <set>
#include <string>
#include <vector>

#include "explain.h"
#include "run.h"
#include "scenario.h"

using namespace fakehost;

namespace {

// What to ask of a world that is already loaded into the fake host and the library.
struct ActvAsk {
    uint32_t classId, secId, size;
    double price;
};
struct RowAsk {
    std::string firm, client;
    uint32_t size;
    std::vector<ActvAsk> actv;
};

// Builds world `seed` (the library is initialised once per process; a builder empties it with
// KRCleanup between worlds) and says what to ask. A seeded generator of worlds plugs in here.
using WorldSource = std::function<std::vector<RowAsk>(int seed)>;

struct Coverage {
    std::set<int32_t> buyCases, sellCases, buyDeciders, sellDeciders;
    int checked = 0;
};

void CheckQuantity(const kesvar::TraceQuantity& q, int32_t figure, const std::string& what,
                   std::set<int32_t>* deciders) {
    int32_t d = kesvar_cli::DecidingStep(q);
    ASSERT_GE(d, 0) << what << ": no base step";
    EXPECT_EQ(q.steps[d].quantity, figure)
        << what << ": deciding step " << kesvar_cli::BoundKey(q.steps[d].bound);
    EXPECT_EQ(kesvar_cli::ReplaySteps(q), figure) << what;
    for (int32_t i = 0; i < q.count; ++i)
        EXPECT_EQ(kesvar_cli::ReproduceStep(q.steps[i]), q.steps[i].quantity)
            << what << " step " << i << " " << kesvar_cli::BoundKey(q.steps[i].bound);
    deciders->insert(q.steps[d].bound);
}

// Asks every row and actv twice, untraced and traced: the same bytes, and a trace that gives
// back the figures.
void CheckWorld(const std::vector<RowAsk>& asks, Coverage* cov) {
    for (const RowAsk& r : asks) {
        KRMarginalRow row = Row(r.firm, r.client, r.size);
        ASSERT_EQ(1, KRInitMarginalRow(&row)) << r.firm << "/" << r.client;
        ASSERT_EQ(1, KRCalcMarginalRow(&row));
        kesvar::Trace trace{};
        KRMarginalRow traced = row;
        kesvar::gTrace = &trace;
        KRCalcMarginalRow(&traced);
        kesvar::gTrace = nullptr;
        EXPECT_EQ(0, memcmp(&row, &traced, sizeof row)) << r.firm << "/" << r.client;
        // The row's buy limits as the explanation states them.
        const kesvar::RowTrace& t = trace.row;
        if (row.creditLag2) {
            const kesvar::TraceLag2Limit& own = t.ownLimit;
            double least =
                own.moneyBound < own.settlementBound ? own.moneyBound : own.settlementBound;
            EXPECT_EQ(row.ownBuyLimit, own.noEquity ? 0.0 : least) << r.firm << "/" << r.client;
        } else {
            EXPECT_EQ(row.marginBuyLimit, t.limitAndBalance - t.moneyLocked);
            EXPECT_EQ(row.ownBuyLimit,
                      (t.moneyCurrent - t.moneyLocked) + (t.volumeFlag ? row.shortValue : 0.0));
        }
        for (const ActvAsk& a : r.actv) {
            std::string what = r.firm + "/" + r.client + " " + std::to_string(a.secId) + " at " +
                               std::to_string(a.price) + " row " + std::to_string(r.size);
            KRMarginalActv plain = Actv(a.classId, a.secId, a.size);
            if (!KRInitMarginalActv(&row, &plain)) continue;
            KRMarginalActv withTrace = plain;
            bool ok = KRCalcMarginalActv(&row, &plain, a.price) == 1;
            kesvar::gTrace = &trace;
            EXPECT_EQ(ok, KRCalcMarginalActv(&row, &withTrace, a.price) == 1) << what;
            kesvar::gTrace = nullptr;
            EXPECT_EQ(0, memcmp(&plain, &withTrace, sizeof plain)) << what;
            if (!ok) continue;
            ASSERT_EQ(1, trace.actv.filled) << what;
            CheckQuantity(trace.actv.buy, plain.maxBuy, what + " maxBuy", &cov->buyDeciders);
            CheckQuantity(trace.actv.sell, plain.maxSell, what + " maxSell", &cov->sellDeciders);
            cov->buyCases.insert(trace.actv.buyCase);
            cov->sellCases.insert(trace.actv.sellCase);
            ++cov->checked;
        }
    }
}

TEST(Explain, EveryGoldenQuantityIsGivenBackByItsDecidingBound) {
    Install();
    ASSERT_TRUE(world::Build());
    std::vector<RowAsk> asks;
    for (const world::Firm& f : world::Firms())
        for (const std::string& client : f.clients)
            for (uint32_t size :
                 {KR_ROW_SIZE_280, KR_ROW_SIZE_272, KR_ROW_SIZE_264, KR_ROW_SIZE_248}) {
                RowAsk r{f.id, client, size, {}};
                for (const world::SecRef& s : world::Securities())
                    for (uint32_t actvSize : {KR_ACTV_SIZE_56, KR_ACTV_SIZE_48})
                        for (double price : {0.0, 157.25})
                            r.actv.push_back({s.classId, s.secId, actvSize, price});
                asks.push_back(r);
            }
    Coverage cov;
    CheckWorld(asks, &cov);
    EXPECT_GT(cov.checked, 500);
    EXPECT_GE(cov.buyCases.size(), 6u);
    EXPECT_GE(cov.sellCases.size(), 3u);
}

// Variations of the bundled demo: settings switches, credit lags, prices (some missing), limits
// and given prices drawn from the seed.
struct Draw {
    uint64_t state;
    uint32_t Next() {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        return uint32_t(state >> 33);
    }
    int Pick(int n) { return int(Next() % uint32_t(n)); }
    double Factor(double lo, double hi) { return lo + (hi - lo) * (Next() % 10001) / 10000.0; }
};

void Replace(std::string* text, const std::string& from, const std::string& to) {
    size_t at = text->find(from);
    ASSERT_NE(at, std::string::npos) << from;
    text->replace(at, from.size(), to);
}

kesvar_cli::Scenario DemoVariation(int seed) {
    std::string dir = KESVAR_DEMO_DIR "/";
    kesvar_cli::Scenario s = kesvar_cli::ParseScenario(
        kesvar_cli::ReadFile(dir + "scenario.json"), "demo",
        [&](const std::string& rel) { return kesvar_cli::ReadFile(dir + rel); });
    Draw d{uint64_t(seed) * 7919u + 17u};
    std::string& text = s.firms[0].settings;
    Replace(&text, "CREDITLAG=1", "CREDITLAG=" + std::to_string(1 + d.Pick(2)));
    Replace(
        &text, "CHECKMAXCREDIT=1",
        "CHECKMAXCREDIT=" + std::to_string(d.Pick(2)) + "\nRSTRNMBUY=" + std::to_string(d.Pick(2)) +
            "\nLIMITSINLOTS=" + std::to_string(d.Pick(3) ? 1 : 0) + (d.Pick(4) ? "" : "\nVOLUME"));
    Replace(&text, "10001=1", "10001=" + std::to_string(1 + d.Pick(2)));
    Replace(&text, "10002=2", "10002=" + std::to_string(1 + d.Pick(2)));
    Replace(&text, "RSTRNMBUY=0", "RSTRNMBUY=" + std::to_string(d.Pick(3)));
    // Lists that leave margin-only and unlisted securities.
    auto subset = [&](const char* prefix) {
        std::string list = prefix;
        for (const char* code : {"SBER", "GAZP", "LKOH", "MGNT", "AFLT"})
            if (d.Pick(2)) list += std::string(list.back() == '=' ? "" : ",") + code;
        return list;
    };
    Replace(&text, "TQBR=SBER,GAZP,LKOH,MGNT,AFLT", subset("TQBR="));
    Replace(&text, "TQBR_ASSET=SBER,GAZP,LKOH,MGNT", subset("TQBR_ASSET="));
    for (kesvar_cli::Class& c : s.classes)
        for (kesvar_cli::Security& sec : c.securities) {
            sec.market = kesvar_cli::Shocked(sec.market, d.Factor(-0.7, 2.0));
            double* fields[] = {&sec.market.offer, &sec.market.bid, &sec.market.last};
            if (d.Pick(5) == 0) *fields[d.Pick(3)] = 0.0;
        }
    for (kesvar_cli::MoneyLimit& m : s.moneyLimits) {
        m.currentBalance *= d.Factor(-0.5, 2.0);
        m.locked = m.currentBalance > 0 ? m.currentBalance * d.Factor(0, 0.3) : 0;
        m.leveragePercent = d.Pick(3) ? -1 : 50 * d.Pick(6);
    }
    for (const char* client : {"10001", "10002"})
        for (const char* code : {"SBER", "GAZP", "LKOH", "MGNT", "AFLT", "TMOS"})
            if (d.Pick(3) == 0) {
                kesvar_cli::SecLimit p;
                p.firm = "MC0139600000";
                p.client = client;
                p.secCode = code;
                p.trdAcc = "L01+00000F00";
                p.openBalance = d.Pick(41) - 20;
                s.secLimits.push_back(p);
            }
    for (kesvar_cli::SecLimit& p : s.secLimits) {
        p.currentBalance += d.Pick(61) - 30;
        p.openLimit = d.Pick(3) ? 0 : d.Pick(40);
        p.currentLimit = d.Pick(3) ? 0 : d.Pick(40) - 10;
        p.lockedSell = d.Pick(3) ? 0 : d.Pick(20);
        p.lockedBuy = d.Pick(3) ? 0 : d.Pick(20);
    }
    const uint32_t rowSizes[] = {280, 272, 264, 248};
    for (kesvar_cli::RowRequest& r : s.rows) {
        r.size = rowSizes[d.Pick(4)];
        r.actv.clear();
        for (const kesvar_cli::Class& c : s.classes)
            for (const kesvar_cli::Security& sec : c.securities) {
                kesvar_cli::ActvRequest a;
                a.classId = c.id;
                a.secId = sec.id;
                a.size = d.Pick(2) ? 56 : 48;
                a.price = d.Pick(3) ? 0.0 : sec.market.bid * d.Factor(0.5, 1.5);
                r.actv.push_back(a);
            }
    }
    return s;
}

// Loads the variation through the tool's own runner (rows only), then asks for everything.
std::vector<RowAsk> DemoWorld(int seed) {
    kesvar_cli::Scenario s = DemoVariation(seed);
    kesvar_cli::RunOptions rowsOnly;
    rowsOnly.actv = false;
    kesvar_cli::RunResult loaded = kesvar_cli::RunScenario(s, rowsOnly);
    for (const kesvar_cli::CallFailure& f : loaded.setup)
        ADD_FAILURE() << "seed " << seed << ": " << f.call << " " << f.subject << " " << f.code;
    std::vector<RowAsk> asks;
    for (const kesvar_cli::RowRequest& r : s.rows) {
        RowAsk a{r.firm, r.client, r.size, {}};
        for (const kesvar_cli::ActvRequest& q : r.actv)
            a.actv.push_back({q.classId, q.secId, q.size, q.price});
        asks.push_back(a);
    }
    return asks;
}

TEST(Explain, EveryGeneratedQuantityIsGivenBackByItsDecidingBound) {
    // A seeded world generator (tests/differential) plugs in beside DemoWorld.
    const WorldSource sources[] = {DemoWorld};
    Coverage cov;
    for (const WorldSource& source : sources)
        for (int seed = 0; seed < 300 && !HasFatalFailure(); ++seed) {
            SCOPED_TRACE("seed " + std::to_string(seed));
            CheckWorld(source(seed), &cov);
        }
    EXPECT_GT(cov.checked, 3000);
    // Every rule that can give a quantity was reached, and every bound decided somewhere.
    EXPECT_EQ(cov.buyCases.size(), 9u);
    EXPECT_EQ(cov.sellCases.size(), 4u);
    EXPECT_GE(cov.buyDeciders.size(), 7u);
    EXPECT_GE(cov.sellDeciders.size(), 4u);
}

} // namespace
