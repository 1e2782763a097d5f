// The lists handed back to the host: the margin list of a bound client and the security ids
// a class needs.
#ifndef KESVAR_QUERIES_QUERIES_H
#define KESVAR_QUERIES_QUERIES_H

#include "state/state.h"

namespace kesvar {

struct FirmSettings;

// KRGetMarginSecs's work: KR_ERR_NONE, or KR_ERR_NO_MEMORY (callback not called).
int32_t GetMarginSecs(const FirmSettings* settings, KRMarginSecsFunc callback, uintptr_t user);
// KRGetNeedClassSecIDs's work: KR_ERR_NONE, KR_ERR_NOT_FOUND or KR_ERR_SIZE. `count` is
// read and written byte by byte (it may be unaligned).
int32_t GetNeedClassSecIDs(uint32_t classId, uint32_t* ids, unsigned char* count);

} // namespace kesvar

#endif
