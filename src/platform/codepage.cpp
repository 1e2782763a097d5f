// Upper case of one byte in the Windows ANSI code page: 1252 (Western) by default, 1251
// (Cyrillic) when built with KESVAR_CODEPAGE_1251.
#include "platform/platform.h"

namespace kesvar {
namespace platform {

unsigned char UpperCaseByte(unsigned char c) {
    if (c >= 'a' && c <= 'z') return static_cast<unsigned char>(c - 0x20);
#if defined(KESVAR_CODEPAGE_1251)
    if (c >= 0xE0) return static_cast<unsigned char>(c - 0x20);
    if (c >= 0x9C && c <= 0x9F) return static_cast<unsigned char>(c - 0x10);
    switch (c) {
    case 0xB8:
        return 0xA8;
    case 0x9A:
        return 0x8A;
    case 0xA2:
        return 0xA1;
    case 0xBC:
        return 0xA3;
    case 0xB3:
        return 0xB2;
    case 0xB4:
        return 0xA5;
    case 0xBA:
        return 0xAA;
    case 0xBE:
        return 0xBD;
    case 0xBF:
        return 0xAF;
    case 0x83:
        return 0x81;
    case 0x90:
        return 0x80;
    default:
        return c;
    }
#else
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<unsigned char>(c - 0x20);
    switch (c) {
    case 0x9A:
        return 0x8A;
    case 0x9C:
        return 0x8C;
    case 0x9E:
        return 0x8E;
    case 0xFF:
        return 0x9F;
    default:
        return c;
    }
#endif
}

} // namespace platform
} // namespace kesvar
