// The frame: lifecycle, refusal order, parameter ids, limit walks, memory hooks and the
// platform's upper-casing table. Null pointers of every export: reliability_test.cpp.
#include <gtest/gtest.h>

#include <functional>
#include <map>

#include "fake_host.h"
#include "frame/hash_index.h"
#include "frame/host.h"
#include "frame/memory.h"
#include "frame/state.h"
#include "platform/platform.h"

using namespace fakehost;
using kesvar::gState;
using Lines = std::vector<std::string>;

namespace {
int32_t KR_CALL NoMarginSecs(const KRMarginClassEntry*, uint32_t, uintptr_t) {
    return 0;
}
} // namespace

TEST(Lifecycle, InitNeedsAllSixCallbacksThenIsOneWay) {
    KRSetLimitCallbacks(FindFirstMoneyLimit, GetMoneyLimit, FindFirstSecLimit, GetSecLimit);
    KRSetParamCallbacks(GetParamId, nullptr);
    EXPECT_EQ(0, KRInit(88, 88));
    EXPECT_EQ(KR_ERR_ARGUMENT, KRGetLastError());
    KRSetParamCallbacks(GetParamId, GetParamValue); // the last call before init wins
    struct {
        int32_t version, size1, size2, result, code;
    } cases[] = {
        {2, 88, 88, 0, KR_ERR_SIZE},    {1, 96, 96, 0, KR_ERR_SIZE}, {1, 88, 96, 0, KR_ERR_SIZE},
        {3, 88, 88, 0, KR_ERR_VERSION}, {2, 96, 96, 1, KR_ERR_NONE}, {2, 96, 96, 0, KR_ERR_STATE},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.version << "/" << c.size1 << "/" << c.size2);
        EXPECT_EQ(c.result, KRInitEx(c.version, c.size1, c.size2));
        EXPECT_EQ(c.code, KRGetLastError());
    }
    EXPECT_EQ(2, gState.interfaceVersion);
    // Hooks and callbacks stay fixed for the process, also after a cleanup.
    ASSERT_EQ(1, KRCleanup());
    std::function<int32_t()> setters[] = {
        [] { return KRSetMemoryManagement(nullptr, nullptr, nullptr); },
        [] { return KRSetLimitCallbacks(nullptr, nullptr, nullptr, nullptr); },
        [] { return KRSetParamCallbacks(nullptr, nullptr); },
        [] { return KRInit(88, 88); },
    };
    for (auto& set : setters) {
        EXPECT_EQ(0, set());
        EXPECT_EQ(KR_ERR_STATE, KRGetLastError());
    }
    EXPECT_TRUE(gState.getParamValue == GetParamValue);
}

TEST(Lifecycle, EveryDataExportRefusesBeforeInit) {
    InstallCallbacks();
    KRMarginalRow row = Row("F1", "C1");
    KRMarginalActv actv = Actv(1, 1);
    KRClass cls{};
    KRSecurity sec{};
    uint32_t ids[1];
    int32_t count = 1;
    std::function<int32_t()> calls[] = {
        [] { return KRCleanup(); },
        [] { return KRCleanupDlifiles(); },
        [&] { return KRAddClass(&cls, &sec); },
        [] { return KRSetDliniFile("F1", ""); },
        [&] { return KRInitMarginalRow(&row); },
        [&] { return KRCalcMarginalRowEx(&row, nullptr, nullptr); },
        [&] { return KRInitMarginalActv(&row, &actv); },
        [&] { return KRCalcMarginalActv(&row, &actv, 0.0); },
        [&] { return KRIsMarginSeccode(&row, "X", nullptr, nullptr); },
        [&] { return KRIsAssetSeccode(&row, "X", nullptr, nullptr); },
        [&] { return KRGetMarginSecs(&row, NoMarginSecs, 0); },
        [&] { return KRGetNeedClassSecIDs(1, ids, &count); },
        [] { return KRIsBoardTagApplicable("F1", "T"); },
    };
    for (size_t i = 0; i < sizeof calls / sizeof calls[0]; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(0, calls[i]());
        EXPECT_EQ(KR_ERR_STATE, KRGetLastError());
    }
    // The switch's default answers on every refusal.
    EXPECT_EQ(1, KRIsLimitsInLots("F1"));
    EXPECT_EQ(KR_ERR_STATE, KRGetLastError());
}

