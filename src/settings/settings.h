// A firm's settings: the record read from its settings text, the table of records, and the
// loader. A client margin record is the common part of a firm record and points back to it;
// everything only a firm has lives in the firm record alone, and the lists of the firm and of
// all its clients share the firm's pools, so a client record costs little more than what it
// holds.
#ifndef KESVAR_SETTINGS_SETTINGS_H
#define KESVAR_SETTINGS_SETTINGS_H

#include "state/state.h"
#include "text/strings.h"
#include "settings/diagnostics.h"

namespace kesvar {

// How a board tag or trade account counts: an ordinary one, not at all (BoardKind's answer for a
// tag the firm does not list, when it lists any), or for the additional limits or repo.
enum ListKind { NotCounted = 0, Ordinary = 1, AddLimit = 2, AddRepo = 3 };

// A record's restrictBuy as the loader stores it. Unset in a client record leaves the firm's
// switch in force.
enum RestrictBuy { RestrictBuyUnset = 0, BuyRestricted = 1, BuyNotRestricted = 2 };

// The three security lists of a record, in the order their entries follow each other in the
// firm's pool.
enum SecurityListKind { kMarginList = 0, kAssetList = 1, kRestShortList = 2, kListKinds = 3 };

// A security of a list entry. Once resolved it is the registry index of the security, whose
// registry code is the code the list gave; otherwise the code itself waits in the firm's code
// pool (for its class to be registered, or to be handed to the host as written).
struct ListedSecurity {
    int32_t ref; // >= 0: registry index; < 0: ~offset of the code in the firm's code pool
};

// One class line of a security list: the class and its securities, in the firm's pools.
struct ClassSecurityList {
    int32_t classIndex;    // -1 until resolved
    int32_t classCode;     // offset of the class code in the firm's code pool
    int32_t firstSecurity; // the entry's securities in the firm's security pool
    int32_t securityCount;
    uint8_t allSecurities; // the line held "<ALL>"
    uint8_t kind;          // a SecurityListKind: the list the line belongs to
};

struct ClientLag {
    char clientCode[kCodeSize]; // without the '*' of a prefix
    int8_t lag;
};

struct SecurityWeight {
    double shortWeight;
    double longWeight;
    char secCode[kCodeSize];
};

struct BoardTag {
    char tag[kTagSize];
    int32_t kind;
};

struct TradeAccount {
    char account[kCodeSize];
    int32_t kind;
};

// What a row binds to: a firm's own record or one of its client records. The entries of its
// three lists follow each other in the firm's pool from firstEntry: margin, asset, rest-short.
struct FirmSettings {
    FirmSettings* parent; // the firm's record in a client record; null in the firm's own
    int32_t firstEntry;
    int32_t listCount[kListKinds];
    char clientCode[kCodeSize]; // the client code or prefix ("AB*") of a client record; empty for a
                                // firm
    int8_t restrictBuy;         // a RestrictBuy value
    uint8_t ignoreRestShort;
};

// The lookups of one long security list (one with "<ALL>" or more than kScanLimit securities
// or entries); shorter lists are scanned. Template clients share their lists, and so the index.
// One table serves both lookups: every security the list names, and the expansion of the first
// "<ALL>" entry of each class, filed under its registry code. By code, the answer is among the
// items of that code; by registry index, the security's own code leads to it.
struct ListIndex {
    int32_t firstEntry; // the list: its entries in the firm's pool
    int32_t entryCount;
    HashIndex items;           // ListItem values, hashed by ListItemHash
    Array<int32_t> allClasses; // the classes of resolved "<ALL>" entries, ascending
};

// An item of a ListIndex: a registry index, whether the security is in the first entry of its
// class in the list (only those answer a lookup by code), and whether another such security
// has the same code (then the firm's class order chooses; otherwise a lookup by code stops at
// the first match).
enum ListItemFlags { kFirstOfClass = 1, kCodeShared = 2 };
inline int32_t ListItem(int32_t secIndex, int32_t flags) {
    return secIndex * 4 + flags;
}
inline int32_t ItemSecurity(int32_t item) {
    return item >> 2;
}
inline int32_t ItemFlags(int32_t item) {
    return item & 3;
}
inline uint32_t ListItemHash(const char* code) {
    return HashCode(code);
}

// Lists up to this many securities and entries are scanned instead of indexed.
const int32_t kScanLimit = 8;

// A firm: its own record, what only a firm has, and the pools of every list of the firm and of
// its clients.
struct FirmRecord : FirmSettings {
    char firmId[kCodeSize];
    int8_t volumeFlag;
    uint8_t checkMaxCredit;
    uint8_t limitsInLots;
    int32_t creditLag;
    uint32_t handle; // row-binding handle; its client records take the ones after it
    char* mainMarginClasses;

    // By registry index: where MAINMARGINCLASSES names the class, or -1. The firm's class
    // order follows from it (ClassBefore of links.h).
    Array<int32_t> classTextPos;

    Array<FirmSettings> clients;  // in attach order
    HashIndex clientIndex;        // every client record by code (A-Z folded)
    Array<int32_t> prefixClients; // client records named "X*", in attach order

    Array<ClassSecurityList> entries; // every list entry of the firm and its clients
    Array<ListedSecurity> securities;
    Array<char> codes;            // class codes and codes of unresolved securities
    Array<int32_t> pending;       // unresolved entries, by class code: they wait for their class
    Array<ListIndex> listIndexes; // by first entry

