// The settings loader: line tools, numbers, the record table, reloads, release and
// allocation failure.
#include <gtest/gtest.h>

#include <math.h>
#include <string.h>

#include <string>

#include "fake_host.h"
#include "settings/reader.h"
#include "settings/settings.h"

using namespace kesvar;

namespace {

FirmSettings* Load(const char* key, const std::string& text) {
    EXPECT_EQ(1, KRSetDliniFile(key, text.c_str()));
    int32_t i = FindFirmSettings(key);
    return i < 0 ? nullptr : gState.firmSettingsTable[i];
}

TEST(SettingsLines, TrimsAsTheGrammarSays) {
    struct Case {
        const char* in;
        const char* line;  // after TrimLine
        const char* value; // after TrimValue
    } cases[] = {{"  ab . \r\n", "ab", "ab . \r\n"},
                 {"a\t", "a\t", "a\t"},
                 {"\tab ", "\tab", "\tab"},
                 {"...", "", "..."},
                 {" a b ", "a b", "a b"},
                 {"a. .", "a", "a. ."},
                 {"", "", ""},
                 {"   ", "", ""}};
    for (const Case& c : cases) {
        char a[32], b[32];
        strcpy(a, c.in);
        strcpy(b, c.in);
        TrimLine(a);
        TrimValue(b);
        EXPECT_STREQ(c.line, a) << "[" << c.in << "]";
        EXPECT_STREQ(c.value, b) << "[" << c.in << "]";
    }
}

TEST(SettingsLines, CopyBoundedNeverWritesPastCountAndZero) {
    char dst[8];
    memset(dst, '#', sizeof dst);
    CopyBounded(dst, "ABCDEFG", 4);
    EXPECT_STREQ("ABCD", dst);
    EXPECT_EQ('#', dst[5]);
    CopyBounded(dst, "AB", 4);
    EXPECT_STREQ("AB", dst);
}

TEST(SettingsNumbers, IntegersSaturateAndStopAtTheFirstOtherCharacter) {
    struct Case {
        const char* in;
        int32_t out;
    } cases[] = {// clang-format off
        {"42", 42}, {"  -17x", -17}, {"+5", 5}, {"\t\n\v\f\r 7", 7}, {"abc", 0}, {"", 0},
        {"- 5", 0}, {"0x1A", 0}, {"2147483647", 2147483647}, {"2147483648", 2147483647},
        {"99999999999999999999999", 2147483647}, {"-2147483648", INT32_MIN},
        {"-2147483649", INT32_MIN}, {"-99999999999999999999999", INT32_MIN}};
    // clang-format on
    for (const Case& c : cases)
        EXPECT_EQ(c.out, ReadInt(c.in)) << "[" << c.in << "]";
}

TEST(SettingsNumbers, DoublesFollowTheFixedGrammar) {
    struct Case {
        const char* in;
        double out;
    } cases[] = {// clang-format off
        {"0.5", 0.5}, {"5.", 5.0}, {".5", 0.5}, {".", 0.0}, {"-.5e1", -5.0}, {"  +2.5", 2.5},
        {"1e", 1.0}, {"1e+", 1.0}, {"1E-2x", 0.01}, {"1,5", 1.0}, {"NAN", 0.0}, {"INF", 0.0},
        {"0X1P3", 0.0}, {"0.1", 0.1}, {"0.30000000000000004", 0.30000000000000004},
        {"123456789012345678901234567890", 123456789012345678901234567890.0},
        {"1e400", HUGE_VAL}, {"-1e400", -HUGE_VAL}, {"1e99999999999999999999", HUGE_VAL},
        {"0.000001e-400", 0.0}, {"4.9e-324", 4.9e-324},
        {"30000e-328", 4.9406564584124654e-324}, // rounds up to the smallest subnormal
        {"20000e-328", 0.0}};                    // rounds down to zero
    // clang-format on
    for (const Case& c : cases)
        EXPECT_EQ(c.out, ReadDouble(c.in)) << "[" << c.in << "]";
    EXPECT_TRUE(signbit(ReadDouble("-1e-400")));
    EXPECT_GT(ReadDouble("4.9e-324"), 0.0);
}

TEST(SettingsLoader, EmptyTextGivesTheDefaults) {
    fakehost::Install(2);
    FirmSettings* f = Load("F1", "");
    ASSERT_NE(nullptr, f);
    EXPECT_EQ(0, f->checkMaxCredit);
    EXPECT_EQ(1, f->limitsInLots);
    EXPECT_EQ(1, f->creditLag);
    EXPECT_EQ(0, f->restrictBuy);
    EXPECT_EQ(0, f->volumeFlag);
    ASSERT_NE(nullptr, f->mainMarginClasses);
    EXPECT_STREQ("", f->mainMarginClasses);
    EXPECT_EQ(0, f->marginList.count + f->assetList.count + f->restShortList.count);
    EXPECT_EQ(0, f->clients.count);
    EXPECT_EQ(nullptr, f->parent);
    EXPECT_NE(0u, f->handle);
}

TEST(SettingsLoader, VolumeFlagNeedsVolumeInTheFirstColumnAfterTheFirstLine) {
    fakehost::Install(2);
    struct Case {
        const char* text;
        int8_t flag;
    } cases[] = {{"X\nvolume=1", 1}, {"X\nVOLUMEFOO", 1}, {"volume\nX", 0},
                 {"X\n volume", 0},  {"X\nVOLUM", 0},     {"X\r\nVOLUME", 1}};
    for (const Case& c : cases) {
        FirmSettings* f = Load("F", c.text);
        ASSERT_NE(nullptr, f);
        EXPECT_EQ(c.flag, f->volumeFlag) << c.text;
    }
}

TEST(SettingsLoader, LinesAreTrimmedBeforeHeadersAreMatched) {
    fakehost::Install(2);
    struct Case {
        const char* text;
        int32_t creditLag;
    } cases[] = {{"[GENERAL]\nCREDITLAG=2", 2},
                 {"  [general] . \r\ncreditlag=2.\r\n", 2},
                 {"[GENERAL]\t\nCREDITLAG=2", 1}, // a tab is not white space
                 {"[GENERAL] X\nCREDITLAG=2", 1},
                 {"CREDITLAG=2\n[GENERAL]", 1},
                 {"[GENERAL]\nCREDITLAG\n[X]\nCREDITLAG=2", 1},
                 // Only the first occurrence of a fixed-name section is read.
                 {"[GENERAL]\nLIMITSINLOTS=1\n[X]\n[GENERAL]\nCREDITLAG=2", 1},
                 {"[GENERAL]\n[GENERAL]\nCREDITLAG=2", 1}};
    for (const Case& c : cases) {
        FirmSettings* f = Load("F", c.text);
        ASSERT_NE(nullptr, f);
        EXPECT_EQ(c.creditLag, f->creditLag) << c.text;
    }
}

TEST(SettingsLoader, FirmKeysAreCaseSensitiveAndStoredAsGiven) {
    fakehost::Install(2);
    Load("FIRM", "[GENERAL]\nLIMITSINLOTS=0");
    Load("firm", "");
    ASSERT_EQ(2, gState.firmSettingsTable.count);
    EXPECT_STREQ("firm", gState.firmSettingsTable[1]->firmId);

    EXPECT_EQ(0, KRIsLimitsInLots("FIRM"));
    EXPECT_EQ(KR_ERR_NONE, KRGetLastError());
    EXPECT_EQ(1, KRIsLimitsInLots("firm"));
    EXPECT_EQ(KR_ERR_NONE, KRGetLastError());
    EXPECT_EQ(1, KRIsLimitsInLots("Firm"));
    EXPECT_EQ(KR_ERR_NO_SETTINGS, KRGetLastError());
    // Keys too long for the record are refused, not cut.
    EXPECT_EQ(0, KRSetDliniFile("ABCDEFGHIJKLM", ""));
    EXPECT_EQ(KR_ERR_ARGUMENT, KRGetLastError());
    EXPECT_EQ(1, KRIsLimitsInLots("ABCDEFGHIJKLM"));
    EXPECT_EQ(KR_ERR_NO_SETTINGS, KRGetLastError());

    ASSERT_EQ(1, KRCleanupDlifiles());
    EXPECT_EQ(0, gState.firmSettingsTable.count);
    EXPECT_EQ(1, KRIsLimitsInLots("FIRM"));
    EXPECT_EQ(KR_ERR_NO_SETTINGS, KRGetLastError());
    Load("firm", "");
    EXPECT_EQ(0, FindFirmSettings("firm"));
}

TEST(SettingsLoader, ReloadKeepsTheSlotAndMakesBoundRowsStale) {
    fakehost::Install(2);
    FirmSettings* a = Load("A", "[CLC1_MARGIN]\nRSTRNMBUY=1\n[CLIENTLAG]\nC1=2");
    Load("B", "");
    ASSERT_EQ(1, a->clients.count);
    uint32_t firmHandle = a->handle;
    uint32_t clientHandle = a->clients[0]->handle;
    EXPECT_NE(firmHandle, clientHandle);

    KRMarginalRow row = fakehost::Row("A", "C1");
    ASSERT_EQ(1, KRInitMarginalRow(&row));
    EXPECT_EQ(clientHandle, row.binding);

    FirmSettings* again = Load("A", "[GENERAL]\nCREDITLAG=2");
    EXPECT_EQ(a, again);
    EXPECT_EQ(0, FindFirmSettings("A"));
    EXPECT_EQ(2, gState.firmSettingsTable.count);
    EXPECT_EQ(0, a->clients.count); // nothing of the first text survives
    EXPECT_EQ(0, a->clientLags.count);
    EXPECT_EQ(2, a->creditLag);
    EXPECT_NE(firmHandle, a->handle);
    EXPECT_NE(clientHandle, a->handle);

    EXPECT_EQ(0, KRIsMarginSeccode(&row, "X", nullptr, nullptr));
    EXPECT_EQ(KR_ERR_ARGUMENT, KRGetLastError());
    ASSERT_EQ(1, KRInitMarginalRow(&row));
    EXPECT_EQ(a->handle, row.binding);
    EXPECT_EQ(0, KRIsMarginSeccode(&row, "X", nullptr, nullptr));
    EXPECT_EQ(KR_ERR_NONE, KRGetLastError());
}

// A text that touches every reader and every kind of allocation the loader makes.
const char* kRichText = "[LIMITALLOWEDSECURITY]\n"
                        "TQBR=SBER,GAZP,<ALL>\n"
                        "[ASSETSECURITIES]\nTQBR=LKOH\n"
                        "[RESTSHORTSECURITIES]\nTQBR=SBER\n"
                        "[GENERAL]\nMAINMARGINCLASSES=TQBR,SPBFUT\nCREDITLAG=2\n"
                        "[CLC1_MARGIN]\nTQBR=SBER\nTQBR_ASSET=GAZP\n"
                        "[CLT_MARGIN_TEMPLATE]\nCLIENTS=C1,C2,C3\nTQBR=GAZP,<ALL>\n"
                        "[CLIENTLAG]\nC1=2\nQ*=1\n"
                        "[SECURITYWEIGHT]\nSBER=0.5,1.5\n"
                        "[BOARDTAG]\nTQBR=\n"
                        "[ADDLIMITBOARDS]\nK=B1,B2\n"
                        "[ADDREPOTRDACC]\nK=ACC1\n";

void AddTqbr() {
    fakehost::AddClass(10, "TQBR", {{101, "SBER"}, {102, "GAZP"}, {103, "LKOH"}});
}

TEST(SettingsLoader, CleanupReleasesEveryHookAllocation) {
    fakehost::Install(2);
    AddTqbr();
    Load("A", kRichText);
    Load("A", kRichText);
    Load("B", kRichText);
    ASSERT_EQ(3, gState.firmSettingsTable[0]->clients.count);
    ASSERT_EQ(1, KRCleanup());
    const fakehost::MemoryStats& m = fakehost::host().memory;
    EXPECT_EQ(0, m.live);
    EXPECT_EQ(0, m.foreignFrees);
}

// Every allocation of a load fails in turn: each time the firm ends with no record, nothing
// leaks, and a previously loaded record for the key is gone too.
TEST(SettingsLoader, AllocationFailureAnywhereLeavesNoRecord) {
    fakehost::Install(2);
    fakehost::MemoryStats& m = fakehost::host().memory;
    int64_t before = m.allocating;
    AddTqbr();
    Load("A", kRichText);
    int64_t perLoad = m.allocating - before;
    ASSERT_EQ(1, KRCleanup());

    for (bool reload : {false, true}) {
        for (int64_t k = 1; k <= perLoad; ++k) {
            AddTqbr();
            Load("OTHER", "");
            if (reload) Load("A", kRichText);
            m.failAt = m.allocating + k;
            int32_t result = KRSetDliniFile("A", kRichText);
            int32_t code = KRGetLastError();
            m.failAt = 0;
            if (result == 1) break; // the load needed fewer allocations this time
            EXPECT_EQ(KR_ERR_NO_MEMORY, code) << k;
            EXPECT_EQ(-1, FindFirmSettings("A")) << k;
            EXPECT_EQ(0, FindFirmSettings("OTHER")) << k;
            EXPECT_EQ(1, gState.firmSettingsTable.count) << k;
            ASSERT_EQ(1, KRCleanup());
            ASSERT_EQ(0, m.live) << "leak when allocation " << k << " failed";
        }
    }
    EXPECT_EQ(0, m.foreignFrees);
}

} // namespace
