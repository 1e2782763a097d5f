/**
 * @file kesvar.h
 * @brief Kesvar margin-lending calculator: the whole C interface of the library.
 *
 * The host (a trading terminal) installs its memory hooks and callbacks, initialises the
 * library once, registers instrument classes, hands over one settings text per firm and then
 * asks for margin figures through request records that it owns.
 *
 * Every export returns a 32-bit result (1 for success or "yes", 0 otherwise, with the
 * exceptions noted on KRAddClass, KRIsLimitsInLots, KRGetNeedClassSecIDs and
 * KRIsBoardTagApplicable) and leaves a code (KR_ERR_...) in the calling thread's last-error
 * value, which KRGetLastError() returns (and GetLastError() on Windows).
 *
 * Threading: the library serves one call at a time; any thread may call. Hooks and callbacks
 * run on the calling thread while the library's lock is held and must not call back into the
 * library.
 *
 * All records are byte-packed and little-endian; strings are NUL-terminated single-byte
 * strings in fixed-width fields.
 */
#ifndef KESVAR_H
#define KESVAR_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/** @brief Calling convention of every export and every host function type. */
#if defined(_WIN32) && (defined(_M_IX86) || defined(__i386__))
#define KR_CALL __stdcall
#else
#define KR_CALL
#endif

/** @brief Declaration decoration of the exports (visibility or DLL import). */
#if defined(KESVAR_BUILD)
#if defined(_WIN32)
#define KR_API
#else
#define KR_API __attribute__((visibility("default")))
#endif
#elif defined(_WIN32) && !defined(KESVAR_STATIC)
#define KR_API __declspec(dllimport)
#else
#define KR_API
#endif

/** @cond INTERNAL */
#if defined(__cplusplus)
#define KR_STATIC_ASSERT(cond, name) static_assert(cond, #name)
#elif defined(__STDC_VERSION__) && __STDC_VERSION__ >= 201112L
#define KR_STATIC_ASSERT(cond, name) _Static_assert(cond, #name)
#else
#define KR_STATIC_ASSERT(cond, name) typedef char kr_static_assert_##name[(cond) ? 1 : -1]
#endif
/** @endcond */

/** @name Last-error codes
 *  Left in the calling thread's last-error value by every export.
 *  @{ */
#define KR_ERR_NONE 0          /**< Success, or a plain "no" answer. */
#define KR_ERR_STATE 1         /**< Not initialised yet, or already initialised (setters, init). */
#define KR_ERR_ARGUMENT 2      /**< A required pointer is null, or a row is unbound or stale. */
#define KR_ERR_SIZE 3          /**< A size tag outside its set; record sizes that do not fit the
                                    interface version; KRGetNeedClassSecIDs: the id array is full. */
#define KR_ERR_CLASS_EXISTS 4  /**< KRAddClass: a class with that code is registered already. */
#define KR_ERR_NO_SETTINGS 5   /**< No settings text was loaded for the firm id. */
#define KR_ERR_PARAM_UNKNOWN 6 /**< The host's parameter-id callback answered -1. */
#define KR_ERR_NOT_FOUND 7     /**< The class or security is not registered. */
#define KR_ERR_NO_PRICE 8      /**< The security has neither a previous nor a last price. */
#define KR_ERR_VERSION 9       /**< KRInitEx: interface version is neither 1 nor 2. */
#define KR_ERR_NO_MEMORY 10    /**< An allocation failed; the operation was undone. */
/** @} */

/** @name Interface versions and record sizes
 *  @{ */
