/*
 * Kesvar loaded at run time: a host that does not link the library but opens it with dlopen
 * (LoadLibrary on Windows), looks up every export by its plain name, and calls through the
 * header's pointer types (KRInitExFn and the others). Only the headers are needed to build it.
 *
 * The scenario is the smallest useful one: one class with one security, one firm whose
 * settings list it as a margin security, one client with a money limit and a position. The
 * host computes the client's marginal row and the security's actv, then shows a refusal.
 *
 * Usage: kesvar_dlopen [LIBRARY]; LIBRARY defaults to the file name of the major version this
 * host was built for (libkesvar.so.1, Kesvar.dll), found by the system's usual search.
 *
 * Plain C99.
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include "kesvar.h"

#define STRINGIFY(x) #x
#define STRINGIFY_VALUE(x) STRINGIFY(x)
#ifdef _WIN32
#define DEFAULT_LIBRARY "Kesvar.dll"
#else
#define DEFAULT_LIBRARY "libkesvar.so." STRINGIFY_VALUE(KESVAR_VERSION_MAJOR)
#endif

/* ---- The library, opened at run time --------------------------------------------------- */

/* Every export, as a pointer of the header's type, named like the export. */
#define KESVAR_EXPORTS(X)                                                                          \
    X(KRSetMemoryManagement)                                                                       \
    X(KRSetLimitCallbacks)                                                                         \
    X(KRSetParamCallbacks)                                                                         \
    X(KRInit)                                                                                      \
    X(KRInitEx)                                                                                    \
    X(KRCleanup)                                                                                   \
    X(KRCleanupDlifiles)                                                                           \
    X(KRAddClass)                                                                                  \
    X(KRSetDliniFile)                                                                              \
    X(KRInitMarginalRow)                                                                           \
    X(KRCalcMarginalRow)                                                                           \
    X(KRCalcMarginalRowEx)                                                                         \
    X(KRInitMarginalActv)                                                                          \
    X(KRCalcMarginalActv)                                                                          \
    X(KRIsMarginSeccode)                                                                           \
    X(KRIsAssetSeccode)                                                                            \
    X(KRGetMarginSecs)                                                                             \
    X(KRGetNeedClassSecIDs)                                                                        \
    X(KRIsBoardTagApplicable)                                                                      \
    X(KRIsLimitsInLots)                                                                            \
    X(KRGetLastError)

typedef struct Kesvar {
#define KESVAR_FIELD(name) name##Fn name;
    KESVAR_EXPORTS(KESVAR_FIELD)
#undef KESVAR_FIELD
#ifdef _WIN32
    HMODULE module;
#else
    void* module;
#endif
} Kesvar;

/* Any export, before it is given its own type: a cast from this type to any other function
 * pointer type is clean C. */
typedef void (*AnyExport)(void);

static AnyExport FindExport(const Kesvar* lib, const char* name) {
    AnyExport fn = NULL;
#ifdef _WIN32
    fn = (AnyExport)GetProcAddress(lib->module, name);
#else
    /* ISO C has no conversion from dlsym's void* to a function pointer; POSIX guarantees the
     * two have the same representation, so the bytes are copied. */
    void* address = dlsym(lib->module, name);
    if (address != NULL) memcpy(&fn, &address, sizeof fn);
#endif
    if (fn == NULL) fprintf(stderr, "%s: not exported by the library\n", name);
    return fn;
}

