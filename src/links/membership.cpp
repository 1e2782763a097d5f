// List membership of a security for a firm or client record. A client's own list of a kind
// replaces its firm's; a missing asset list means the margin list answers.
#include "links/membership.h"

#include <string.h>

#include "registry/registry.h"
#include "settings/settings.h"

namespace kesvar {

namespace {

const FirmSettings* MarginServer(const FirmSettings* r) {
    if (r->marginList.count > 0 || !r->parent) return r;
    return r->parent;
}

// Null when neither the record nor its firm has asset entries.
const FirmSettings* AssetServer(const FirmSettings* r) {
    if (r->assetList.count > 0) return r;
    if (r->parent && r->parent->assetList.count > 0) return r->parent;
    return nullptr;
}

// Null when a client ignores the rest-short list.
const FirmSettings* RestShortServer(const FirmSettings* r) {
    if (r->parent && r->ignoreRestShort) return nullptr;
    if (r->restShortList.count > 0 || !r->parent) return r;
    return r->parent;
}

// Walks the firm's class order so MAINMARGINCLASSES decides between classes sharing a code;
// only the first entry of each class counts, as classListIndex points at it.
int32_t FindByCode(const FirmSettings* s, const Array<ClassSecurityList>& entries, bool margin,
                   const char* code, int32_t* secIndex) {
    int32_t n = ClassCount();
    if (n == 0) return 0;
    const Array<int32_t>& order = FirmOf(s)->classOrder;
    const Array<ClassListIndex>& index = s->classListIndex;
    int32_t positions = order.count < index.count ? order.count : index.count;
    for (int32_t i = 0; i < positions; ++i) {
        int32_t j = margin ? index[i].marginEntry : index[i].assetEntry;
        if (j < 0 || j >= entries.count) continue;
        const ClassSecurityList& e = entries[j];
        if (e.classIndex == -1) continue;
        for (int32_t k = 0; k < e.securities.count; ++k) {
            int32_t si = e.securities[k].secIndex;
            if (si < 0 || si >= SecurityCount()) continue;
            if (strcmp(SecurityAt(si)->sec.code, code) == 0) {
                if (secIndex) *secIndex = si;
                return 1;
            }
        }
    }
    return 0;
}

// Every entry of the list counts here, a second entry of the same class too.
int32_t FindByIndex(const Array<ClassSecurityList>& list, int32_t secIndex) {
    if (secIndex < 0 || secIndex >= SecurityCount()) return 0;
    int32_t classIndex = int32_t(SecurityAt(secIndex)->sec.classIndex);
    for (int32_t i = 0; i < list.count; ++i) {
        const ClassSecurityList& e = list[i];
        if (e.classIndex == -1 || e.classIndex != classIndex) continue;
        if (e.allSecurities) return 1;
        for (int32_t k = 0; k < e.securities.count; ++k)
            if (e.securities[k].secIndex == secIndex) return 1;
    }
    return 0;
}

} // namespace

int32_t IsMarginSecurity(const FirmSettings* record, const char* code, int32_t* secIndex) {
    const FirmSettings* s = MarginServer(record);
    return FindByCode(s, s->marginList, true, code, secIndex);
}

int32_t IsAssetSecurity(const FirmSettings* record, const char* code, int32_t* secIndex) {
    const FirmSettings* s = AssetServer(record);
    if (!s) return IsMarginSecurity(record, code, secIndex);
    return FindByCode(s, s->assetList, false, code, secIndex);
}

int32_t InMarginList(const FirmSettings* record, int32_t secIndex) {
    return FindByIndex(MarginServer(record)->marginList, secIndex);
}

int32_t InAssetList(const FirmSettings* record, int32_t secIndex) {
    const FirmSettings* s = AssetServer(record);
    if (!s) return InMarginList(record, secIndex);
    return FindByIndex(s->assetList, secIndex);
}

int32_t InRestShortList(const FirmSettings* record, int32_t secIndex) {
    const FirmSettings* s = RestShortServer(record);
    if (!s) return 0;
    return FindByIndex(s->restShortList, secIndex);
}

} // namespace kesvar
