#include "text/strings.h"

namespace kesvar {

static inline int Fold(unsigned char c) {
    return (c >= 'A' && c <= 'Z') ? c + 32 : c;
}

int CompareNames(const char* a, const char* b) {
    const unsigned char* x = reinterpret_cast<const unsigned char*>(a);
    const unsigned char* y = reinterpret_cast<const unsigned char*>(b);
    for (;; ++x, ++y) {
        int d = Fold(*x) - Fold(*y);
        if (d != 0 || *x == 0) return d;
    }
}

int CompareNamePrefix(const char* a, const char* b, int32_t n) {
    const unsigned char* x = reinterpret_cast<const unsigned char*>(a);
    const unsigned char* y = reinterpret_cast<const unsigned char*>(b);
    for (; n > 0; --n, ++x, ++y) {
        int d = Fold(*x) - Fold(*y);
        if (d != 0 || *x == 0) return d;
    }
    return 0;
}

void CopyBounded(char* dst, const char* src, int32_t n) {
    int32_t i = 0;
    for (; i < n && src[i]; ++i)
        dst[i] = src[i];
    dst[i] = 0;
}

} // namespace kesvar