/* Opens the library and finds every export; false, with a message, when anything is missing. */
static int OpenKesvar(Kesvar* lib, const char* path) {
    int found = 0, wanted = 0;
    memset(lib, 0, sizeof *lib);
#ifdef _WIN32
    lib->module = LoadLibraryA(path);
    if (lib->module == NULL) {
        fprintf(stderr, "cannot load %s: Windows error %lu\n", path, (unsigned long)GetLastError());
        return 0;
    }
#else
    lib->module = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (lib->module == NULL) {
        fprintf(stderr, "cannot load %s: %s\n", path, dlerror());
        return 0;
    }
#endif
#define KESVAR_LOAD(name)                                                                          \
    lib->name = (name##Fn)FindExport(lib, #name);                                                  \
    found += lib->name != NULL;                                                                    \
    wanted++;
    KESVAR_EXPORTS(KESVAR_LOAD)
#undef KESVAR_LOAD
    printf("loaded the library: %d of %d exports found\n", found, wanted);
    return found == wanted;
}

/* The library frees nothing at unload, so closing it only gives the handle back. */
static void CloseKesvar(Kesvar* lib) {
#ifdef _WIN32
    FreeLibrary(lib->module);
#else
    dlclose(lib->module);
#endif
}

/* ---- The terminal behind the callbacks ------------------------------------------------- */

enum { CLASS_SHARES = 1, SEC_SBER = 101 };
enum { PARAM_OFFER = 1, PARAM_BID, PARAM_PREVPRICE, PARAM_LAST, PARAM_ACCRUEDINT };

static const char FIRM[] = "F1";
static const char CLIENT[] = "C1";

static KRMoneyLimit moneyLimit; /* one record each: index 0 */
static KRSecLimit secLimit;

static void SetField(char* field, size_t width, const char* text) {
    size_t n = strlen(text);
    if (n > width - 1) n = width - 1;
    memcpy(field, text, n);
    field[n] = '\0';
}

static void FillTerminal(void) {
    /* Money in hundredths: 1 000.00 of own money, a limit of 3 000.00. */
    SetField(moneyLimit.firmId, sizeof moneyLimit.firmId, FIRM);
    SetField(moneyLimit.clientCode, sizeof moneyLimit.clientCode, CLIENT);
    moneyLimit.openBalance = 100000.0;
    moneyLimit.openLimit = 300000.0;
    moneyLimit.currentBalance = 100000.0;
    moneyLimit.currentLimit = 300000.0;
    moneyLimit.leveragePercent = -1; /* none given: the library works the leverage out */
    /* 5 lots of SBER, held since the open. */
    SetField(secLimit.secCode, sizeof secLimit.secCode, "SBER");
    SetField(secLimit.firmId, sizeof secLimit.firmId, FIRM);
    SetField(secLimit.clientCode, sizeof secLimit.clientCode, CLIENT);
    secLimit.openBalance = 5;
    secLimit.currentBalance = 5;
}

/* Our one record of each kind sits at index 0; an index past it answers NULL. */
static int32_t KR_CALL FindFirstMoneyLimit(const char* firmId, const char* clientCode,
                                           const char* filter1, const char* filter2,
                                           uint32_t* firstIndex) {
    (void)filter1;
    (void)filter2;
    *firstIndex = strcmp(firmId, FIRM) == 0 && strcmp(clientCode, CLIENT) == 0 ? 0 : 1;
    return 0;
}
static const KRMoneyLimit* KR_CALL GetMoneyLimit(uint32_t index) {
    return index == 0 ? &moneyLimit : NULL;
}
static int32_t KR_CALL FindFirstSecLimit(const char* firmId, const char* clientCode,
                                         const char* secCode, const char* filter2,
                                         uint32_t* firstIndex) {
    (void)filter2;
    *firstIndex = strcmp(firmId, FIRM) == 0 && strcmp(clientCode, CLIENT) == 0 &&
                          (secCode[0] == '\0' || strcmp(secCode, secLimit.secCode) == 0)
                      ? 0
                      : 1;
    return 0;
}
static const KRSecLimit* KR_CALL GetSecLimit(uint32_t index) {
    return index == 0 ? &secLimit : NULL;
}

static int32_t KR_CALL GetParamId(const char* name) {
    static const char* const names[] = {"OFFER", "BID", "PREVPRICE", "LAST", "ACCRUEDINT"};
    int32_t i;
    for (i = 0; i < 5; i++)
        if (strcmp(name, names[i]) == 0) return PARAM_OFFER + i;
    return -1;
}
static double KR_CALL GetParamValue(uint32_t classId, uint32_t secId, int32_t paramId) {
    if (classId != CLASS_SHARES || secId != SEC_SBER) return 0.0;
    switch (paramId) {
    case PARAM_OFFER:
        return 101.0;
    case PARAM_BID:
        return 99.0;
    case PARAM_PREVPRICE:
    case PARAM_LAST:
        return 100.0;
    default:
        return 0.0;
    }
}

/* ---- The scenario ----------------------------------------------------------------------- */

/* Reads the code right after the call; KRErrorName makes it readable. */
static int Check(const Kesvar* kr, int32_t result, const char* call) {
    int32_t code = kr->KRGetLastError();
    if (result == 1 && code == KR_ERR_NONE) return 1;
    fprintf(stderr, "%s: result %d, %s\n", call, (int)result, KRErrorName(code));
    return 0;
}

static int Run(const Kesvar* kr) {
    static const char settings[] = "[LIMITALLOWEDSECURITY]\nTQBR=SBER\n";
    KRClass shares;
    KRSecurity sber;
    KRMarginalRow row;
    KRMarginalActv actv;
    int32_t lots;

    if (!Check(kr,
               kr->KRSetLimitCallbacks(FindFirstMoneyLimit, GetMoneyLimit, FindFirstSecLimit,
                                       GetSecLimit),
               "KRSetLimitCallbacks") ||
        !Check(kr, kr->KRSetParamCallbacks(GetParamId, GetParamValue), "KRSetParamCallbacks") ||
        !Check(kr, kr->KRInitEx(KR_INTERFACE_V2, KR_MONEY_LIMIT_SIZE_V2, KR_SEC_LIMIT_SIZE_V2),
               "KRInitEx"))
        return 0;

    memset(&shares, 0, sizeof shares);
    shares.classId = CLASS_SHARES;
    shares.secCount = 1;
    SetField(shares.code, sizeof shares.code, "TQBR");
    memset(&sber, 0, sizeof sber);
    sber.secId = SEC_SBER;
    sber.lotSize = 10;
    SetField(sber.code, sizeof sber.code, "SBER");
    if (!Check(kr, kr->KRAddClass(&shares, &sber), "KRAddClass") ||
        !Check(kr, kr->KRSetDliniFile(FIRM, settings), "KRSetDliniFile"))
        return 0;

    memset(&row, 0, sizeof row);
    row.size = KR_ROW_SIZE_280;
    SetField(row.firmId, sizeof row.firmId, FIRM);
    SetField(row.clientCode, sizeof row.clientCode, CLIENT);
    if (!Check(kr, kr->KRInitMarginalRow(&row), "KRInitMarginalRow") ||
        !Check(kr, kr->KRCalcMarginalRow(&row), "KRCalcMarginalRow"))
        return 0;
    printf("row %s/%s: equity %.2f, leverage %.4f, margin level %.2f%%, buy capacity %.2f, "
           "margin buy limit %.2f\n",
           row.firmId, row.clientCode, row.equity, row.leverage, row.marginLevel, row.buyCapacity,
           row.marginBuyLimit);

    memset(&actv, 0, sizeof actv);
    actv.size = KR_ACTV_SIZE_56;
    actv.classId = CLASS_SHARES;
    actv.secId = SEC_SBER;
    if (!Check(kr, kr->KRInitMarginalActv(&row, &actv), "KRInitMarginalActv") ||
        !Check(kr, kr->KRCalcMarginalActv(&row, &actv, 0.0), "KRCalcMarginalActv"))
        return 0;
    printf("actv SBER: margin %d, position %d, max buy %d, max sell %d, value %.2f\n",
           (int)actv.isMargin, (int)actv.position, (int)actv.maxBuy, (int)actv.maxSell, actv.value);

    /* A refusal: no settings were loaded for F2. KRIsLimitsInLots answers 1 even then, so
     * only the code tells. */
    lots = kr->KRIsLimitsInLots("F2");
    printf("KRIsLimitsInLots(\"F2\"): %d, %s\n", (int)lots, KRErrorName(kr->KRGetLastError()));
    if (kr->KRGetLastError() != KR_ERR_NO_SETTINGS) return 0;

    return Check(kr, kr->KRCleanup(), "KRCleanup");
}

int main(int argc, char** argv) {
    const char* path = argc > 1 ? argv[1] : DEFAULT_LIBRARY;
    Kesvar kr;
    int ok;

    /* The header's version: what this host was compiled against. */
    printf("built against Kesvar %s (KESVAR_VERSION %d)\n", KESVAR_VERSION_STRING, KESVAR_VERSION);
    if (!OpenKesvar(&kr, path)) return EXIT_FAILURE;
    FillTerminal();
    ok = Run(&kr);
    CloseKesvar(&kr);
    printf("%s\n", ok ? "done" : "failed");
    return ok ? EXIT_SUCCESS : EXIT_FAILURE;
}
