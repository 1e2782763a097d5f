// The actv on the shared scenario: the walk over one security's limits, the plain regime, the
// credit-lag-2 figures and the common end. Rows are the host's records: a table sets the figures
// the actv reads. Expected quantities are worked out by hand next to them. Prices: SBER offer 50,
// bid 32; GAZP, NOPRICE, UNLISTED and OTHER offer 20, bid 16; LKOH offer 25, bid 20. Lots where
// limits are in lots (F1, F4): SBER and GAZP 10, NOPRICE 100, else 1.
#include <gtest/gtest.h>

#include <math.h>
#include <stdio.h>

#include <algorithm>
#include <map>
#include <optional>

#include "exports/internal.h"
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

const world::SecRef& Sec(const std::string& code) {
    static const std::vector<world::SecRef> secs = world::Securities();
    return *std::find_if(secs.begin(), secs.end(), [&](const auto& s) { return s.code == code; });
}

// The actv of `code` prepared for the row and, unless `calc` is false, calculated at `price`.
KRMarginalActv Calc(const KRMarginalRow* row, const std::string& code, double price = 0,
                    bool calc = true) {
    KRMarginalActv a = Actv(Sec(code).classId, Sec(code).secId);
    EXPECT_EQ(1, KRInitMarginalActv(row, &a));
    if (calc) {
        EXPECT_EQ(1, KRCalcMarginalActv(row, &a, price));
    }
    return a;
}

// A limit of a client's security on an ordinary account.
Holding Held(const std::string& who, const std::string& code, const char* account = "A1") {
    return Holding(who.substr(0, 2), who.substr(3), code, account);
}

