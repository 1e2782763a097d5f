// 32-bit integer arithmetic as the device does it: host quantities are summed and combined in
// 32-bit integers that wrap, and figures become quantities by truncation toward zero.
#ifndef KESVAR_ARITH_INT32_H
#define KESVAR_ARITH_INT32_H

#include <stdint.h>

namespace kesvar {

// a + b and a - b modulo 2^32: host quantities may be anything, and overflow must not be
// undefined.
inline int32_t WrapAdd(int32_t a, int32_t b) {
    return int32_t(uint32_t(a) + uint32_t(b));
}
inline int32_t WrapSub(int32_t a, int32_t b) {
    return int32_t(uint32_t(a) - uint32_t(b));
}

// Double to int32: toward zero, saturating at the int32 range, NaN gives 0. A lot or price of 0
// makes the quotients infinite or NaN, and they must still convert the same on every target.
inline int32_t TruncToInt32(double d) {
    if (d != d) return 0;
    if (d >= 2147483647.0) return INT32_MAX;
    if (d <= -2147483648.0) return INT32_MIN;
    return int32_t(d);
}

} // namespace kesvar

#endif
