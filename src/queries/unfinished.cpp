// TEMPORARY: placeholders so the tree links while the queries are written. Delete this file
// when the real workers exist.
#include "queries/queries.h"
namespace kesvar {
int32_t GetMarginSecs(const FirmSettings*, KRMarginSecsFunc, uintptr_t) { return KR_ERR_NO_MEMORY; }
int32_t GetNeedClassSecIDs(uint32_t, uint32_t*, unsigned char*) { return KR_ERR_NOT_FOUND; }
} // namespace kesvar
