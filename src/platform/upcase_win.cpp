// Upper-casing of the settings text with the platform's rules for its ANSI code page: to wide
// characters, CharUpperBuffW, and back into the same bytes.
#include <windows.h>

#include <stdlib.h>

#include "platform/platform.h"

namespace kesvar {
namespace platform {

bool UpperCaseText(char* text, uint32_t n) {
    if (n == 0) return true;
    // Never read past the terminator, even when n reaches beyond it.
    uint32_t len = 0;
    while (len < n && text[len] != '\0')
        ++len;
    int bytes = static_cast<int>(len < n ? len + 1 : n);

    // The scratch buffer comes from the runtime heap, never from the host's hooks.
    wchar_t* wide = static_cast<wchar_t*>(malloc((static_cast<size_t>(n) + 1) * sizeof(wchar_t)));
    if (!wide) return false;
    int chars = MultiByteToWideChar(CP_ACP, 0, text, bytes, wide, static_cast<int>(n));
    if (chars > 0) {
        CharUpperBuffW(wide, static_cast<DWORD>(chars));
        WideCharToMultiByte(CP_ACP, 0, wide, chars, text, bytes, nullptr, nullptr);
    }
    free(wide);
    return true;
}

} // namespace platform
} // namespace kesvar
