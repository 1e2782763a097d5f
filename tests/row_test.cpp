// The marginal row through the exports, on the shared scenario's classes and F1's settings:
// SBER margin and asset, GAZP asset, LKOH margin (all three in lots of 10, 10 and 1), OFZ1 a
// bond of face value 1000, margin and asset; UNLISTED counted though unlisted, OTHER not valued;
// weights SBER 0.85/1.35 and OFZ1 0.95/1.1; boards MB counting, AL additional limit, RP
// additional repo; accounts ACC2 additional limit. The limits and prices are the tests' own.
#include <gtest/gtest.h>

#include <stddef.h>

#include <map>

#include "scenario.h"

using namespace memory_host;

namespace {

using Fields = std::map<size_t, double>; // row offset -> figure
#define F(f) offsetof(KRMarginalRow, f)

// The scenario with the tests' own prices and no limits.
void Market(int32_t version) {
    ASSERT_EQ(1, Install(version));
    ASSERT_TRUE(world::Build());
    host().moneyLimits.clear();
    host().secLimits.clear();
    // offer, bid, previous, last (, accrued interest)
    SetPrices(10, 101, 5.5, 5.0, 4.0, 5.2);
    SetPrices(10, 102, 21.0, 20.0, 19.0, 20.5);
    SetPrices(10, 103, 3.0, 2.5, 2.0, 2.8);
    SetPrices(20, 201, 99.0, 98.5, 98.0, 97.0, 12.3);
    SetPrices(30, 301, 2.0, 1.9, 1.8, 0.0);
    SetPrices(40, 401, 1.0, 1.0, 1.0, 1.0);
}

class RowTest : public testing::Test {
  protected:
    void SetUp() override { Market(KR_INTERFACE_V2); }
};

KRMarginalRow Calc(const char* client, const char* firm = "F1") {
    KRMarginalRow row = Row(firm, client);
    EXPECT_TRUE(KRInitMarginalRow(&row) && KRCalcMarginalRow(&row)) << client;
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
        EXPECT_EQ(w.second, d[w.first / 8]) << "offset " << w.first;
}

} // namespace

// A missing offer or bid takes the last price, else the previous one; a missing previous price
// the last; without both nothing is valued. A price below 1e-8 is missing. The position price:
// the last price, else the bid for a long and the offer otherwise, else the previous price.
// Shown by GAZP (lot 10, weight 1) held long by PL and short by PS: opening values at the
// previous price, the long at the bid, the short at the offer, current values at the position
// price (the last price, when at least 1e-6).
TEST_F(RowTest, PricesFallBackAndCountBelow1e8AsMissing) {
    AddSecLimit(Holding("F1", "PL", "GAZP").Open(1).Current(1));
    AddSecLimit(Holding("F1", "PS", "GAZP").Open(-1).Current(-1));
    // The prices the host gives, and those the row values with: offer, bid and previous price,
    // and the position prices of the long and of the short. 0: nothing valued.
    struct Fallback {
        double offer = 0, bid = 0, prev = 0, last = 0;
        double usedOffer = 0, usedBid = 0, usedPrev = 0, longAt = 0, shortAt = 0;
        Fallback& Offer(double v) { return offer = v, *this; }
        Fallback& Bid(double v) { return bid = v, *this; }
        Fallback& Prev(double v) { return prev = v, *this; }
        Fallback& Last(double v) { return last = v, *this; }
        Fallback& UsesOffer(double v) { return usedOffer = v, *this; }
        Fallback& UsesBid(double v) { return usedBid = v, *this; }
        Fallback& UsesPrev(double v) { return usedPrev = v, *this; }
        Fallback& LongAt(double v) { return longAt = v, *this; }
        Fallback& ShortAt(double v) { return shortAt = v, *this; }
        Fallback& AllAt(double v) {
            return UsesOffer(v).UsesBid(v).UsesPrev(v).LongAt(v).ShortAt(v);
        }
    };
    const Fallback cases[] = {
        Fallback().Prev(101.5).AllAt(101.5),
        Fallback().Prev(8).Last(9).AllAt(9).UsesPrev(8),
        Fallback().Bid(7).Last(99).AllAt(99).UsesBid(7),
        Fallback().Offer(10).Bid(9).Prev(8).UsesOffer(10).UsesBid(9).UsesPrev(8).LongAt(9).ShortAt(
            10),
        Fallback()
            .Offer(5)
            .Bid(4)
            .Prev(1e-8)
            .UsesOffer(5)
            .UsesBid(4)
            .UsesPrev(1e-8)
            .LongAt(4)
            .ShortAt(5),
        Fallback().Offer(5).Bid(4).Prev(5e-9),
        Fallback().Offer(5).Last(5e-9),
        Fallback().Prev(5e-9).Last(1e-8).AllAt(1e-8),
        Fallback().Bid(3e-9).Prev(2).Last(7e-7).AllAt(7e-7).UsesPrev(2),
    };
    for (const Fallback& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << c.offer << " " << c.bid << " " << c.prev << " " << c.last);
        SetPrices(10, 102, c.offer, c.bid, c.prev, c.last);
        ExpectFields(Calc("PL"), {{F(openValue), c.usedPrev * 10},
                                  {F(longValue), c.usedBid * 10},
                                  {F(currentValue), c.longAt * 10}});
        ExpectFields(Calc("PS"), {{F(openValue), -c.usedPrev * 10},
                                  {F(shortValue), -c.usedOffer * 10},
                                  {F(currentValue), -c.shortAt * 10}});
    }
}

