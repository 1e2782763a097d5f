// The actv on the shared scenario: preparation flags, the walk over one security's limits, the
// plain regime, the credit-lag-2 figures and the common end. Rows are the host's records: a
// table sets the figures the actv reads. Expected quantities are worked out by hand next to
// them. Prices: SBER offer 50, bid 32; GAZP, NOPRICE, UNLISTED and OTHER offer 20, bid 16; LKOH
// offer 25, bid 20. Lots where limits are in lots (F1, F4): SBER and GAZP 10, NOPRICE 100, else 1.
#include <gtest/gtest.h>

#include <math.h>
#include <stdio.h>

#include <map>

#include "scenario.h"

using namespace memory_host;

namespace {

class ActvTest : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(1, Install(2));
        ASSERT_TRUE(world::Build());
        host().secLimits.clear();
        // offer, bid, prev, last
        SetPrices(10, 101, 50, 32, 45, 48);
        SetPrices(10, 102, 20, 16, 18, 18);
        SetPrices(10, 103, 25, 20, 22, 21);
        SetPrices(10, 104, 20, 16, 18, 18);
        SetPrices(30, 301, 20, 16, 18, 17);
        SetPrices(40, 401, 20, 16, 18, 18);
    }
};

KRMarginalRow Bound(const std::string& firm, const std::string& client = "C1") {
    KRMarginalRow row = Row(firm, client);
    EXPECT_EQ(1, KRInitMarginalRow(&row));
    return row;
}

// The actv of `secId` prepared for the row and, unless `calc` is false, calculated at `price`.
KRMarginalActv Calc(const KRMarginalRow* row, uint32_t secId, double price = 0, bool calc = true) {
    KRMarginalActv a = Actv(secId / 100 * 10, secId);
    EXPECT_EQ(1, KRInitMarginalActv(row, &a));
    EXPECT_EQ(1, calc ? KRCalcMarginalActv(row, &a, price) : 1);
    return a;
}

// Limits `l`: current, lockedSell, lockedBuy, openLimit, currentLimit.
void Hold(const std::string& firm, const std::string& client, uint32_t secId,
          std::vector<int32_t> l, const char* acc = "A1") {
    l.resize(5);
    for (const world::SecRef& s : world::Securities())
        if (s.secId == secId)
            AddSecLimit({firm, client, s.code, acc, 0, l[3], l[0], l[4], l[1], l[2]});
}

// Writes the figures named in `figures` into a row, as a host holding them would: "equity=500
// size=248 leverageGiven=1" (the size tag and leverageGiven as integers).
void SetFigures(KRMarginalRow& row, const std::string& figures) {
    // clang-format off
#define FIELD(name) {#name, &KRMarginalRow::name}
    static const std::map<std::string, double KRMarginalRow::*> fields = {FIELD(moneyAvailable),
        FIELD(leverage), FIELD(equity), FIELD(openLimitTotal), FIELD(shortValue), FIELD(longValue),
        FIELD(longValueAsset), FIELD(buyCommitment), FIELD(buyCommitmentAsset), FIELD(ownBuyLimit),
        FIELD(uncoveredSellValue), FIELD(marginBuyLimit), FIELD(buyCapacityCopy), FIELD(assetBuyLimit),
        FIELD(settlementDebt), FIELD(moneyCurrent), FIELD(moneyLocked), FIELD(equitySurplus)};
    // clang-format on
#undef FIELD
    char name[32];
    double value;
    for (int at = 0, n = 0; sscanf(figures.c_str() + at, " %31[^=]=%lf%n", name, &value, &n) == 2;
         at += n) {
        const std::string f = name;
        if (f == "size") row.size = uint32_t(value);
        if (f == "leverageGiven") row.leverageGiven = uint8_t(value);
        if (f != "size" && f != "leverageGiven") row.*fields.at(f) = value; // throws on a typo
    }
}

