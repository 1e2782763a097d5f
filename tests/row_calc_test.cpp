// Prices, position valuation and the whole marginal row, through the exports.
#include <gtest/gtest.h>

#include <stddef.h>
#include <string.h>

#include <algorithm>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "fake_host.h"
#include "frame/host.h"
#include "registry/registry.h"
#include "row/row.h"
#include "settings/settings.h"

namespace {

using fakehost::Money;
using fakehost::Position;
using Fields = std::map<size_t, double>; // row offset -> figure
#define F(f) offsetof(KRMarginalRow, f)

// Classes: TQBR (S1 asset+margin lot 10, S2 asset, S3 margin, S4 margin without prices),
// UNL (valueUnlisted, U1), OTH (O1, not valued), BOND (B1 asset, face value 1000).
// Board MB counts fully, AL is an additional board, ZZ is not listed; ACC2 is an
// additional-limit trade account.
const char* kSettings = "[LIMITALLOWEDSECURITY]\nTQBR=S1,S3,S4\n[ASSETSECURITIES]\nTQBR=S1,S2\n"
                        "BOND=B1\n[SECURITYWEIGHT]\nS1=0.8,1.5\nU1=0.5,2\n[CLIENTLAG]\nL2=2\n"
                        "[ADDLIMITBOARDS]\nMB=AL\n[ADDLIMITTRDACC]\nMB=ACC2\n";

void World(int32_t version = 2) {
    ASSERT_EQ(fakehost::Install(version), 1);
    fakehost::AddClass(10, "TQBR", {{101, "S1", 10}, {102, "S2"}, {103, "S3"}, {104, "S4"}});
    fakehost::AddClass(20, "UNL", {{201, "U1"}}, 0, 1);
    fakehost::AddClass(30, "OTH", {{301, "O1"}});
    fakehost::AddClass(40, "BOND", {{401, "B1", 1, 1000.0}}, KR_CLASS_FACE_VALUE);
    ASSERT_EQ(KRSetDliniFile("F1", kSettings), 1);
    // offer, bid, previous, last (, accrued interest)
    fakehost::SetPrices(10, 101, 5.5, 5.0, 4.0, 5.2);
    fakehost::SetPrices(10, 102, 21.0, 20.0, 19.0, 20.5);
    fakehost::SetPrices(10, 103, 3.0, 2.5, 2.0, 2.8);
    fakehost::SetPrices(10, 104, 3.0, 2.5, 0.0, 0.0);
    fakehost::SetPrices(20, 201, 2.0, 1.9, 1.8, 0.0);
    fakehost::SetPrices(30, 301, 1.0, 1.0, 1.0, 1.0);
    fakehost::SetPrices(40, 401, 99.0, 98.5, 98.0, 97.0, 12.3);
}

KRMarginalRow Calc(const char* client = "C1") {
    KRMarginalRow row = fakehost::Row("F1", client);
    EXPECT_TRUE(KRInitMarginalRow(&row) && KRCalcMarginalRow(&row));
    return row;
}

// The fields `want` names hold its figures; the others of `zero`, or with `all` every other double
// output of the row, are 0.
void ExpectFields(const KRMarginalRow& row, Fields want, const std::vector<size_t>& zero = {},
                  bool all = false) {
    for (size_t off = F(moneyAvailable); off < sizeof row; off += 8)
        if (all || std::count(zero.begin(), zero.end(), off)) want.emplace(off, 0.0);
    double d[sizeof row / 8]; // every double lies on a multiple of 8
    memcpy(d, &row, sizeof row);
    for (const auto& w : want)
        EXPECT_EQ(d[w.first / 8], w.second) << "offset " << w.first;
}

// SecurityPrices: a missing offer or bid takes LAST, else the previous price; a missing previous
// price takes LAST; the lot is the lot size when limits are in lots, else 1. PositionPrice: LAST,
// else the bid for a long (the offer otherwise), else the previous price.
TEST(RowPrices, FallbacksLotAndPositionPrice) {
    // In: offer, bid, previous, last. Out: SecurityPrices' offer, bid, last, previous and lot,
    // then PositionPrice for a long and for no position.
    const std::vector<double> cases[][2] = {
        {{0, 0, 101.5, 0}, {101.5, 101.5, 0, 101.5, 10, 101.5, 101.5}},
        {{0, 0, 8, 9}, {9, 9, 9, 8, 10, 9, 9}},
        {{0, 7, 0, 99}, {99, 7, 99, 99, 10, 99, 99}},
        {{10, 9, 8, 0}, {10, 9, 0, 8, 10, 9, 10}},
    };
    World();
    ASSERT_TRUE(kesvar::ResolveParamIds());
    auto firm = [] { return kesvar::gState.firmSettingsTable[kesvar::FindFirmSettings("F1")]; };
    const int32_t s1 = kesvar::FindSecurityById(10, 101);
    for (const auto& c : cases) {
        fakehost::SetPrices(10, 101, c[0][0], c[0][1], c[0][2], c[0][3]);
        std::vector<double> o(7);
        EXPECT_TRUE(kesvar::SecurityPrices(firm(), s1, &o[0], &o[1], &o[2], &o[3], &o[4]) &&
                    kesvar::PositionPrice(s1, 5, &o[5]) && kesvar::PositionPrice(s1, 0, &o[6]));
        EXPECT_EQ(o, c[1]) << "prices in " << testing::PrintToString(c[0]);
    }
    ASSERT_EQ(KRSetDliniFile("F1", "[GENERAL]\nLIMITSINLOTS=0\n"), 1);
    EXPECT_EQ(kesvar::LotMultiplier(firm(), s1), 1.0);
}

// One position of C1 valued in a row of its own. Money: one MB record with openLimit 1000.00 and
// nothing else, so leverage = 1000 / collateralOpen shows that sum, openCollateral shows
// collateralOpenAll and equitySurplus = (longNow + shortNow) - (longValue + shortValue).
// Ordinary S1 longs and shorts are in the whole rows below.
TEST(RowValuation, Classification) {
    // clang-format off
    const std::vector<size_t> valuation = {F(openValue), F(currentValue), F(longValue),
        F(longValueMargin), F(longValueAsset), F(shortValue), F(buyCommitment), F(leverage),
        F(buyCommitmentMargin), F(buyCommitmentAsset), F(uncoveredSellValue), F(openCollateral),
        F(equitySurplus)};
    // Position: firm, client, security, account, open, openLimit, current, currentLimit,
    // lockedSell, lockedBuy, lockedBuyValue. Every valuation field not named is 0.
    const struct { const char* name; Position pos; Fields want; } cases[] = {
        // 8*4*10 = 320, 10*5.2*10 = 520, weighted 320*0.8 = 256 and 10*5*10*0.8 = 400
        {"S1 long on acc2: all-account sums only", {"F1", "C1", "S1", "acc2", 8, 0, 10},
         {{F(openValue), 320}, {F(currentValue), 520}, {F(openCollateral), 256},
          {F(equitySurplus), 400}}},
        // 10*20.5, 10*20, 250/100
        {"asset only long, locked buy value", {"F1", "C1", "S2", "", 0, 0, 10, 0, 0, 0, 250},
         {{F(currentValue), 205}, {F(longValue), 200}, {F(longValueAsset), 200},
          {F(buyCommitment), 2.5}, {F(buyCommitmentAsset), 2.5}}},
        // 5*2, 10*2.8
        {"margin only long: no collateral, no long value", {"F1", "C1", "S3", "", 5, 0, 10},
         {{F(openValue), 10}, {F(currentValue), 28}}},
        // -50*2 at the offer, -50*2*2 weighted by wS
        {"unlisted short, LAST missing", {"F1", "C1", "U1", "", 0, 0, -50, 0, 0, 0, 250},
         {{F(currentValue), -100}, {F(shortValue), -200}}},
        // Each price plus 12.3: open 2*(12.3 + 1000*98%) = 1984.6 at the previous price, 982.3
        // at LAST, 997.3 at the bid, (3 - 1)*1002.3 sold at the offer
        {"face value plus accrued interest", {"F1", "C1", "B1", "", 2, 0, 1, 0, 3},
         {{F(openValue), 1984.6}, {F(openCollateral), 1984.6}, {F(leverage), 1000 / 1984.6},
          {F(currentValue), 982.3}, {F(longValue), 997.3}, {F(longValueAsset), 997.3},
          {F(uncoveredSellValue), 2004.6}}},
        {"class without valueUnlisted", {"F1", "C1", "O1", "", 5, 0, 10}, {}},
        {"no previous or last price", {"F1", "C1", "S4", "", 5, 0, 10}, {}},
        // 10 - 3 + 1 = 8: 8*20.5, 8*20
        {"credit lag 1: current - openLimit + currentLimit", {"F1", "C1", "S2", "", 0, 3, 10, 1},
         {{F(currentValue), 164}, {F(longValue), 160}, {F(longValueAsset), 160}}},
        // 20*20.5, 20*20, (30 - 20)*21 at the offer
        {"sell orders beyond a long", {"F1", "C1", "S2", "", 0, 0, 20, 0, 30},
         {{F(currentValue), 410}, {F(longValue), 400}, {F(longValueAsset), 400},
          {F(uncoveredSellValue), 210}}},
        // -4*4*10, -160*1.5
        {"opening short weighted by wS; T < 0: leverage 0", {"F1", "C1", "S1", "", -4},
         {{F(openValue), -160}, {F(openCollateral), -240}}},
    };
    // clang-format on
    World();
    fakehost::AddMoneyLimit(Money{"F1", "C1", "MB", 0, 100000});
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fakehost::host().secLimits.clear();
        fakehost::AddSecLimit(c.pos);
        ExpectFields(Calc(), c.want, valuation);
    }
}

