// The actv: preparation flags, the walk over one security's limits, both regimes and the
// common end. Row figures are written by hand after binding, so every expected quantity can be
// worked out from the figures next to it.
#include <gtest/gtest.h>
#include <string.h>

#include <memory>

#include "fake_host.h"

using namespace fakehost;

namespace {

// Registration order gives the registry indexes SBER 0, GAZP 1, LKOH 2, VTBR 3, MTSS 4.
// SBER: margin + asset, lot 8. GAZP: margin + rest-short. LKOH: asset only. VTBR: neither.
// MTSS: margin only.
const char* const kLists = "[LIMITALLOWEDSECURITY]\nTQBR=SBER,GAZP,MTSS\n"
                           "[ASSETSECURITIES]\nTQBR=SBER,LKOH\n"
                           "[RESTSHORTSECURITIES]\nTQBR=GAZP\n";

class ActvTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(1, Install(2));
        ASSERT_EQ(
            1, AddClass(
                   10, "TQBR",
                   {{101, "SBER", 8}, {102, "GAZP"}, {103, "LKOH"}, {104, "VTBR"}, {105, "MTSS"}}));
        std::string l(kLists);
        ASSERT_EQ(1,
                  KRSetDliniFile(
                      "PL", (l + "[ADDREPOTRDACC]\nEQ=REPO1\n[CLC5_MARGIN]\nTQBR=VTBR\n").c_str()));
        ASSERT_EQ(1, KRSetDliniFile("L2", (l + "[GENERAL]\nCREDITLAG=2\n").c_str()));
        ASSERT_EQ(
            1, KRSetDliniFile("L2C", (l + "[GENERAL]\nCREDITLAG=2\nCHECKMAXCREDIT=1\n").c_str()));
        ASSERT_EQ(1, KRSetDliniFile("L2R", (l + "[GENERAL]\nCREDITLAG=2\nRSTRNMBUY=1\n"
                                                "[CLC9_MARGIN]\nRSTRNMBUY=0\n"
                                                "[CLC8_MARGIN]\nIGNORERESTSHORTSECURITY=1\n")
                                               .c_str()));
    }
};

KRMarginalRow Bound(const char* firm, const char* client = "C1") {
    KRMarginalRow row = Row(firm, client);
    EXPECT_EQ(1, KRInitMarginalRow(&row));
    return row;
}

// The row in a block of exactly `size` bytes, so a read past the tag is caught by ASan.
struct RowBlock {
    std::unique_ptr<uint8_t[]> bytes;
    const KRMarginalRow* get() const { return reinterpret_cast<KRMarginalRow*>(bytes.get()); }
};
RowBlock Exact(KRMarginalRow row, uint32_t size) {
    row.size = size;
    RowBlock b{std::unique_ptr<uint8_t[]>(new uint8_t[size])};
    memcpy(b.bytes.get(), &row, size);
    return b;
}

KRMarginalActv Prepared(const KRMarginalRow* row, uint32_t secId) {
    KRMarginalActv a = Actv(10, secId);
    EXPECT_EQ(1, KRInitMarginalActv(row, &a));
    return a;
}

void Hold(const char* firm, const char* sec, int32_t current, int32_t lockedSell = 0,
          int32_t lockedBuy = 0, int32_t openLimit = 0, int32_t currentLimit = 0,
          const char* acc = "A1") {
    Position p;
    p.firm = firm;
    p.client = "C1";
    p.secCode = sec;
    p.trdAcc = acc;
    p.openLimit = openLimit;
    p.currentBalance = current;
    p.currentLimit = currentLimit;
    p.lockedSell = lockedSell;
    p.lockedBuy = lockedBuy;
    AddSecLimit(p);
}

struct Result {
    int32_t rc, position, maxBuy, maxSell;
};
Result Calc(const KRMarginalRow* row, uint32_t secId, double price = 0.0) {
    KRMarginalActv a = Prepared(row, secId);
    int32_t rc = KRCalcMarginalActv(row, &a, price);
    return {rc, a.position, a.maxBuy, a.maxSell};
}

} // namespace

