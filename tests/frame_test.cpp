// The frame: lifecycle, refusals in order, parameter ids, limit walks, memory hooks and the
// platform's upper-casing table.
#include <gtest/gtest.h>

#include <functional>
#include <map>

#include "fake_host.h"
#include "frame/host.h"
#include "frame/memory.h"
#include "frame/state.h"
#include "platform/platform.h"

using namespace fakehost;
using kesvar::gState;

namespace {

struct Call {
    const char* name;
    std::function<int32_t()> run;
};

KRMarginalRow gRow = Row("F1", "C1");
KRMarginalActv gActv = Actv(1, 1);
uint32_t gIds[4];
int32_t gCount = 4;

int32_t KR_CALL NoMarginSecs(const KRMarginClassEntry*, uint32_t, uintptr_t) {
    return 0;
}

// Every export but the setters and the init pair, with valid-looking arguments.
std::vector<Call> DataExports() {
    return {
        {"KRCleanup", [] { return KRCleanup(); }},
        {"KRCleanupDlifiles", [] { return KRCleanupDlifiles(); }},
        {"KRAddClass",
         [] {
             KRClass c{};
             KRSecurity s{};
             return KRAddClass(&c, &s);
         }},
        {"KRSetDliniFile", [] { return KRSetDliniFile("F1", ""); }},
        {"KRInitMarginalRow", [] { return KRInitMarginalRow(&gRow); }},
        {"KRCalcMarginalRow", [] { return KRCalcMarginalRow(&gRow); }},
        {"KRCalcMarginalRowEx", [] { return KRCalcMarginalRowEx(&gRow, nullptr, nullptr); }},
        {"KRInitMarginalActv", [] { return KRInitMarginalActv(&gRow, &gActv); }},
        {"KRCalcMarginalActv", [] { return KRCalcMarginalActv(&gRow, &gActv, 0.0); }},
        {"KRIsMarginSeccode", [] { return KRIsMarginSeccode(&gRow, "X", nullptr, nullptr); }},
        {"KRIsAssetSeccode", [] { return KRIsAssetSeccode(&gRow, "X", nullptr, nullptr); }},
        {"KRGetMarginSecs", [] { return KRGetMarginSecs(&gRow, NoMarginSecs, 0); }},
        {"KRGetNeedClassSecIDs", [] { return KRGetNeedClassSecIDs(1, gIds, &gCount); }},
        {"KRIsBoardTagApplicable", [] { return KRIsBoardTagApplicable("F1", "TQBR"); }},
    };
}

} // namespace

TEST(Lifecycle, InitNeedsAllSixCallbacks) {
    KRSetLimitCallbacks(FindFirstMoneyLimit, GetMoneyLimit, FindFirstSecLimit, GetSecLimit);
    EXPECT_EQ(0, KRInit(88, 88));
    EXPECT_EQ(KR_ERR_ARGUMENT, KRGetLastError());
    KRSetParamCallbacks(GetParamId, nullptr);
    EXPECT_EQ(0, KRInit(88, 88));
    EXPECT_EQ(KR_ERR_ARGUMENT, KRGetLastError());
    EXPECT_EQ(0, gState.initialised);
    KRSetParamCallbacks(GetParamId, GetParamValue);
    EXPECT_EQ(1, KRInit(88, 88));
    EXPECT_EQ(KR_ERR_NONE, KRGetLastError());
    EXPECT_EQ(1, gState.interfaceVersion);
}

TEST(Lifecycle, VersionAndSizePairs) {
    InstallCallbacks();
    struct {
        int32_t version, size1, size2, result, code;
    } cases[] = {
        {2, 88, 88, 0, KR_ERR_SIZE},    {1, 96, 96, 0, KR_ERR_SIZE},    {1, 88, 96, 0, KR_ERR_SIZE},
        {3, 88, 88, 0, KR_ERR_VERSION}, {0, 96, 96, 0, KR_ERR_VERSION}, {2, 96, 96, 1, KR_ERR_NONE},
        {2, 96, 96, 0, KR_ERR_STATE}, // one-way: a second init is refused
    };
    for (auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.version << "/" << c.size1 << "/" << c.size2);
        EXPECT_EQ(c.result, KRInitEx(c.version, c.size1, c.size2));
        EXPECT_EQ(c.code, KRGetLastError());
    }
    EXPECT_EQ(2, gState.interfaceVersion);
}