// C1 (credit lag 1): MB counts fully, AL (kind 2) only in the M sums and never with its leverage
// (500 %), ZZ (kind 0) not at all; MB's leverage percent is negative, so the leverage is computed.
// S1 long 10 (open 8) on an ordinary account, S1 short 3 on another; no sell orders (the
// uncovered sales of a long clamp at 0). L2 (credit lag 2): leverage 50 % given, S1 long 10
// (open 8, openLimit ignored), S2 short 3 with 5 sold on an additional-limit account.
// N1 and K2 (openBalance 5, openLimit 10: leverage 2) are corners of margin level and credit.
TEST(RowCalc, WholeRows) {
    World();
    fakehost::AddMoneyLimit(Money{"F1", "C1", "MB", 10000, 20000, 12000, 3000, 1000, 500});
    fakehost::AddMoneyLimit(Money{"F1", "C1", "AL", 2000, 0, 4000, 1000, 0, 100, 500});
    fakehost::AddMoneyLimit(Money{"F1", "C1", "ZZ", 99999, 99999, 99999, 99999, 99999, 99999});
    fakehost::AddMoneyLimit(Money{"F1", "L2", "MB", 10000, 20000, 60000, 0, 0, 0, 50});
    fakehost::AddMoneyLimit(Money{"F1", "N1", "MB", 500, 1000, -1000});
    fakehost::AddMoneyLimit(Money{"F1", "K2", "MB", 500, 1000, 1000});
    fakehost::AddSecLimit(Position{"F1", "C1", "S1", "", 8, 0, 10, 0});
    fakehost::AddSecLimit(Position{"F1", "C1", "S1", "A2", 0, 0, -3, 0});
    fakehost::AddSecLimit(Position{"F1", "L2", "S1", "", 8, 5, 10, 0});
    fakehost::AddSecLimit(Position{"F1", "L2", "S2", "ACC2", 0, 0, -3, 0, 5});
    fakehost::AddSecLimit(Position{"F1", "K2", "S1", "ACC2", 0, 0, -3});

    // C1 money: OM (10000+2000)/100 = 120, OL 200, CM (12000+4000)/100 = 160, LK 10,
    // LV (500+100)/100 = 6, own OM13 100, CM13 120. Long 10*5*10*0.8 = 400, short
    // -3*5.5*10*1.5 = -247.5, opening collateral 8*4*10*0.8 = 256. Equity (-247.5 + 400) +
    // (120 - 6) = 266.5, X = ((160 - 6) + 400) - 247.5 = 306.5, Z = -247.5 + 114 = -133.5.
    const double lev = 200 / (120 + 256.0), credit = lev * 306.5, buy = (credit - 247.5) + -133.5;
    const double ml = (272.5 / 520) * 100.0; // ((-247.5 + 400) + 120) / (400 + 120)
    // clang-format off
    ExpectFields(Calc("C1"), {
        {F(openValue), 440}, {F(currentValue), 524}, // 120 + 8*4*10; 160 + 10*5.2*10 - 3*5.2*10
        {F(openCollateral), 356}, {F(leverage), lev}, {F(openLimitTotal), 200},
        {F(moneyAvailable), 114}, {F(longValue), 400}, {F(longValueMargin), 400},
        {F(shortValue), -247.5}, {F(equity), 266.5}, {F(creditCapacity), credit},
        {F(buyCapacity), buy}, {F(buyCapacityCopy), buy}, {F(marginLevel), ml},
        {F(lockedValueTotal), 6}, {F(marginBuyLimit), 190}, // (3000+1000+16000)/100 - 10
        {F(ownBuyLimit), 150}, {F(moneyCurrent), 120}, {F(moneyLocked), 10},
        {F(currentLeverage), (100.0 / ml) - 1.0}, {F(equitySurplus), 40}}, {}, true); // X - equity

    // L2: equity 400 + 600 = 1000, X = (600 + 400) - 3*21 = 937, credit 0.5*937 = 468.5,
    // uncovered 5*21 = 105 on every account, buy capacity 468.5 - 105 = 363.5, Z = 600 > 0,
    // settlement debt 105 + 400 = 505, W = 468.5 - 505 = -36.5.
    // Lag2BuyLimit, y = -63: A = -105, B = 600, H = 1000, s = 937. R1 0 (B < s),
    // R2 min(600, -105/0.5 + 1000 - 63) = 600, x = (468.5 + 600 - 105) / 1.5 > B -> F = x;
    // R4 0 (495 < s), t = 937 - 1010, R5 = t, x = (468.5 + 1000 - 505) / 1.5 > t -> G = x.
    KRMarginalRow row = Calc("L2");
    EXPECT_EQ(row.leverageGiven, 1);
    ExpectFields(row, {{F(leverage), 0.5}, {F(equity), 1000}, {F(equitySurplus), -63},
                       {F(creditCapacity), 468.5}, {F(buyCapacity), 363.5},
                       {F(marginBuyLimit), 963.5}, {F(settlementDebt), 505},
                       {F(assetBuyLimit), 963.5}, {F(ownBuyLimit), 963.5 / 1.5}});

    // N1: V = -10 and longValue + G = 0 -> -99 %, not -100; equity < 0 leaves X = -10 as it is.
    ExpectFields(Calc("N1"), {{F(equity), -10}, {F(creditCapacity), -20}, {F(marginLevel), -99.0},
                              {F(currentLeverage), -1.0}});
    // K2: the short on ACC2 is not counted, so equity 10 >= 0 clamps X = 10 - 247.5 to 0;
    // equitySurplus keeps X before the clamp.
    ExpectFields(Calc("K2"), {{F(equity), 10}, {F(creditCapacity), 0}, {F(marginLevel), 100.0},
                              {F(currentLeverage), 0}, {F(equitySurplus), -247.5}});
    // clang-format on

    // A line beginning with VOLUME (not the first line) adds the short value to C1's own limit.
    ASSERT_EQ(KRSetDliniFile("F1", (std::string(kSettings) + "[X]\nvolume\n").c_str()), 1);
    EXPECT_EQ(Calc("C1").ownBuyLimit, 150 - 247.5);
}

