// How a row's figures came about, recorded for a caller that asks (the kesvar tool, through
// exports/internal.h). The calculation takes the record as a pointer, null when nobody asks:
// then it pays one null check per recording point. It only copies values it computes anyway,
// and never reads the record back, so the figures are the same either way.
#ifndef KESVAR_ROW_TRACE_H
#define KESVAR_ROW_TRACE_H

#include <stdint.h>

namespace kesvar {

// The two bounds of the credit-lag-2 buy limit: it is the smaller.
struct TraceLag2Limit {
    int32_t noEquity; // equity not positive: the limit is 0
    double moneyBound;
    double settlementBound;
    double limit;
};

struct RowTrace {
    int32_t filled;
    // Money sums in money units.
    double moneyCurrent, moneyLocked;
    double limitAndBalance; // credit lag 1: current limit plus current balance
    double collateralAtPrevPrice;
    double currentCollateral;        // before it is kept from going negative
    double currentCollateralCounted; // what the leverage applies to
    double equitySurplus;
    double uncommittedMoney;
    double creditAfterSettlement;
    int32_t volumeFlag;
    TraceLag2Limit ownLimit; // credit lag 2: ownBuyLimit's two bounds
};

} // namespace kesvar

#endif
