// How the tool writes numbers and codes in text: shared by its analyses and outputs.
#ifndef KESVAR_TOOLS_TEXT_H
#define KESVAR_TOOLS_TEXT_H

#include <math.h>
#include <stdarg.h>
#include <stdio.h>

#include <string>

namespace kesvar_cli {

inline std::string Sprintf(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
inline std::string Sprintf(const char* fmt, ...) {
    char buf[512];
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    return buf;
}

// A code or text as messages quote it: 'SBER'.
inline std::string Quote(const std::string& s) {
    return "'" + s + "'";
}

// Money with two decimals; no "-0.00".
inline std::string Amount(double v) {
    std::string s = Sprintf("%.2f", v);
    return s == "-0.00" ? "0.00" : s;
}

// A quantity before rounding, cut (not rounded) to two decimals so 251.999 never shows as 252.
inline std::string Lots(double v) {
    if (!isfinite(v)) return v != v ? "nan" : (v > 0 ? "inf" : "-inf");
    if (fabs(v) >= 1e12) return Sprintf("%.6g", v);
    std::string s = Sprintf("%.2f", trunc(v * 100.0) / 100.0);
    return s == "-0.00" ? "0.00" : s;
}

// A price as given: up to six decimals, trailing zeros dropped (285.4, 7120.5, 61.05).
inline std::string Price(double v) {
    std::string s = Sprintf("%.6f", v);
    while (!s.empty() && s.back() == '0')
        s.pop_back();
    if (!s.empty() && s.back() == '.') s += "00";
    size_t dot = s.find('.');
    if (dot != std::string::npos && s.size() - dot == 2) s += "0";
    return s;
}

// A fraction as a signed percent: -0.1 gives "-10%", 0.0 gives "0%".
inline std::string Percent(double fraction) {
    std::string s = Sprintf("%+.4f", fraction * 100.0);
    while (s.back() == '0')
        s.pop_back();
    if (s.back() == '.') s.pop_back();
    if (s == "+0" || s == "-0") s = "0";
    return s + "%";
}

} // namespace kesvar_cli

#endif