TEST_F(ActvTest, PreparationFlagsFollowTheBoundRecordsLists) {
    struct Case {
        const char* client;
        uint32_t secId;
        int32_t secIndex;
        int8_t margin, asset, restShort;
    } cases[] = {
        {"C1", 101, 0, 1, 1, 0}, // SBER
        {"C1", 102, 1, 1, 0, 1}, // GAZP: margin and rest-short
        {"C1", 103, 2, 0, 1, 0}, // LKOH
        {"C1", 104, 3, 0, 0, 0}, // VTBR: rest-short is only asked for margin securities
        {"C1", 105, 4, 1, 0, 0}, // MTSS
        {"C5", 104, 3, 1, 0, 0}, // C5's own margin list, the firm's asset and rest-short lists
        {"C5", 101, 0, 0, 1, 0},
    };
    for (const Case& c : cases) {
        for (uint32_t size : {KR_ACTV_SIZE_56, KR_ACTV_SIZE_48}) {
            KRMarginalRow row = Bound("PL", c.client);
            KRMarginalActv a = Actv(10, c.secId, size);
            a.reserved = 0xA1B2C3D4;
            a.padding = 0x5A;
            ASSERT_EQ(1, KRInitMarginalActv(&row, &a)) << c.secId;
            EXPECT_EQ(KR_ERR_NONE, KRGetLastError());
            EXPECT_EQ(c.secIndex, a.secIndex);
            EXPECT_EQ(0u, a.classIndex);
            EXPECT_EQ(c.margin, a.isMargin) << c.secId;
            EXPECT_EQ(c.asset, a.isAsset) << c.secId;
            EXPECT_EQ(c.restShort, a.isRestShort) << c.secId;
            EXPECT_EQ(0xA1B2C3D4u, a.reserved);
            EXPECT_EQ(0x5A, a.padding);
        }
    }
}

TEST_F(ActvTest, PlainRegimeReadsPurchasingPowerFromTheRow) {
    SetPrices(10, 101, 100, 90, 95, 100); // SBER, lot 8
    SetPrices(10, 103, 50, 40, 45, 48);   // LKOH, lot 1
    Hold("PL", "SBER", 20, /*lockedSell*/ 4, 0, /*openLimit*/ 5, /*currentLimit*/ 3);
    Hold("PL", "LKOH", 0, 0, 0, 0, 0);
    KRMarginalRow row = Bound("PL");
    row.marginBuyLimit = 16000;
    row.ownBuyLimit = 3000;

    KRMarginalActv a = Prepared(&row, 101);
    ASSERT_EQ(1, KRCalcMarginalActv(&row, &a, 0.0));
    EXPECT_EQ(18, a.position);       // 3 - 5 + 20
    EXPECT_EQ(20, a.maxBuy);         // margin: 16000 / (8 * 100 offer)
    EXPECT_EQ(19, a.maxSell);        // 3 - 4 + 20
    EXPECT_EQ(14400.0, a.value);     // (18 * 100 last) * 8
    EXPECT_EQ(13680.0, a.prevValue); // (18 * 95 prev) * 8

    ASSERT_EQ(1, KRCalcMarginalActv(&row, &a, 80.0));
    EXPECT_EQ(25, a.maxBuy);  // 16000 / (8 * 80)
    EXPECT_EQ(19, a.maxSell); // no price in the sale figure

    Result lk = Calc(&row, 103);
    EXPECT_EQ(60, lk.maxBuy); // not margin: 3000 / (1 * 50)

    row.marginBuyLimit = -500; // negative purchasing power clamps to 0
    EXPECT_EQ(0, Calc(&row, 101).maxBuy);

    SetPrices(10, 102, 10, 9, 9, 9);
    Hold("PL", "GAZP", 2, /*lockedSell*/ 5);
    Result gz = Calc(&row, 102);
    EXPECT_EQ(2, gz.position);
    EXPECT_EQ(0, gz.maxSell); // 0 - 5 + 2 = -3 clamps to 0
}

