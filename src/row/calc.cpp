// The marginal row: money and positions of one client walked, valued and turned into leverage,
// equity, margin level and buying limits.
#include <string.h>

#include "frame/host.h"
#include "row/row.h"
#include "settings/settings.h"

namespace kesvar {

int32_t CalcRow(KRMarginalRow* row, const FirmSettings* binding, uint32_t* moneyIndex,
                uint32_t* secIndex) {
    // Every output starts at 0; nothing at or past the size tag is touched.
    row->leverageGiven = 0;
    memset(reinterpret_cast<uint8_t*>(row) + offsetof(KRMarginalRow, moneyAvailable), 0,
           KR_ROW_SIZE_248 - offsetof(KRMarginalRow, moneyAvailable));
    const uint32_t size = row->size;
    if (size >= KR_ROW_SIZE_264) {
        row->moneyCurrent = 0.0;
        row->moneyLocked = 0.0;
    }
    if (size >= KR_ROW_SIZE_272) row->currentLeverage = 0.0;
    if (size >= KR_ROW_SIZE_280) row->equitySurplus = 0.0;

    // Parameter ids come before any limit callback.
    if (!ResolveParamIds()) return KR_ERR_PARAM_UNKNOWN;

    // The host's fields may lack their NUL; the walks compare against terminated copies.
    RowKey key;
    RowKeyOf(row, &key);
    const char* firmId = key.firmId;
    const char* clientCode = key.clientCode;

    // Money limits; board kind 0 does not count, kinds 1 and 3 are the client's own money.
    double M40 = 0, M48 = 0, M56 = 0, M64 = 0, M72 = 0, M80 = 0, N40 = 0, N56 = 0;
    uint32_t i = StartMoneyWalk(firmId, clientCode, moneyIndex);
    MoneyLimit m;
    while (NextMoneyLimit(&i, firmId, clientCode, &m)) {
        int32_t k = BoardKind(binding, m.tag);
        if (k == 0) continue;
        M40 += m.openBalance;
        M48 += m.openLimit;
        M56 += m.currentBalance;
        M64 += m.currentLimit;
        M72 += m.locked;
        M80 += m.lockedValue;
        if (k == 1 || k == 3) {
            N40 += m.openBalance;
            N56 += m.currentBalance;
        }
        // Under interface version 2 the host may fix the leverage; the first such record wins.
        if (k == 1 && !row->leverageGiven && gState.interfaceVersion >= 2 &&
            m.leveragePercent >= 0) {
            row->leverage = m.leveragePercent * 0.01;
            row->leverageGiven = 1;
        }
    }
    if (moneyIndex) *moneyIndex = i;

    const double OM = M40 * 0.01, OL = M48 * 0.01, CM = M56 * 0.01, LK = M72 * 0.01,
                 LV = M80 * 0.01, OM13 = N40 * 0.01, CM13 = N56 * 0.01;

    // Money alone so far; the positions add their values.
    row->openValue = OM;
    row->currentValue = CM;
    if (size >= KR_ROW_SIZE_264) {
        row->moneyCurrent = CM13;
        row->moneyLocked = LK;
    }

    // Positions; each record's prices are read before the next record is asked for.
    ValuationSums sums = {0.0, 0.0, 0.0, 0.0};
    uint32_t j = StartSecWalk(firmId, clientCode, "", secIndex);
    SecLimit s;
    while (NextSecLimit(&j, firmId, clientCode, nullptr, &s))
        ValueSecLimit(binding, s, row, &sums);
    if (secIndex) *secIndex = j;

    // Collateral and leverage.
    row->openCollateral = OM13 + sums.collateralOpenAll;
    const double T = OM + sums.collateralOpen;
    if (!row->leverageGiven) row->leverage = T < kNoPrice ? 0.0 : OL / T;
    row->openLimitTotal = OL;

    // Money and equity.
    row->moneyAvailable = CM13 - LV;
    row->equity = (row->shortValue + row->longValue) + row->moneyAvailable;
    double X = ((CM - LV) + sums.longNow) + sums.shortNow;
    const double Y = X - row->equity;
    if (row->equity >= 0 && X < 0) X = 0.0;
    row->creditCapacity = row->leverage * X;
    const double Z = (row->shortValue + row->moneyAvailable) - row->buyCommitment;
    row->buyCapacity =
        ((row->creditCapacity + row->shortValue) - row->uncoveredSellValue) + (Z < 0 ? Z : 0.0);
    row->buyCapacityCopy = row->buyCapacity;

    // Margin level in percent.
    const double G = CM13 > 0 ? CM13 : 0.0;
    const double V = (row->shortValue + row->longValue) + CM13;
    if (row->longValue + G > 0)
        row->marginLevel = (V / (row->longValue + G)) * 100.0;
    else
        row->marginLevel = V < 0 ? -99.0 : 100.0;

    row->lockedValueTotal = LV;

    if (row->creditLag2 == 1) {
        // Settlement of today's trades comes due later.
        row->marginBuyLimit = row->buyCapacity + (Z > 0 ? Z : 0.0);
        row->settlementDebt =
            ((row->uncoveredSellValue - row->shortValue) + row->buyCommitmentMargin) +
            row->longValueMargin;
        const double W = row->creditCapacity - row->settlementDebt;
        row->assetBuyLimit =
            ((row->equity + (W < 0 ? W : 0.0)) - row->longValueAsset) - row->buyCommitmentAsset;
        row->ownBuyLimit = Lag2BuyLimit(row, Y);
    } else {
        row->marginBuyLimit = ((M64 + M56) * 0.01) - LK;
        row->ownBuyLimit = CM - LK;
        if (binding->volumeFlag) row->ownBuyLimit = row->ownBuyLimit + row->shortValue;
    }

    // Fields of the longer row versions.
    if (size >= KR_ROW_SIZE_272)
        row->currentLeverage = row->marginLevel <= 0 ? -1.0 : (100.0 / row->marginLevel) - 1.0;
    if (size >= KR_ROW_SIZE_280) row->equitySurplus = Y;
    return KR_ERR_NONE;
}

} // namespace kesvar
