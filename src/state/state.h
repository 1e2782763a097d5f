// The process-wide state of the library, but for the memory hooks, which the allocation module
// below it keeps. Touched only under the library lock.
#ifndef KESVAR_STATE_STATE_H
#define KESVAR_STATE_STATE_H

#include "kesvar.h"
#include "index/hash_index.h"
#include "memory/memory.h"

namespace kesvar {

struct ClassEntry;
struct SecurityEntry;
struct FirmRecord;

// Market parameters in the order they are resolved.
enum ParamName { kOffer = 0, kBid = 1, kPrevPrice = 2, kLast = 3, kAccruedInt = 4 };

// The live row handles of one load of a firm: the firm record's handle `first`, then one for
// each client record in the order they were attached.
struct HandleRange {
    uint32_t first;
    int32_t count;
    FirmRecord* firm;
};

struct LibraryState {
    int32_t initialised = 0;
    int32_t interfaceVersion = 0;

    KRFindFirstMoneyLimitFunc findFirstMoneyLimit = nullptr;
    KRGetMoneyLimitFunc getMoneyLimit = nullptr;
    KRFindFirstSecLimitFunc findFirstSecLimit = nullptr;
    KRGetSecLimitFunc getSecLimit = nullptr;
    KRGetParamIdFunc getParamId = nullptr;
    KRGetParamValueFunc getParamValue = nullptr;

    int32_t paramIdCache[5] = {-1, -1, -1, -1, -1};

    Array<ClassEntry> classRegistry;
    Array<SecurityEntry> securityRegistry;
    int32_t anyFaceValueClass = 0;
    // The registry's lookups, each answering the first match in registration order.
    HashIndex classByCode;         // class code -> class
    HashIndex securityByClassCode; // (class, code) -> the class's first security of that code
    HashIndex securityByCode;      // code -> that first security, in every class that has one
    HashIndex securityById;        // (class id, security id) -> security
    uint32_t lastListedMark = 0;   // see NewListedMark

    Array<FirmRecord*> firmSettingsTable;

    // Live handle ranges sorted by first handle, and the last handle given.
    Array<HandleRange> handles;
    uint32_t lastHandle = 0;
};

// The state; constant-initialised, so no constructor runs at load.
extern LibraryState gState;

} // namespace kesvar

#endif