TEST_F(ActvTest, WalkCountsOnlyKindOneAccountsAndStopsAtAnotherSecurity) {
    SetPrices(10, 101, 100, 90, 95, 100);
    Position other;
    other.firm = "PL";
    other.client = "C2";
    other.secCode = "SBER";
    other.currentBalance = 1000;
    AddSecLimit(other);                           // 0: other client, before the start
    Hold("PL", "SBER", 10, 0, 0, 0, 0, "A1");     // 1
    Hold("PL", "SBER", 100, 0, 0, 0, 0, "REPO1"); // 2: kind 3, skipped
    Hold("PL", "SBER", 7, 0, 0, 0, 0, "a2");      // 3: unlisted, kind 1
    Hold("PL", "GAZP", 10000, 0, 0, 0, 0, "A1");  // 4: another security ends the walk
    Hold("PL", "SBER", 50000, 0, 0, 0, 0, "A1");  // 5: never reached
    KRMarginalRow row = Bound("PL");
    host().log.clear();
    Result r = Calc(&row, 101);
    ASSERT_EQ(1, r.rc);
    EXPECT_EQ(17, r.position); // 10 + 7
    EXPECT_EQ(std::vector<std::string>{"findFirstSec PL C1 SBER"}, LogLines("findFirstSec"));
    EXPECT_EQ((std::vector<std::string>{"getSec 1", "getSec 2", "getSec 3", "getSec 4"}),
              LogLines("getSec"));
}

// Lag-2, A4 case 1 (SBER, margin and asset, lot 8), offer 50, bid 32.
// short 4, lockedBuy 1: u = min(-4 + 1, 0) = -3.
// X = 6400 / 8 - (-4 * 50) = 1000; maxBuy = trunc((1000 - (-3 * 50)) / P) = trunc(1150 / P).
// Sale (A9 first branch): V = max(P, 32) * 8, v = -2000 + 1000 < 0 but cap = max(-4, 0) = 0,
// so t = 0; q = 2560 / V; F = 0.
TEST_F(ActvTest, Lag2MarginAssetSecurityWithAndWithoutPrice) {
    SetPrices(10, 101, 50, 32, 45, 48);
    Hold("L2", "SBER", -4, 0, 1);
    KRMarginalRow row = Bound("L2");
    ASSERT_EQ(1, row.creditLag2);
    row.marginBuyLimit = 6400;
    row.shortValue = -2000;
    row.moneyAvailable = 1000;
    row.buyCapacityCopy = 2560;

    struct Case {
        double price;
        int32_t maxBuy, maxSell;
    } cases[] = {
        {0.0, 23, 10},  // 1150 / 50 = 23; 2560 / 256 = 10
        {-5.0, 23, 10}, // a negative price is no price
        {64.0, 17, 5},  // 1150 / 64 = 17.97; V = 64 * 8 = 512: 2560 / 512 = 5
        {16.0, 71, 10}, // 1150 / 16 = 71.875; V stays at bid * lot = 256
    };
    for (const Case& c : cases) {
        KRMarginalActv a = Prepared(&row, 101);
        ASSERT_EQ(1, KRCalcMarginalActv(&row, &a, c.price));
        EXPECT_EQ(-4, a.position);
        EXPECT_EQ(c.maxBuy, a.maxBuy) << c.price;
        EXPECT_EQ(c.maxSell, a.maxSell) << c.price;
        EXPECT_EQ(-1536.0, a.value);     // (-4 * 48 last) * 8
        EXPECT_EQ(-1440.0, a.prevValue); // (-4 * 45 prev) * 8
    }
}

TEST_F(ActvTest, Lag2AssetOnlySecurity) {
    SetPrices(10, 103, 25, 20, 22, 21);
    KRMarginalRow row = Bound("L2");
    row.assetBuyLimit = 1000;

    // Short 10 with lockedBuy 3: U = -7, so exactly the uncovered short may be bought.
    Hold("L2", "LKOH", -10, 0, 3);
    Result shortPos = Calc(&row, 103);
    EXPECT_EQ(7, shortPos.maxBuy);
    EXPECT_EQ(0, shortPos.maxSell); // not margin: trunc(F), F = max(-10 - 0, 0)

    host().secLimits.clear();
    Hold("L2", "LKOH", 5, /*lockedSell*/ 2);
    Result longPos = Calc(&row, 103);
    EXPECT_EQ(40, longPos.maxBuy); // 1000 / (1 * 25)
    EXPECT_EQ(3, longPos.maxSell); // F = 5 - 2
}

