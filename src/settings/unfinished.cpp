// TEMPORARY: placeholders so the tree links while the loader is written. Delete this file
// when the real workers exist.
#include "settings/settings.h"
namespace kesvar {
int32_t LoadFirmSettings(const char*, const char*, DiagnosticSink*) { return KR_ERR_NO_MEMORY; }
int32_t FindFirmSettings(const char*) { return -1; }
void DropAllFirmSettings() {}
} // namespace kesvar