#define KR_INTERFACE_V1 1          /**< Money limits of 88 bytes, no leverage field. */
#define KR_INTERFACE_V2 2          /**< Money limits of 96 bytes with leveragePercent. */
#define KR_MONEY_LIMIT_SIZE_V1 88  /**< KRMoneyLimit size under version 1. */
#define KR_MONEY_LIMIT_SIZE_V2 96  /**< KRMoneyLimit size under version 2. */
#define KR_SEC_LIMIT_SIZE_V1 88    /**< KRSecLimit size under version 1. */
#define KR_SEC_LIMIT_SIZE_V2 96    /**< KRSecLimit size the host declares under version 2. */
#define KR_ROW_SIZE_280 280        /**< Full KRMarginalRow, with equitySurplus. */
#define KR_ROW_SIZE_272 272        /**< KRMarginalRow up to currentLeverage. */
#define KR_ROW_SIZE_264 264        /**< KRMarginalRow up to moneyLocked. */
#define KR_ROW_SIZE_248 248        /**< The oldest KRMarginalRow. */
#define KR_ACTV_SIZE_56 56         /**< Full KRMarginalActv, with prevValue. */
#define KR_ACTV_SIZE_48 48         /**< KRMarginalActv without prevValue. */
/** @} */

/** @name KRClass flags
 *  @{ */
#define KR_CLASS_FACE_VALUE 1u /**< Prices are percent of face value, plus accrued interest. */
#define KR_CLASS_SKIP_MASK 6u  /**< Either bit set: KRAddClass ignores the class. */
/** @} */

/** @brief Id returned in KRMarginClassEntry / KRMarginSecEntry for unregistered items. */
#define KR_UNREGISTERED_ID 0xFFFFFFFFu

#pragma pack(push, 1)

/** @brief An instrument class, handed to KRAddClass (32 bytes). The library keeps a copy. */
typedef struct KRClass {
    uint32_t classId;     /**< Host's id of the class. */
    int32_t secCount;     /**< Number of KRSecurity records passed along; <= 0 means none. */
    uint32_t flags;       /**< KR_CLASS_FACE_VALUE; KR_CLASS_SKIP_MASK bits skip the class. */
    char code[13];        /**< Class code, at most 12 characters, case-sensitive. */
    int8_t valueUnlisted; /**< Non-zero: positions in unlisted securities of the class count. */
    uint8_t reserved[6];  /**< Host's own; not read. */
} KRClass;

/** @brief One security of a class, handed to KRAddClass (40 bytes). */
typedef struct KRSecurity {
    double faceValue;    /**< Face value, used by KR_CLASS_FACE_VALUE classes. */
    uint32_t secId;      /**< Host's id of the security. */
    uint32_t classIndex; /**< Ignored on input. */
    int32_t lotSize;     /**< Units per lot, used when the firm keeps limits in lots. */
    char code[20];       /**< Security code, at most 19 characters, case-sensitive. */
} KRSecurity;

/**
 * @brief The host's money-limit record, returned by KRGetMoneyLimitFunc.
 *
 * 88 bytes under interface version 1 (the library never reads past offset 87 then),
 * 96 bytes under version 2. Money amounts are in hundredths of the money unit.
 */
typedef struct KRMoneyLimit {
    uint8_t hostData[9];     /**< Host's own; not read. */
    char tag[5];             /**< Board tag; decides how the record counts. */
    char firmId[13];         /**< Firm id; a different firm ends the walk. */
    char clientCode[13];     /**< Client code; a different client ends the walk. */
    double openBalance;      /**< Opening balance. */
    double openLimit;        /**< Opening limit. */
    double currentBalance;   /**< Current balance. */
    double currentLimit;     /**< Current limit. */
    double locked;           /**< Locked amount. */
    double lockedValue;      /**< Locked value. */
    int32_t leveragePercent; /**< Version 2 only: leverage in percent; negative means none. */
    uint8_t padding[4];      /**< Version 2 only; not read. */
} KRMoneyLimit;

/**
 * @brief The host's securities-limit record, returned by KRGetSecLimitFunc.
 *
 * 88 bytes; under version 2 the host declares 96 (its own 8 trailing bytes), the library still
 * reads nothing past offset 87. Quantities are units or lots (see KRIsLimitsInLots).
 */
typedef struct KRSecLimit {
    uint8_t hostData[4];   /**< Host's own; not read. */
    char secCode[13];      /**< Security code. */
    char trdAcc[13];       /**< Trade account. */
    char firmId[13];       /**< Firm id; a different firm ends the walk. */
    char clientCode[13];   /**< Client code; a different client ends the walk. */
    int32_t openBalance;   /**< Opening position. */
    int32_t openLimit;     /**< Opening limit. */
    int32_t currentBalance; /**< Current position. */
    int32_t currentLimit;  /**< Current limit. */
    int32_t lockedSell;    /**< Quantity locked by sell orders. */
    int32_t lockedBuy;     /**< Quantity locked by buy orders. */
    double lockedBuyValue; /**< Money locked by buy orders, hundredths of the money unit. */
} KRSecLimit;