// One lag-2 calculation on a bound row holding the figures of the table and of the case, in a
// block of exactly its size, so ASan catches a read past the row's tag. maxBuy/maxSell of -1
// are not checked.
struct Case {
    const char* who; // firm/client
    uint32_t secId;
    std::vector<int32_t> limits; // as Hold's
    double price;
    std::string figures;
    int32_t maxBuy, maxSell;
};

void Check(const char* what, const std::string& figures, const std::vector<Case>& cases) {
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << what << ": " << c.who << " " << c.secId << " "
                                        << testing::PrintToString(c.limits) << " " << c.figures);
        host().secLimits.clear();
        const std::string firm(c.who, 2), client(c.who + 3);
        Hold(firm, client, c.secId, c.limits);
        KRMarginalRow full = Bound(firm, client);
        ASSERT_EQ(1, full.creditLag2);
        SetFigures(full, figures + " " + c.figures);
        std::vector<uint8_t> block(full.size);
        memcpy(block.data(), &full, full.size);
        KRMarginalActv a = Calc(reinterpret_cast<KRMarginalRow*>(block.data()), c.secId, c.price);
        EXPECT_EQ(c.limits[0], a.position);
        EXPECT_EQ(c.maxBuy < 0 ? a.maxBuy : c.maxBuy, a.maxBuy);
        EXPECT_EQ(c.maxSell < 0 ? a.maxSell : c.maxSell, a.maxSell);
    }
}

} // namespace

// secIndex, classIndex and the margin, asset and rest-short flags of the bound record (F1's or
// its client VIP's own lists); the reserved field and the padding are left alone.
TEST_F(ActvTest, PreparationFlagsFollowTheBoundRecordsLists) {
    // clang-format off
    const struct { const char *firm, *client; uint32_t secId; std::vector<int64_t> want; } cases[] = {
        {"F1", "C1", 101, {0, 0, 1, 1, 0}}, {"F1", "C1", 102, {1, 0, 0, 1, 0}}, {"F1", "C1", 103, {2, 0, 1, 0, 1}},
        {"F1", "VIP", 103, {2, 0, 1, 1, 0}}, {"F1", "C1", 202, {5, 1, 0, 1, 0}}, {"F1", "C1", 401, {7, 3, 0, 0, 0}},
        {"F2", "D2", 101, {0, 0, 1, 0, 1}}, {"F4", "Q7", 104, {3, 0, 0, 1, 0}}};
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.client << " " << c.secId);
        KRMarginalRow row = Bound(c.firm, c.client);
        KRMarginalActv a = Actv(c.secId / 100 * 10, c.secId);
        a.reserved = 0xA1B2C3D4;
        a.padding = 0x5A;
        ASSERT_EQ(1, KRInitMarginalActv(&row, &a));
        std::vector<int64_t> want = c.want;
        want.insert(want.end(), {0xA1B2C3D4, 0x5A});
        EXPECT_EQ(want, (std::vector<int64_t>{a.secIndex, a.classIndex, a.isMargin, a.isAsset,
                                              a.isRestShort, a.reserved, a.padding}));
    }
}

