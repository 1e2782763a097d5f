// One security of a client: preparation of the actv record and its figures.
#ifndef KESVAR_ACTV_ACTV_H
#define KESVAR_ACTV_ACTV_H

#include "frame/state.h"

namespace kesvar {

struct FirmSettings;

// KRInitMarginalActv's work: KR_ERR_NONE or KR_ERR_NOT_FOUND (actv unchanged).
int32_t PrepareActv(const FirmSettings* r, KRMarginalActv* actv);
// KRCalcMarginalActv's work: KR_ERR_NONE, KR_ERR_NOT_FOUND, KR_ERR_PARAM_UNKNOWN or
// KR_ERR_NO_PRICE (actv unchanged on failure).
int32_t CalcActv(const KRMarginalRow* row, const FirmSettings* r, KRMarginalActv* actv,
                 double price);

int32_t restrictBuyOf(const FirmSettings* r);
int32_t checkMaxCreditOf(const FirmSettings* r);
int32_t limitsInLotsOf(const FirmSettings* r);

} // namespace kesvar

#endif
