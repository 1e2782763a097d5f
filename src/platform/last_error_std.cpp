// The per-thread last-error value outside Windows.
#include "platform/platform.h"

namespace kesvar {
namespace platform {

namespace {
thread_local int32_t lastError = 0;
}

void SetLastErrorCode(int32_t code) {
    lastError = code;
}
int32_t GetLastErrorCode() {
    return lastError;
}

} // namespace platform
} // namespace kesvar
