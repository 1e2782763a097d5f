// The line grammar every section shares: trimming, the one pass that maps the sections, the
// reading of one line at a time, and the reading of a fixed-name section.
#include <string.h>

#include "platform/platform.h"
#include "settings/names.h"
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

namespace {

// The fixed-name sections: every section of names.h but the client blocks ("CL*...").
bool IsFixedSection(const SettingsSection& s) {
    return strncmp(s.name, "CL*", 3) != 0;
}
const int32_t kSectionCount = int32_t(sizeof kSettingsSections / sizeof kSettingsSections[0]);

// Index in kSettingsSections of the fixed section whose header is `line`, or -1.
int32_t FixedSectionOf(const char* line) {
    size_t n = strlen(line);
    if (n < 3 || line[0] != '[' || line[n - 1] != ']') return -1;
    for (int32_t i = 0; i < kSectionCount; ++i) {
        const char* name = kSettingsSections[i].name;
        if (IsFixedSection(kSettingsSections[i]) && strlen(name) == n - 2 &&
            memcmp(line + 1, name, n - 2) == 0)
            return i;
    }
    return -1;
}

// Length of the name between "[CL" and the first `tail`, or -1 when the line is no such header.
int32_t HeaderNameLength(const char* line, const char* tail) {
    if (strncmp(line, "[CL", 3) != 0) return -1;
    const char* end = strstr(line + 3, tail);
    return end ? int32_t(end - (line + 3)) : -1;
}

// Longest name of a template (a client section is named by its client code).
const int32_t kMaxTemplateName = 100;

// Start of the line after the one at `at` (past the text for the last line).
int32_t LineAfter(const LoadContext& ctx, int32_t at) {
    const char* lf =
        static_cast<const char*>(memchr(ctx.text + at, '\n', size_t(ctx.textLength - at)));
    return lf ? int32_t(lf - ctx.text) + 1 : ctx.textLength + 1;
}

// Upper-cases and (when asked) trims the n bytes at `from` into ctx.line.
LineResult LoadLine(LoadContext& ctx, const char* from, int32_t n, char** line, bool trim) {
    Array<char>& buf = ctx.line;
    if (n + 1 > buf.capacity) {
        // A fresh block of the exact size when a line is much longer than any before: the old
        // contents need no copy, and a text of one long line needs no more than its length.
        int64_t grown = int64_t(buf.capacity) + buf.capacity / 2;
        int32_t slots = grown > n + 1 ? int32_t(grown) : n + 1;
        ArrayFree(buf);
        if (!ArrayResize(buf, slots)) return kLineNoMemory;
    }
    memcpy(buf.items, from, size_t(n));
    buf.items[n] = 0;
    if (!platform::UpperCaseText(buf.items, uint32_t(n))) return kLineNoMemory;
    if (trim) TrimLine(buf.items);
    *line = buf.items;
    return kLineRead;
}

} // namespace

bool MapSections(LoadContext& ctx) {
    const char* text = ctx.text;
    ctx.lineCount = 0;
    for (int32_t at = 0, next; at <= ctx.textLength; at = next) {
        ++ctx.lineCount;
        next = LineAfter(ctx, at);
        const int32_t n = next - 1 - at; // the line without its LF
        // Only a line that starts with VOLUME in its first column counts, never the first.
        // Upper-casing never makes or unmakes a letter of it from another byte, nor a '[', a
        // space or an LF, so the raw bytes can say which lines to look at.
        if (ctx.lineCount > 1 && n >= 6 && (text[at] == 'V' || text[at] == 'v')) {
            char word[7];
            memcpy(word, text + at, 6);
            word[6] = 0;
            if (!platform::UpperCaseText(word, 6)) return false;
            if (strcmp(word, "VOLUME") == 0) ctx.firm->volumeFlag = 1;
        }
        int32_t first = at;
        while (first < at + n && text[first] == ' ')
            ++first;
        if (first == at + n || text[first] != '[') continue;

        char* line;
        if (LoadLine(ctx, text + at, n, &line, true) != kLineRead) return false;
        SectionMark* m = ArrayAppend(ctx.marks);
        if (!m) return false;
        m->at = at;
        m->lineNo = ctx.lineCount;
        m->fixed = int8_t(FixedSectionOf(line));
        m->client = 0;
        int32_t name = HeaderNameLength(line, "_MARGIN]");
        if (name >= 0) m->client |= name <= kMaxCode ? kClientHeader : kClientNameLong;
        name = HeaderNameLength(line, "_MARGIN_TEMPLATE]");
        if (name >= 0) m->client |= name <= kMaxTemplateName ? kTemplateHeader : kTemplateNameLong;
    }
    return true;
}