// Case 3 needs RSTRNMBUY and a row of at least 264 bytes; otherwise case 4 applies.
// VTBR, offer 20. Case 3: B = min(ownBuyLimit 2000, 900 - 100) = 800 -> 800 / 20 = 40.
// Case 4 (long): 2000 / 20 = 100.
TEST_F(ActvTest, Lag2RestrictedBuyDependsOnSwitchAndRowSize) {
    SetPrices(10, 104, 20, 16, 18, 18);
    struct Case {
        const char* firm;
        const char* client;
        uint32_t size;
        int32_t current, lockedBuy, maxBuy;
    } cases[] = {
        {"L2R", "C1", 280, 0, 0, 40},  {"L2R", "C1", 264, 0, 0, 40},
        {"L2R", "C1", 248, 0, 0, 100}, // no moneyCurrent in the row: case 4
        {"L2", "C1", 280, 0, 0, 100},  // buying not restricted
        {"L2R", "C9", 280, 0, 0, 100}, // the client's RSTRNMBUY=0 overrides the firm's
        {"L2R", "C8", 280, 0, 0, 40},  // a client without the key takes the firm's
        {"L2R", "C1", 280, -6, 2, 4},  // a short under case 3 buys back U = -4 only
    };
    for (const Case& c : cases) {
        host().secLimits.clear();
        Position p;
        p.firm = c.firm;
        p.client = c.client;
        p.secCode = "VTBR";
        p.currentBalance = c.current;
        p.lockedBuy = c.lockedBuy;
        AddSecLimit(p);
        KRMarginalRow full = Bound(c.firm, c.client);
        full.ownBuyLimit = 2000;
        full.moneyCurrent = 900;
        full.moneyLocked = 100;
        full.equity = -1; // Lag2BuyLimit would answer 0 for the short
        RowBlock row = Exact(full, c.size);
        Result r = Calc(row.get(), 104);
        ASSERT_EQ(1, r.rc);
        EXPECT_EQ(c.maxBuy, r.maxBuy) << c.firm << " " << c.client << " " << c.size;
    }
}

// Case 4, GAZP (margin only, lot 1), offer 20, leverage 0, short 10 with lockedBuy 3:
// U = -7, y = (-7 * 20) * 1 = -140. Working copy: moneyAvailable 1000 - 140 = 860,
// shortValue -140 + 140 = 0, settlementDebt 0 - 140 = -140.
// Lag2BuyLimit (K = 0): B = (860 + 0) - 100 = 760, A = 0 - 0 >= 0, so F = 760;
// G = (E - 0 - 0) - (-140) = E + 140. maxBuy = trunc(min(F, G) / 20 + 7).
TEST_F(ActvTest, Lag2MarginOnlyShortIsBoughtBackOnAWorkingCopy) {
    SetPrices(10, 102, 20, 16, 18, 18);
    struct Case {
        uint32_t size;
        int32_t lockedBuy;
        double equity;
        int32_t maxBuy;
    } cases[] = {
        {280, 3, 500, 39}, // G = 640 < 760: 640 / 20 + 7
        {280, 3, 800, 45}, // F = 760 < 940: 760 / 20 + 7
        {248, 3, 800, 45}, // the copy needs only the first 248 bytes
        {280, 3, 0, 7},    // E = 0: limit 0, the short alone
        {280, 12, 800, 0}, // u = 0: y = 0, the copy is the row, A = -140 < 0 gives 0
    };
    for (const Case& c : cases) {
        host().secLimits.clear();
        Hold("L2", "GAZP", -10, 0, c.lockedBuy);
        KRMarginalRow full = Bound("L2");
        full.moneyAvailable = 1000;
        full.shortValue = -140;
        full.buyCommitment = 100;
        full.equity = c.equity;
        full.ownBuyLimit = 1e9; // not used for a short
        RowBlock row = Exact(full, c.size);
        Result r = Calc(row.get(), 102);
        ASSERT_EQ(1, r.rc);
        EXPECT_EQ(-10, r.position);
        EXPECT_EQ(c.maxBuy, r.maxBuy) << c.size << " " << c.equity << " " << c.lockedBuy;
        EXPECT_EQ(0, r.maxSell); // rest-short: trunc(F), F = 0
    }

    host().secLimits.clear();
    Hold("L2", "GAZP", 3);
    KRMarginalRow row = Bound("L2");
    row.ownBuyLimit = 300;
    EXPECT_EQ(15, Calc(&row, 102).maxBuy); // long: 300 / (1 * 20)
}

