// The figures of one position: quantity held, what may still be bought and sold, and its value.
#include <math.h>

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

// Row fields past offset 247 exist only for the longer row versions.
inline double RowMoneyFree(const KRMarginalRow* row) {
    return row->moneyCurrent - row->moneyLocked;
}

int32_t Lag2MaxBuy(const KRMarginalRow* row, const FirmSettings* r, const KRMarginalActv* actv,
                   const LimitSums& sums, double offer, double lot, double p, int32_t u) {
    const int32_t cb = sums.currentBalance;
    const double U = double(u);
    const bool margin = actv->isMargin == 1;
    const bool asset = actv->isAsset == 1;
    const bool longRow = row->size >= KR_ROW_SIZE_264;

    if (margin && asset) {
        double x = (row->marginBuyLimit / lot) - double(MinI(cb, 0)) * offer;
        if (!(x > 0.0)) x = 0.0;
        return TruncToInt32((x - U * offer) / p);
    }
    if (asset) {
        if (U < 0.0) return TruncToInt32(-U);
        return TruncToInt32(row->assetBuyLimit / (lot * p));
    }
    if (actv->isMargin == 0 && actv->isAsset == 0 && RestrictBuyOf(r) == 1 && longRow) {
        if (cb < 0) return TruncToInt32(-U);
        double d = RowMoneyFree(row);
        double b = row->ownBuyLimit < d ? row->ownBuyLimit : d;
        double x = b / (lot * p);
        return x > 0.0 ? TruncToInt32(x) : 0;
    }
    if (cb >= 0) {
        double x = row->ownBuyLimit / (lot * p);
        return x > 0.0 ? TruncToInt32(x) : 0;
    }
    // A short is first bought back, on a copy of the row, before the buy limit is asked.
    double y = (U * offer) * lot;
    KRMarginalRow copy;
    memset(&copy, 0, sizeof copy);
    memcpy(&copy, row, KR_ROW_SIZE_248);
    copy.moneyAvailable = copy.moneyAvailable + y;
    copy.shortValue = copy.shortValue - y;
    copy.settlementDebt = copy.settlementDebt + y;
    double x = Lag2BuyLimit(&copy, 0.0) / (lot * p);
    double xp = x > 0.0 ? x : 0.0;
    return TruncToInt32(xp - U);
}

int32_t Lag2MaxSell(const KRMarginalRow* row, const KRMarginalActv* actv, const LimitSums& sums,
                    double bid, double lot, double p, double f) {
    const int32_t cb = sums.currentBalance;
    if (!(actv->isMargin == 1 && actv->isRestShort == 0)) return TruncToInt32(f);

    double v = (p > bid ? p : bid) * lot;
    double k = 1.0 / v;
    if (actv->isAsset == 1 || cb <= 0) {
        double w = row->shortValue + row->moneyAvailable;
        double t = fabs(MinD(w, 0.0) * k);
        double cap = double(MaxI(cb, 0));
        if (!(t < cap)) t = cap;
        double q = (row->buyCapacityCopy * k) + t;
        if (!(q > 0.0)) q = 0.0;
        return TruncToInt32(q + f);
    }
    // A long position outside the asset list: the buying capacity as if it were sold at the bid.
    double e = row->size >= KR_ROW_SIZE_280 ? row->equitySurplus : 0.0;
    double y7 = ((double(cb) * bid) * lot) + row->moneyAvailable;
    double x12 = (row->longValue + y7) + row->shortValue;
    double w0 = x12 + e;
    if (w0 < 0.0 && !(x12 < 0.0)) w0 = 0.0;
    double w = row->leverage * w0;
    double x13 = y7 + row->shortValue;
    double z = x13 - row->buyCommitment;
    double zp = z < 0.0 ? z : 0.0;
    double g = ((w + row->shortValue) - row->uncoveredSellValue) + zp;
    double t = fabs(MinD(x13, 0.0) * k);
    if (!(t < double(cb))) t = double(cb);
    double q = t + (g * k);
    if (!(q > 0.0)) q = 0.0;
    return TruncToInt32(q + f);
}

