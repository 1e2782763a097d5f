// Valuation of one securities-limit record of the row's client.
#include <string.h>

#include "frame/host.h"
#include "frame/int32.h"
#include "links/membership.h"
#include "registry/registry.h"
#include "row/row.h"
#include "settings/settings.h"

namespace kesvar {

// A security in no list still counts when its class asks for unlisted positions to be valued.
static int32_t FindUnlisted(const FirmSettings* r, const char* secCode) {
    const FirmSettings* f = FirmOf(r);
    for (int32_t i = 0; i < f->classOrder.count; ++i) {
        int32_t c = f->classOrder[i];
        const ClassEntry* cls = ClassAt(c);
        if (!cls->cls.valueUnlisted || cls->firstSecurity == -1) continue;
        for (int32_t s = cls->firstSecurity;
             s < SecurityCount() && int32_t(SecurityAt(s)->sec.classIndex) == c; ++s) {
            const char* code = SecurityAt(s)->sec.code;
            if (strncmp(code, secCode, sizeof(SecurityAt(s)->sec.code)) == 0) return s;
        }
    }
    return -1;
}

void ValueSecLimit(const FirmSettings* r, const SecLimit& limit, KRMarginalRow* row,
                   ValuationSums* sums) {
    int32_t idx = -1;
    int32_t asset = 0, margin = 0;
    if (IsAssetSecurity(r, limit.secCode, &idx)) {
        asset = 1;
        margin = InMarginList(r, idx) ? 1 : 0;
    } else if (IsMarginSecurity(r, limit.secCode, &idx)) {
        margin = 1;
    } else {
        idx = FindUnlisted(r, limit.secCode);
        if (idx < 0) return;
    }

    double offer, bid, last, prev, lot;
    if (!SecurityPrices(r, idx, &offer, &bid, &last, &prev, &lot)) return;

    int32_t kind = AccountKind(r, limit.trdAcc);
    bool counting = kind == 1 || kind == 3;
    double wL, wS;
    WeightsOf(r, limit.secCode, &wL, &wS);
    int32_t open = limit.openBalance;
    int32_t qty = row->creditLag2 == 1
                      ? limit.currentBalance
                      : WrapAdd(WrapSub(limit.currentBalance, limit.openLimit), limit.currentLimit);

    // Opening position at the previous price.
    double v = open != 0 ? double(open) * prev * lot : 0.0;
    if ((open > 0 && asset) || open < 0) {
        double w = open > 0 ? v * wL : v * wS;
        if (counting) sums->collateralOpen += w;
        sums->collateralOpenAll += w;
    }
    row->openValue += v;

    if (last < 1e-6) PositionPrice(idx, qty, &last);

    // Current position: longs at the bid, shorts at the offer.
    if (qty > 0 && asset) {
        double b = double(qty) * bid * lot * wL;
        if (counting) {
            if (margin)
                row->longValueMargin += b;
            else
                row->longValueAsset += b;
            row->longValue += b;
        }
        sums->longNow += b;
    } else if (qty < 0) {
        double o = double(qty) * offer * lot * wS;
        if (counting) row->shortValue += o;
        sums->shortNow += o;
    }
    row->currentValue += double(qty) * last * lot;

    // Buying back a short and the money locked by buy orders.
    if (asset) {
        double t = (double(qty < 0 ? qty : 0) * offer * lot) + limit.lockedBuyValue * 0.01;
        if (!(t > 0)) t = 0.0;
        if (margin)
            row->buyCommitmentMargin += t;
        else
            row->buyCommitmentAsset += t;
        row->buyCommitment += t;
    }

    // Sell orders beyond the position held.
    int32_t u = WrapSub(limit.lockedSell, qty > 0 ? qty : 0);
    if (u < 0) u = 0;
    row->uncoveredSellValue += double(u) * offer * lot;
}

} // namespace kesvar
