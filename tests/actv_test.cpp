// The actv: preparation flags, the walk over one security's limits, both regimes and the
// common end. Expected quantities are worked out by hand from the figures next to them.
#include <gtest/gtest.h>
#include <string.h>

#include <memory>
#include <utility>
#include <vector>

#include "fake_host.h"

using namespace fakehost;

namespace {

// Registry indexes follow registration: SBER 0 .. MTSS 4. SBER: margin + asset, lot 8.
// GAZP: margin + rest-short. LKOH: asset (its rest-short entry must be ignored). VTBR: neither.
// MTSS: margin only.
const char* const kCodes[] = {"SBER", "GAZP", "LKOH", "VTBR", "MTSS"};
const char* const kLists = "[LIMITALLOWEDSECURITY]\nTQBR=SBER,GAZP,MTSS\n"
                           "[ASSETSECURITIES]\nTQBR=SBER,LKOH\n"
                           "[RESTSHORTSECURITIES]\nTQBR=GAZP,LKOH\n";

class ActvTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(1, Install(2));
        ASSERT_EQ(
            1, AddClass(
                   10, "TQBR",
                   {{101, "SBER", 8}, {102, "GAZP"}, {103, "LKOH"}, {104, "VTBR"}, {105, "MTSS"}}));
        const std::string l(kLists), lag2 = l + "[GENERAL]\nCREDITLAG=2\n";
        ASSERT_EQ(1, KRSetDliniFile("PL", (l + "[ADDREPOTRDACC]\nEQ=REPO1\n"
                                               "[CLC5_MARGIN]\nTQBR=VTBR\n")
                                              .c_str()));
        ASSERT_EQ(1, KRSetDliniFile("L2", lag2.c_str()));
        ASSERT_EQ(1, KRSetDliniFile("L2C", (lag2 + "CHECKMAXCREDIT=1\n").c_str()));
        ASSERT_EQ(1, KRSetDliniFile("L2R", (lag2 + "RSTRNMBUY=1\n[CLC9_MARGIN]\nRSTRNMBUY=0\n"
                                                   "[CLC8_MARGIN]\nIGNORERESTSHORTSECURITY=1\n")
                                               .c_str()));
        // offer, bid, prev, last
        for (const auto& p : std::vector<std::vector<double>>{{101, 50, 32, 45, 48},
                                                              {102, 20, 16, 18, 18},
                                                              {103, 25, 20, 22, 21},
                                                              {104, 20, 16, 18, 18},
                                                              {105, 20, 16, 18, 17}})
            SetPrices(10, uint32_t(p[0]), p[1], p[2], p[3], p[4]);
    }
};

KRMarginalRow Bound(const char* firm, const char* client = "C1") {
    KRMarginalRow row = Row(firm, client);
    EXPECT_EQ(1, KRInitMarginalRow(&row));
    return row;
}

KRMarginalActv Prepared(const KRMarginalRow* row, uint32_t secId) {
    KRMarginalActv a = Actv(10, secId);
    EXPECT_EQ(1, KRInitMarginalActv(row, &a));
    return a;
}

KRMarginalActv Calc(const KRMarginalRow* row, uint32_t secId, double price = 0.0) {
    KRMarginalActv a = Prepared(row, secId);
    EXPECT_EQ(1, KRCalcMarginalActv(row, &a, price));
    return a;
}

void Hold(const char* firm, uint32_t secId, int32_t current, int32_t lockedSell = 0,
          int32_t lockedBuy = 0, int32_t openLimit = 0, int32_t currentLimit = 0,
          const char* acc = "A1", const char* client = "C1") {
    AddSecLimit({firm, client, kCodes[secId - 101], acc, 0, openLimit, current, currentLimit,
                 lockedSell, lockedBuy});
}

using Set = std::vector<std::pair<double KRMarginalRow::*, double>>;
using R = KRMarginalRow;

// One lag-2 calculation on a row held in a block of exactly `size` bytes, so ASan catches a
// read past the row's tag. maxBuy/maxSell of -1 are not checked.
struct Case {
    const char *firm, *client;
    uint32_t secId;
    int32_t current, lockedSell, lockedBuy, openLimit;
    uint32_t size;
    double price;
    Set set;
    int32_t maxBuy, maxSell;
    uint8_t leverageGiven = 0;
};