TEST(Lifecycle, SettersAreRefusedOnceInitialisedEvenAfterCleanup) {
    ASSERT_EQ(1, Install(2));
    KRFindFirstMoneyLimitFunc installed = gState.findFirstMoneyLimit;
    for (int round = 0; round < 2; ++round) {
        EXPECT_EQ(0, KRSetMemoryManagement(nullptr, nullptr, nullptr));
        EXPECT_EQ(KR_ERR_STATE, KRGetLastError());
        EXPECT_EQ(0, KRSetLimitCallbacks(nullptr, nullptr, nullptr, nullptr));
        EXPECT_EQ(KR_ERR_STATE, KRGetLastError());
        EXPECT_EQ(0, KRSetParamCallbacks(nullptr, nullptr));
        EXPECT_EQ(KR_ERR_STATE, KRGetLastError());
        EXPECT_EQ(0, KRInit(88, 88));
        EXPECT_EQ(KR_ERR_STATE, KRGetLastError());
        EXPECT_EQ(1, KRCleanup());
    }
    EXPECT_EQ(installed, gState.findFirstMoneyLimit);
    EXPECT_TRUE(gState.alloc != nullptr);
}

TEST(Lifecycle, SettersBeforeInitLastCallWins) {
    EXPECT_EQ(1, KRSetMemoryManagement(HookAlloc, nullptr, nullptr));
    EXPECT_EQ(KR_ERR_NONE, KRGetLastError());
    EXPECT_EQ(1, KRSetMemoryManagement(nullptr, HookFree, nullptr));
    EXPECT_TRUE(gState.alloc == nullptr);
    EXPECT_TRUE(gState.free == HookFree);
}

TEST(Lifecycle, EveryDataExportRefusesBeforeInit) {
    InstallCallbacks();
    for (const Call& c : DataExports()) {
        SCOPED_TRACE(c.name);
        kesvar::platform::SetLastErrorCode(-1);
        EXPECT_EQ(0, c.run());
        EXPECT_EQ(KR_ERR_STATE, KRGetLastError());
    }
    // The switch's default answers while refusing.
    EXPECT_EQ(1, KRIsLimitsInLots("F1"));
    EXPECT_EQ(KR_ERR_STATE, KRGetLastError());
}

