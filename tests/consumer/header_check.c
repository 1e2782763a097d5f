/* Built as strict C99 against the installed header and linked against the installed library:
 * every export must be declared with C linkage and exported under its plain name. */
#include "kesvar.h"
#include "kesvar.h" /* a second include must be harmless */

#include <stdio.h>

typedef void (*AnyFunc)(void);

int main(void) {
    /* Taking each address makes the link fail on any export the library lacks. */
    // clang-format off
    static const AnyFunc exports[] = {
        (AnyFunc)KRInit, (AnyFunc)KRInitEx, (AnyFunc)KRCleanup, (AnyFunc)KRCleanupDlifiles,
        (AnyFunc)KRSetMemoryManagement, (AnyFunc)KRSetLimitCallbacks, (AnyFunc)KRSetParamCallbacks,
        (AnyFunc)KRAddClass, (AnyFunc)KRSetDliniFile, (AnyFunc)KRInitMarginalRow,
        (AnyFunc)KRCalcMarginalRow, (AnyFunc)KRCalcMarginalRowEx, (AnyFunc)KRInitMarginalActv,
        (AnyFunc)KRCalcMarginalActv, (AnyFunc)KRIsMarginSeccode, (AnyFunc)KRIsAssetSeccode,
        (AnyFunc)KRGetMarginSecs, (AnyFunc)KRGetNeedClassSecIDs, (AnyFunc)KRIsBoardTagApplicable,
        (AnyFunc)KRIsLimitsInLots, (AnyFunc)KRGetLastError};
    // clang-format on
    size_t i, present = 0;
    for (i = 0; i < sizeof exports / sizeof exports[0]; i++)
        present += exports[i] != NULL;
    /* Before initialisation every export but the setters refuses with KR_ERR_STATE. */
    if (KRCleanup() != 0 || KRGetLastError() != KR_ERR_STATE) {
        printf("KRCleanup before initialisation was not refused\n");
        return 1;
    }
    printf("%u exports\n", (unsigned)present);
    return present == 21 ? 0 : 1;
}
