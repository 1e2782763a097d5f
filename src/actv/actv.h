// One security of a client: preparation of the actv record and its figures.
#ifndef KESVAR_ACTV_ACTV_H
#define KESVAR_ACTV_ACTV_H

#include "actv/trace.h"
#include "state/state.h"

namespace kesvar {

struct FirmSettings;

// KRInitMarginalActv's work: KR_ERR_NONE or KR_ERR_NOT_FOUND (actv unchanged).
int32_t PrepareActv(const FirmSettings* settings, KRMarginalActv* actv);
// KRCalcMarginalActv's work: KR_ERR_NONE, KR_ERR_NOT_FOUND, KR_ERR_PARAM_UNKNOWN or
// KR_ERR_NO_PRICE (actv unchanged on failure). Records into `trace` unless it is null.
int32_t CalcActv(const KRMarginalRow* row, const FirmSettings* settings, KRMarginalActv* actv,
                 double price, ActvTrace* trace);

int32_t RestrictBuyOf(const FirmSettings* settings);
int32_t CheckMaxCreditOf(const FirmSettings* settings);

// The key and the sums of one actv walk over the host's securities limits. The key strings
// are whole copies of the row's firm id and client code and the registry's security code.
struct LimitSums {
    char firmId[14];
    char clientCode[17];
    char secCode[21];
    int32_t openBalance, openLimit, currentBalance, currentLimit, lockedSell, lockedBuy;
    double lockedBuyValue;
};

// Adds the client's limits of one security into `sums`; only ordinary trade accounts
// count.
void SumSecLimits(const FirmSettings* settings, LimitSums* sums);

} // namespace kesvar

#endif