// A5: h = trunc(((500 - 20) + 160) / (lot * 50)); then A6 floors at trunc(-U).
// SBER (lot 8) short 4, lockedBuy 1: uncapped 23 (see above), h = trunc(640 / 400) = 1, U = -3.
TEST_F(ActvTest, Lag2CreditCapOnBuyingAndCoverFloor) {
    SetPrices(10, 101, 50, 32, 45, 48);
    struct Case {
        const char* firm;
        uint32_t size;
        uint8_t leverageGiven;
        double openLimitTotal;
        int32_t maxBuy;
    } cases[] = {
        {"L2C", 280, 0, 160, 3},                            // min(23, 1) = 1, floor 3
        {"L2C", 264, 0, 160, 3},  {"L2C", 248, 0, 160, 23}, // no moneyCurrent: no cap
        {"L2C", 280, 1, 160, 23},                           // leverage given by the host
        {"L2C", 280, 0, 0, 23},                             // no opening limit
        {"L2", 280, 0, 160, 23},                            // CHECKMAXCREDIT off
    };
    for (const Case& c : cases) {
        host().secLimits.clear();
        Hold(c.firm, "SBER", -4, 0, 1);
        KRMarginalRow full = Bound(c.firm);
        full.marginBuyLimit = 6400;
        full.leverageGiven = c.leverageGiven;
        full.openLimitTotal = c.openLimitTotal;
        full.moneyCurrent = 500;
        full.moneyLocked = 20;
        RowBlock row = Exact(full, c.size);
        Result r = Calc(row.get(), 101);
        ASSERT_EQ(1, r.rc);
        EXPECT_EQ(c.maxBuy, r.maxBuy)
            << c.firm << " " << c.size << " " << int(c.leverageGiven) << " " << c.openLimitTotal;
    }
}

// A short of 10 with lockedBuy 3 buys at least 7 even when the cap allows nothing:
// GAZP (offer 20), E = 0 gives 7 in A4, h = trunc((0 + 1) / 20) = 0, A6 restores 7.
TEST_F(ActvTest, Lag2CoverFloorSurvivesAZeroCap) {
    SetPrices(10, 102, 20, 16, 18, 18);
    Hold("L2C", "GAZP", -10, 0, 3);
    KRMarginalRow row = Bound("L2C");
    row.openLimitTotal = 1;
    EXPECT_EQ(7, Calc(&row, 102).maxBuy);
}

// MTSS (margin only, lot 1), bid 16, long 10 with lockedSell 2: F = 8; the buying capacity is
// worked out again at the bid: y7 = (10 * 16) * 1 + (-100) = 60; x12 = (400 + 60) - 100 = 360;
// x13 = 60 - 100 = -40; z' = -40 - 20 = -60.
TEST_F(ActvTest, Lag2SaleOfALongOutsideTheAssetList) {
    SetPrices(10, 105, 20, 16, 18, 17);
    Hold("L2", "MTSS", 10, 2);
    struct Case {
        uint32_t size;
        double equitySurplus, uncoveredSell, price;
        int32_t maxSell;
    } cases[] = {
        // k = 1/16. w = 2 * (360 - 50) = 620; g = ((620 - 100) - 10) - 60 = 450;
        // t = |-40 / 16| = 2.5 < 10; q = 2.5 + 450 / 16 = 30.625; trunc(38.625).
        {280, -50, 10, 0.0, 38},
        // Shorter rows have no equitySurplus: w = 720, g = 550, q = 2.5 + 34.375; trunc(44.875).
        {272, -50, 10, 0.0, 44},
        {264, -50, 10, 0.0, 44},
        // w0 = 360 - 500 < 0 while x12 >= 0: w0 = 0, so g = ((0 - 100) + 200) - 60 = 40;
        // q = 2.5 + 40 / 16 = 5; trunc(13).
        {280, -500, -200, 0.0, 13},
        // A price above the bid: k = 1/32 but y7 still at the bid;
        // q = 1.25 + 450 / 32 = 15.3125; trunc(23.3125).
        {280, -50, 10, 32.0, 23},
    };
    for (const Case& c : cases) {
        KRMarginalRow full = Bound("L2");
        full.moneyAvailable = -100;
        full.longValue = 400;
        full.shortValue = -100;
        full.leverage = 2;
        full.buyCommitment = 20;
        full.uncoveredSellValue = c.uncoveredSell;
        full.buyCapacityCopy = 1e6; // the first branch's figure; unused here
        full.equitySurplus = c.equitySurplus;
        RowBlock row = Exact(full, c.size);
        Result r = Calc(row.get(), 105, c.price);
        ASSERT_EQ(1, r.rc);
        EXPECT_EQ(10, r.position);
        EXPECT_EQ(c.maxSell, r.maxSell) << c.size << " " << c.equitySurplus << " " << c.price;
    }
}

