#include "exports/internal.h"

#include "exports/export.h"
#include "links/links.h"

namespace kesvar {

int32_t CheckSettingsText(const char* text, DiagnosticSink* sink, InspectSettingsFunc inspect,
                          void* user) {
    ExportCall call;
    if (!Initialised()) return call.Fail(KR_ERR_STATE);
    if (!text) return call.Fail(KR_ERR_ARGUMENT);
    FirmRecord* firm = nullptr;
    if (int32_t code = LoadDetachedLinked(text, sink, &firm)) return call.Fail(code);
    if (inspect) inspect(user, firm);
    ClearFirmSettings(firm, true);
    return call.Ok();
}

int32_t TraceMarginalRow(KRMarginalRow* row, RowTrace* trace) {
    return CalcRowCall(row, nullptr, nullptr, trace);
}

int32_t TraceMarginalActv(const KRMarginalRow* row, KRMarginalActv* actv, double price,
                          ActvTrace* trace) {
    return CalcActvCall(row, actv, price, trace);
}

} // namespace kesvar
