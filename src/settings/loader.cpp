// The table of firm records, the loader that fills a record section by section, and the
// release of records.
#include <string.h>

#include "frame/handles.h"
#include "platform/platform.h"
#include "settings/reader.h"

namespace kesvar {

namespace {

void ReleaseLists(Array<ClassSecurityList>& list) {
    for (int32_t i = 0; i < list.count; ++i)
        ArrayFree(list[i].securities);
    ArrayFree(list);
}

void ReleaseLags(Array<ClientLag*>& lags) {
    for (int32_t i = 0; i < lags.count; ++i)
        MemFree(lags[i]);
    ArrayFree(lags);
}

void ReleaseString(char*& s) {
    MemFree(s);
    s = nullptr;
}

// Reports what no reader looked at: each stray line before the first '[' line, and each '['
// line that opens no known section once, for it and the lines under it. Also a byte-order
// mark, which hides the first line from every reader, and a text with nothing in it.
void ReportUnreadLines(LoadContext& ctx) {
    LineWalker w;
    if (!WalkerOpen(&w, ctx.firm->text)) return;
    bool underHeader = false, anyLine = false;
    while (WalkerNext(&w)) {
        const char* line = w.line;
        if (!line[0]) continue;
        anyLine = true;
        bool unread = !ctx.consumed[w.lineNo - 1];
        if (w.lineNo == 1 && ctx.byteOrderMark) {
            // The mark's three bytes are still there, upper-cased with the rest.
            const char* after = line;
            for (int32_t i = 0; i < 3 && *after; ++i)
                ++after;
            Report(ctx.sink, 1, kDiagByteOrderMark, after);
            underHeader = after[0] == '[';
        } else if (line[0] == '[') {
            if (unread) Report(ctx.sink, w.lineNo, kDiagUnknownSection, line);
            underHeader = true;
        } else if (unread && !underHeader) {
            Report(ctx.sink, w.lineNo, kDiagUnreadLine, line);
        }
    }
    WalkerClose(&w);
    if (!anyLine) Report(ctx.sink, 1, kDiagEmptyText, "");
}

// Every line that begins with VOLUME, whether it sets the flag or only looks as if it did.
void ReportVolumeLines(LoadContext& ctx) {
    int32_t line = 1;
    for (const char* p = ctx.firm->text; p; ++line) {
        const char* word = p;
        while (*word == ' ' || *word == '\t')
            ++word;
        if (strncmp(word, "VOLUME", 6) == 0) {
            if (word != p || line == 1) {
                Report(ctx.sink, line, kDiagVolumeIgnored, "VOLUME",
                       word != p ? "indented" : "first line");
            } else {
                Report(ctx.sink, line, kDiagVolumeLine, "VOLUME");
                MarkConsumed(ctx, line);
            }
        }
        p = strchr(p, '\n');
        if (p) ++p;
    }
}

bool ReadSections(LoadContext& ctx) {
    FirmSettings* r = ctx.firm;
    return ParseSecurityListSection(ctx, "LIMITALLOWEDSECURITY", &r->marginList) &&
           ParseSecurityListSection(ctx, "ASSETSECURITIES", &r->assetList) &&
           ParseSecurityListSection(ctx, "RESTSHORTSECURITIES", &r->restShortList) &&
           ParseGeneralSection(ctx) && ParseClientMarginSections(ctx) &&
           ParseClientMarginTemplates(ctx) && ParseClientLagSection(ctx) &&
           ParseSecurityWeightSection(ctx) && ParseBoardTagSection(ctx) &&
           ParseAdditionalBoards(ctx, AddLimit, "ADDLIMITBOARDS") &&
           ParseAdditionalBoards(ctx, AddRepo, "ADDREPOBOARDS") &&
           ParseAdditionalTradeAccounts(ctx, AddLimit, "ADDLIMITTRDACC") &&
           ParseAdditionalTradeAccounts(ctx, AddRepo, "ADDREPOTRDACC");
}

} // namespace

int32_t FindFirmSettings(const char* key) {
    const Array<FirmSettings*>& table = gState.firmSettingsTable;
    for (int32_t i = 0; i < table.count; ++i)
        if (strcmp(table[i]->firmId, key) == 0) return i;
    return -1;
}

int32_t LoadFirmSettings(const char* key, const char* text, DiagnosticSink* sink,
                         FirmSettings** loaded) {
    Array<FirmSettings*>& table = gState.firmSettingsTable;
    FirmSettings* r;
    // A key must fit firmId whole: a cut key would never be found again.
    if (strlen(key) >= sizeof r->firmId) return KR_ERR_ARGUMENT;
    int32_t at = FindFirmSettings(key);
    if (at < 0) {
        if (!ArrayReserve(table, table.count + 1) || (r = NewZeroed<FirmSettings>()) == nullptr) {
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

    LoadContext ctx = {r, sink, nullptr, 0, false};
    r->handle = IssueHandle(r);
    bool ok = r->handle != 0;
    if (ok) {
        CopyBounded(r->firmId, key, int32_t(sizeof r->firmId) - 1);
        size_t len = strlen(text);
        ok = len < 0xFFFFFFFEu && (r->text = DupString(text)) != nullptr &&
             platform::UpperCaseText(r->text, uint32_t(len + 1));
    }
    if (ok) {
        // Only a line that starts with VOLUME in its first column counts, never the first.
        r->volumeFlag = strstr(r->text, "\nVOLUME") ? 1 : 0;
        if (sink) {
            ctx.byteOrderMark = strncmp(text, "\xEF\xBB\xBF", 3) == 0;
            ctx.lineCount = 1;
            for (const char* p = r->text; *p; ++p)
                if (*p == '\n') ++ctx.lineCount;
            ctx.consumed = static_cast<uint8_t*>(MemAlloc(uint32_t(ctx.lineCount)));
            ok = ctx.consumed != nullptr;
            if (ok) memset(ctx.consumed, 0, size_t(ctx.lineCount));
        }
    }
    ok = ok && ReadSections(ctx);
    if (ok && sink) {
        ReportVolumeLines(ctx);
        ReportUnreadLines(ctx);
    }
    if (ctx.consumed) MemFree(ctx.consumed);
    if (!ok) {
        AbandonFirmSettings(r);
        return KR_ERR_NO_MEMORY;
    }
    *loaded = r;
    return KR_ERR_NONE;
}

void AbandonFirmSettings(FirmSettings* record) {
    Array<FirmSettings*>& table = gState.firmSettingsTable;
    int32_t at = 0;
    while (at < table.count && table[at] != record)
        ++at;
    ClearFirmSettings(record, true);
    if (at == table.count) return;
    memmove(&table.items[at], &table.items[at + 1],
            sizeof(FirmSettings*) * size_t(table.count - at - 1));
    table.count--;
    if (table.count == 0) ArrayFree(table);
}

void ClearFirmSettings(FirmSettings* record, bool release) {
    RetireHandle(record->handle);
    record->handle = 0;
    ReleaseLists(record->marginList);
    ReleaseLists(record->assetList);
    ReleaseLists(record->restShortList);
    for (int32_t i = 0; i < record->clients.count; ++i)
        ClearFirmSettings(record->clients[i], true);
    ArrayFree(record->clients);
    ReleaseLags(record->clientLags);
    ReleaseLags(record->clientLagPrefixes);
    ArrayFree(record->securityWeights);
    ReleaseString(record->text);
    ArrayFree(record->boardTags);
    ArrayFree(record->tradeAccounts);
    ArrayFree(record->classListIndex);
    ReleaseString(record->mainMarginClasses);
    ArrayFree(record->classOrder);
    if (release) MemFree(record);
}

void DropAllFirmSettings() {
    Array<FirmSettings*>& table = gState.firmSettingsTable;
    for (int32_t i = 0; i < table.count; ++i)
        ClearFirmSettings(table[i], true);
    ArrayFree(table);
    RetireAllHandles();
}

} // namespace kesvar
