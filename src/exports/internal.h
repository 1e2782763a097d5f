// What the kesvar tool reaches beyond the public header: the settings loader's reports with the
// record it builds, and how a row's or an actv's figures came about. Each call takes the
// library lock and refuses before initialisation, as an export does; none is exported from the
// shared library. The tool includes no other header of the library's sources.
#ifndef KESVAR_EXPORTS_INTERNAL_H
#define KESVAR_EXPORTS_INTERNAL_H

#include "kesvar.h"
#include "arith/int32.h"
#include "actv/trace.h"
#include "row/trace.h"
#include "settings/names.h"

// The settings record itself, for the few tool files that read what the loader built: they
// define KESVAR_INTERNAL_SETTINGS first. The rest know it by name only, so a change to the
// loader's, the state's or the allocator's headers rebuilds three of the tool's files, not all.
#ifdef KESVAR_INTERNAL_SETTINGS
#include "settings/settings.h"
#endif

namespace kesvar {

struct FirmRecord;
struct DiagnosticSink;

typedef void (*InspectSettingsFunc)(void* user, const FirmRecord* firm);

// Reads `text` as a firm's settings into a record of its own, outside the firm table, so no
// firm the host loaded changes; `sink` receives the loader's reports, `inspect` (may be null)
// sees the linked record, which is then released. 1, or 0 with the last error KR_ERR_STATE,
// KR_ERR_ARGUMENT (null text) or KR_ERR_NO_MEMORY.
int32_t CheckSettingsText(const char* text, DiagnosticSink* sink, InspectSettingsFunc inspect,
                          void* user);

// KRCalcMarginalRow and KRCalcMarginalActv, recording into `trace` how the figures came about.
int32_t TraceMarginalRow(KRMarginalRow* row, RowTrace* trace);
int32_t TraceMarginalActv(const KRMarginalRow* row, KRMarginalActv* actv, double price,
                          ActvTrace* trace);

} // namespace kesvar

#endif
