// The figures of one position: quantity held, what may still be bought and sold, and its value.
#include <math.h>
#include <string.h>

#include "actv/actv.h"
#include "actv/trace.h"
#include "host/host.h"
#include "arith/int32.h"
#include "registry/registry.h"
#include "row/row.h"
#include "settings/settings.h"

namespace kesvar {

namespace {

inline int32_t MinI(int32_t a, int32_t b) {
    return b < a ? b : a;
}
inline int32_t MaxI(int32_t a, int32_t b) {
    return b > a ? b : a;
}
inline double MinD(double a, double b) {
    return b < a ? b : a;
}

// The results of one calculation; written into the actv only once they are all known.
struct Figures {
    int32_t position;
    int32_t maxBuy;
    int32_t maxSell;
};

// The client's current money less what is locked. Only the longer row versions carry it.
inline double FreeMoney(const KRMarginalRow* row) {
    return row->moneyCurrent - row->moneyLocked;
}

// The next step of maxBuy or maxSell, cleared; null when tracing is off or the record is full.
inline TraceStep* BuyStep(ActvTrace* t, int32_t bound, int32_t op, int32_t rule) {
    return t ? TraceAddStep(&t->buy, bound, op, rule) : nullptr;
}
inline TraceStep* SellStep(ActvTrace* t, int32_t bound, int32_t op, int32_t rule) {
    return t ? TraceAddStep(&t->sell, bound, op, rule) : nullptr;
}

// Records the case of maxBuy and the step that gives its base; the step, or null.
inline TraceStep* TraceBuyBase(ActvTrace* t, int32_t buyCase, int32_t bound, int32_t rule,
                               double money, double numerator, double denominator, double quotient,
                               int32_t qty) {
    if (!t) return nullptr;
    t->buyCase = buyCase;
    TraceStep* s = TraceAddStep(&t->buy, bound, kOpBase, rule);
    if (s) TraceSetQuotient(s, money, numerator, denominator, quotient, qty);
    return s;
}

// Records the money bound that lost to the base (rule TruncPositive), and the figure.
inline void TraceBuyAlternative(ActvTrace* t, int32_t bound, double money, double unitCost,
                                int32_t result) {
    if (TraceStep* s = BuyStep(t, bound, kOpAlternative, kRuleTruncPositive)) {
        const double qty = money / unitCost;
        TraceSetQuotient(s, money, money, unitCost, qty, qty > 0.0 ? TruncToInt32(qty) : 0);
        s->result = result;
    }
}

// Records a base that is a quantity already (a cover, the position).
inline void TraceQuantityBase(TraceQuantity* q, int32_t bound, int32_t qty) {
    if (TraceStep* s = TraceAddStep(q, bound, kOpBase, kRuleQuantity))
        TraceSetQuantity(s, double(qty), qty, qty);
}

// Records a cap or floor that is a quantity, and the figure after it.
inline void TraceQuantityStep(TraceStep* s, double qty, int32_t result) {
    if (s) TraceSetQuantity(s, qty, TruncToInt32(qty), result);
}

// Only the uncovered short may be bought: its cover.
int32_t CoverOnly(double uncoveredShort, int32_t buyCase, ActvTrace* t) {
    const int32_t cover = TruncToInt32(-uncoveredShort);
    if (t) {
        t->buyCase = buyCase;
        TraceQuantityBase(&t->buy, kBoundUncoveredShort, cover);
    }
    return cover;
}

// A short is first bought back, on a working copy of the row: the cover spends money and takes
// the short's value and its settlement debt off. What the buy limit then allows comes on top of
// the cover.
int32_t MaxBuyAfterCover(const KRMarginalRow* row, double offer, double lot, double price,
                         double uncoveredShort, ActvTrace* t) {
    const double coverCost = (uncoveredShort * offer) * lot; // not positive
    KRMarginalRow afterCover;
    memset(&afterCover, 0, sizeof afterCover);
    memcpy(&afterCover, row, KR_ROW_SIZE_248);
    afterCover.moneyAvailable = afterCover.moneyAvailable + coverCost;
    afterCover.shortValue = afterCover.shortValue - coverCost;
    afterCover.settlementDebt = afterCover.settlementDebt + coverCost;
    const double limit = Lag2BuyLimit(&afterCover, 0.0, t ? &t->afterCover : nullptr);
    double qty = limit / (lot * price);
    double qtyOrNone = qty > 0.0 ? qty : 0.0;
    const int32_t maxBuy = TruncToInt32(qtyOrNone - uncoveredShort);
    if (t) t->coverCost = coverCost;
    if (TraceStep* s = TraceBuyBase(t, kBuyAfterCover, kBoundLimitAfterCover, kRuleAfterCover,
                                    limit, limit, lot * price, qty, maxBuy))
        s->addend = -uncoveredShort;
    return maxBuy;
}

// Credit lag 2: what may be bought at `price`, by the security's lists; the first case that
// applies.
int32_t Lag2MaxBuy(const KRMarginalRow* row, const FirmSettings* settings,
                   const KRMarginalActv* actv, int32_t held, double offer, double lot, double price,
                   double uncoveredShort, ActvTrace* t) {
    if (actv->isMargin == 1 && actv->isAsset == 1) {
        // The margin buy limit per lot, with the value of a short at the offer added back.
        double marginMoney = (row->marginBuyLimit / lot) - double(MinI(held, 0)) * offer;
        if (!(marginMoney > 0.0)) marginMoney = 0.0;
        const double money = marginMoney - uncoveredShort * offer;
        const double qty = money / price;
        const int32_t maxBuy = TruncToInt32(qty);
        TraceBuyBase(t, kBuyMarginAndAsset, kBoundMarginBuyLimit, kRuleTrunc, row->marginBuyLimit,
                     money, price, qty, maxBuy);
        return maxBuy;
    }
    if (actv->isAsset == 1) {
        // An uncovered short is bought back before anything else.
        if (uncoveredShort < 0.0) return CoverOnly(uncoveredShort, kBuyAssetCover, t);
        const double qty = row->assetBuyLimit / (lot * price);
        const int32_t maxBuy = TruncToInt32(qty);
        TraceBuyBase(t, kBuyAsset, kBoundAssetBuyLimit, kRuleTrunc, row->assetBuyLimit,
                     row->assetBuyLimit, lot * price, qty, maxBuy);
        return maxBuy;
    }
    if (actv->isMargin == 0 && actv->isAsset == 0 && RestrictBuyOf(settings) == 1 &&
        row->size >= KR_ROW_SIZE_264) {
        // A security in neither list, for a client that may buy such only with money it has.
        if (held < 0) return CoverOnly(uncoveredShort, kBuyRestrictedCover, t);
        const double freeMoney = FreeMoney(row);
        const bool ownLimitSmaller = row->ownBuyLimit < freeMoney;
        double money = ownLimitSmaller ? row->ownBuyLimit : freeMoney;
        double qty = money / (lot * price);
        const int32_t maxBuy = qty > 0.0 ? TruncToInt32(qty) : 0;
        TraceBuyBase(t, kBuyRestricted, ownLimitSmaller ? kBoundOwnBuyLimit : kBoundFreeMoney,
                     kRuleTruncPositive, money, money, lot * price, qty, maxBuy);
        TraceBuyAlternative(t, ownLimitSmaller ? kBoundFreeMoney : kBoundOwnBuyLimit,
                            ownLimitSmaller ? freeMoney : row->ownBuyLimit, lot * price, maxBuy);
        return maxBuy;
    }
    if (held >= 0) {
        double qty = row->ownBuyLimit / (lot * price);
        const int32_t maxBuy = qty > 0.0 ? TruncToInt32(qty) : 0;
        TraceBuyBase(t, kBuyOwnLimit, kBoundOwnBuyLimit, kRuleTruncPositive, row->ownBuyLimit,
                     row->ownBuyLimit, lot * price, qty, maxBuy);
        return maxBuy;
    }
    return MaxBuyAfterCover(row, offer, lot, price, uncoveredShort, t);
}

// Records the base of maxSell when a buying capacity carries a short sale.
inline void TraceSellShortable(ActvTrace* t, int32_t sellCase, int32_t bound, double capacity,
                               double unitValue, double capacityQty, double repaid,
                               double sellableHeld, int32_t maxSell) {
    if (!t) return;
    t->sellCase = sellCase;
    if (TraceStep* s = TraceAddStep(&t->sell, bound, kOpBase, kRuleShortable)) {
        // The quotient is the capacity times the lots per money unit, 1 / unitValue.
        TraceSetQuotient(s, capacity, capacity, unitValue, capacityQty, maxSell);
        s->addend = repaid;
        s->sellable = sellableHeld;
    }
}

// A long position outside the asset list: the row did not count it as collateral, so the
// buying capacity is worked out again as if it were sold at the bid.
int32_t MaxSellOutsideAssets(const KRMarginalRow* row, int32_t held, double bid, double lot,
                             double unitValue, double qtyPerMoney, double sellableHeld,
                             ActvTrace* t) {
    const double surplus = row->size >= KR_ROW_SIZE_280 ? row->equitySurplus : 0.0;
    double moneyAfterSale = ((double(held) * bid) * lot) + row->moneyAvailable;
    double equityAfterSale = (row->longValue + moneyAfterSale) + row->shortValue;
    double collateral = equityAfterSale + surplus;
    if (collateral < 0.0 && !(equityAfterSale < 0.0)) collateral = 0.0;
    double credit = row->leverage * collateral;
    double moneyAndShorts = moneyAfterSale + row->shortValue;
    double uncommittedMoney = moneyAndShorts - row->buyCommitment;
    double shortfall = uncommittedMoney < 0.0 ? uncommittedMoney : 0.0;
    double buyCapacity = ((credit + row->shortValue) - row->uncoveredSellValue) + shortfall;
    // What selling the position repays of negative money, at most the position.
    double repaid = fabs(MinD(moneyAndShorts, 0.0) * qtyPerMoney);
    if (!(repaid < double(held))) repaid = double(held);
    const double capacityQty = buyCapacity * qtyPerMoney;
    double shortable = repaid + capacityQty;
    if (!(shortable > 0.0)) shortable = 0.0;
    const int32_t maxSell = TruncToInt32(shortable + sellableHeld);
    TraceSellShortable(t, kSellOutsideAssets, kBoundCapacityAfterSale, buyCapacity, unitValue,
                       capacityQty, repaid, sellableHeld, maxSell);
    return maxSell;
}

// Credit lag 2: what may be sold at `price`. A margin security that may be shorted may be sold
// beyond the position, as far as the buying capacity carries the short.
int32_t Lag2MaxSell(const KRMarginalRow* row, const KRMarginalActv* actv, int32_t held, double bid,
                    double lot, double price, double sellableHeld, ActvTrace* t) {
    if (!(actv->isMargin == 1 && actv->isRestShort == 0)) {
        const int32_t maxSell = TruncToInt32(sellableHeld);
        if (t) {
            t->sellCase = kSellHeldOnly;
            TraceQuantityBase(&t->sell, kBoundSellableHeld, maxSell);
        }
        return maxSell;
    }

    // A short is valued at the price, never below the bid.
    double unitValue = (price > bid ? price : bid) * lot;
    double qtyPerMoney = 1.0 / unitValue;
    if (actv->isAsset == 1 || held <= 0) {
        double moneyAndShorts = row->shortValue + row->moneyAvailable;
        // What selling a long repays of negative money, at most the long.
        double repaid = fabs(MinD(moneyAndShorts, 0.0) * qtyPerMoney);
        double heldLong = double(MaxI(held, 0));
        if (!(repaid < heldLong)) repaid = heldLong;
        const double capacityQty = row->buyCapacityCopy * qtyPerMoney;
        double shortable = capacityQty + repaid;
        if (!(shortable > 0.0)) shortable = 0.0;
        const int32_t maxSell = TruncToInt32(shortable + sellableHeld);
        TraceSellShortable(t, kSellShortable, kBoundBuyCapacity, row->buyCapacityCopy, unitValue,
                           capacityQty, repaid, sellableHeld, maxSell);
        return maxSell;
    }
    return MaxSellOutsideAssets(row, held, bid, lot, unitValue, qtyPerMoney, sellableHeld, t);
}

// Credit lag 2: the position, and what may be bought (at the offer) and sold (at the bid)
// under the margin rules. `price` is the host's converted price, when it gave one.
Figures Lag2Figures(const KRMarginalRow* row, const FirmSettings* settings,
                    const KRMarginalActv* actv, const LimitSums& sums, bool priceGiven,
                    double price, const Prices& prices, ActvTrace* t) {
    const double offer = prices.offer, bid = prices.bid, lot = prices.lot;
    Figures out;
    const int32_t held = sums.currentBalance;
    out.position = held;
    // The short part that pending buy orders do not already cover (zero or negative).
    const double uncoveredShort = double(MinI(WrapAdd(MinI(held, 0), sums.lockedBuy), 0));

    const double buyPrice = priceGiven ? price : offer;
    if (t) {
        t->buyPrice = buyPrice;
        t->uncoveredShort = uncoveredShort;
    }
    out.maxBuy = Lag2MaxBuy(row, settings, actv, held, offer, lot, buyPrice, uncoveredShort, t);
    // The firm may cap buying at the client's free money and its opening limit.
    if (CheckMaxCreditOf(settings) != 0 && row->leverageGiven == 0 && row->openLimitTotal > 0.0 &&
        row->size >= KR_ROW_SIZE_264) {
        const double creditMoney = FreeMoney(row) + row->openLimitTotal;
        const double creditLots = creditMoney / (lot * buyPrice);
        int32_t creditQty = TruncToInt32(creditLots);
        out.maxBuy = MinI(out.maxBuy, creditQty);
        if (TraceStep* s = BuyStep(t, kBoundCreditLimit, kOpCap, kRuleTrunc)) {
            TraceSetQuotient(s, creditMoney, creditMoney, lot * buyPrice, creditLots, creditQty);
            s->result = out.maxBuy;
        }
    }
    // Buying back the uncovered short is always allowed.
    out.maxBuy = MaxI(out.maxBuy, TruncToInt32(-uncoveredShort));
    TraceQuantityStep(BuyStep(t, kBoundUncoveredShort, kOpFloor, kRuleQuantity), -uncoveredShort,
                      out.maxBuy);

    const double sellPrice = priceGiven ? price : bid;
    // The position less what sell orders have locked, never negative.
    const double sellableHeld = double(MaxI(WrapSub(held, sums.lockedSell), 0));
    if (t) {
        t->sellPrice = sellPrice;
        t->sellableHeld = sellableHeld;
    }
    out.maxSell = Lag2MaxSell(row, actv, held, bid, lot, sellPrice, sellableHeld, t);
    // The firm may cap selling at the opening limit and the position, less what is locked.
    if (CheckMaxCreditOf(settings) != 0 && sums.openLimit > 0) {
        const int32_t openLimitQty = WrapAdd(WrapSub(sums.openLimit, sums.lockedSell), held);
        out.maxSell = MinI(out.maxSell, openLimitQty);
        TraceQuantityStep(SellStep(t, kBoundOpenLimitSell, kOpCap, kRuleQuantity),
                          double(openLimitQty), out.maxSell);
    }
    // What is held and not locked may always be sold.
    out.maxSell = MaxI(out.maxSell, TruncToInt32(sellableHeld));
    TraceQuantityStep(SellStep(t, kBoundSellableHeld, kOpFloor, kRuleQuantity), sellableHeld,
                      out.maxSell);
    return out;
}

// Credit lag 1: the purchasing power is read straight from the row, and the position includes
// the change of its limit since the opening.
Figures Lag1Figures(const KRMarginalRow* row, const KRMarginalActv* actv, const LimitSums& sums,
                    bool priceGiven, double price, const Prices& prices, ActvTrace* t) {
    const double offer = prices.offer, lot = prices.lot;
    Figures out;
    out.position = WrapAdd(WrapSub(sums.currentLimit, sums.openLimit), sums.currentBalance);
    const double buyPrice = priceGiven ? price : offer;
    const double buyMoney = actv->isMargin == 1 ? row->marginBuyLimit : row->ownBuyLimit;
    const double buyLots = buyMoney / (lot * buyPrice);
    out.maxBuy = TruncToInt32(buyLots);
    const int32_t limitQty =
        WrapAdd(WrapSub(sums.currentLimit, sums.lockedSell), sums.currentBalance);
    out.maxSell = MaxI(limitQty, 0);
    if (t) {
        t->buyPrice = buyPrice;
        TraceBuyBase(t, actv->isMargin == 1 ? kBuyLag1Margin : kBuyLag1Own,
                     actv->isMargin == 1 ? kBoundMarginBuyLimit : kBoundOwnBuyLimit, kRuleTrunc,
                     buyMoney, buyMoney, lot * buyPrice, buyLots, out.maxBuy);
        t->sellCase = kSellLag1;
        TraceQuantityBase(&t->sell, kBoundLimitSell, limitQty);
    }
    return out;
}

// What the calculation starts from, for the trace.
void TraceActvInputs(ActvTrace& t, const KRMarginalRow* row, const FirmSettings* settings,
                     const KRMarginalActv* actv, const LimitSums& sums, bool priceGiven,
                     double givenPrice, const Prices& prices) {
    t.creditLag2 = row->creditLag2 != 0;
    t.isMargin = actv->isMargin;
    t.isAsset = actv->isAsset;
    t.isRestShort = actv->isRestShort;
    t.restrictBuy = RestrictBuyOf(settings);
    t.checkMaxCredit = CheckMaxCreditOf(settings);
    t.rowSize = int32_t(row->size);
    t.offer = prices.offer;
    t.bid = prices.bid;
    t.last = prices.last;
    t.prev = prices.prev;
    t.lot = prices.lot;
    t.priceGiven = priceGiven;
    t.givenPrice = givenPrice;
    t.currentBalance = sums.currentBalance;
    t.openLimit = sums.openLimit;
    t.currentLimit = sums.currentLimit;
    t.lockedSell = sums.lockedSell;
    t.lockedBuy = sums.lockedBuy;
}

} // namespace

void SumSecLimits(const FirmSettings* settings, LimitSums* sums) {
    uint32_t i = StartSecWalk(sums->firmId, sums->clientCode, sums->secCode, nullptr);
    WalkKey walk;
    PrepareWalkKey(sums->firmId, sums->clientCode, sums->secCode, &walk);
    SecLimit limit;
    while (NextSecLimit(&i, walk, &limit)) {
        if (AccountKind(settings, limit.trdAcc) != Ordinary) continue;
        sums->openBalance = WrapAdd(sums->openBalance, limit.openBalance);
        sums->openLimit = WrapAdd(sums->openLimit, limit.openLimit);
        sums->currentBalance = WrapAdd(sums->currentBalance, limit.currentBalance);
        sums->currentLimit = WrapAdd(sums->currentLimit, limit.currentLimit);
        sums->lockedSell = WrapAdd(sums->lockedSell, limit.lockedSell);
        sums->lockedBuy = WrapAdd(sums->lockedBuy, limit.lockedBuy);
        sums->lockedBuyValue = limit.lockedBuyValue + sums->lockedBuyValue;
    }
}

int32_t CalcActv(const KRMarginalRow* row, const FirmSettings* settings, KRMarginalActv* actv,
                 double price, ActvTrace* t) {
    const bool priceGiven = price > 0.0;
    if (t) memset(t, 0, sizeof *t);
    const int32_t secIndex = actv->secIndex;
    if (secIndex < 0 || secIndex >= SecurityCount()) return KR_ERR_NOT_FOUND;
    if (!ResolveParamIds(AnyFaceValueClass())) return KR_ERR_PARAM_UNKNOWN;

    Prices prices;
    if (!SecurityPrices(settings, secIndex, &prices)) return KR_ERR_NO_PRICE;
    const double fullPrice = priceGiven ? FullPrice(secIndex, price) : 0.0;

    LimitSums sums;
    memset(&sums, 0, sizeof sums);
    CopyBounded(sums.firmId, row->firmId, int32_t(sizeof row->firmId));
    CopyBounded(sums.clientCode, row->clientCode, int32_t(sizeof row->clientCode));
    const KRSecurity& security = SecurityAt(secIndex)->sec;
    CopyBounded(sums.secCode, security.code, int32_t(sizeof security.code));
    SumSecLimits(settings, &sums);
    if (t) TraceActvInputs(*t, row, settings, actv, sums, priceGiven, fullPrice, prices);

    Figures fig = row->creditLag2 != 0
                      ? Lag2Figures(row, settings, actv, sums, priceGiven, fullPrice, prices, t)
                      : Lag1Figures(row, actv, sums, priceGiven, fullPrice, prices, t);

    double value = 0.0;
    double prevValue = 0.0;
    double positionPrice = 0.0;
    if (fig.position != 0 && PositionPrice(secIndex, fig.position, &positionPrice)) {
        prevValue = (double(fig.position) * prices.prev) * prices.lot;
        value = (double(fig.position) * positionPrice) * prices.lot;
    }
    actv->position = fig.position;
    actv->maxBuy = fig.maxBuy < 0 ? 0 : fig.maxBuy;
    actv->maxSell = fig.maxSell < 0 ? 0 : fig.maxSell;
    if (t) {
        t->position = fig.position;
        TraceQuantityStep(BuyStep(t, kBoundNeverNegative, kOpFloor, kRuleQuantity), 0.0,
                          actv->maxBuy);
        TraceQuantityStep(SellStep(t, kBoundNeverNegative, kOpFloor, kRuleQuantity), 0.0,
                          actv->maxSell);
        t->filled = 1;
    }
    actv->value = HostFigure(value);
    // The 48-byte version ends before prevValue: those bytes are the host's.
    if (actv->size >= KR_ACTV_SIZE_56) actv->prevValue = HostFigure(prevValue);
    return KR_ERR_NONE;
}

} // namespace kesvar
