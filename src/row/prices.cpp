// Market prices of a security as the host gives them, with the fallbacks the valuation uses.
#include "registry/registry.h"
#include "row/row.h"
#include "settings/settings.h"
#include "frame/host.h"

namespace kesvar {

// Below this a host price counts as absent.
static const double kNoPrice = 1e-8;

double FullPrice(int32_t secIndex, double price) {
    const SecurityEntry* s = SecurityAt(secIndex);
    const ClassEntry* c = ClassAt(int32_t(s->sec.classIndex));
    // Percent-of-face quotes become a money price of one unit with its accrued interest.
    if ((c->cls.flags & KR_CLASS_FACE_VALUE) != 0 && gState.anyFaceValueClass &&
        gState.paramIdCache[kAccruedInt] != -1) {
        double accrued = ParamValue(secIndex, kAccruedInt);
        return accrued + ((s->sec.faceValue * price) * 0.01);
    }
    return price;
}

double lotMultiplier(const FirmSettings* r, int32_t secIndex) {
    if (FirmOf(r)->limitsInLots) return double(SecurityAt(secIndex)->sec.lotSize);
    return 1.0;
}

bool SecurityPrices(const FirmSettings* r, int32_t secIndex, double* offer, double* bid,
                    double* last, double* prev, double* lot) {
    *offer = ParamValue(secIndex, kOffer);
    *bid = ParamValue(secIndex, kBid);
    *prev = ParamValue(secIndex, kPrevPrice);
    *last = ParamValue(secIndex, kLast);
    if (*prev < kNoPrice && *last < kNoPrice) return false;

    if (*offer < kNoPrice) *offer = *last < kNoPrice ? *prev : *last;
    if (*bid < kNoPrice) *bid = *last < kNoPrice ? *prev : *last;
    if (*prev < kNoPrice) *prev = *last;
    *lot = lotMultiplier(r, secIndex);

    *offer = FullPrice(secIndex, *offer);
    *bid = FullPrice(secIndex, *bid);
    *last = FullPrice(secIndex, *last);
    *prev = FullPrice(secIndex, *prev);
    return true;
}

bool PositionPrice(int32_t secIndex, int32_t quantity, double* price) {
    *price = ParamValue(secIndex, kLast);
    // A long position would be sold at the bid, anything else bought back at the offer.
    if (*price < kNoPrice) *price = ParamValue(secIndex, quantity > 0 ? kBid : kOffer);
    if (*price < kNoPrice) *price = ParamValue(secIndex, kPrevPrice);
    if (*price < kNoPrice) return false;
    *price = FullPrice(secIndex, *price);
    return true;
}

} // namespace kesvar