LineRange BodyOf(const LoadContext& ctx, int32_t mark) {
    const SectionMark& m = ctx.marks[mark];
    LineRange r;
    r.at = LineAfter(ctx, m.at);
    r.end = mark + 1 < ctx.marks.count ? ctx.marks[mark + 1].at : ctx.textLength + 1;
    r.lineNo = m.lineNo + 1;
    return r;
}

LineRange WholeText(const LoadContext& ctx) {
    LineRange r = {0, ctx.textLength + 1, 1};
    return r;
}

int32_t CountLines(const LoadContext& ctx, const LineRange& r) {
    int32_t lines = 0;
    for (int32_t at = r.at; at < r.end && at <= ctx.textLength; at = LineAfter(ctx, at))
        ++lines;
    return lines;
}

LineResult NextLine(LoadContext& ctx, LineRange& r, char** line, int32_t* lineNo, bool trim) {
    if (r.at >= r.end || r.at > ctx.textLength) return kNoMoreLines;
    int32_t next = LineAfter(ctx, r.at);
    LineResult got = LoadLine(ctx, ctx.text + r.at, next - 1 - r.at, line, trim);
    *lineNo = r.lineNo++;
    r.at = next;
    return got;
}

LineResult MarkLine(LoadContext& ctx, int32_t mark, char** line) {
    int32_t at = ctx.marks[mark].at;
    return LoadLine(ctx, ctx.text + at, LineAfter(ctx, at) - 1 - at, line, true);
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

void CheckKeyBlanks(LoadContext& ctx, int32_t line, const char* key) {
    if (!ctx.sink) return;
    for (const char* c = key; *c; ++c) {
        if (*c == '\t' || *c == ' ' || *c == '\v' || *c == '\f' || *c == '\r') {
            Note(ctx, line, kDiagBlankInKey, key,
                 *c == '\t'  ? "tab"
                 : *c == ' ' ? "space"
                             : "blank");
            return;
        }
    }
}

namespace {

// The fixed section of that name, and the mark of its first occurrence (-1 when none).
void FindFixedSection(const LoadContext& ctx, const char* name, int32_t* section, int32_t* first) {
    *section = -1;
    *first = -1;
    for (int32_t i = 0; i < kSectionCount && *section < 0; ++i)
        if (IsFixedSection(kSettingsSections[i]) && strcmp(kSettingsSections[i].name, name) == 0)
            *section = i;
    for (int32_t m = 0; *section >= 0 && m < ctx.marks.count && *first < 0; ++m)
        if (ctx.marks[m].fixed == *section) *first = m;
}

} // namespace

LineRange FixedSectionBody(const LoadContext& ctx, const char* name) {
    int32_t section, first;
    FindFixedSection(ctx, name, &section, &first);
    if (first < 0) return LineRange{0, 0, 0};
    return BodyOf(ctx, first);
}

bool ReadFixedSection(LoadContext& ctx, const char* name, bool trimKey, LineHandler handler,
                      void* state) {
    int32_t section, first;
    FindFixedSection(ctx, name, &section, &first);
    if (first < 0) return true;

    // Only the first occurrence is read.
    MarkConsumed(ctx, ctx.marks[first].lineNo);
    LineRange r = BodyOf(ctx, first);
    int32_t pairs = 0;
    char* line;
    int32_t lineNo;
    for (LineResult got; (got = NextLine(ctx, r, &line, &lineNo)) != kNoMoreLines;) {
        if (got == kLineNoMemory) return false;
        MarkConsumed(ctx, lineNo);
        char* eq = strchr(line, '=');
        if (!eq) {
            if (line[0]) Note(ctx, lineNo, kDiagNoEquals, line);
            continue;
        }
        char key[kMaxPiece + 1];
        CopyKey(key, line, eq, trimKey); // each section judges the key's length
        CheckKeyBlanks(ctx, lineNo, key);
        ++pairs;
        if (!handler(ctx, state, lineNo, key, eq + 1)) return false;
    }
    if (ctx.sink) {
        // A later occurrence is never read; its lines are accounted for all the same.
        char header[64];
        size_t len = strlen(name);
        header[0] = '[';
        memcpy(header + 1, name, len);
        header[len + 1] = ']';
        header[len + 2] = 0;
        for (int32_t m = first + 1; m < ctx.marks.count; ++m) {
            if (ctx.marks[m].fixed != section) continue;
            MarkConsumed(ctx, ctx.marks[m].lineNo);
            Note(ctx, ctx.marks[m].lineNo, kDiagRepeatedSection, header);
            LineRange repeat = BodyOf(ctx, m);
            for (int32_t n = repeat.lineNo, at = repeat.at; at < repeat.end && at <= ctx.textLength;
                 at = LineAfter(ctx, at), ++n)
                MarkConsumed(ctx, n);
        }
        if (pairs == 0) Note(ctx, ctx.marks[first].lineNo, kDiagEmptySection, header);
    }
    return true;
}

} // namespace kesvar
