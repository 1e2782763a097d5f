// The settings loader: line grammar, numbers, the record table, reloads, release and
// allocation failure.
#include <gtest/gtest.h>

#include <math.h>
#include <string>
#include <tuple>

#include "fake_host.h"
#include "settings/reader.h"

using namespace kesvar;

namespace {

FirmRecord* Load(const char* key, const std::string& text) {
    EXPECT_EQ(1, KRSetDliniFile(key, text.c_str()));
    return gState.firmSettingsTable[FindFirmSettings(key)];
}

// Integers saturate; both stop at the first other character; doubles are correctly rounded.
TEST(SettingsNumbers, FollowTheFixedGrammar) {
    const std::pair<const char*, int32_t> ints[] = {// clang-format off
        {"  -17x", -17}, {"+5", 5}, {"\t\n\v\f\r 7", 7}, {"abc", 0}, {"- 5", 0}, {"0x1A", 0},
        {"2147483647", 2147483647}, {"2147483648", 2147483647},
        {"99999999999999999999999", 2147483647}, {"-2147483648", INT32_MIN},
        {"-2147483649", INT32_MIN}, {"-99999999999999999999999", INT32_MIN}};
    // clang-format on
    for (const auto& [in, out] : ints)
        EXPECT_EQ(out, ReadInt(in)) << "[" << in << "]";
    const std::pair<const char*, double> cases[] = {
        // clang-format off
        {"5.", 5.0}, {".5", 0.5}, {".", 0.0}, {"-.5e1", -5.0}, {"  +2.5", 2.5}, {"1e", 1.0},
        {"1e+", 1.0}, {"1E-2x", 0.01}, {"1,5", 1.0}, {"NAN", 0.0}, {"INF", 0.0}, {"0X1P3", 0.0},
        {"0.30000000000000004", 0.30000000000000004}, {"1e400", HUGE_VAL}, {"-1e400", -HUGE_VAL},
        {"123456789012345678901234567890", 123456789012345678901234567890.0},
        {"1e99999999999999999999", HUGE_VAL}, {"0.000001e-400", 0.0},
        // Either side of half the smallest subnormal.
        {"30000e-328", 4.9406564584124654e-324}, {"20000e-328", 0.0}};
    // clang-format on
    for (const auto& [in, out] : cases)
        EXPECT_EQ(out, ReadDouble(in)) << "[" << in << "]";
    EXPECT_TRUE(signbit(ReadDouble("-1e-400")));
}

// Keys too long for the record are refused, not cut; KRCleanupDlifiles drops every firm.
TEST(SettingsLoader, FirmKeysAreCaseSensitiveAndNeverCut) {
    fakehost::Install(2);
    Load("FIRM", "[GENERAL]\nLIMITSINLOTS=0");
    Load("firm", "");
    EXPECT_EQ(0, KRSetDliniFile("ABCDEFGHIJKLM", ""));
    EXPECT_EQ(KR_ERR_ARGUMENT, KRGetLastError());
    const std::tuple<const char*, int32_t, int32_t> cases[] = {
        // clang-format off
        {"FIRM", 0, KR_ERR_NONE}, {"firm", 1, KR_ERR_NONE}, {"Firm", 1, KR_ERR_NO_SETTINGS},
        {"ABCDEFGHIJKL", 1, KR_ERR_NO_SETTINGS}};
    // clang-format on
    for (const auto& [key, lots, error] : cases) {
        EXPECT_EQ(lots, KRIsLimitsInLots(key)) << key;
        EXPECT_EQ(error, KRGetLastError()) << key;
    }
    ASSERT_EQ(1, KRCleanupDlifiles());
    EXPECT_EQ(-1, FindFirmSettings("FIRM"));
}

TEST(SettingsLoader, ReloadKeepsTheSlotAndMakesBoundRowsStale) {
    fakehost::Install(2);
    FirmRecord* a = Load("A", "[CLC1_MARGIN]\n[CLIENTLAG]\nC1=2");
    Load("B", "");
    uint32_t firmHandle = a->handle, clientHandle = HandleOf(&a->clients[0]);
    KRMarginalRow row = fakehost::Row("A", "C1");
    ASSERT_EQ(1, KRInitMarginalRow(&row));
    EXPECT_EQ(clientHandle, row.binding);

    EXPECT_EQ(a, Load("A", "[GENERAL]\nCREDITLAG=2"));
    EXPECT_EQ(0, FindFirmSettings("A"));
    EXPECT_EQ(0, a->clients.count + a->clientLags.count); // nothing of the old text survives
    EXPECT_EQ(2, a->creditLag);
    EXPECT_TRUE(a->handle != firmHandle && a->handle != clientHandle);

    EXPECT_EQ(0, KRIsMarginSeccode(&row, "X", nullptr, nullptr));
    EXPECT_EQ(KR_ERR_ARGUMENT, KRGetLastError());
    ASSERT_EQ(1, KRInitMarginalRow(&row));
    EXPECT_EQ(a->handle, row.binding);
}

// Touches every reader and every kind of allocation the loader makes.
const char* kRichText = "[LIMITALLOWEDSECURITY]\nTQBR=SBER,GAZP,<ALL>\n"
                        "[ASSETSECURITIES]\nTQBR=LKOH\n[RESTSHORTSECURITIES]\nTQBR=SBER\n"
                        "[GENERAL]\nMAINMARGINCLASSES=TQBR,SPBFUT\nCREDITLAG=2\n"
                        "[CLC1_MARGIN]\nTQBR=SBER\nTQBR_ASSET=GAZP\n"
                        "[CLT_MARGIN_TEMPLATE]\nCLIENTS=C1,C2,C3\nTQBR=GAZP,<ALL>\n"
                        "[CLIENTLAG]\nC1=2\nQ*=1\n[SECURITYWEIGHT]\nSBER=0.5,1.5\n"
                        "[BOARDTAG]\nTQBR=\n[ADDLIMITBOARDS]\nK=B1,B2\n[ADDREPOTRDACC]\nK=ACC1\n";

// A first load, reload and second firm are all freed by KRCleanup. Then every allocation
// of a load fails in turn: the firm ends with no record (an earlier one is gone too), and
// nothing leaks.
TEST(SettingsLoader, CleanupAndAllocationFailureLeaveNothing) {
    fakehost::Install(2);
    fakehost::MemoryStats& m = fakehost::host().memory;
    fakehost::AddClass(10, "TQBR", {{101, "SBER"}, {102, "GAZP"}, {103, "LKOH"}});
    int64_t before = m.allocating;
    Load("A", kRichText);
    int64_t perLoad = m.allocating - before;
    Load("A", kRichText);
    Load("B", kRichText);
    ASSERT_EQ(3, gState.firmSettingsTable[0]->clients.count);
    ASSERT_EQ(1, KRCleanup());
    EXPECT_EQ(0, m.live);

    for (bool reload : {false, true}) {
        for (int64_t k = 1; k <= perLoad; ++k) {
            fakehost::AddClass(10, "TQBR", {{101, "SBER"}, {102, "GAZP"}, {103, "LKOH"}});
            Load("OTHER", "");
            if (reload) Load("A", kRichText);
            m.failAt = m.allocating + k;
            bool loaded = KRSetDliniFile("A", kRichText) == 1;
            m.failAt = 0;
            if (loaded) break; // the load needed fewer allocations this time
            EXPECT_EQ(KR_ERR_NO_MEMORY, KRGetLastError()) << k << reload;
            EXPECT_EQ(-1, FindFirmSettings("A")) << k << reload;
            EXPECT_EQ(1, gState.firmSettingsTable.count) << k << reload; // OTHER stays
            ASSERT_EQ(1, KRCleanup());
            ASSERT_EQ(0, m.live) << "leak when allocation " << k << " failed, reload " << reload;
        }
    }
    EXPECT_EQ(0, m.foreignFrees);
}

} // namespace
