// Prices, position valuation and the whole marginal row, through the exports.
#include <gtest/gtest.h>

#include <stddef.h>
#include <string.h>

#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "fake_host.h"
#include "frame/host.h"
#include "registry/registry.h"
#include "row/row.h"
#include "settings/settings.h"

namespace {

using fakehost::Money;
using fakehost::Position;

// Classes: TQBR (S1 asset+margin lot 10, S2 asset, S3 margin, S4 margin without prices),
// UNL (valueUnlisted, U1), OTH (O1, not valued). Board MB counts fully, AL is an additional
// board, ZZ is not listed; ACC2 is an additional-limit trade account.
const char* kSettings = "[LIMITALLOWEDSECURITY]\nTQBR=S1,S3,S4\n"
                        "[ASSETSECURITIES]\nTQBR=S1,S2\n"
                        "[SECURITYWEIGHT]\nS1=0.8,1.5\nU1=0.5,2\n"
                        "[CLIENTLAG]\nL2=2\n"
                        "[ADDLIMITBOARDS]\nMB=AL\n"
                        "[ADDLIMITTRDACC]\nMB=ACC2\n";

void World(int32_t version = 2, const std::string& extra = "") {
    ASSERT_EQ(fakehost::Install(version), 1);
    fakehost::AddClass(10, "TQBR", {{101, "S1", 10}, {102, "S2"}, {103, "S3"}, {104, "S4"}});
    fakehost::AddClass(20, "UNL", {{201, "U1"}}, 0, 1);
    fakehost::AddClass(30, "OTH", {{301, "O1"}});
    ASSERT_EQ(KRSetDliniFile("F1", (kSettings + extra).c_str()), 1);
    fakehost::SetPrices(10, 101, 5.5, 5.0, 4.0, 5.2);
    fakehost::SetPrices(10, 102, 21.0, 20.0, 19.0, 20.5);
    fakehost::SetPrices(10, 103, 3.0, 2.5, 2.0, 2.8);
    fakehost::SetPrices(20, 201, 2.0, 1.9, 1.8, 0.0);
    fakehost::SetPrices(30, 301, 1.0, 1.0, 1.0, 1.0);
}

KRMarginalRow Calc(const char* client, uint32_t size = KR_ROW_SIZE_280) {
    KRMarginalRow row = fakehost::Row("F1", client, size);
    EXPECT_EQ(KRInitMarginalRow(&row), 1);
    EXPECT_EQ(KRCalcMarginalRow(&row), 1);
    EXPECT_EQ(KRGetLastError(), KR_ERR_NONE);
    return row;
}

const kesvar::FirmSettings* Firm() {
    return kesvar::gState.firmSettingsTable[kesvar::FindFirmSettings("F1")];
}

struct Field {
    const char* name;
    size_t offset;
};
#define ROW_FIELD(f)                                                                               \
    { #f, offsetof(KRMarginalRow, f) }
const Field kValuationFields[] = {
    ROW_FIELD(openValue),          ROW_FIELD(currentValue),        ROW_FIELD(longValue),
    ROW_FIELD(longValueMargin),    ROW_FIELD(longValueAsset),      ROW_FIELD(shortValue),
    ROW_FIELD(buyCommitment),      ROW_FIELD(buyCommitmentMargin), ROW_FIELD(buyCommitmentAsset),
    ROW_FIELD(uncoveredSellValue), ROW_FIELD(openCollateral),      ROW_FIELD(leverage),
    ROW_FIELD(equitySurplus),
};

double Get(const KRMarginalRow& row, size_t offset) {
    double d;
    memcpy(&d, reinterpret_cast<const uint8_t*>(&row) + offset, sizeof d);
    return d;
}

TEST(RowPrices, FallbacksAndLotMultiplier) {
    struct Case {
        double offer, bid, prev, last;
        bool ok;
        double eOffer, eBid, eLast, ePrev;
    };
    const Case cases[] = {
        {0, 0, 101.5, 0, true, 101.5, 101.5, 0, 101.5},
        {0, 7, 0, 99, true, 99, 7, 99, 99},
        {10, 9, 8, 0, true, 10, 9, 0, 8},
        {5, 6, 0, 0, false, 5, 6, 0, 0}, // no last or previous price: raw values stay
    };
    World();
    ASSERT_TRUE(kesvar::ResolveParamIds());
    const int32_t s1 = kesvar::FindSecurityById(10, 101);
    for (const Case& c : cases) {
        fakehost::SetPrices(10, 101, c.offer, c.bid, c.prev, c.last);
        double o, b, l, p, lot = -1;
        EXPECT_EQ(kesvar::SecurityPrices(Firm(), s1, &o, &b, &l, &p, &lot), c.ok);
        EXPECT_EQ(o, c.eOffer);
        EXPECT_EQ(b, c.eBid);
        EXPECT_EQ(l, c.eLast);
        EXPECT_EQ(p, c.ePrev);
        EXPECT_EQ(lot, c.ok ? 10.0 : -1.0); // limits in lots by default: the lot size
    }
    ASSERT_EQ(KRSetDliniFile("F1", "[GENERAL]\nLIMITSINLOTS=0\n"), 1);
    EXPECT_EQ(kesvar::lotMultiplier(Firm(), s1), 1.0);
}

TEST(RowPrices, PositionPriceSides) {
    struct Case {
        double offer, bid, prev, last;
        int32_t qty;
        bool ok;
        double price;
    };
    const Case cases[] = {
        {50, 0, 40, 0, 5, true, 40},  // a long takes the bid side, missing: previous price
        {50, 0, 40, 0, 0, true, 50},  // zero quantity takes the offer
        {50, 30, 40, 0, 5, true, 30}, //
        {50, 30, 40, 45, -5, true, 45}, {0, 0, 0, 0, -1, false, 0},
    };
    World();
    ASSERT_TRUE(kesvar::ResolveParamIds());
    const int32_t s1 = kesvar::FindSecurityById(10, 101);
    for (const Case& c : cases) {
        fakehost::SetPrices(10, 101, c.offer, c.bid, c.prev, c.last);
        double price = -1;
        EXPECT_EQ(kesvar::PositionPrice(s1, c.qty, &price), c.ok);
        EXPECT_EQ(price, c.price);
    }
}

TEST(RowPrices, FaceValueWithAccruedInterest) {
    ASSERT_EQ(fakehost::Install(2), 1);
    fakehost::AddClass(40, "BOND", {{401, "B1", 1, 1000.0}}, KR_CLASS_FACE_VALUE);
    ASSERT_EQ(KRSetDliniFile("F1", ""), 1);
    ASSERT_TRUE(kesvar::ResolveParamIds());
    const int32_t b1 = kesvar::FindSecurityById(40, 401);
    fakehost::SetPrices(40, 401, 99.0, 98.5, 98.0, 0.0, 12.3);
    EXPECT_EQ(kesvar::FullPrice(b1, 98.5), 12.3 + ((1000.0 * 98.5) * 0.01)); // 997.3

    double o, b, l, p, lot;
    ASSERT_TRUE(kesvar::SecurityPrices(Firm(), b1, &o, &b, &l, &p, &lot));
    EXPECT_EQ(o, 12.3 + ((1000.0 * 99.0) * 0.01));
    EXPECT_EQ(b, 12.3 + ((1000.0 * 98.5) * 0.01));
    EXPECT_EQ(l, 12.3 + ((1000.0 * 0.0) * 0.01)); // the last price is never replaced
    EXPECT_EQ(p, 12.3 + ((1000.0 * 98.0) * 0.01));
}

// One position valued in a row of its own. Money: one MB record with openLimit 1000.00 and
// nothing else, so leverage = 1000 / collateralOpen shows that sum, openCollateral shows
// collateralOpenAll and equitySurplus = (longNow + shortNow) - (longValue + shortValue).
struct ValuationCase {
    const char* name;
    const char* client;
    Position pos;
    std::map<std::string, double> expected; // every other valuation field is 0
};

TEST(RowValuation, Classification) {
    const double L1 = 1000.0;
    const ValuationCase cases[] = {
        {"asset and margin long",
         "C1",
         {"F1", "C1", "S1", "A1", 8, 0, 10, 0},
         {{"openValue", 8 * 4.0 * 10},
          {"currentValue", 10 * 5.2 * 10},
          {"longValue", 10 * 5.0 * 10 * 0.8},
          {"longValueMargin", 10 * 5.0 * 10 * 0.8},
          {"openCollateral", 8 * 4.0 * 10 * 0.8},
          {"leverage", L1 / (8 * 4.0 * 10 * 0.8)}}},
        {"same on an additional-limit account",
         "C1",
         {"F1", "C1", "S1", "acc2", 8, 0, 10, 0},
         {{"openValue", 8 * 4.0 * 10},
          {"currentValue", 10 * 5.2 * 10},
          {"openCollateral", 8 * 4.0 * 10 * 0.8},
          {"equitySurplus", 10 * 5.0 * 10 * 0.8}}}, // longNow only
        {"asset only long with locked buy value",
         "C1",
         {"F1", "C1", "S2", "", 0, 0, 10, 0, 0, 0, 250},
         {{"currentValue", 10 * 20.5},
          {"longValue", 10 * 20.0},
          {"longValueAsset", 10 * 20.0},
          {"buyCommitment", 250 * 0.01},
          {"buyCommitmentAsset", 250 * 0.01}}},
        {"margin only long",
         "C1",
         {"F1", "C1", "S3", "", 5, 0, 10, 0},
         {{"openValue", 5 * 2.0}, {"currentValue", 10 * 2.8}}},
        {"unlisted short valued at the offer, LAST missing",
         "C1",
         {"F1", "C1", "U1", "", 0, 0, -50, 0, 0, 0, 250},
         {{"currentValue", -50 * 2.0}, {"shortValue", -50 * 2.0 * 1 * 2.0}}},
        {"class without valueUnlisted", "C1", {"F1", "C1", "O1", "", 5, 0, 10, 0}, {}},
        {"no previous or last price", "C1", {"F1", "C1", "S4", "", 5, 0, 10, 0}, {}},
        {"credit lag 1: current - openLimit + currentLimit",
         "C1",
         {"F1", "C1", "S2", "", 0, 3, 10, 1},
         {{"currentValue", 8 * 20.5}, {"longValue", 8 * 20.0}, {"longValueAsset", 8 * 20.0}}},
        {"credit lag 2: current balance alone",
         "L2",
         {"F1", "L2", "S2", "", 0, 3, 10, 1},
         {{"currentValue", 10 * 20.5}, {"longValue", 10 * 20.0}, {"longValueAsset", 10 * 20.0}}},
        {"sell orders beyond a long",
         "C1",
         {"F1", "C1", "S2", "", 0, 0, 20, 0, 30},
         {{"currentValue", 20 * 20.5},
          {"longValue", 20 * 20.0},
          {"longValueAsset", 20 * 20.0},
          {"uncoveredSellValue", (30 - 20) * 21.0}}},
        {"sell orders with a short: buy-back is no commitment",
         "C1",
         {"F1", "C1", "S2", "", 0, 0, -5, 0, 30},
         {{"currentValue", -5 * 20.5},
          {"shortValue", -5 * 21.0},
          {"uncoveredSellValue", 30 * 21.0}}},
        {"sell orders covered",
         "C1",
         {"F1", "C1", "S2", "", 0, 0, 40, 0, 30},
         {{"currentValue", 40 * 20.5}, {"longValue", 40 * 20.0}, {"longValueAsset", 40 * 20.0}}},
        {"opening short weighted by wS",
         "C1",
         {"F1", "C1", "S1", "", -4, 0, 0, 0},
         {{"openValue", -4 * 4.0 * 10},
          {"openCollateral", -4 * 4.0 * 10 * 1.5}}}, // T < 0: leverage 0
    };
    World();
    fakehost::AddMoneyLimit(Money{"F1", "C1", "MB", 0, 100000});
    fakehost::AddMoneyLimit(Money{"F1", "L2", "MB", 0, 100000});
    for (const ValuationCase& c : cases) {
        SCOPED_TRACE(c.name);
        fakehost::host().secLimits.clear();
        fakehost::AddSecLimit(c.pos);
        KRMarginalRow row = Calc(c.client);
        for (const Field& f : kValuationFields) {
            auto it = c.expected.find(f.name);
            EXPECT_EQ(Get(row, f.offset), it == c.expected.end() ? 0.0 : it->second) << f.name;
        }
        EXPECT_EQ(row.openLimitTotal, L1);
    }
}

// Client C1 (credit lag 1): MB counts fully, AL (kind 2) only in the M sums, ZZ not at all.
// S1 long 10 (open 8) on an ordinary account, S1 short 3 on another.
TEST(RowCalc, CreditLag1WholeRow) {
    World();
    fakehost::AddMoneyLimit(Money{"F1", "C1", "MB", 10000, 20000, 12000, 3000, 1000, 500});
    fakehost::AddMoneyLimit(Money{"F1", "C1", "AL", 2000, 0, 4000, 1000, 0, 100});
    fakehost::AddMoneyLimit(Money{"F1", "C1", "ZZ", 99999, 99999, 99999, 99999, 99999, 99999});
    fakehost::AddSecLimit(Position{"F1", "C1", "S1", "", 8, 0, 10, 0});
    fakehost::AddSecLimit(Position{"F1", "C1", "S1", "A2", 0, 0, -3, 0});
    KRMarginalRow row = Calc("C1");

    const double OM = (10000.0 + 2000) * 0.01, OL = (20000.0 + 0) * 0.01;
    const double CM = (12000.0 + 4000) * 0.01, LK = (1000.0 + 0) * 0.01;
    const double LV = (500.0 + 100) * 0.01, OM13 = 10000 * 0.01, CM13 = 12000 * 0.01;
    const double lng = 10 * 5.0 * 10 * 0.8;  // 400
    const double shrt = -3 * 5.5 * 10 * 1.5; // -247.5
    const double coll = 8 * 4.0 * 10 * 0.8;  // 256
    const double lev = OL / (OM + coll);
    const double equity = (shrt + lng) + (CM13 - LV); // 266.5
    const double X = ((CM - LV) + lng) + shrt;        // 306.5
    const double Z = (shrt + (CM13 - LV)) - 0.0;      // -133.5
    const double ml = (((shrt + lng) + CM13) / (lng + CM13)) * 100.0;

    EXPECT_EQ(row.leverageGiven, 0);
    EXPECT_EQ(row.openValue, OM + 8 * 4.0 * 10);
    EXPECT_EQ(row.currentValue, (CM + 10 * 5.2 * 10) + -3 * 5.2 * 10);
    EXPECT_EQ(row.openCollateral, OM13 + coll);
    EXPECT_EQ(row.leverage, lev);
    EXPECT_EQ(row.openLimitTotal, OL);
    EXPECT_EQ(row.moneyAvailable, CM13 - LV);
    EXPECT_EQ(row.longValue, lng);
    EXPECT_EQ(row.longValueMargin, lng);
    EXPECT_EQ(row.shortValue, shrt);
    EXPECT_EQ(row.equity, equity);
    EXPECT_EQ(row.creditCapacity, lev * X);
    EXPECT_EQ(row.buyCapacity, ((lev * X + shrt) - 0.0) + Z);
    EXPECT_EQ(row.buyCapacityCopy, row.buyCapacity);
    EXPECT_EQ(row.marginLevel, ml);
    EXPECT_EQ(row.lockedValueTotal, LV);
    EXPECT_EQ(row.marginBuyLimit, ((3000.0 + 1000 + 16000) * 0.01) - LK); // 190
    EXPECT_EQ(row.ownBuyLimit, CM - LK);                                  // 150
    EXPECT_EQ(row.assetBuyLimit, 0.0);
    EXPECT_EQ(row.settlementDebt, 0.0);
    EXPECT_EQ(row.buyCommitment, 0.0);
    EXPECT_EQ(row.uncoveredSellValue, 0.0);
    EXPECT_EQ(row.reserved1, 0.0);
    EXPECT_EQ(row.reserved2, 0.0);
    EXPECT_EQ(row.moneyCurrent, CM13);
    EXPECT_EQ(row.moneyLocked, LK);
    EXPECT_EQ(row.currentLeverage, (100.0 / ml) - 1.0);
    EXPECT_EQ(row.equitySurplus, X - equity); // 40
}

// Client L2 (credit lag 2): S1 long 10 (open 8), S2 short 3 with 5 sold on an additional-limit
// account, so y = equitySurplus is negative.
TEST(RowCalc, CreditLag2WholeRow) {
    World();
    fakehost::AddMoneyLimit(Money{"F1", "L2", "MB", 10000, 20000, 60000});
    fakehost::AddSecLimit(Position{"F1", "L2", "S1", "", 8, 5, 10, 0});
    fakehost::AddSecLimit(Position{"F1", "L2", "S2", "ACC2", 0, 0, -3, 0, 5});
    KRMarginalRow row = Calc("L2");
    ASSERT_EQ(row.creditLag2, 1);

    const double K = (20000 * 0.01) / ((10000 * 0.01) + 8 * 4.0 * 10 * 0.8); // 200 / 356
    const double lng = 10 * 5.0 * 10 * 0.8;                                  // openLimit ignored
    const double US = 5 * 21.0;                                              // every account
    const double equity = (0.0 + lng) + 60000 * 0.01;                        // 1000
    const double X = ((60000 * 0.01 - 0.0) + lng) + -3 * 21.0;               // 937
    const double D = ((US - 0.0) + 0.0) + lng;                               // 505
    const double buyCapacity = ((K * X + 0.0) - US) + 0.0;                   // Z = 600 > 0
    EXPECT_EQ(row.equity, equity);
    EXPECT_EQ(row.equitySurplus, X - equity); // -63
    EXPECT_EQ(row.buyCapacity, buyCapacity);
    EXPECT_EQ(row.marginBuyLimit, buyCapacity + 600.0);
    EXPECT_EQ(row.settlementDebt, D);
    EXPECT_EQ(row.assetBuyLimit, ((equity + 0.0) - 0.0) - 0.0); // W = K * 937 - 505 > 0

    // Lag2BuyLimit with y = -63: A = -105, B = 600, s = 937. R2 = min(600, -105/K + 1000 - 63),
    // R3 = (937K + 600 - 105) / (K + 1) ~ 654 (below s); G: t = 937 - 505/K ~ 38.1, R6 ~ 654.
    EXPECT_NEAR(row.ownBuyLimit, (((937 * K) + 600) + -105) / (K + 1.0), 1e-9);
    EXPECT_EQ(row.ownBuyLimit, kesvar::Lag2BuyLimit(&row, row.equitySurplus));
}

TEST(RowCalc, NoLimits) {
    World();
    KRMarginalRow row = Calc("C1");
    for (size_t off = offsetof(KRMarginalRow, moneyAvailable); off < sizeof row; off += 8) {
        double expected = 0.0;
        if (off == offsetof(KRMarginalRow, marginLevel)) expected = 100.0;
        EXPECT_EQ(Get(row, off), expected) << "offset " << off;
    }
}

// MB: openBalance 5.00, openLimit 10.00, so the computed leverage is 10 / 5 = 2. The AL record's
// 500 % comes first but is of kind 2 and never counts.
void CheckLeverage(int32_t version, int32_t leveragePercent, double leverage, int given) {
    World(version);
    Money al{"F1", "C1", "AL"};
    al.leveragePercent = 500;
    fakehost::AddMoneyLimit(al);
    Money mb{"F1", "C1", "MB", 500, 1000};
    mb.leveragePercent = leveragePercent;
    fakehost::AddMoneyLimit(mb);
    KRMarginalRow row = Calc("C1");
    EXPECT_EQ(row.leverage, leverage);
    EXPECT_EQ(row.leverageGiven, given);
    EXPECT_EQ(row.openLimitTotal, 1000 * 0.01);
}

TEST(RowCalc, Version1AlwaysComputesLeverage) {
    CheckLeverage(1, 300, 2.0, 0);
}
TEST(RowCalc, Version2TakesLeveragePercent) {
    CheckLeverage(2, 300, 300 * 0.01, 1);
}
TEST(RowCalc, Version2NegativePercentComputes) {
    CheckLeverage(2, -1, 2.0, 0);
}

TEST(RowCalc, MarginLevelAndCreditCorners) {
    struct Case {
        const char* name;
        double currentBalance;
        const char* account; // of an S1 short of 3, or null for none
        double equity, creditCapacity, marginLevel, currentLeverage, equitySurplus;
    };
    const double shrt = -3 * 5.5 * 10 * 1.5; // -247.5
    // Money: openBalance 5, openLimit 10 -> leverage 2 (no opening positions).
    const Case cases[] = {
        // No positions, money -10: V = -10 and longValue + G = 0 -> -99 %, not -100.
        {"negative money", -1000, nullptr, -10, 2 * -10.0, -99.0, -1.0, 0},
        // Short on a counting account: equity < 0, so X = 10 - 247.5 stays negative.
        {"short counted", 1000, "", shrt + 10, 2 * ((10 + 0.0) + shrt), ((shrt + 10) / 10) * 100.0,
         -1.0, 0},
        // Short on ACC2: equity 10 >= 0 clamps X to 0; equitySurplus keeps X before the clamp.
        {"short on kind 2", 1000, "ACC2", 10, 0, (10 / 10.0) * 100.0, (100.0 / 100.0) - 1.0,
         ((10 + 0.0) + shrt) - 10},
    };
    World();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fakehost::host().moneyLimits.clear();
        fakehost::host().secLimits.clear();
        fakehost::AddMoneyLimit(Money{"F1", "C1", "MB", 500, 1000, c.currentBalance});
        if (c.account) fakehost::AddSecLimit(Position{"F1", "C1", "S1", c.account, 0, 0, -3});
        KRMarginalRow row = Calc("C1");
        EXPECT_EQ(row.equity, c.equity);
        EXPECT_EQ(row.creditCapacity, c.creditCapacity);
        EXPECT_EQ(row.marginLevel, c.marginLevel);
        EXPECT_EQ(row.currentLeverage, c.currentLeverage);
        EXPECT_EQ(row.equitySurplus, c.equitySurplus);
    }
}

TEST(RowCalc, VolumeFlagAddsShortValueToOwnBuyLimit) {
    World();
    fakehost::AddMoneyLimit(Money{"F1", "C1", "MB", 0, 0, 100000, 0, 20000});
    fakehost::AddSecLimit(Position{"F1", "C1", "S1", "", 0, 0, -3});
    EXPECT_EQ(Calc("C1").ownBuyLimit, 100000 * 0.01 - 20000 * 0.01); // 800
    // A line beginning with VOLUME (not the first line) sets the flag.
    ASSERT_EQ(KRSetDliniFile("F1", (std::string(kSettings) + "[X]\nvolume\n").c_str()), 1);
    EXPECT_EQ(Calc("C1").ownBuyLimit,
              (100000 * 0.01 - 20000 * 0.01) + -3 * 5.5 * 10 * 1.5); // 800 - 247.5
}

// Host order: A's money at 0-1 and B's at 2; A's position at 0 and B's at 1-2.
TEST(RowCalc, ExWalksClientsInTurnWithoutFindFirst) {
    World();
    fakehost::AddMoneyLimit(Money{"F1", "A", "MB", 0, 0, 1000});
    fakehost::AddMoneyLimit(Money{"F1", "A", "MB", 0, 0, 2000});
    fakehost::AddMoneyLimit(Money{"F1", "B", "MB", 0, 0, 5000});
    fakehost::AddSecLimit(Position{"F1", "A", "S2", "", 0, 0, 1});
    fakehost::AddSecLimit(Position{"F1", "B", "S2", "", 0, 0, 2});
    fakehost::AddSecLimit(Position{"F1", "B", "S2", "", 0, 0, 3});
    KRMarginalRow a = fakehost::Row("F1", "A"), b = fakehost::Row("F1", "B");
    ASSERT_EQ(KRInitMarginalRow(&a), 1);
    ASSERT_EQ(KRInitMarginalRow(&b), 1);
    fakehost::host().log.clear();

    // B's walks starting on A's records find nothing and hand the start back.
    uint32_t mi = 0, si = 0;
    ASSERT_EQ(KRCalcMarginalRowEx(&b, &mi, &si), 1);
    EXPECT_EQ(mi, 0u);
    EXPECT_EQ(si, 0u);
    EXPECT_EQ(b.currentValue, 0.0);

    ASSERT_EQ(KRCalcMarginalRowEx(&a, &mi, &si), 1);
    EXPECT_EQ(mi, 2u);
    EXPECT_EQ(si, 1u);
    EXPECT_EQ(a.currentValue, (1000.0 + 2000) * 0.01 + 1 * 20.5);
    ASSERT_EQ(KRCalcMarginalRowEx(&b, &mi, &si), 1);
    EXPECT_EQ(mi, 3u);
    EXPECT_EQ(si, 3u);
    EXPECT_EQ(b.currentValue, (5000 * 0.01 + 2 * 20.5) + 3 * 20.5);

    EXPECT_TRUE(fakehost::LogLines("findFirst").empty());
    EXPECT_EQ(fakehost::LogLines("getMoney"),
              (std::vector<std::string>{"getMoney 0", "getMoney 0", "getMoney 1", "getMoney 2",
                                        "getMoney 2", "getMoney 3"}));
    EXPECT_EQ(fakehost::LogLines("getSec"),
              (std::vector<std::string>{"getSec 0", "getSec 0", "getSec 1", "getSec 1", "getSec 2",
                                        "getSec 3"}));
    // Record 1 is priced before record 2 is asked for.
    const std::vector<std::string>& log = fakehost::host().log;
    auto at = std::find(log.begin(), log.end(), "getSec 2");
    ASSERT_NE(at, log.end());
    EXPECT_EQ(at[-1].compare(0, 17, "paramValue 10 102"), 0) << at[-1];
}

int32_t KR_CALL NoMarginSecs(const KRMarginClassEntry*, uint32_t, uintptr_t) {
    return 0;
}

// Every export that takes a row, on rows of each size: nothing at or past the tag is touched.
TEST(RowCalc, NothingPastTheSizeTag) {
    World();
    fakehost::AddMoneyLimit(Money{"F1", "C1", "MB", 500, 1000, 1200, 0, 300, 100});
    fakehost::AddSecLimit(Position{"F1", "C1", "S1", "", 8, 0, 10, 0, 4});
    const uint8_t kSentinel = 0xAB;
    for (uint32_t size : {KR_ROW_SIZE_248, KR_ROW_SIZE_264, KR_ROW_SIZE_272, KR_ROW_SIZE_280}) {
        SCOPED_TRACE(size);
        KRMarginalRow full = fakehost::Row("F1", "C1", size);
        // One block exactly the tag's size (AddressSanitizer sees reads past it), one with
        // sentinel bytes after it (writes past it show).
        std::unique_ptr<uint8_t[]> exact(new uint8_t[size]);
        std::vector<uint8_t> guarded(size + 64, kSentinel);
        for (uint8_t* p : {exact.get(), guarded.data()}) {
            memcpy(p, &full, size);
            KRMarginalRow* row = reinterpret_cast<KRMarginalRow*>(p);
            EXPECT_EQ(KRInitMarginalRow(row), 1);
            EXPECT_EQ(KRCalcMarginalRow(row), 1);
            uint32_t mi = 0, si = 0;
            EXPECT_EQ(KRCalcMarginalRowEx(row, &mi, &si), 1);
            uint32_t classId = 0, secId = 0;
            EXPECT_EQ(KRIsMarginSeccode(row, "S1", &classId, &secId), 1);
            EXPECT_EQ(KRIsAssetSeccode(row, "S1", &classId, &secId), 1);
            KRGetMarginSecs(row, NoMarginSecs, 0);
            KRMarginalActv actv = fakehost::Actv(10, 101);
            KRInitMarginalActv(row, &actv);
            KRCalcMarginalActv(row, &actv, 0.0);
        }
        for (size_t i = size; i < guarded.size(); ++i)
            ASSERT_EQ(guarded[i], kSentinel) << "byte " << i;
        KRMarginalRow out;
        memcpy(&out, guarded.data(), size);
        EXPECT_EQ(out.lockedValueTotal, 100 * 0.01);
        if (size >= KR_ROW_SIZE_264) {
            EXPECT_EQ(out.moneyLocked, 300 * 0.01);
        }
        if (size >= KR_ROW_SIZE_272) {
            EXPECT_EQ(out.currentLeverage, (100.0 / out.marginLevel) - 1.0);
        }
    }
}

// A parameter the host does not know stops the row before any limit is asked for, with the
// outputs cleared; once the host knows it, the same row calculates.
TEST(RowCalc, UnknownParameterClearsTheRow) {
    World();
    fakehost::host().paramIds.erase("BID");
    fakehost::AddMoneyLimit(Money{"F1", "C1", "MB", 0, 0, 1000});
    KRMarginalRow row = fakehost::Row("F1", "C1");
    ASSERT_EQ(KRInitMarginalRow(&row), 1);
    row.equity = 5;
    row.equitySurplus = 5;
    fakehost::host().log.clear();
    EXPECT_EQ(KRCalcMarginalRow(&row), 0);
    EXPECT_EQ(KRGetLastError(), KR_ERR_PARAM_UNKNOWN);
    EXPECT_EQ(row.equity, 0.0);
    EXPECT_EQ(row.equitySurplus, 0.0);
    EXPECT_EQ(row.marginLevel, 0.0);
    EXPECT_TRUE(fakehost::LogLines("findFirst").empty());
    EXPECT_TRUE(fakehost::LogLines("getMoney").empty());

    fakehost::host().paramIds["BID"] = 2;
    EXPECT_EQ(KRCalcMarginalRow(&row), 1);
    EXPECT_EQ(row.equity, 1000 * 0.01);
}

} // namespace
