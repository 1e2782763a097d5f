#include "scenario/library.h"

#include "scenario/memory_host.h"
#include "kesvar.h"

namespace kesvar_cli {

int32_t OpenLibrary(int32_t version) {
    static int32_t opened = 0;
    if (opened == 0) {
        if (memory_host::Install(version)) {
            opened = version;
            return KR_ERR_NONE;
        }
        if (KRGetLastError() != KR_ERR_STATE) return KRGetLastError();
        opened = version; // initialised before, by a test's own world
    }
    memory_host::host().version = opened;
    return version == opened ? KR_ERR_NONE : KR_ERR_STATE;
}

} // namespace kesvar_cli
