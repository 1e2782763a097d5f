// The figures of one position: quantity held, what may still be bought and sold, and its value.
#include <math.h>
#include <string.h>

#include "actv/actv.h"
#include "frame/host.h"
#include "frame/int32.h"
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

// A short is first bought back, on a working copy of the row: the cover spends money and takes
// the short's value and its settlement debt off. What the buy limit then allows comes on top of
// the cover.
int32_t MaxBuyAfterCover(const KRMarginalRow* row, double offer, double lot, double price,
                         double uncoveredShort) {
    const double coverCost = (uncoveredShort * offer) * lot; // not positive
    KRMarginalRow afterCover;
    memset(&afterCover, 0, sizeof afterCover);
    memcpy(&afterCover, row, KR_ROW_SIZE_248);
    afterCover.moneyAvailable = afterCover.moneyAvailable + coverCost;
    afterCover.shortValue = afterCover.shortValue - coverCost;
    afterCover.settlementDebt = afterCover.settlementDebt + coverCost;
    double qty = Lag2BuyLimit(&afterCover, 0.0) / (lot * price);
    double qtyOrNone = qty > 0.0 ? qty : 0.0;
    return TruncToInt32(qtyOrNone - uncoveredShort);
}

// Credit lag 2: what may be bought at `price`, by the security's lists; the first case that
// applies.
int32_t Lag2MaxBuy(const KRMarginalRow* row, const FirmSettings* r, const KRMarginalActv* actv,
                   int32_t held, double offer, double lot, double price, double uncoveredShort) {
    if (actv->isMargin == 1 && actv->isAsset == 1) {
        // The margin buy limit per lot, with the value of a short at the offer added back.
        double marginMoney = (row->marginBuyLimit / lot) - double(MinI(held, 0)) * offer;
        if (!(marginMoney > 0.0)) marginMoney = 0.0;
        return TruncToInt32((marginMoney - uncoveredShort * offer) / price);
    }
    if (actv->isAsset == 1) {
        // An uncovered short is bought back before anything else.
        if (uncoveredShort < 0.0) return TruncToInt32(-uncoveredShort);
        return TruncToInt32(row->assetBuyLimit / (lot * price));
    }
    if (actv->isMargin == 0 && actv->isAsset == 0 && RestrictBuyOf(r) == 1 &&
        row->size >= KR_ROW_SIZE_264) {
        // A security in neither list, for a client that may buy such only with money it has.
        if (held < 0) return TruncToInt32(-uncoveredShort);
        const double freeMoney = FreeMoney(row);
        double money = row->ownBuyLimit < freeMoney ? row->ownBuyLimit : freeMoney;
        double qty = money / (lot * price);
        return qty > 0.0 ? TruncToInt32(qty) : 0;
    }
    if (held >= 0) {
        double qty = row->ownBuyLimit / (lot * price);
        return qty > 0.0 ? TruncToInt32(qty) : 0;
    }
    return MaxBuyAfterCover(row, offer, lot, price, uncoveredShort);
}

// A long position outside the asset list: the row did not count it as collateral, so the
// buying capacity is worked out again as if it were sold at the bid.
int32_t MaxSellOutsideAssets(const KRMarginalRow* row, int32_t held, double bid, double lot,
                             double qtyPerMoney, double sellableHeld) {
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
    double shortable = repaid + (buyCapacity * qtyPerMoney);
    if (!(shortable > 0.0)) shortable = 0.0;
    return TruncToInt32(shortable + sellableHeld);
}

// Credit lag 2: what may be sold at `price`. A margin security that may be shorted may be sold
// beyond the position, as far as the buying capacity carries the short.
int32_t Lag2MaxSell(const KRMarginalRow* row, const KRMarginalActv* actv, int32_t held, double bid,
                    double lot, double price, double sellableHeld) {
    if (!(actv->isMargin == 1 && actv->isRestShort == 0)) return TruncToInt32(sellableHeld);

    // A short is valued at the price, never below the bid.
    double unitValue = (price > bid ? price : bid) * lot;
    double qtyPerMoney = 1.0 / unitValue;
    if (actv->isAsset == 1 || held <= 0) {
        double moneyAndShorts = row->shortValue + row->moneyAvailable;
        // What selling a long repays of negative money, at most the long.
        double repaid = fabs(MinD(moneyAndShorts, 0.0) * qtyPerMoney);
        double heldLong = double(MaxI(held, 0));
        if (!(repaid < heldLong)) repaid = heldLong;
        double shortable = (row->buyCapacityCopy * qtyPerMoney) + repaid;
        if (!(shortable > 0.0)) shortable = 0.0;
        return TruncToInt32(shortable + sellableHeld);
    }
    return MaxSellOutsideAssets(row, held, bid, lot, qtyPerMoney, sellableHeld);
}

