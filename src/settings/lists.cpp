// The three security list sections and the entry builder that client sections share. Entries
// go to the firm's pools; an entry whose class is registered is resolved as it is read, so a
// listed security keeps its code only while the registry does not know it.
#include <string.h>

#include "text/strings.h"
#include "registry/registry.h"
#include "settings/reader.h"

namespace kesvar {

namespace {

// Pieces of a list value above this many are checked for repeats through a hash index.
const int32_t kScannedPieces = 16;

// Appends a code to the firm's code pool; its offset, or -1 on failure (pool as before).
int32_t PoolCode(FirmRecord* firm, const char* code) {
    int32_t n = int32_t(strlen(code)) + 1;
    int32_t at = firm->codes.count;
    char* p = ArrayAppendN(firm->codes, n);
    if (!p) return -1;
    memcpy(p, code, size_t(n));
    return at;
}

uint32_t PooledCodeHash(const void* firm, int32_t at) {
    return HashCode(static_cast<const FirmRecord*>(firm)->codes.items + at);
}

bool PooledCodeIs(const void* firm, int32_t at, const void* code) {
    return strcmp(static_cast<const FirmRecord*>(firm)->codes.items + at,
                  static_cast<const char*>(code)) == 0;
}

// The pool offset of a class code, each code kept once however many lines name it; -1 on
// failure.
int32_t PoolClassCode(LoadContext& ctx, const char* code) {
    FirmRecord* firm = ctx.firm;
    uint32_t h = HashCode(code);
    int32_t at = HashFind(ctx.classCodes, h, PooledCodeIs, firm, code);
    if (at >= 0) return at;
    if (!HashReserve(ctx.classCodes, ctx.classCodes.count + 1, PooledCodeHash, firm)) return -1;
    at = PoolCode(firm, code);
    if (at >= 0) HashInsert(ctx.classCodes, h, at, PooledCodeHash, firm);
    return at;
}

const char* CodeOf(const FirmRecord* firm, ListedSecurity s) {
    return s.ref >= 0 ? SecurityAt(s.ref)->sec.code : firm->codes.items + ~s.ref;
}

// One piece of a list value as the grammar reads it: up to the next ',' (or the end), cut to
// kMaxPiece characters, then trimmed of spaces, [*begin, *end). *p moves past the ','
// (null after the last piece); *cut tells whether the piece was cut. Reads without writing.
bool NextPiece(const char** p, const char** begin, const char** end, bool* cut) {
    if (!*p) return false;
    const char* s = *p;
    const char* comma = strchr(s, ',');
    const char* e = comma ? comma : s + strlen(s);
    *p = comma ? comma + 1 : nullptr;
    *cut = e - s > kMaxPiece;
    if (*cut) e = s + kMaxPiece;
    while (e > s && e[-1] == ' ')
        --e;
    while (s < e && *s == ' ')
        ++s;
    *begin = s;
    *end = e;
    return true;
}

// The pieces of the entry being built, for the check of repeated codes.
struct EntryPieces {
    const FirmRecord* firm;
    int32_t first; // the entry's first security
};

uint32_t PieceHash(const void* owner, int32_t k) {
    const EntryPieces& e = *static_cast<const EntryPieces*>(owner);
    return HashName(CodeOf(e.firm, e.firm->securities[e.first + k]));
}

bool PieceIs(const void* owner, int32_t k, const void* piece) {
    const EntryPieces& e = *static_cast<const EntryPieces*>(owner);
    return CompareNames(CodeOf(e.firm, e.firm->securities[e.first + k]),
                        static_cast<const char*>(piece)) == 0;
}

// Finds the pieces of one entry that repeat an earlier piece (equal under CompareNames). A short
// entry compares them one by one. A long one whose class is registered keeps a bit per
// security of the class for the pieces the class resolves: the text is upper-cased, so equal
// pieces are the same bytes and resolve alike, and the bits stay in cache where an index of a
// long list would not. Pieces that stay unresolved go to an index by text.
struct RepeatCheck {
    EntryPieces pieces;
    bool scan;
    int32_t classFirst; // with bits: the class's first security
    uint8_t* bits;
    HashIndex text;

