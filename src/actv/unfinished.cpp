// TEMPORARY: placeholders so the tree links while the actv is written. Delete this file when
// the real workers exist.
#include "actv/actv.h"
namespace kesvar {
int32_t PrepareActv(const FirmSettings*, KRMarginalActv*) { return KR_ERR_NOT_FOUND; }
int32_t CalcActv(const KRMarginalRow*, const FirmSettings*, KRMarginalActv*, double) { return KR_ERR_NOT_FOUND; }
} // namespace kesvar
