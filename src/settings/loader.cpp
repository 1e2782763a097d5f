// The table of firm records, the loader that fills a record section by section, and the
// release of records.
#include <string.h>

#include "state/handles.h"
#include "settings/reader.h"

namespace kesvar {

namespace {

// Reports what no reader looked at: each stray line before the first '[' line, and each '['
// line that opens no known section once, for it and the lines under it. Also a byte-order
// mark, which hides the first line from every reader, and a text with nothing in it.
bool ReportUnreadLines(LoadContext& ctx) {
    LineRange all = WholeText(ctx);
    bool underHeader = false, anyLine = false;
    char* line;
    int32_t lineNo;
    for (LineResult got; (got = NextLine(ctx, all, &line, &lineNo)) != kNoMoreLines;) {
        if (got == kLineNoMemory) return false;
        if (!line[0]) continue;
        anyLine = true;
        bool unread = !ctx.consumed[lineNo - 1];
        if (lineNo == 1 && ctx.byteOrderMark) {
            // The mark's three bytes are still there, upper-cased with the rest.
            const char* after = line;
            for (int32_t i = 0; i < 3 && *after; ++i)
                ++after;
            Report(ctx.sink, 1, kDiagByteOrderMark, after);
            underHeader = after[0] == '[';
        } else if (line[0] == '[') {
            if (unread) Report(ctx.sink, lineNo, kDiagUnknownSection, line);
            underHeader = true;
        } else if (unread && !underHeader) {
            Report(ctx.sink, lineNo, kDiagUnreadLine, line);
        }
    }
    if (!anyLine) Report(ctx.sink, 1, kDiagEmptyText, "");
    return true;
}

// Every line that begins with VOLUME, whether it sets the flag or only looks as if it did.
bool ReportVolumeLines(LoadContext& ctx) {
    LineRange all = WholeText(ctx);
    char* p;
    int32_t line;
    for (LineResult got; (got = NextLine(ctx, all, &p, &line, false)) != kNoMoreLines;) {
        if (got == kLineNoMemory) return false;
        const char* word = p;
        while (*word == ' ' || *word == '\t')
            ++word;
        if (strncmp(word, "VOLUME", 6) != 0) continue;
        if (word != p || line == 1) {
            Report(ctx.sink, line, kDiagVolumeIgnored, "VOLUME",
                   word != p ? "indented" : "first line");
        } else {
            Report(ctx.sink, line, kDiagVolumeLine, "VOLUME");
            MarkConsumed(ctx, line);
        }
    }
    return true;
}

bool ReadSections(LoadContext& ctx) {
    return ParseSecurityListSection(ctx, "LIMITALLOWEDSECURITY", kMarginList) &&
           ParseSecurityListSection(ctx, "ASSETSECURITIES", kAssetList) &&
           ParseSecurityListSection(ctx, "RESTSHORTSECURITIES", kRestShortList) &&
           ParseGeneralSection(ctx) && ParseClientMarginSections(ctx) &&
           ParseClientMarginTemplates(ctx) && ParseClientLagSection(ctx) &&
           ParseSecurityWeightSection(ctx) && ParseBoardTagSection(ctx) &&
           ParseAdditionalBoards(ctx, AddLimit, "ADDLIMITBOARDS") &&
           ParseAdditionalBoards(ctx, AddRepo, "ADDREPOBOARDS") &&
           ParseAdditionalTradeAccounts(ctx, AddLimit, "ADDLIMITTRDACC") &&
           ParseAdditionalTradeAccounts(ctx, AddRepo, "ADDREPOTRDACC");
}

void ReleaseIndexes(Array<ListIndex>& indexes) {
    for (int32_t i = 0; i < indexes.count; ++i) {
        HashFree(indexes[i].items);
        ArrayFree(indexes[i].allClasses);
    }
    ArrayFree(indexes);
}

void ReleaseString(char*& s) {
    MemFree(s);
    s = nullptr;
}

} // namespace

// The slot of the record loaded under `key`, or -1.
static int32_t FirmSlot(const char* key) {
    const Array<FirmRecord*>& table = gState.firmSettingsTable;
    for (int32_t i = 0; i < table.count; ++i)
        if (strcmp(table[i]->firmId, key) == 0) return i;
    return -1;
}

FirmRecord* FindFirm(const char* key) {
    const int32_t at = FirmSlot(key);
    return at < 0 ? nullptr : gState.firmSettingsTable[at];
}

namespace {

// Reads `text` into the zeroed record `r`, which takes the next handle range; false when
// memory ran out (the caller abandons the record).
bool ReadFirmRecord(FirmRecord* r, const char* key, const char* text, DiagnosticSink* sink) {
    LoadContext ctx;
    memset(static_cast<void*>(&ctx), 0, sizeof ctx);
    ctx.firm = r;
    ctx.sink = sink;
    ctx.text = text;
    r->handle = OpenHandleRange(r);
    size_t len = strlen(text);
    // Offsets into the text are 32-bit.
    bool ok = r->handle != 0 && len < size_t(INT32_MAX) - 1;
    if (ok) {
        CopyBounded(r->firmId, key, int32_t(sizeof r->firmId) - 1);
        ctx.textLength = int32_t(len);
        ok = MapSections(ctx);
    }
    if (ok && sink) {
        ctx.byteOrderMark = strncmp(text, "\xEF\xBB\xBF", 3) == 0;
        ctx.consumed = static_cast<uint8_t*>(MemAlloc(uint32_t(ctx.lineCount)));
        ok = ctx.consumed != nullptr;
        if (ok) memset(ctx.consumed, 0, size_t(ctx.lineCount));
    }
    ok = ok && ReadSections(ctx);
    if (ok && sink) ok = ReportVolumeLines(ctx) && ReportUnreadLines(ctx);
    MemFree(ctx.consumed);
    ArrayFree(ctx.marks);
    ArrayFree(ctx.line);
    HashFree(ctx.classCodes);
    // What was read is only read from now on: the pools give their slack back.
    return ok && ArrayShrinkToFit(r->entries) && ArrayShrinkToFit(r->securities) &&
           ArrayShrinkToFit(r->codes) && ArrayShrinkToFit(r->clients) &&
           ArrayShrinkToFit(r->prefixClients);
}

} // namespace

int32_t LoadFirmSettings(const char* key, const char* text, DiagnosticSink* sink,
                         FirmRecord** loaded) {
    Array<FirmRecord*>& table = gState.firmSettingsTable;
    FirmRecord* r;
    // A key must fit firmId whole: a cut key would never be found again.
    if (strlen(key) >= sizeof r->firmId) return KR_ERR_ARGUMENT;
    int32_t at = FirmSlot(key);
    if (at < 0) {
        if (!ArrayReserve(table, table.count + 1) || (r = NewZeroed<FirmRecord>()) == nullptr) {
            if (table.count == 0) ArrayFree(table);
            return KR_ERR_NO_MEMORY;
        }
        table[table.count++] = r;
    } else {
        // Reloading keeps the slot and the address; rows bound to the old contents go stale.
        r = table[at];
        ClearFirmSettings(r, false);
        memset(static_cast<void*>(r), 0, sizeof *r);
    }
    if (!ReadFirmRecord(r, key, text, sink)) {
        AbandonFirmSettings(r);
        return KR_ERR_NO_MEMORY;
    }
    *loaded = r;
    return KR_ERR_NONE;
}

int32_t LoadDetachedSettings(const char* text, DiagnosticSink* sink, FirmRecord** loaded) {
    FirmRecord* r = NewZeroed<FirmRecord>();
    if (!r) return KR_ERR_NO_MEMORY;
    if (!ReadFirmRecord(r, "", text, sink)) {
        ClearFirmSettings(r, true);
        return KR_ERR_NO_MEMORY;
    }
    *loaded = r;
    return KR_ERR_NONE;
}

void AbandonFirmSettings(FirmRecord* record) {
    Array<FirmRecord*>& table = gState.firmSettingsTable;
    int32_t at = 0;
    while (at < table.count && table[at] != record)
        ++at;
    ClearFirmSettings(record, true);
    if (at == table.count) return;
    memmove(&table.items[at], &table.items[at + 1],
            sizeof(FirmRecord*) * size_t(table.count - at - 1));
    table.count--;
    if (table.count == 0) ArrayFree(table);
}

void ClearFirmSettings(FirmRecord* record, bool release) {
    RetireHandleRange(record->handle);
    record->handle = 0;
    ArrayFree(record->clients);
    HashFree(record->clientIndex);
    ArrayFree(record->prefixClients);
    ArrayFree(record->entries);
    ArrayFree(record->securities);
    ArrayFree(record->codes);
    ArrayFree(record->pending);
    ReleaseIndexes(record->listIndexes);
    ArrayFree(record->clientLags);
    ArrayFree(record->clientLagPrefixes);
    ArrayFree(record->securityWeights);
    HashFree(record->weightIndex);
    ArrayFree(record->boardTags);
    ArrayFree(record->tradeAccounts);
    ReleaseString(record->mainMarginClasses);
    ArrayFree(record->classTextPos);
    if (release) MemFree(record);
}

void DropAllFirmSettings() {
    Array<FirmRecord*>& table = gState.firmSettingsTable;
    for (int32_t i = 0; i < table.count; ++i)
        ClearFirmSettings(table[i], true);
    ArrayFree(table);
    RetireAllHandles();
}

} // namespace kesvar
