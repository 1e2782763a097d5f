// Binding of a row request to the settings that govern its client.
#include <string.h>

#include "frame/host.h"
#include "frame/strings.h"
#include "row/row.h"
#include "settings/settings.h"

namespace kesvar {

// Client records: an exact name first, then the first prefix name ("AB*", "*") in list order.
static const FirmSettings* PickClientRecord(const FirmSettings* firm, const char* clientCode) {
    for (int32_t i = 0; i < firm->clients.count; ++i) {
        const FirmSettings* c = firm->clients[i];
        size_t n = strlen(c->clientCode);
        if (n == 0 || c->clientCode[n - 1] == '*') continue;
        if (CompareNames(clientCode, c->clientCode) == 0) return c;
    }
    for (int32_t i = 0; i < firm->clients.count; ++i) {
        const FirmSettings* c = firm->clients[i];
        size_t n = strlen(c->clientCode);
        if (n == 0 || c->clientCode[n - 1] != '*') continue;
        if (CompareNamePrefix(clientCode, c->clientCode, int32_t(n - 1)) == 0) return c;
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
