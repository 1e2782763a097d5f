// The firm's board tags, trade accounts and security weights, looked up for a bound record.
// They always live on the firm record, also when a client record is bound.
#include <string.h>

#include "frame/strings.h"
#include "settings/settings.h"

namespace kesvar {

int32_t BoardKind(const FirmSettings* r, const char* tag) {
    const FirmSettings* f = FirmOf(r);
    // A firm that lists no tags takes every tag.
    if (f->boardTags.count == 0) return Listed;
    for (int32_t i = 0; i < f->boardTags.count; ++i)
        if (CompareNames(f->boardTags[i].tag, tag) == 0) return f->boardTags[i].kind;
    return NotListed;
}

int32_t AccountKind(const FirmSettings* r, const char* account) {
    const FirmSettings* f = FirmOf(r);
    // Unlike tags, an account the firm does not list is an ordinary one.
    for (int32_t i = 0; i < f->tradeAccounts.count; ++i)
        if (CompareNames(f->tradeAccounts[i].account, account) == 0)
            return f->tradeAccounts[i].kind;
    return Listed;
}

void WeightsOf(const FirmSettings* r, const char* secCode, double* longWeight,
               double* shortWeight) {
    *longWeight = 1.0;
    *shortWeight = 1.0;
    if (!r) return;
    while (r->parent)
        r = r->parent;
    for (int32_t i = 0; i < r->securityWeights.count; ++i) {
        const SecurityWeight& w = r->securityWeights[i];
        if (strcmp(w.secCode, secCode) == 0) {
            *longWeight = w.longWeight;
            *shortWeight = w.shortWeight;
            return;
        }
    }
}

} // namespace kesvar
