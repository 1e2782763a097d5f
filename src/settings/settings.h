// A firm's settings: the record read from its settings text, the table of records, and the
// loader. Client margin records share the shape of the firm record and point back to it.
#ifndef KESVAR_SETTINGS_SETTINGS_H
#define KESVAR_SETTINGS_SETTINGS_H

#include "frame/state.h"
#include "frame/strings.h"
#include "settings/diagnostics.h"

namespace kesvar {

// How a board tag or trade account counts. NotListed is BoardKind's answer for a tag the firm
// does not list: money on such a board does not count at all.
enum ListKind { NotListed = 0, Listed = 1, AddLimit = 2, AddRepo = 3 };

// A record's restrictBuy as the loader stores it. Unset in a client record leaves the firm's
// switch in force.
enum RestrictBuy { RestrictBuyUnset = 0, BuyRestricted = 1, BuyNotRestricted = 2 };

struct ListedSecurity {
    char secCode[16];
    int32_t secIndex; // -1 until resolved
};

struct ClassSecurityList {
    char classCode[16];
    int32_t classIndex; // -1 until resolved
    uint8_t allSecurities;
    Array<ListedSecurity> securities; // securities.count is the entry's securityCount
};

struct ClassListIndex {
    int32_t marginEntry;
    int32_t assetEntry;
};

struct ClientLag {
    char clientCode[16];
    int32_t lag;
};

struct SecurityWeight {
    char secCode[16];
    double shortWeight;
    double longWeight;
};

struct BoardTag {
    char tag[8];
    int32_t kind;
};

struct TradeAccount {
    char account[16];
    int32_t kind;
};

struct FirmSettings {
    char* text; // upper-cased settings text; null in client records
    char firmId[13];
    int8_t volumeFlag;
    int8_t restrictBuy; // a RestrictBuy value
    uint8_t checkMaxCredit;
    uint8_t limitsInLots;
    uint8_t ignoreRestShort;
    char* mainMarginClasses;
    Array<int32_t> classOrder;
    Array<ClassListIndex> classListIndex;
    Array<ClassSecurityList> marginList;
    Array<ClassSecurityList> assetList;
    Array<ClassSecurityList> restShortList;
    char clientCode[16];
    FirmSettings* parent;
    Array<FirmSettings*> clients;
    Array<ClientLag*> clientLags;        // storage grows in steps of 50 slots
    Array<ClientLag*> clientLagPrefixes; // storage grows in steps of 50 slots
    Array<SecurityWeight> securityWeights;
    int32_t creditLag;
    Array<BoardTag> boardTags;
    Array<TradeAccount> tradeAccounts;
    uint32_t handle; // row-binding handle; fresh for every record and every reload
};

// The firm record at the top of the parent chain.
inline const FirmSettings* FirmOf(const FirmSettings* r) {
    return r->parent ? r->parent : r;
}

// Reads a firm's settings text into its record, created or refilled (rows bound to the old
// contents go stale), with every list entry still unresolved. KR_ERR_NONE with *loaded set,
// or KR_ERR_NO_MEMORY with no record left for the firm. The key fits firmId (checked by the
// caller). `sink` receives what the loader skipped or changed; the library passes null.
int32_t LoadFirmSettings(const char* key, const char* text, DiagnosticSink* sink,
                         FirmSettings** loaded);
// Drops a firm record and its table slot, as if the firm had never been loaded.
void AbandonFirmSettings(FirmSettings* record);
int32_t FindFirmSettings(const char* key);
void ClearFirmSettings(FirmSettings* record, bool release);
void DropAllFirmSettings();

// Security list entries (also used by client margin sections and templates).
// AddClassSecurityList appends an unresolved entry for `classCode` built from `value` (the
// text after '=', cut in place); false on allocation failure (list as before).
bool AddClassSecurityList(Array<ClassSecurityList>* list, char* value, const char* classCode,
                          DiagnosticSink* sink, int32_t line);

// Binary search over code-first entries sorted by `compare`: index of an entry that compares
// equal to the key, or -1. *insertAt (when non-null) receives the position that keeps the
// array sorted. The probe order is fixed: with several equal entries the first one probed wins.
typedef int (*CodeCompare)(const char* key, const ClientLag* entry);
int32_t FindSortedCode(const char* key, ClientLag* const* entries, int32_t count,
                       CodeCompare compare, int32_t* insertAt);

// Lookups of a bound record's firm-wide settings. Board tags, trade accounts, weights and
// lags always live on the firm record, also when a client record is bound.
int32_t BoardKind(const FirmSettings* r, const char* tag);       // NotListed: does not count
int32_t AccountKind(const FirmSettings* r, const char* account); // Listed when not listed
void WeightsOf(const FirmSettings* r, const char* secCode, double* longWeight, double* shortWeight);
int32_t ClientCreditLag(const FirmSettings* record, const char* clientCode);

// Line tools, in place on NUL-terminated strings.
void TrimLine(char* s);
void TrimValue(char* s);

} // namespace kesvar

#endif
