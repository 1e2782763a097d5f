// List membership of a security for a firm or client record. A client's own list of a kind
// replaces its firm's; a missing asset list means the margin list answers. Long lists answer
// through their index, short ones by a scan; both give the answer of a walk over the firm's
// class order.
#include "links/membership.h"

#include <string.h>

#include "index/sort.h"
#include "links/links.h"
#include "registry/registry.h"
#include "settings/settings.h"

namespace kesvar {

namespace {

// Null when neither the record nor its firm has asset entries.
const FirmSettings* AssetServer(const FirmSettings* settings) {
    if (settings->listCount[kAssetList] > 0) return settings;
    if (settings->parent && settings->parent->listCount[kAssetList] > 0) return settings->parent;
    return nullptr;
}

// Null when a client ignores the rest-short list.
const FirmSettings* RestShortServer(const FirmSettings* settings) {
    if (settings->parent && settings->ignoreRestShort) return nullptr;
    if (settings->listCount[kRestShortList] > 0 || !settings->parent) return settings;
    return settings->parent;
}

// The index of a list, or null when it is short enough to be scanned.
const ListIndex* IndexOf(const FirmRecord* firm, const SecurityList& list) {
    const Array<ListIndex>& all = firm->listIndexes;
    const int32_t i =
        PartitionPoint(all.count, [&](int32_t k) { return all[k].firstEntry < list.firstEntry; });
    return i < all.count && all[i].firstEntry == list.firstEntry ? &all[i] : nullptr;
}

ListView ViewOf(const FirmSettings* serving, int32_t kind) {
    ListView v;
    v.serving = serving;
    v.list = serving ? ListOf(serving, kind) : SecurityList{nullptr, 0, 0};
    v.index = v.list.count > 0 ? IndexOf(FirmOf(serving), v.list) : nullptr;
    return v;
}

} // namespace

int32_t FindByCode(const ListView& v, const char* code, uint32_t hash) {
    if (v.list.count == 0) return -1;
    const FirmRecord* firm = FirmOf(v.serving);
    if (v.index)
        return FindIndexed(*v.index, firm, hash,
                           [&](const char* registered) { return SameCode(registered, code); });
    int32_t best = -1, bestClass = -1;
    for (int32_t i = 0; i < v.list.count; ++i) {
        const ClassSecurityList& e = v.list.entries[i];
        if (e.classIndex < 0 || (bestClass >= 0 && !ClassBefore(firm, e.classIndex, bestClass)))
            continue;
        bool firstOfClass = true; // only the first entry of a class counts
        for (int32_t j = 0; j < i && firstOfClass; ++j)
            firstOfClass = v.list.entries[j].classCode != e.classCode;
        if (!firstOfClass) continue;
        const ListedSecurity* secs = SecuritiesOf(v.serving, e);
        for (int32_t k = 0; k < e.securityCount; ++k) {
            if (secs[k].ref >= 0 && strcmp(SecurityAt(secs[k].ref)->sec.code, code) == 0) {
                best = secs[k].ref;
                bestClass = e.classIndex;
                break;
            }
        }
    }
    return best;
}

int32_t FindByIndex(const ListView& v, int32_t secIndex) {
    if (secIndex < 0 || secIndex >= SecurityCount() || v.list.count == 0) return 0;
    const int32_t classIndex = int32_t(SecurityAt(secIndex)->sec.classIndex);
    if (v.index) {
        const Array<int32_t>& all = v.index->allClasses;
        const int32_t i = PartitionPoint(all.count, [&](int32_t k) { return all[k] < classIndex; });
        if (i < all.count && all[i] == classIndex) return 1;
        HashProbe p = HashStart(v.index->items, ListItemHash(SecurityAt(secIndex)->sec.code));
        for (int32_t item; (item = HashNext(p)) != -1;)
            if (ItemSecurity(item) == secIndex) return 1;
        return 0;
    }
    for (int32_t i = 0; i < v.list.count; ++i) {
        const ClassSecurityList& e = v.list.entries[i];
        if (e.classIndex == -1 || e.classIndex != classIndex) continue;
        if (e.allSecurities) return 1;
        const ListedSecurity* secs = SecuritiesOf(v.serving, e);
        for (int32_t k = 0; k < e.securityCount; ++k)
            if (secs[k].ref == secIndex) return 1;
    }
    return 0;
}

namespace {

int32_t Found(int32_t index, int32_t* secIndex) {
    if (index < 0) return 0;
    if (secIndex) *secIndex = index;
    return 1;
}

} // namespace

const FirmSettings* MarginServer(const FirmSettings* settings) {
    if (settings->listCount[kMarginList] > 0 || !settings->parent) return settings;
    return settings->parent;
}

int32_t IsMarginSecurity(const FirmSettings* settings, const char* code, int32_t* secIndex) {
    return Found(FindByCode(ViewOf(MarginServer(settings), kMarginList), code, ListItemHash(code)),
                 secIndex);
}

int32_t IsAssetSecurity(const FirmSettings* settings, const char* code, int32_t* secIndex) {
    const FirmSettings* serving = AssetServer(settings);
    if (!serving) return IsMarginSecurity(settings, code, secIndex);
    return Found(FindByCode(ViewOf(serving, kAssetList), code, ListItemHash(code)), secIndex);
}

int32_t InMarginList(const FirmSettings* settings, int32_t secIndex) {
    return FindByIndex(ViewOf(MarginServer(settings), kMarginList), secIndex);
}

int32_t InAssetList(const FirmSettings* settings, int32_t secIndex) {
    const FirmSettings* serving = AssetServer(settings);
    if (!serving) return InMarginList(settings, secIndex);
    return FindByIndex(ViewOf(serving, kAssetList), secIndex);
}

int32_t InRestShortList(const FirmSettings* settings, int32_t secIndex) {
    const FirmSettings* serving = RestShortServer(settings);
    if (!serving) return 0;
    return FindByIndex(ViewOf(serving, kRestShortList), secIndex);
}

void PreparePositionLists(const FirmSettings* settings, PositionLists* lists) {
    lists->assets = ViewOf(AssetServer(settings), kAssetList);
    lists->margin = ViewOf(MarginServer(settings), kMarginList);
}

int32_t FindUnlistedSecurity(const FirmSettings* settings, const char* code) {
    const FirmRecord* firm = FirmOf(settings);
    int32_t best = -1;
    CodeMatches m = StartCodeMatches(code);
    for (int32_t s; (s = NextCodeMatch(m)) != -1;) {
        const int32_t classIndex = int32_t(SecurityAt(s)->sec.classIndex);
        if (!ClassAt(classIndex)->cls.valueUnlisted) continue;
        if (best < 0 || ClassBefore(firm, classIndex, int32_t(SecurityAt(best)->sec.classIndex)))
            best = s;
    }
    return best;
}

} // namespace kesvar