// Writes the figures named in `figures` into a row, as a host holding them would: "equity=500
// size=248 leverageGiven=1" (the size tag and leverageGiven as integers).
void SetFigures(KRMarginalRow& row, const std::string& figures) {
#define FIELD(name)                                                                                \
    { #name, &KRMarginalRow::name }
    static const std::map<std::string, double KRMarginalRow::*> fields = {
        FIELD(moneyAvailable),  FIELD(leverage),           FIELD(equity),
        FIELD(openLimitTotal),  FIELD(shortValue),         FIELD(longValue),
        FIELD(longValueAsset),  FIELD(buyCommitment),      FIELD(buyCommitmentAsset),
        FIELD(ownBuyLimit),     FIELD(uncoveredSellValue), FIELD(marginBuyLimit),
        FIELD(buyCapacityCopy), FIELD(assetBuyLimit),      FIELD(settlementDebt),
        FIELD(moneyCurrent),    FIELD(moneyLocked),        FIELD(equitySurplus)};
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

// One credit-lag-2 calculation: the client's limit of one security, the price given (0: none),
// the row's figures beyond the table's, and the quantities the case expects. A quantity the
// case does not name is not checked; every case names at least one.
struct Lag2 {
    explicit Lag2(const Holding& h) : held(h) {}
    Holding held;
    double price = 0;
    std::string figures;
    std::optional<int32_t> maxBuy, maxSell;

    Lag2& Price(double v) { return price = v, *this; }
    Lag2& With(const std::string& v) { return figures = v, *this; }
    Lag2& Buys(int32_t v) { return maxBuy = v, *this; }
    Lag2& Sells(int32_t v) { return maxSell = v, *this; }
};

// Each case on a bound row holding the table's and the case's figures, in a block of exactly
// its size, so ASan catches a read past the row's tag.
void Check(const char* what, const std::string& figures, const std::vector<Lag2>& cases) {
    for (const Lag2& c : cases) {
        const Holding& h = c.held;
        SCOPED_TRACE(testing::Message()
                     << what << ": " << h.firm << "/" << h.client << " " << h.secCode << " "
                     << h.currentBalance << " at " << c.price << " " << c.figures);
        host().secLimits.clear();
        AddSecLimit(h);
        KRMarginalRow full = Bound(h.firm, h.client);
        ASSERT_EQ(1, full.creditLag2);
        SetFigures(full, figures + " " + c.figures);
        std::vector<uint8_t> block(full.size);
        memcpy(block.data(), &full, full.size);
        const auto* row = reinterpret_cast<KRMarginalRow*>(block.data());
        KRMarginalActv a = Calc(row, h.secCode, c.price);
        ASSERT_TRUE(c.maxBuy || c.maxSell) << "a case that checks nothing";
        EXPECT_EQ(h.currentBalance, a.position);
        if (c.maxBuy) {
            EXPECT_EQ(*c.maxBuy, a.maxBuy);
        }
        if (c.maxSell) {
            EXPECT_EQ(*c.maxSell, a.maxSell);
        }
    }
}

} // namespace

// Credit lag 1 (F1's C1): the position includes the change of its limit, maxBuy reads the
// margin buy limit for a margin security and the own buy limit otherwise, maxSell is the
// current limit less sold plus the balance. Only ordinary accounts count, and a record of
// another security ends the walk.
TEST_F(ActvTest, PlainRegimeReadsPurchasingPowerFromTheRow) {
    AddSecLimit(Held("F1/C2", "SBER").Current(1000)); // another client, before the start
    AddSecLimit(Held("F1/C1", "SBER").Current(20).LockedSell(4).OpenLimit(5).CurrentLimit(3));
    AddSecLimit(Held("F1/C1", "SBER", "ACC3").Current(100));     // additional repo: skipped
    AddSecLimit(Held("F1/C1", "SBER", "acc1").Current(7));       // not listed: ordinary
    AddSecLimit(Held("F1/C1", "GAZP").Current(2).LockedSell(5)); // ends SBER's walk
    AddSecLimit(Held("F1/C1", "SBER").Current(50000));
    KRMarginalRow row = Bound("F1");
    row.marginBuyLimit = 16000;
    row.ownBuyLimit = 3000;
    KRMarginalActv a = Calc(&row, "SBER");
    // position 3 - 5 + 27; margin: maxBuy 16000 / (10 * 50 offer); maxSell 3 - 4 + 27.
    EXPECT_EQ(25, a.position);
    EXPECT_EQ(32, a.maxBuy);
    EXPECT_EQ(26, a.maxSell);
    EXPECT_EQ(20, Calc(&row, "SBER", 80.0).maxBuy); // 16000 / (10 * 80)
    EXPECT_EQ(15, Calc(&row, "GAZP").maxBuy);       // not margin: 3000 / (10 * 20)
    row.ownBuyLimit = -500;
    EXPECT_EQ(0, Calc(&row, "GAZP").maxBuy);
    row.marginBuyLimit = NAN; // a quotient that is not a number buys nothing
    EXPECT_EQ(0, Calc(&row, "SBER").maxBuy);
    // No position: no values, and no position price asked after the four price reads.
    KRMarginalActv zero = Calc(&row, "LKOH", 0, false);
    zero.value = zero.prevValue = 7.0;
    host().log.clear();
    ASSERT_EQ(1, KRCalcMarginalActv(&row, &zero, 0.0));
    EXPECT_EQ(0.0, zero.value);
    EXPECT_EQ(0.0, zero.prevValue);
    EXPECT_EQ(4u, LogLines("paramValue").size());
}

// GAZP margin and asset: the margin buy limit per lot, with a short's value at the offer added
// back, over the price; GAZP asset only: a short is bought back first, else the asset buy limit;
// OTHER in no list: the own buy limit, or under RSTRNMBUY (F1) on a row of 264 bytes or more
// the smaller of it and the free money, and only the cover of a short.
TEST_F(ActvTest, Lag2BuyFollowsTheListCaseWithAndWithoutPrice) {
    // F2's GAZP (lot 1), short 4, lockedBuy 1: the uncovered short -3; 6400 + 4 * 20 = 6480,
    // maxBuy = (6480 + 3 * 20) / price. The sale: 2560 / max(price, bid 16). No price at -5; at
    // 8 the sale stays at the bid.
    const Holding gazpShort = Held("F2/D2", "GAZP").Current(-4).LockedBuy(1);
    Check("margin and asset",
          "marginBuyLimit=6400 shortValue=-2000 moneyAvailable=1000 buyCapacityCopy=2560",
          {Lag2{gazpShort}.Buys(327).Sells(160), Lag2{gazpShort}.Price(-5).Buys(327).Sells(160),
           Lag2{gazpShort}.Price(64).Buys(102).Sells(40),
           Lag2{gazpShort}.Price(8).Buys(817).Sells(160),
           Lag2{Held("F2/D2", "GAZP")}.Price(0.25).With("marginBuyLimit=0.5").Buys(2),
           Lag2{Held("F2/D2", "GAZP")}.Price(0.25).With("marginBuyLimit=-3").Buys(0)});
    // Buys back the uncovered short -7 only; else 1000 / (10 * 20), and sells 5 - 2.
    Check("asset", "assetBuyLimit=1000",
          {Lag2{Held("F1/L2", "GAZP").Current(-10).LockedBuy(3)}.Buys(7).Sells(0),
           Lag2{Held("F1/L2", "GAZP").Current(5).LockedSell(2)}.Buys(5).Sells(3)});
    // min(2000, 900 - 100) / 20 = 40, else (no moneyCurrent at 248, F2 not restricted)
    // 2000 / 20 = 100; the short: the uncovered short -4.
    Check("outside the lists", "ownBuyLimit=2000 moneyCurrent=900 moneyLocked=100",
          {Lag2{Held("F1/L2", "OTHER")}.With("size=264").Buys(40).Sells(0),
           Lag2{Held("F1/L2", "OTHER")}.With("size=248").Buys(100).Sells(0),
           Lag2{Held("F2/D2", "OTHER")}.Buys(100).Sells(0),
           Lag2{Held("F1/L2", "OTHER").Current(-6).LockedBuy(2)}.Buys(4).Sells(0)});
    // F2's OTHER, short 10, lockedBuy 3: uncovered short -7, cover cost -140. The row once
    // covered: moneyAvailable 860, shortValue 0, settlementDebt -140; leverage 0, so the money
    // bound is 860 - 100 = 760 and the settlement bound equity + 140; maxBuy = min / 20 + 7:
    // 640, 760, 760, 20 / 20. With nothing uncovered the row itself counts, whose short
    // without cover buys nothing; a long: 300 / 20.
    const Holding otherShort = Held("F2/D2", "OTHER").Current(-10).LockedBuy(3);
    Check("cover first", "moneyAvailable=1000 shortValue=-140 buyCommitment=100 ownBuyLimit=300",
          {Lag2{otherShort}.With("equity=500").Buys(39).Sells(0),
           Lag2{otherShort}.With("equity=800").Buys(45).Sells(0),
           Lag2{otherShort}.With("equity=800 size=248").Buys(45).Sells(0),
           Lag2{otherShort}.With("equity=800 moneyAvailable=260").Buys(8).Sells(0),
           Lag2{Held("F2/D2", "OTHER").Current(-10).LockedBuy(12)}
               .With("equity=800")
               .Buys(0)
               .Sells(0),
           Lag2{Held("F2/D2", "OTHER").Current(3)}.Buys(15).Sells(3)});
    // F1's NOPRICE (margin only, lot 100): the cover costs 7 * 20 * 100 = 14000; the money
    // bound (100000 - 14000) - 100, the settlement bound 50000 + 14000: 64000 / 2000 + 7.
    Check("cover in lots", "moneyAvailable=100000 shortValue=-14000 buyCommitment=100 equity=50000",
          {Lag2{Held("F1/L2", "NOPRICE").Current(-10).LockedBuy(3)}.Buys(39).Sells(0)});
}

// The credit-lag-2 buy limit, the smaller of the money bound and the settlement bound, read
// through a covered short of OTHER (nothing uncovered, so the row counts as it is and its
// surplus is 0) at 1/1024 a unit: maxBuy = limit * 1024. Each case notes the derived
// shortExposure = shortValue - uncoveredSellValue, uncommittedMoney = (moneyAvailable +
// shortValue) - buyCommitment, equityOutsideAssetOnly = (equity - longValueAsset) -
// buyCommitmentAsset, and the candidates of each bound: wholeMoney, equityOverShortMargin and
// leveragedBuy; wholeAfterSettlement, withinEquity (under equityOverDebtMargin) and
// leveragedBuy.
TEST_F(ActvTest, Lag2BuyLimit) {
    const std::string ex =
        "moneyAvailable=20 shortValue=20 equity=100 longValueAsset=10 settlementDebt=10 ";
    const std::string noLeverage = "moneyAvailable=500 equity=1000 longValueAsset=700 ";
    auto covered = [](const std::string& figures, int32_t limit) {
        return Lag2{Held("F2/D2", "OTHER").Current(-10).LockedBuy(10)}
            .Price(1.0 / 1024)
            .With(figures)
            .Buys(limit)
            .Sells(0);
    };
    Check("buy limit", "",
          {// shortExposure 20, uncommittedMoney 40, equityOutsideAssetOnly 90, equity 100.
           // Money: wholeMoney 0 (40 < equity), equityOverShortMargin min(20/1 + 100, 40) = 40,
           // leveragedBuy (100 + 40 + 20) / 2 = 80: 80. Settlement: wholeAfterSettlement 0
           // (80 < equity), equityOverDebtMargin 90, withinEquity 90, leveragedBuy
           // (100 + 90 - 10) / 2 = 90 not above 90: 90.
           covered(ex + "leverage=1", 80 * 1024),
           // Leverage 2: equityOverShortMargin min(20/2 + 100, 40) = 40, leveragedBuy
           // (200 + 40 + 20) / 3 = 86.67: 86.67; equityOverDebtMargin 100 - 10/2 = 95 above
           // equityOutsideAssetOnly 90: withinEquity 90, leveragedBuy 93.3 not above 95: 90.
           covered(ex + "leverage=2", 88746),
           // uncommittedMoney 150 >= equity: wholeMoney = equity = 100, equityOverShortMargin
           // min(120, 150) = 120, no leveragedBuy (equity below the money): 120; settlement 90.
           covered(ex + "leverage=1 moneyAvailable=130", 90 * 1024),
           // Leverage 0.5, uncommittedMoney 220: wholeMoney 100, equityOverShortMargin
           // min(20/0.5 + 100, 220) = 140: 140. The settlement debt over the leverage, 10 / 0.5,
           // gives equityOverDebtMargin 80 < 90, so leveragedBuy (50 + 90 - 10) / 1.5 = 86.67.
           covered(ex + "leverage=0.5 moneyAvailable=200", 88746),
           covered(ex + "leverage=1 equity=0", 0),
           // equityOutsideAssetOnly 100 - 99.5: withinEquity 0.5, leveragedBuy (100 + 0.5) / 2
           // not above equityOverDebtMargin 100: 0.5.
           covered("leverage=1 moneyAvailable=200 equity=100 longValueAsset=99.5", 512),
           // A negative settlement debt -20 with equityOutsideAssetOnly 80: 80 + 20 = 100 =
           // equity, which wholeAfterSettlement takes: 100.
           covered("leverage=1 moneyAvailable=200 equity=100 longValueAsset=20 "
                   "settlementDebt=-20",
                   100 * 1024),
           // Leverage 0: the money bound is uncommittedMoney 500 (shortExposure 0), the
           // settlement bound 1000 - 700 = 300; a negative leverage counts as 0.
           covered(noLeverage, 300 * 1024), covered(noLeverage + "leverage=-2", 300 * 1024),
           // shortExposure 0 - 1 < 0: money bound 0. Then uncommittedMoney (100 + 0) - 150 < 0:
           // money bound 0.
           covered(noLeverage + "uncoveredSellValue=1", 0),
           covered("moneyAvailable=100 equity=1000 buyCommitment=150 buyCommitmentAsset=20", 0)});
}

// Under CHECKMAXCREDIT (F4) a row of 264 bytes or more without a given leverage and with an
// opening limit caps buying at (free money + opening limit) per lot, and selling at the opening
// limit less sold plus the position; the cover of a short and what is held and not locked stay
// allowed.
TEST_F(ActvTest, Lag2CreditCapsAndFloors) {
    // GAZP (lot 10) short 4, lockedBuy 3: uncovered short -1, uncapped (640 + 80 + 20) / 20 = 37
    // (at 248 no moneyCurrent); the cap (500 - 20 + 160) / (10 * 20) = 3.2. F2: the switch
    // off, lot 1. Last the cover.
    const Holding c2Short = Held("F4/C2", "GAZP").Current(-4).LockedBuy(3);
    Check("buy", "marginBuyLimit=6400 moneyCurrent=500 moneyLocked=20 openLimitTotal=160",
          {Lag2{c2Short}.With("size=264").Buys(3), Lag2{c2Short}.With("size=248").Buys(37),
           Lag2{c2Short}.With("leverageGiven=1").Buys(37),
           Lag2{c2Short}.With("openLimitTotal=0").Buys(37),
           Lag2{Held("F2/D2", "GAZP").Current(-4).LockedBuy(3)}.Buys(325),
           Lag2{Held("F4/C2", "GAZP").Current(-4).LockedBuy(1)}
               .With("moneyCurrent=0 openLimitTotal=1")
               .Buys(3)});
    // SBER (lot 10, bid 32) long 30, lockedSell 8: sellable 22, uncapped 2560 / 320 + 22 = 30;
    // capped 5 - 8 + 30 = 27; without an opening limit 30; F2, the switch off: 160 + 22.
    // Last, 1 - 0 + INT32_MAX wraps; the floor still gives what is sellable.
    auto c2Long = [](int32_t openLimit) {
        return Held("F4/C2", "SBER").Current(30).LockedSell(8).OpenLimit(openLimit);
    };
    Check("sale", "buyCapacityCopy=2560",
          {Lag2{c2Long(5)}.Sells(27), Lag2{c2Long(0)}.Sells(30), Lag2{c2Long(-3)}.Sells(30),
           Lag2{Held("F2/D2", "GAZP").Current(30).LockedSell(8).OpenLimit(5)}.Sells(182),
           Lag2{Held("F4/C2", "SBER").Current(INT32_MAX).OpenLimit(1)}
               .With("buyCapacityCopy=0")
               .Sells(INT32_MAX)});
}

TEST_F(ActvTest, Lag2SaleTakesOneOfTwoBranches) {
    // An asset or a short: repaid = |min(shortValue + moneyAvailable, 0)| / unit value, at
    // most the long; maxSell = 512 / unit value + repaid + what is held and not locked. Unit
    // value 16: 32 + 2.5 + 4; repaid capped: 32 + 2 + 2; money covers the short: 32 + 4; LKOH
    // short, unit value 20: 512 / 20.
    Check("asset or short", "buyCapacityCopy=512 shortValue=-40",
          {Lag2{Held("F2/D2", "GAZP").Current(4)}.Sells(38),
           Lag2{Held("F2/D2", "GAZP").Current(2)}.Sells(36),
           Lag2{Held("F2/D2", "GAZP").Current(4)}.With("moneyAvailable=100").Sells(36),
           Lag2{Held("F2/D2", "LKOH").Current(-3)}.Sells(25)});
    // LKOH (margin only, bid 20) long 10, lockedSell 2: sellable 8. Sold at the bid, the buying
    // capacity is worked out again: moneyAfterSale = 10 * 20 - 100 = 100; equityAfterSale =
    // 400 + 100 - 140 = 360; with the surplus -50 the collateral is 310 and the credit 620;
    // money and shorts -40, repaid = 40 / 20 = 2; less commitments -60; buyCapacity =
    // 620 - 140 - 10 - 60 = 410. maxSell = trunc(repaid + buyCapacity / unit value +
    // sellable): 2 + 20.5 + 8; at 272 no surplus: buyCapacity 510; unit value 40:
    // 1 + 10.25 + 8.
    const Holding lkoh = Held("F2/D2", "LKOH").Current(10).LockedSell(2);
    Check("long outside the assets",
          "moneyAvailable=-100 longValue=400 shortValue=-140 leverage=2 buyCommitment=20 "
          "buyCapacityCopy=1e6 uncoveredSellValue=10 equitySurplus=-50",
          {Lag2{lkoh}.Sells(30), Lag2{lkoh}.With("size=272").Sells(35),
           Lag2{lkoh}.Price(40.0).Sells(19),
           // no debt: moneyAfterSale 300, equityAfterSale 560, credit 1020, repaid 0,
           // buyCapacity 870: 43.5 + 8
           Lag2{lkoh}.With("moneyAvailable=100").Sells(51),
           // one unit: moneyAfterSale -80, credit 260, repaid 11 capped at 1, buyCapacity -130:
           // repaid + buyCapacity / unit value < 0
           Lag2{Held("F2/D2", "LKOH").Current(1)}.Sells(1),
           // equityAfterSale 0.5, collateral -49.5: credit 0, buyCapacity -140 + 400 - 60 =
           // 200: 2 + 10 + 8
           Lag2{lkoh}.With("longValue=40.5 uncoveredSellValue=-400").Sells(20),
           // equityAfterSale -0.5: the collateral -50.5 stays, credit -101, buyCapacity 99:
           // 2 + 4.95 + 8
           Lag2{lkoh}.With("longValue=39.5 uncoveredSellValue=-400").Sells(14)});
}

// Buying restricted to money the client has (F1's RSTRNMBUY, OTHER in no list): the explanation
// records the bound that lost with what it alone allows, here exactly one lot.
TEST_F(ActvTest, ExplainedLosingBoundIsWhatItAloneAllows) {
    KRMarginalRow row = Bound("F1", "L2");
    SetFigures(row, "ownBuyLimit=20 moneyCurrent=10"); // 1 and 0.5 lots at the offer of 20
    KRMarginalActv a = Calc(&row, "OTHER", 0, false);
    kesvar::ActvTrace trace{};
    ASSERT_EQ(1, kesvar::TraceMarginalActv(&row, &a, 0.0, &trace));
    EXPECT_EQ(1, trace.buy.steps[1].quantity);
}

TEST_F(ActvTest, FailuresLeaveTheRecordUnchanged) {
    AddSecLimit(Held("F1/C1", "SBER").Current(20));
    KRMarginalRow row = Bound("F1");
    auto fails = [&](KRMarginalActv a, int32_t error, bool init = false) {
        const KRMarginalActv before = a;
        EXPECT_EQ(0, init ? KRInitMarginalActv(&row, &a) : KRCalcMarginalActv(&row, &a, 0.0));
        EXPECT_EQ(error, KRGetLastError());
        EXPECT_EQ(0, memcmp(&before, &a, sizeof a));
    };
    fails(Actv(10, 999), KR_ERR_NOT_FOUND, true); // preparing an unknown security
    KRMarginalActv beyond = Calc(&row, "SBER", 0, false);
    beyond.secIndex = 8;
    fails(beyond, KR_ERR_NOT_FOUND);
    beyond.secIndex = -1;
    fails(beyond, KR_ERR_NOT_FOUND);

    // After a cleanup the old record's index 7 is past the one class registered again.
    KRMarginalActv old = Calc(&row, "OTHER", 0, false);
    ASSERT_EQ(1, KRCleanup());
    ASSERT_EQ(1, AddClass(10, "TQBR", {{101, "SBER", 10}}));
    ASSERT_EQ(1, KRSetDliniFile("F1", world::FirmText()));
    row = Bound("F1");
    fails(old, KR_ERR_NOT_FOUND);
}
