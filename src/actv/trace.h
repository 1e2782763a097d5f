// How an actv's maxBuy and maxSell came about, step by step, recorded for a caller that asks
// (the kesvar tool, through exports/internal.h). As for the row's record (row/trace.h), the
// calculation takes it as a pointer, null when nobody asks, and never reads it back.
#ifndef KESVAR_ACTV_TRACE_H
#define KESVAR_ACTV_TRACE_H

#include <stdint.h>
#include <string.h>

#include "row/trace.h"

namespace kesvar {

// What a step of maxBuy or maxSell stands for.
enum TraceBound {
    kBoundMarginBuyLimit = 1, // the row's marginBuyLimit
    kBoundOwnBuyLimit,        // the row's ownBuyLimit
    kBoundAssetBuyLimit,      // the row's assetBuyLimit
    kBoundFreeMoney,          // the row's moneyCurrent less moneyLocked
    kBoundLimitAfterCover,    // the credit-lag-2 buy limit once the short is bought back
    kBoundUncoveredShort,     // the short that pending buys do not cover
    kBoundCreditLimit,        // free money plus the opening limit (the firm caps credit)
    kBoundBuyCapacity,        // the row's buying capacity, carrying a short sale
    kBoundCapacityAfterSale,  // the buying capacity again, as if the position were sold
    kBoundSellableHeld,       // the position less locked sells
    kBoundOpenLimitSell,      // opening limit less locked sells plus the position
    kBoundLimitSell,          // current limit less locked sells plus the current balance
    kBoundNeverNegative       // a quantity is never below 0
};

// How a step acts on the figure.
enum TraceOp {
    kOpBase = 1,   // gives the figure
    kOpCap,        // the figure becomes the smaller of the two
    kOpFloor,      // the figure becomes the larger of the two
    kOpAlternative // compared in money with the base step's bound, and larger: not taken
};

// How a step's quantity follows from its numbers.
enum TraceRule {
    kRuleTrunc = 1,     // trunc(numerator / denominator)
    kRuleTruncPositive, // q = numerator / denominator; trunc(q) when q > 0, else 0
    kRuleAfterCover,    // q = numerator / denominator; trunc((q > 0 ? q : 0) + addend)
    kRuleShortable,     // q = numerator * (1 / denominator) + addend; q = (q > 0 ? q : 0);
                        // trunc(q + sellable)
    kRuleQuantity       // trunc(numerator): a quantity already
};

struct TraceStep {
    int32_t bound; // TraceBound
    int32_t op;    // TraceOp
    int32_t rule;  // TraceRule
    double money;  // the bound in money units; 0 for a bound that is a quantity
    double numerator;
    double denominator;
    double quotient; // numerator over denominator, as the rule computes it
    double addend;   // lots added to the quotient (rules AfterCover and Shortable)
    double sellable; // lots held and sellable (rule Shortable)
    int32_t quantity;
    int32_t result; // the figure after this step
};

const int32_t kTraceSteps = 8;

struct TraceQuantity {
    TraceStep steps[kTraceSteps];
    int32_t count;
};

// Which rule gave the base of maxBuy and maxSell.
enum TraceBuyCase {
    kBuyMarginAndAsset = 1, // credit lag 2, margin and asset: the margin buy limit per lot
    kBuyAsset,              // credit lag 2, asset only: the asset buy limit
    kBuyAssetCover,         // ... with an uncovered short: only its cover
    kBuyRestricted,         // credit lag 2, in no list, buying restricted: own money only
    kBuyRestrictedCover,    // ... with a short: only its cover
    kBuyOwnLimit,           // credit lag 2, otherwise: the own buy limit
    kBuyAfterCover,         // ... with a short: bought back first, then the limit
    kBuyLag1Margin,         // credit lag 1, margin security: the margin buy limit
    kBuyLag1Own             // credit lag 1, otherwise: the own buy limit
};
enum TraceSellCase {
    kSellShortable = 1, // credit lag 2, margin, short allowed: capacity carries a short
    kSellOutsideAssets, // ... a long outside the asset list: capacity as if sold
    kSellHeldOnly,      // credit lag 2, not margin or short restricted: what is held
    kSellLag1           // credit lag 1: the limit
};

struct ActvTrace {
    int32_t filled; // 1 once the calculation got past the prices
    int32_t creditLag2;
    int32_t isMargin, isAsset, isRestShort;
    int32_t restrictBuy, checkMaxCredit, rowSize;
    int32_t buyCase, sellCase; // TraceBuyCase, TraceSellCase
    double offer, bid, last, prev, lot;
    int32_t priceGiven;
    double givenPrice; // the host's price through FullPrice
    double buyPrice, sellPrice;
    // The client's limits of the security on ordinary accounts, summed.
    int32_t currentBalance, openLimit, currentLimit, lockedSell, lockedBuy;
    int32_t position;
    double uncoveredShort; // not positive
    double sellableHeld;
    double coverCost;          // kBuyAfterCover: money the cover spends (not positive)
    TraceLag2Limit afterCover; // kBuyAfterCover: the limit of the row once covered
    TraceQuantity buy, sell;
};

// The next step of `q`, cleared, or null when tracing is off or the record is full.
inline TraceStep* TraceAddStep(TraceQuantity* q, int32_t bound, int32_t op, int32_t rule) {
    if (q->count >= kTraceSteps) return nullptr;
    TraceStep* s = &q->steps[q->count++];
    memset(s, 0, sizeof *s);
    s->bound = bound;
    s->op = op;
    s->rule = rule;
    return s;
}

// A step whose quantity is numerator / denominator by `rule`.
inline void TraceSetQuotient(TraceStep* s, double money, double numerator, double denominator,
                             double quotient, int32_t quantity) {
    s->money = money;
    s->numerator = numerator;
    s->denominator = denominator;
    s->quotient = quotient;
    s->quantity = quantity;
    s->result = quantity;
}

// A step whose bound is a quantity already.
inline void TraceSetQuantity(TraceStep* s, double quantityAsDouble, int32_t quantity,
                             int32_t result) {
    s->numerator = quantityAsDouble;
    s->denominator = 1.0;
    s->quotient = quantityAsDouble;
    s->quantity = quantity;
    s->result = result;
}

} // namespace kesvar

#endif