Figures Lag2Figures(const KRMarginalRow* row, const FirmSettings* r, const KRMarginalActv* actv,
                    const LimitSums& sums, bool priceGiven, double p, double offer, double bid,
                    double lot) {
    Figures out;
    const int32_t cb = sums.currentBalance;
    if (!priceGiven) p = offer;
    out.position = cb;
    // The short part that pending buy orders do not already cover.
    int32_t u = MinI(WrapAdd(MinI(cb, 0), sums.lockedBuy), 0);
    const double U = double(u);

    out.maxBuy = Lag2MaxBuy(row, r, actv, sums, offer, lot, p, u);
    if (CheckMaxCreditOf(r) != 0 && row->leverageGiven == 0 && row->openLimitTotal > 0.0 &&
        row->size >= KR_ROW_SIZE_264) {
        int32_t h = TruncToInt32((RowMoneyFree(row) + row->openLimitTotal) / (lot * p));
        out.maxBuy = MinI(out.maxBuy, h);
    }
    // Buying back the uncovered short is always allowed.
    out.maxBuy = MaxI(out.maxBuy, TruncToInt32(-U));

    if (!priceGiven) p = bid;
    const double f = double(MaxI(WrapSub(cb, sums.lockedSell), 0));
    out.maxSell = Lag2MaxSell(row, actv, sums, bid, lot, p, f);
    if (CheckMaxCreditOf(r) != 0 && sums.openLimit > 0) {
        out.maxSell = MinI(out.maxSell, WrapAdd(WrapSub(sums.openLimit, sums.lockedSell), cb));
    }
    // What is held and not locked may always be sold.
    out.maxSell = MaxI(out.maxSell, TruncToInt32(f));
    return out;
}

Figures PlainFigures(const KRMarginalRow* row, const KRMarginalActv* actv, const LimitSums& sums,
                     bool priceGiven, double p, double offer, double lot) {
    Figures out;
    out.position = WrapAdd(WrapSub(sums.currentLimit, sums.openLimit), sums.currentBalance);
    if (!priceGiven) p = offer;
    double limit = actv->isMargin == 1 ? row->marginBuyLimit : row->ownBuyLimit;
    out.maxBuy = TruncToInt32(limit / (lot * p));
    out.maxSell =
        MaxI(WrapAdd(WrapSub(sums.currentLimit, sums.lockedSell), sums.currentBalance), 0);
    return out;
}

} // namespace

void SumSecLimits(const FirmSettings* r, LimitSums* sums) {
    uint32_t i = StartSecWalk(sums->firmId, sums->clientCode, sums->secCode, nullptr);
    SecLimit rec;
    while (NextSecLimit(&i, sums->firmId, sums->clientCode, sums->secCode, &rec)) {
        if (AccountKind(r, rec.trdAcc) != 1) continue;
        sums->openBalance = WrapAdd(sums->openBalance, rec.openBalance);
        sums->openLimit = WrapAdd(sums->openLimit, rec.openLimit);
        sums->currentBalance = WrapAdd(sums->currentBalance, rec.currentBalance);
        sums->currentLimit = WrapAdd(sums->currentLimit, rec.currentLimit);
        sums->lockedSell = WrapAdd(sums->lockedSell, rec.lockedSell);
        sums->lockedBuy = WrapAdd(sums->lockedBuy, rec.lockedBuy);
        sums->lockedBuyValue = rec.lockedBuyValue + sums->lockedBuyValue;
    }
}

int32_t CalcActv(const KRMarginalRow* row, const FirmSettings* r, KRMarginalActv* actv,
                 double price) {
    const bool priceGiven = price > 0.0;
    const int32_t s = actv->secIndex;
    if (s < 0 || s >= SecurityCount()) return KR_ERR_NOT_FOUND;
    if (!ResolveParamIds()) return KR_ERR_PARAM_UNKNOWN;

    double offer, bid, last, prev, lot;
    if (!SecurityPrices(r, s, &offer, &bid, &last, &prev, &lot)) return KR_ERR_NO_PRICE;
    double p = 0.0;
    if (priceGiven) p = FullPrice(s, price);

    LimitSums sums;
    memset(&sums, 0, sizeof sums);
    CopyBounded(sums.firmId, row->firmId, int32_t(sizeof row->firmId));
    CopyBounded(sums.clientCode, row->clientCode, int32_t(sizeof row->clientCode));
    CopyBounded(sums.secCode, SecurityAt(s)->sec.code, int32_t(sizeof SecurityAt(s)->sec.code));
    SumSecLimits(r, &sums);

    Figures fig = row->creditLag2 != 0
                      ? Lag2Figures(row, r, actv, sums, priceGiven, p, offer, bid, lot)
                      : PlainFigures(row, actv, sums, priceGiven, p, offer, lot);

    double value = 0.0;
    double prevValue = 0.0;
    double pp = 0.0;
    if (fig.position != 0 && PositionPrice(s, fig.position, &pp)) {
        prevValue = (double(fig.position) * prev) * lot;
        value = (double(fig.position) * pp) * lot;
    }
    actv->position = fig.position;
    actv->maxBuy = fig.maxBuy < 0 ? 0 : fig.maxBuy;
    actv->maxSell = fig.maxSell < 0 ? 0 : fig.maxSell;
    actv->value = value;
    // The 48-byte version ends before prevValue: those bytes are the host's.
    if (actv->size >= KR_ACTV_SIZE_56) actv->prevValue = prevValue;
    return KR_ERR_NONE;
}

} // namespace kesvar
