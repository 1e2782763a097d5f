// Valuation of one securities-limit record of the row's client.
#include <string.h>

#include "host/host.h"
#include "arith/int32.h"
#include "links/membership.h"
#include "registry/registry.h"
#include "row/row.h"
#include "settings/settings.h"

namespace kesvar {

// The valuation asks for the position price when the last price, already through FullPrice, is
// below this. The cut is coarser than kNoPrice, so a last price the host gives between the two
// is replaced here although SecurityPrices kept it.
static const double kNoLastPrice = 1e-6;

// The security of a limit record, and whether it is an asset (collateral) and a margin security
// under the bound settings. False when the firm does not value it.
static bool IdentifySecurity(const FirmSettings* settings, const PositionLists& lists,
                             const PaddedCode& secCode, int32_t* secIndex, bool* isAsset,
                             bool* isMargin) {
    *isAsset = false;
    *isMargin = false;
    if (IdentifyListed(lists, secCode, secIndex, isAsset, isMargin)) return true;
    // A security in no list still counts when its class asks for unlisted positions to be valued.
    *secIndex = FindUnlistedSecurity(settings, secCode.text);
    return *secIndex >= 0;
}

void ValueSecLimit(const FirmSettings* settings, const PositionLists& lists, const SecLimit& limit,
                   KRMarginalRow* row, ValuationSums* sums) {
    int32_t secIndex = -1;
    bool isAsset, isMargin;
    if (!IdentifySecurity(settings, lists, limit.secCode, &secIndex, &isAsset, &isMargin)) return;

    Prices prices;
    if (!SecurityPrices(settings, secIndex, &prices)) return;
    const double offer = prices.offer, bid = prices.bid, prev = prices.prev, lot = prices.lot;
    double last = prices.last;

    // Positions on additional-limit accounts stay out of the row's long, short and collateral
    // figures; the sums over every account still take them.
    const int32_t account = AccountKind(settings, limit.trdAcc);
    const bool counts = account == Ordinary || account == AddRepo;
    double longWeight, shortWeight;
    WeightsOf(settings, limit.secCode.text, &longWeight, &shortWeight);
    const int32_t openQty = limit.openBalance;
    // The position now: for a credit-lag-2 client its current balance alone, otherwise the
    // balance with the change of its limit since the opening.
    const int32_t qty =
        row->creditLag2 == 1
            ? limit.currentBalance
            : WrapAdd(WrapSub(limit.currentBalance, limit.openLimit), limit.currentLimit);

    // Opening position at the previous price: a long one is collateral only in an asset.
    double openValue = openQty != 0 ? double(openQty) * prev * lot : 0.0;
    if ((openQty > 0 && isAsset) || openQty < 0) {
        double weighted = openQty > 0 ? openValue * longWeight : openValue * shortWeight;
        if (counts) sums->collateralOpen += weighted;
        sums->collateralOpenAll += weighted;
    }
    row->openValue += openValue;

    if (last < kNoLastPrice) PositionPrice(secIndex, qty, &last);

    // Current position: longs at the bid, shorts at the offer.
    if (qty > 0 && isAsset) {
        double longValue = double(qty) * bid * lot * longWeight;
        if (counts) {
            if (isMargin)
                row->longValueMargin += longValue;
            else
                row->longValueAsset += longValue;
            row->longValue += longValue;
        }
        sums->longNow += longValue;
    } else if (qty < 0) {
        double shortValue = double(qty) * offer * lot * shortWeight;
        if (counts) row->shortValue += shortValue;
        sums->shortNow += shortValue;
    }
    row->currentValue += double(qty) * last * lot;

    // Buying back a short and the money locked by buy orders.
    if (isAsset) {
        double commitment = (double(qty < 0 ? qty : 0) * offer * lot) + limit.lockedBuyValue * 0.01;
        if (!(commitment > 0)) commitment = 0.0;
        if (isMargin)
            row->buyCommitmentMargin += commitment;
        else
            row->buyCommitmentAsset += commitment;
        row->buyCommitment += commitment;
    }

    // Sell orders beyond the position held.
    int32_t uncoveredSell = WrapSub(limit.lockedSell, qty > 0 ? qty : 0);
    if (uncoveredSell < 0) uncoveredSell = 0;
    row->uncoveredSellValue += double(uncoveredSell) * offer * lot;
}

} // namespace kesvar
