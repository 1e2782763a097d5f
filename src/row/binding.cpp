// Binding of a row request to the settings that govern its client.
#include <string.h>

#include "host/host.h"
#include "text/strings.h"
#include "row/row.h"
#include "settings/settings.h"

namespace kesvar {

int32_t BindRow(KRMarginalRow* row) {
    row->binding = 0;
    row->creditLag2 = 0;
    RowKey key;
    RowKeyOf(row, &key);
    const FirmRecord* firm = FindFirm(key.firmId);
    if (!firm) return KR_ERR_NO_SETTINGS;
    const FirmSettings* settings = PickClientRecord(firm, key.clientCode);
    row->binding = HandleOf(settings);
    row->creditLag2 = ClientCreditLag(settings, key.clientCode) == 2 ? 1 : 0;
    return KR_ERR_NONE;
}

} // namespace kesvar