TEST(Refusals, NullPointersInTableOrder) {
    ASSERT_EQ(1, Install(2));
    KRMarginalRow unbound = Row("F1", "C1");
    KRMarginalRow badTag = Row("F1", "C1", 256);
    KRMarginalActv actv = Actv(1, 1);
    KRClass cls{};
    KRSecurity sec{};
    uint32_t ids[2];
    int32_t count = 2;
    struct {
        const char* name;
        std::function<int32_t()> run;
        int32_t code;
    } cases[] = {
        {"AddClass null class", [&] { return KRAddClass(nullptr, &sec); }, KR_ERR_ARGUMENT},
        {"AddClass null securities", [&] { return KRAddClass(&cls, nullptr); }, KR_ERR_ARGUMENT},
        {"SetDlini null firm", [&] { return KRSetDliniFile(nullptr, ""); }, KR_ERR_ARGUMENT},
        {"SetDlini null text", [&] { return KRSetDliniFile("F1", nullptr); }, KR_ERR_ARGUMENT},
        {"SetDlini 13-char firm", [&] { return KRSetDliniFile("ABCDEFGHIJKLM", ""); },
         KR_ERR_ARGUMENT},
        {"InitRow null", [&] { return KRInitMarginalRow(nullptr); }, KR_ERR_ARGUMENT},
        {"InitRow tag 256", [&] { return KRInitMarginalRow(&badTag); }, KR_ERR_SIZE},
        {"CalcRow null", [&] { return KRCalcMarginalRow(nullptr); }, KR_ERR_ARGUMENT},
        {"CalcRow unbound", [&] { return KRCalcMarginalRow(&unbound); }, KR_ERR_ARGUMENT},
        // An unbound row is refused before its size tag is looked at.
        {"CalcRow unbound, tag 256", [&] { return KRCalcMarginalRow(&badTag); }, KR_ERR_ARGUMENT},
        {"CalcRowEx unbound", [&] { return KRCalcMarginalRowEx(&unbound, nullptr, nullptr); },
         KR_ERR_ARGUMENT},
        {"InitActv null row", [&] { return KRInitMarginalActv(nullptr, &actv); }, KR_ERR_ARGUMENT},
        {"InitActv unbound", [&] { return KRInitMarginalActv(&unbound, nullptr); },
         KR_ERR_ARGUMENT},
        {"CalcActv unbound", [&] { return KRCalcMarginalActv(&unbound, &actv, 1.0); },
         KR_ERR_ARGUMENT},
        {"IsMargin unbound", [&] { return KRIsMarginSeccode(&unbound, "X", nullptr, nullptr); },
         KR_ERR_ARGUMENT},
        {"IsAsset null row", [&] { return KRIsAssetSeccode(nullptr, "X", nullptr, nullptr); },
         KR_ERR_ARGUMENT},
        {"MarginSecs unbound", [&] { return KRGetMarginSecs(&unbound, NoMarginSecs, 0); },
         KR_ERR_ARGUMENT},
        {"NeedIds null ids", [&] { return KRGetNeedClassSecIDs(1, nullptr, &count); },
         KR_ERR_ARGUMENT},
        {"NeedIds null count", [&] { return KRGetNeedClassSecIDs(1, ids, nullptr); },
         KR_ERR_ARGUMENT},
        {"BoardTag null firm", [&] { return KRIsBoardTagApplicable(nullptr, "T"); },
         KR_ERR_ARGUMENT},
        {"BoardTag null tag", [&] { return KRIsBoardTagApplicable("F1", nullptr); },
         KR_ERR_ARGUMENT},
        {"BoardTag unknown firm", [&] { return KRIsBoardTagApplicable("F1", "T"); },
         KR_ERR_NO_SETTINGS},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(0, c.run());
        EXPECT_EQ(c.code, KRGetLastError());
    }
    EXPECT_EQ(1, KRIsLimitsInLots(nullptr));
    EXPECT_EQ(KR_ERR_ARGUMENT, KRGetLastError());
    EXPECT_EQ(1, KRIsLimitsInLots("F1"));
    EXPECT_EQ(KR_ERR_NO_SETTINGS, KRGetLastError());
    // Refusals leave the records as they were.
    EXPECT_EQ(0u, unbound.binding);
    EXPECT_EQ(0, actv.secIndex);
}

TEST(Refusals, RowTagBeforeActvTag) {
    ASSERT_EQ(1, Install(2));
    ASSERT_EQ(1, KRSetDliniFile("F1", ""));
    for (uint32_t rowSize : {248u, 264u, 272u, 280u, 247u, 249u, 256u, 281u, 0u}) {
        KRMarginalRow row = Row("F1", "C1", 280);
        ASSERT_EQ(1, KRInitMarginalRow(&row));
        row.size = rowSize;
        bool rowOk = rowSize == 248 || rowSize == 264 || rowSize == 272 || rowSize == 280;
        for (uint32_t actvSize : {48u, 56u, 52u, 47u, 57u}) {
            SCOPED_TRACE(testing::Message() << rowSize << "/" << actvSize);
            KRMarginalActv actv = Actv(99, 99, actvSize);
            bool actvOk = actvSize == 48 || actvSize == 56;
            KRInitMarginalActv(&row, &actv);
            // With both tags valid the unknown security answers 7; otherwise the tag check.
            EXPECT_EQ(rowOk && actvOk ? KR_ERR_NOT_FOUND : KR_ERR_SIZE, KRGetLastError());
            EXPECT_EQ(0, KRCalcMarginalActv(&row, &actv, 0.0));
            if (!(rowOk && actvOk)) {
                EXPECT_EQ(KR_ERR_SIZE, KRGetLastError());
            }
        }
        KRCalcMarginalRow(&row);
        EXPECT_EQ(rowOk, KRGetLastError() != KR_ERR_SIZE);
    }
}