void Check(const char* what, const Set& base, const std::vector<Case>& cases) {
    for (size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(::testing::Message() << what << " case " << i);
        host().secLimits.clear();
        Hold(c.firm, c.secId, c.current, c.lockedSell, c.lockedBuy, c.openLimit, 0, "A1", c.client);
        KRMarginalRow full = Bound(c.firm, c.client);
        for (const auto& s : base)
            full.*s.first = s.second;
        for (const auto& s : c.set)
            full.*s.first = s.second;
        full.leverageGiven = c.leverageGiven;
        full.size = c.size;
        std::unique_ptr<uint8_t[]> block(new uint8_t[c.size]);
        memcpy(block.get(), &full, c.size);
        KRMarginalActv a = Calc(reinterpret_cast<KRMarginalRow*>(block.get()), c.secId, c.price);
        EXPECT_EQ(c.current, a.position);
        EXPECT_EQ(c.maxBuy < 0 ? a.maxBuy : c.maxBuy, a.maxBuy);
        EXPECT_EQ(c.maxSell < 0 ? a.maxSell : c.maxSell, a.maxSell);
    }
}

} // namespace

TEST_F(ActvTest, PreparationFlagsFollowTheBoundRecordsLists) {
    // client, then secIndex, classIndex, margin, asset, rest-short and the untouched
    // reserved and padding; C5 has a margin list of its own.
    const std::vector<std::pair<const char*, std::vector<int64_t>>> cases{
        {"C1", {0, 0, 1, 1, 0}}, {"C1", {1, 0, 1, 0, 1}}, {"C1", {2, 0, 0, 1, 0}},
        {"C1", {3, 0, 0, 0, 0}}, {"C1", {4, 0, 1, 0, 0}}, {"C5", {3, 0, 1, 0, 0}},
        {"C5", {0, 0, 0, 1, 0}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.first << " " << c.second[0]);
        KRMarginalRow row = Bound("PL", c.first);
        KRMarginalActv a = Actv(10, uint32_t(101 + c.second[0]));
        a.reserved = 0xA1B2C3D4;
        a.padding = 0x5A;
        ASSERT_EQ(1, KRInitMarginalActv(&row, &a));
        std::vector<int64_t> want = c.second;
        want.insert(want.end(), {0xA1B2C3D4, 0x5A});
        EXPECT_EQ(want, (std::vector<int64_t>{a.secIndex, a.classIndex, a.isMargin, a.isAsset,
                                              a.isRestShort, a.reserved, a.padding}));
    }
}

TEST_F(ActvTest, PlainRegimeReadsPurchasingPowerFromTheRow) {
    Hold("PL", 101, 20, /*lockedSell*/ 4, 0, /*openLimit*/ 5, /*currentLimit*/ 3);
    Hold("PL", 102, 2, /*lockedSell*/ 5);
    KRMarginalRow row = Bound("PL");
    row.marginBuyLimit = 16000;
    row.ownBuyLimit = 3000;
    KRMarginalActv a = Calc(&row, 101);
    EXPECT_EQ(18, a.position);                   // 3 - 5 + 20
    EXPECT_EQ(40, a.maxBuy);                     // margin: 16000 / (8 * 50 offer)
    EXPECT_EQ(19, a.maxSell);                    // 3 - 4 + 20
    EXPECT_EQ(6912.0, a.value);                  // 18 * 48 last * 8
    EXPECT_EQ(6480.0, a.prevValue);              // 18 * 45 prev * 8
    EXPECT_EQ(25, Calc(&row, 101, 80.0).maxBuy); // 16000 / (8 * 80)
    EXPECT_EQ(120, Calc(&row, 103).maxBuy);      // not margin: 3000 / 25
    row.marginBuyLimit = -500;
    KRMarginalActv gz = Calc(&row, 102);
    EXPECT_EQ(0, gz.maxBuy);  // negative purchasing power
    EXPECT_EQ(0, gz.maxSell); // 0 - 5 + 2 < 0
}

TEST_F(ActvTest, WalkCountsOnlyKindOneAccountsAndStopsAtAnotherSecurity) {
    Hold("PL", 101, 1000, 0, 0, 0, 0, "A1", "C2"); // other client, before the start
    Hold("PL", 101, 10);
    Hold("PL", 101, 100, 0, 0, 0, 0, "REPO1"); // kind 3: skipped
    Hold("PL", 101, 7, 0, 0, 0, 0, "a2");      // unlisted: kind 1
    Hold("PL", 102, 10000);                    // another security ends the walk
    Hold("PL", 101, 50000);
    KRMarginalRow row = Bound("PL");
    EXPECT_EQ(17, Calc(&row, 101).position); // 10 + 7
}