// One position of V valued in a row of its own. Money: one MB record with openLimit 1000.00 and
// nothing else, so leverage = 1000 / collateralOpen shows that sum, openCollateral shows
// collateralOpenAll and equitySurplus = (longNow + shortNow) - (longValue + shortValue).
TEST_F(RowTest, ValuationOfEachKindOfPosition) {
    const double bid = 1000 * 98.5 * 0.01, prevB = 12.3 + 1000 * 98.0 * 0.01,
                 bidB = 12.3 + bid;               // OFZ1
    const double wA = 0.95, wL = 0.85, wS = 1.35; // OFZ1's long, SBER's long and short weight
    const std::vector<size_t> valuation = {
        F(openValue),          F(currentValue),       F(longValue),          F(longValueMargin),
        F(longValueAsset),     F(shortValue),         F(buyCommitment),      F(leverage),
        F(openCollateral),     F(buyCommitmentAsset), F(uncoveredSellValue), F(equitySurplus),
        F(buyCommitmentMargin)};
    // Every valuation field a case does not name is 0. OFZ1's last price and accrued interest,
    // when the case has its own.
    struct Valued {
        const char* name;
        Position pos;
        Fields want;
        double ofz1Last = 97.0, ofz1Accrued = 12.3;
    };
    const Valued cases[] = {
        {"margin and asset long on an additional-limit account: all-account sums only",
         Holding("F1", "V", "SBER", "acc2").Open(8).Current(10),
         {{F(openValue), 320},
          {F(currentValue), 520},
          {F(openCollateral), 8 * 4.0 * 10 * wL},
          {F(equitySurplus), 10 * 5.0 * 10 * wL}}},
        {"asset long, locked buy value under one money unit",
         Holding("F1", "V", "GAZP").Current(10).LockedBuyValue(50),
         {{F(currentValue), 2050},
          {F(longValue), 2000},
          {F(longValueAsset), 2000},
          {F(buyCommitment), 0.5},
          {F(buyCommitmentAsset), 0.5}}},
        {"margin only long: no collateral, no long value",
         Holding("F1", "V", "LKOH").Open(5).Current(10),
         {{F(openValue), 10}, {F(currentValue), 28}}},
        {"unlisted short without a last price",
         Holding("F1", "V", "UNLISTED").Current(-50).LockedBuyValue(250),
         {{F(currentValue), -100}, {F(shortValue), -100}}},
        {"bond: face value and accrued interest; an opening long of one weighted as a long",
         Holding("F1", "V", "OFZ1").Open(1).Current(1).LockedSell(3),
         {{F(openValue), prevB},
          {F(openCollateral), prevB * wA},
          {F(leverage), 1000 / (prevB * wA)},
          {F(currentValue), 12.3 + 1000 * 97.0 * 0.01},
          {F(longValue), bidB * wA},
          {F(longValueMargin), bidB * wA},
          {F(uncoveredSellValue), 2 * (12.3 + 1000 * 99.0 * 0.01)}}},
        // Its accrued interest alone, 5e-7, is a last price below 1e-6: the bid is taken.
        {"bond: accrued interest as last price",
         Holding("F1", "V", "OFZ1").Current(1),
         {{F(currentValue), 5e-7 + bid},
          {F(longValue), (5e-7 + bid) * wA},
          {F(longValueMargin), (5e-7 + bid) * wA}},
         0.0,
         5e-7},
        {"bond: accrued interest 1e-6 is the last price",
         Holding("F1", "V", "OFZ1").Current(1),
         {{F(currentValue), 1e-6},
          {F(longValue), (1e-6 + bid) * wA},
          {F(longValueMargin), (1e-6 + bid) * wA}},
         0.0,
         1e-6},
        {"class without valueUnlisted", Holding("F1", "V", "OTHER").Open(5).Current(10), {}},
        {"credit lag 1: current - openLimit + currentLimit",
         Holding("F1", "V", "GAZP").OpenLimit(3).Current(10).CurrentLimit(1),
         {{F(currentValue), 1640}, {F(longValue), 1600}, {F(longValueAsset), 1600}}},
        {"sell orders beyond a long",
         Holding("F1", "V", "GAZP").Current(20).LockedSell(30),
         {{F(currentValue), 4100},
          {F(longValue), 4000},
          {F(longValueAsset), 4000},
          {F(uncoveredSellValue), 2100}}},
        {"opening short weighted by wS; negative collateral: leverage 0",
         Holding("F1", "V", "SBER").Open(-4),
         {{F(openValue), -160}, {F(openCollateral), -160 * wS}}},
        {"short bought back from an asset: no commitment",
         Holding("F1", "V", "GAZP").Current(-1).LockedBuyValue(50),
         {{F(currentValue), -20.5 * 10}, {F(shortValue), -210}}}};
    for (const Valued& c : cases) {
        SCOPED_TRACE(c.name);
        host().moneyLimits.clear();
        host().secLimits.clear();
        AddMoneyLimit(Funds("F1", c.pos.client, "MB").OpenLimit(100000));
        AddSecLimit(c.pos);
        SetPrices(20, 201, 99.0, 98.5, 98.0, c.ofz1Last, c.ofz1Accrued);
        ExpectFields(Calc(c.pos.client.c_str()), c.want, valuation);
    }
}

