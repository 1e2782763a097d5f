// Market prices of a security as the host gives them, with the fallbacks the valuation uses.
#include "registry/registry.h"
#include "row/row.h"
#include "settings/settings.h"
#include "frame/host.h"

namespace kesvar {

// One market parameter of the security at a registry index.
static double SecParam(int32_t secIndex, ParamName which) {
    const KRSecurity& s = SecurityAt(secIndex)->sec;
    return ParamValue(ClassAt(int32_t(s.classIndex))->cls.classId, s.secId, which);
}

double FullPrice(int32_t secIndex, double price) {
    const SecurityEntry* s = SecurityAt(secIndex);
    const ClassEntry* c = ClassAt(int32_t(s->sec.classIndex));
    // Percent-of-face quotes become a money price of one unit with its accrued interest.
    if ((c->cls.flags & KR_CLASS_FACE_VALUE) != 0 && AnyFaceValueClass() && AccruedIntKnown()) {
        double accrued = SecParam(secIndex, kAccruedInt);
        return accrued + ((s->sec.faceValue * price) * 0.01);
    }
    return price;
}

double LotMultiplier(const FirmSettings* r, int32_t secIndex) {
    if (FirmOf(r)->limitsInLots) return double(SecurityAt(secIndex)->sec.lotSize);
    return 1.0;
}

bool SecurityPrices(const FirmSettings* r, int32_t secIndex, double* offer, double* bid,
                    double* last, double* prev, double* lot) {
    // The registry is read once for the four prices: this runs for every position of a row.
    const KRSecurity& sec = SecurityAt(secIndex)->sec;
    const ClassEntry* cls = ClassAt(int32_t(sec.classIndex));
    const uint32_t classId = cls->cls.classId, secId = sec.secId;
    const bool faceValued = (cls->cls.flags & KR_CLASS_FACE_VALUE) != 0;
    *offer = ParamValue(classId, secId, kOffer);
    *bid = ParamValue(classId, secId, kBid);
    *prev = ParamValue(classId, secId, kPrevPrice);
    *last = ParamValue(classId, secId, kLast);
    if (*prev < kNoPrice && *last < kNoPrice) return false;

    if (*offer < kNoPrice) *offer = *last < kNoPrice ? *prev : *last;
    if (*bid < kNoPrice) *bid = *last < kNoPrice ? *prev : *last;
    if (*prev < kNoPrice) *prev = *last;
    *lot = LotMultiplier(r, secIndex);

    // FullPrice leaves the price of any other class as it is.
    if (faceValued) {
        *offer = FullPrice(secIndex, *offer);
        *bid = FullPrice(secIndex, *bid);
        *last = FullPrice(secIndex, *last);
        *prev = FullPrice(secIndex, *prev);
    }
    return true;
}

bool PositionPrice(int32_t secIndex, int32_t quantity, double* price) {
    *price = SecParam(secIndex, kLast);
    // A long position would be sold at the bid, anything else bought back at the offer.
    if (*price < kNoPrice) *price = SecParam(secIndex, quantity > 0 ? kBid : kOffer);
    if (*price < kNoPrice) *price = SecParam(secIndex, kPrevPrice);
    if (*price < kNoPrice) return false;
    *price = FullPrice(secIndex, *price);
    return true;
}

} // namespace kesvar
