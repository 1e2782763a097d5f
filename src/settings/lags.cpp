// [CLIENTLAG] into two sorted arrays (whole codes and prefixes) and [SECURITYWEIGHT] with an
// index of its first line per code. Client lags are appended as read and sorted once at the
// end of the section: a repeated code is recognised as it comes, through a hash index.
#include <string.h>

#include "text/strings.h"
#include "settings/reader.h"

namespace kesvar {

int32_t FindSortedCode(const char* key, const ClientLag* entries, int32_t count,
                       CodeCompare compare) {
    if (count <= 0) return -1;
    int32_t lo = 0, hi = count - 1, num = count;
    for (int32_t half; (half = num / 2) != 0;) {
        // The probe position is part of the contract: among equal entries it decides which one
        // answers (the lone '*' prefix, for one).
        bool odd = (num & 1) != 0;
        int32_t mid = odd ? lo + half : lo + half - 1;
        int c = compare(key, &entries[mid]);
        if (c == 0) return mid;
        if (c < 0) {
            hi = mid - 1;
            num = odd ? half : half - 1;
        } else {
            lo = mid + 1;
            num = half;
        }
        if (lo > hi) return -1;
    }
    return num != 0 && compare(key, &entries[lo]) == 0 ? lo : -1;
}

namespace {

int CompareLagCode(const char* key, const ClientLag* entry) {
    return CompareNames(key, entry->clientCode);
}

// The codes of [CLIENTLAG] seen so far in each array: the first line of a code wins.
struct LagSection {
    HashIndex seen[2]; // whole codes, prefixes
};

uint32_t LagHash(const void* lags, int32_t i) {
    return HashName((*static_cast<const Array<ClientLag>*>(lags))[i].clientCode);
}

bool LagIs(const void* lags, int32_t i, const void* code) {
    return CompareNames((*static_cast<const Array<ClientLag>*>(lags))[i].clientCode,
                        static_cast<const char*>(code)) == 0;
}

// Appends an entry unless the code is there; the array is sorted once the section is read.
bool AppendLag(LoadContext& ctx, Array<ClientLag>& lags, HashIndex& seen, const char* code,
               int32_t lag, int32_t line) {
    const uint32_t h = HashName(code);
    if (HashFind(seen, h, LagIs, &lags, code) >= 0) {
        Note(ctx, line, kDiagRepeatedKey, code);
        return true;
    }
    if (!ArrayReserve(lags, lags.count + 1) || !HashInsert(seen, h, lags.count, LagHash, &lags))
        return false;
    ClientLag* entry = ArrayAppend(lags);
    CopyBounded(entry->clientCode, code, kMaxCode);
    entry->lag = int8_t(lag);
    return true;
}

bool ClientLagLine(LoadContext& ctx, void* state, int32_t line, char* key, char* value) {
    LagSection& section = *static_cast<LagSection*>(state);
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
        return AppendLag(ctx, ctx.firm->clientLagPrefixes, section.seen[1], key, lag, line);
    }
    return AppendLag(ctx, ctx.firm->clientLags, section.seen[0], key, lag, line);
}

// The byte of a code at which the sort compares, folded as CompareNames folds it. Codes sit in
// zeroed fields, so the bytes after the terminator are 0, like the terminator itself: a code
// sorts before every longer code that begins with it.
inline unsigned char SortByte(const ClientLag& lag, int32_t at) {
    unsigned char c = static_cast<unsigned char>(lag.clientCode[at]);
    return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + 32) : c;
}

// Sorts an array of distinct codes into the order of CompareNames: the array that inserting
// each line in turn would build. A radix sort, byte by byte from the last: its time grows with
// the number of codes alone, where a comparison sort's would not.
bool SortLags(Array<ClientLag>& lags) {
    const int32_t n = lags.count;
    if (n > 1) {
        uint32_t bytes;
        ClientLag* other = nullptr;
        if (!ByteCount(uint32_t(sizeof(ClientLag)), n, &bytes) ||
            (other = static_cast<ClientLag*>(MemAlloc(bytes))) == nullptr)
            return false;
        ClientLag* from = lags.items;
        ClientLag* to = other;
        for (int32_t at = int32_t(sizeof lags[0].clientCode) - 1; at >= 0; --at) {
            int32_t start[257] = {};
            for (int32_t i = 0; i < n; ++i)
                ++start[SortByte(from[i], at) + 1];
            if (start[SortByte(from[0], at) + 1] == n) continue; // one byte for all: in order
            for (int32_t b = 0; b < 256; ++b)
                start[b + 1] += start[b];
            for (int32_t i = 0; i < n; ++i)
                to[start[SortByte(from[i], at)]++] = from[i];
            ClientLag* t = from;
            from = to;
            to = t;
        }
        if (from != lags.items) memcpy(lags.items, from, bytes);
        MemFree(other);
    }
    return ArrayShrinkToFit(lags);
}

uint32_t WeightHash(const void* firm, int32_t i) {
    return HashCode(static_cast<const FirmRecord*>(firm)->securityWeights[i].secCode);
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
    // Kept, but the lookup only ever sees the first line of a code.
    FirmRecord* firm = ctx.firm;
    const uint32_t h = HashCode(key);
    if (HashFind(firm->weightIndex, h, WeightIs, firm, key) >= 0) {
        Note(ctx, line, kDiagRepeatedKey, key);
    } else if (!ArrayReserve(firm->securityWeights, firm->securityWeights.count + 1) ||
               !HashInsert(firm->weightIndex, h, firm->securityWeights.count, WeightHash, firm)) {
        return false;
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

int32_t ClientCreditLag(const FirmSettings* settings, const char* clientCode) {
    const FirmRecord* firm = FirmOf(settings);
    int32_t i =
        FindSortedCode(clientCode, firm->clientLags.items, firm->clientLags.count, CompareLagCode);
    if (i >= 0) return firm->clientLags[i].lag;
    i = FindSortedCode(clientCode, firm->clientLagPrefixes.items, firm->clientLagPrefixes.count,
                       CompareLagPrefix);
    if (i >= 0) return firm->clientLagPrefixes[i].lag;
    return firm->creditLag;
}

bool ParseClientLagSection(LoadContext& ctx) {
    // Most lines name whole codes: room for them all, so the array grows without slack.
    FirmRecord* firm = ctx.firm;
    LagSection section;
    int32_t lines = CountLines(ctx, FixedSectionBody(ctx, "CLIENTLAG"));
    if (lines > 0 && (!ArrayReserve(firm->clientLags, lines) ||
                      !HashReserve(section.seen[0], lines, LagHash, &firm->clientLags)))
        return false;
    bool ok = ReadFixedSection(ctx, "CLIENTLAG", true, ClientLagLine, &section);
    HashFree(section.seen[0]);
    HashFree(section.seen[1]);
    return ok && SortLags(ctx.firm->clientLags) && SortLags(ctx.firm->clientLagPrefixes);
}

bool ParseSecurityWeightSection(LoadContext& ctx) {
    // Every line may make an entry: room for them all, so the array is built without slack.
    FirmRecord* firm = ctx.firm;
    int32_t lines = CountLines(ctx, FixedSectionBody(ctx, "SECURITYWEIGHT"));
    if (lines > 0 && (!ArrayReserve(firm->securityWeights, lines) ||
                      !HashReserve(firm->weightIndex, lines, WeightHash, firm)))
        return false;
    return ReadFixedSection(ctx, "SECURITYWEIGHT", true, SecurityWeightLine, nullptr) &&
           ArrayShrinkToFit(firm->securityWeights);
}

} // namespace kesvar
