// Client margin sections and templates: per-client records with their own lists. Sections
// are read before templates and the first record for a code is kept, so a client's own
// section wins over any template that lists it.
#include <string.h>

#include "state/handles.h"
#include "index/sort.h"
#include "settings/reader.h"

namespace kesvar {

namespace {

// A client record of the firm, being read: its entries are the last ones of the firm's pool.
FirmSettings NewClientRecord(FirmRecord* firm) {
    FirmSettings settings;
    memset(&settings, 0, sizeof settings);
    settings.parent = firm;
    settings.firstEntry = firm->entries.count;
    return settings;
}

void RestrictBuyLine(LoadContext& ctx, FirmSettings* settings, int32_t line, const char* key,
                     const char* value) {
    if (settings->restrictBuy != RestrictBuyUnset) {
        Note(ctx, line, kDiagRepeatedKey, key);
        return;
    }
    settings->restrictBuy = ReadFlagValue(ctx, line, key, value) ? BuyRestricted : BuyNotRestricted;
}

// A class line; the key's suffix picks the list ("_ASSET" before "_RESTSHORT").
bool ClassLine(LoadContext& ctx, const FirmSettings* settings, int32_t line, char* key,
               char* value) {
    int32_t kind = kMarginList;
    char* suffix = strstr(key, "_ASSET");
    if (suffix) {
        kind = kAssetList;
    } else if ((suffix = strstr(key, "_RESTSHORT")) != nullptr) {
        kind = kRestShortList;
    }
    if (suffix) *suffix = 0;
    if (strlen(key) > size_t(kMaxCode)) {
        Note(ctx, line, kDiagKeyTooLong, key);
        return true;
    }
    return AddClassSecurityList(ctx, settings, settings->firstEntry, kind, value, key, line);
}

// Splits a body line; false when it has no '=' (reported unless blank).
bool SplitLine(LoadContext& ctx, int32_t line, char* text, char key[kMaxPiece + 1], char** value) {
    char* eq = strchr(text, '=');
    if (!eq) {
        if (text[0]) Note(ctx, line, kDiagNoEquals, text);
        return false;
    }
    CopyKey(key, text, eq, true);
    CheckKeyBlanks(ctx, line, key);
    *value = eq + 1;
    return true;
}

int CompareKinds(const void*, const void* a, const void* b) {
    return int(static_cast<const ClassSecurityList*>(a)->kind) -
           int(static_cast<const ClassSecurityList*>(b)->kind);
}

// Orders the record's entries (the last of the pool) margin, asset, rest-short, each list in
// the order of its lines, and counts them. False: no memory.
bool GroupByList(FirmRecord* firm, FirmSettings* settings) {
    ClassSecurityList* first = firm->entries.items + settings->firstEntry;
    const int32_t n = firm->entries.count - settings->firstEntry;
    bool sorted = true;
    for (int32_t i = 0; i < n; ++i) {
        if (i > 0 && first[i].kind < first[i - 1].kind) sorted = false;
        ++settings->listCount[first[i].kind];
    }
    if (sorted) return true;
    uint32_t bytes;
    void* scratch = nullptr;
    if (!ScratchFor(n, uint32_t(sizeof(ClassSecurityList)), &bytes) ||
        (scratch = MemAlloc(bytes)) == nullptr)
        return false;
    SortStable(first, n, uint32_t(sizeof(ClassSecurityList)), scratch, CompareKinds, nullptr);
    MemFree(scratch);
    return true;
}

// Gives back the entries and securities of a record that is not kept.
void DropRecordLists(FirmRecord* firm, const FirmSettings& settings, int32_t securitiesAt) {
    firm->entries.count = settings.firstEntry;
    firm->securities.count = securitiesAt;
}

// A client margin section: its own record, attached when the section closes.
struct ClientSection {
    FirmSettings settings;
    int32_t securitiesAt; // the security pool when the section opened
    int32_t headerLine;
    bool ignoreSeen;

    bool Open(LoadContext& ctx, const char* name, size_t n, int32_t line) {
        settings = NewClientRecord(ctx.firm);
        memcpy(settings.clientCode, name, n);
        settings.clientCode[n] = 0;
        securitiesAt = ctx.firm->securities.count;
        headerLine = line;
        ignoreSeen = false;
        return true;
    }

