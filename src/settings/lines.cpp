// The line grammar every section shares: trimming, the walk over a scratch copy of the text,
// and the reading of a fixed-name section.
#include <string.h>

#include "settings/reader.h"

namespace kesvar {

// Moves the string to the front of its own buffer, past its leading spaces.
static void DropLeadingSpaces(char* s) {
    char* p = s;
    while (*p == ' ')
        ++p;
    if (p != s) memmove(s, p, strlen(p) + 1);
}

void TrimLine(char* s) {
    size_t n = strlen(s);
    while (n > 0 && (s[n - 1] == ' ' || s[n - 1] == '\r' || s[n - 1] == '\n' || s[n - 1] == '.'))
        --n;
    s[n] = 0;
    DropLeadingSpaces(s);
}

void TrimValue(char* s) {
    size_t n = strlen(s);
    while (n > 0 && s[n - 1] == ' ')
        --n;
    s[n] = 0;
    DropLeadingSpaces(s);
}

bool WalkerOpen(LineWalker* w, const char* text) {
    w->buffer = DupString(text);
    w->next = w->buffer;
    w->line = nullptr;
    w->lineNo = 0;
    return w->buffer != nullptr;
}

bool WalkerNext(LineWalker* w) {
    if (!w->next) return false;
    char* line = w->next;
    char* lf = strchr(line, '\n');
    if (lf) {
        *lf = 0;
        w->next = lf + 1;
    } else {
        w->next = nullptr;
    }
    TrimLine(line);
    w->line = line;
    ++w->lineNo;
    return true;
}

void WalkerClose(LineWalker* w) {
    MemFree(w->buffer);
    w->buffer = w->next = w->line = nullptr;
}

bool CopyKey(char key[kMaxPiece + 1], const char* line, const char* eq, bool trim) {
    int32_t n = int32_t(eq - line);
    bool cut = n > kMaxPiece;
    if (cut) n = kMaxPiece;
    memcpy(key, line, size_t(n));
    key[n] = 0;
    if (trim) TrimLine(key);
    return cut;
}

bool ReadFixedSection(LoadContext& ctx, const char* name, bool trimKey, LineHandler handler,
                      void* state) {
    char header[64];
    size_t len = strlen(name);
    if (len + 3 > sizeof header) return true; // no such section name is ever asked for
    header[0] = '[';
    memcpy(header + 1, name, len);
    header[len + 1] = ']';
    header[len + 2] = 0;

    LineWalker w;
    if (!WalkerOpen(&w, ctx.firm->text)) return false;
    enum { kBefore, kInside, kAfter, kRepeat } at = kBefore;
    bool ok = true;
    int32_t headerLine = 0, pairs = 0; // of the first occurrence
    while (ok && WalkerNext(&w)) {
        char* line = w.line;
        if (at == kInside || at == kRepeat) {
            if (line[0] == '[') {
                at = kAfter;
                if (!ctx.sink) break; // only the first occurrence is ever read
            } else {
                MarkConsumed(ctx, w.lineNo);
                if (at == kRepeat) continue;
                char* eq = strchr(line, '=');
                if (!eq) {
                    if (line[0]) Note(ctx, w.lineNo, kDiagNoEquals, line);
                    continue;
                }
                char key[kMaxPiece + 1];
                CopyKey(key, line, eq, trimKey); // each section judges the key's length
                ++pairs;
                ok = handler(ctx, state, w.lineNo, key, eq + 1);
                continue;
            }
        }
        if (strcmp(line, header) != 0) continue;
        MarkConsumed(ctx, w.lineNo);
        if (at == kBefore) {
            at = kInside;
            headerLine = w.lineNo;
        } else {
            // Reached only with a sink: a later occurrence is never read.
            Note(ctx, w.lineNo, kDiagRepeatedSection, header);
            at = kRepeat;
        }
    }
    WalkerClose(&w);
    if (ok && headerLine && pairs == 0) Note(ctx, headerLine, kDiagEmptySection, header);
    return ok;
}

} // namespace kesvar