TEST_F(ActvTest, Lag2BuyFollowsTheListCaseWithAndWithoutPrice) {
    // SBER (margin + asset, lot 8, offer 50, bid 32), short 4, lockedBuy 1: U = -3;
    // X = 6400 / 8 + 4 * 50 = 1000, maxBuy = (1000 + 3 * 50) / P. Sale: 2560 / (max(P, 32) * 8).
    Check("margin+asset",
          {{&R::marginBuyLimit, 6400},
           {&R::shortValue, -2000},
           {&R::moneyAvailable, 1000},
           {&R::buyCapacityCopy, 2560}},
          {
              {"L2", "C1", 101, -4, 0, 1, 0, 280, 0.0, {}, 23, 10},  // 1150/50; 2560/256
              {"L2", "C1", 101, -4, 0, 1, 0, 280, -5.0, {}, 23, 10}, // no price
              {"L2", "C1", 101, -4, 0, 1, 0, 280, 64.0, {}, 17, 5},  // 1150/64; 2560/512
              {"L2", "C1", 101, -4, 0, 1, 0, 280, 16.0, {}, 71, 10}, // V stays at the bid
          });
    Check("asset", {{&R::assetBuyLimit, 1000}},
          {
              {"L2", "C1", 103, -10, 0, 3, 0, 280, 0.0, {}, 7, 0}, // buys back U = -7 only
              {"L2", "C1", 103, 5, 2, 0, 0, 280, 0.0, {}, 40, 3},  // 1000 / 25; 5 - 2
          });
    // VTBR (offer 20) under RSTRNMBUY on a row of 264+ bytes: min(2000, 900 - 100) / 20 = 40,
    // else 2000 / 20 = 100. equity -1 would give 0 through the short's buy-back.
    Check("restricted",
          {{&R::ownBuyLimit, 2000},
           {&R::moneyCurrent, 900},
           {&R::moneyLocked, 100},
           {&R::equity, -1}},
          {
              {"L2R", "C1", 104, 0, 0, 0, 0, 264, 0.0, {}, 40, -1},
              {"L2R", "C1", 104, 0, 0, 0, 0, 248, 0.0, {}, 100, -1}, // no moneyCurrent
              {"L2", "C1", 104, 0, 0, 0, 0, 280, 0.0, {}, 100, -1},  // not restricted
              {"L2R", "C9", 104, 0, 0, 0, 0, 280, 0.0, {}, 100, -1}, // the client's 0 wins
              {"L2R", "C8", 104, 0, 0, 0, 0, 280, 0.0, {}, 40, -1},  // the firm's 1 inherited
              {"L2R", "C1", 104, -6, 0, 2, 0, 280, 0.0, {}, 4, -1},  // short: U = -4
          });
    // GAZP (margin + rest-short, offer 20), short 10, lockedBuy 3: U = -7, y = -140. Working
    // copy: moneyAvailable 860, shortValue 0, settlementDebt -140. A = 0 >= 0,
    // F = 860 - 100 = 760, G = E + 140; maxBuy = min(F, G) / 20 + 7. Sale: trunc(F) = 0.
    Check("working copy",
          {{&R::moneyAvailable, 1000},
           {&R::shortValue, -140},
           {&R::buyCommitment, 100},
           {&R::ownBuyLimit, 300}},
          {
              {"L2", "C1", 102, -10, 0, 3, 0, 280, 0.0, {{&R::equity, 500}}, 39, 0}, // G 640
              {"L2", "C1", 102, -10, 0, 3, 0, 280, 0.0, {{&R::equity, 800}}, 45, 0}, // F 760
              {"L2", "C1", 102, -10, 0, 3, 0, 248, 0.0, {{&R::equity, 800}}, 45, 0},
              // u = 0: y = 0, the copy is the row itself and its A = -140 < 0 gives 0
              {"L2", "C1", 102, -10, 0, 12, 0, 280, 0.0, {{&R::equity, 800}}, 0, 0},
              {"L2", "C1", 102, 3, 0, 0, 0, 280, 0.0, {}, 15, -1}, // long: 300 / 20
          });
}

