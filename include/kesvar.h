/**
 * @file kesvar.h
 * @brief Kesvar margin-lending calculator: the whole C interface of the library.
 *
 * The host (a trading terminal) installs its memory hooks and callbacks, initialises the
 * library once, registers instrument classes, hands over one settings text per firm and then
 * asks for margin figures through request records that it owns. See the integration guide
 * (docs/integrating.md) for the lifecycle in code.
 *
 * Results: every export returns a 32-bit result, 1 for success or "yes" and 0 otherwise, with
 * the exceptions noted on KRAddClass, KRIsLimitsInLots, KRGetNeedClassSecIDs and
 * KRIsBoardTagApplicable, and leaves a code (KR_ERR_...) in the calling thread's last-error
 * value, which KRGetLastError() returns (and GetLastError() on Windows). A refusal leaves the
 * request records and the library's data as they were, unless the export says otherwise.
 *
 * Threading: the library serves one call at a time; any thread may call, and the calls of
 * other threads wait. Hooks and callbacks run on the calling thread while the library's lock
 * is held and must not call back into the library.
 *
 * Ownership: the host owns every record and string it passes; the library reads them during
 * the call only (KRAddClass and KRSetDliniFile copy what they keep). The library owns its
 * copies of classes, securities and settings, allocated through the host's memory hooks. The
 * margin list handed to a KRMarginSecsFunc is library memory that lives during that call only.
 *
 * Records: all records are byte-packed and little-endian; strings are NUL-terminated
 * single-byte strings in fixed-width fields. Request records start with a size tag, and the
 * library never reads or writes past the size the tag declares.
 */
#ifndef KESVAR_H
#define KESVAR_H

#include <stddef.h>
#include <stdint.h>

#include "kesvar_version.h"

