// The marginal row: money and positions of one client walked, valued and turned into leverage,
// equity, margin level and buying limits.
#include <stddef.h>
#include <string.h>

#include "host/host.h"
#include "links/membership.h"
#include "registry/registry.h"
#include "row/row.h"
#include "settings/settings.h"

namespace kesvar {

// Opening collateral below this (none, or negative) gives a leverage of 0 rather than a huge or
// negative one.
static const double kNoCollateral = kNoPrice;

namespace {

// The client's money limits summed, in hundredths of the money unit as the host keeps them.
struct MoneySums {
    // Every board that counts.
    double openBalance, openLimit, currentBalance, currentLimit, locked, lockedValue;
    // The client's own money: listed boards and additional repo boards, not additional limits.
    double ownOpenBalance, ownCurrentBalance;
};

// The same sums in money units.
struct Money {
    double open;
    double openLimit;
    double current;
    double locked;
    double lockedValue;
    double ownOpen;
    double ownCurrent;
};

// What the equity step hands on to the buying limits.
struct EquityFigures {
    // The current collateral on every account less the equity on the counting ones.
    double equitySurplus;
    // Money available and the (negative) short value, less what purchases have committed.
    double uncommittedMoney;
};

} // namespace

// Every output starts at 0; nothing at or past the size tag is touched.
static void ClearOutputs(KRMarginalRow* row, uint32_t size) {
    row->leverageGiven = 0;
    memset(reinterpret_cast<uint8_t*>(row) + offsetof(KRMarginalRow, moneyAvailable), 0,
           KR_ROW_SIZE_248 - offsetof(KRMarginalRow, moneyAvailable));
    if (size >= KR_ROW_SIZE_264) {
        row->moneyCurrent = 0.0;
        row->moneyLocked = 0.0;
    }
    if (size >= KR_ROW_SIZE_272) row->currentLeverage = 0.0;
    if (size >= KR_ROW_SIZE_280) row->equitySurplus = 0.0;
}

// Walks the client's money limits. Money on a board the firm does not list does not count.
static void SumMoneyLimits(KRMarginalRow* row, const FirmSettings* settings, const RowKey& key,
                           const WalkKey& walk, uint32_t* moneyIndex, MoneySums* sums) {
    memset(sums, 0, sizeof *sums);
    uint32_t i = StartMoneyWalk(key.firmId, key.clientCode, moneyIndex);
    MoneyLimit limit;
    while (NextMoneyLimit(&i, walk, &limit)) {
        const int32_t board = BoardKind(settings, limit.tag);
        if (board == NotCounted) continue;
        sums->openBalance += limit.openBalance;
        sums->openLimit += limit.openLimit;
        sums->currentBalance += limit.currentBalance;
        sums->currentLimit += limit.currentLimit;
        sums->locked += limit.locked;
        sums->lockedValue += limit.lockedValue;
        if (board == Ordinary || board == AddRepo) {
            sums->ownOpenBalance += limit.openBalance;
            sums->ownCurrentBalance += limit.currentBalance;
        }
        // Under interface version 2 the host may fix the leverage; the first such record wins.
        if (board == Ordinary && !row->leverageGiven && InterfaceVersion() >= KR_INTERFACE_V2 &&
            limit.leveragePercent >= 0) {
            row->leverage = limit.leveragePercent * 0.01;
            row->leverageGiven = 1;
        }
    }
    if (moneyIndex) *moneyIndex = i;
}

// The sums are scaled once they are complete, not record by record.
static void MoneyOf(const MoneySums& sums, Money* money) {
    money->open = sums.openBalance * 0.01;
    money->openLimit = sums.openLimit * 0.01;
    money->current = sums.currentBalance * 0.01;
    money->locked = sums.locked * 0.01;
    money->lockedValue = sums.lockedValue * 0.01;
    money->ownOpen = sums.ownOpenBalance * 0.01;
    money->ownCurrent = sums.ownCurrentBalance * 0.01;
}

// Walks the client's securities limits; each position adds its values to the row. Each
// record's prices are read before the next record is asked for.
static void ValuePositions(KRMarginalRow* row, const FirmSettings* settings, const RowKey& key,
                           const WalkKey& walk, uint32_t* secIndex, ValuationSums* sums) {
    sums->collateralOpen = 0.0;
    sums->collateralOpenAll = 0.0;
    sums->shortNow = 0.0;
    sums->longNow = 0.0;
    uint32_t i = StartSecWalk(key.firmId, key.clientCode, "", secIndex);
    PositionLists lists; // the bound record's lists, found once for every position
    PreparePositionLists(settings, &lists);
    SecLimit limit;
    while (NextSecLimit(&i, walk, &limit))
        ValueSecLimit(settings, lists, limit, row, sums);
    if (secIndex) *secIndex = i;
}

static void TraceMoney(const Money& money, RowTrace& t) {
    t.moneyCurrent = money.current;
    t.moneyLocked = money.locked;
}

static void SetLeverageAndCollateral(KRMarginalRow* row, const Money& money,
                                     const ValuationSums& sums) {
    row->openCollateral = money.ownOpen + sums.collateralOpenAll;
    // The leverage is the opening limit against the opening collateral: the opening money and
    // the weighted opening positions of the counting accounts (not openValue, which is
    // unweighted and takes every account).
    const double collateralAtPrevPrice = money.open + sums.collateralOpen;
    if (!row->leverageGiven)
        row->leverage =
            collateralAtPrevPrice < kNoCollateral ? 0.0 : money.openLimit / collateralAtPrevPrice;
    row->openLimitTotal = money.openLimit;
}

static EquityFigures SetEquityAndCapacities(KRMarginalRow* row, const Money& money,
                                            const ValuationSums& sums, RowTrace* trace) {
    EquityFigures out;
    row->moneyAvailable = money.ownCurrent - money.lockedValue;
    row->equity = (row->shortValue + row->longValue) + row->moneyAvailable;
    // The credit is granted on the current money and positions of every account.
    double currentCollateral = ((money.current - money.lockedValue) + sums.longNow) + sums.shortNow;
    out.equitySurplus = currentCollateral - row->equity;
    // With equity of its own the client's credit goes no lower than 0; without, negative
    // collateral makes it negative.
    if (trace) trace->currentCollateral = currentCollateral;
    if (row->equity >= 0 && currentCollateral < 0) currentCollateral = 0.0;
    row->creditCapacity = row->leverage * currentCollateral;
    out.uncommittedMoney = (row->shortValue + row->moneyAvailable) - row->buyCommitment;
    // Money short of the commitments comes off the buying capacity.
    row->buyCapacity = ((row->creditCapacity + row->shortValue) - row->uncoveredSellValue) +
                       (out.uncommittedMoney < 0 ? out.uncommittedMoney : 0.0);
    row->buyCapacityCopy = row->buyCapacity;
    if (trace) {
        trace->currentCollateralCounted = currentCollateral;
        trace->equitySurplus = out.equitySurplus;
        trace->uncommittedMoney = out.uncommittedMoney;
    }
    return out;
}

// The margin level in percent: the client's own worth against its long assets and money.
static void SetMarginLevel(KRMarginalRow* row, const Money& money) {
    const double ownMoneyHeld = money.ownCurrent > 0 ? money.ownCurrent : 0.0;
    const double ownWorth = (row->shortValue + row->longValue) + money.ownCurrent;
    if (row->longValue + ownMoneyHeld > 0)
        row->marginLevel = (ownWorth / (row->longValue + ownMoneyHeld)) * 100.0;
    else
        row->marginLevel = ownWorth < 0 ? -99.0 : 100.0;
}

// Credit lag 2: today's trades settle later, so what falls due is taken off first.
static void SetLag2Limits(KRMarginalRow* row, const EquityFigures& equity, RowTrace* trace) {
    row->marginBuyLimit =
        row->buyCapacity + (equity.uncommittedMoney > 0 ? equity.uncommittedMoney : 0.0);
    row->settlementDebt = ((row->uncoveredSellValue - row->shortValue) + row->buyCommitmentMargin) +
                          row->longValueMargin;
    const double creditAfterSettlement = row->creditCapacity - row->settlementDebt;
    row->assetBuyLimit =
        ((row->equity + (creditAfterSettlement < 0 ? creditAfterSettlement : 0.0)) -
         row->longValueAsset) -
        row->buyCommitmentAsset;
    // Reads the fields above.
    row->ownBuyLimit = Lag2BuyLimit(row, equity.equitySurplus, trace ? &trace->ownLimit : nullptr);
    if (trace) trace->creditAfterSettlement = creditAfterSettlement;
}

// Credit lag 1: the money limits themselves say what may be spent.
static void SetLag1Limits(KRMarginalRow* row, const FirmSettings* settings, const MoneySums& sums,
                          const Money& money, RowTrace* trace) {
    const double limitAndBalance = (sums.currentLimit + sums.currentBalance) * 0.01;
    row->marginBuyLimit = limitAndBalance - money.locked;
    if (trace) {
        trace->limitAndBalance = limitAndBalance;
        trace->volumeFlag = FirmOf(settings)->volumeFlag != 0;
    }
    row->ownBuyLimit = money.current - money.locked;
    if (FirmOf(settings)->volumeFlag) row->ownBuyLimit = row->ownBuyLimit + row->shortValue;
}

// The fields that only the longer row versions have.
static void SetLongRowFields(KRMarginalRow* row, uint32_t size, double equitySurplus) {
    if (size >= KR_ROW_SIZE_272)
        row->currentLeverage = row->marginLevel <= 0 ? -1.0 : (100.0 / row->marginLevel) - 1.0;
    if (size >= KR_ROW_SIZE_280) row->equitySurplus = equitySurplus;
}

// Every figure the row holds, from moneyAvailable to the size tag, goes out with one NaN.
static void CanonicalNaNs(KRMarginalRow* row, uint32_t size) {
    uint8_t* bytes = reinterpret_cast<uint8_t*>(row);
    for (uint32_t at = offsetof(KRMarginalRow, moneyAvailable); at + 8 <= size; at += 8) {
        double figure;
        memcpy(&figure, bytes + at, sizeof figure);
        figure = HostFigure(figure);
        memcpy(bytes + at, &figure, sizeof figure);
    }
}

int32_t CalcRow(KRMarginalRow* row, const FirmSettings* settings, uint32_t* moneyIndex,
                uint32_t* secIndex, RowTrace* trace) {
    const uint32_t size = row->size;
    ClearOutputs(row, size);
    if (trace) memset(trace, 0, sizeof *trace);
    // Parameter ids come before any limit callback.
    if (!ResolveParamIds(AnyFaceValueClass())) return KR_ERR_PARAM_UNKNOWN;

    // The host's fields may lack their NUL; the walks compare against terminated copies.
    RowKey key;
    RowKeyOf(row, &key);
    WalkKey walk; // both walks keep to the row's firm and client
    PrepareWalkKey(key.firmId, key.clientCode, nullptr, &walk);

    MoneySums moneySums;
    SumMoneyLimits(row, settings, key, walk, moneyIndex, &moneySums);
    Money money;
    MoneyOf(moneySums, &money);
    if (trace) TraceMoney(money, *trace);

    // Money alone so far; the positions add their values.
    row->openValue = money.open;
    row->currentValue = money.current;
    if (size >= KR_ROW_SIZE_264) {
        row->moneyCurrent = money.ownCurrent;
        row->moneyLocked = money.locked;
    }
    ValuationSums sums;
    ValuePositions(row, settings, key, walk, secIndex, &sums);

    SetLeverageAndCollateral(row, money, sums);
    const EquityFigures equity = SetEquityAndCapacities(row, money, sums, trace);
    SetMarginLevel(row, money);
    row->lockedValueTotal = money.lockedValue;
    if (row->creditLag2 == 1)
        SetLag2Limits(row, equity, trace);
    else
        SetLag1Limits(row, settings, moneySums, money, trace);
    SetLongRowFields(row, size, equity.equitySurplus);
    CanonicalNaNs(row, size);
    if (trace) {
        trace->collateralAtPrevPrice = money.open + sums.collateralOpen;
        trace->filled = 1;
    }
    return KR_ERR_NONE;
}

} // namespace kesvar
