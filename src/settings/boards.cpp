// [BOARDTAG] and the four sections of additional boards and trade accounts. A tag or account
// keeps the kind it was first added with.
#include <string.h>

#include "settings/reader.h"

namespace kesvar {

namespace {

struct AdditionalSection {
    int32_t kind;
    bool accounts; // values are trade accounts, not boards
};

bool BoardTagLine(LoadContext& ctx, void*, int32_t line, char* key, char*) {
    return AddBoardTag(ctx, key, Ordinary, line);
}

bool AdditionalLine(LoadContext& ctx, void* state, int32_t line, char* key, char* value) {
    const AdditionalSection& s = *static_cast<AdditionalSection*>(state);
    if (!AddBoardTag(ctx, key, Ordinary, line)) return false;
    // A trailing comma adds nothing; an empty piece between two commas is added.
    char* piece = value;
    while (*piece) {
        char* comma = strchr(piece, ',');
        if (comma) *comma = 0;
        char text[kMaxPiece + 1];
        CopyBounded(text, piece, kMaxPiece);
        TrimLine(text);
        bool ok = s.accounts ? AddTradeAccount(ctx, text, s.kind, line)
                             : AddBoardTag(ctx, text, s.kind, line);
        if (!ok) return false;
        if (!comma) break;
        piece = comma + 1;
    }
    return true;
}

} // namespace

bool AddBoardTag(LoadContext& ctx, const char* text, int32_t kind, int32_t line) {
    Array<BoardTag>& tags = ctx.firm->boardTags;
    // Exact comparison of the whole text: a text longer than a tag never matches, so each
    // offer of it appends another cut entry.
    for (int32_t i = 0; i < tags.count; ++i) {
        if (strcmp(tags[i].tag, text) == 0) {
            if (tags[i].kind != kind) Note(ctx, line, kDiagRepeatedKey, text); // first kind stays
            return true;
        }
    }
    BoardTag* t = ArrayAppend(tags);
    if (!t) return false;
    CopyBounded(t->tag, text, kMaxTag);
    t->kind = kind;
    if (strlen(text) > size_t(kMaxTag)) Note(ctx, line, kDiagTagCut, text);
    return true;
}

bool AddTradeAccount(LoadContext& ctx, const char* text, int32_t kind, int32_t line) {
    Array<TradeAccount>& accounts = ctx.firm->tradeAccounts;
    for (int32_t i = 0; i < accounts.count; ++i) {
        if (strcmp(accounts[i].account, text) == 0) {
            if (accounts[i].kind != kind) Note(ctx, line, kDiagRepeatedKey, text);
            return true;
        }
    }
    TradeAccount* a = ArrayAppend(accounts);
    if (!a) return false;
    CopyBounded(a->account, text, kMaxCode);
    a->kind = kind;
    if (strlen(text) > size_t(kMaxCode)) Note(ctx, line, kDiagTagCut, text);
    return true;
}

bool ParseBoardTagSection(LoadContext& ctx) {
    // The key is taken as written before '=': spaces there stay part of the tag.
    return ReadFixedSection(ctx, "BOARDTAG", false, BoardTagLine, nullptr);
}

bool ParseAdditionalBoards(LoadContext& ctx, int32_t kind, const char* name) {
    AdditionalSection s = {kind, false};
    return ReadFixedSection(ctx, name, true, AdditionalLine, &s);
}

bool ParseAdditionalTradeAccounts(LoadContext& ctx, int32_t kind, const char* name) {
    AdditionalSection s = {kind, true};
    return ReadFixedSection(ctx, name, true, AdditionalLine, &s);
}

} // namespace kesvar