#ifdef __cplusplus
extern "C" {
#endif

/**
 * @brief Calling convention of every export and every host function type: @c __stdcall on
 * 32-bit x86 Windows, the platform default everywhere else.
 */
#if defined(_WIN32) && (defined(_M_IX86) || defined(__i386__))
#define KR_CALL __stdcall
#else
#define KR_CALL
#endif

/**
 * @brief Declaration decoration of the exports: default visibility when the library itself
 * is built, @c __declspec(dllimport) for Windows hosts (unless @c KESVAR_STATIC is defined),
 * nothing otherwise.
 */
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
/* Helpers defined in this header; static inline draws no unused-function warning. */
#if defined(__cplusplus) || (defined(__STDC_VERSION__) && __STDC_VERSION__ >= 199901L)
#define KR_INLINE static inline
#elif defined(__GNUC__)
#define KR_INLINE static __inline__
#elif defined(_MSC_VER)
#define KR_INLINE static __inline
#else
#define KR_INLINE static
#endif
/** @endcond */

/** @name Last-error codes
 *  Left in the calling thread's last-error value by every export; read it with
 *  KRGetLastError() right after the call.
 *  @{ */
#define KR_ERR_NONE 0     /**< Success, or a plain "no" answer. */
#define KR_ERR_STATE 1    /**< Not initialised yet, or already initialised (setters, init). */
#define KR_ERR_ARGUMENT 2 /**< A required pointer is null, or a row is unbound or stale. */
/** A size tag outside its set; record sizes that do not fit the interface version;
 *  KRGetNeedClassSecIDs: the id array is full. */
#define KR_ERR_SIZE 3
#define KR_ERR_CLASS_EXISTS 4  /**< KRAddClass: a class with that code is registered already. */
#define KR_ERR_NO_SETTINGS 5   /**< No settings text was loaded for the firm id. */
#define KR_ERR_PARAM_UNKNOWN 6 /**< The host's parameter-id callback answered -1. */
#define KR_ERR_NOT_FOUND 7     /**< The class or security is not registered. */
#define KR_ERR_NO_PRICE 8      /**< The security has neither a previous nor a last price. */
#define KR_ERR_VERSION 9       /**< KRInitEx: interface version is neither 1 nor 2. */
#define KR_ERR_NO_MEMORY 10    /**< An allocation failed; the operation was undone. */
/** @} */

/** @name Interface versions and record sizes
 *  The version given to KRInitEx fixes the sizes of the host's limit records; the size tags
 *  select the layout of a request record (older layouts are prefixes of newer ones).
 *  @{ */
#define KR_INTERFACE_V1 1         /**< Money limits of 88 bytes, no leverage field. */
#define KR_INTERFACE_V2 2         /**< Money limits of 96 bytes with leveragePercent. */
#define KR_MONEY_LIMIT_SIZE_V1 88 /**< KRMoneyLimit size under version 1. */
#define KR_MONEY_LIMIT_SIZE_V2 96 /**< KRMoneyLimit size under version 2. */
#define KR_SEC_LIMIT_SIZE_V1 88   /**< KRSecLimit size under version 1. */
#define KR_SEC_LIMIT_SIZE_V2 96   /**< KRSecLimit size the host declares under version 2. */
#define KR_ROW_SIZE_280 280       /**< Full KRMarginalRow, with equitySurplus. */
#define KR_ROW_SIZE_272 272       /**< KRMarginalRow up to currentLeverage. */
#define KR_ROW_SIZE_264 264       /**< KRMarginalRow up to moneyLocked. */
#define KR_ROW_SIZE_248 248       /**< The oldest KRMarginalRow. */
#define KR_ACTV_SIZE_56 56        /**< Full KRMarginalActv, with prevValue. */
#define KR_ACTV_SIZE_48 48        /**< KRMarginalActv without prevValue. */
/** @} */

/** @name KRClass flags
 *  @{ */
#define KR_CLASS_FACE_VALUE 1u /**< Prices are percent of face value, plus accrued interest. */
#define KR_CLASS_SKIP_MASK 6u  /**< Either bit set: KRAddClass ignores the class. */
/** @} */

/** @brief Id returned in KRMarginClassEntry / KRMarginSecEntry for unregistered items. */
#define KR_UNREGISTERED_ID 0xFFFFFFFFu

#pragma pack(push, 1)

/**
 * @brief An instrument class, handed to KRAddClass (32 bytes).
 *
 * Host-owned; the library keeps a copy, so the record may be released once KRAddClass
 * returns. Codes are compared exactly (case-sensitive) with the settings texts, which the
 * library upper-cases: register codes in capitals.
 */
typedef struct KRClass {
    uint32_t classId;     /**< Host's id of the class, handed back in results and callbacks. */
    int32_t secCount;     /**< Number of KRSecurity records passed along; <= 0 means none. */
    uint32_t flags;       /**< KR_CLASS_FACE_VALUE; KR_CLASS_SKIP_MASK bits skip the class. */
    char code[13];        /**< Class code, at most 12 characters, case-sensitive. */
    int8_t valueUnlisted; /**< Non-zero: positions in unlisted securities of the class count. */
    uint8_t reserved[6];  /**< Host's own; not read. */
} KRClass;

/**
 * @brief One security of a class, handed to KRAddClass (40 bytes).
 *
 * Host-owned; the library keeps a copy.
 */
typedef struct KRSecurity {
    double faceValue;    /**< Face value, used by KR_CLASS_FACE_VALUE classes. */
    uint32_t secId;      /**< Host's id of the security, handed back in results and callbacks. */
    uint32_t classIndex; /**< Ignored on input. */
    int32_t lotSize;     /**< Units per lot, used when the firm keeps limits in lots. */
    char code[20];       /**< Security code, at most 19 characters, case-sensitive. */
} KRSecurity;

/**
 * @brief The host's money-limit record, returned by KRGetMoneyLimitFunc.
 *
 * 88 bytes under interface version 1 (the library never reads past offset 87 then),
 * 96 bytes under version 2. Money amounts are in hundredths of the money unit. Host-owned;
 * the library reads it in place during the calculation and keeps no pointer to it.
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
 * Host-owned; read in place during the call.
 */
typedef struct KRSecLimit {
    uint8_t hostData[4];    /**< Host's own; not read. */
    char secCode[13];       /**< Security code. */
    char trdAcc[13];        /**< Trade account. */
    char firmId[13];        /**< Firm id; a different firm ends the walk. */
    char clientCode[13];    /**< Client code; a different client ends the walk. */
    int32_t openBalance;    /**< Opening position. */
    int32_t openLimit;      /**< Opening limit. */
    int32_t currentBalance; /**< Current position. */
    int32_t currentLimit;   /**< Current limit. */
    int32_t lockedSell;     /**< Quantity locked by sell orders. */
    int32_t lockedBuy;      /**< Quantity locked by buy orders. */
    double lockedBuyValue;  /**< Money locked by buy orders, hundredths of the money unit. */
} KRSecLimit;

/**
 * @brief A marginal row request (248, 264, 272 or 280 bytes, chosen by @c size).
 *
 * Host-owned. The host zeroes it, fills size, firmId and clientCode, calls KRInitMarginalRow
 * to bind it, then KRCalcMarginalRow. The library never reads or writes past @c size bytes.
 * The binding goes stale when the firm's settings are reloaded or dropped (KRSetDliniFile,
 * KRCleanupDlifiles, KRCleanup): bind the row again before using it.
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
 * Host-owned. The host fills size, classId and secId and calls KRInitMarginalActv, then
 * KRCalcMarginalActv as often as it likes. Prepare it again after KRCleanup, after the firm's
 * settings change, or for a row bound to other settings.
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

/**
 * @brief One listed security handed to a KRMarginSecsFunc (20 bytes).
 *
 * Library memory, valid during the callback only.
 */
typedef struct KRMarginSecEntry {
    uint32_t secId; /**< Host's security id; KR_UNREGISTERED_ID when not registered. */
    char code[16];  /**< Security code, at most 15 characters. */
} KRMarginSecEntry;

/**
 * @brief One class of the margin list handed to a KRMarginSecsFunc.
 *
 * 28 bytes on 32-bit targets; on 64-bit targets @c secs takes 8 bytes and the record is 32.
 * Library memory, valid during the callback only: copy what you need, keep no pointer.
 */
typedef struct KRMarginClassEntry {
    uint32_t classId;       /**< Host's class id; KR_UNREGISTERED_ID when not registered. */
    int32_t secCount;       /**< Number of records at secs. */
    KRMarginSecEntry* secs; /**< Library memory, valid during the callback only. */
    char code[16];          /**< Class code, zero-padded. */
} KRMarginClassEntry;

#pragma pack(pop)

/** @cond INTERNAL */
#define KR_CHECK_FIELD(type, field, off)                                                           \
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

/** @name Host memory hooks
 *  Optional, each on its own: a hook left null is replaced, call by call, by the runtime's
 *  malloc, free or realloc. Every allocation of the library's own data (registry, settings,
 *  the lists handed to a KRMarginSecsFunc) goes through them.
 *  @{ */
/**
 * @brief Allocates a block for the library.
 * @param size byte count; 0 is possible (an empty list), and null is then no failure.
 * @return a block of at least @p size bytes, or null when there is no memory (the operation
 *         is then undone and fails with KR_ERR_NO_MEMORY).
 */
typedef void*(KR_CALL* KRAllocFunc)(uint32_t size);
/**
 * @brief Releases a block from the allocate or reallocate hook.
 * @param block the block; null is possible and must do nothing.
 */
typedef void(KR_CALL* KRFreeFunc)(void* block);
/**
 * @brief Resizes a block, keeping its leading bytes.
 * @param block the block to resize; null means: allocate a new one.
 * @param size the new byte count.
 * @return the new block (the old one is then released), or null on failure with @p block
 *         left as it was.
 */
typedef void*(KR_CALL* KRReallocFunc)(void* block, uint32_t size);
/** @} */

/** @name Host limit callbacks (all four required)
 *  The library walks a client's limit records by index: a find-first call gives the first
 *  index, then it reads index after index until a record of another firm or client (or none)
 *  comes, so the records of one client must stand together. String arguments live during the
 *  call only.
 *  @{ */
/**
 * @brief Finds a client's first money-limit record.
 * @param firmId the row's firm id.
 * @param clientCode the row's client code.
 * @param filter1 always empty.
 * @param filter2 always empty.
 * @param firstIndex receives the index of the client's first record, or any index at which
 *        KRGetMoneyLimitFunc answers null or a record of another client.
 * @return ignored by the library.
 */
typedef int32_t(KR_CALL* KRFindFirstMoneyLimitFunc)(const char* firmId, const char* clientCode,
                                                    const char* filter1, const char* filter2,
                                                    uint32_t* firstIndex);
/**
 * @brief Gives a money-limit record by index.
 * @param index the index, counting up from the find-first answer.
 * @return the record, readable until the library's call returns, or null when there is none.
 */
typedef const KRMoneyLimit*(KR_CALL* KRGetMoneyLimitFunc)(uint32_t index);
/**
 * @brief Finds a client's first securities-limit record, of one security or of any.
 * @param firmId the row's firm id.
 * @param clientCode the row's client code.
 * @param secCode empty for the client's first record of any security (row calculation), else
 *        the security of an actv calculation.
 * @param filter2 always empty.
 * @param firstIndex receives the index of the first matching record, or any index at which
 *        KRGetSecLimitFunc answers null or a record that does not match.
 * @return ignored by the library.
 */
typedef int32_t(KR_CALL* KRFindFirstSecLimitFunc)(const char* firmId, const char* clientCode,
                                                  const char* secCode, const char* filter2,
                                                  uint32_t* firstIndex);
/**
 * @brief Gives a securities-limit record by index.
 * @param index the index, counting up from the find-first answer.
 * @return the record, readable until the library's call returns, or null when there is none.
 */
typedef const KRSecLimit*(KR_CALL* KRGetSecLimitFunc)(uint32_t index);
/** @} */

/** @name Host market-parameter callbacks (both required)
 *  @{ */
/**
 * @brief Gives the host's id of a market parameter.
 * @param name "OFFER", "BID", "PREVPRICE", "LAST" or "ACCRUEDINT" (the last only once a
 *        KR_CLASS_FACE_VALUE class is registered).
 * @return the id, or -1 when unknown: calculations then fail with KR_ERR_PARAM_UNKNOWN. An id
 *         other than -1 is kept for the life of the process and never asked for again.
 */
typedef int32_t(KR_CALL* KRGetParamIdFunc)(const char* name);
/**
 * @brief Gives the current value of a market parameter of a security.
 * @param classId the host's id of the security's class.
 * @param secId the host's id of the security.
 * @param paramId an id from KRGetParamIdFunc.
 * @return the value; anything below 1e-8 means "no value".
 */
typedef double(KR_CALL* KRGetParamValueFunc)(uint32_t classId, uint32_t secId, int32_t paramId);
/** @} */

/**
 * @brief Receives the margin list from KRGetMarginSecs, exactly once per successful call.
 * @param entries @p count class entries with their securities: library memory, freed as soon
 *        as the callback returns; read it, do not keep pointers into it or free it.
 * @param count number of entries; 0 when the list is empty.
 * @param user the value given to KRGetMarginSecs.
 * @return ignored by the library.
 */
typedef int32_t(KR_CALL* KRMarginSecsFunc)(const KRMarginClassEntry* entries, uint32_t count,
                                           uintptr_t user);

/** @name Set-up (only before initialisation)
 *  @{ */
/**
 * @brief Installs the memory hooks. The last call before initialisation wins.
 * @param allocate allocation hook, or null for malloc.
 * @param release free hook, or null for free.
 * @param reallocate reallocation hook, or null for realloc.
 * @return 1 with KR_ERR_NONE; 0 with KR_ERR_STATE once the library is initialised.
 */
KR_API int32_t KR_CALL KRSetMemoryManagement(KRAllocFunc allocate, KRFreeFunc release,
                                             KRReallocFunc reallocate);
/**
 * @brief Installs the four limit callbacks. Null is accepted here, but KRInitEx refuses to
 * initialise until all four are installed. The last call before initialisation wins.
 * @param findFirstMoneyLimit finds a client's first money limit.
 * @param getMoneyLimit gives a money limit by index.
 * @param findFirstSecLimit finds a client's first securities limit.
 * @param getSecLimit gives a securities limit by index.
 * @return 1 with KR_ERR_NONE; 0 with KR_ERR_STATE once the library is initialised.
 */
KR_API int32_t KR_CALL KRSetLimitCallbacks(KRFindFirstMoneyLimitFunc findFirstMoneyLimit,
                                           KRGetMoneyLimitFunc getMoneyLimit,
                                           KRFindFirstSecLimitFunc findFirstSecLimit,
                                           KRGetSecLimitFunc getSecLimit);
/**
 * @brief Installs the two market-parameter callbacks (both required by KRInitEx).
 * @param getParamId gives the id of a parameter name.
 * @param getParamValue gives a parameter value of a security.
 * @return 1 with KR_ERR_NONE; 0 with KR_ERR_STATE once the library is initialised.
 */
KR_API int32_t KR_CALL KRSetParamCallbacks(KRGetParamIdFunc getParamId,
                                           KRGetParamValueFunc getParamValue);
/**
 * @brief KRInitEx with interface version 1.
 * @param moneyLimitSize must be 88.
 * @param secLimitSize must be 88.
 * @return as KRInitEx.
 */
KR_API int32_t KR_CALL KRInit(int32_t moneyLimitSize, int32_t secLimitSize);
/**
 * @brief Initialises the library, once per process; hooks and callbacks are fixed from then
 * on. There is no way back: KRCleanup drops data, not the initialisation.
 * @param version 1 or 2 (else KR_ERR_VERSION).
 * @param moneyLimitSize 88 under version 1, 96 under version 2 (else KR_ERR_SIZE).
 * @param secLimitSize 88 under version 1, 96 under version 2 (else KR_ERR_SIZE).
 * @return 1 on success; 0 with KR_ERR_STATE (already initialised), KR_ERR_ARGUMENT (a limit or
 *         parameter callback missing), KR_ERR_VERSION or KR_ERR_SIZE.
 */
KR_API int32_t KR_CALL KRInitEx(int32_t version, int32_t moneyLimitSize, int32_t secLimitSize);
/** @} */

/** @name Data
 *  Classes and settings texts may come in any order and any number of times; list entries
 *  wait for classes registered later.
 *  @{ */
/**
 * @brief Empties the class registry and drops every firm's settings. The library stays
 * initialised with its callbacks. Rows must be bound and actv records prepared again.
 * @return 1 with KR_ERR_NONE; 0 with KR_ERR_STATE before initialisation.
 */
KR_API int32_t KR_CALL KRCleanup(void);
/**
 * @brief Drops every firm's settings; the registry stays. Rows must be bound again.
 * @return 1 with KR_ERR_NONE; 0 with KR_ERR_STATE before initialisation.
 */
KR_API int32_t KR_CALL KRCleanupDlifiles(void);
/**
 * @brief Registers a class and its @c secCount securities (copied) and relinks every firm.
 * The host may release both records when the call returns.
 * @param cls the class.
 * @param securities its @c cls->secCount securities; non-null even when there are none.
 * @return 1 with KR_ERR_NONE (registered, or ignored for its KR_CLASS_SKIP_MASK flags);
 *         1 with KR_ERR_CLASS_EXISTS (the code is registered: only valueUnlisted was
 *         refreshed, no security added); 0 with KR_ERR_STATE, KR_ERR_ARGUMENT or
 *         KR_ERR_NO_MEMORY (nothing registered).
 */
KR_API int32_t KR_CALL KRAddClass(const KRClass* cls, const KRSecurity* securities);
/**
 * @brief Loads (or reloads) a firm's settings text. Rows bound to that firm become stale.
 * @param firmId firm key, at most 12 characters, case-sensitive (longer: KR_ERR_ARGUMENT,
 *        nothing changed).
 * @param text the settings text; the library keeps an upper-cased copy.
 * @return 1 with KR_ERR_NONE; 0 with KR_ERR_STATE, KR_ERR_ARGUMENT or KR_ERR_NO_MEMORY (then
 *         the firm has no settings, as if never loaded).
 */
KR_API int32_t KR_CALL KRSetDliniFile(const char* firmId, const char* text);
/** @} */

/** @name Marginal row
 *  @{ */
/**
 * @brief Binds a row to the settings of its firm and client and marks credit lag 2: the
 * client's own margin record (exact code, letter case aside), else the first prefix record
 * ("AB*") that fits, else the firm's settings.
 * @param row a host record with size, firmId (exact, case-sensitive) and clientCode filled.
 * @return 1 with KR_ERR_NONE; 0 with KR_ERR_STATE, KR_ERR_ARGUMENT, KR_ERR_SIZE or
 *         KR_ERR_NO_SETTINGS (the row is then left unbound).
 */
KR_API int32_t KR_CALL KRInitMarginalRow(KRMarginalRow* row);
/**
 * @brief Computes the row's figures from the host's limits and prices, walking the client's
 * limit records from the index the find-first callbacks give.
 * @param row a bound row.
 * @return 1 with KR_ERR_NONE; 0 with KR_ERR_STATE, KR_ERR_ARGUMENT (null, unbound or stale
 *         row), KR_ERR_SIZE or KR_ERR_PARAM_UNKNOWN (outputs then cleared).
 */
KR_API int32_t KR_CALL KRCalcMarginalRow(KRMarginalRow* row);
/**
 * @brief As KRCalcMarginalRow, with optional start indexes of the two limit walks, so a host
 * that goes through its clients in list order needs no find-first calls.
 * @param row a bound row.
 * @param moneyIndex null, or in: where the money-limit walk starts (no find-first call);
 *        out: where it stopped, which is where the next client's records begin.
 * @param secIndex the same for the securities-limit walk.
 * @return as KRCalcMarginalRow.
 */
KR_API int32_t KR_CALL KRCalcMarginalRowEx(KRMarginalRow* row, uint32_t* moneyIndex,
                                           uint32_t* secIndex);
/** @} */

/** @name Marginal actv
 *  @{ */
/**
 * @brief Resolves the actv's class and security ids and fixes its list flags for the row's
 * client.
 * @param row a bound row (it need not be calculated).
 * @param actv a host record with size, classId and secId filled.
 * @return 1 with KR_ERR_NONE; 0 with KR_ERR_STATE, KR_ERR_ARGUMENT, KR_ERR_SIZE or
 *         KR_ERR_NOT_FOUND (actv unchanged).
 */
KR_API int32_t KR_CALL KRInitMarginalActv(const KRMarginalRow* row, KRMarginalActv* actv);
/**
 * @brief Computes position, maximum buy and sell quantities and values of one security.
 * @param row a bound row, calculated by KRCalcMarginalRow.
 * @param actv a record prepared by KRInitMarginalActv against a row of the same binding.
 * @param price a price to work the quantities out at; 0 or less: offer to buy, bid to sell.
 * @return 1 with KR_ERR_NONE; 0 with KR_ERR_STATE, KR_ERR_ARGUMENT, KR_ERR_SIZE,
 *         KR_ERR_NOT_FOUND (for instance after KRCleanup), KR_ERR_PARAM_UNKNOWN or
 *         KR_ERR_NO_PRICE (actv unchanged).
 */
KR_API int32_t KR_CALL KRCalcMarginalActv(const KRMarginalRow* row, KRMarginalActv* actv,
                                          double price);
/** @} */

/** @name List questions
 *  @{ */
/**
 * @brief Is a security a margin security for the row's client?
 * @param row a bound row.
 * @param secCode the security code, compared exactly (case-sensitive).
 * @param classId null, or receives the host's class id of the security when it is found.
 * @param secId null, or receives the host's security id when it is found.
 * @return 1 when found, 0 when not (nothing written), both with KR_ERR_NONE; refusals give 0
 *         with KR_ERR_STATE, KR_ERR_ARGUMENT or KR_ERR_SIZE.
 */
KR_API int32_t KR_CALL KRIsMarginSeccode(const KRMarginalRow* row, const char* secCode,
                                         uint32_t* classId, uint32_t* secId);
/**
 * @brief As KRIsMarginSeccode for the asset list (the margin list when neither the client
 * nor the firm has one).
 * @param row a bound row.
 * @param secCode the security code, compared exactly (case-sensitive).
 * @param classId null, or receives the host's class id of the security when it is found.
 * @param secId null, or receives the host's security id when it is found.
 * @return as KRIsMarginSeccode.
 */
KR_API int32_t KR_CALL KRIsAssetSeccode(const KRMarginalRow* row, const char* secCode,
                                        uint32_t* classId, uint32_t* secId);
/**
 * @brief Hands the margin list of the row's client to @p callback, exactly once.
 * The entries are freed through the free hook as soon as the callback returns.
 * @param row a bound row (it need not be calculated).
 * @param callback receives the list; it must not call into the library.
 * @param user passed to @p callback unchanged (wide enough for a pointer).
 * @return 1 with KR_ERR_NONE; 0 with KR_ERR_STATE, KR_ERR_ARGUMENT, KR_ERR_SIZE or
 *         KR_ERR_NO_MEMORY (callback not called).
 */
KR_API int32_t KR_CALL KRGetMarginSecs(const KRMarginalRow* row, KRMarginSecsFunc callback,
                                       uintptr_t user);
/**
 * @brief Lists the ids of the securities of a class that any loaded firm or client names in
 * its margin or asset list, each once, in first-found order.
 * @param classId the host's id of a registered class.
 * @param ids host array of security ids.
 * @param count in: capacity (negative counts as 0); out: ids written. May be unaligned.
 * @return 1 with the last-error value left unchanged; 0 with KR_ERR_STATE, KR_ERR_ARGUMENT,
 *         KR_ERR_NOT_FOUND (class not registered) or KR_ERR_SIZE (array full; count
 *         unchanged, the ids found so far are in the array).
 */
KR_API int32_t KR_CALL KRGetNeedClassSecIDs(uint32_t classId, uint32_t* ids, int32_t* count);
/**
 * @brief Does a board tag count for the firm?
 * @param firmId the firm key (exact, case-sensitive).
 * @param tag the board tag, compared with the firm's tags letter case aside.
 * @return 1 when the firm lists no board tags or lists @p tag as a board tag, else 0; on
 *         success the last-error value is left unchanged. Refusals give 0 with KR_ERR_STATE,
 *         KR_ERR_ARGUMENT or KR_ERR_NO_SETTINGS.
 */
KR_API int32_t KR_CALL KRIsBoardTagApplicable(const char* firmId, const char* tag);
/**
 * @brief Does the firm keep its limits in lots (the LIMITSINLOTS switch)?
 * @param firmId the firm key (exact, case-sensitive).
 * @return the switch, 0 or 1 (default 1), with KR_ERR_NONE. Every refusal (KR_ERR_STATE,
 *         KR_ERR_ARGUMENT, KR_ERR_NO_SETTINGS) returns 1: check the last-error value.
 */
KR_API int32_t KR_CALL KRIsLimitsInLots(const char* firmId);
/** @} */

/**
 * @brief The calling thread's current last-error code. Takes no lock, changes nothing.
 * @return the code the calling thread's last export left (KR_ERR_...).
 */
KR_API int32_t KR_CALL KRGetLastError(void);

/**
 * @brief The name of a last-error code and a short phrase, for logs and messages, e.g.
 * "KR_ERR_NO_SETTINGS: no settings text loaded for the firm". Defined here in the header,
 * so it needs no export and works whichever way the library is loaded.
 * @param code a KR_ERR_... code, as KRGetLastError() returns it.
 * @return a static string; for a value that is no Kesvar code (on Windows, GetLastError()
 *         may hold a system code), "unknown code: not a Kesvar last-error value".
 */
KR_INLINE const char* KRErrorName(int32_t code) {
    switch (code) {
    case KR_ERR_NONE:
        return "KR_ERR_NONE: success, or a plain no";
    case KR_ERR_STATE:
        return "KR_ERR_STATE: library not initialised yet, or already initialised";
    case KR_ERR_ARGUMENT:
        return "KR_ERR_ARGUMENT: a required pointer is null, or the row is unbound or stale";
    case KR_ERR_SIZE:
        return "KR_ERR_SIZE: a size tag or record size does not fit, or the id array is full";
    case KR_ERR_CLASS_EXISTS:
        return "KR_ERR_CLASS_EXISTS: a class with that code is registered already";
    case KR_ERR_NO_SETTINGS:
        return "KR_ERR_NO_SETTINGS: no settings text loaded for the firm";
    case KR_ERR_PARAM_UNKNOWN:
        return "KR_ERR_PARAM_UNKNOWN: the host does not know a required market parameter";
    case KR_ERR_NOT_FOUND:
        return "KR_ERR_NOT_FOUND: the class or security is not registered";
    case KR_ERR_NO_PRICE:
        return "KR_ERR_NO_PRICE: the security has neither a previous nor a last price";
    case KR_ERR_VERSION:
        return "KR_ERR_VERSION: the interface version is neither 1 nor 2";
    case KR_ERR_NO_MEMORY:
        return "KR_ERR_NO_MEMORY: an allocation failed; the operation was undone";
    default:
        return "unknown code: not a Kesvar last-error value";
    }
}

/** @name Pointer types of the exports
 *  For hosts that load the library at run time (dlopen and dlsym, LoadLibrary and
 *  GetProcAddress) instead of linking it: one type per export, with its calling convention.
 *  The exports carry their plain names on every target.
 *  @{ */
/** @brief Pointer to KRSetMemoryManagement. */
typedef int32_t(KR_CALL* KRSetMemoryManagementFn)(KRAllocFunc allocate, KRFreeFunc release,
                                                  KRReallocFunc reallocate);
/** @brief Pointer to KRSetLimitCallbacks. */
typedef int32_t(KR_CALL* KRSetLimitCallbacksFn)(KRFindFirstMoneyLimitFunc findFirstMoneyLimit,
                                                KRGetMoneyLimitFunc getMoneyLimit,
                                                KRFindFirstSecLimitFunc findFirstSecLimit,
                                                KRGetSecLimitFunc getSecLimit);
/** @brief Pointer to KRSetParamCallbacks. */
typedef int32_t(KR_CALL* KRSetParamCallbacksFn)(KRGetParamIdFunc getParamId,
                                                KRGetParamValueFunc getParamValue);
/** @brief Pointer to KRInit. */
typedef int32_t(KR_CALL* KRInitFn)(int32_t moneyLimitSize, int32_t secLimitSize);
/** @brief Pointer to KRInitEx. */
typedef int32_t(KR_CALL* KRInitExFn)(int32_t version, int32_t moneyLimitSize, int32_t secLimitSize);
/** @brief Pointer to KRCleanup. */
typedef int32_t(KR_CALL* KRCleanupFn)(void);
/** @brief Pointer to KRCleanupDlifiles. */
typedef int32_t(KR_CALL* KRCleanupDlifilesFn)(void);
/** @brief Pointer to KRAddClass. */
typedef int32_t(KR_CALL* KRAddClassFn)(const KRClass* cls, const KRSecurity* securities);
/** @brief Pointer to KRSetDliniFile. */
typedef int32_t(KR_CALL* KRSetDliniFileFn)(const char* firmId, const char* text);
/** @brief Pointer to KRInitMarginalRow. */
typedef int32_t(KR_CALL* KRInitMarginalRowFn)(KRMarginalRow* row);
/** @brief Pointer to KRCalcMarginalRow. */
typedef int32_t(KR_CALL* KRCalcMarginalRowFn)(KRMarginalRow* row);
/** @brief Pointer to KRCalcMarginalRowEx. */
typedef int32_t(KR_CALL* KRCalcMarginalRowExFn)(KRMarginalRow* row, uint32_t* moneyIndex,
                                                uint32_t* secIndex);
/** @brief Pointer to KRInitMarginalActv. */
typedef int32_t(KR_CALL* KRInitMarginalActvFn)(const KRMarginalRow* row, KRMarginalActv* actv);
/** @brief Pointer to KRCalcMarginalActv. */
typedef int32_t(KR_CALL* KRCalcMarginalActvFn)(const KRMarginalRow* row, KRMarginalActv* actv,
                                               double price);
/** @brief Pointer to KRIsMarginSeccode. */
typedef int32_t(KR_CALL* KRIsMarginSeccodeFn)(const KRMarginalRow* row, const char* secCode,
                                              uint32_t* classId, uint32_t* secId);
/** @brief Pointer to KRIsAssetSeccode. */
typedef int32_t(KR_CALL* KRIsAssetSeccodeFn)(const KRMarginalRow* row, const char* secCode,
                                             uint32_t* classId, uint32_t* secId);
/** @brief Pointer to KRGetMarginSecs. */
typedef int32_t(KR_CALL* KRGetMarginSecsFn)(const KRMarginalRow* row, KRMarginSecsFunc callback,
                                            uintptr_t user);
/** @brief Pointer to KRGetNeedClassSecIDs. */
typedef int32_t(KR_CALL* KRGetNeedClassSecIDsFn)(uint32_t classId, uint32_t* ids, int32_t* count);
/** @brief Pointer to KRIsBoardTagApplicable. */
typedef int32_t(KR_CALL* KRIsBoardTagApplicableFn)(const char* firmId, const char* tag);
/** @brief Pointer to KRIsLimitsInLots. */
typedef int32_t(KR_CALL* KRIsLimitsInLotsFn)(const char* firmId);
/** @brief Pointer to KRGetLastError. */
typedef int32_t(KR_CALL* KRGetLastErrorFn)(void);
/** @} */

/** @cond INTERNAL */
/* Each pointer type must match its export, calling convention included: a conditional
 * expression over two different pointer types does not compile cleanly (sizeof evaluates
 * nothing, so nothing is linked). */
#define KR_CHECK_POINTER_TYPE(name)                                                                \
    KR_STATIC_ASSERT(sizeof(1 ? &name : (name##Fn)0) == sizeof(name##Fn), name##Fn_type)
KR_CHECK_POINTER_TYPE(KRSetMemoryManagement);
KR_CHECK_POINTER_TYPE(KRSetLimitCallbacks);
KR_CHECK_POINTER_TYPE(KRSetParamCallbacks);
KR_CHECK_POINTER_TYPE(KRInit);
KR_CHECK_POINTER_TYPE(KRInitEx);
KR_CHECK_POINTER_TYPE(KRCleanup);
KR_CHECK_POINTER_TYPE(KRCleanupDlifiles);
KR_CHECK_POINTER_TYPE(KRAddClass);
KR_CHECK_POINTER_TYPE(KRSetDliniFile);
KR_CHECK_POINTER_TYPE(KRInitMarginalRow);
KR_CHECK_POINTER_TYPE(KRCalcMarginalRow);
KR_CHECK_POINTER_TYPE(KRCalcMarginalRowEx);
KR_CHECK_POINTER_TYPE(KRInitMarginalActv);
KR_CHECK_POINTER_TYPE(KRCalcMarginalActv);
KR_CHECK_POINTER_TYPE(KRIsMarginSeccode);
KR_CHECK_POINTER_TYPE(KRIsAssetSeccode);
KR_CHECK_POINTER_TYPE(KRGetMarginSecs);
KR_CHECK_POINTER_TYPE(KRGetNeedClassSecIDs);
KR_CHECK_POINTER_TYPE(KRIsBoardTagApplicable);
KR_CHECK_POINTER_TYPE(KRIsLimitsInLots);
KR_CHECK_POINTER_TYPE(KRGetLastError);
#undef KR_CHECK_POINTER_TYPE
/** @endcond */

#ifdef __cplusplus
}
#endif

#endif /* KESVAR_H */
