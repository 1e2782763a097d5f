// Numbers of the settings text. The host may have set any C locale, so nothing here goes
// through atoi, sscanf or strtod: the grammar is fixed and the same on every target.
#include <charconv>
#include <limits>
#include <system_error>
#ifndef __cpp_lib_to_chars
#include <errno.h>
#include <stdlib.h>
#endif

#include "settings/reader.h"

namespace kesvar {

// The correctly rounded double of [start, end), which holds only digits, a point and an
// exponent, and is followed by a character that cannot continue it. A standard library without
// floating-point from_chars (the WebAssembly one) gets strtod instead: its C library reads '.'
// whatever the locale, and strtod stops where the grammar does, except that it would read
// "0x..." as hexadecimal, where the grammar reads the single digit 0.
static std::errc DecimalToDouble(const char* start, const char* end, double* v) {
#ifdef __cpp_lib_to_chars
    return std::from_chars(start, end, *v, std::chars_format::general).ec;
#else
    if (end - start == 1 && *start == '0') {
        *v = 0.0;
        return std::errc();
    }
    errno = 0;
    *v = strtod(start, nullptr);
    // As from_chars: out of range when the result overflows or underflows to zero.
    if (errno == ERANGE && (*v == 0.0 || *v > std::numeric_limits<double>::max()))
        return std::errc::result_out_of_range;
    return std::errc();
#endif
}

static bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}
static bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

int32_t ReadInt(const char* s, const char** end) {
    const char* given = s;
    while (IsBlank(*s))
        ++s;
    bool negative = *s == '-';
    if (*s == '-' || *s == '+') ++s;
    // Saturates: anything past 2^31 reads as the limit of its sign.
    int64_t v = 0;
    const char* digits = s;
    for (; IsDigit(*s); ++s) {
        if (v <= 2147483648LL) v = v * 10 + (*s - '0');
    }
    if (end) *end = s == digits ? given : s;
    if (negative) return v >= 2147483648LL ? INT32_MIN : int32_t(-v);
    return v > INT32_MAX ? INT32_MAX : int32_t(v);
}

double ReadDouble(const char* s, const char** stop) {
    const char* given = s;
    if (stop) *stop = given;
    while (IsBlank(*s))
        ++s;
    bool negative = *s == '-';
    if (*s == '-' || *s == '+') ++s;

    const char* start = s;
    const char* p = s;
    int32_t intDigits = 0, fracDigits = 0;
    while (IsDigit(*p))
        ++p, ++intDigits;
    if (*p == '.') {
        ++p;
        while (IsDigit(*p))
            ++p, ++fracDigits;
    }
    if (intDigits + fracDigits == 0) return 0.0;
    const char* end = p;
    // An exponent counts only when a digit follows its optional sign.
    int64_t exponent = 0;
    if (*p == 'e' || *p == 'E') {
        const char* q = p + 1;
        bool negExp = *q == '-';
        if (*q == '-' || *q == '+') ++q;
        if (IsDigit(*q)) {
            for (; IsDigit(*q); ++q) {
                if (exponent < 1000000000) exponent = exponent * 10 + (*q - '0');
            }
            if (negExp) exponent = -exponent;
            end = q;
        }
    }
    if (stop) *stop = end;

    double v = 0.0;
    std::errc ec = DecimalToDouble(start, end, &v);
    if (ec == std::errc::result_out_of_range) {
        // Beyond the double range one way or the other: the decimal magnitude of the first
        // significant digit says which.
        int64_t magnitude;
        const char* d = start;
        int32_t leading = 0;
        while (d < start + intDigits && *d == '0')
            ++d, ++leading;
        if (leading < intDigits) {
            magnitude = int64_t(intDigits - leading - 1) + exponent;
        } else {
            d = start + intDigits + 1;
            int32_t zeros = 0;
            while (zeros < fracDigits && d[zeros] == '0')
                ++zeros;
            magnitude = -int64_t(zeros) - 1 + exponent;
        }
        v = magnitude >= 0 ? std::numeric_limits<double>::infinity() : 0.0;
    } else if (ec != std::errc()) {
        v = 0.0;
    }
    return negative ? -v : v;
}

namespace {

// Reports a value with no number, or with more than blanks after it.
void CheckNumberText(LoadContext& ctx, int32_t line, const char* key, const char* value,
                     const char* end) {
    if (end == value) {
        Note(ctx, line, kDiagNotANumber, key, value);
        return;
    }
    const char* rest = end;
    while (*rest == ' ' || *rest == '\t')
        ++rest;
    // Trailing spaces are trimmed with the line, so blanks left here hold a tab.
    if (*rest)
        Note(ctx, line, kDiagNumberTrailing, key, end);
    else if (rest != end)
        Note(ctx, line, kDiagBlankAfterNumber, key, end);
}

} // namespace

int32_t ReadIntValue(LoadContext& ctx, int32_t line, const char* key, const char* value) {
    const char* end;
    int32_t v = ReadInt(value, &end);
    if (ctx.sink) CheckNumberText(ctx, line, key, value, end);
    return v;
}

double ReadDoubleValue(LoadContext& ctx, int32_t line, const char* key, const char* value) {
    const char* end;
    double v = ReadDouble(value, &end);
    if (ctx.sink) CheckNumberText(ctx, line, key, value, end);
    return v;
}

bool ReadFlagValue(LoadContext& ctx, int32_t line, const char* key, const char* value) {
    int32_t v = ReadIntValue(ctx, line, key, value);
    if (v != 0 && v != 1) Note(ctx, line, kDiagFlagNotBinary, key, value);
    return v != 0;
}

} // namespace kesvar
