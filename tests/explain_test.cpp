// Explanations read from the calculation's trace must give back the figures: for every actv of
// generated worlds, the deciding step's quantity is maxBuy (maxSell), each step's numbers give
// its quantity by its rule, and the steps replayed give the figure. Tracing must not change a
// single byte of the figures.
#include <gtest/gtest.h>
#include <string.h>

#include <algorithm>
#include <set>

#include "analyses/explain.h"

using namespace kesvar_cli;

namespace {

struct Coverage {
    std::set<int32_t> buyCases, sellCases, buyDeciders, sellDeciders;
    int checked = 0;
    int32_t checkMaxCredit = 0; // the firm's switch, which every actv's explanation shows
};

void CheckQuantity(const kesvar::TraceQuantity& q, int32_t figure, const std::string& what,
                   std::set<int32_t>* deciders) {
    int32_t d = DecidingStep(q);
    ASSERT_GE(d, 0) << what << ": no base step";
    EXPECT_EQ(q.steps[d].quantity, figure)
        << what << ": deciding step " << BoundKey(q.steps[d].bound);
    EXPECT_EQ(ReplaySteps(q), figure) << what;
    for (int32_t i = 0; i < q.count; ++i)
        EXPECT_EQ(ReproduceStep(q.steps[i]), q.steps[i].quantity)
            << what << " step " << i << " " << BoundKey(q.steps[i].bound);
    deciders->insert(q.steps[d].bound);
}

// Runs every row and actv of a loaded world untraced and traced: the same bytes, and a trace
// that gives back the figures.
void CheckWorld(const Scenario& s, Coverage* cov) {
    std::set<uint32_t> percentOfFace; // classes whose absent last price still gets its accrued
    for (const Class& c : s.classes)
        if (c.flags & KR_CLASS_FACE_VALUE) percentOfFace.insert(c.id);
    for (const RowRequest& req : s.rows) {
        std::string who = req.firm + "/" + req.client + " row " + std::to_string(req.size);
        // RunOptions{trace, actv}: untraced, and traced.
        RowResult plain = RunRow(req, RunOptions()), traced = RunRow(req, RunOptions{true});
        ASSERT_TRUE(plain.ok && traced.ok) << who;
        const KRMarginalRow& row = plain.row;
        EXPECT_EQ(0, memcmp(&row, &traced.row, sizeof row)) << who;
        // The row's buy limits as the explanation states them.
        const kesvar::RowTrace& t = traced.trace;
        const double lag1 = t.moneyCurrent - t.moneyLocked + (t.volumeFlag ? row.shortValue : 0.0);
        const double lag2 =
            t.ownLimit.noEquity ? 0.0 : std::min(t.ownLimit.settlementBound, t.ownLimit.moneyBound);
        EXPECT_EQ(row.ownBuyLimit, row.creditLag2 ? lag2 : lag1) << who;
        if (!row.creditLag2) {
            EXPECT_EQ(row.marginBuyLimit, t.limitAndBalance - t.moneyLocked) << who;
        }
        EXPECT_EQ(row.creditCapacity, row.leverage * t.currentCollateralCounted) << who;
        if (req.size >= KR_ROW_SIZE_280) {
            EXPECT_EQ(row.equitySurplus, t.equitySurplus) << who;
        }
        for (size_t i = 0; i < req.actv.size(); ++i) {
            const ActvResult &a = plain.actv[i], &b = traced.actv[i];
            std::string what = who + " " + std::to_string(req.actv[i].secId) + " at " +
                               std::to_string(req.actv[i].price);
            EXPECT_EQ(a.ok, b.ok) << what;
            EXPECT_EQ(0, memcmp(&a.actv, &b.actv, sizeof a.actv)) << what;
            if (!a.ok) continue;
            const kesvar::ActvTrace& at = b.trace;
            ASSERT_EQ(1, at.filled) << what;
            EXPECT_EQ(row.creditLag2 != 0, at.creditLag2 != 0) << what;
            EXPECT_EQ(cov->checkMaxCredit, at.checkMaxCredit) << what;
            if (row.creditLag2) {
                // The price that turns money into lots, and the short that buying may cover.
                EXPECT_EQ(at.buyPrice, at.priceGiven ? at.givenPrice : at.offer) << what;
                for (int32_t k = 0; k < at.buy.count; ++k) {
                    const kesvar::TraceStep& step = at.buy.steps[k];
                    if (step.rule == kesvar::kRuleQuantity || step.money == 0) continue;
                    EXPECT_TRUE(step.denominator == at.buyPrice ||
                                step.denominator == at.lot * at.buyPrice)
                        << what << " " << BoundKey(step.bound);
                }
                EXPECT_EQ(at.uncoveredShort,
                          std::min(std::min(a.actv.position, 0) + at.lockedBuy, 0))
                    << what;
                EXPECT_GE(a.actv.maxBuy, -at.uncoveredShort) << what;
            }
            // The limits and prices the explanation shows, against the figures they give.
            if (!row.creditLag2) {
                EXPECT_EQ(a.actv.maxSell,
                          std::max(at.currentLimit - at.lockedSell + at.currentBalance, 0))
                    << what;
            } else {
                EXPECT_EQ(at.sellableHeld, std::max(at.position - at.lockedSell, 0)) << what;
            }
            for (int32_t k = 0; k < at.sell.count; ++k)
                if (at.sell.steps[k].bound == kesvar::kBoundOpenLimitSell) {
                    EXPECT_EQ(at.sell.steps[k].quantity, at.openLimit - at.lockedSell + at.position)
                        << what;
                }
            // A position is valued at the last price, else at the price it would trade at.
            if (at.position != 0 && !percentOfFace.count(req.actv[i].classId)) {
                const double last = at.last >= 1e-8 ? at.last : at.position > 0 ? at.bid : at.offer;
                EXPECT_EQ(a.actv.value, (double(at.position) * last) * at.lot) << what;
            }
            if (at.position != 0 && a.actv.value != 0 && req.actv[i].size >= KR_ACTV_SIZE_56) {
                EXPECT_EQ(a.actv.prevValue, (double(at.position) * at.prev) * at.lot) << what;
            }
            CheckQuantity(b.trace.buy, a.actv.maxBuy, what + " maxBuy", &cov->buyDeciders);
            CheckQuantity(b.trace.sell, a.actv.maxSell, what + " maxSell", &cov->sellDeciders);
            cov->buyCases.insert(b.trace.buyCase);
            cov->sellCases.insert(b.trace.sellCase);
            ++cov->checked;
        }
    }
}

// Variations of the bundled demo: settings switches, credit lags, prices (some missing), limits
// and given prices drawn from the seed.
struct Draw {
    uint64_t state;
    int Pick(int n) {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        return int(uint32_t(state >> 33) % uint32_t(n));
    }
    double Factor(double lo, double hi) { return lo + (hi - lo) * Pick(10001) / 10000.0; }
};

Scenario DemoVariation(int seed) {
    Scenario s = LoadScenarioFile(KESVAR_DEMO_DIR "/scenario.json");
    Draw d{uint64_t(seed) * 7919u + 17u};
    // A line of the demo's settings given a drawn value (or list).
    auto set = [&s](const std::string& line, const std::string& value) {
        std::string& text = s.firms[0].settings;
        ASSERT_NE(text.find(line), std::string::npos) << line;
        text.replace(text.find(line), line.size(), line.substr(0, line.find('=') + 1) + value);
    };
    auto draw = [&d](int n, int first) { return std::to_string(first + d.Pick(n)); };
    set("CREDITLAG=1", draw(2, 1));
    set("CHECKMAXCREDIT=1", draw(2, 0) + "\nRSTRNMBUY=" + draw(2, 0) + "\nLIMITSINLOTS=" +
                                (d.Pick(3) ? "1" : "0") + (d.Pick(4) ? "" : "\nVOLUME"));
    set("10001=1", draw(2, 1));
    set("10002=2", draw(2, 1));
    set("RSTRNMBUY=0", draw(3, 0));
    // Lists that leave margin-only and unlisted securities.
    for (const char* line : {"TQBR=SBER,GAZP,LKOH,MGNT,AFLT", "TQBR_ASSET=SBER,GAZP,LKOH,MGNT"}) {
        std::string list;
        for (const char* code : {"SBER", "GAZP", "LKOH", "MGNT", "AFLT"})
            if (d.Pick(2)) list += (list.empty() ? "" : ",") + std::string(code);
        set(line, list);
    }
    for (Class& c : s.classes)
        for (Security& sec : c.securities) {
            sec.market = Shocked(sec.market, d.Factor(-0.7, 2.0));
            double* fields[] = {&sec.market.offer, &sec.market.bid, &sec.market.last};
            if (d.Pick(5) == 0) *fields[d.Pick(3)] = 0.0;
        }
    for (MoneyLimit& m : s.moneyLimits) {
        m.currentBalance *= d.Factor(-0.5, 2.0);
        m.locked = m.currentBalance > 0 ? m.currentBalance * d.Factor(0, 0.3) : 0;
        m.leveragePercent = d.Pick(3) ? -1 : 50 * d.Pick(6);
    }
    for (const char* client : {"10001", "10002"})
        for (const char* code : {"SBER", "GAZP", "LKOH", "MGNT", "AFLT", "TMOS"})
            if (d.Pick(3) == 0)
                s.secLimits.push_back(
                    {"MC0139600000", client, code, "L01+00000F00", d.Pick(41) - 20});
    for (SecLimit& p : s.secLimits) {
        p.currentBalance += d.Pick(61) - 30;
        p.openLimit = d.Pick(3) ? 0 : d.Pick(40);
        p.currentLimit = d.Pick(3) ? 0 : d.Pick(40) - 10;
        p.lockedSell = d.Pick(3) ? 0 : d.Pick(20);
        p.lockedBuy = d.Pick(3) ? 0 : d.Pick(20) - 4; // the host's locked buys may be negative
    }
    const uint32_t rowSizes[] = {280, 272, 264, 248};
    for (RowRequest& r : s.rows) {
        r.size = rowSizes[d.Pick(4)];
        r.actv.clear();
        for (const Class& c : s.classes)
            for (const Security& sec : c.securities)
                r.actv.push_back({c.id, sec.id, "", "",
                                  d.Pick(3) ? 0.0 : sec.market.bid * d.Factor(0.5, 1.5),
                                  d.Pick(2) ? 56u : 48u});
    }
    return s;
}

TEST(Explain, EveryGeneratedQuantityIsGivenBackByItsDecidingBound) {
    Coverage cov;
    for (int seed = 0; seed < 300 && !HasFatalFailure(); ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        Scenario s = DemoVariation(seed);
        cov.checkMaxCredit = s.firms[0].settings.find("CHECKMAXCREDIT=1") != std::string::npos;
        // Loaded through the tool's own runner (untraced, rows only), then asked row by row.
        for (const CallFailure& f : RunScenario(s, RunOptions{false, false}).setup)
            ADD_FAILURE() << f.call << " " << f.subject << " " << f.code;
        CheckWorld(s, &cov);
    }
    EXPECT_GT(cov.checked, 3000);
    // Every case of TraceBuyCase and TraceSellCase was reached (numbered from 1, as shown), and
    // every bound decided somewhere.
    EXPECT_EQ(cov.buyCases, (std::set<int32_t>{1, 2, 3, 4, 5, 6, 7, 8, 9}));
    EXPECT_EQ(cov.sellCases, (std::set<int32_t>{1, 2, 3, 4}));
    EXPECT_GE(cov.buyDeciders.size(), 7u);
    EXPECT_GE(cov.sellDeciders.size(), 4u);
}

} // namespace
