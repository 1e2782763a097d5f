// The risk desk's answers fed back as scenarios: a cure's deposit and sales, edited into the
// limit records by hand, must restore the level exactly as the cure says, and one cent or one
// lot less must not; a row for every client must be the rows a user lists by hand.
#include <gtest/gtest.h>

#include <map>

#include "analyses/cure.h"
#include "analyses/order.h"
#include "analyses/stress.h"
#include "cli_run.h"

using namespace kesvar_cli;

namespace {

Scenario Demo() {
    return LoadScenarioFile(KESVAR_DEMO_DIR "/scenario.json");
}

// The figure of a client's row after the scenario is run again as it stands.
double FigureOf(const Scenario& s, const RowRequest& who, const std::string& figure) {
    Scenario one = s;
    one.rows = {who};
    one.rows[0].actv.clear();
    return Figure(RunScenario(one).rows.at(0), figure);
}

// The record the host hands the library first for the client (and security), as a terminal
// holds them.
template <class T> T& FirstOf(std::vector<T>& records, const RowRequest& who, const char* sec) {
    for (size_t i : TerminalOrder(records)) {
        T& r = records[i];
        bool same = r.firm == who.firm && r.client == who.client;
        if constexpr (std::is_same_v<T, SecLimit>) same = same && r.secCode == sec;
        if (same) return r;
    }
    throw std::runtime_error("no record");
}

// The plan's trades written into the records; the last step `less` lots short.
Scenario Traded(Scenario s, const RowRequest& who, const TradePlan& plan, int sign, int less) {
    for (size_t i = 0; i < plan.steps.size(); ++i) {
        const CureStep& step = plan.steps[i];
        int32_t lots = step.lots - (i + 1 == plan.steps.size() ? less : 0);
        FirstOf(s.secLimits, who, step.security.c_str()).currentBalance +=
            sign * step.units / step.lots * lots;
        FirstOf(s.moneyLimits, who, nullptr).currentBalance -= sign * step.cents / step.lots * lots;
    }
    return s;
}

TEST(Cure, DepositAndTradesFedBackRestoreTheLevelAndNoLess) {
    struct Case {
        const char* level;
        CureOrder order;
        // Per client at or below the level on the demo, the security its sales start with:
        // 10002's LKOH is worth the most, MGNT lost the most and weighs 1 against LKOH's 0.85.
        std::vector<std::string> firstSales;
    };
    const Case cases[] = {
        {.level = "marginLevel=70", .order = CureOrder::Value, .firstSales = {"LKOH"}},
        {.level = "marginLevel=75", .order = CureOrder::Loss, .firstSales = {"MGNT"}},
        {.level = "marginLevel=75", .order = CureOrder::Weight, .firstSales = {"MGNT"}},
        {.level = "marginLevel=99", .order = CureOrder::Value, .firstSales = {"SBER", "LKOH"}},
        {.level = "equity=400000", .order = CureOrder::Value, .firstSales = {"LKOH"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.level);
        Level level;
        std::string reason;
        ASSERT_TRUE(ParseFigureLevel(c.level, &level, &reason)) << reason;
        const Scenario demo = Demo();
        CureResult r = RunCure(demo, level, c.order);
        ASSERT_EQ(r.clients.size(), c.firstSales.size());
        for (const ClientCure& cure : r.clients) {
            ASSERT_FALSE(cure.sales.steps.empty());
            EXPECT_EQ(cure.sales.steps[0].security, c.firstSales[&cure - r.clients.data()]);
            const RowRequest& who = cure.request;
            ASSERT_TRUE(cure.depositFound);
            for (int64_t less : {0, 1}) {
                Scenario s = demo;
                FirstOf(s.moneyLimits, who, nullptr).currentBalance +=
                    double(cure.depositCents - less);
                EXPECT_EQ(FigureOf(s, who, level.figure) > level.level, less == 0)
                    << who.client << " deposit " << cure.depositCents << " less " << less;
            }
            for (auto [plan, sign] : {std::pair(&cure.sales, -1), std::pair(&cure.buyBack, 1)}) {
                if (!plan->restores) continue;
                for (int less : {0, 1}) {
                    double v = FigureOf(Traded(demo, who, *plan, sign, less), who, level.figure);
                    EXPECT_EQ(v > level.level, less == 0) << who.client << " sign " << sign;
                    if (less == 0) {
                        EXPECT_EQ(v, plan->steps.back().figure);
                    }
                }
            }
        }
    }
}

// Sales go the highest weight first, as the firm's [SECURITYWEIGHT] lines weigh each long
// (1 without a line, a long weight above 1 read as 1), ties the larger value first. 10001's
// TMOS, on an account no actv asks for, is valued and sold too.
TEST(Cure, SalesByWeightFollowTheFirmsWeights) {
    struct Case {
        const char* name;
        const char* lines;                   // the firm's [SECURITYWEIGHT] section
        std::map<std::string, double> longs; // each long's weight as the library reads the lines
    };
    const Case cases[] = {
        {.name = "the demo's",
         .lines = "SBER=0.9,1.1\nGAZP=0.8,1.25\nLKOH=0.85,1.2\n",
         .longs = {{"SBER", 0.9}, {"LKOH", 0.85}, {"MGNT", 1}, {"SU26238RMFS4", 1}, {"TMOS", 1}}},
        {.name = "reversed",
         .lines = "LKOH=1,1\nMGNT=0.5,1\nSBER=1,1\nSU26238RMFS4=0.5,1\n",
         .longs = {{"SBER", 1}, {"LKOH", 1}, {"MGNT", 0.5}, {"SU26238RMFS4", 0.5}, {"TMOS", 1}}},
        {.name = "above 1 reads as 1, a tie",
         .lines = "MGNT=2,1\nSBER=0.5,1\n",
         .longs = {{"SBER", 0.5}, {"LKOH", 1}, {"MGNT", 1}, {"SU26238RMFS4", 1}, {"TMOS", 1}}},
    };
    const std::string section = "[SECURITYWEIGHT]\nSBER=0.9,1.1\nGAZP=0.8,1.25\nLKOH=0.85,1.2\n";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Scenario s = Demo();
        std::string& settings = s.firms.at(0).settings;
        ASSERT_NE(settings.find(section), std::string::npos);
        settings.replace(settings.find(section), section.size(),
                         std::string("[SECURITYWEIGHT]\n") + c.lines);
        // Both clients are below 99 and sales alone do not lift 10002 there: it sells every long.
        CureResult r = RunCure(s, {"marginLevel", 99}, CureOrder::Weight);
        ASSERT_EQ(r.clients.size(), 2u);
        EXPECT_EQ(r.clients[1].sales.steps.size(), 2u);
        for (const ClientCure& cure : r.clients) {
            const std::vector<CureStep>& steps = cure.sales.steps;
            for (size_t i = 1; i < steps.size(); ++i) {
                const double before = c.longs.at(steps[i - 1].security),
                             now = c.longs.at(steps[i].security);
                EXPECT_TRUE(before > now || (before == now && steps[i - 1].cents >= steps[i].cents))
                    << cure.request.client << ": " << steps[i - 1].security << " before "
                    << steps[i].security;
            }
        }
    }
}

TEST(Order, PendingAndFilledEqualTheRecordsEditedByHand) {
    struct Case {
        Order order;
        int32_t lockedBuy, lockedSell, position; // the security's record, pending and filled
        double cents;                            // the money the order moves
    };
    const Case cases[] = {
        {.order = {"", "10002", true, "LKOH", 3, 0},
         .lockedBuy = 3,
         .lockedSell = 2,
         .position = 15,
         .cents = 2136150},
        {.order = {"", "10002", false, "MGNT", 2, 5000},
         .lockedBuy = 3,
         .lockedSell = 2,
         .position = 3,
         .cents = 1000000},
        // No record of SBER yet: the order makes one; 2 lots of 10 at the bid.
        {.order = {"", "10002", false, "SBER", 2, 0},
         .lockedBuy = 0,
         .lockedSell = 2,
         .position = -2,
         .cents = 570600},
        {.order = {"MC0139600000", "10001", true, "GAZP", 5, 160},
         .lockedBuy = 10,
         .lockedSell = 0,
         .position = -15,
         .cents = 800000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.order.security);
        const Scenario demo = Demo();
        OrderImpact r = RunOrder(demo, c.order);
        RowRequest who = r.now.request;
        for (bool filled : {false, true}) {
            Scenario s = demo;
            SecLimit* sec = nullptr;
            for (SecLimit& p : s.secLimits)
                if (!sec && p.client == who.client && p.secCode == c.order.security) sec = &p;
            if (!sec) {
                sec = &s.secLimits.emplace_back();
                sec->firm = who.firm;
                sec->client = who.client;
                sec->secCode = c.order.security;
            }
            MoneyLimit& money = FirstOf(s.moneyLimits, who, nullptr);
            const int sign = c.order.buy ? 1 : -1;
            if (filled) {
                sec->currentBalance = c.position;
                money.currentBalance -= sign * c.cents;
            } else {
                sec->lockedBuy = c.lockedBuy;
                sec->lockedSell = c.lockedSell;
                if (c.order.buy) {
                    sec->lockedBuyValue += c.cents;
                    money.locked += c.cents;
                }
            }
            s.rows = {who};
            RunResult want = RunScenario(s);
            const RowResult& got = filled ? r.filled : r.pending;
            ASSERT_TRUE(got.ok && want.rows[0].ok);
            EXPECT_EQ(RowFigures(got.row), RowFigures(want.rows[0].row)) << filled;
            EXPECT_EQ(memcmp(&got.actv[0].actv, &want.rows[0].actv[0].actv, sizeof(KRMarginalActv)),
                      0)
                << filled;
            EXPECT_NE(memcmp(&got.actv[0].actv, &r.now.actv[0].actv, sizeof(KRMarginalActv)), 0)
                << filled;
        }
    }
}

TEST(AllClients, RowsAreTheClientsAndHoldingsListedByHand) {
    Scenario all = Demo();
    RequestAllClients(&all);
    const std::vector<std::pair<const char*, std::vector<std::string>>> byHand = {
        {"10001", {"SBER", "GAZP", "SU26238RMFS4", "TMOS"}},
        {"10002", {"LKOH", "MGNT", "GAZP"}},
    };
    ASSERT_EQ(all.rows.size(), byHand.size());
    RunResult got = RunScenario(all);
    Scenario listed = Demo();
    for (size_t i = 0; i < byHand.size(); ++i) {
        RowRequest& row = listed.rows.at(i);
        EXPECT_EQ(all.rows[i].client, byHand[i].first);
        row.actv.clear();
        for (const std::string& code : byHand[i].second) {
            ActvRequest a;
            for (const Class& c : listed.classes)
                for (const Security& sec : c.securities)
                    if (sec.code == code) a = {c.id, sec.id, c.code, sec.code};
            row.actv.push_back(a);
        }
    }
    RunResult want = RunScenario(listed);
    for (size_t i = 0; i < byHand.size(); ++i) {
        EXPECT_EQ(RowFigures(got.rows[i].row), RowFigures(want.rows[i].row));
        ASSERT_EQ(got.rows[i].actv.size(), byHand[i].second.size());
        for (size_t k = 0; k < byHand[i].second.size(); ++k) {
            EXPECT_EQ(got.rows[i].actv[k].request.secCode, byHand[i].second[k]);
            EXPECT_EQ(memcmp(&got.rows[i].actv[k].actv, &want.rows[i].actv[k].actv,
                             sizeof(KRMarginalActv)),
                      0);
        }
    }
}

// The commands' --all-clients on a scenario that lists no rows against the same rows listed by
// hand.
TEST(AllClients, CommandsSeeTheRowsListedByHand) {
    struct Case {
        const char* args;
        const char* key; // the part of the JSON that holds the rows
    };
    const Case cases[] = {
        {.args = "stress --actv --steps 5 --level marginLevel=70", .key = "clients"},
        {.args = "cure --level marginLevel=99", .key = "clients"},
        {.args = "run", .key = "rows"},
    };
    clirun::json listed =
        clirun::json::parse(clirun::Slurp(KESVAR_DEMO_DIR "/scenario.json"), nullptr, true, true);
    listed.erase("rows");
    const std::string bare = clirun::TempFile("bare.json", listed.dump());
    listed["rows"] = clirun::json::parse(R"([
        {"firm": "MC0139600000", "client": "10001", "actv": [{"security": "SBER"},
         {"security": "GAZP"}, {"security": "SU26238RMFS4"}, {"security": "TMOS"}]},
        {"firm": "MC0139600000", "client": "10002", "actv": [{"security": "LKOH"},
         {"security": "MGNT"}, {"security": "GAZP"}]}])");
    const std::string byHand = clirun::TempFile("listed.json", listed.dump());
    // From standard input the scenario's files are found in the current directory.
    auto json = [](const std::string& args, const std::string& file) {
        clirun::Result r = clirun::Shell("cd '" KESVAR_DEMO_DIR "' && '" KESVAR_CLI "' " + args +
                                         " - -f json < '" + file + "'");
        EXPECT_EQ(r.status, 0) << args << "\n" << r.err;
        return clirun::json::parse(r.out, nullptr, false);
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args);
        const clirun::json all = json(std::string(c.args) + " --all-clients", bare);
        EXPECT_EQ(all[c.key], json(c.args, byHand)[c.key]);
        EXPECT_FALSE(all[c.key].empty());
    }
}