TEST(Refusals, ChecksComeInTableOrder) {
    ASSERT_EQ(1, Install(2));
    ASSERT_EQ(1, KRSetDliniFile("F1", ""));
    EXPECT_EQ(0, KRSetDliniFile("ABCDEFGHIJKLM", "")); // a key must fit the 13-byte field
    EXPECT_EQ(KR_ERR_ARGUMENT, KRGetLastError());
    EXPECT_EQ(1, KRIsLimitsInLots("F2"));
    EXPECT_EQ(KR_ERR_NO_SETTINGS, KRGetLastError());
    // An unbound row is refused before its size tag is looked at.
    KRMarginalRow unbound = Row("F1", "C1", 256);
    EXPECT_EQ(0, KRCalcMarginalRow(&unbound));
    EXPECT_EQ(KR_ERR_ARGUMENT, KRGetLastError());
    // The row's tag is checked before the actv's.
    for (uint32_t rowSize : {248u, 264u, 272u, 280u, 247u, 256u, 281u}) {
        KRMarginalRow row = Row("F1", "C1");
        ASSERT_EQ(1, KRInitMarginalRow(&row));
        row.size = rowSize;
        bool rowOk = rowSize % 8 == 0 && rowSize != 256 && rowSize >= 248 && rowSize <= 280;
        for (uint32_t actvSize : {48u, 56u, 52u, 57u}) {
            SCOPED_TRACE(testing::Message() << rowSize << "/" << actvSize);
            KRMarginalActv actv = Actv(99, 99, actvSize);
            bool ok = rowOk && (actvSize == 48 || actvSize == 56);
            EXPECT_EQ(0, KRInitMarginalActv(&row, &actv));
            EXPECT_EQ(ok ? KR_ERR_NOT_FOUND : KR_ERR_SIZE, KRGetLastError());
        }
        KRCalcMarginalRow(&row);
        EXPECT_EQ(rowOk, KRGetLastError() != KR_ERR_SIZE);
    }
}

TEST(ParamIds, AskedInOrderNeverPastTheFirstUnknownAndCachedForTheProcess) {
    ASSERT_EQ(1, Install(2));
    host().paramIds.erase("BID");
    EXPECT_FALSE(kesvar::ResolveParamIds());
    EXPECT_EQ((Lines{"paramId OFFER", "paramId BID"}), LogLines("paramId"));
    host().paramIds["BID"] = 7;
    host().log.clear();
    EXPECT_TRUE(kesvar::ResolveParamIds());
    // OFFER is cached; without a face-value class ACCRUEDINT is not asked.
    EXPECT_EQ((Lines{"paramId BID", "paramId PREVPRICE", "paramId LAST"}), LogLines("paramId"));
    ASSERT_EQ(1, KRCleanup());
    gState.anyFaceValueClass = 1; // as a registered face-value class sets it
    host().log.clear();
    EXPECT_TRUE(kesvar::ResolveParamIds());
    EXPECT_EQ((Lines{"paramId ACCRUEDINT"}), LogLines("paramId"));
    // Without face-value classes the cached id is dropped again, without asking.
    gState.anyFaceValueClass = 0;
    EXPECT_TRUE(kesvar::ResolveParamIds());
    EXPECT_EQ(-1, gState.paramIdCache[kesvar::kAccruedInt]);
    gState.anyFaceValueClass = 1;
    host().paramIds.erase("ACCRUEDINT");
    EXPECT_FALSE(kesvar::ResolveParamIds());
}

TEST(Walks, StopAtAnotherFirmOrClientAndHandBackTheStopIndex) {
    ASSERT_EQ(1, Install(2));
    AddMoneyLimit({"F1", "OTHER", "T1", 1});
    AddMoneyLimit({"F1", "C1", "T1", 100, 0, 0, 0, 0, 0, 250});
    AddMoneyLimit({"F1", "C1", "T2", 200});
    AddMoneyLimit({"F2", "C1", "T1", 400}); // another firm ends the walk
    AddMoneyLimit({"F1", "C1", "T3", 800}); // not contiguous: never seen
    uint32_t i = kesvar::StartMoneyWalk("F1", "C1", nullptr);
    kesvar::MoneyLimit m;
    double sum = 0;
    std::vector<int32_t> leverages;
    while (kesvar::NextMoneyLimit(&i, "F1", "C1", &m)) {
        sum += m.openBalance;
        leverages.push_back(m.leveragePercent);
    }
    EXPECT_EQ(100.0 + 200.0, sum);
    EXPECT_EQ((std::vector<int32_t>{250, -1}), leverages);
    EXPECT_EQ(3u, i);
    // A given start index is used as is; a first record of another client keeps it.
    host().log.clear();
    uint32_t given = 0;
    i = kesvar::StartMoneyWalk("F1", "C1", &given);
    EXPECT_FALSE(kesvar::NextMoneyLimit(&i, "F1", "C1", &m));
    EXPECT_EQ(0u, i);
    EXPECT_TRUE(LogLines("findFirst").empty());
    host().findFirstStores = false;
    EXPECT_EQ(0xFFFFFFFFu, kesvar::StartSecWalk("F1", "C1", "", nullptr));
}

