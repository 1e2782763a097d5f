// The last-error value on Windows is the platform's own, so the host reads it with
// GetLastError as well as with KRGetLastError.
#include <windows.h>

#include "platform/platform.h"

namespace kesvar {
namespace platform {

void SetLastErrorCode(int32_t code) {
    SetLastError(static_cast<DWORD>(code));
}

int32_t GetLastErrorCode() {
    return static_cast<int32_t>(GetLastError());
}

} // namespace platform
} // namespace kesvar