// Credit lag 2: the position, and what may be bought (at the offer) and sold (at the bid)
// under the margin rules. `price` is the host's converted price, when it gave one.
Figures Lag2Figures(const KRMarginalRow* row, const FirmSettings* r, const KRMarginalActv* actv,
                    const LimitSums& sums, bool priceGiven, double price, double offer, double bid,
                    double lot) {
    Figures out;
    const int32_t held = sums.currentBalance;
    out.position = held;
    // The short part that pending buy orders do not already cover (zero or negative).
    const double uncoveredShort = double(MinI(WrapAdd(MinI(held, 0), sums.lockedBuy), 0));

    const double buyPrice = priceGiven ? price : offer;
    out.maxBuy = Lag2MaxBuy(row, r, actv, held, offer, lot, buyPrice, uncoveredShort);
    // The firm may cap buying at the client's free money and its opening limit.
    if (CheckMaxCreditOf(r) != 0 && row->leverageGiven == 0 && row->openLimitTotal > 0.0 &&
        row->size >= KR_ROW_SIZE_264) {
        int32_t creditQty = TruncToInt32((FreeMoney(row) + row->openLimitTotal) / (lot * buyPrice));
        out.maxBuy = MinI(out.maxBuy, creditQty);
    }
    // Buying back the uncovered short is always allowed.
    out.maxBuy = MaxI(out.maxBuy, TruncToInt32(-uncoveredShort));

    const double sellPrice = priceGiven ? price : bid;
    // The position less what sell orders have locked, never negative.
    const double sellableHeld = double(MaxI(WrapSub(held, sums.lockedSell), 0));
    out.maxSell = Lag2MaxSell(row, actv, held, bid, lot, sellPrice, sellableHeld);
    // The firm may cap selling at the opening limit and the position, less what is locked.
    if (CheckMaxCreditOf(r) != 0 && sums.openLimit > 0) {
        out.maxSell = MinI(out.maxSell, WrapAdd(WrapSub(sums.openLimit, sums.lockedSell), held));
    }
    // What is held and not locked may always be sold.
    out.maxSell = MaxI(out.maxSell, TruncToInt32(sellableHeld));
    return out;
}

// Credit lag 1: the purchasing power is read straight from the row, and the position includes
// the change of its limit since the opening.
Figures PlainFigures(const KRMarginalRow* row, const KRMarginalActv* actv, const LimitSums& sums,
                     bool priceGiven, double price, double offer, double lot) {
    Figures out;
    out.position = WrapAdd(WrapSub(sums.currentLimit, sums.openLimit), sums.currentBalance);
    const double buyPrice = priceGiven ? price : offer;
    const double buyMoney = actv->isMargin == 1 ? row->marginBuyLimit : row->ownBuyLimit;
    out.maxBuy = TruncToInt32(buyMoney / (lot * buyPrice));
    out.maxSell =
        MaxI(WrapAdd(WrapSub(sums.currentLimit, sums.lockedSell), sums.currentBalance), 0);
    return out;
}

} // namespace

void SumSecLimits(const FirmSettings* r, LimitSums* sums) {
    uint32_t i = StartSecWalk(sums->firmId, sums->clientCode, sums->secCode, nullptr);
    WalkKey walk;
    PrepareWalkKey(sums->firmId, sums->clientCode, sums->secCode, &walk);
    SecLimit limit;
    while (NextSecLimit(&i, walk, &limit)) {
        if (AccountKind(r, limit.trdAcc) != Listed) continue;
        sums->openBalance = WrapAdd(sums->openBalance, limit.openBalance);
        sums->openLimit = WrapAdd(sums->openLimit, limit.openLimit);
        sums->currentBalance = WrapAdd(sums->currentBalance, limit.currentBalance);
        sums->currentLimit = WrapAdd(sums->currentLimit, limit.currentLimit);
        sums->lockedSell = WrapAdd(sums->lockedSell, limit.lockedSell);
        sums->lockedBuy = WrapAdd(sums->lockedBuy, limit.lockedBuy);
        sums->lockedBuyValue = limit.lockedBuyValue + sums->lockedBuyValue;
    }
}

int32_t CalcActv(const KRMarginalRow* row, const FirmSettings* r, KRMarginalActv* actv,
                 double price) {
    const bool priceGiven = price > 0.0;
    const int32_t secIndex = actv->secIndex;
    if (secIndex < 0 || secIndex >= SecurityCount()) return KR_ERR_NOT_FOUND;
    if (!ResolveParamIds()) return KR_ERR_PARAM_UNKNOWN;

    double offer, bid, last, prev, lot;
    if (!SecurityPrices(r, secIndex, &offer, &bid, &last, &prev, &lot)) return KR_ERR_NO_PRICE;
    const double fullPrice = priceGiven ? FullPrice(secIndex, price) : 0.0;

    LimitSums sums;
    memset(&sums, 0, sizeof sums);
    CopyBounded(sums.firmId, row->firmId, int32_t(sizeof row->firmId));
    CopyBounded(sums.clientCode, row->clientCode, int32_t(sizeof row->clientCode));
    const KRSecurity& security = SecurityAt(secIndex)->sec;
    CopyBounded(sums.secCode, security.code, int32_t(sizeof security.code));
    SumSecLimits(r, &sums);

    Figures fig = row->creditLag2 != 0
                      ? Lag2Figures(row, r, actv, sums, priceGiven, fullPrice, offer, bid, lot)
                      : PlainFigures(row, actv, sums, priceGiven, fullPrice, offer, lot);

    double value = 0.0;
    double prevValue = 0.0;
    double positionPrice = 0.0;
    if (fig.position != 0 && PositionPrice(secIndex, fig.position, &positionPrice)) {
        prevValue = (double(fig.position) * prev) * lot;
        value = (double(fig.position) * positionPrice) * lot;
    }
    actv->position = fig.position;
    actv->maxBuy = fig.maxBuy < 0 ? 0 : fig.maxBuy;
    actv->maxSell = fig.maxSell < 0 ? 0 : fig.maxSell;
    actv->value = HostFigure(value);
    // The 48-byte version ends before prevValue: those bytes are the host's.
    if (actv->size >= KR_ACTV_SIZE_56) actv->prevValue = HostFigure(prevValue);
    return KR_ERR_NONE;
}

} // namespace kesvar
