/*
 * Kesvar example host: the smallest complete integration of the library.
 *
 * A tiny in-memory "terminal" (two classes, quotes, money and securities limits of two
 * clients of one firm) sits behind the library's callbacks. The host initialises the library,
 * registers its classes, loads the firm's settings text, then asks for marginal rows, two
 * actv figures and the margin list, and shows how a refusal looks. Every export reports
 * through its result and the thread's last-error code; every one is checked here.
 *
 * Plain C99. Build it against an installed Kesvar (see CMakeLists.txt beside this file).
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "kesvar.h"

/* ---- The terminal's market data -------------------------------------------------------- */

/* Our own ids of the market parameters; the library asks for them by name once. */
enum { PARAM_OFFER = 1, PARAM_BID, PARAM_PREVPRICE, PARAM_LAST, PARAM_ACCRUEDINT };

typedef struct Quote {
    uint32_t classId, secId;
    double offer, bid, prevPrice, last, accruedInt;
} Quote;

enum { CLASS_SHARES = 1, CLASS_BONDS = 2 };
enum { SEC_SBER = 101, SEC_GAZP = 102, SEC_LKOH = 103, SEC_SU26238 = 201 };

/* Bond prices are percent of face value; the library adds the accrued interest itself. */
static const Quote quotes[] = {
    {CLASS_SHARES, SEC_SBER, 250.5, 250.0, 248.0, 250.2, 0.0},
    {CLASS_SHARES, SEC_GAZP, 160.2, 160.0, 158.0, 160.1, 0.0},
    {CLASS_SHARES, SEC_LKOH, 7000.0, 6990.0, 6950.0, 6995.0, 0.0},
    {CLASS_BONDS, SEC_SU26238, 98.5, 98.0, 97.9, 98.2, 12.3},
};

/* ---- The terminal's limits ---------------------------------------------------------------- */

/*
 * The library walks limits by index: find-first gives the first record of a client, then it
 * reads index after index until a record of another client (or none) comes. So the records of
 * one client must stand together. Money amounts are hundredths of the money unit.
 */
static KRMoneyLimit moneyLimits[3];
static uint32_t moneyLimitCount;
static KRSecLimit secLimits[4];
static uint32_t secLimitCount;

static const char FIRM[] = "MC0001";

/* Copies a string into a fixed-width record field, cut to fit, always NUL-terminated. */
static void SetField(char* field, size_t width, const char* text) {
    size_t n = strlen(text);
    if (n > width - 1) n = width - 1;
    memcpy(field, text, n);
    field[n] = '\0';
}

static void AddMoneyLimit(const char* tag, const char* client, double openBalance, double openLimit,
                          double currentBalance, double currentLimit, double locked,
                          double lockedValue) {
    KRMoneyLimit* m = &moneyLimits[moneyLimitCount++];
    memset(m, 0, sizeof *m);
    SetField(m->tag, sizeof m->tag, tag);
    SetField(m->firmId, sizeof m->firmId, FIRM);
    SetField(m->clientCode, sizeof m->clientCode, client);
    m->openBalance = openBalance;
    m->openLimit = openLimit;
    m->currentBalance = currentBalance;
    m->currentLimit = currentLimit;
    m->locked = locked;
    m->lockedValue = lockedValue;
    m->leveragePercent = -1; /* no fixed leverage: the library computes it */
}

static void AddSecLimit(const char* client, const char* secCode, int32_t openBalance,
                        int32_t currentBalance, int32_t lockedSell, double lockedBuyValue) {
    KRSecLimit* s = &secLimits[secLimitCount++];
    memset(s, 0, sizeof *s);
    SetField(s->secCode, sizeof s->secCode, secCode);
    SetField(s->trdAcc, sizeof s->trdAcc, "L01-00000F00");
    SetField(s->firmId, sizeof s->firmId, FIRM);
    SetField(s->clientCode, sizeof s->clientCode, client);
    s->openBalance = openBalance;
    s->currentBalance = currentBalance;
    s->lockedSell = lockedSell;
    s->lockedBuyValue = lockedBuyValue;
}