// Host order: A's money at 0-1 and B's at 2; A's position at 0 and B's at 1-2.
TEST(RowCalc, ExWalksClientsInTurnWithoutFindFirst) {
    World();
    for (double amount : {1000, 2000, 5000})
        fakehost::AddMoneyLimit(Money{"F1", amount < 5000 ? "A" : "B", "MB", 0, 0, amount});
    for (int32_t qty : {1, 2, 3})
        fakehost::AddSecLimit(Position{"F1", qty == 1 ? "A" : "B", "S2", "", 0, 0, qty});
    KRMarginalRow a = fakehost::Row("F1", "A"), b = fakehost::Row("F1", "B");
    ASSERT_TRUE(KRInitMarginalRow(&a) && KRInitMarginalRow(&b));
    uint32_t mi = 0, si = 0;
    ASSERT_TRUE(KRCalcMarginalRowEx(&a, &mi, &si));
    EXPECT_EQ(std::make_tuple(mi, si, a.currentValue), std::make_tuple(2u, 1u, 50.5)); // 30 + 20.5
    ASSERT_TRUE(KRCalcMarginalRowEx(&b, &mi, &si));
    // 50 + 5*20.5
    EXPECT_EQ(std::make_tuple(mi, si, b.currentValue), std::make_tuple(3u, 3u, 152.5));
    EXPECT_TRUE(fakehost::LogLines("findFirst").empty());
    // Record 1 is priced before record 2 is asked for.
    auto at = std::find(fakehost::host().log.begin(), fakehost::host().log.end(), "getSec 2");
    EXPECT_TRUE(at > fakehost::host().log.begin() && at[-1].rfind("paramValue 10 102", 0) == 0);
}

