// Lookups in a loaded firm: its client records, handles, lists, board tags, trade accounts and
// security weights. Everything but a client's lists lives on the firm record, also when a
// client record is bound.
#include <string.h>

#include "state/handles.h"
#include "text/strings.h"
#include "registry/registry.h"
#include "settings/settings.h"

namespace kesvar {

int32_t BoardKind(const FirmSettings* settings, const char* tag) {
    const FirmRecord* firm = FirmOf(settings);
    // A firm that lists no tags takes every tag.
    if (firm->boardTags.count == 0) return Ordinary;
    for (int32_t i = 0; i < firm->boardTags.count; ++i)
        if (CompareNames(firm->boardTags[i].tag, tag) == 0) return firm->boardTags[i].kind;
    return NotCounted;
}

int32_t ListedAccountKind(const FirmRecord* firm, const char* account) {
    // Unlike tags, an account the firm does not list is an ordinary one.
    for (int32_t i = 0; i < firm->tradeAccounts.count; ++i)
        if (CompareNames(firm->tradeAccounts[i].account, account) == 0)
            return firm->tradeAccounts[i].kind;
    return Ordinary;
}

bool WeightIs(const void* firm, int32_t i, const void* code) {
    return strcmp(static_cast<const FirmRecord*>(firm)->securityWeights[i].secCode,
                  static_cast<const char*>(code)) == 0;
}

void ListedWeights(const FirmRecord* firm, const char* secCode, double* longWeight,
                   double* shortWeight) {
    int32_t i = HashFind(firm->weightIndex, HashCode(secCode), WeightIs, firm, secCode);
    if (i < 0) return;
    *longWeight = firm->securityWeights[i].longWeight;
    *shortWeight = firm->securityWeights[i].shortWeight;
}

const FirmSettings* PickClientRecord(const FirmRecord* firm, const char* clientCode) {
    // Exact pass: the first record in attach order whose name equals the code, letter case
    // aside; prefix names and the empty name take no part.
    int32_t exact = -1;
    HashProbe p = HashStart(firm->clientIndex, HashName(clientCode));
    for (int32_t i; (i = HashNext(p)) != -1;) {
        const char* name = firm->clients[i].clientCode;
        size_t n = strlen(name);
        if (n == 0 || name[n - 1] == '*' || (exact >= 0 && i > exact)) continue;
        if (CompareNames(clientCode, name) == 0) exact = i;
    }
    if (exact >= 0) return &firm->clients[exact];
    // Prefix pass: the first "X*" in attach order that begins the code; "*" fits every code.
    for (int32_t k = 0; k < firm->prefixClients.count; ++k) {
        const FirmSettings* client = &firm->clients[firm->prefixClients[k]];
        int32_t n = int32_t(strlen(client->clientCode));
        if (CompareNamePrefix(clientCode, client->clientCode, n - 1) == 0) return client;
    }
    return firm;
}

uint32_t HandleOf(const FirmSettings* settings) {
    const FirmRecord* firm = FirmOf(settings);
    if (settings == firm) return firm->handle;
    // Client records take the handles after their firm's, in attach order.
    return firm->handle + 1 + uint32_t(settings - firm->clients.items);
}

FirmSettings* ResolveHandle(uint32_t handle) {
    FirmRecord* firm;
    int32_t place;
    if (!FindHandle(handle, &firm, &place)) return nullptr;
    return place == 0 ? static_cast<FirmSettings*>(firm) : &firm->clients[place - 1];
}

SecurityList ListOf(const FirmSettings* settings, int32_t kind) {
    int32_t first = settings->firstEntry;
    for (int32_t k = 0; k < kind; ++k)
        first += settings->listCount[k];
    SecurityList list = {FirmOf(settings)->entries.items + first, settings->listCount[kind], first};
    return list;
}

void ListedCode(const FirmSettings* settings, ListedSecurity s, char out[kHostCodeSize]) {
    // Registry codes may hold 19 characters; the host's fields keep 15.
    const char* code =
        s.ref >= 0 ? SecurityAt(s.ref)->sec.code : FirmOf(settings)->codes.items + ~s.ref;
    CopyBounded(out, code, kHostCodeSize - 1);
}

} // namespace kesvar
