// Hands the margin list that governs a bound record to the host, in the host's ids. Every
// block lives only for the callback and goes back through the host's free hook.
#include "links/membership.h"
#include "queries/queries.h"
#include "registry/registry.h"
#include "settings/settings.h"

namespace kesvar {

namespace {

uint32_t ClassIdOf(int32_t classIndex) {
    if (classIndex < 0 || classIndex >= ClassCount()) return KR_UNREGISTERED_ID;
    return ClassAt(classIndex)->cls.classId;
}

uint32_t SecIdOf(int32_t secIndex) {
    if (secIndex < 0 || secIndex >= SecurityCount()) return KR_UNREGISTERED_ID;
    return SecurityAt(secIndex)->sec.secId;
}

// Frees the secs blocks of the first `filled` entries in entry order, then the array.
void FreeEntries(KRMarginClassEntry* entries, int32_t filled) {
    for (int32_t i = 0; i < filled; ++i)
        MemFree(entries[i].secs);
    MemFree(entries);
}

} // namespace

int32_t GetMarginSecs(const FirmSettings* settings, KRMarginSecsFunc callback, uintptr_t user) {
    const FirmSettings* serving = MarginServer(settings);
    const SecurityList list = ListOf(serving, kMarginList);
    const int32_t n = list.count;

    uint32_t bytes;
    if (!ByteCount(uint32_t(sizeof(KRMarginClassEntry)), n, &bytes)) return KR_ERR_NO_MEMORY;
    KRMarginClassEntry* entries = static_cast<KRMarginClassEntry*>(MemAlloc(bytes));
    // A null answer to a request of 0 bytes is no failure: nothing will be written there.
    if (!entries && bytes != 0) return KR_ERR_NO_MEMORY;
    if (entries) memset(static_cast<void*>(entries), 0, bytes);

    for (int32_t i = 0; i < n; ++i) {
        const ClassSecurityList& src = list.entries[i];
        KRMarginClassEntry& dst = entries[i];
        // Codes are cut to fit with their NUL; the rest of each field stays zero.
        CopyBounded(dst.code, ClassCodeOf(serving, src), int32_t(sizeof dst.code) - 1);
        dst.classId = ClassIdOf(src.classIndex);
        dst.secCount = src.securityCount;

        uint32_t secBytes;
        if (!ByteCount(uint32_t(sizeof(KRMarginSecEntry)), src.securityCount, &secBytes)) {
            FreeEntries(entries, i);
            return KR_ERR_NO_MEMORY;
        }
        // Also requested for an entry without securities, as the host expects one block each.
        KRMarginSecEntry* secs = static_cast<KRMarginSecEntry*>(MemAlloc(secBytes));
        if (!secs && secBytes != 0) {
            FreeEntries(entries, i);
            return KR_ERR_NO_MEMORY;
        }
        if (secs) memset(static_cast<void*>(secs), 0, secBytes);
        dst.secs = secs;
        const ListedSecurity* listed = SecuritiesOf(serving, src);
        for (int32_t j = 0; j < src.securityCount; ++j) {
            secs[j].secId = SecIdOf(SecIndexOf(listed[j]));
            ListedCode(serving, listed[j], secs[j].code);
        }
    }

    callback(entries, uint32_t(n), user);
    FreeEntries(entries, n);
    return KR_ERR_NONE;
}

} // namespace kesvar