    bool Line(LoadContext& ctx, int32_t line, char* text) {
        char key[kMaxPiece + 1];
        char* value;
        if (!SplitLine(ctx, line, text, key, &value)) return true;
        if (strcmp(key, "RSTRNMBUY") == 0) {
            RestrictBuyLine(ctx, &settings, line, key, value);
        } else if (strcmp(key, "IGNORERESTSHORTSECURITY") == 0) {
            if (ignoreSeen) {
                Note(ctx, line, kDiagRepeatedKey, key);
            } else {
                settings.ignoreRestShort = ReadFlagValue(ctx, line, key, value) ? 1 : 0;
                ignoreSeen = true;
            }
        } else {
            return ClassLine(ctx, &settings, line, key, value);
        }
        return true;
    }

    bool Close(LoadContext& ctx) {
        if (!GroupByList(ctx.firm, &settings)) return false;
        AttachResult got = AttachClientRecord(ctx, settings, headerLine);
        if (got != kAttached) DropRecordLists(ctx.firm, settings, securitiesAt);
        return got != kAttachNoMemory;
    }

    void Abandon(LoadContext&) {}
};

// A client margin template: a record of rules for every client of its CLIENTS line. The
// clients share the template's lists: they are the same for all of them, and so are their
// links to the registry.
struct ClientTemplate {
    FirmSettings settings;
    int32_t securitiesAt;
    char* clients; // value of the first CLIENTS line (owned)
    int32_t clientsLine;

    bool Open(LoadContext& ctx, const char*, size_t, int32_t line) {
        settings = NewClientRecord(ctx.firm);
        securitiesAt = ctx.firm->securities.count;
        clients = nullptr;
        clientsLine = line; // the header's, until a CLIENTS line comes
        return true;
    }

    bool Line(LoadContext& ctx, int32_t line, char* text) {
        char key[kMaxPiece + 1];
        char* value;
        if (!SplitLine(ctx, line, text, key, &value)) return true;
        if (strcmp(key, "CLIENTS") == 0) {
            if (clients) {
                Note(ctx, line, kDiagRepeatedKey, key);
            } else {
                // The line is read afresh for the next line: keep the value.
                clients = DupString(value);
                if (!clients) return false;
                clientsLine = line;
            }
        } else if (strcmp(key, "RSTRNMBUY") == 0) {
            RestrictBuyLine(ctx, &settings, line, key, value);
        } else if (strcmp(key, "IGNORERESTSHORTSECURITY") == 0) {
            // Taken as a class key, which its length drops; say what it really is.
            Note(ctx, line, kDiagUnknownKey, key, "CL*_MARGIN_TEMPLATE");
        } else {
            return ClassLine(ctx, &settings, line, key, value);
        }
        return true;
    }

    bool Close(LoadContext& ctx);

