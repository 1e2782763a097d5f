// Preparation of an actv record: the security's registry indexes and its list flags for the
// bound record, taken once as a snapshot. And the three switch readers of the calculation.
#include "actv/actv.h"
#include "links/membership.h"
#include "registry/registry.h"
#include "settings/settings.h"

namespace kesvar {

int32_t PrepareActv(const FirmSettings* settings, KRMarginalActv* actv) {
    int32_t s = FindSecurityById(actv->classId, actv->secId);
    if (s < 0) return KR_ERR_NOT_FOUND;

    actv->secIndex = s;
    actv->classIndex = SecurityAt(s)->sec.classIndex;
    actv->isAsset = int8_t(InAssetList(settings, s) ? 1 : 0);
    int8_t margin = int8_t(InMarginList(settings, s) ? 1 : 0);
    actv->isMargin = margin;
    // The rest-short list is not even consulted for a security that is not a margin one.
    actv->isRestShort = int8_t(margin == 1 && InRestShortList(settings, s) ? 1 : 0);
    return KR_ERR_NONE;
}

// A client record's own switch first, its firm's when the client leaves it unset.
int32_t RestrictBuyOf(const FirmSettings* settings) {
    int32_t setting = settings->restrictBuy;
    if (setting == RestrictBuyUnset && settings->parent) setting = settings->parent->restrictBuy;
    return setting == BuyRestricted ? 1 : 0;
}

int32_t CheckMaxCreditOf(const FirmSettings* settings) {
    return FirmOf(settings)->checkMaxCredit;
}

} // namespace kesvar
