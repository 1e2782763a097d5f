// Market prices of a security as the host gives them, with the fallbacks the valuation uses.
#include "registry/registry.h"
#include "row/row.h"
#include "settings/settings.h"
#include "host/host.h"

namespace kesvar {

// One market parameter of the security at a registry index.
static double SecParam(int32_t secIndex, ParamName which) {
    const KRSecurity& s = SecurityAt(secIndex)->sec;
    return ParamValue(ClassAt(int32_t(s.classIndex))->cls.classId, s.secId, which);
}

double FullPrice(int32_t secIndex, double price) {
    const SecurityEntry* s = SecurityAt(secIndex);
    const ClassEntry* classEntry = ClassAt(int32_t(s->sec.classIndex));
    // Percent-of-face quotes become a money price of one unit with its accrued interest.
    if ((classEntry->cls.flags & KR_CLASS_FACE_VALUE) != 0 && AnyFaceValueClass() &&
        AccruedIntKnown()) {
        double accrued = SecParam(secIndex, kAccruedInt);
        return accrued + ((s->sec.faceValue * price) * 0.01);
    }
    return price;
}

double LotMultiplier(const FirmSettings* settings, int32_t secIndex) {
    if (FirmOf(settings)->limitsInLots) return double(SecurityAt(secIndex)->sec.lotSize);
    return 1.0;
}

bool SecurityPrices(const FirmSettings* settings, int32_t secIndex, Prices* out) {
    // The registry is read once for the four prices: this runs for every position of a row.
    const KRSecurity& sec = SecurityAt(secIndex)->sec;
    const ClassEntry* classEntry = ClassAt(int32_t(sec.classIndex));
    const uint32_t classId = classEntry->cls.classId, secId = sec.secId;
    const bool faceValued = (classEntry->cls.flags & KR_CLASS_FACE_VALUE) != 0;
    Prices& p = *out;
    p.offer = ParamValue(classId, secId, kOffer);
    p.bid = ParamValue(classId, secId, kBid);
    p.prev = ParamValue(classId, secId, kPrevPrice);
    p.last = ParamValue(classId, secId, kLast);
    if (p.prev < kNoPrice && p.last < kNoPrice) return false;

    if (p.offer < kNoPrice) p.offer = p.last < kNoPrice ? p.prev : p.last;
    if (p.bid < kNoPrice) p.bid = p.last < kNoPrice ? p.prev : p.last;
    if (p.prev < kNoPrice) p.prev = p.last;
    p.lot = LotMultiplier(settings, secIndex);

    // FullPrice leaves the price of any other class as it is.
    if (faceValued) {
        p.offer = FullPrice(secIndex, p.offer);
        p.bid = FullPrice(secIndex, p.bid);
        p.last = FullPrice(secIndex, p.last);
        p.prev = FullPrice(secIndex, p.prev);
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
