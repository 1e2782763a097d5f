// The risk desk's answers fed back as scenarios: a cure's deposit and sales, edited into the
// limit records by hand, must restore the level exactly as the cure says, and one cent or one
// lot less must not; a row for every client must be the rows a user lists by hand; a basket of
// orders on `run` must be `order`'s columns and the records edited by hand.
#include <gtest/gtest.h>

#include <map>

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
    // A level to cure, the order of the trades, and the clients at or below it on the demo.
    struct Case {
        Case(const char* l, CureOrder o) : level(l), order(o) {}
        const char* level;
        CureOrder order;
        // Per client at or below the level on the demo, the security its sales start with:
        // 10002's LKOH is worth the most, MGNT lost the most and weighs 1 against LKOH's 0.85;
        // 10001's bond and TMOS (on an account no actv asks for) both weigh 1, the bond is worth
        // more.
        std::vector<std::string> firstSales;
        Case& FirstSales(const std::vector<std::string>& v) { return firstSales = v, *this; }
    };
    const Case cases[] = {
        Case("marginLevel=75", CureOrder::Loss).FirstSales({"MGNT"}),
        Case("marginLevel=99", CureOrder::Value).FirstSales({"SBER", "LKOH"}),
        Case("marginLevel=99", CureOrder::Weight).FirstSales({"SU26238RMFS4", "MGNT"}),
        Case("equity=400000", CureOrder::Value).FirstSales({"LKOH"}),
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
            const std::vector<CureStep>& steps = cure.sales.steps;
            EXPECT_EQ(steps[0].security, c.firstSales[&cure - r.clients.data()]);
            // By weight: the firm's long weights (1 without a line), ties the larger value first.
            const std::map<std::string, double> weights = {{"SBER", 0.9}, {"LKOH", 0.85}};
            auto weight = [&](size_t i) {
                return weights.count(steps[i].security) ? weights.at(steps[i].security) : 1.0;
            };
            for (size_t i = 1; c.order == CureOrder::Weight && i < steps.size(); ++i)
                EXPECT_TRUE(weight(i - 1) > weight(i) ||
                            (weight(i - 1) == weight(i) && steps[i - 1].cents >= steps[i].cents))
                    << steps[i - 1].security << " before " << steps[i].security;
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
                // What a working order has locked is not traded again.
                for (const CureStep& step : plan->steps) {
                    Scenario s = demo;
                    const SecLimit& held = FirstOf(s.secLimits, who, step.security.c_str());
                    EXPECT_LE(step.units, sign < 0 ? held.currentBalance - held.lockedSell
                                                   : -held.currentBalance - held.lockedBuy)
                        << who.client << " " << step.security;
                }
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

// One order through `run --order` shows `order`'s filled (pending) column; a second order of
// the same security is judged against the first one's pending column.
TEST(Basket, RunShowsTheOrderColumnsAndJudgesEachWithTheEarlierPending) {
    struct Case {
        Case(const char* f, const char* o) : first(f), orderArgs(o) {}
        const char* first;       // as --order takes it
        const char* orderArgs;   // the same for `kesvar order`
        const char* second = ""; // of the same client and security
        Case& Then(const char* v) { return second = v, *this; }
    };
    const Case cases[] = {
        Case("10002:buy:LKOH:15", "--client 10002 --buy LKOH 15").Then("10002:buy:LKOH:10"),
        Case("MC0139600000/10002:sell:LKOH:20", "--firm MC0139600000 --client 10002 --sell LKOH 20")
            .Then("10002:sell:LKOH:5"),
        Case("10001:buy:SBER:7@290", "--client 10001 --buy SBER 7 --at 290")
            .Then("10001:sell:SBER:40"),
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

// A basket fed back by hand: each order's quantity and money edited into the demo's records,
// as pending orders or as filled ones.
TEST(Basket, EqualsTheOrdersRecordedByHand) {
    // An order as --order takes it, and what it does to its client's record of the security.
    struct Placed {
        const char* order;
        const char* client;
        const char* security;
        int32_t quantity; // a sell below 0
        double cents;     // paid for a buy, received (below 0) for a sell
    };
    const std::vector<Placed> baskets[] = {
        {{"10002:buy:LKOH:3", "10002", "LKOH", 3, 2136150},
         {"10002:sell:MGNT:2@5000", "10002", "MGNT", -2, -1000000}},
        // No record of either yet: each order makes one. SBER: 4 lots of 10 at the bid.
        {{"10001:buy:LKOH:2@7000", "10001", "LKOH", 2, 1400000},
         {"MC0139600000/10002:short:SBER:4", "10002", "SBER", -4, -1141200}},
        // A buy that covers part of a short.
        {{"10001:buy:GAZP:5@160", "10001", "GAZP", 5, 800000}},
    };
    for (const std::vector<Placed>& basket : baskets)
        for (bool pending : {false, true}) {
            SCOPED_TRACE(std::string(basket[0].order) + " pending " + std::to_string(pending));
            Scenario s = Demo();
            std::string args = "run '" KESVAR_DEMO_DIR "/scenario.json'";
            for (const Placed& h : basket) {
                args += std::string(" --order ") + h.order;
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
            clirun::json got = clirun::Json(args + (pending ? " --pending" : ""));
            EXPECT_EQ(got["rows"], clirun::json::parse(want.str())["rows"]);
            EXPECT_EQ(got["basket"]["state"], pending ? "pending" : "filled");
        }
}

// The commands' --all-clients on a scenario that lists no rows against the same rows listed by
// hand.
TEST(AllClients, CommandsSeeTheRowsListedByHand) {
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
    // Every command's firm summary is run's, on the rows listed by hand.
    const clirun::json firm = json("run --all-clients", byHand)["firm"];
    ASSERT_EQ(firm["clients"], 2);
    for (const std::string args :
         {"stress --actv --steps 5 --level marginLevel=70", "cure --level marginLevel=99", "run"}) {
        SCOPED_TRACE(args);
        const char* key = args == "run" ? "rows" : "clients"; // the part that holds the rows
        const clirun::json all = json(args + " --all-clients", bare);
        EXPECT_EQ(all[key], json(args, byHand)[key]);
        EXPECT_FALSE(all[key].empty());
        EXPECT_EQ(all["firm"], firm);
    }
}

} // namespace