static void FillTerminal(void) {
    /* C001: 500 000.00 at the open, 250 000.00 now; a repo-board record the firm does not
     * list (its tag is missing from [BOARDTAG]) and which therefore does not count. */
    AddMoneyLimit("EQTV", "C001", 50000000.0, 100000000.0, 25000000.0, 100000000.0, 1000000.0,
                  1000000.0);
    AddMoneyLimit("RPEQ", "C001", 99999900.0, 0.0, 99999900.0, 0.0, 0.0, 0.0);
    AddMoneyLimit("EQTV", "C002", 20000000.0, 20000000.0, 20000000.0, 20000000.0, 0.0, 0.0);
    /* Positions in lots (the firm keeps limits in lots). C001 bought SBER today, is short
     * GAZP and has a sell order for 15 LKOH while holding 10; C002 holds bonds and has a buy
     * order for 20 more. */
    AddSecLimit("C001", "SBER", 100, 150, 0, 0.0);
    AddSecLimit("C001", "GAZP", 0, -20, 0, 0.0);
    AddSecLimit("C001", "LKOH", 10, 10, 15, 0.0);
    AddSecLimit("C002", "SU26238", 50, 100, 0, 1994600.0);
}

/* ---- Callbacks the library calls (on the caller's thread, under the library's lock) -------
 * They must not call back into the library. */

static void* KR_CALL HostAlloc(uint32_t size) {
    return malloc(size);
}
static void KR_CALL HostFree(void* block) {
    free(block); /* called with NULL too */
}
static void* KR_CALL HostRealloc(void* block, uint32_t size) {
    return realloc(block, size);
}

static int32_t KR_CALL FindFirstMoneyLimit(const char* firmId, const char* clientCode,
                                           const char* filter1, const char* filter2,
                                           uint32_t* firstIndex) {
    uint32_t i;
    (void)filter1; /* always empty */
    (void)filter2;
    for (i = 0; i < moneyLimitCount; i++) {
        if (strcmp(moneyLimits[i].firmId, firmId) == 0 &&
            strcmp(moneyLimits[i].clientCode, clientCode) == 0)
            break;
    }
    *firstIndex = i; /* one past the end when there is none: GetMoneyLimit answers NULL */
    return i < moneyLimitCount;
}

static const KRMoneyLimit* KR_CALL GetMoneyLimit(uint32_t index) {
    return index < moneyLimitCount ? &moneyLimits[index] : NULL;
}

static int32_t KR_CALL FindFirstSecLimit(const char* firmId, const char* clientCode,
                                         const char* secCode, const char* filter2,
                                         uint32_t* firstIndex) {
    uint32_t i;
    (void)filter2;
    for (i = 0; i < secLimitCount; i++) {
        const KRSecLimit* s = &secLimits[i];
        /* An empty security code asks for the client's first record of any security. */
        if (strcmp(s->firmId, firmId) == 0 && strcmp(s->clientCode, clientCode) == 0 &&
            (secCode[0] == '\0' || strcmp(s->secCode, secCode) == 0))
            break;
    }
    *firstIndex = i;
    return i < secLimitCount;
}

static const KRSecLimit* KR_CALL GetSecLimit(uint32_t index) {
    return index < secLimitCount ? &secLimits[index] : NULL;
}

static int32_t KR_CALL GetParamId(const char* name) {
    static const char* const names[] = {"OFFER", "BID", "PREVPRICE", "LAST", "ACCRUEDINT"};
    int32_t i;
    for (i = 0; i < 5; i++) {
        if (strcmp(name, names[i]) == 0) return PARAM_OFFER + i;
    }
    return -1; /* unknown: the calculation then fails with KR_ERR_PARAM_UNKNOWN */
}

