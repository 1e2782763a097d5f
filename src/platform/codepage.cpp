// Upper case of one byte in the Windows ANSI code page kCodePage: 1252 (Western) or 1251
// (Cyrillic). Both tables are in every build, so the tests of any build check the page a 1251
// build uses.
#include "platform/platform.h"

namespace kesvar {
namespace platform {

namespace {

constexpr unsigned char Upper1251(unsigned char c) {
    if (c >= 'a' && c <= 'z') return static_cast<unsigned char>(c - 0x20);
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
}

constexpr unsigned char Upper1252(unsigned char c) {
    if (c >= 'a' && c <= 'z') return static_cast<unsigned char>(c - 0x20);
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
}

// The whole code page at once, made by the compiler: upper-casing a text is a table lookup per
// byte.
struct Table {
    unsigned char upper[256];
};

constexpr Table MakeTable(unsigned char (*upper)(unsigned char)) {
    Table t = {};
    for (int i = 0; i < 256; ++i)
        t.upper[i] = upper(static_cast<unsigned char>(i));
    return t;
}

constexpr Table k1251 = MakeTable(Upper1251);
constexpr Table k1252 = MakeTable(Upper1252);
constexpr const Table& kTable = kCodePage == 1251 ? k1251 : k1252;

} // namespace

unsigned char UpperCaseByte(unsigned char c) {
    return kTable.upper[c];
}

const unsigned char* UpperCaseTable() {
    return kTable.upper;
}

const unsigned char* UpperCaseTableOf(int32_t codePage) {
    return codePage == 1251 ? k1251.upper : k1252.upper;
}

} // namespace platform
} // namespace kesvar