// Credit lag 1 (F1's C1): the position includes the change of its limit, maxBuy reads the
// margin buy limit for a margin security and the own buy limit otherwise, maxSell is the
// current limit less sold plus the balance. Only ordinary accounts count, and a record of
// another security ends the walk.
TEST_F(ActvTest, PlainRegimeReadsPurchasingPowerFromTheRow) {
    Hold("F1", "C2", 101, {1000}); // another client, before the start
    Hold("F1", "C1", 101, {20, 4, 0, 5, 3});
    Hold("F1", "C1", 101, {100}, "ACC3"); // additional repo: skipped
    Hold("F1", "C1", 101, {7}, "acc1");   // not listed: ordinary
    Hold("F1", "C1", 102, {2, 5});        // another security ends SBER's walk
    Hold("F1", "C1", 101, {50000});
    KRMarginalRow row = Bound("F1");
    row.marginBuyLimit = 16000;
    row.ownBuyLimit = 3000;
    KRMarginalActv a = Calc(&row, 101);
    // position 3 - 5 + 27; margin: maxBuy 16000 / (10 * 50 offer); maxSell 3 - 4 + 27; the
    // values at the last and at the previous price.
    EXPECT_EQ(std::make_tuple(25, 32, 26, 25 * 48.0 * 10, 25 * 45.0 * 10),
              std::make_tuple(a.position, a.maxBuy, a.maxSell, a.value, a.prevValue));
    EXPECT_EQ(20, Calc(&row, 101, 80.0).maxBuy); // 16000 / (10 * 80)
    EXPECT_EQ(15, Calc(&row, 102).maxBuy);       // not margin: 3000 / (10 * 20)
    row.ownBuyLimit = -500;
    a = Calc(&row, 102);
    EXPECT_EQ(std::make_pair(0, 0), std::make_pair(a.maxBuy, a.maxSell)); // 0 - 5 + 2 < 0
    row.marginBuyLimit = NAN; // a quotient that is not a number buys nothing
    EXPECT_EQ(0, Calc(&row, 101).maxBuy);
    // No position: no values, and no position price asked after the four price reads.
    KRMarginalActv zero = Calc(&row, 103, 0, false);
    zero.value = zero.prevValue = 7.0;
    host().log.clear();
    ASSERT_EQ(1, KRCalcMarginalActv(&row, &zero, 0.0));
    EXPECT_EQ(std::make_pair(0.0, 0.0), std::make_pair(zero.value, zero.prevValue));
    EXPECT_EQ(4u, LogLines("paramValue").size());
}

// GAZP margin and asset: the margin buy limit per lot, with a short's value at the offer added
// back, over the price; GAZP asset only: a short is bought back first, else the asset buy limit;
// OTHER in no list: the own buy limit, or under RSTRNMBUY (F1) on a row of 264 bytes or more
// the smaller of it and the free money, and only the cover of a short.
TEST_F(ActvTest, Lag2BuyFollowsTheListCaseWithAndWithoutPrice) {
    // clang-format off
    // F2's GAZP (lot 1), short 4, lockedBuy 1: U = -3; 6400 + 4 * 20 = 6480, maxBuy =
    // (6480 + 3 * 20) / P. The sale: 2560 / max(P, bid 16). No price at -5; at 8 V stays at the
    // bid.
    Check("margin and asset", "marginBuyLimit=6400 shortValue=-2000 moneyAvailable=1000 buyCapacityCopy=2560",
          {{"F2/D2", 102, {-4, 0, 1}, 0, "", 327, 160}, {"F2/D2", 102, {-4, 0, 1}, -5.0, "", 327, 160},
           {"F2/D2", 102, {-4, 0, 1}, 64.0, "", 102, 40}, {"F2/D2", 102, {-4, 0, 1}, 8.0, "", 817, 160},
           {"F2/D2", 102, {0}, 0.25, "marginBuyLimit=0.5", 2, -1},
           {"F2/D2", 102, {0}, 0.25, "marginBuyLimit=-3", 0, -1}});
    // Buys back U = -7 only; else 1000 / (10 * 20), and sells 5 - 2.
    Check("asset", "assetBuyLimit=1000",
          {{"F1/L2", 102, {-10, 0, 3}, 0, "", 7, 0}, {"F1/L2", 102, {5, 2}, 0, "", 5, 3}});
    // min(2000, 900 - 100) / 20 = 40, else (no moneyCurrent at 248, F2 not restricted)
    // 2000 / 20 = 100; the short: U = -4.
    Check("outside the lists", "ownBuyLimit=2000 moneyCurrent=900 moneyLocked=100",
          {{"F1/L2", 401, {0}, 0, "size=264", 40, 0}, {"F1/L2", 401, {0}, 0, "size=248", 100, 0},
           {"F2/D2", 401, {0}, 0, "", 100, 0}, {"F1/L2", 401, {-6, 0, 2}, 0, "", 4, 0}});
    // F2's OTHER, short 10, lockedBuy 3: U = -7, y = -140. Working copy: moneyAvailable 860,
    // shortValue 0, settlementDebt -140; leverage 0, so the money bound is 860 - 100 = 760 and
    // the settlement bound E + 140; maxBuy = min / 20 + 7: 640, 760, 760, 20 / 20. With u = 0
    // the copy is the row itself, whose short without cover buys nothing; a long: 300 / 20.
    Check("cover first", "moneyAvailable=1000 shortValue=-140 buyCommitment=100 ownBuyLimit=300",
          {{"F2/D2", 401, {-10, 0, 3}, 0, "equity=500", 39, 0},
           {"F2/D2", 401, {-10, 0, 3}, 0, "equity=800", 45, 0},
           {"F2/D2", 401, {-10, 0, 3}, 0, "equity=800 size=248", 45, 0},
           {"F2/D2", 401, {-10, 0, 3}, 0, "equity=800 moneyAvailable=260", 8, 0},
           {"F2/D2", 401, {-10, 0, 12}, 0, "equity=800", 0, 0}, {"F2/D2", 401, {3}, 0, "", 15, 3}});
    // F1's NOPRICE (margin only, lot 100): the cover costs 7 * 20 * 100 = 14000; the money
    // bound (100000 - 14000) - 100, the settlement bound 50000 + 14000: 64000 / 2000 + 7.
    Check("cover in lots", "moneyAvailable=100000 shortValue=-14000 buyCommitment=100 equity=50000",
          {{"F1/L2", 104, {-10, 0, 3}, 0, "", 39, 0}});
    // clang-format on
}

