// TEMPORARY: placeholders so the tree links while the settings lookups are written. Weak, so
// the real functions replace them as soon as they exist. Delete this file when they do.
#include "row/row.h"
#include "settings/settings.h"
namespace kesvar {
__attribute__((weak)) int32_t BoardKind(const FirmSettings*, const char*) {
    return 0;
}
__attribute__((weak)) int32_t AccountKind(const FirmSettings*, const char*) {
    return 1;
}
__attribute__((weak)) void WeightsOf(const FirmSettings*, const char*, double* l, double* s) {
    *l = 1.0;
    *s = 1.0;
}
__attribute__((weak)) int32_t FindSortedCode(const char*, ClientLag* const*, int32_t, CodeCompare,
                                             int32_t*) {
    return -1;
}
} // namespace kesvar
