// The three security list sections and the entry builder that client sections share. Entries
// are left unresolved here; the links to the registry are made once the whole text is read.
#include <string.h>

#include "frame/strings.h"
#include "settings/reader.h"

namespace kesvar {

static void DropLastEntry(Array<ClassSecurityList>* list) {
    ClassSecurityList& e = (*list)[list->count - 1];
    ArrayFree(e.securities);
    list->count--;
}

bool AddClassSecurityList(Array<ClassSecurityList>* list, char* value, const char* classCode,
                          DiagnosticSink* sink, int32_t line) {
    if (sink) {
        // Lookups by code stop at a class's first entry; only the actv sees later ones.
        for (int32_t i = 0; i < list->count; ++i) {
            if (strcmp((*list)[i].classCode, classCode) == 0) {
                Report(sink, line, kDiagRepeatedClass, classCode);
                break;
            }
        }
    }
    ClassSecurityList* entry = ArrayAppend(*list);
    if (!entry) return false;
    CopyBounded(entry->classCode, classCode, kMaxCode);
    entry->classIndex = -1;

    char* piece = value;
    for (;;) {
        char* comma = strchr(piece, ',');
        if (comma) *comma = 0;
        bool cut = strlen(piece) > size_t(kMaxPiece);
        if (cut) piece[kMaxPiece] = 0;
        TrimValue(piece);
        size_t n = strlen(piece);
        if (cut) Report(sink, line, kDiagPieceTooLong, piece);
        if (n == 0) {
            // A key with nothing after '=' is a legitimate empty entry, not a stray comma.
            if (!cut && (comma || piece != value)) Report(sink, line, kDiagPieceEmpty, classCode);
        } else if (n > size_t(kMaxCode)) {
            if (!cut) Report(sink, line, kDiagPieceTooLong, piece);
        } else if (strcmp(piece, "<ALL>") == 0) {
            entry->allSecurities = 1;
        } else {
            bool repeated = false;
            for (int32_t i = 0; i < entry->securities.count && !repeated; ++i)
                repeated = CompareNames(entry->securities[i].secCode, piece) == 0;
            if (repeated) {
                Report(sink, line, kDiagPieceRepeated, piece);
            } else {
                ListedSecurity* s = ArrayAppend(entry->securities);
                if (!s) {
                    DropLastEntry(list);
                    return false;
                }
                CopyBounded(s->secCode, piece, kMaxCode);
                s->secIndex = -1;
            }
        }
        if (!comma) break;
        piece = comma + 1;
    }

    if (sink && sink->listEntry) sink->listEntry(sink->user, line, entry);
    return true;
}

static bool ListLine(LoadContext& ctx, void* state, int32_t line, char* key, char* value) {
    if (strlen(key) > size_t(kMaxCode)) {
        Note(ctx, line, kDiagKeyTooLong, key);
        return true;
    }
    return AddClassSecurityList(static_cast<Array<ClassSecurityList>*>(state), value, key, ctx.sink,
                                line);
}

bool ParseSecurityListSection(LoadContext& ctx, const char* name, Array<ClassSecurityList>* list) {
    return ReadFixedSection(ctx, name, true, ListLine, list);
}

} // namespace kesvar