// SBER short 4, lockedBuy 1 gives 23 uncapped; the cap is (500 - 20 + 160) / (8 * 50) = 1,
// then the cover floor raises it to 3. GAZP short 10, lockedBuy 3 under a cap of 1 / 20 = 0
// still buys its 7.
TEST_F(ActvTest, Lag2CreditCapsAndFloors) {
    const Set zero{{&R::moneyCurrent, 0}, {&R::moneyLocked, 0}, {&R::openLimitTotal, 1}};
    Check("buy",
          {{&R::marginBuyLimit, 6400},
           {&R::moneyCurrent, 500},
           {&R::moneyLocked, 20},
           {&R::openLimitTotal, 160}},
          {
              {"L2C", "C1", 101, -4, 0, 1, 0, 264, 0.0, {}, 3, -1},
              {"L2C", "C1", 101, -4, 0, 1, 0, 248, 0.0, {}, 23, -1},    // no moneyCurrent
              {"L2C", "C1", 101, -4, 0, 1, 0, 280, 0.0, {}, 23, -1, 1}, // leverage given
              {"L2C", "C1", 101, -4, 0, 1, 0, 280, 0.0, {{&R::openLimitTotal, 0}}, 23, -1},
              {"L2", "C1", 101, -4, 0, 1, 0, 280, 0.0, {}, 23, -1}, // switch off
              {"L2C", "C1", 102, -10, 0, 3, 0, 280, 0.0, zero, 7, -1},
          });
    // SBER long 30, lockedSell 8: F = 22, uncapped 2560 / 256 + 22 = 32. The cap is
    // openLimit - lockedSell + current; the floor keeps F.
    Check("sale", {{&R::buyCapacityCopy, 2560}},
          {
              {"L2C", "C1", 101, 30, 8, 0, 5, 280, 0.0, {}, -1, 27}, // 5 - 8 + 30
              {"L2C", "C1", 101, 30, 8, 0, 0, 280, 0.0, {}, -1, 32}, // no opening limit
              {"L2C", "C1", 101, 30, 8, 0, -3, 280, 0.0, {}, -1, 32},
              {"L2", "C1", 101, 30, 8, 0, 5, 280, 0.0, {}, -1, 32}, // switch off
              // 1 - 0 + INT32_MAX wraps; the floor still gives F
              {"L2C",
               "C1",
               101,
               INT32_MAX,
               0,
               0,
               1,
               280,
               0.0,
               {{&R::buyCapacityCopy, 0}},
               -1,
               INT32_MAX},
          });
}

TEST_F(ActvTest, Lag2SaleTakesOneOfTwoBranches) {
    // An asset or a short: t = |min(shortValue + moneyAvailable, 0)| / V capped at the
    // position; q = 512 / V + t.
    Check("asset or short", {{&R::shortValue, -1000}, {&R::buyCapacityCopy, 512}},
          {
              {"L2", "C1", 101, 4, 0, 0, 0, 280, 0.0, {}, -1, 9},   // V 256: 2 + 3.90625 + 4
              {"L2", "C1", 101, 2, 0, 0, 0, 280, 0.0, {}, -1, 6},   // t capped: 2 + 2 + 2
              {"L2", "C1", 105, -3, 0, 0, 0, 280, 0.0, {}, -1, 32}, // V 16: 512 / 16
          });
    // MTSS long 10, lockedSell 2 (margin only, bid 16): F = 8; the buying capacity at the bid:
    // y7 = 10 * 16 - 100 = 60; x12 = 400 + 60 - 100 = 360; x13 = -40; z' = -40 - 20 = -60;
    // t = 40 / 16 = 2.5; maxSell = trunc(t + g / V + F), g = w - 100 - uncovered - 60.
    Check("long",
          {{&R::moneyAvailable, -100},
           {&R::longValue, 400},
           {&R::shortValue, -100},
           {&R::leverage, 2},
           {&R::buyCommitment, 20},
           {&R::buyCapacityCopy, 1e6},
           {&R::uncoveredSellValue, 10},
           {&R::equitySurplus, -50}},
          {
              // w = 2 * (360 - 50) = 620, g = 450: 2.5 + 450 / 16 + 8
              {"L2", "C1", 105, 10, 2, 0, 0, 280, 0.0, {}, -1, 38},
              // no equitySurplus: w = 720, g = 550: 2.5 + 550 / 16 + 8
              {"L2", "C1", 105, 10, 2, 0, 0, 272, 0.0, {}, -1, 44},
              // 360 - 500 < 0 with x12 >= 0: w = 0, g = -100 + 200 - 60 = 40: 2.5 + 2.5 + 8
              {"L2",
               "C1",
               105,
               10,
               2,
               0,
               0,
               280,
               0.0,
               {{&R::equitySurplus, -500}, {&R::uncoveredSellValue, -200}},
               -1,
               13},
              // price 32: V = 32 but y7 still at the bid: 1.25 + 450 / 32 + 8
              {"L2", "C1", 105, 10, 2, 0, 0, 280, 32.0, {}, -1, 23},
          });
}