    Array<ClientLag> clientLags;        // sorted
    Array<ClientLag> clientLagPrefixes; // sorted
    Array<SecurityWeight> securityWeights;
    HashIndex weightIndex; // code -> the first weight of the code (matched by WeightIs)
    Array<BoardTag> boardTags;
    Array<TradeAccount> tradeAccounts;
};

// The firm record at the top of the parent chain.
inline const FirmRecord* FirmOf(const FirmSettings* settings) {
    return static_cast<const FirmRecord*>(settings->parent ? settings->parent : settings);
}
inline FirmRecord* FirmOf(FirmSettings* settings) {
    return static_cast<FirmRecord*>(settings->parent ? settings->parent : settings);
}

// A record's list of one kind: its entries, in list order.
struct SecurityList {
    const ClassSecurityList* entries;
    int32_t count;
    int32_t firstEntry; // position of the first entry in the firm's pool
};
SecurityList ListOf(const FirmSettings* settings, int32_t kind);
inline const ListedSecurity* SecuritiesOf(const FirmSettings* settings,
                                          const ClassSecurityList& e) {
    return FirmOf(settings)->securities.items + e.firstSecurity;
}
inline int32_t SecIndexOf(ListedSecurity s) {
    return s.ref >= 0 ? s.ref : -1;
}
inline const char* ClassCodeOf(const FirmSettings* settings, const ClassSecurityList& e) {
    return FirmOf(settings)->codes.items + e.classCode;
}
// The code of a listed security as the host receives it: cut to 15 characters.
void ListedCode(const FirmSettings* settings, ListedSecurity s, char out[kHostCodeSize]);

// Binds an entry to class `classIndex`: explicit codes to their securities, "<ALL>" to every
// security of the class (after the explicit codes, which stay unresolved). The security pool must
// have room for ExpansionOf more securities.
void ResolveEntry(FirmRecord* firm, int32_t entry, int32_t classIndex);
int32_t ExpansionOf(const ClassSecurityList& e, int32_t classIndex);

// Row handles of the records.
uint32_t HandleOf(const FirmSettings* settings);
// The live record of a handle, or null for 0 and for stale handles.
FirmSettings* ResolveHandle(uint32_t handle);

// Reads a firm's settings text into its record, created or refilled (rows bound to the old
// contents go stale). Entries whose class is registered are resolved as they are read; the
// others wait for it. KR_ERR_NONE with *loaded set, KR_ERR_NO_MEMORY with no record left for
// the firm, or KR_ERR_ARGUMENT for a key longer than firmId holds (nothing changed). `sink`
// receives what the loader skipped or changed; the library passes null.
int32_t LoadFirmSettings(const char* key, const char* text, DiagnosticSink* sink,
                         FirmRecord** loaded);
// The same into a record of its own, outside the table: no firm's record changes. Released
// with ClearFirmSettings(record, true).
int32_t LoadDetachedSettings(const char* text, DiagnosticSink* sink, FirmRecord** loaded);
// Drops a firm record and its table slot, as if the firm had never been loaded.
void AbandonFirmSettings(FirmRecord* record);
// The firm table: the record loaded under `key` (null when none), and every record in turn.
FirmRecord* FindFirm(const char* key);
inline int32_t FirmCount() {
    return gState.firmSettingsTable.count;
}
inline FirmRecord* FirmAt(int32_t i) {
    return gState.firmSettingsTable[i];
}
void ClearFirmSettings(FirmRecord* record, bool release);
void DropAllFirmSettings();

// Binary search over code-first entries sorted by `compare`: index of an entry that compares
// equal to the key, or -1. The probe order is fixed: with several equal entries the first one
// probed wins.
typedef int (*CodeCompare)(const char* key, const ClientLag* entry);
int32_t FindSortedCode(const char* key, const ClientLag* entries, int32_t count,
                       CodeCompare compare);

// Lookups of a bound record's firm-wide settings. Board tags, trade accounts, weights and
// lags always live on the firm record, also when a client record is bound.
int32_t BoardKind(const FirmSettings* settings, const char* tag); // NotCounted: does not count
// The account and weight lookups are made for every position of a row: a firm without such
// lines is answered inline, the others by the search.
int32_t ListedAccountKind(const FirmRecord* firm, const char* account);
void ListedWeights(const FirmRecord* firm, const char* secCode, double* longWeight,
                   double* shortWeight);
inline int32_t AccountKind(const FirmSettings* settings,
                           const char* account) { // Ordinary when not listed
    const FirmRecord* firm = FirmOf(settings);
    return firm->tradeAccounts.count == 0 ? int32_t(Ordinary) : ListedAccountKind(firm, account);
}
inline void WeightsOf(const FirmSettings* settings, const char* secCode, double* longWeight,
                      double* shortWeight) {
    *longWeight = 1.0;
    *shortWeight = 1.0;
    if (settings && FirmOf(settings)->securityWeights.count != 0)
        ListedWeights(FirmOf(settings), secCode, longWeight, shortWeight);
}
// Whether security weight i of `firm` (a FirmRecord) has the code `code`: weightIndex's match.
bool WeightIs(const void* firm, int32_t i, const void* code);
int32_t ClientCreditLag(const FirmSettings* settings, const char* clientCode);
// The client record a row's client code binds to (exact code, else the first prefix record in
// attach order), or the firm record itself.
const FirmSettings* PickClientRecord(const FirmRecord* firm, const char* clientCode);

// Line tools, in place on NUL-terminated strings.
void TrimLine(char* s);
void TrimValue(char* s);

} // namespace kesvar

#endif
