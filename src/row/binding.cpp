// Binding of a row request to the settings that govern its client.
#include <string.h>

#include "frame/host.h"
#include "frame/names.h"
#include "row/row.h"
#include "settings/settings.h"

namespace kesvar {

static int CompareLagCode(const char* key, const ClientLag* entry) {
    return nameEquals(key, entry->clientCode);
}

// Prefix entries are stored without their '*'; an empty one fits every client.
static int CompareLagPrefix(const char* key, const ClientLag* entry) {
    return namePrefixEquals(key, entry->clientCode, int32_t(strlen(entry->clientCode)));
}

int32_t ClientCreditLag(const FirmSettings* record, const char* clientCode) {
    const FirmSettings* f = FirmOf(record);
    int32_t i = FindSortedCode(clientCode, f->clientLags.items, f->clientLags.count, CompareLagCode,
                               nullptr);
    if (i >= 0) return f->clientLags[i]->lag;
    i = FindSortedCode(clientCode, f->clientLagPrefixes.items, f->clientLagPrefixes.count,
                       CompareLagPrefix, nullptr);
    if (i >= 0) return f->clientLagPrefixes[i]->lag;
    return f->creditLag;
}

// Client records: an exact name first, then the first prefix name ("AB*", "*") in list order.
static const FirmSettings* PickClientRecord(const FirmSettings* firm, const char* clientCode) {
    for (int32_t i = 0; i < firm->clients.count; ++i) {
        const FirmSettings* c = firm->clients[i];
        size_t n = strlen(c->clientCode);
        if (n == 0 || c->clientCode[n - 1] == '*') continue;
        if (nameEquals(clientCode, c->clientCode) == 0) return c;
    }
    for (int32_t i = 0; i < firm->clients.count; ++i) {
        const FirmSettings* c = firm->clients[i];
        size_t n = strlen(c->clientCode);
        if (n == 0 || c->clientCode[n - 1] != '*') continue;
        if (namePrefixEquals(clientCode, c->clientCode, int32_t(n - 1)) == 0) return c;
    }
    return firm;
}

int32_t BindRow(KRMarginalRow* row) {
    row->binding = 0;
    row->creditLag2 = 0;
    RowKey key;
    RowKeyOf(row, &key);
    int32_t i = FindFirmSettings(key.firmId);
    if (i < 0) return KR_ERR_NO_SETTINGS;
    const FirmSettings* r = PickClientRecord(gState.firmSettingsTable[i], key.clientCode);
    row->binding = r->handle;
    row->creditLag2 = ClientCreditLag(r, key.clientCode) == 2 ? 1 : 0;
    return KR_ERR_NONE;
}

} // namespace kesvar
