// Joins the firms' settings lists to the registry: resolution of list entries, each firm's
// class order by MAINMARGINCLASSES and each record's class-to-entry index.
#ifndef KESVAR_REGISTRY_LINKS_H
#define KESVAR_REGISTRY_LINKS_H

#include "frame/state.h"

namespace kesvar {

struct FirmSettings;

// After a new class: resolves pending entries of every record and relinks every firm.
// False on allocation failure.
bool RelinkAllFirmSettings();
// Builds classOrder (firm records) and classListIndex (firm and client records).
// False on allocation failure.
bool LinkFirmSettings(FirmSettings* record, const char* orderText);

} // namespace kesvar

#endif