// The first branch: t = |min(shortValue + moneyAvailable, 0) / V| capped at the position.
TEST_F(ActvTest, Lag2SaleOfAnAssetOrAShortCapsTheShortTerm) {
    SetPrices(10, 101, 50, 32, 45, 48);
    SetPrices(10, 105, 20, 16, 18, 17);
    struct Case {
        const char* sec;
        uint32_t secId;
        int32_t current, maxSell;
    } cases[] = {
        // SBER, V = 32 * 8 = 256: t = 1000 / 256 = 3.90625 < 4;
        // q = 512 / 256 + t = 5.90625; trunc(5.90625 + 4).
        {"SBER", 101, 4, 9},
        {"SBER", 101, 2, 6}, // t capped to 2; q = 2 + 2 = 4; trunc(4 + 2)
        // MTSS is no asset, but a short takes this branch too: V = 16, t capped to 0,
        // q = 512 / 16 = 32.
        {"MTSS", 105, -3, 32},
    };
    for (const Case& c : cases) {
        host().secLimits.clear();
        Hold("L2", c.sec, c.current);
        KRMarginalRow row = Bound("L2");
        row.shortValue = -1000;
        row.buyCapacityCopy = 512;
        EXPECT_EQ(c.maxSell, Calc(&row, c.secId).maxSell) << c.sec << " " << c.current;
    }
}

// SBER long 30, lockedSell 8: F = 22, A9 gives trunc(2560 / 256 + 22) = 32.
// A10 caps at openLimit - lockedSell + currentBalance; A11 keeps at least F.
TEST_F(ActvTest, Lag2CreditCapOnSellingAndSaleFloor) {
    SetPrices(10, 101, 50, 32, 45, 48);
    struct Case {
        const char* firm;
        int32_t openLimit, maxSell;
    } cases[] = {
        {"L2C", 5, 27},  // min(32, 5 - 8 + 30)
        {"L2C", 0, 32},  // no opening limit: no cap
        {"L2", 5, 32},   // CHECKMAXCREDIT off
        {"L2C", -3, 32}, // a negative limit is no limit
    };
    for (const Case& c : cases) {
        host().secLimits.clear();
        Hold(c.firm, "SBER", 30, 8, 0, c.openLimit);
        KRMarginalRow row = Bound(c.firm);
        row.buyCapacityCopy = 2560;
        Result r = Calc(&row, 101);
        EXPECT_EQ(c.maxSell, r.maxSell) << c.firm << " " << c.openLimit;
        EXPECT_GE(r.maxSell, 22);
    }

    // The cap wraps in 32 bits (1 - 0 + 2147483647); the sale floor still gives F.
    host().secLimits.clear();
    Hold("L2C", "SBER", INT32_MAX, 0, 0, 1);
    KRMarginalRow row = Bound("L2C");
    EXPECT_EQ(INT32_MAX, Calc(&row, 101).maxSell);
}

TEST_F(ActvTest, ZeroPositionValuesAreZeroWithoutAskingThePositionPrice) {
    SetPrices(10, 101, 50, 32, 45, 48);
    Hold("L2", "SBER", 0);
    KRMarginalRow row = Bound("L2");
    KRMarginalActv a = Prepared(&row, 101);
    a.value = 7.0;
    a.prevValue = 9.0;
    host().log.clear();
    ASSERT_EQ(1, KRCalcMarginalActv(&row, &a, 0.0));
    EXPECT_EQ(0, a.position);
    EXPECT_EQ(0.0, a.value);
    EXPECT_EQ(0.0, a.prevValue);
    EXPECT_EQ(4u, LogLines("paramValue").size()); // only SecurityPrices' four reads
}