/**
 * @brief A marginal row request (248, 264, 272 or 280 bytes, chosen by @c size).
 *
 * The host fills size, firmId and clientCode, calls KRInitMarginalRow to bind it, then
 * KRCalcMarginalRow. The library never reads or writes past @c size bytes.
 */
typedef struct KRMarginalRow {
    uint32_t size;              /**< Size tag: 280, 272, 264 or 248. */
    uint32_t binding;           /**< Library's handle of the bound settings; 0 = unbound. */
    char firmId[13];            /**< Firm id, at most 12 characters. */
    char clientCode[16];        /**< Client code. */
    uint8_t creditLag2;         /**< 1 when the client's credit lag is 2. */
    uint8_t leverageGiven;      /**< 1 when a money limit gave the leverage (version 2). */
    uint8_t padding;            /**< Not used. */
    double moneyAvailable;      /**< Current money less locked value. */
    double openCollateral;      /**< Opening money plus weighted opening positions. */
    double leverage;            /**< Leverage given or computed. */
    double openLimitTotal;      /**< Sum of opening money limits. */
    double shortValue;          /**< Weighted value of short positions (negative). */
    double longValue;           /**< Weighted value of long asset positions. */
    double longValueMargin;     /**< Part of longValue in margin securities. */
    double longValueAsset;      /**< Part of longValue in asset-only securities. */
    double equity;              /**< shortValue + longValue + moneyAvailable. */
    double marginLevel;         /**< Margin level in percent. */
    double creditCapacity;      /**< Credit the client may draw. */
    double buyCapacity;         /**< Amount the client may still spend. */
    double buyCommitment;       /**< Money committed to purchases. */
    double buyCommitmentMargin; /**< Part of buyCommitment in margin securities. */
    double buyCommitmentAsset;  /**< Part of buyCommitment in asset-only securities. */
    double uncoveredSellValue;  /**< Value of sales not covered by positions. */
    double lockedValueTotal;    /**< Sum of locked money values. */
    double marginBuyLimit;      /**< Buy limit for margin securities. */
    double buyCapacityCopy;     /**< Same as buyCapacity. */
    double ownBuyLimit;         /**< Buy limit on own funds. */
    double assetBuyLimit;       /**< Buy limit for asset securities (credit lag 2). */
    double settlementDebt;      /**< Debt due on settlement (credit lag 2). */
    double openValue;           /**< Opening money plus opening position values. */
    double currentValue;        /**< Current money plus current position values. */
    double reserved1;           /**< Always 0. */
    double reserved2;           /**< Always 0. */
    double moneyCurrent;        /**< Size >= 264: current money on counting boards. */
    double moneyLocked;         /**< Size >= 264: locked money. */
    double currentLeverage;     /**< Size >= 272: current leverage. */
    double equitySurplus;       /**< Size 280: current own funds less equity. */
} KRMarginalRow;

/**
 * @brief A marginal actv request: one security of the client of a bound row (48 or 56 bytes).
 *
 * The host fills size, classId and secId and calls KRInitMarginalActv, then
 * KRCalcMarginalActv as often as it likes.
 */
typedef struct KRMarginalActv {
    uint32_t size;       /**< Size tag: 56 or 48. */
    uint32_t classId;    /**< Host's class id of the security. */
    uint32_t secId;      /**< Host's security id. */
    int32_t secIndex;    /**< Set by KRInitMarginalActv. */
    uint32_t classIndex; /**< Set by KRInitMarginalActv. */
    int8_t isMargin;     /**< 1: a margin security for the bound client. */
    int8_t isAsset;      /**< 1: an asset security for the bound client. */
    int8_t isRestShort;  /**< 1: a margin security restricted for short sales. */
    uint8_t padding;     /**< Not used. */
    uint32_t reserved;   /**< Host's own; neither read nor written. */
    int32_t position;    /**< The client's position. */
    int32_t maxBuy;      /**< Quantity the client may still buy (>= 0). */
    int32_t maxSell;     /**< Quantity the client may still sell (>= 0). */
    double value;        /**< Position value at the position price. */
    double prevValue;    /**< Size 56 only: position value at the previous price. */
} KRMarginalActv;

