// The twenty-one exports. Each takes the lock for its whole duration (ExportCall), checks the
// state, then its pointers in order, then size tags (row before actv), and hands the work to
// its subsystem's worker. Workers return the last-error code of their own path.
#include "kesvar.h"
#include "actv/actv.h"
#include "exports/export.h"
#include "host/host.h"
#include "memory/memory.h"
#include "links/links.h"
#include "links/membership.h"
#include "queries/queries.h"
#include "registry/registry.h"
#include "row/row.h"
#include "settings/settings.h"

using namespace kesvar;

namespace kesvar {

// Common refusals of an export that takes a row: null, or unbound or stale. Returns the code to
// refuse with, or KR_ERR_NONE with *binding set.
static int32_t CheckRow(const KRMarginalRow* row, FirmSettings** settings) {
    if (!row) return KR_ERR_ARGUMENT;
    *settings = RowBinding(row);
    if (!*settings) return KR_ERR_ARGUMENT;
    return KR_ERR_NONE;
}

int32_t CalcRowCall(KRMarginalRow* row, uint32_t* moneyIndex, uint32_t* secIndex, RowTrace* trace) {
    ExportCall call;
    if (!Initialised()) return call.Fail(KR_ERR_STATE);
    FirmSettings* settings = nullptr;
    if (int32_t code = CheckRow(row, &settings)) return call.Fail(code);
    if (!ValidRowSize(row->size)) return call.Fail(KR_ERR_SIZE);
    int32_t code = CalcRow(row, settings, moneyIndex, secIndex, trace);
    return code ? call.Fail(code) : call.Ok();
}

// What both actv exports refuse, in this order: the state, the row, the record, the sizes.
static int32_t CheckActvCall(const KRMarginalRow* row, const KRMarginalActv* actv,
                             FirmSettings** settings) {
    if (!Initialised()) return KR_ERR_STATE;
    if (int32_t code = CheckRow(row, settings)) return code;
    if (!actv) return KR_ERR_ARGUMENT;
    if (!ValidRowSize(row->size) || !ValidActvSize(actv->size)) return KR_ERR_SIZE;
    return KR_ERR_NONE;
}

int32_t CalcActvCall(const KRMarginalRow* row, KRMarginalActv* actv, double price,
                     ActvTrace* trace) {
    ExportCall call;
    FirmSettings* settings = nullptr;
    if (int32_t code = CheckActvCall(row, actv, &settings)) return call.Fail(code);
    int32_t code = CalcActv(row, settings, actv, price, trace);
    return code ? call.Fail(code) : call.Ok();
}

namespace {

int32_t LookUpMembership(const KRMarginalRow* row, const char* code, uint32_t* classId,
                         uint32_t* secId, bool asset) {
    ExportCall call;
    if (!Initialised()) return call.Fail(KR_ERR_STATE);
    FirmSettings* settings = nullptr;
    if (int32_t code2 = CheckRow(row, &settings)) return call.Fail(code2);
    if (!code) return call.Fail(KR_ERR_ARGUMENT);
    if (!ValidRowSize(row->size)) return call.Fail(KR_ERR_SIZE);
    int32_t idx = -1;
    int32_t found =
        asset ? IsAssetSecurity(settings, code, &idx) : IsMarginSecurity(settings, code, &idx);
    if (found) {
        const SecurityEntry* s = SecurityAt(idx);
        if (classId) *classId = ClassAt(int32_t(s->sec.classIndex))->cls.classId;
        if (secId) *secId = s->sec.secId;
    }
    return call.Done(KR_ERR_NONE, found ? 1 : 0);
}

} // namespace

} // namespace kesvar

