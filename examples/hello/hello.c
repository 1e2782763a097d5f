/* A minimal host: installs its callbacks, initialises the library and reports what it did. */
#include <stdio.h>
#include "kesvar.h"

static int32_t KR_CALL FindFirstMoney(const char* f, const char* c, const char* a, const char* b,
                                      uint32_t* first) {
    (void)f;
    (void)c;
    (void)a;
    (void)b;
    *first = 0;
    return 0;
}
static const KRMoneyLimit* KR_CALL GetMoney(uint32_t i) {
    (void)i;
    return NULL;
}
static int32_t KR_CALL FindFirstSec(const char* f, const char* c, const char* s, const char* b,
                                    uint32_t* first) {
    (void)f;
    (void)c;
    (void)s;
    (void)b;
    *first = 0;
    return 0;
}
static const KRSecLimit* KR_CALL GetSec(uint32_t i) {
    (void)i;
    return NULL;
}
static int32_t KR_CALL ParamId(const char* name) {
    (void)name;
    return 1;
}
static double KR_CALL ParamValue(uint32_t c, uint32_t s, int32_t p) {
    (void)c;
    (void)s;
    (void)p;
    return 0.0;
}

int main(void) {
    int32_t ok = KRSetLimitCallbacks(FindFirstMoney, GetMoney, FindFirstSec, GetSec) &&
                 KRSetParamCallbacks(ParamId, ParamValue) && KRInitEx(KR_INTERFACE_V2, 96, 96);
    printf("KRInitEx: %s (last error %d)\n", ok ? "initialised" : "refused", (int)KRGetLastError());
    ok = KRInitEx(KR_INTERFACE_V2, 96, 96);
    printf("second KRInitEx: result %d, last error %d (KR_ERR_STATE)\n", (int)ok,
           (int)KRGetLastError());
    return KRGetLastError() == KR_ERR_STATE ? 0 : 1;
}
