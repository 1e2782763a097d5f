// The one pattern every export follows: take the lock for the whole call, check, run the
// worker, set the last-error code, release the lock on every path.
#ifndef KESVAR_EXPORTS_EXPORT_H
#define KESVAR_EXPORTS_EXPORT_H

#include "state/state.h"
#include "actv/actv.h"
#include "row/row.h"
#include "platform/platform.h"
#include "settings/settings.h"

namespace kesvar {

class ExportCall {
  public:
    ExportCall() { platform::Lock(); }
    ~ExportCall() { platform::Unlock(); }
    ExportCall(const ExportCall&) = delete;
    ExportCall& operator=(const ExportCall&) = delete;

    // Sets `code` and returns `result`.
    int32_t Done(int32_t code, int32_t result) {
        platform::SetLastErrorCode(code);
        return result;
    }
    int32_t Fail(int32_t code) { return Done(code, 0); }
    int32_t Ok() { return Done(KR_ERR_NONE, 1); }
};

inline bool Initialised() {
    return gState.initialised != 0;
}

inline bool ValidRowSize(uint32_t size) {
    return size == KR_ROW_SIZE_280 || size == KR_ROW_SIZE_272 || size == KR_ROW_SIZE_264 ||
           size == KR_ROW_SIZE_248;
}
inline bool ValidActvSize(uint32_t size) {
    return size == KR_ACTV_SIZE_56 || size == KR_ACTV_SIZE_48;
}

// The record a row is bound to; null for an unbound or stale row.
inline FirmSettings* RowBinding(const KRMarginalRow* row) {
    return ResolveHandle(row->binding);
}

// The bodies of KRCalcMarginalRowEx and KRCalcMarginalActv, each a whole export call; with a
// trace they record into it how the figures came about.
int32_t CalcRowCall(KRMarginalRow* row, uint32_t* moneyIndex, uint32_t* secIndex, RowTrace* trace);
int32_t CalcActvCall(const KRMarginalRow* row, KRMarginalActv* actv, double price,
                     ActvTrace* trace);

} // namespace kesvar

#endif