    bool Open(const FirmRecord* firm, int32_t first, int32_t count, int32_t classIndex, bool all) {
        pieces.firm = firm;
        pieces.first = first;
        scan = count <= kScannedPieces;
        bits = nullptr;
        if (scan) return true;
        const ClassEntry* classEntry = classIndex >= 0 && !all ? ClassAt(classIndex) : nullptr;
        if (classEntry && classEntry->securityCount > 0 &&
            classEntry->securityCount / 64 <= count) {
            classFirst = classEntry->firstSecurity;
            uint32_t bytes = uint32_t(classEntry->securityCount + 7) / 8;
            bits = static_cast<uint8_t*>(MemAlloc(bytes));
            if (!bits) return false;
            memset(bits, 0, bytes);
            return true; // the index by text grows with the unresolved pieces alone
        }
        return HashReserve(text, count, PieceHash, &pieces);
    }

    // Whether the piece (resolved to `found`, or -1) repeats one of the `count` kept so far.
    bool Repeated(const char* piece, int32_t found, int32_t count) const {
        if (scan) {
            for (int32_t k = 0; k < count; ++k)
                if (PieceIs(&pieces, k, piece)) return true;
            return false;
        }
        if (bits && found >= 0) {
            int32_t at = found - classFirst;
            return (bits[at / 8] & (1 << (at % 8))) != 0;
        }
        return HashFind(text, HashName(piece), PieceIs, &pieces, piece) >= 0;
    }

    // Notes the piece kept at position k; false: no memory.
    bool Keep(const char* piece, int32_t found, int32_t k) {
        if (scan) return true;
        if (bits && found >= 0) {
            int32_t at = found - classFirst;
            bits[at / 8] = uint8_t(bits[at / 8] | (1 << (at % 8)));
            return true;
        }
        return HashInsert(text, HashName(piece), k, PieceHash, &pieces);
    }

