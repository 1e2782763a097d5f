// TEMPORARY: placeholders so the tree links while the row is written. Delete this file when
// the real workers exist.
#include "row/row.h"
namespace kesvar {
int32_t BindRow(KRMarginalRow*) { return KR_ERR_NO_SETTINGS; }
int32_t CalcRow(KRMarginalRow*, const FirmSettings*, uint32_t*, uint32_t*) { return KR_ERR_PARAM_UNKNOWN; }
int32_t BoardKind(const FirmSettings*, const char*) { return 0; }
} // namespace kesvar