// C1 (credit lag 1): MB counts fully, AL (an additional limit board) only in the sums of every
// board and never with its leverage, ZZ (not listed) not at all; MB's leverage percent is
// negative, so the leverage is computed. GAZP long 10 (open 8) on an ordinary account,
// UNLISTED short 3 on another. L2 (credit lag 2): leverage 50 % given, GAZP long 10 (open 8,
// openLimit and currentLimit ignored), UNLISTED short 3 with 5 sold on an additional-limit account.
// N1, K2 and Z0 are corners of margin level, credit and a leverage given as 0 %.
TEST_F(RowTest, WholeRows) {
    for (const Money& m :
         {Funds("F1", "C1", "MB")
              .Open(10000)
              .OpenLimit(20000)
              .Current(12000)
              .CurrentLimit(3000)
              .Locked(1000)
              .LockedValue(500),
          Funds("F1", "C1", "AL")
              .Open(2000)
              .Current(4000)
              .CurrentLimit(1000)
              .LockedValue(100)
              .LeveragePercent(500),
          Funds("F1", "C1", "ZZ")
              .Open(99999)
              .OpenLimit(99999)
              .Current(99999)
              .CurrentLimit(99999)
              .Locked(99999)
              .LockedValue(99999),
          Funds("F1", "L2", "MB").Open(10000).OpenLimit(20000).Current(60000).LeveragePercent(50),
          Funds("F1", "N1", "MB").Open(500).OpenLimit(1000).Current(-1000),
          Funds("F1", "K2", "MB").Open(500).OpenLimit(1000).Current(1000),
          Funds("F1", "Z0", "MB").Open(500).OpenLimit(1000).Current(1000).LeveragePercent(0)})
        AddMoneyLimit(m);
    for (const Position& p :
         {Holding("F1", "C1", "GAZP").Open(8).Current(10),
          Holding("F1", "C1", "UNLISTED", "A2").Current(-3),
          Holding("F1", "L2", "GAZP").Open(8).OpenLimit(5).Current(10).CurrentLimit(2),
          Holding("F1", "L2", "UNLISTED", "ACC2").Current(-3).LockedSell(5),
          Holding("F1", "K2", "UNLISTED", "ACC2").Current(-300)})
        AddSecLimit(p);

    // C1 money: open (10000+2000)/100 = 120, opening limit 200, current 160, locked 10, locked
    // value 6, own open 100, own current 120. Long 10*20*10 = 2000 (collateral at open
    // 8*19*10 = 1520), short -3*2 = -6. Equity (-6 + 2000) + (120 - 6) = 2108, current
    // collateral ((160 - 6) + 2000) - 6 = 2148, money less commitments -6 + 114 > 0.
    const double lev = 200 / (120 + 1520.0), credit = lev * 2148;
    const double ml = ((-6 + 2000 + 120) / 2120.0) * 100.0;
    ExpectFields(Calc("C1"),
                 {{F(openValue), 1640},
                  {F(currentValue), 2204},
                  {F(openCollateral), 1620},
                  {F(leverage), lev},
                  {F(openLimitTotal), 200},
                  {F(moneyAvailable), 114},
                  {F(longValue), 2000},
                  {F(longValueAsset), 2000},
                  {F(shortValue), -6},
                  {F(equity), 2108},
                  {F(creditCapacity), credit},
                  {F(buyCapacity), credit - 6},
                  {F(buyCapacityCopy), credit - 6},
                  {F(marginLevel), ml},
                  {F(lockedValueTotal), 6},
                  {F(marginBuyLimit), 190}, // (3000 + 1000 + 16000) / 100 - 10
                  {F(ownBuyLimit), 150},
                  {F(moneyCurrent), 120},
                  {F(moneyLocked), 10},
                  {F(currentLeverage), (100.0 / ml) - 1.0},
                  {F(equitySurplus), 40}},
                 {}, true);

    // L2: equity 2000 + 600 = 2600, current collateral 2600 - 6, credit 1297, uncovered sales
    // 5*2 = 10 on every account, buying capacity 1287, money 600 uncommitted; settlement debt
    // 10 + 0; asset limit 2600 - 2000. The buy limit, surplus -6: equity 2600, shortExposure
    // -10, uncommittedMoney 600, equityOutsideAssetOnly 600, equityWithSurplus 2594. Money
    // bound: equityOverShortMargin 600, leveragedBuy (1297 + 600 - 10) / 1.5 = 1258 above the
    // money: 1258. Settlement bound: withinEquity min(600, 2594 - 20) = 600, leveragedBuy 1258
    // not above equityOverDebtMargin 2574: 600.
    KRMarginalRow row = Calc("L2");
    EXPECT_EQ(1, row.leverageGiven);
    ExpectFields(row, {{F(leverage), 0.5},
                       {F(equity), 2600},
                       {F(equitySurplus), -6},
                       {F(creditCapacity), 1297},
                       {F(buyCapacity), 1287},
                       {F(marginBuyLimit), 1887},
                       {F(settlementDebt), 10},
                       {F(assetBuyLimit), 600},
                       {F(ownBuyLimit), 600},
                       {F(marginLevel), 100}});
    // N1: own worth -10 and nothing long or held -> -99 %, not -100; equity < 0 leaves the
    // current collateral -10 as it is.
    ExpectFields(Calc("N1"), {{F(equity), -10},
                              {F(creditCapacity), -20},
                              {F(marginLevel), -99.0},
                              {F(currentLeverage), -1.0}});
    // K2: the short on ACC2 is not counted, so equity 10 >= 0 clamps the current collateral
    // 10 - 600 to 0; equitySurplus keeps it before the clamp.
    ExpectFields(Calc("K2"), {{F(equity), 10},
                              {F(creditCapacity), 0},
                              {F(marginLevel), 100.0},
                              {F(currentLeverage), 0},
                              {F(equitySurplus), -600}});
    // Z0: a leverage given as 0 %.
    ExpectFields(Calc("Z0"), {{F(leverage), 0}, {F(creditCapacity), 0}});
    EXPECT_EQ(1, Calc("Z0").leverageGiven);

    // A line beginning with VOLUME (not the first line) adds the short value to C1's own limit.
    ASSERT_EQ(1, KRSetDliniFile("F1", (std::string(world::FirmText()) + "[X]\nvolume\n").c_str()));
    EXPECT_EQ(150 - 6, Calc("C1").ownBuyLimit);
}

