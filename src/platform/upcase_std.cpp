// Upper-casing of settings texts outside Windows: the code-page table, byte by byte. The
// result is what the Windows conversion calls give on a device with that ANSI code page.
#include "platform/platform.h"

namespace kesvar {
namespace platform {

bool UpperCaseText(char* text, uint32_t n) {
    unsigned char* p = reinterpret_cast<unsigned char*>(text);
    const unsigned char* upper = UpperCaseTable();
    for (uint32_t i = 0; i < n && p[i]; ++i)
        p[i] = upper[p[i]];
    return true;
}

} // namespace platform
} // namespace kesvar
