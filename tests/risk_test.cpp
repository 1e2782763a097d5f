// The risk desk's answers fed back as scenarios: a cure's deposit and sales, edited into the
// limit records by hand, must restore the level exactly as the cure says, and one cent or one
// lot less must not; a row for every client must be the rows a user lists by hand; a basket of
// orders on `run` must be `order`'s columns and the records edited by hand.
#include <gtest/gtest.h>

#include "analyses/cure.h"
#include "analyses/order.h"
#include "analyses/stress.h"
#include "cli_run.h"
#include "outputs/run_output.h"

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
        size_t clients; // at or below the level on the demo
    };
    const Case cases[] = {
        {.level = "marginLevel=70", .order = CureOrder::Value, .clients = 1},
        {.level = "marginLevel=75", .order = CureOrder::Loss, .clients = 1},
        {.level = "marginLevel=99", .order = CureOrder::Value, .clients = 2},
        {.level = "equity=400000", .order = CureOrder::Value, .clients = 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.level);
        Level level;
        std::string reason;
        ASSERT_TRUE(ParseFigureLevel(c.level, &level, &reason)) << reason;
        const Scenario demo = Demo();
        CureResult r = RunCure(demo, level, c.order);
        ASSERT_EQ(r.clients.size(), c.clients);
        for (const ClientCure& cure : r.clients) {
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

// One order through `run --order` shows `order`'s filled (pending) column; a second order of
// the same security is judged against the first one's pending column.
TEST(Basket, RunShowsTheOrderColumnsAndJudgesEachWithTheEarlierPending) {
    struct Case {
        const char* first;     // as --order takes it
        const char* orderArgs; // the same for `kesvar order`
        const char* second;    // of the same client and security
    };
    const Case cases[] = {
        {.first = "10002:buy:LKOH:15",
         .orderArgs = "--client 10002 --buy LKOH 15",
         .second = "10002:buy:LKOH:10"},
        {.first = "MC0139600000/10002:sell:LKOH:20",
         .orderArgs = "--firm MC0139600000 --client 10002 --sell LKOH 20",
         .second = "10002:sell:LKOH:5"},
        {.first = "10001:buy:SBER:7@290",
         .orderArgs = "--client 10001 --buy SBER 7 --at 290",
         .second = "10001:sell:SBER:40"},
    };
    const std::string demo = "'" KESVAR_DEMO_DIR "/scenario.json'";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.first);
        const std::string first = std::string(" --order ") + c.first;
        clirun::json order = clirun::Json("order " + demo + " " + c.orderArgs);
        std::map<std::string, clirun::json> column[3]; // now, pending, filled by figure
        for (const clirun::json& f : order["figures"]) {
            column[0][f["figure"]] = f["now"];
            column[1][f["figure"]] = f["pending"];
            column[2][f["figure"]] = f["filled"];
        }
        const bool buy = order["side"] == "buy";
        const std::string side = buy ? "maxBuy" : "maxSell";
        for (bool pending : {false, true}) {
            clirun::json run = clirun::Json("run " + demo + first + (pending ? " --pending" : ""));
            ASSERT_EQ(run["basket"]["orders"].size(), 1u);
            EXPECT_EQ(run["basket"]["orders"][0]["largest"], column[0]["actv." + side]);
            const std::map<std::string, clirun::json>& want = column[pending ? 1 : 2];
            int compared = 0; // the client's row and the security's actv
            for (const clirun::json& row : run["rows"]) {
                if (row["client"] != order["client"]) continue;
                ++compared;
                for (auto& [name, value] : row["figures"].items())
                    EXPECT_EQ(value, want.at(name)) << name << " pending " << pending;
                for (const clirun::json& a : row["actv"]) {
                    if (a["security"] != order["security"]) continue;
                    ++compared;
                    EXPECT_EQ(a["position"], want.at("actv.position")) << pending;
                    // Priced alike only on the order's own side at the market price.
                    if (a["price"].is_null() &&
                        std::string(c.first).find('@') == std::string::npos) {
                        EXPECT_EQ(a[side], want.at("actv." + side)) << pending;
                    }
                }
            }
            EXPECT_EQ(compared, 2) << pending;
        }
        clirun::json two = clirun::Json("run " + demo + first + " --order " + c.second);
        const clirun::json& second = two["basket"]["orders"].at(1);
        const std::string secondSide = second["side"] == "buy" ? "maxBuy" : "maxSell";
        EXPECT_EQ(second["largest"], column[1]["actv." + secondSide]);
        EXPECT_EQ(second["fits"], second["quantity"] <= second["largest"]);
    }
}

// A basket fed back by hand: each order's quantity and money edited into the demo's records.
TEST(Basket, EqualsTheOrdersRecordedByHand) {
    struct Hand {
        const char* client;
        const char* security;
        int32_t quantity; // a sell below 0
        double cents;     // paid for a buy, received (below 0) for a sell
    };
    struct Case {
        std::vector<const char*> orders;
        std::vector<Hand> hand;
    };
    const Case cases[] = {
        {.orders = {"10002:buy:LKOH:3", "10002:sell:MGNT:2@5000"},
         .hand = {{"10002", "LKOH", 3, 2136150}, {"10002", "MGNT", -2, -1000000}}},
        // No record of either yet: each order makes one. SBER: 4 lots of 10 at the bid.
        {.orders = {"10001:buy:LKOH:2@7000", "MC0139600000/10002:short:SBER:4"},
         .hand = {{"10001", "LKOH", 2, 1400000}, {"10002", "SBER", -4, -1141200}}},
    };
    for (const Case& c : cases)
        for (bool pending : {false, true}) {
            SCOPED_TRACE(std::string(c.orders[0]) + " pending " + std::to_string(pending));
            Scenario s = Demo();
            for (const Hand& h : c.hand) {
                RowRequest who;
                who.firm = "MC0139600000";
                who.client = h.client;
                SecLimit* sec = nullptr;
                for (SecLimit& p : s.secLimits)
                    if (!sec && p.client == h.client && p.secCode == h.security) sec = &p;
                if (!sec) {
                    sec = &s.secLimits.emplace_back();
                    sec->firm = who.firm;
                    sec->client = h.client;
                    sec->secCode = h.security;
                }
                MoneyLimit& money = FirstOf(s.moneyLimits, who, nullptr);
                if (!pending) {
                    sec->currentBalance += h.quantity;
                    money.currentBalance -= h.cents;
                } else if (h.quantity > 0) {
                    sec->lockedBuy += h.quantity;
                    sec->lockedBuyValue += h.cents;
                    money.locked += h.cents;
                } else {
                    sec->lockedSell -= h.quantity;
                }
            }
            std::ostringstream want;
            PrintJson(want, RunScenario(s), WhatIf());
            std::string args = "run '" KESVAR_DEMO_DIR "/scenario.json'";
            for (const char* o : c.orders)
                args += std::string(" --order ") + o;
            clirun::json got = clirun::Json(args + (pending ? " --pending" : ""));
            EXPECT_EQ(got["rows"], clirun::json::parse(want.str())["rows"]);
            EXPECT_EQ(got["basket"]["state"], pending ? "pending" : "filled");
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