TEST(FailBelow, ExitsThreeExactlyWhenAClientIsAtOrBelow) {
    struct Case {
        const char* args;
        int status;
    };
    // 10002's margin level is 67.99436906173662; 10001's is above 99.
    const Case cases[] = {
        {.args = "run $D --all-clients --fail-below marginLevel=70", .status = 3},
        {.args = "run $D --fail-below marginLevel=67.99436906173662", .status = 3},
        {.args = "run $D --fail-below marginLevel=67.9943690617366", .status = 0},
        {.args = "run $D --all-clients --fail-below equity=0", .status = 0},
        {.args = "run $D --fail-below marginLevel=x", .status = 2},
        {.args = "cure $D --level marginLevel=70 --fail-below marginLevel=70", .status = 3},
        {.args = "cure $D --level marginLevel=70 --fail-below marginLevel=60", .status = 0},
        {.args = "stress $D --all-clients --fail-below marginLevel=70", .status = 3},
        {.args = "stress $D --fail-below marginLevel=67.9943690617366 -f json", .status = 0},
        {.args = "stress $D --fail-below marginLevel=67.99436906173662", .status = 3},
        {.args = "stress $D --all-clients --fail-below marginLevel=70 --steps 3", .status = 3},
        {.args = "stress $D --fail-below equity=x", .status = 2},
    };
    for (const Case& c : cases) {
        std::string args = c.args;
        args.replace(args.find("$D"), 2, "'" KESVAR_DEMO_DIR "/scenario.json'");
        clirun::Result r = clirun::Kesvar(args);
        EXPECT_EQ(r.status, c.status) << args << "\n" << r.err;
        EXPECT_EQ(r.out.find("MC0139600000/10002") != std::string::npos, c.status == 3) << args;
    }
}

} // namespace
