// The load hook outside Windows, standing in for DllMain's process attach: create the lock,
// nothing else. Nothing is done at unload.
#include "platform/platform.h"

namespace {
__attribute__((constructor)) void KesvarProcessAttach() {
    kesvar::platform::ProcessAttach();
}
} // namespace