// The credit-lag-2 buy limit, read through a covered short of OTHER (U = 0, so the working copy
// is the row and its surplus 0) at 1/1024 a unit: maxBuy = limit * 1024. Of each case the
// derived A = SV - US, B = (M + SV) - BC, H = (E - LA) - BA and s = E are noted.
TEST_F(ActvTest, Lag2BuyLimit) {
    const std::string ex =
        "moneyAvailable=20 shortValue=20 equity=100 longValueAsset=10 settlementDebt=10 ";
    const std::string k0 = "moneyAvailable=500 equity=1000 longValueAsset=700 ";
    auto covered = [](const std::string& figures, int32_t limit) {
        return Case{"F2/D2", 401, {-10, 0, 10}, 1.0 / 1024, figures, limit, 0};
    };
    // clang-format off
    Check("buy limit", "",
          {// A = 20, B = 40, H = 90, s = 100. R1 0 (B < s), R2 min(20/1 + 100, 40) = 40,
           // x = (100 + 40 + 20) / 2 = 80 -> F 80; R4 0 (80 < s), t = 90, R5 90,
           // x = (100 + 90 - 10) / 2 = 90 not > t -> G 90.
           covered(ex + "leverage=1", 80 * 1024),
           // K = 2: R2 = min(20/2 + 100, 40) = 40, x = (200 + 40 + 20) / 3 = 86.67 -> F 86.67;
           // t = 100 - 10/2 = 95 >= H = 90: R5 = 90, x = 93.3 not > t -> G 90.
           covered(ex + "leverage=2", 88746),
           // B = 150 >= s: R1 = E = 100, R2 = min(120, 150) = 120, R3 0 (E < B) -> F 120; G 90.
           covered(ex + "leverage=1 moneyAvailable=130", 90 * 1024),
           // K = 0.5, B = 220: R1 = 100, R2 = min(20/0.5 + 100, 220) = 140 -> F 140. The
           // settlement debt over the leverage, 10 / 0.5, gives t = 80 < H = 90, so
           // x = (50 + 90 - 10) / 1.5 = 86.67 -> G 86.67.
           covered(ex + "leverage=0.5 moneyAvailable=200", 88746), covered(ex + "leverage=1 equity=0", 0),
           // H = 100 - 99.5: R5 = 0.5, x = (100 + 0.5) / 2 is not above t = 100 -> G 0.5.
           covered("leverage=1 moneyAvailable=200 equity=100 longValueAsset=99.5", 512),
           // A negative debt D = -20 with H = 80: H - D = 100 = s, which R4 takes -> G 100.
           covered("leverage=1 moneyAvailable=200 equity=100 longValueAsset=20 settlementDebt=-20", 100 * 1024),
           // K = 0: F = B = 500 (A = 0), G = H - D = 1000 - 700 = 300; a negative K counts as 0.
           covered(k0, 300 * 1024), covered(k0 + "leverage=-2", 300 * 1024),
           // A = 0 - 1 < 0: F = 0. Then B = (100 + 0) - 150 = -50 < 0: F = 0.
           covered(k0 + "uncoveredSellValue=1", 0),
           covered("moneyAvailable=100 equity=1000 buyCommitment=150 buyCommitmentAsset=20", 0)});
    // clang-format on
}