static double KR_CALL GetParamValue(uint32_t classId, uint32_t secId, int32_t paramId) {
    size_t i;
    for (i = 0; i < sizeof quotes / sizeof quotes[0]; i++) {
        const Quote* q = &quotes[i];
        if (q->classId != classId || q->secId != secId) continue;
        switch (paramId) {
        case PARAM_OFFER:
            return q->offer;
        case PARAM_BID:
            return q->bid;
        case PARAM_PREVPRICE:
            return q->prevPrice;
        case PARAM_LAST:
            return q->last;
        case PARAM_ACCRUEDINT:
            return q->accruedInt;
        default:
            return 0.0;
        }
    }
    return 0.0; /* below 1e-8 means "no value" to the library */
}

/* ---- Results and last-error codes ------------------------------------------------------ */

/* Read the last-error code right after the call, before anything else can change it. */
static int Succeeded(int32_t result, const char* what) {
    int32_t code = KRGetLastError();
    if (result == 1 && code == KR_ERR_NONE) return 1;
    fprintf(stderr, "%s failed: result %d, %s\n", what, (int)result, KRErrorName(code));
    return 0;
}

/* ---- What the host does with the figures ---------------------------------------------- */

static void PrintRow(const KRMarginalRow* row) {
    printf("row %s/%s, credit lag 2: %s\n", row->firmId, row->clientCode,
           row->creditLag2 ? "yes" : "no");
    printf("  money available    %14.2f\n", row->moneyAvailable);
    printf("  open collateral    %14.2f\n", row->openCollateral);
    printf("  leverage           %14.6f\n", row->leverage);
    printf("  long value         %14.2f\n", row->longValue);
    printf("  short value        %14.2f\n", row->shortValue);
    printf("  equity             %14.2f\n", row->equity);
    printf("  margin level, %%    %14.4f\n", row->marginLevel);
    printf("  credit capacity    %14.2f\n", row->creditCapacity);
    printf("  buy capacity       %14.2f\n", row->buyCapacity);
    printf("  buy commitment     %14.2f\n", row->buyCommitment);
    printf("  uncovered sales    %14.2f\n", row->uncoveredSellValue);
    printf("  margin buy limit   %14.2f\n", row->marginBuyLimit);
    printf("  own buy limit      %14.2f\n", row->ownBuyLimit);
    printf("  asset buy limit    %14.2f\n", row->assetBuyLimit);
    printf("  settlement debt    %14.2f\n", row->settlementDebt);
    printf("  open value         %14.2f\n", row->openValue);
    printf("  current value      %14.2f\n", row->currentValue);
    printf("  current leverage   %14.6f\n", row->currentLeverage);
}

/* One security of the row's client. A price <= 0 means: offer to buy, bid to sell. */
static int ShowActv(const KRMarginalRow* row, const char* code, uint32_t classId, uint32_t secId,
                    double price) {
    KRMarginalActv actv;
    memset(&actv, 0, sizeof actv);
    actv.size = KR_ACTV_SIZE_56;
    actv.classId = classId;
    actv.secId = secId;
    if (!Succeeded(KRInitMarginalActv(row, &actv), "KRInitMarginalActv")) return 0;
    if (!Succeeded(KRCalcMarginalActv(row, &actv, price), "KRCalcMarginalActv")) return 0;
    printf("actv %s at %s: margin %d, asset %d, position %d, max buy %d, max sell %d, "
           "value %.2f, previous value %.2f\n",
           code, price > 0.0 ? "the given price" : "offer/bid", (int)actv.isMargin,
           (int)actv.isAsset, (int)actv.position, (int)actv.maxBuy, (int)actv.maxSell, actv.value,
           actv.prevValue);
    return 1;
}

