// Client margin sections and templates: per-client records with their own lists. Sections
// are read before templates and the first record for a code is kept, so a client's own
// section wins over any template that lists it.
#include <string.h>

#include "frame/handles.h"
#include "settings/reader.h"

namespace kesvar {

namespace {

// Longest template name; a longer one makes the line no header.
const size_t kMaxTemplateName = 100;

FirmSettings* NewClientRecord(FirmSettings* firm) {
    FirmSettings* r = NewZeroed<FirmSettings>();
    if (!r) return nullptr;
    memcpy(r->firmId, firm->firmId, sizeof r->firmId);
    r->volumeFlag = firm->volumeFlag;
    r->parent = firm;
    return r;
}

// The name between "[CL" and the first `tail`, or null when the line is no such header.
const char* HeaderName(const char* line, const char* tail, size_t* length) {
    if (strncmp(line, "[CL", 3) != 0) return nullptr;
    const char* end = strstr(line + 3, tail);
    if (!end) return nullptr;
    *length = size_t(end - (line + 3));
    return line + 3;
}

void RestrictBuyLine(LoadContext& ctx, FirmSettings* r, int32_t line, const char* key,
                     const char* value) {
    if (r->restrictBuy != RestrictBuyUnset) {
        Note(ctx, line, kDiagRepeatedKey, key);
        return;
    }
    r->restrictBuy = ReadFlagValue(ctx, line, key, value) ? BuyRestricted : BuyNotRestricted;
}

// A class line; the key's suffix picks the list ("_ASSET" before "_RESTSHORT").
bool ClassLine(LoadContext& ctx, FirmSettings* r, int32_t line, char* key, char* value) {
    Array<ClassSecurityList>* list = &r->marginList;
    char* suffix = strstr(key, "_ASSET");
    if (suffix) {
        list = &r->assetList;
    } else if ((suffix = strstr(key, "_RESTSHORT")) != nullptr) {
        list = &r->restShortList;
    }
    if (suffix) *suffix = 0;
    if (strlen(key) > size_t(kMaxCode)) {
        Note(ctx, line, kDiagKeyTooLong, key);
        return true;
    }
    return AddClassSecurityList(list, value, key, ctx.sink, line);
}

// Splits a body line; false when it has no '=' (reported unless blank).
bool SplitLine(LoadContext& ctx, int32_t line, char* text, char key[kMaxPiece + 1], char** value) {
    char* eq = strchr(text, '=');
    if (!eq) {
        if (text[0]) Note(ctx, line, kDiagNoEquals, text);
        return false;
    }
    CopyKey(key, text, eq, true);
    *value = eq + 1;
    return true;
}

// A client margin section: its own record, attached when the section closes.
struct ClientSection {
    FirmSettings* record;
    int32_t headerLine;
    bool ignoreSeen;

    bool Open(LoadContext& ctx, const char* name, size_t n, int32_t line) {
        record = NewClientRecord(ctx.firm);
        if (!record) return false;
        memcpy(record->clientCode, name, n);
        record->clientCode[n] = 0;
        headerLine = line;
        ignoreSeen = false;
        return true;
    }

    bool Line(LoadContext& ctx, int32_t line, char* text) {
        char key[kMaxPiece + 1];
        char* value;
        if (!SplitLine(ctx, line, text, key, &value)) return true;
        if (strcmp(key, "RSTRNMBUY") == 0) {
            RestrictBuyLine(ctx, record, line, key, value);
        } else if (strcmp(key, "IGNORERESTSHORTSECURITY") == 0) {
            if (ignoreSeen) {
                Note(ctx, line, kDiagRepeatedKey, key);
            } else {
                record->ignoreRestShort = ReadFlagValue(ctx, line, key, value) ? 1 : 0;
                ignoreSeen = true;
            }
        } else {
            return ClassLine(ctx, record, line, key, value);
        }
        return true;
    }

    // The firm owns or has released the record afterwards, whatever the answer.
    bool Close(LoadContext& ctx) {
        FirmSettings* done = record;
        record = nullptr;
        return AttachClientRecord(ctx, done, headerLine);
    }
};

// A client margin template: a record of rules, copied for every client of its CLIENTS line
// when the template closes, then dropped.
struct ClientTemplate {
    FirmSettings* record;
    char* clients; // value of the first CLIENTS line, in the walker's copy of the text
    int32_t clientsLine;

    bool Open(LoadContext& ctx, const char*, size_t, int32_t line) {
        record = NewClientRecord(ctx.firm);
        clients = nullptr;
        clientsLine = line; // the header's, until a CLIENTS line comes
        return record != nullptr;
    }