TEST_F(ActvTest, ValuesOfAZeroPositionAndOfTheShortRecord) {
    Hold("PL", 101, 20);
    KRMarginalRow row = Bound("PL");
    KRMarginalActv zero = Prepared(&row, 105);
    zero.value = zero.prevValue = 7.0;
    host().log.clear();
    ASSERT_EQ(1, KRCalcMarginalActv(&row, &zero, 0.0));
    EXPECT_EQ(0.0, zero.value);
    EXPECT_EQ(0.0, zero.prevValue);
    EXPECT_EQ(4u, LogLines("paramValue").size()); // the four price reads, no position price

    // The 48-byte record ends before prevValue: the bytes after it are the host's.
    uint8_t block[56];
    memset(block, 0xCD, sizeof block);
    KRMarginalActv a = Actv(10, 101, KR_ACTV_SIZE_48);
    memcpy(block, &a, 48);
    ASSERT_EQ(1, KRInitMarginalActv(&row, reinterpret_cast<KRMarginalActv*>(block)));
    ASSERT_EQ(1, KRCalcMarginalActv(&row, reinterpret_cast<KRMarginalActv*>(block), 0.0));
    EXPECT_EQ(7680.0, reinterpret_cast<KRMarginalActv*>(block)->value); // 20 * 48 * 8
    EXPECT_EQ(std::vector<uint8_t>(8, 0xCD), std::vector<uint8_t>(block + 48, block + 56));
}

TEST_F(ActvTest, FailuresLeaveTheRecordUnchanged) {
    SetPrices(10, 103, 5, 5, 0, 0); // no previous and no last price
    Hold("PL", 101, 20);
    KRMarginalRow row = Bound("PL");
    auto fails = [&](KRMarginalActv a, int32_t error) {
        const KRMarginalActv before = a;
        EXPECT_EQ(0, KRCalcMarginalActv(&row, &a, 0.0));
        EXPECT_EQ(error, KRGetLastError());
        EXPECT_EQ(0, memcmp(&before, &a, sizeof a));
    };
    // Parameter ids are resolved once, so this comes first; no limit is asked.
    const auto ids = host().paramIds;
    host().paramIds.erase("BID");
    host().log.clear();
    fails(Prepared(&row, 101), KR_ERR_PARAM_UNKNOWN);
    EXPECT_TRUE(LogLines("findFirstSec").empty());
    host().paramIds = ids;

    KRMarginalActv unknown = Actv(10, 999), before = unknown;
    EXPECT_EQ(0, KRInitMarginalActv(&row, &unknown));
    EXPECT_EQ(KR_ERR_NOT_FOUND, KRGetLastError());
    EXPECT_EQ(0, memcmp(&before, &unknown, sizeof before));
    fails(Prepared(&row, 103), KR_ERR_NO_PRICE);
    KRMarginalActv beyond = Prepared(&row, 101);
    beyond.secIndex = 5;
    fails(beyond, KR_ERR_NOT_FOUND);
    beyond.secIndex = -1;
    fails(beyond, KR_ERR_NOT_FOUND);

    // After a cleanup the old record's index 4 is past the one security registered again.
    KRMarginalActv old = Prepared(&row, 105);
    ASSERT_EQ(1, KRCleanup());
    ASSERT_EQ(1, AddClass(10, "TQBR", {{101, "SBER", 8}}));
    ASSERT_EQ(1, KRSetDliniFile("PL", kLists));
    row = Bound("PL");
    fails(old, KR_ERR_NOT_FOUND);
}