/* The margin list lives only during this call: copy what you need, keep no pointer. */
static int32_t KR_CALL PrintMarginList(const KRMarginClassEntry* entries, uint32_t count,
                                       uintptr_t user) {
    uint32_t i;
    int32_t j;
    *(uint32_t*)user = count; /* the user value carries a pointer back to the caller */
    for (i = 0; i < count; i++) {
        const KRMarginClassEntry* e = &entries[i];
        if (e->classId == KR_UNREGISTERED_ID)
            printf("  %s (not registered):", e->code);
        else
            printf("  %s (class %u):", e->code, (unsigned)e->classId);
        for (j = 0; j < e->secCount; j++) {
            if (e->secs[j].secId == KR_UNREGISTERED_ID)
                printf(" %s (not registered)", e->secs[j].code);
            else
                printf(" %s (%u)", e->secs[j].code, (unsigned)e->secs[j].secId);
        }
        printf("\n");
    }
    return 0; /* ignored */
}

/* The firm's settings text: lists, switches, client lags, weights and board tags. */
static const char settingsText[] = "[GENERAL]\n"
                                   "CREDITLAG=1\n"
                                   "LIMITSINLOTS=1\n"
                                   "MAINMARGINCLASSES=TQBR,TQOB\n"
                                   "[LIMITALLOWEDSECURITY]\n"
                                   "TQBR=SBER,GAZP\n"
                                   "TQOB=SU26238\n"
                                   "TQTF=FXUS\n"
                                   "[ASSETSECURITIES]\n"
                                   "TQBR=SBER,GAZP,LKOH\n"
                                   "TQOB=SU26238\n"
                                   "[CLIENTLAG]\n"
                                   "C002=2\n"
                                   "[SECURITYWEIGHT]\n"
                                   "SBER=0.8,1.25\n"
                                   "[BOARDTAG]\n"
                                   "EQTV=\n";

