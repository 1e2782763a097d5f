// Joins the firms' settings lists to the registry: resolution of list entries, each firm's
// class order by MAINMARGINCLASSES and each record's class-to-entry index. Classes and
// settings may arrive in any order, so both KRAddClass and KRSetDliniFile end here.
#ifndef KESVAR_LINKS_LINKS_H
#define KESVAR_LINKS_LINKS_H

#include "settings/settings.h"

namespace kesvar {

// KRAddClass's work after the export's checks: KR_ERR_NONE (registered, or skipped for its
// flags), KR_ERR_CLASS_EXISTS (valueUnlisted refreshed) or KR_ERR_NO_MEMORY (nothing
// registered, every firm as before).
int32_t AddClass(const KRClass* cls, const KRSecurity* securities);

// KRSetDliniFile's work: loads the text, resolves its lists and links the record.
// KR_ERR_NONE, KR_ERR_NO_MEMORY (the firm then has no record) or KR_ERR_ARGUMENT for a key
// longer than 12 characters (nothing changed). `sink` as for LoadFirmSettings.
int32_t SetFirmSettings(const char* key, const char* text, DiagnosticSink* sink);

// After a new class: resolves pending entries of every record and relinks every firm.
// False on allocation failure.
bool RelinkAllFirmSettings();
// Builds classOrder (firm records) and classListIndex (firm and client records).
// False on allocation failure.
bool LinkFirmSettings(FirmSettings* record, const char* orderText);

} // namespace kesvar

#endif