// Under CHECKMAXCREDIT (F4) a row of 264 bytes or more without a given leverage and with an
// opening limit caps buying at (free money + opening limit) per lot, and selling at the opening
// limit less sold plus the position; the cover of a short and what is held and not locked stay
// allowed.
TEST_F(ActvTest, Lag2CreditCapsAndFloors) {
    // clang-format off
    // GAZP (lot 10) short 4, lockedBuy 3: U = -1, uncapped (640 + 80 + 20) / 20 = 37 (at 248 no
    // moneyCurrent); the cap (500 - 20 + 160) / (10 * 20) = 3.2. F2: the switch off, lot 1. Last
    // the cover.
    Check("buy", "marginBuyLimit=6400 moneyCurrent=500 moneyLocked=20 openLimitTotal=160",
          {{"F4/C2", 102, {-4, 0, 3}, 0, "size=264", 3, -1}, {"F4/C2", 102, {-4, 0, 3}, 0, "size=248", 37, -1},
           {"F4/C2", 102, {-4, 0, 3}, 0, "leverageGiven=1", 37, -1},
           {"F4/C2", 102, {-4, 0, 3}, 0, "openLimitTotal=0", 37, -1}, {"F2/D2", 102, {-4, 0, 3}, 0, "", 325, -1},
           {"F4/C2", 102, {-4, 0, 1}, 0, "moneyCurrent=0 openLimitTotal=1", 3, -1}});
    // SBER (lot 10, bid 32) long 30, lockedSell 8: F = 22, uncapped 2560 / 320 + 22 = 30; capped
    // 5 - 8 + 30 = 27; without an opening limit 30; F2, the switch off: 160 + 22. Last,
    // 1 - 0 + INT32_MAX wraps; the floor still gives F.
    Check("sale", "buyCapacityCopy=2560",
          {{"F4/C2", 101, {30, 8, 0, 5}, 0, "", -1, 27}, {"F4/C2", 101, {30, 8, 0, 0}, 0, "", -1, 30},
           {"F4/C2", 101, {30, 8, 0, -3}, 0, "", -1, 30}, {"F2/D2", 102, {30, 8, 0, 5}, 0, "", -1, 182},
           {"F4/C2", 101, {INT32_MAX, 0, 0, 1}, 0, "buyCapacityCopy=0", -1, INT32_MAX}});
    // clang-format on
}