/** @brief One listed security handed to a KRMarginSecsFunc (20 bytes). */
typedef struct KRMarginSecEntry {
    uint32_t secId; /**< Host's security id; KR_UNREGISTERED_ID when not registered. */
    char code[16];  /**< Security code, at most 15 characters. */
} KRMarginSecEntry;

/**
 * @brief One class of the margin list handed to a KRMarginSecsFunc.
 *
 * 28 bytes on 32-bit targets; on 64-bit targets @c secs takes 8 bytes and the record is 32.
 */
typedef struct KRMarginClassEntry {
    uint32_t classId;       /**< Host's class id; KR_UNREGISTERED_ID when not registered. */
    int32_t secCount;       /**< Number of records at secs. */
    KRMarginSecEntry* secs; /**< Library memory, valid during the callback only. */
    char code[16];          /**< Class code, zero-padded. */
} KRMarginClassEntry;

#pragma pack(pop)

/** @cond INTERNAL */
#define KR_CHECK_FIELD(type, field, off) \
    KR_STATIC_ASSERT(offsetof(type, field) == (off), type##_##field##_offset)
KR_STATIC_ASSERT(sizeof(KRClass) == 32, KRClass_size);
KR_CHECK_FIELD(KRClass, secCount, 4);
KR_CHECK_FIELD(KRClass, flags, 8);
KR_CHECK_FIELD(KRClass, code, 12);
KR_CHECK_FIELD(KRClass, valueUnlisted, 25);
KR_CHECK_FIELD(KRClass, reserved, 26);
KR_STATIC_ASSERT(sizeof(KRSecurity) == 40, KRSecurity_size);
KR_CHECK_FIELD(KRSecurity, secId, 8);
KR_CHECK_FIELD(KRSecurity, classIndex, 12);
KR_CHECK_FIELD(KRSecurity, lotSize, 16);
KR_CHECK_FIELD(KRSecurity, code, 20);
KR_STATIC_ASSERT(sizeof(KRMoneyLimit) == 96, KRMoneyLimit_size);
KR_CHECK_FIELD(KRMoneyLimit, tag, 9);
KR_CHECK_FIELD(KRMoneyLimit, firmId, 14);
KR_CHECK_FIELD(KRMoneyLimit, clientCode, 27);
KR_CHECK_FIELD(KRMoneyLimit, openBalance, 40);
KR_CHECK_FIELD(KRMoneyLimit, openLimit, 48);
KR_CHECK_FIELD(KRMoneyLimit, currentBalance, 56);
KR_CHECK_FIELD(KRMoneyLimit, currentLimit, 64);
KR_CHECK_FIELD(KRMoneyLimit, locked, 72);
KR_CHECK_FIELD(KRMoneyLimit, lockedValue, 80);
KR_CHECK_FIELD(KRMoneyLimit, leveragePercent, 88);
KR_CHECK_FIELD(KRMoneyLimit, padding, 92);
KR_STATIC_ASSERT(sizeof(KRSecLimit) == 88, KRSecLimit_size);
KR_CHECK_FIELD(KRSecLimit, secCode, 4);
KR_CHECK_FIELD(KRSecLimit, trdAcc, 17);
KR_CHECK_FIELD(KRSecLimit, firmId, 30);
KR_CHECK_FIELD(KRSecLimit, clientCode, 43);
KR_CHECK_FIELD(KRSecLimit, openBalance, 56);
KR_CHECK_FIELD(KRSecLimit, openLimit, 60);
KR_CHECK_FIELD(KRSecLimit, currentBalance, 64);
KR_CHECK_FIELD(KRSecLimit, currentLimit, 68);
KR_CHECK_FIELD(KRSecLimit, lockedSell, 72);
KR_CHECK_FIELD(KRSecLimit, lockedBuy, 76);
KR_CHECK_FIELD(KRSecLimit, lockedBuyValue, 80);
KR_STATIC_ASSERT(sizeof(KRMarginalRow) == 280, KRMarginalRow_size);
KR_CHECK_FIELD(KRMarginalRow, binding, 4);
KR_CHECK_FIELD(KRMarginalRow, firmId, 8);
KR_CHECK_FIELD(KRMarginalRow, clientCode, 21);
KR_CHECK_FIELD(KRMarginalRow, creditLag2, 37);
KR_CHECK_FIELD(KRMarginalRow, leverageGiven, 38);
KR_CHECK_FIELD(KRMarginalRow, moneyAvailable, 40);
KR_CHECK_FIELD(KRMarginalRow, openCollateral, 48);
KR_CHECK_FIELD(KRMarginalRow, leverage, 56);
KR_CHECK_FIELD(KRMarginalRow, openLimitTotal, 64);
KR_CHECK_FIELD(KRMarginalRow, shortValue, 72);
KR_CHECK_FIELD(KRMarginalRow, longValue, 80);
KR_CHECK_FIELD(KRMarginalRow, longValueMargin, 88);
KR_CHECK_FIELD(KRMarginalRow, longValueAsset, 96);
KR_CHECK_FIELD(KRMarginalRow, equity, 104);
KR_CHECK_FIELD(KRMarginalRow, marginLevel, 112);
KR_CHECK_FIELD(KRMarginalRow, creditCapacity, 120);
KR_CHECK_FIELD(KRMarginalRow, buyCapacity, 128);
KR_CHECK_FIELD(KRMarginalRow, buyCommitment, 136);
KR_CHECK_FIELD(KRMarginalRow, buyCommitmentMargin, 144);
KR_CHECK_FIELD(KRMarginalRow, buyCommitmentAsset, 152);
KR_CHECK_FIELD(KRMarginalRow, uncoveredSellValue, 160);
KR_CHECK_FIELD(KRMarginalRow, lockedValueTotal, 168);
KR_CHECK_FIELD(KRMarginalRow, marginBuyLimit, 176);
KR_CHECK_FIELD(KRMarginalRow, buyCapacityCopy, 184);
KR_CHECK_FIELD(KRMarginalRow, ownBuyLimit, 192);
KR_CHECK_FIELD(KRMarginalRow, assetBuyLimit, 200);
KR_CHECK_FIELD(KRMarginalRow, settlementDebt, 208);
KR_CHECK_FIELD(KRMarginalRow, openValue, 216);
KR_CHECK_FIELD(KRMarginalRow, currentValue, 224);
KR_CHECK_FIELD(KRMarginalRow, reserved1, 232);
KR_CHECK_FIELD(KRMarginalRow, reserved2, 240);
KR_CHECK_FIELD(KRMarginalRow, moneyCurrent, 248);
KR_CHECK_FIELD(KRMarginalRow, moneyLocked, 256);
KR_CHECK_FIELD(KRMarginalRow, currentLeverage, 264);
KR_CHECK_FIELD(KRMarginalRow, equitySurplus, 272);
KR_STATIC_ASSERT(sizeof(KRMarginalActv) == 56, KRMarginalActv_size);
KR_CHECK_FIELD(KRMarginalActv, classId, 4);
KR_CHECK_FIELD(KRMarginalActv, secId, 8);
KR_CHECK_FIELD(KRMarginalActv, secIndex, 12);
KR_CHECK_FIELD(KRMarginalActv, classIndex, 16);
KR_CHECK_FIELD(KRMarginalActv, isMargin, 20);
KR_CHECK_FIELD(KRMarginalActv, isAsset, 21);
KR_CHECK_FIELD(KRMarginalActv, isRestShort, 22);
KR_CHECK_FIELD(KRMarginalActv, reserved, 24);
KR_CHECK_FIELD(KRMarginalActv, position, 28);
KR_CHECK_FIELD(KRMarginalActv, maxBuy, 32);
KR_CHECK_FIELD(KRMarginalActv, maxSell, 36);
KR_CHECK_FIELD(KRMarginalActv, value, 40);
KR_CHECK_FIELD(KRMarginalActv, prevValue, 48);
KR_STATIC_ASSERT(sizeof(KRMarginSecEntry) == 20, KRMarginSecEntry_size);
KR_CHECK_FIELD(KRMarginSecEntry, code, 4);
KR_CHECK_FIELD(KRMarginClassEntry, secCount, 4);
KR_CHECK_FIELD(KRMarginClassEntry, secs, 8);
KR_CHECK_FIELD(KRMarginClassEntry, code, 8 + sizeof(void*));
KR_STATIC_ASSERT(sizeof(KRMarginClassEntry) == 24 + sizeof(void*), KRMarginClassEntry_size);
KR_STATIC_ASSERT(sizeof(void*) != 4 || sizeof(KRMarginClassEntry) == 28, KRMarginClassEntry_32);
KR_STATIC_ASSERT(sizeof(uintptr_t) == sizeof(void*), uintptr_width);
#undef KR_CHECK_FIELD
/** @endcond */

/** @name Host memory hooks (optional; each null hook falls back to malloc/free/realloc)
 *  @{ */
/** @brief Returns a block of at least @p size bytes, or null. */
typedef void*(KR_CALL* KRAllocFunc)(uint32_t size);
/** @brief Releases a block from the allocate or reallocate hook; must accept null. */
typedef void(KR_CALL* KRFreeFunc)(void* block);
/** @brief Resizes @p block (null: allocate) keeping its leading bytes; returns null on failure. */
typedef void*(KR_CALL* KRReallocFunc)(void* block, uint32_t size);
/** @} */

/** @name Host limit callbacks (all required)
 *  @{ */
/**
 * @brief Stores through @p firstIndex the index of the first money limit of the firm and
 * client (or any index where KRGetMoneyLimitFunc answers null or another client). The result
 * is ignored; @p filter1 and @p filter2 are always empty.
 */
typedef int32_t(KR_CALL* KRFindFirstMoneyLimitFunc)(const char* firmId, const char* clientCode,
                                                    const char* filter1, const char* filter2,
                                                    uint32_t* firstIndex);
/** @brief Returns the money limit at @p index, or null when there is none. */
typedef const KRMoneyLimit*(KR_CALL* KRGetMoneyLimitFunc)(uint32_t index);
/**
 * @brief Stores the index of the first securities limit of the firm, client and (when not
 * empty) security. The result is ignored; @p filter2 is always empty.
 */
typedef int32_t(KR_CALL* KRFindFirstSecLimitFunc)(const char* firmId, const char* clientCode,
                                                  const char* secCode, const char* filter2,
                                                  uint32_t* firstIndex);
/** @brief Returns the securities limit at @p index, or null when there is none. */
typedef const KRSecLimit*(KR_CALL* KRGetSecLimitFunc)(uint32_t index);
/** @} */

/** @name Host market-parameter callbacks (both required)
 *  @{ */
/**
 * @brief Returns the host's id of a market parameter ("OFFER", "BID", "PREVPRICE", "LAST",
 * "ACCRUEDINT"), or -1 when unknown. Each name is asked once per process.
 */
typedef int32_t(KR_CALL* KRGetParamIdFunc)(const char* name);
/** @brief Returns the current value of a parameter of a security; below 1e-8 means none. */
typedef double(KR_CALL* KRGetParamValueFunc)(uint32_t classId, uint32_t secId, int32_t paramId);
/** @} */

/**
 * @brief Receives the margin list from KRGetMarginSecs: @p count class entries (0 allowed)
 * that live only during the call, and the host's @p user value. The result is ignored.
 */
typedef int32_t(KR_CALL* KRMarginSecsFunc)(const KRMarginClassEntry* entries, uint32_t count,
                                           uintptr_t user);

/** @name Set-up (only before initialisation)
 *  @{ */
/**
 * @brief Installs the memory hooks; any may be null. Returns 1 (code 0), or 0 with
 * KR_ERR_STATE once initialised. The last call before initialisation wins.
 */
KR_API int32_t KR_CALL KRSetMemoryManagement(KRAllocFunc allocate, KRFreeFunc release,
                                             KRReallocFunc reallocate);
/** @brief Installs the four limit callbacks. Returns 1, or 0 with KR_ERR_STATE once initialised. */
KR_API int32_t KR_CALL KRSetLimitCallbacks(KRFindFirstMoneyLimitFunc findFirstMoneyLimit,
                                           KRGetMoneyLimitFunc getMoneyLimit,
                                           KRFindFirstSecLimitFunc findFirstSecLimit,
                                           KRGetSecLimitFunc getSecLimit);
/** @brief Installs the two parameter callbacks. Returns 1, or 0 with KR_ERR_STATE once initialised. */
KR_API int32_t KR_CALL KRSetParamCallbacks(KRGetParamIdFunc getParamId,
                                           KRGetParamValueFunc getParamValue);
/** @brief KRInitEx with interface version 1. */
KR_API int32_t KR_CALL KRInit(int32_t moneyLimitSize, int32_t secLimitSize);
/**
 * @brief Initialises the library, once per process.
 * @param version 1 or 2 (else KR_ERR_VERSION).
 * @param moneyLimitSize 88 under version 1, 96 under version 2 (else KR_ERR_SIZE).
 * @param secLimitSize 88 under version 1, 96 under version 2 (else KR_ERR_SIZE).
 * @return 1 on success; 0 with KR_ERR_STATE (already initialised), KR_ERR_ARGUMENT (a limit or
 *         parameter callback missing), KR_ERR_VERSION or KR_ERR_SIZE.
 */
KR_API int32_t KR_CALL KRInitEx(int32_t version, int32_t moneyLimitSize, int32_t secLimitSize);
/** @} */

/** @name Data
 *  @{ */
/**
 * @brief Empties the class registry and drops every firm's settings. The library stays
 * initialised. Rows must be bound and actv records prepared again. Returns 1.
 */
KR_API int32_t KR_CALL KRCleanup(void);
/** @brief Drops every firm's settings; the registry stays. Rows must be bound again. Returns 1. */
KR_API int32_t KR_CALL KRCleanupDlifiles(void);
/**
 * @brief Registers a class and its @c secCount securities (copied) and relinks every firm.
 * @param cls the class; @param securities its securities (non-null even when none).
 * @return 1 with code 0 (registered, or ignored for its flags); 1 with KR_ERR_CLASS_EXISTS
 *         (only valueUnlisted was refreshed); 0 with KR_ERR_ARGUMENT or KR_ERR_NO_MEMORY.
 */
KR_API int32_t KR_CALL KRAddClass(const KRClass* cls, const KRSecurity* securities);
/**
 * @brief Loads (or reloads) a firm's settings text. Rows bound to that firm become stale.
 * @param firmId firm key, at most 12 characters, case-sensitive (longer: KR_ERR_ARGUMENT).
 * @param text the settings text; the library keeps an upper-cased copy.
 * @return 1; 0 with KR_ERR_ARGUMENT or KR_ERR_NO_MEMORY (then the firm has no settings).
 */
KR_API int32_t KR_CALL KRSetDliniFile(const char* firmId, const char* text);
/** @} */

/** @name Marginal row
 *  @{ */
/**
 * @brief Binds @p row to the settings of its firm and client and marks credit lag 2.
 * @return 1; 0 with KR_ERR_ARGUMENT, KR_ERR_SIZE or KR_ERR_NO_SETTINGS (row left unbound).
 */
KR_API int32_t KR_CALL KRInitMarginalRow(KRMarginalRow* row);
/**
 * @brief Computes the row's figures from the host's limits and prices.
 * @return 1; 0 with KR_ERR_ARGUMENT (null, unbound or stale row), KR_ERR_SIZE or
 *         KR_ERR_PARAM_UNKNOWN (outputs then cleared).
 */
KR_API int32_t KR_CALL KRCalcMarginalRow(KRMarginalRow* row);
/**
 * @brief As KRCalcMarginalRow, with optional start indexes of the two limit walks.
 * @param moneyIndex null, or in: where the money-limit walk starts (no find-first call);
 *        out: where it stopped.
 * @param secIndex the same for the securities-limit walk.
 */
KR_API int32_t KR_CALL KRCalcMarginalRowEx(KRMarginalRow* row, uint32_t* moneyIndex,
                                           uint32_t* secIndex);
/** @} */

/** @name Marginal actv
 *  @{ */
/**
 * @brief Resolves the actv's class and security ids and fixes its list flags for the row's
 * client. @return 1; 0 with KR_ERR_ARGUMENT, KR_ERR_SIZE or KR_ERR_NOT_FOUND (actv unchanged).
 */
KR_API int32_t KR_CALL KRInitMarginalActv(const KRMarginalRow* row, KRMarginalActv* actv);
/**
 * @brief Computes position, maximum buy and sell quantities and values of one security.
 * @param row a bound row, calculated by KRCalcMarginalRow.
 * @param actv a record prepared by KRInitMarginalActv.
 * @param price a price to work the quantities out at; 0 or less: offer to buy, bid to sell.
 * @return 1; 0 with KR_ERR_ARGUMENT, KR_ERR_SIZE, KR_ERR_NOT_FOUND, KR_ERR_PARAM_UNKNOWN or
 *         KR_ERR_NO_PRICE (actv unchanged).
 */
KR_API int32_t KR_CALL KRCalcMarginalActv(const KRMarginalRow* row, KRMarginalActv* actv,
                                          double price);
/** @} */

/** @name List questions
 *  @{ */
/**
 * @brief Is @p secCode a margin security for the row's client? On 1 the class and security
 * ids are written through the non-null out pointers; on 0 nothing is written. Code 0 either way.
 */
KR_API int32_t KR_CALL KRIsMarginSeccode(const KRMarginalRow* row, const char* secCode,
                                         uint32_t* classId, uint32_t* secId);
/** @brief As KRIsMarginSeccode for the asset list (the margin list when there is none). */
KR_API int32_t KR_CALL KRIsAssetSeccode(const KRMarginalRow* row, const char* secCode,
                                        uint32_t* classId, uint32_t* secId);
/**
 * @brief Hands the margin list of the row's client to @p callback, exactly once.
 * The entries are freed through the free hook as soon as the callback returns.
 * @return 1; 0 with KR_ERR_ARGUMENT, KR_ERR_SIZE or KR_ERR_NO_MEMORY (callback not called).
 */
KR_API int32_t KR_CALL KRGetMarginSecs(const KRMarginalRow* row, KRMarginSecsFunc callback,
                                       uintptr_t user);
/**
 * @brief Lists the ids of the securities of a class that any loaded firm or client names in
 * its margin or asset list, each once, in first-found order.
 * @param ids host array of security ids.
 * @param count in: capacity (negative counts as 0); out: ids written. May be unaligned.
 * @return 1 with the last-error value left unchanged; 0 with KR_ERR_ARGUMENT,
 *         KR_ERR_NOT_FOUND (class not registered) or KR_ERR_SIZE (array full; count unchanged).
 */
KR_API int32_t KR_CALL KRGetNeedClassSecIDs(uint32_t classId, uint32_t* ids, int32_t* count);
/**
 * @brief Does the board tag count for the firm? 1 when the firm lists no board tags or lists
 * the tag as a board tag; else 0. On success the last-error value is left unchanged; refusals
 * give 0 with KR_ERR_STATE, KR_ERR_ARGUMENT or KR_ERR_NO_SETTINGS.
 */
KR_API int32_t KR_CALL KRIsBoardTagApplicable(const char* firmId, const char* tag);
/**
 * @brief The firm's LIMITSINLOTS switch (0 or 1, default 1) with code 0. Every refusal
 * (KR_ERR_STATE, KR_ERR_ARGUMENT, KR_ERR_NO_SETTINGS) returns 1.
 */
KR_API int32_t KR_CALL KRIsLimitsInLots(const char* firmId);
/** @} */

/** @brief The calling thread's current last-error code. Takes no lock, changes nothing. */
KR_API int32_t KR_CALL KRGetLastError(void);

#ifdef __cplusplus
}
#endif

#endif /* KESVAR_H */