    void Abandon(LoadContext&) {
        MemFree(clients);
        clients = nullptr;
    }
};

// Makes one client record per usable piece of the client list, then drops the template.
bool ClientTemplate::Close(LoadContext& ctx) {
    if (!clients) Note(ctx, clientsLine, kDiagTemplateNoClients, "");
    bool ok = GroupByList(ctx.firm, &settings);
    int32_t attached = 0;
    char* piece = ok ? clients : nullptr;
    while (piece) {
        char* comma = strchr(piece, ',');
        if (comma) *comma = 0;
        char code[kMaxPiece + 1];
        CopyBounded(code, piece, kMaxPiece);
        TrimLine(code);
        size_t n = strlen(code);
        if (n == 0 || n > size_t(kMaxCode) || code[n - 1] == '*') {
            Note(ctx, clientsLine, kDiagClientSkipped, code);
        } else {
            FirmSettings client = settings;
            memcpy(client.clientCode, code, n + 1);
            AttachResult got = AttachClientRecord(ctx, client, clientsLine);
            if (got == kAttachNoMemory) {
                ok = false;
                break;
            }
            if (got == kAttached) ++attached;
        }
        piece = comma ? comma + 1 : nullptr;
    }
    // A template that made no client leaves nothing behind.
    if (ok && attached == 0) DropRecordLists(ctx.firm, settings, securitiesAt);
    Abandon(ctx);
    return ok;
}

// Reads every client block of one kind: a mark with `header` opens a block, its lines go to
// the block, and the next mark (or the end of the text) closes it. Sections and templates each
// take a walk of their own, sections first.
template <class Block>
bool ReadClientBlocks(LoadContext& ctx, uint8_t header, uint8_t nameTooLong, const char* tail) {
    Block block = {};
    for (int32_t m = 0; m < ctx.marks.count; ++m) {
        const SectionMark& mark = ctx.marks[m];
        if (!(mark.client & (header | nameTooLong))) continue;
        MarkConsumed(ctx, mark.lineNo);
        char* line;
        if (MarkLine(ctx, m, &line) != kLineRead) return false;
        if (mark.client & nameTooLong) {
            Note(ctx, mark.lineNo, kDiagNameTooLong, line);
            continue;
        }
        const char* name = line + 3;
        const size_t n = size_t(strstr(name, tail) - name);
        if (!block.Open(ctx, name, n, mark.lineNo)) return false;
        LineRange body = BodyOf(ctx, m);
        int32_t lineNo;
        for (LineResult got; (got = NextLine(ctx, body, &line, &lineNo)) != kNoMoreLines;) {
            MarkConsumed(ctx, lineNo);
            if (got == kLineNoMemory || !block.Line(ctx, lineNo, line)) {
                block.Abandon(ctx);
                return false;
            }
        }
        // The '[' line that follows (or the end of the text) closes the block.
        if (!block.Close(ctx)) return false;
    }
    return true;
}

bool ClientCodeIs(const void* firm, int32_t client, const void* code) {
    return strcmp(static_cast<const FirmRecord*>(firm)->clients[client].clientCode,
                  static_cast<const char*>(code)) == 0;
}

uint32_t ClientHash(const void* firm, int32_t client) {
    return HashName(static_cast<const FirmRecord*>(firm)->clients[client].clientCode);
}

} // namespace

AttachResult AttachClientRecord(LoadContext& ctx, const FirmSettings& client, int32_t line) {
    FirmRecord* firm = ctx.firm;
    // Codes come from the upper-cased text, so the index that binding uses (which folds A-Z)
    // answers the exact comparison a duplicate needs.
    const uint32_t h = HashName(client.clientCode);
    if (HashFind(firm->clientIndex, h, ClientCodeIs, firm, client.clientCode) >= 0) {
        Note(ctx, line, kDiagClientDiscarded, client.clientCode);
        return kDiscarded;
    }
    const size_t n = strlen(client.clientCode);
    const bool prefix = n > 0 && client.clientCode[n - 1] == '*';
    const int32_t at = firm->clients.count;
    if (!ArrayReserve(firm->clients, at + 1) ||
        (prefix && !ArrayReserve(firm->prefixClients, firm->prefixClients.count + 1)) ||
        !HashInsert(firm->clientIndex, h, at, ClientHash, firm))
        return kAttachNoMemory;
    ExtendHandleRange(&firm->handle); // the client's handle follows the last one of the load
    firm->clients.items[at] = client;
    firm->clients.count = at + 1;
    if (prefix) firm->prefixClients.items[firm->prefixClients.count++] = at;
    return kAttached;
}

bool ParseClientMarginSections(LoadContext& ctx) {
    // Room for a record per header, so that the array of records is built without slack.
    int32_t headers = 0;
    for (int32_t m = 0; m < ctx.marks.count; ++m)
        if (ctx.marks[m].client & kClientHeader) ++headers;
    if (headers > 0 && (!ArrayReserve(ctx.firm->clients, headers) ||
                        !HashReserve(ctx.firm->clientIndex, headers, ClientHash, ctx.firm)))
        return false;
    return ReadClientBlocks<ClientSection>(ctx, kClientHeader, kClientNameLong, "_MARGIN]");
}

bool ParseClientMarginTemplates(LoadContext& ctx) {
    return ReadClientBlocks<ClientTemplate>(ctx, kTemplateHeader, kTemplateNameLong,
                                            "_MARGIN_TEMPLATE]");
}

} // namespace kesvar