TEST_F(ActvTest, Lag2SaleTakesOneOfTwoBranches) {
    // clang-format off
    // An asset or a short: t = |min(shortValue + moneyAvailable, 0)| / V, at most the long;
    // maxSell = 512 / V + t + what is held and not locked. V 16: 32 + 2.5 + 4; t capped:
    // 32 + 2 + 2; money covers the short: 32 + 4; LKOH short, V 20: 512 / 20.
    Check("asset or short", "buyCapacityCopy=512 shortValue=-40",
          {{"F2/D2", 102, {4}, 0, "", -1, 38}, {"F2/D2", 102, {2}, 0, "", -1, 36},
           {"F2/D2", 102, {4}, 0, "moneyAvailable=100", -1, 36}, {"F2/D2", 103, {-3}, 0, "", -1, 25}});
    // LKOH (margin only, bid 20) long 10, lockedSell 2: F = 8. Sold at the bid, the buying
    // capacity is worked out again: money y7 = 10 * 20 - 100 = 100; equity x12 = 400 + 100 - 140
    // = 360; with the surplus -50 the collateral is 310 and the credit 620; money and shorts
    // -40, t = 40 / 20 = 2; less commitments -60; capacity g = 620 - 140 - 10 - 60 = 410.
    // maxSell = trunc(t + g / V + F): 2 + 20.5 + 8; at 272 no surplus: g = 510; V 40:
    // 1 + 10.25 + 8.
    Check("long outside the assets",
          "moneyAvailable=-100 longValue=400 shortValue=-140 leverage=2 buyCommitment=20 "
          "buyCapacityCopy=1e6 uncoveredSellValue=10 equitySurplus=-50",
          {{"F2/D2", 103, {10, 2}, 0, "", -1, 30}, {"F2/D2", 103, {10, 2}, 0, "size=272", -1, 35},
           {"F2/D2", 103, {10, 2}, 40.0, "", -1, 19},
           // no debt: y7 = 300, x12 = 560, credit 1020, t = 0, g = 870: 43.5 + 8
           {"F2/D2", 103, {10, 2}, 0, "moneyAvailable=100", -1, 51},
           // one unit: y7 = -80, credit 260, t = 11 capped at 1, g = -130: t + g / V < 0
           {"F2/D2", 103, {1}, 0, "", -1, 1},
           // x12 = 0.5, collateral -49.5: credit 0, g = -140 + 400 - 60 = 200: 2 + 10 + 8
           {"F2/D2", 103, {10, 2}, 0, "longValue=40.5 uncoveredSellValue=-400", -1, 20},
           // x12 = -0.5: the collateral -50.5 stays, credit -101, g = 99: 2 + 4.95 + 8
           {"F2/D2", 103, {10, 2}, 0, "longValue=39.5 uncoveredSellValue=-400", -1, 14}});
    // clang-format on
}

TEST_F(ActvTest, FailuresLeaveTheRecordUnchanged) {
    Hold("F1", "C1", 101, {20});
    KRMarginalRow row = Bound("F1");
    auto fails = [&](KRMarginalActv a, int32_t error, bool init = false) {
        const KRMarginalActv before = a;
        EXPECT_EQ(0, init ? KRInitMarginalActv(&row, &a) : KRCalcMarginalActv(&row, &a, 0.0));
        EXPECT_EQ(error, KRGetLastError());
        EXPECT_EQ(0, memcmp(&before, &a, sizeof a));
    };
    fails(Actv(10, 999), KR_ERR_NOT_FOUND, true); // preparing an unknown security
    SetPrices(20, 202, 5, 5, 0, 0);               // no previous and no last price
    fails(Calc(&row, 202, 0, false), KR_ERR_NO_PRICE);
    KRMarginalActv beyond = Calc(&row, 101, 0, false);
    beyond.secIndex = 8;
    fails(beyond, KR_ERR_NOT_FOUND);
    beyond.secIndex = -1;
    fails(beyond, KR_ERR_NOT_FOUND);

    // After a cleanup the old record's index 7 is past the one class registered again.
    KRMarginalActv old = Calc(&row, 401, 0, false);
    ASSERT_EQ(1, KRCleanup());
    ASSERT_EQ(1, AddClass(10, "TQBR", {{101, "SBER", 10}}));
    ASSERT_EQ(1, KRSetDliniFile("F1", world::FirmText()));
    row = Bound("F1");
    fails(old, KR_ERR_NOT_FOUND);
}