TEST_F(ActvTest, ShortRecordKeepsTheHostBytesAfterItsEnd) {
    SetPrices(10, 101, 100, 90, 95, 100);
    Hold("PL", "SBER", 20);
    KRMarginalRow row = Bound("PL");
    KRMarginalActv a = Prepared(&row, 101);
    uint8_t block[56];
    memcpy(block, &a, 48);
    memset(block + 48, 0xCD, 8);
    KRMarginalActv* p = reinterpret_cast<KRMarginalActv*>(block);
    p->size = KR_ACTV_SIZE_48;
    ASSERT_EQ(1, KRCalcMarginalActv(&row, p, 0.0));
    EXPECT_EQ(20, p->position);
    EXPECT_EQ(16000.0, p->value); // (20 * 100) * 8
    for (int i = 48; i < 56; ++i)
        EXPECT_EQ(0xCD, block[i]) << i;
}

TEST_F(ActvTest, FailuresLeaveTheRecordUnchanged) {
    SetPrices(10, 101, 100, 90, 95, 100);
    SetPrices(10, 103, 5, 5, 0, 0); // no previous and no last price
    Hold("PL", "SBER", 20);
    KRMarginalRow row = Bound("PL");

    KRMarginalActv unknown = Prepared(&row, 101);
    unknown.secId = 999;
    KRMarginalActv before = unknown;
    EXPECT_EQ(0, KRInitMarginalActv(&row, &unknown));
    EXPECT_EQ(KR_ERR_NOT_FOUND, KRGetLastError());
    EXPECT_EQ(0, memcmp(&before, &unknown, sizeof before));

    KRMarginalActv noPrice = Prepared(&row, 103);
    before = noPrice;
    EXPECT_EQ(0, KRCalcMarginalActv(&row, &noPrice, 0.0));
    EXPECT_EQ(KR_ERR_NO_PRICE, KRGetLastError());
    EXPECT_EQ(0, memcmp(&before, &noPrice, sizeof before));

    KRMarginalActv beyond = Prepared(&row, 101);
    beyond.secIndex = 5;
    before = beyond;
    EXPECT_EQ(0, KRCalcMarginalActv(&row, &beyond, 0.0));
    EXPECT_EQ(KR_ERR_NOT_FOUND, KRGetLastError());
    EXPECT_EQ(0, memcmp(&before, &beyond, sizeof before));
    beyond.secIndex = -1;
    EXPECT_EQ(0, KRCalcMarginalActv(&row, &beyond, 0.0));
    EXPECT_EQ(KR_ERR_NOT_FOUND, KRGetLastError());
}

TEST_F(ActvTest, UnknownParameterFailsBeforeAnyLimitIsAsked) {
    host().paramIds.erase("BID");
    Hold("PL", "SBER", 20);
    KRMarginalRow row = Bound("PL");
    KRMarginalActv a = Prepared(&row, 101);
    KRMarginalActv before = a;
    host().log.clear();
    EXPECT_EQ(0, KRCalcMarginalActv(&row, &a, 0.0));
    EXPECT_EQ(KR_ERR_PARAM_UNKNOWN, KRGetLastError());
    EXPECT_EQ(0, memcmp(&before, &a, sizeof before));
    EXPECT_TRUE(LogLines("findFirstSec").empty());
    EXPECT_TRUE(LogLines("paramId PREVPRICE").empty());
}

TEST_F(ActvTest, OldRecordAfterCleanupIsNotFound) {
    KRMarginalRow row = Bound("PL");
    KRMarginalActv a = Prepared(&row, 105); // MTSS, index 4
    ASSERT_EQ(1, KRCleanup());
    ASSERT_EQ(1, AddClass(10, "TQBR", {{101, "SBER", 8}}));
    ASSERT_EQ(1, KRSetDliniFile("PL", kLists));
    SetPrices(10, 101, 100, 90, 95, 100);
    row = Bound("PL");
    KRMarginalActv before = a;
    EXPECT_EQ(0, KRCalcMarginalActv(&row, &a, 0.0));
    EXPECT_EQ(KR_ERR_NOT_FOUND, KRGetLastError());
    EXPECT_EQ(0, memcmp(&before, &a, sizeof before));
}