TEST(ParamIds, AskedInOrderAndNeverPastTheFirstUnknown) {
    ASSERT_EQ(1, Install(2));
    host().paramIds.erase("BID");
    EXPECT_FALSE(kesvar::ResolveParamIds());
    EXPECT_EQ((std::vector<std::string>{"paramId OFFER", "paramId BID"}), LogLines("paramId"));
    host().paramIds["BID"] = 7;
    host().log.clear();
    EXPECT_TRUE(kesvar::ResolveParamIds());
    // OFFER was cached; no face-value class, so ACCRUEDINT is not asked.
    EXPECT_EQ((std::vector<std::string>{"paramId BID", "paramId PREVPRICE", "paramId LAST"}),
              LogLines("paramId"));
    EXPECT_EQ(-1, gState.paramIdCache[kesvar::kAccruedInt]);
}

TEST(ParamIds, CachedForTheProcessAndAccruedOnlyWithFaceValueClasses) {
    ASSERT_EQ(1, Install(2));
    EXPECT_TRUE(kesvar::ResolveParamIds());
    ASSERT_EQ(1, KRCleanup());
    gState.anyFaceValueClass = 1; // as a registered face-value class sets it
    host().log.clear();
    EXPECT_TRUE(kesvar::ResolveParamIds());
    EXPECT_EQ((std::vector<std::string>{"paramId ACCRUEDINT"}), LogLines("paramId"));
    EXPECT_EQ(5, gState.paramIdCache[kesvar::kAccruedInt]);
    // Without face-value classes the cached id is dropped again, without asking.
    gState.anyFaceValueClass = 0;
    host().log.clear();
    EXPECT_TRUE(kesvar::ResolveParamIds());
    EXPECT_TRUE(LogLines("paramId").empty());
    EXPECT_EQ(-1, gState.paramIdCache[kesvar::kAccruedInt]);
    gState.anyFaceValueClass = 1;
    host().paramIds.erase("ACCRUEDINT");
    EXPECT_FALSE(kesvar::ResolveParamIds());
}

TEST(Walks, StopAtAnotherClientAndHandBackTheStopIndex) {
    ASSERT_EQ(1, Install(2));
    AddMoneyLimit({"F1", "OTHER", "T1", 1});
    AddMoneyLimit({"F1", "C1", "T1", 100, 0, 0, 0, 0, 0, 250});
    AddMoneyLimit({"F1", "C1", "T2", 200});
    AddMoneyLimit({"F2", "C1", "T1", 400}); // another firm ends the walk
    AddMoneyLimit({"F1", "C1", "T3", 800}); // not contiguous: never seen
    uint32_t i = kesvar::StartMoneyWalk("F1", "C1", nullptr);
    EXPECT_EQ(1u, i);
    double sum = 0;
    kesvar::MoneyLimit m;
    int32_t lev = 0;
    while (kesvar::NextMoneyLimit(&i, "F1", "C1", &m)) {
        sum += m.openBalance;
        if (lev == 0) lev = m.leveragePercent;
    }
    EXPECT_EQ(300.0, sum);
    EXPECT_EQ(3u, i);
    EXPECT_EQ(250, lev);
    // A given start index is used as is, without asking the host.
    host().log.clear();
    uint32_t given = 4;
    EXPECT_EQ(4u, kesvar::StartMoneyWalk("F1", "C1", &given));
    EXPECT_TRUE(LogLines("findFirst").empty());
    // A first record of another client sums nothing and keeps the index.
    i = 0;
    EXPECT_FALSE(kesvar::NextMoneyLimit(&i, "F1", "C1", &m));
    EXPECT_EQ(0u, i);
}

