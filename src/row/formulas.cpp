// How much a credit-lag-2 client may still spend: the smaller of what money and leverage allow
// and what the obligations falling due on settlement leave.
#include <string.h>

#include "row/row.h"

namespace kesvar {

namespace {

// The row's figures as both bounds use them.
struct Lag2Position {
    double leverage;          // 0 when the row's is not positive: no credit
    double equity;            // positive: a client without equity may buy nothing
    double equityWithSurplus; // equity plus the surplus (which may be negative)
    double surplus;           // the client's current funds over its equity; 0 from the actv
    // Money available and the (negative) short value, less what purchases have committed.
    double uncommittedMoney;
    // The short value less sales beyond the position held: zero or negative.
    double shortExposure;
    // Equity less what is held in, or committed to, securities that are assets only.
    double equityOutsideAssetOnly;
    double settlementDebt;
};

} // namespace

// What money and leverage allow: the largest of three candidates.
static double MoneyBound(const Lag2Position& p) {
    const double money = p.uncommittedMoney;
    double wholeMoney = 0.0;            // all the money, up to the equity
    double equityOverShortMargin = 0.0; // what the shorts leave of the equity at the leverage
    double leveragedBuy = 0.0;          // a purchase partly on credit, within the leverage
    if (p.leverage == 0) {
        // Without credit only the money itself counts, and only when no short is exposed.
        if (money >= 0 && p.shortExposure >= 0) wholeMoney = equityOverShortMargin = money;
    } else {
        if (money >= 0) {
            if (p.surplus <= 0 && money >= p.equityWithSurplus && p.shortExposure >= 0)
                wholeMoney = money < p.equity ? money : p.equity;
            equityOverShortMargin = ((p.shortExposure / p.leverage) + p.equity) + p.surplus;
            if (money < equityOverShortMargin) equityOverShortMargin = money;
            if (equityOverShortMargin < 0) equityOverShortMargin = 0.0;
        }
        if (p.equity > money) {
            // x balances the borrowed part, x - money, against the leverage on what is left of
            // the equity, equityWithSurplus - x, plus the short exposure.
            double x = (((p.equityWithSurplus * p.leverage) + money) + p.shortExposure) /
                       (p.leverage + 1.0);
            if (x > money) {
                leveragedBuy = x < p.equityWithSurplus ? x : p.equityWithSurplus;
                if (leveragedBuy < 0) leveragedBuy = 0.0;
            }
        }
    }
    double bound = wholeMoney > equityOverShortMargin ? wholeMoney : equityOverShortMargin;
    if (leveragedBuy > bound) bound = leveragedBuy;
    return bound;
}

// What the obligations falling due on settlement leave: the largest of three candidates.
static double SettlementBound(const Lag2Position& p) {
    if (p.leverage == 0) return p.equityOutsideAssetOnly - p.settlementDebt;
    const double afterSettlement = p.equityOutsideAssetOnly - p.settlementDebt;
    double wholeAfterSettlement = afterSettlement >= p.equityWithSurplus ? afterSettlement : 0.0;
    // What the settlement debt, carried at the leverage, leaves of the equity.
    double equityOverDebtMargin = p.equityWithSurplus - (p.settlementDebt / p.leverage);
    double withinEquity = p.equityOutsideAssetOnly < equityOverDebtMargin ? p.equityOutsideAssetOnly
                                                                          : equityOverDebtMargin;
    double x =
        (((p.equityWithSurplus * p.leverage) + p.equityOutsideAssetOnly) - p.settlementDebt) /
        (p.leverage + 1.0);
    double leveragedBuy = 0.0;
    if (x > equityOverDebtMargin) leveragedBuy = x < p.equityWithSurplus ? x : p.equityWithSurplus;
    double bound = withinEquity > leveragedBuy ? withinEquity : leveragedBuy;
    if (wholeAfterSettlement > bound) bound = wholeAfterSettlement;
    return bound;
}

double Lag2BuyLimit(const KRMarginalRow* row, double equitySurplus, TraceLag2Limit* trace) {
    if (row->equity <= 0) {
        if (trace) *trace = TraceLag2Limit{1, 0.0, 0.0, 0.0};
        return 0.0;
    }

    Lag2Position p;
    p.leverage = row->leverage > 0 ? row->leverage : 0.0;
    p.equity = row->equity;
    p.equityWithSurplus = row->equity + equitySurplus;
    p.surplus = equitySurplus;
    p.uncommittedMoney = (row->moneyAvailable + row->shortValue) - row->buyCommitment;
    p.shortExposure = row->shortValue - row->uncoveredSellValue;
    p.equityOutsideAssetOnly = (row->equity - row->longValueAsset) - row->buyCommitmentAsset;
    p.settlementDebt = row->settlementDebt;

    double money = MoneyBound(p);
    double settlement = SettlementBound(p);
    const double limit = money < settlement ? money : settlement;
    if (trace) *trace = TraceLag2Limit{0, money, settlement, limit};
    return limit;
}

} // namespace kesvar
