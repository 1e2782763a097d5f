/* Built as strict C99 against the installed headers and linked against the installed library:
 * every export must be declared with C linkage and exported under its plain name, its pointer
 * type must take it without a cast, and the header's helpers must hold for every code. */
#include "kesvar.h"
#include "kesvar.h" /* a second include must be harmless */

#include <stdio.h>
#include <string.h>

#if KESVAR_VERSION !=                                                                              \
    KESVAR_VERSION_MAJOR * 10000 + KESVAR_VERSION_MINOR * 100 + KESVAR_VERSION_PATCH
#error "KESVAR_VERSION does not match its parts"
#endif

/* Each export through its pointer type: a type that does not match is a compile error here
 * (-Werror), and a missing export fails the link. */
#define EXPORTS(X)                                                                                 \
    X(KRInit);                                                                                     \
    X(KRInitEx);                                                                                   \
    X(KRCleanup);                                                                                  \
    X(KRCleanupDlifiles);                                                                          \
    X(KRSetMemoryManagement);                                                                      \
    X(KRSetLimitCallbacks);                                                                        \
    X(KRSetParamCallbacks);                                                                        \
    X(KRAddClass);                                                                                 \
    X(KRSetDliniFile);                                                                             \
    X(KRInitMarginalRow);                                                                          \
    X(KRCalcMarginalRow);                                                                          \
    X(KRCalcMarginalRowEx);                                                                        \
    X(KRInitMarginalActv);                                                                         \
    X(KRCalcMarginalActv);                                                                         \
    X(KRIsMarginSeccode);                                                                          \
    X(KRIsAssetSeccode);                                                                           \
    X(KRGetMarginSecs);                                                                            \
    X(KRGetNeedClassSecIDs);                                                                       \
    X(KRIsBoardTagApplicable);                                                                     \
    X(KRIsLimitsInLots);                                                                           \
    X(KRGetLastError)
#define FIELD(name) name##Fn name
#define ASSIGN(name) exports.name = name
typedef struct Exports {
    EXPORTS(FIELD);
} Exports;
static Exports exports;

#define CODE(c)                                                                                    \
    { c, #c }
static const struct {
    int32_t code;
    const char* name;
} codes[] = {CODE(KR_ERR_NONE),          CODE(KR_ERR_STATE),        CODE(KR_ERR_ARGUMENT),
             CODE(KR_ERR_SIZE),          CODE(KR_ERR_CLASS_EXISTS), CODE(KR_ERR_NO_SETTINGS),
             CODE(KR_ERR_PARAM_UNKNOWN), CODE(KR_ERR_NOT_FOUND),    CODE(KR_ERR_NO_PRICE),
             CODE(KR_ERR_VERSION),       CODE(KR_ERR_NO_MEMORY)};

/* Every code is named by its own macro name, then ": " and a phrase, each phrase its own. */
static int CheckErrorNames(void) {
    static const int32_t unknown[] = {-1, 11, 1000, INT32_MIN, INT32_MAX};
    const char* unknownText = KRErrorName(unknown[0]);
    size_t i, j;
    for (i = 0; i < sizeof codes / sizeof codes[0]; i++) {
        const char* text = KRErrorName(codes[i].code);
        size_t n = strlen(codes[i].name);
        if (strncmp(text, codes[i].name, n) != 0 || strncmp(text + n, ": ", 2) != 0 ||
            strlen(text) < n + 4) {
            printf("KRErrorName(%s) gives \"%s\"\n", codes[i].name, text);
            return 0;
        }
        for (j = 0; j < i; j++) {
            if (strcmp(text + n, KRErrorName(codes[j].code) + strlen(codes[j].name)) == 0) {
                printf("%s and %s share a phrase\n", codes[i].name, codes[j].name);
                return 0;
            }
        }
    }
    for (i = 0; i < sizeof unknown / sizeof unknown[0]; i++) {
        const char* text = KRErrorName(unknown[i]);
        if (text == NULL || strncmp(text, "KR_ERR_", 7) == 0 || strcmp(text, unknownText) != 0) {
            printf("KRErrorName(%ld) gives \"%s\"\n", (long)unknown[i], text ? text : "(null)");
            return 0;
        }
    }
    printf("%u codes named, unknown codes: %s\n", (unsigned)(sizeof codes / sizeof codes[0]),
           unknownText);
    return 1;
}

int main(void) {
    EXPORTS(ASSIGN);
    printf("%u exports\n", (unsigned)(sizeof exports / sizeof exports.KRInit));
    printf("version %s\n", KESVAR_VERSION_STRING);
    return CheckErrorNames() ? 0 : 1;
}