    void Close() {
        MemFree(bits);
        HashFree(text);
    }
};

// Takes back the entry appended last, its securities and the codes pooled for them.
void DropLastEntry(FirmRecord* firm, int32_t codesAt) {
    ClassSecurityList& e = firm->entries[firm->entries.count - 1];
    firm->securities.count = e.firstSecurity;
    firm->entries.count--;
    firm->codes.count = codesAt;
}

// Lookups by code stop at a class's first entry in a list; only the actv sees later ones.
void ReportRepeatedClass(LoadContext& ctx, int32_t firstEntry, int32_t kind, const char* classCode,
                         int32_t line) {
    const FirmRecord* firm = ctx.firm;
    for (int32_t i = firstEntry; i < firm->entries.count; ++i) {
        const ClassSecurityList& e = firm->entries[i];
        if (e.kind == kind && strcmp(firm->codes.items + e.classCode, classCode) == 0) {
            Report(ctx.sink, line, kDiagRepeatedClass, classCode);
            return;
        }
    }
}

// A first look at the pieces of a value: how many there are at most, and whether "<ALL>" is
// one.
struct PieceCount {
    int32_t pieces;
    bool all;
};

PieceCount CountPieces(const char* value) {
    PieceCount count = {0, false};
    const char *p = value, *b, *e;
    bool cut;
    while (NextPiece(&p, &b, &e, &cut)) {
        ++count.pieces;
        count.all = count.all || (e - b == 5 && memcmp(b, "<ALL>", 5) == 0);
    }
    return count;
}

// Appends the entry, with room in the pool for every security it may get; its position in the
// firm's entries, or -1: no memory.
int32_t AppendEntry(FirmRecord* firm, int32_t classCodeAt, int32_t classIndex, int32_t kind,
                    PieceCount count) {
    ClassSecurityList probe = {};
    probe.allSecurities = count.all ? 1 : 0;
    int32_t room = count.pieces + (classIndex >= 0 ? ExpansionOf(probe, classIndex) : 0);
    if (!ArrayReserve(firm->entries, firm->entries.count + 1) ||
        firm->securities.count > INT32_MAX - room ||
        !ArrayReserve(firm->securities, firm->securities.count + room))
        return -1;
    ClassSecurityList* entry = ArrayAppend(firm->entries);
    entry->classIndex = -1;
    entry->classCode = classCodeAt;
    entry->firstSecurity = firm->securities.count;
    entry->allSecurities = probe.allSecurities;
    entry->kind = uint8_t(kind);
    return firm->entries.count - 1;
}

// One piece of a list value, cut out of the value in place.
struct Piece {
    char* text;
    bool cut, last, first; // cut to kMaxPiece; no ',' after it; the value's first
};

// The pieces go in batches: the registry lookups of a batch are made together.
const int32_t kBatch = 16;
struct PieceBatch {
    Piece pieces[kBatch];
    int32_t count;
    const char* codes[kBatch]; // the pieces looked up in the class, in order
    int32_t found[kBatch];     // what each lookup found, or -1
    int32_t lookups;
};

// Cuts the next pieces of the value from *next on (null after the last) and looks up those that
// may name a security of the class.
void NextBatch(char* value, const char** next, int32_t classIndex, bool all, PieceBatch* batch) {
    batch->count = 0;
    batch->lookups = 0;
    const char *b, *e;
    bool cut;
    while (batch->count < kBatch && NextPiece(next, &b, &e, &cut)) {
        // Cut in place: the value is read once, and this is its last reader.
        Piece& piece = batch->pieces[batch->count++];
        piece.text = value + (b - value);
        piece.text[e - b] = 0;
        piece.cut = cut;
        piece.last = *next == nullptr;
        piece.first = b == value;
        // Explicit codes of an "<ALL>" entry stay unresolved, ahead of the expansion.
        if (classIndex >= 0 && !all && e - b >= 1 && e - b <= kMaxCode)
            batch->codes[batch->lookups++] = piece.text;
    }
    FindSecuritiesByCode(batch->codes, batch->lookups, classIndex, batch->found);
}

// Adds a piece (`resolved`: the security it names, or -1) to the entry built at entryAt, or
// reports why it adds nothing. False: no memory.
bool AddPiece(LoadContext& ctx, int32_t entryAt, const Piece& piece, int32_t resolved,
              RepeatCheck& repeats, const char* classCode, int32_t line) {
    FirmRecord* firm = ctx.firm;
    const char* text = piece.text;
    const size_t length = strlen(text);
    if (piece.cut) Report(ctx.sink, line, kDiagPieceTooLong, text);
    if (length == 0) {
        // A key with nothing after '=' is a legitimate empty entry, not a stray comma.
        if (!piece.cut && (!piece.last || !piece.first))
            Report(ctx.sink, line, kDiagPieceEmpty, classCode);
        return true;
    }
    if (length > size_t(kMaxCode)) {
        if (!piece.cut) Report(ctx.sink, line, kDiagPieceTooLong, text);
        return true;
    }
    if (strcmp(text, "<ALL>") == 0) return true; // counted when the entry was appended
    ClassSecurityList& entry = firm->entries[entryAt];
    if (repeats.Repeated(text, resolved, entry.securityCount)) {
        Report(ctx.sink, line, kDiagPieceRepeated, text);
        return true;
    }
    ListedSecurity listed;
    listed.ref = resolved;
    if (resolved < 0) {
        const int32_t at = PoolCode(firm, text);
        if (at < 0) return false;
        listed.ref = ~at;
    }
    firm->securities.items[firm->securities.count++] = listed;
    const bool kept = repeats.Keep(text, resolved, entry.securityCount);
    ++entry.securityCount;
    return kept;
}

struct ListState {
    int32_t kind;
};

bool ListLine(LoadContext& ctx, void* state, int32_t line, char* key, char* value) {
    if (strlen(key) > size_t(kMaxCode)) {
        Note(ctx, line, kDiagKeyTooLong, key);
        return true;
    }
    const int32_t kind = static_cast<ListState*>(state)->kind;
    return AddClassSecurityList(ctx, ctx.firm, 0, kind, value, key, line);
}

} // namespace

int32_t ExpansionOf(const ClassSecurityList& e, int32_t classIndex) {
    if (!e.allSecurities) return 0;
    // The explicit codes may have to move to the end of the pool to stay ahead of it.
    return ClassAt(classIndex)->securityCount + e.securityCount;
}

void ResolveEntry(FirmRecord* firm, int32_t entry, int32_t classIndex) {
    ClassSecurityList& e = firm->entries[entry];
    Array<ListedSecurity>& pool = firm->securities;
    e.classIndex = classIndex;
    if (!e.allSecurities) {
        for (int32_t k = 0; k < e.securityCount; ++k) {
            ListedSecurity& s = pool[e.firstSecurity + k];
            if (s.ref >= 0) continue;
            int32_t found = FindSecurityByCode(firm->codes.items + ~s.ref, classIndex);
            if (found >= 0) s.ref = found;
        }
        return;
    }
    // "<ALL>": every security of the class after the explicit codes, which stay unresolved.
    const ClassEntry* classEntry = ClassAt(classIndex);
    if (classEntry->securityCount == 0) return;
    if (e.firstSecurity + e.securityCount != pool.count) {
        int32_t moved = pool.count;
        memcpy(&pool.items[moved], &pool.items[e.firstSecurity],
               sizeof(ListedSecurity) * size_t(e.securityCount));
        pool.count += e.securityCount;
        e.firstSecurity = moved;
    }
    for (int32_t k = 0; k < classEntry->securityCount; ++k)
        pool.items[pool.count + k].ref = classEntry->firstSecurity + k;
    pool.count += classEntry->securityCount;
    e.securityCount += classEntry->securityCount;
}

bool AddClassSecurityList(LoadContext& ctx, const FirmSettings* settings, int32_t firstEntry,
                          int32_t kind, char* value, const char* classCode, int32_t line) {
    FirmRecord* firm = ctx.firm;
    if (ctx.sink) ReportRepeatedClass(ctx, firstEntry, kind, classCode, line);
    const int32_t classCodeAt = PoolClassCode(ctx, classCode);
    if (classCodeAt < 0) return false;
    const int32_t codesAt = firm->codes.count;
    const PieceCount count = CountPieces(value);
    const int32_t classIndex = FindClassByCode(classCode);
    const int32_t entryAt = AppendEntry(firm, classCodeAt, classIndex, kind, count);
    if (entryAt < 0) return false;

    RepeatCheck repeats;
    memset(static_cast<void*>(&repeats), 0, sizeof repeats);
    bool ok = repeats.Open(firm, firm->entries[entryAt].firstSecurity, count.pieces, classIndex,
                           count.all);
    PieceBatch batch;
    for (const char* next = value; ok && next;) {
        NextBatch(value, &next, classIndex, count.all, &batch);
        for (int32_t i = 0, looked = 0; ok && i < batch.count; ++i) {
            const Piece& piece = batch.pieces[i];
            const bool lookedUp = looked < batch.lookups && batch.codes[looked] == piece.text;
            const int32_t resolved = lookedUp ? batch.found[looked++] : -1;
            ok = AddPiece(ctx, entryAt, piece, resolved, repeats, classCode, line);
        }
    }
    repeats.Close();
    if (!ok) {
        DropLastEntry(firm, codesAt);
        return false;
    }
    if (ctx.sink && ctx.sink->listEntry)
        ctx.sink->listEntry(ctx.sink->user, line, settings, &firm->entries[entryAt]);
    if (classIndex >= 0) ResolveEntry(firm, entryAt, classIndex);
    return true;
}

bool ParseSecurityListSection(LoadContext& ctx, const char* name, int32_t kind) {
    // The firm's lists come first in its pool, margin, asset and rest-short in turn.
    FirmRecord* firm = ctx.firm;
    const int32_t before = firm->entries.count;
    ListState state = {kind};
    if (!ReadFixedSection(ctx, name, true, ListLine, &state)) return false;
    firm->listCount[kind] = firm->entries.count - before;
    return true;
}

} // namespace kesvar