TEST(Walks, SecurityWalkComparesTheSecurityAndVersion1ReadsNoLeverage) {
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
    EXPECT_EQ((Lines{"findFirstSec F1 C1 SBER"}), LogLines("findFirstSec"));
    kesvar::SecLimit s;
    int32_t total = 0;
    while (kesvar::NextSecLimit(&start, "F1", "C1", "SBER", &s))
        total += s.currentBalance;
    EXPECT_EQ(5 + 7, total);
    EXPECT_EQ(2u, start);
    EXPECT_EQ(12.5, s.lockedBuyValue);
    EXPECT_STREQ("ACC2", s.trdAcc);
}

TEST(Memory, HooksAreUsedCallByCallWithRuntimeFallback) {
    KRSetMemoryManagement(HookAlloc, nullptr, HookRealloc);
    KRSetLimitCallbacks(FindFirstMoneyLimit, GetMoneyLimit, FindFirstSecLimit, GetSecLimit);
    KRSetParamCallbacks(GetParamId, GetParamValue);
    ASSERT_EQ(1, KRInit(88, 88));
    kesvar::Array<int32_t> a;
    ASSERT_NE(nullptr, kesvar::ArrayAppend(a));
    ASSERT_NE(nullptr, kesvar::ArrayAppend(a));
    EXPECT_EQ(2u, host().memory.reallocSizes.size()); // growth goes through the realloc hook
    void* p = kesvar::MemAlloc(16);
    EXPECT_EQ(1, host().memory.allocCalls);
    free(p);
    kesvar::ArrayFree(a); // no free hook: the runtime takes the block
    EXPECT_EQ(0, host().memory.freeCalls);
    host().memory.failAt = host().memory.allocating + 1;
    kesvar::Array<double> b;
    EXPECT_EQ(nullptr, kesvar::ArrayAppend(b));
    EXPECT_EQ(0, b.count);
}

// Items whose hashes fall in a few long runs, one of them wrapping round the end of the slots:
// every item stays findable while the index grows, and after a third are removed (each removal
// shifts its run back over the hole) exactly the others are.
TEST(HashIndex, EveryItemFoundThroughGrowthAndRemovals) {
    static std::vector<uint32_t> hashes; // by item
    auto hashOf = [](const void*, int32_t item) { return hashes[size_t(item)]; };
    auto same = [](const void*, int32_t item, const void* key) {
        return item == *static_cast<const int32_t*>(key);
    };
    kesvar::HashIndex h;
    const int32_t n = 500;
    for (int32_t i = 0; i < n; ++i) {
        hashes.push_back(i % 7 == 0 ? 0xFFFFFFFFu : uint32_t(i % 5) * 0x33333333u);
        ASSERT_TRUE(kesvar::HashInsert(h, hashes[size_t(i)], i, hashOf, nullptr));
    }
    for (int32_t i = 0; i < n; i += 3)
        kesvar::HashRemove(h, hashes[size_t(i)], i, hashOf, nullptr);
    for (int32_t i = 0; i < n; ++i)
        EXPECT_EQ(i % 3 == 0 ? -1 : i, kesvar::HashFind(h, hashes[size_t(i)], same, nullptr, &i))
            << i;
    EXPECT_EQ(n - (n + 2) / 3, h.count);
    kesvar::HashFree(h);
}

TEST(Platform, UpperCaseTableOfCodePage1252) {
    // ASCII letters, the Latin-1 letters of 0xE0-0xFE but the sign 0xF7, and four letters
    // whose capitals live in 0x80-0x9F.
    const std::map<int, int> special = {{0x9A, 0x8A}, {0x9C, 0x8C}, {0x9E, 0x8E}, {0xFF, 0x9F}};
    int changed = 0;
    for (int c = 1; c < 256; ++c) {
        int expected = c;
        if ((c >= 'a' && c <= 'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7))
            expected = c - 32;
        else if (special.count(c))
            expected = special.at(c);
        changed += expected != c;
        EXPECT_EQ(expected, kesvar::platform::UpperCaseByte(static_cast<unsigned char>(c))) << c;
    }
    EXPECT_EQ(26 + 30 + 4, changed);
    char text[] = "limit=\xe9t\xe9\xff.";
    EXPECT_TRUE(kesvar::platform::UpperCaseText(text, sizeof text));
    EXPECT_STREQ("LIMIT=\xc9T\xc9\x9f.", text);
}