    bool Line(LoadContext& ctx, int32_t line, char* text) {
        char key[kMaxPiece + 1];
        char* value;
        if (!SplitLine(ctx, line, text, key, &value)) return true;
        if (strcmp(key, "CLIENTS") == 0) {
            if (clients) {
                Note(ctx, line, kDiagRepeatedKey, key);
            } else {
                clients = value;
                clientsLine = line;
            }
        } else if (strcmp(key, "RSTRNMBUY") == 0) {
            RestrictBuyLine(ctx, record, line, key, value);
        } else if (strcmp(key, "IGNORERESTSHORTSECURITY") == 0) {
            // Taken as a class key, which its length drops; say what it really is.
            Note(ctx, line, kDiagUnknownKey, key, "CL*_MARGIN_TEMPLATE");
        } else {
            return ClassLine(ctx, record, line, key, value);
        }
        return true;
    }

    bool Close(LoadContext& ctx);
};

bool CopyList(Array<ClassSecurityList>& dst, const Array<ClassSecurityList>& src) {
    if (src.count == 0) return true;
    ClassSecurityList* d = ArrayAppendN(dst, src.count);
    if (!d) return false;
    for (int32_t i = 0; i < src.count; ++i) {
        memcpy(d[i].classCode, src[i].classCode, sizeof d[i].classCode);
        d[i].classIndex = src[i].classIndex;
        d[i].allSecurities = src[i].allSecurities;
        int32_t n = src[i].securities.count;
        if (n == 0) continue;
        ListedSecurity* s = ArrayAppendN(d[i].securities, n);
        if (!s) return false;
        memcpy(s, src[i].securities.items, sizeof(ListedSecurity) * size_t(n));
    }
    return true;
}

// A record of its own for one client of a template: every list and every entry's
// securities are new arrays.
FirmSettings* CopyTemplateRecord(const FirmSettings* t) {
    FirmSettings* c = NewClientRecord(t->parent);
    if (!c) return nullptr;
    c->restrictBuy = t->restrictBuy;
    if (!CopyList(c->marginList, t->marginList) || !CopyList(c->assetList, t->assetList) ||
        !CopyList(c->restShortList, t->restShortList)) {
        ClearFirmSettings(c, true);
        return nullptr;
    }
    return c;
}

// Makes one client record per usable piece of the client list, then drops the template.
bool ClientTemplate::Close(LoadContext& ctx) {
    if (!clients) Note(ctx, clientsLine, kDiagTemplateNoClients, "");
    bool ok = true;
    char* piece = clients;
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
            FirmSettings* c = CopyTemplateRecord(record);
            if (!c) {
                ok = false;
                break;
            }
            CopyBounded(c->clientCode, code, kMaxCode);
            if (!AttachClientRecord(ctx, c, clientsLine)) {
                ok = false;
                break;
            }
        }
        piece = comma ? comma + 1 : nullptr;
    }
    ClearFirmSettings(record, true);
    record = nullptr;
    clients = nullptr;
    return ok;
}

// One walk over the text for one kind of client block: a "[CL<name><tail>" header opens a
// block, its lines go to the block, the next '[' line or the end of the text closes it.
// Sections and templates each take a walk of their own, sections first.
template <class Block> bool ReadClientBlocks(LoadContext& ctx, const char* tail, size_t maxName) {
    LineWalker w;
    if (!WalkerOpen(&w, ctx.firm->text)) return false;
    Block block = {};
    bool open = false, ok = true;
    while (ok && WalkerNext(&w)) {
        if (open) {
            if (w.line[0] != '[') {
                MarkConsumed(ctx, w.lineNo);
                ok = block.Line(ctx, w.lineNo, w.line);
                continue;
            }
            // The '[' line closes the block and may open the next one.
            open = false;
            ok = block.Close(ctx);
            if (!ok) break;
        }
        size_t n;
        const char* name = HeaderName(w.line, tail, &n);
        if (!name) continue;
        MarkConsumed(ctx, w.lineNo);
        if (n > maxName) {
            Note(ctx, w.lineNo, kDiagNameTooLong, w.line);
            continue;
        }
        ok = open = block.Open(ctx, name, n, w.lineNo);
    }
    if (ok && open) ok = block.Close(ctx);
    if (block.record) ClearFirmSettings(block.record, true); // left over after a failure
    WalkerClose(&w);
    return ok;
}

} // namespace

bool AttachClientRecord(LoadContext& ctx, FirmSettings* client, int32_t line) {
    FirmSettings* firm = ctx.firm;
    for (int32_t i = 0; i < firm->clients.count; ++i) {
        if (strcmp(firm->clients[i]->clientCode, client->clientCode) == 0) {
            Note(ctx, line, kDiagClientDiscarded, client->clientCode);
            ClearFirmSettings(client, true);
            return true;
        }
    }
    FirmSettings** slot = nullptr;
    client->handle = IssueHandle(client);
    if (!client->handle || (slot = ArrayAppend(firm->clients)) == nullptr) {
        ClearFirmSettings(client, true);
        return false;
    }
    *slot = client;
    return true;
}

bool ParseClientMarginSections(LoadContext& ctx) {
    return ReadClientBlocks<ClientSection>(ctx, "_MARGIN]", size_t(kMaxCode));
}

bool ParseClientMarginTemplates(LoadContext& ctx) {
    return ReadClientBlocks<ClientTemplate>(ctx, "_MARGIN_TEMPLATE]", kMaxTemplateName);
}

} // namespace kesvar
