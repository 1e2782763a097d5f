// Joins the firms' settings lists to the registry: the resolution of list entries, each firm's
// class order by MAINMARGINCLASSES, and the indexes of the long lists. Classes and settings may
// arrive in any order, so both KRAddClass and KRSetDliniFile end here.
#ifndef KESVAR_LINKS_LINKS_H
#define KESVAR_LINKS_LINKS_H

#include "settings/settings.h"

namespace kesvar {

// KRAddClass's work after the export's checks: KR_ERR_NONE (registered, or skipped for its
// flags), KR_ERR_CLASS_EXISTS (valueUnlisted refreshed) or KR_ERR_NO_MEMORY (nothing
// registered, every firm as before).
int32_t AddClass(const KRClass* cls, const KRSecurity* securities);

// KRSetDliniFile's work: loads the text and links the record. KR_ERR_NONE, KR_ERR_NO_MEMORY
// (the firm then has no record) or KR_ERR_ARGUMENT for a key longer than 12 characters
// (nothing changed). `sink` as for LoadFirmSettings.
int32_t SetFirmSettings(const char* key, const char* text, DiagnosticSink* sink);

// LoadDetachedSettings, linked like SetFirmSettings's record; the caller releases it with
// ClearFirmSettings(record, true).
int32_t LoadDetachedLinked(const char* text, DiagnosticSink* sink, FirmRecord** loaded);

// Whether class a comes before class b in the firm's class order: the classes MAINMARGINCLASSES
// names first, in the order it names them, then the others in registration order.
bool ClassBefore(const FirmRecord* firm, int32_t a, int32_t b);

} // namespace kesvar

#endif