extern "C" {

KR_API int32_t KR_CALL KRSetMemoryManagement(KRAllocFunc allocate, KRFreeFunc release,
                                             KRReallocFunc reallocate) {
    ExportCall call;
    if (Initialised()) return call.Fail(KR_ERR_STATE);
    SetMemoryHooks(allocate, release, reallocate);
    return call.Ok();
}

KR_API int32_t KR_CALL KRSetLimitCallbacks(KRFindFirstMoneyLimitFunc findFirstMoneyLimit,
                                           KRGetMoneyLimitFunc getMoneyLimit,
                                           KRFindFirstSecLimitFunc findFirstSecLimit,
                                           KRGetSecLimitFunc getSecLimit) {
    ExportCall call;
    if (Initialised()) return call.Fail(KR_ERR_STATE);
    SetLimitCallbacks(findFirstMoneyLimit, getMoneyLimit, findFirstSecLimit, getSecLimit);
    return call.Ok();
}

KR_API int32_t KR_CALL KRSetParamCallbacks(KRGetParamIdFunc getParamId,
                                           KRGetParamValueFunc getParamValue) {
    ExportCall call;
    if (Initialised()) return call.Fail(KR_ERR_STATE);
    SetParamCallbacks(getParamId, getParamValue);
    return call.Ok();
}

KR_API int32_t KR_CALL KRInitEx(int32_t version, int32_t moneyLimitSize, int32_t secLimitSize) {
    ExportCall call;
    if (Initialised()) return call.Fail(KR_ERR_STATE);
    if (!AllCallbacksSet()) return call.Fail(KR_ERR_ARGUMENT);
    if (version != KR_INTERFACE_V1 && version != KR_INTERFACE_V2) return call.Fail(KR_ERR_VERSION);
    bool fits =
        version == KR_INTERFACE_V1
            ? (moneyLimitSize == KR_MONEY_LIMIT_SIZE_V1 && secLimitSize == KR_SEC_LIMIT_SIZE_V1)
            : (moneyLimitSize == KR_MONEY_LIMIT_SIZE_V2 && secLimitSize == KR_SEC_LIMIT_SIZE_V2);
    if (!fits) return call.Fail(KR_ERR_SIZE);
    gState.initialised = 1;
    SetInterfaceVersion(version);
    return call.Ok();
}

KR_API int32_t KR_CALL KRInit(int32_t moneyLimitSize, int32_t secLimitSize) {
    return KRInitEx(KR_INTERFACE_V1, moneyLimitSize, secLimitSize);
}

KR_API int32_t KR_CALL KRCleanup(void) {
    ExportCall call;
    if (!Initialised()) return call.Fail(KR_ERR_STATE);
    ClearRegistry();
    DropAllFirmSettings();
    return call.Ok();
}

KR_API int32_t KR_CALL KRCleanupDlifiles(void) {
    ExportCall call;
    if (!Initialised()) return call.Fail(KR_ERR_STATE);
    DropAllFirmSettings();
    return call.Ok();
}

KR_API int32_t KR_CALL KRAddClass(const KRClass* cls, const KRSecurity* securities) {
    ExportCall call;
    if (!Initialised()) return call.Fail(KR_ERR_STATE);
    if (!cls || !securities) return call.Fail(KR_ERR_ARGUMENT);
    int32_t code = AddClass(cls, securities);
    return call.Done(code, code == KR_ERR_NO_MEMORY ? 0 : 1);
}

KR_API int32_t KR_CALL KRSetDliniFile(const char* firmId, const char* text) {
    ExportCall call;
    if (!Initialised()) return call.Fail(KR_ERR_STATE);
    if (!firmId || !text) return call.Fail(KR_ERR_ARGUMENT);
    // A key must fit the firm id of the records and rows.
    if (strlen(firmId) > size_t(kMaxCode)) return call.Fail(KR_ERR_ARGUMENT);
    int32_t code = SetFirmSettings(firmId, text, nullptr);
    return code ? call.Fail(code) : call.Ok();
}

KR_API int32_t KR_CALL KRInitMarginalRow(KRMarginalRow* row) {
    ExportCall call;
    if (!Initialised()) return call.Fail(KR_ERR_STATE);
    if (!row) return call.Fail(KR_ERR_ARGUMENT);
    if (!ValidRowSize(row->size)) return call.Fail(KR_ERR_SIZE);
    int32_t code = BindRow(row);
    return code ? call.Fail(code) : call.Ok();
}

KR_API int32_t KR_CALL KRCalcMarginalRowEx(KRMarginalRow* row, uint32_t* moneyIndex,
                                           uint32_t* secIndex) {
    return CalcRowCall(row, moneyIndex, secIndex, nullptr);
}

KR_API int32_t KR_CALL KRCalcMarginalRow(KRMarginalRow* row) {
    return KRCalcMarginalRowEx(row, nullptr, nullptr);
}

KR_API int32_t KR_CALL KRInitMarginalActv(const KRMarginalRow* row, KRMarginalActv* actv) {
    ExportCall call;
    FirmSettings* settings = nullptr;
    if (int32_t code = CheckActvCall(row, actv, &settings)) return call.Fail(code);
    int32_t code = PrepareActv(settings, actv);
    return code ? call.Fail(code) : call.Ok();
}

KR_API int32_t KR_CALL KRCalcMarginalActv(const KRMarginalRow* row, KRMarginalActv* actv,
                                          double price) {
    return CalcActvCall(row, actv, price, nullptr);
}

KR_API int32_t KR_CALL KRIsMarginSeccode(const KRMarginalRow* row, const char* secCode,
                                         uint32_t* classId, uint32_t* secId) {
    return LookUpMembership(row, secCode, classId, secId, false);
}

KR_API int32_t KR_CALL KRIsAssetSeccode(const KRMarginalRow* row, const char* secCode,
                                        uint32_t* classId, uint32_t* secId) {
    return LookUpMembership(row, secCode, classId, secId, true);
}

KR_API int32_t KR_CALL KRGetMarginSecs(const KRMarginalRow* row, KRMarginSecsFunc callback,
                                       uintptr_t user) {
    ExportCall call;
    if (!Initialised()) return call.Fail(KR_ERR_STATE);
    FirmSettings* settings = nullptr;
    if (int32_t code = CheckRow(row, &settings)) return call.Fail(code);
    if (!callback) return call.Fail(KR_ERR_ARGUMENT);
    if (!ValidRowSize(row->size)) return call.Fail(KR_ERR_SIZE);
    int32_t code = GetMarginSecs(settings, callback, user);
    return code ? call.Fail(code) : call.Ok();
}

KR_API int32_t KR_CALL KRGetNeedClassSecIDs(uint32_t classId, uint32_t* ids, int32_t* count) {
    ExportCall call;
    if (!Initialised()) return call.Fail(KR_ERR_STATE);
    if (!ids || !count) return call.Fail(KR_ERR_ARGUMENT);
    int32_t code = GetNeedClassSecIDs(classId, ids, reinterpret_cast<unsigned char*>(count));
    // Success leaves the caller's last-error value as it was.
    return code ? call.Fail(code) : 1;
}

KR_API int32_t KR_CALL KRIsBoardTagApplicable(const char* firmId, const char* tag) {
    ExportCall call;
    if (!Initialised()) return call.Fail(KR_ERR_STATE);
    if (!firmId || !tag) return call.Fail(KR_ERR_ARGUMENT);
    const FirmRecord* firm = FindFirm(firmId);
    if (!firm) return call.Fail(KR_ERR_NO_SETTINGS);
    // Success leaves the caller's last-error value as it was.
    return BoardKind(firm, tag) == Ordinary ? 1 : 0;
}

KR_API int32_t KR_CALL KRIsLimitsInLots(const char* firmId) {
    ExportCall call;
    // Every refusal answers 1, the default of the switch.
    if (!Initialised()) return call.Done(KR_ERR_STATE, 1);
    if (!firmId) return call.Done(KR_ERR_ARGUMENT, 1);
    const FirmRecord* firm = FindFirm(firmId);
    if (!firm) return call.Done(KR_ERR_NO_SETTINGS, 1);
    return call.Done(KR_ERR_NONE, firm->limitsInLots ? 1 : 0);
}

KR_API int32_t KR_CALL KRGetLastError(void) {
    return platform::GetLastErrorCode();
}

} // extern "C"
