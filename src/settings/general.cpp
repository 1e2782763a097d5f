// [GENERAL]: the firm-wide switches. The first line of each key wins.
#include <string.h>

#include "settings/reader.h"

namespace kesvar {

namespace {

struct GeneralSeen {
    bool creditLag, checkMaxCredit, limitsInLots, mainMarginClasses;
};

// Reports each code of the class list that a space beside a comma hides from the search
// for ",CODE,".
void CheckClassListSpaces(LoadContext& ctx, int32_t line, const char* framed) {
    const char* piece = framed + 1;
    while (*piece) {
        const char* comma = strchr(piece, ',');
        size_t n = comma ? size_t(comma - piece) : strlen(piece);
        if (n > 0 && (piece[0] == ' ' || piece[n - 1] == ' ')) {
            char subject[kMaxPiece + 1];
            CopyBounded(subject, piece, int32_t(n < size_t(kMaxPiece) ? n : kMaxPiece));
            Note(ctx, line, kDiagMainMarginSpace, subject);
        }
        if (!comma) break;
        piece = comma + 1;
    }
}

bool GeneralLine(LoadContext& ctx, void* state, int32_t line, char* key, char* value) {
    GeneralSeen& seen = *static_cast<GeneralSeen*>(state);
    FirmRecord* firm = ctx.firm;
    bool repeated = false;
    if (strcmp(key, "CREDITLAG") == 0) {
        repeated = seen.creditLag;
        if (!repeated) {
            firm->creditLag = ReadIntValue(ctx, line, key, value);
            // Only 2 marks a lag-2 client; any other value works as 1.
            if (firm->creditLag != 1 && firm->creditLag != 2)
                Note(ctx, line, kDiagCreditLagRange, key, value);
        }
        seen.creditLag = true;
    } else if (strcmp(key, "RSTRNMBUY") == 0) {
        repeated = firm->restrictBuy != RestrictBuyUnset;
        if (!repeated)
            firm->restrictBuy =
                ReadFlagValue(ctx, line, key, value) ? BuyRestricted : BuyNotRestricted;
    } else if (strcmp(key, "CHECKMAXCREDIT") == 0) {
        repeated = seen.checkMaxCredit;
        if (!repeated) firm->checkMaxCredit = ReadFlagValue(ctx, line, key, value) ? 1 : 0;
        seen.checkMaxCredit = true;
    } else if (strcmp(key, "LIMITSINLOTS") == 0) {
        repeated = seen.limitsInLots;
        if (!repeated) firm->limitsInLots = ReadFlagValue(ctx, line, key, value) ? 1 : 0;
        seen.limitsInLots = true;
    } else if (strcmp(key, "MAINMARGINCLASSES") == 0) {
        repeated = seen.mainMarginClasses;
        if (!repeated) {
            size_t n = strlen(value);
            uint32_t bytes;
            if (n > 0x7FFFFFF0u || !ByteCount(1, int32_t(n + 3), &bytes)) return false;
            char* framed = static_cast<char*>(MemAlloc(bytes));
            if (!framed) return false;
            framed[0] = ',';
            memcpy(framed + 1, value, n);
            framed[n + 1] = ',';
            framed[n + 2] = 0;
            if (firm->mainMarginClasses) MemFree(firm->mainMarginClasses);
            firm->mainMarginClasses = framed;
            if (ctx.sink) CheckClassListSpaces(ctx, line, framed);
        }
        seen.mainMarginClasses = true;
    } else {
        Note(ctx, line, kDiagUnknownKey, key, "GENERAL");
    }
    if (repeated) Note(ctx, line, kDiagRepeatedKey, key);
    return true;
}

} // namespace

bool ParseGeneralSection(LoadContext& ctx) {
    FirmRecord* firm = ctx.firm;
    firm->checkMaxCredit = 0;
    firm->limitsInLots = 1;
    firm->creditLag = 1;
    GeneralSeen seen = {};
    if (!ReadFixedSection(ctx, "GENERAL", true, GeneralLine, &seen)) return false;
    if (!firm->mainMarginClasses) {
        firm->mainMarginClasses = DupString("");
        if (!firm->mainMarginClasses) return false;
    }
    return true;
}

} // namespace kesvar
