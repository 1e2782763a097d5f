// The marginal row: binding, prices and valuation helpers, portfolio valuation, the credit-lag-2
// buy limit and the row calculation.
#ifndef KESVAR_ROW_ROW_H
#define KESVAR_ROW_ROW_H

#include "state/state.h"
#include "row/trace.h"

namespace kesvar {

struct FirmSettings;

// KRInitMarginalRow's work: KR_ERR_NONE, or KR_ERR_NO_SETTINGS (row left unbound).
int32_t BindRow(KRMarginalRow* row);

// A host price below this counts as absent.
const double kNoPrice = 1e-8;

// Prices and valuation helpers.
double FullPrice(int32_t secIndex, double price);
// A security's prices as the calculation uses them, and its lot multiplier.
struct Prices {
    double offer, bid, last, prev, lot;
};
// False when the host has neither a previous nor a last price.
bool SecurityPrices(const FirmSettings* settings, int32_t secIndex, Prices* out);
bool PositionPrice(int32_t secIndex, int32_t quantity, double* price);
double LotMultiplier(const FirmSettings* settings, int32_t secIndex);

// The running sums of one securities-limit walk, weighted by the firm's security weights.
struct ValuationSums {
    // Opening shorts and opening longs in assets, at the previous price, counting accounts only.
    double collateralOpen;
    // The same on every account.
    double collateralOpenAll;
    // Current shorts at the offer (negative) and current longs in assets at the bid, every
    // account.
    double shortNow;
    double longNow;
};

struct SecLimit;
struct PositionLists;
// `lists` are the record's lists, prepared once for the walk (PreparePositionLists).
void ValueSecLimit(const FirmSettings* settings, const PositionLists& lists, const SecLimit& limit,
                   KRMarginalRow* row, ValuationSums* sums);

// What a credit-lag-2 client may still spend, from the row's figures and the surplus of its
// current funds over its equity. Reads only the first 216 bytes of the row. Records its two
// bounds into `trace` unless it is null.
double Lag2BuyLimit(const KRMarginalRow* row, double equitySurplus, TraceLag2Limit* trace);

// KRCalcMarginalRow(Ex)'s work on a bound row: KR_ERR_NONE or KR_ERR_PARAM_UNKNOWN. Records
// into `trace` unless it is null.
int32_t CalcRow(KRMarginalRow* row, const FirmSettings* settings, uint32_t* moneyIndex,
                uint32_t* secIndex, RowTrace* trace);

} // namespace kesvar

#endif
