// TEMPORARY: placeholders so the tree links while the registry is written. Delete this file
// when the real workers exist.
#include "registry/membership.h"
#include "registry/registry.h"
namespace kesvar {
int32_t AddClass(const KRClass*, const KRSecurity*) { return KR_ERR_NO_MEMORY; }
void ClearRegistry() {}
int32_t isMarginSecurity(const FirmSettings*, const char*, int32_t*) { return 0; }
int32_t isAssetSecurity(const FirmSettings*, const char*, int32_t*) { return 0; }
} // namespace kesvar
