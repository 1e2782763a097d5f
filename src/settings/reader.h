// What the section readers share: the load context, the map of the text's sections made in
// one pass, the reading of one line at a time, the reading of one fixed-name section, and the
// number readers.
//
// The host's text is never copied whole. One pass notes every line that begins with '[' (the
// lines where sections begin and end); each reader then reads only the lines of its own
// sections, one at a time, into a scratch line that it upper-cases, trims and may cut as it
// likes: no reader sees another's cuts, even where one header opens both a client section and
// a template.
#ifndef KESVAR_SETTINGS_READER_H
#define KESVAR_SETTINGS_READER_H

#include "settings/settings.h"

namespace kesvar {

// Longest key or list piece kept; longer ones are cut to this.
const int32_t kMaxPiece = 255;

// A line whose trimmed form begins with '[': it ends the section before it and may open one.
struct SectionMark {
    int32_t at;     // offset of the line in the text
    int32_t lineNo; // 1-based
    int8_t fixed;   // the fixed-name section it opens (kFixedSections), or -1
    uint8_t client; // SectionMarkFlags: whether it is a client section or template header
};
enum SectionMarkFlags {
    kClientHeader = 1,     // "[CL<name>_MARGIN]" with a name of at most 12 characters
    kClientNameLong = 2,   // ... with a longer name: no header
    kTemplateHeader = 4,   // "[CL<name>_MARGIN_TEMPLATE]" with a name of at most 100
    kTemplateNameLong = 8, // ... with a longer name: no header
};

// One load of one firm's text.
struct LoadContext {
    FirmRecord* firm;
    DiagnosticSink* sink; // null from the library: no reporting work at all
    uint8_t* consumed;    // with a sink, one mark per line that some reader read
    int32_t lineCount;
    bool byteOrderMark; // with a sink: the text as given starts with EF BB BF
    const char* text;   // the host's text, as given
    int32_t textLength;
    Array<SectionMark> marks;
    Array<char> line;     // the line being read: upper-cased and trimmed
    HashIndex classCodes; // class codes pooled so far, so that each is kept once
};

inline void MarkConsumed(LoadContext& ctx, int32_t line) {
    if (ctx.consumed && line >= 1 && line <= ctx.lineCount) ctx.consumed[line - 1] = 1;
}
inline void Note(LoadContext& ctx, int32_t line, DiagCode code, const char* subject,
                 const char* detail = nullptr) {
    if (ctx.sink) Report(ctx.sink, line, code, subject, detail);
}

// Maps the sections of ctx.text (ctx.marks, ctx.lineCount) and sets the firm's volume flag.
// False: no memory.
bool MapSections(LoadContext& ctx);

// A stretch of lines of the text: the body of a section, or the whole text.
struct LineRange {
    int32_t at;     // where the next line begins; past the text when none is left
    int32_t end;    // where the stretch ends (the next mark's line), or past the text
    int32_t lineNo; // number of the next line
};
LineRange BodyOf(const LoadContext& ctx, int32_t mark); // the lines after a mark, to the next
LineRange WholeText(const LoadContext& ctx);
// Lines of a range counted without reading them: at least as many as hold a key and value.
int32_t CountLines(const LoadContext& ctx, const LineRange& r);

enum LineResult { kLineRead, kNoMoreLines, kLineNoMemory };
// Reads the next line of the range into ctx.line, upper-cased and trimmed with TrimLine (not
// trimmed when `trim` is false); *line points at it and *lineNo gets its number.
LineResult NextLine(LoadContext& ctx, LineRange& r, char** line, int32_t* lineNo, bool trim = true);
// The mark's own line, as NextLine would read it.
LineResult MarkLine(LoadContext& ctx, int32_t mark, char** line);

// Copies the text before `eq` into key (cut to kMaxPiece), trimmed with TrimLine when asked.
// True when the key had to be cut.
bool CopyKey(char key[kMaxPiece + 1], const char* line, const char* eq, bool trim);

// With a sink, reports a key that holds a tab or space: no code of the terminal has one.
void CheckKeyBlanks(LoadContext& ctx, int32_t line, const char* key);

// Called for each key/value line of a section; false stops the load (no memory).
typedef bool (*LineHandler)(LoadContext& ctx, void* state, int32_t line, char* key, char* value);

// Reads the first occurrence of "[name]". With a sink, later occurrences are reported. The
// handler may cut the line it is given.
bool ReadFixedSection(LoadContext& ctx, const char* name, bool trimKey, LineHandler handler,
                      void* state);
// The lines of the first occurrence of "[name]" (none when it does not occur).
LineRange FixedSectionBody(const LoadContext& ctx, const char* name);

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
bool ParseSecurityListSection(LoadContext& ctx, const char* name, int32_t kind);
bool ParseGeneralSection(LoadContext& ctx);
bool ParseClientMarginSections(LoadContext& ctx);
bool ParseClientMarginTemplates(LoadContext& ctx);
bool ParseClientLagSection(LoadContext& ctx);
bool ParseSecurityWeightSection(LoadContext& ctx);
bool ParseBoardTagSection(LoadContext& ctx);
bool ParseAdditionalBoards(LoadContext& ctx, int32_t kind, const char* name);
bool ParseAdditionalTradeAccounts(LoadContext& ctx, int32_t kind, const char* name);

// Appends to the firm's pool an entry of list `kind` for `classCode`, built from `value` (the
// text after '=', cut in place), and resolves it when its class is registered. `settings` is
// the record the entry is read for; the entries of that record begin at `firstEntry`. False: no
// memory (pools as before).
bool AddClassSecurityList(LoadContext& ctx, const FirmSettings* settings, int32_t firstEntry,
                          int32_t kind, char* value, const char* classCode, int32_t line);

// Outcome of AttachClientRecord.
enum AttachResult { kAttached, kDiscarded, kAttachNoMemory };
// Adds a client record to the firm unless its code is taken (it is then discarded: the caller
// gives back what it took in the pools).
AttachResult AttachClientRecord(LoadContext& ctx, const FirmSettings& client, int32_t line);

bool AddBoardTag(LoadContext& ctx, const char* text, int32_t kind, int32_t line);
bool AddTradeAccount(LoadContext& ctx, const char* text, int32_t kind, int32_t line);

} // namespace kesvar

#endif