TEST(Walks, SecurityWalkComparesTheSecurityAndVersion1HasNoLeverage) {
    ASSERT_EQ(1, Install(1));
    AddMoneyLimit({"F1", "C1", "T1", 1, 0, 0, 0, 0, 0, 300});
    kesvar::MoneyLimit m;
    uint32_t i = 0;
    ASSERT_TRUE(kesvar::NextMoneyLimit(&i, "F1", "C1", &m));
    EXPECT_EQ(-1, m.leveragePercent);
    AddSecLimit({"F1", "C1", "SBER", "ACC1", 0, 0, 5});
    AddSecLimit({"F1", "C1", "SBER", "ACC2", 0, 0, 7, 0, 0, 0, 12.5});
    AddSecLimit({"F1", "C1", "GAZP", "ACC1", 0, 0, 9});
    uint32_t start = kesvar::StartSecWalk("F1", "C1", "SBER", nullptr);
    EXPECT_EQ((std::vector<std::string>{"findFirstSec F1 C1 SBER"}), LogLines("findFirstSec"));
    kesvar::SecLimit s;
    int32_t total = 0;
    while (kesvar::NextSecLimit(&start, "F1", "C1", "SBER", &s))
        total += s.currentBalance;
    EXPECT_EQ(12, total);
    EXPECT_EQ(2u, start);
    EXPECT_EQ(12.5, s.lockedBuyValue);
    EXPECT_STREQ("ACC2", s.trdAcc);
}

TEST(Walks, FindFirstThatStoresNothingStartsAtAllOnes) {
    ASSERT_EQ(1, Install(2));
    host().findFirstStores = false;
    EXPECT_EQ(0xFFFFFFFFu, kesvar::StartMoneyWalk("F1", "C1", nullptr));
    EXPECT_EQ(0xFFFFFFFFu, kesvar::StartSecWalk("F1", "C1", "", nullptr));
}

TEST(Memory, HooksAreUsedCallByCallWithRuntimeFallback) {
    KRSetMemoryManagement(HookAlloc, nullptr, HookRealloc);
    KRSetLimitCallbacks(FindFirstMoneyLimit, GetMoneyLimit, FindFirstSecLimit, GetSecLimit);
    KRSetParamCallbacks(GetParamId, GetParamValue);
    ASSERT_EQ(1, KRInit(88, 88));
    kesvar::Array<int32_t> a;
    ASSERT_NE(nullptr, kesvar::ArrayAppend(a));
    ASSERT_NE(nullptr, kesvar::ArrayAppend(a));
    EXPECT_EQ((std::vector<uint32_t>{4, 8}), host().memory.reallocSizes);
    // No free hook: the block goes back to the runtime, the host never sees it.
    void* p = kesvar::MemAlloc(16);
    EXPECT_EQ(1, host().memory.allocCalls);
    free(p);
    kesvar::ArrayFree(a);
    EXPECT_EQ(0, host().memory.freeCalls);
    host().memory.failAt = host().memory.allocating + 1;
    kesvar::Array<double> b;
    EXPECT_EQ(nullptr, kesvar::ArrayAppend(b));
    EXPECT_EQ(0, b.count);
}

TEST(Platform, UpperCaseTableOfCodePage1252) {
    // Expected mapping, written out from the code page: ASCII letters, the four letters of
    // 0x80-0x9F with capitals there, and the Latin-1 letters of 0xE0-0xFE except the sign 0xF7.
    const std::map<int, int> special = {{0x9A, 0x8A}, {0x9C, 0x8C}, {0x9E, 0x8E}, {0xFF, 0x9F}};
    int changed = 0;
    for (int c = 1; c < 256; ++c) {
        int expected = c;
        if (c >= 'a' && c <= 'z')
            expected = c - 32;
        else if (c >= 0xE0 && c <= 0xFE && c != 0xF7)
            expected = c - 32;
        else if (special.count(c))
            expected = special.at(c);
        changed += expected != c;
        SCOPED_TRACE(c);
        EXPECT_EQ(expected, kesvar::platform::UpperCaseByte(static_cast<unsigned char>(c)));
    }
    EXPECT_EQ(26 + 30 + 4, changed);
    char text[] = "limit=\xe9t\xe9\xff.";
    EXPECT_TRUE(kesvar::platform::UpperCaseText(text, sizeof text));
    EXPECT_STREQ("LIMIT=\xc9T\xc9\x9f.", text);
}