int32_t KR_CALL NoMarginSecs(const KRMarginClassEntry*, uint32_t, uintptr_t) {
    return 0;
}

// Every export that takes a row, on rows of each size: nothing at or past the tag is touched.
// Under interface version 1 the money records are 88 bytes and carry no leverage: it is computed,
// 10 / 5; 300 / 100 is locked; money -12 gives margin level -99 %, so current leverage -1.
TEST(RowCalc, NothingPastTheSizeTagUnderVersion1) {
    World(1);
    fakehost::AddMoneyLimit(Money{"F1", "C1", "MB", 500, 1000, -1200, 0, 300, 100});
    for (uint32_t size : {KR_ROW_SIZE_248, KR_ROW_SIZE_264, KR_ROW_SIZE_272, KR_ROW_SIZE_280}) {
        SCOPED_TRACE(size);
        const KRMarginalRow request = fakehost::Row("F1", "C1", size);
        // One block exactly the tag's size (AddressSanitizer sees reads past it), one with
        // sentinel bytes after it (writes past it show).
        std::vector<uint8_t> exact(size), guarded(size + 64, 0xAB);
        for (uint8_t* p : {exact.data(), guarded.data()}) {
            memcpy(p, &request, size);
            KRMarginalRow* row = reinterpret_cast<KRMarginalRow*>(p);
            uint32_t mi = 0, si = 0, c = 0, s = 0; // start indexes; class and security ids
            KRMarginalActv actv = fakehost::Actv(10, 101);
            // clang-format off
            EXPECT_TRUE(KRInitMarginalRow(row) && KRCalcMarginalRow(row) &&
                KRCalcMarginalRowEx(row, &mi, &si) && KRGetMarginSecs(row, NoMarginSecs, 0) &&
                KRIsMarginSeccode(row, "S1", &c, &s) && KRIsAssetSeccode(row, "S1", &c, &s) &&
                KRInitMarginalActv(row, &actv) && KRCalcMarginalActv(row, &actv, 0.0));
            // clang-format on
        }
        EXPECT_EQ(std::count(guarded.begin() + size, guarded.end(), 0xAB), 64);
        const KRMarginalRow* out = reinterpret_cast<const KRMarginalRow*>(guarded.data());
        EXPECT_TRUE(out->leverage == 2 && out->leverageGiven == 0);
        EXPECT_TRUE(size < KR_ROW_SIZE_264 || out->moneyLocked == 3);
        EXPECT_TRUE(size < KR_ROW_SIZE_272 || out->currentLeverage == -1);
    }
}

// A parameter the host does not know stops the row before any limit is walked, with the outputs
// cleared; once the host knows it, the row of a client without limits has margin level 100 %.
TEST(RowCalc, UnknownParameterClearsTheRowThenNoLimitsRow) {
    World();
    fakehost::host().paramIds.erase("BID");
    KRMarginalRow row = fakehost::Row("F1", "C1");
    ASSERT_EQ(KRInitMarginalRow(&row), 1);
    memset(&row.moneyAvailable, 0x40, sizeof row - F(moneyAvailable)); // no output 0
    EXPECT_EQ(KRCalcMarginalRow(&row), 0);
    EXPECT_EQ(KRGetLastError(), KR_ERR_PARAM_UNKNOWN);
    ExpectFields(row, {}, {}, true);
    EXPECT_TRUE(fakehost::LogLines("findFirst").empty() && fakehost::LogLines("getMoney").empty());
    fakehost::host().paramIds["BID"] = 2;
    EXPECT_EQ(KRCalcMarginalRow(&row), 1);
    ExpectFields(row, {{F(marginLevel), 100.0}}, {}, true);
}

} // namespace
