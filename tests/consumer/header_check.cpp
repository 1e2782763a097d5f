// Built as strict C++17 against the installed header and linked against the installed
// library: the declarations must carry C linkage, or the mangled names would not link.
#include "kesvar.h"

#include <cstdio>
#include <type_traits>

static_assert(std::is_standard_layout<KRMarginalRow>::value, "row must stay a plain record");
static_assert(std::is_trivially_copyable<KRMarginalActv>::value, "actv must stay a plain record");
static_assert(std::is_same<decltype(&KRCalcMarginalActv),
                           int32_t(KR_CALL*)(const KRMarginalRow*, KRMarginalActv*, double)>::value,
              "KRCalcMarginalActv signature");

int main() {
    KRMarginalRow row{};
    row.size = KR_ROW_SIZE_280;
    // Not initialised yet: a row export refuses with KR_ERR_STATE, whatever the row holds.
    if (KRInitMarginalRow(&row) != 0 || KRGetLastError() != KR_ERR_STATE) {
        std::printf("KRInitMarginalRow before initialisation was not refused\n");
        return 1;
    }
    std::printf("refused: %s\n", KRErrorName(KRGetLastError()));
    return 0;
}
