// What the section readers share: the load context, the line walker over a scratch copy of
// the text, the reading of one fixed-name section, and the number readers.
#ifndef KESVAR_SETTINGS_READER_H
#define KESVAR_SETTINGS_READER_H

#include "settings/settings.h"

namespace kesvar {

// Longest key or list piece kept; longer ones are cut to this.
const int32_t kMaxPiece = 255;
// Longest code of a list piece, class key, client code or trade account.
const int32_t kMaxCode = 12;

// One load of one firm's text.
struct LoadContext {
    FirmSettings* firm;
    DiagnosticSink* sink; // null from the library: no reporting work at all
    uint8_t* consumed;    // with a sink, one mark per line that some reader read
    int32_t lineCount;
    bool byteOrderMark; // with a sink: the text as given starts with EF BB BF
};

inline void MarkConsumed(LoadContext& ctx, int32_t line) {
    if (ctx.consumed && line >= 1 && line <= ctx.lineCount) ctx.consumed[line - 1] = 1;
}
inline void Note(LoadContext& ctx, int32_t line, DiagCode code, const char* subject,
                 const char* detail = nullptr) {
    if (ctx.sink) Report(ctx.sink, line, code, subject, detail);
}

// Walks a scratch copy of the text line by line; each line is cut at its LF and trimmed.
struct LineWalker {
    char* buffer; // the scratch copy, owned
    char* next;   // start of the next line; null after the last
    char* line;   // the current line, trimmed
    int32_t lineNo;
};

bool WalkerOpen(LineWalker* w, const char* text); // false: no memory
bool WalkerNext(LineWalker* w);                   // false after the last line
void WalkerClose(LineWalker* w);

// Copies the text before `eq` into key (cut to kMaxPiece), trimmed with TrimLine when asked.
// True when the key had to be cut.
bool CopyKey(char key[kMaxPiece + 1], const char* line, const char* eq, bool trim);

// Called for each key/value line of a section; false stops the load (no memory).
typedef bool (*LineHandler)(LoadContext& ctx, void* state, int32_t line, char* key, char* value);

// Reads the first occurrence of "[name]". With a sink, later occurrences are reported.
bool ReadFixedSection(LoadContext& ctx, const char* name, bool trimKey, LineHandler handler,
                      void* state);

// Numbers of the settings text, independent of the C locale. *end (when asked) receives
// where reading stopped: just past the number, or `s` itself when there was no number.
int32_t ReadInt(const char* s, const char** end = nullptr);
double ReadDouble(const char* s, const char** end = nullptr);

// The same for the value of `key` on `line`; with a sink they also report a value without a
// number, text after the number, and (flags) a switch other than 0 or 1. A flag reads as 1
// for any non-zero number.
int32_t ReadIntValue(LoadContext& ctx, int32_t line, const char* key, const char* value);
double ReadDoubleValue(LoadContext& ctx, int32_t line, const char* key, const char* value);
bool ReadFlagValue(LoadContext& ctx, int32_t line, const char* key, const char* value);

// The section readers, in the loader's order.
bool ParseSecurityListSection(LoadContext& ctx, const char* name, Array<ClassSecurityList>* list);
bool ParseGeneralSection(LoadContext& ctx);
bool ParseClientMarginSections(LoadContext& ctx);
bool ParseClientMarginTemplates(LoadContext& ctx);
bool ParseClientLagSection(LoadContext& ctx);
bool ParseSecurityWeightSection(LoadContext& ctx);
bool ParseBoardTagSection(LoadContext& ctx);
bool ParseAdditionalBoards(LoadContext& ctx, int32_t kind, const char* name);
bool ParseAdditionalTradeAccounts(LoadContext& ctx, int32_t kind, const char* name);

// Adds a client record to the firm unless its code is taken (then it is discarded). Either
// way the firm owns or has released the record; false: no memory (record released).
bool AttachClientRecord(LoadContext& ctx, FirmSettings* client, int32_t line);

bool AddBoardTag(LoadContext& ctx, const char* text, int32_t kind, int32_t line);
bool AddTradeAccount(LoadContext& ctx, const char* text, int32_t kind, int32_t line);

} // namespace kesvar

#endif