int32_t KR_CALL NoMarginSecs(const KRMarginClassEntry*, uint32_t, uintptr_t) {
    return 0;
}

// A NaN figure goes out as the one quiet NaN, whatever sign and payload the price had.
TEST_F(RowTest, NaNFiguresGoOutAsTheOneQuietNaN) {
    AddSecLimit(Holding("F1", "PL", "GAZP").Current(1));
    const uint64_t negativeWithPayload = 0xFFF8000000000001ull;
    double nan;
    memcpy(&nan, &negativeWithPayload, sizeof nan);
    SetPrices(10, 102, 21.0, 20.0, 19.0, nan);
    const KRMarginalRow row = Calc("PL");
    uint64_t bits;
    memcpy(&bits, &row.currentValue, sizeof bits);
    EXPECT_EQ(0x7FF8000000000000ull, bits);
}

// Under interface version 1 the money records are 88 bytes and carry no leverage: it is
// computed, 10 / 5. Each row sits in a block of exactly its tag's size, so AddressSanitizer
// sees any export reach past the tag; a calculation that fails for an unknown parameter clears
// the outputs up to it.
TEST(RowSizes, NothingPastTheTagUnderVersion1) {
    host().paramIds.erase("BID");
    Market(KR_INTERFACE_V1);
    AddMoneyLimit(Funds("F1", "C1", "MB")
                      .Open(500)
                      .OpenLimit(1000)
                      .Current(-1200)
                      .Locked(300)
                      .LockedValue(100));
    for (bool known : {false, true}) {
        if (known) host().paramIds["BID"] = 2;
        for (uint32_t size : {KR_ROW_SIZE_248, KR_ROW_SIZE_264, KR_ROW_SIZE_272, KR_ROW_SIZE_280}) {
            SCOPED_TRACE(testing::Message() << size << (known ? "" : ", BID unknown"));
            const KRMarginalRow request = Row("F1", "C1", size);
            std::vector<uint8_t> block(size, 0x40); // outputs that are not 0
            memcpy(block.data(), &request, F(creditLag2));
            KRMarginalRow* row = reinterpret_cast<KRMarginalRow*>(block.data());
            row->leverageGiven = 1;
            uint32_t mi = 0, si = 0, c = 0, s = 0; // start indexes; class and security ids
            KRMarginalActv actv = Actv(10, 101);
            EXPECT_TRUE(KRInitMarginalRow(row) && KRGetMarginSecs(row, NoMarginSecs, 0) &&
                        KRIsMarginSeccode(row, "SBER", &c, &s) &&
                        KRIsAssetSeccode(row, "SBER", &c, &s) && KRInitMarginalActv(row, &actv));
            const int32_t calcs = KRCalcMarginalActv(row, &actv, 0.0) +
                                  KRCalcMarginalRowEx(row, &mi, &si) + KRCalcMarginalRow(row);
            const size_t zeros = std::count(block.begin() + F(moneyAvailable), block.end(), 0);
            EXPECT_EQ(known ? 3 : 0, calcs);
            EXPECT_EQ(0, row->leverageGiven);
            EXPECT_EQ(known ? 2.0 : 0.0, row->leverage);
            EXPECT_TRUE(known || zeros == size - F(moneyAvailable)); // cleared up to the tag
            EXPECT_TRUE(!known || size < KR_ROW_SIZE_264 || row->moneyLocked == 3);
            EXPECT_TRUE(!known || size < KR_ROW_SIZE_272 || row->currentLeverage == -1);
        }
    }
}