static int Run(void) {
    KRClass shares, bonds;
    KRSecurity shareSecs[3], bondSecs[1];
    KRMarginalRow rows[2], row;
    static const char* const clients[] = {"C001", "C002"};
    uint32_t listed = 0;
    int32_t lots;
    int i;

    /* 1. Set-up: hooks (optional) and all six callbacks, then initialise once. The two sizes
     *    are those of our limit records under interface version 2. */
    if (!Succeeded(KRSetMemoryManagement(HostAlloc, HostFree, HostRealloc),
                   "KRSetMemoryManagement") ||
        !Succeeded(
            KRSetLimitCallbacks(FindFirstMoneyLimit, GetMoneyLimit, FindFirstSecLimit, GetSecLimit),
            "KRSetLimitCallbacks") ||
        !Succeeded(KRSetParamCallbacks(GetParamId, GetParamValue), "KRSetParamCallbacks") ||
        !Succeeded(KRInitEx(KR_INTERFACE_V2, KR_MONEY_LIMIT_SIZE_V2, KR_SEC_LIMIT_SIZE_V2),
                   "KRInitEx"))
        return 0;
    printf("initialised, interface version 2\n");

    /* 2. Classes and their securities. The library copies them: our records may go. */
    memset(&shares, 0, sizeof shares);
    shares.classId = CLASS_SHARES;
    shares.secCount = 3;
    SetField(shares.code, sizeof shares.code, "TQBR");
    memset(shareSecs, 0, sizeof shareSecs);
    shareSecs[0].secId = SEC_SBER;
    shareSecs[0].lotSize = 10;
    SetField(shareSecs[0].code, sizeof shareSecs[0].code, "SBER");
    shareSecs[1].secId = SEC_GAZP;
    shareSecs[1].lotSize = 10;
    SetField(shareSecs[1].code, sizeof shareSecs[1].code, "GAZP");
    shareSecs[2].secId = SEC_LKOH;
    shareSecs[2].lotSize = 1;
    SetField(shareSecs[2].code, sizeof shareSecs[2].code, "LKOH");

    memset(&bonds, 0, sizeof bonds);
    bonds.classId = CLASS_BONDS;
    bonds.secCount = 1;
    bonds.flags = KR_CLASS_FACE_VALUE; /* prices in percent of face value */
    SetField(bonds.code, sizeof bonds.code, "TQOB");
    memset(bondSecs, 0, sizeof bondSecs);
    bondSecs[0].faceValue = 1000.0;
    bondSecs[0].secId = SEC_SU26238;
    bondSecs[0].lotSize = 1;
    SetField(bondSecs[0].code, sizeof bondSecs[0].code, "SU26238");

    /* KR_ERR_CLASS_EXISTS (still result 1) would mean the code was registered before. */
    if (!Succeeded(KRAddClass(&shares, shareSecs), "KRAddClass TQBR") ||
        !Succeeded(KRAddClass(&bonds, bondSecs), "KRAddClass TQOB"))
        return 0;
    printf("classes registered: TQBR (3 securities), TQOB (1 security)\n");

    /* 3. The firm's settings text; the library keeps its own upper-cased copy. */
    if (!Succeeded(KRSetDliniFile(FIRM, settingsText), "KRSetDliniFile")) return 0;
    lots = KRIsLimitsInLots(FIRM); /* answers 1 on refusals too: the code tells */
    if (KRGetLastError() != KR_ERR_NONE) {
        fprintf(stderr, "KRIsLimitsInLots failed: %s\n", KRErrorName(KRGetLastError()));
        return 0;
    }
    printf("settings loaded for %s, limits in lots: %d\n", FIRM, (int)lots);

    /* 4. Marginal rows, one per client. The rows are ours: we fill size, firm and client,
     *    the library binds each to its client's settings and fills the figures. */
    for (i = 0; i < 2; i++) {
        memset(&rows[i], 0, sizeof rows[i]);
        rows[i].size = KR_ROW_SIZE_280;
        SetField(rows[i].firmId, sizeof rows[i].firmId, FIRM);
        SetField(rows[i].clientCode, sizeof rows[i].clientCode, clients[i]);
        if (!Succeeded(KRInitMarginalRow(&rows[i]), "KRInitMarginalRow") ||
            !Succeeded(KRCalcMarginalRow(&rows[i]), "KRCalcMarginalRow"))
            return 0;
        PrintRow(&rows[i]);
    }

    /* 5. Two securities of C001, on C001's calculated row. */
    if (!ShowActv(&rows[0], "SBER", CLASS_SHARES, SEC_SBER, 0.0) ||
        !ShowActv(&rows[0], "LKOH", CLASS_SHARES, SEC_LKOH, 6980.0))
        return 0;

    /* 6. The margin list of C001, handed to our callback exactly once. */
    printf("margin list of C001:\n");
    if (!Succeeded(KRGetMarginSecs(&rows[0], PrintMarginList, (uintptr_t)&listed),
                   "KRGetMarginSecs"))
        return 0;
    printf("  %u classes\n", (unsigned)listed);

    /* 7. A refusal: no settings text was ever loaded for firm MC0002. The row stays unbound,
     *    and every export that takes it then refuses it with KR_ERR_ARGUMENT. */
    memset(&row, 0, sizeof row);
    row.size = KR_ROW_SIZE_280;
    SetField(row.firmId, sizeof row.firmId, "MC0002");
    SetField(row.clientCode, sizeof row.clientCode, "C001");
    if (KRInitMarginalRow(&row) != 0 || KRGetLastError() != KR_ERR_NO_SETTINGS) {
        fprintf(stderr, "KRInitMarginalRow for MC0002 was not refused as expected\n");
        return 0;
    }
    printf("row MC0002/C001 refused: %s\n", KRErrorName(KR_ERR_NO_SETTINGS));
    if (KRCalcMarginalRow(&row) != 0 || KRGetLastError() != KR_ERR_ARGUMENT) {
        fprintf(stderr, "KRCalcMarginalRow on an unbound row was not refused\n");
        return 0;
    }
    printf("calculating it anyway is refused: %s\n", KRErrorName(KR_ERR_ARGUMENT));

    /* 8. Drop registry and settings. The library stays initialised; it cannot be
     *    uninitialised, and its callbacks stay as installed. */
    if (!Succeeded(KRCleanup(), "KRCleanup")) return 0;
    printf("cleaned up\n");
    return 1;
}

int main(void) {
    FillTerminal();
    return Run() ? EXIT_SUCCESS : EXIT_FAILURE;
}
