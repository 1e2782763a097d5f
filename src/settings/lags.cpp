// [CLIENTLAG] into two sorted arrays (whole codes and prefixes) and [SECURITYWEIGHT].
#include <string.h>

#include "frame/strings.h"
#include "settings/reader.h"

namespace kesvar {

int32_t FindSortedCode(const char* key, ClientLag* const* entries, int32_t count,
                       CodeCompare compare, int32_t* insertAt) {
    int32_t place = 0, found = -1;
    if (count > 0) {
        int32_t lo = 0, hi = count - 1, num = count;
        for (int32_t half; (half = num / 2) != 0;) {
            // The probe position is part of the contract: among equal entries it decides
            // which one answers (the lone '*' prefix, for one).
            bool odd = (num & 1) != 0;
            int32_t mid = odd ? lo + half : lo + half - 1;
            int c = compare(key, entries[mid]);
            if (c == 0) {
                if (insertAt) *insertAt = mid;
                return mid;
            }
            if (c < 0) {
                hi = mid - 1;
                num = odd ? half : half - 1;
            } else {
                lo = mid + 1;
                num = half;
            }
            if (lo > hi) {
                if (insertAt) *insertAt = lo;
                return -1;
            }
        }
        place = lo;
        if (num != 0) {
            int c = compare(key, entries[lo]);
            if (c == 0)
                found = lo;
            else if (c > 0)
                place = lo + 1;
        }
    }
    if (insertAt) *insertAt = place;
    return found;
}

namespace {

int CompareLagCode(const char* key, const ClientLag* entry) {
    return CompareNames(key, entry->clientCode);
}

// Inserts a new entry unless the code is there.
bool InsertLag(LoadContext& ctx, Array<ClientLag*>& lags, const char* code, int32_t lag,
               int32_t line) {
    int32_t at;
    if (FindSortedCode(code, lags.items, lags.count, CompareLagCode, &at) >= 0) {
        Note(ctx, line, kDiagRepeatedKey, code);
        return true;
    }
    if (!ArrayReserve(lags, lags.count + 1)) return false;
    ClientLag* entry = NewZeroed<ClientLag>();
    if (!entry) return false;
    CopyBounded(entry->clientCode, code, kMaxCode);
    entry->lag = lag;
    memmove(&lags.items[at + 1], &lags.items[at], sizeof(ClientLag*) * size_t(lags.count - at));
    lags.items[at] = entry;
    lags.count++;
    return true;
}

bool ClientLagLine(LoadContext& ctx, void*, int32_t line, char* key, char* value) {
    size_t n = strlen(key);
    if (n > size_t(kMaxCode)) {
        Note(ctx, line, kDiagKeyTooLong, key);
        return true;
    }
    if (strlen(value) > size_t(kMaxPiece)) {
        Note(ctx, line, kDiagValueTooLong, key);
        return true;
    }
    TrimValue(value);
    int32_t lag = ReadIntValue(ctx, line, key, value);
    if (lag != 1 && lag != 2) {
        Note(ctx, line, kDiagValueOutOfRange, key, value);
        return true;
    }
    // "X*" covers every code that begins with X; '*' alone covers every client.
    if (n > 0 && key[n - 1] == '*') {
        key[n - 1] = 0;
        return InsertLag(ctx, ctx.firm->clientLagPrefixes, key, lag, line);
    }
    return InsertLag(ctx, ctx.firm->clientLags, key, lag, line);
}

bool SecurityWeightLine(LoadContext& ctx, void*, int32_t line, char* key, char* value) {
    if (strlen(key) > size_t(kMaxCode)) {
        Note(ctx, line, kDiagKeyTooLong, key);
        return true;
    }
    char* comma = strchr(value, ',');
    if (!comma) {
        Note(ctx, line, kDiagNoComma, key);
        return true;
    }
    if (comma - value > kMaxPiece) {
        Note(ctx, line, kDiagValueTooLong, key);
        return true;
    }
    *comma = 0;
    double longWeight = ReadDoubleValue(ctx, line, key, value);
    double shortWeight = ReadDoubleValue(ctx, line, key, comma + 1);
    // Written as a negated test so that a NaN would clamp too.
    if (!(longWeight >= 0.0) || longWeight > 1.0) {
        Note(ctx, line, kDiagValueClamped, key, value);
        longWeight = 1.0;
    }
    if (shortWeight < 1.0) {
        Note(ctx, line, kDiagShortWeightClamp, key, comma + 1);
        shortWeight = 1.0;
    }
    if (ctx.sink) {
        // Kept, but the lookup only ever sees the first line of a code.
        const Array<SecurityWeight>& all = ctx.firm->securityWeights;
        for (int32_t i = 0; i < all.count; ++i) {
            if (strcmp(all[i].secCode, key) == 0) {
                Note(ctx, line, kDiagRepeatedKey, key);
                break;
            }
        }
    }
    SecurityWeight* w = ArrayAppend(ctx.firm->securityWeights);
    if (!w) return false;
    CopyBounded(w->secCode, key, kMaxCode);
    w->shortWeight = shortWeight;
    w->longWeight = longWeight;
    return true;
}

} // namespace

// Prefix entries are stored without their '*'; an empty one fits every client.
static int CompareLagPrefix(const char* key, const ClientLag* entry) {
    return CompareNamePrefix(key, entry->clientCode, int32_t(strlen(entry->clientCode)));
}

int32_t ClientCreditLag(const FirmSettings* record, const char* clientCode) {
    const FirmSettings* f = FirmOf(record);
    int32_t i = FindSortedCode(clientCode, f->clientLags.items, f->clientLags.count, CompareLagCode,
                               nullptr);
    if (i >= 0) return f->clientLags[i]->lag;
    i = FindSortedCode(clientCode, f->clientLagPrefixes.items, f->clientLagPrefixes.count,
                       CompareLagPrefix, nullptr);
    if (i >= 0) return f->clientLagPrefixes[i]->lag;
    return f->creditLag;
}

bool ParseClientLagSection(LoadContext& ctx) {
    return ReadFixedSection(ctx, "CLIENTLAG", true, ClientLagLine, nullptr);
}

bool ParseSecurityWeightSection(LoadContext& ctx) {
    return ReadFixedSection(ctx, "SECURITYWEIGHT", true, SecurityWeightLine, nullptr);
}

} // namespace kesvar
