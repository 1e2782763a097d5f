// Whether a security belongs to the margin, asset or rest-short list that governs a record.
#ifndef KESVAR_REGISTRY_MEMBERSHIP_H
#define KESVAR_REGISTRY_MEMBERSHIP_H

#include "settings/settings.h"

namespace kesvar {

// By code, in the firm's class order; on 1 the registry index goes to *secIndex (if non-null).
int32_t IsMarginSecurity(const FirmSettings* record, const char* code, int32_t* secIndex);
int32_t IsAssetSecurity(const FirmSettings* record, const char* code, int32_t* secIndex);

// By registry index; every entry of the serving list is consulted.
int32_t InMarginList(const FirmSettings* record, int32_t secIndex);
int32_t InAssetList(const FirmSettings* record, int32_t secIndex);
int32_t InRestShortList(const FirmSettings* record, int32_t secIndex);

// The list that answers one kind of lookup of a record: its entries, and its index when it has
// one (null serving: no such list).
struct ListView {
    const FirmSettings* serving;
    SecurityList list;
    const ListIndex* index;
};
// The lists a record's positions are looked up in, found once for all the positions of a row.
struct PositionLists {
    const FirmSettings* record;
    ListView assets; // no serving record: no asset list, the margin list answers
    ListView margin;
};
void PreparePositionLists(const FirmSettings* record, PositionLists* lists);

// What the valuation asks of a position's security: found in the asset list (the margin list
// when there is none) by code, with whether the margin list holds it; else found in the margin
// list. Answers as IsAssetSecurity, InMarginList and IsMarginSecurity in that order would,
// without asking twice what one answer settles. False when neither list has it.
bool IdentifyListed(const PositionLists& lists, const char* code, int32_t* secIndex, bool* isAsset,
                    bool* isMargin);

// A security in no list of the record that a class valuing unlisted positions holds: the first
// such class in the firm's class order that has a security of the code, and its first security
// of that code; -1 when none.
int32_t FindUnlistedSecurity(const FirmSettings* record, const char* code);

} // namespace kesvar

#endif
