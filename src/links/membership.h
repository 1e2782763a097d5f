// Whether a security belongs to the margin, asset or rest-short list that governs a record.
#ifndef KESVAR_LINKS_MEMBERSHIP_H
#define KESVAR_LINKS_MEMBERSHIP_H

#include "links/links.h"
#include "registry/registry.h"
#include "settings/settings.h"

namespace kesvar {

// The record whose margin list applies to a record: its own, else its firm's.
const FirmSettings* MarginServer(const FirmSettings* settings);

// By code, in the firm's class order; on 1 the registry index goes to *secIndex (if non-null).
int32_t IsMarginSecurity(const FirmSettings* settings, const char* code, int32_t* secIndex);
int32_t IsAssetSecurity(const FirmSettings* settings, const char* code, int32_t* secIndex);

// By registry index; every entry of the serving list is consulted.
int32_t InMarginList(const FirmSettings* settings, int32_t secIndex);
int32_t InAssetList(const FirmSettings* settings, int32_t secIndex);
int32_t InRestShortList(const FirmSettings* settings, int32_t secIndex);

// The list that answers one kind of lookup of a record: its entries, and its index when it has
// one (null serving: no such list).
struct ListView {
    const FirmSettings* serving;
    SecurityList list;
    const ListIndex* index;
};
// The lists a record's positions are looked up in, found once for all the positions of a row.
struct PositionLists {
    ListView assets; // no serving record: no asset list, the margin list answers
    ListView margin;
};
void PreparePositionLists(const FirmSettings* settings, PositionLists* lists);

// The registry index a lookup by code answers in a list, or -1: the first class in the firm's
// class order whose first entry in the list names a registered security of that code (compared
// exactly). `hash` is ListItemHash of the code.
int32_t FindByCode(const ListView& v, const char* code, uint32_t hash);
// 1 when the list holds the security: every entry counts, a second entry of a class too.
int32_t FindByIndex(const ListView& v, int32_t secIndex);

inline bool SameCode(const char* a, const char* b) {
    for (; *a == *b; ++a, ++b)
        if (*a == 0) return true;
    return false;
}

// FindByCode in a list's index, with `same` telling whether a registered security has the code:
// of the securities of that code in a first entry of their class, the one of the first class in
// the firm's order; within a class ("<ALL>" may hold a code twice) the first registered. A code
// no other class shares answers at its first match.
template <class Same>
inline int32_t FindIndexed(const ListIndex& index, const FirmRecord* firm, uint32_t hash,
                           Same same) {
    int32_t best = -1, bestClass = -1;
    HashProbe p = HashStart(index.items, hash);
    for (int32_t item; (item = HashNext(p)) != -1;) {
        const int32_t sec = ItemSecurity(item);
        if (!(ItemFlags(item) & kFirstOfClass) || !same(SecurityAt(sec)->sec.code)) continue;
        if (!(ItemFlags(item) & kCodeShared)) return sec;
        const int32_t classIndex = int32_t(SecurityAt(sec)->sec.classIndex);
        if (best < 0 || ClassBefore(firm, classIndex, bestClass) ||
            (classIndex == bestClass && sec < best)) {
            best = sec;
            bestClass = classIndex;
        }
    }
    return best;
}

// What the valuation asks of a position's security: found in the asset list (the margin list
// when there is none) by code, with whether the margin list holds it; else found in the margin
// list. Answers as IsAssetSecurity, InMarginList and IsMarginSecurity in that order would,
// without asking twice what one answer settles. False when neither list has it. Inline, and
// with the code compared a word at a time in the usual case of a long list, for it runs for
// every position of a row.
inline bool IdentifyListed(const PositionLists& lists, const PaddedCode& code, int32_t* secIndex,
                           bool* isAsset, bool* isMargin) {
    const uint32_t hash = HashPadded(code); // ListItemHash of the code
    const bool assetList = lists.assets.serving != nullptr;
    const ListView& first = assetList ? lists.assets : lists.margin;
    int32_t found =
        first.index
            ? FindIndexed(*first.index, FirmOf(first.serving), hash,
                          [&](const char* registered) { return SamePadded(registered, code); })
            : FindByCode(first, code.text, hash);
    if (found >= 0) {
        *secIndex = found;
        *isAsset = true;
        // Without an asset list the margin list answered: the security is listed in it.
        *isMargin = !assetList || FindByIndex(lists.margin, found) != 0;
        return true;
    }
    // Without an asset list the margin list has been asked already.
    found = assetList ? FindByCode(lists.margin, code.text, hash) : -1;
    if (found < 0) return false;
    *secIndex = found;
    *isAsset = false;
    *isMargin = true;
    return true;
}

// A security in no list of the record that a class valuing unlisted positions holds: the first
// such class in the firm's class order that has a security of the code, and its first security
// of that code; -1 when none.
int32_t FindUnlistedSecurity(const FirmSettings* settings, const char* code);

} // namespace kesvar

#endif
