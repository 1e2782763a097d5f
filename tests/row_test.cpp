// Row binding and the credit-lag-2 buy limit.
#include <gtest/gtest.h>

#include <string>

#include "fake_host.h"
#include "frame/handles.h"
#include "row/row.h"
#include "settings/settings.h"

namespace {

TEST(RowBinding, PicksClientRecordAndCreditLag) {
    // bound: client code of the record bound to, "" for the firm record.
    // clang-format off
    const struct { const char *text, *client, *bound; int creditLag2; } cases[] = {
        // Exact pass folds case; prefix pass takes list order; a lone '*' takes everyone.
        {"[CLABC_MARGIN]\n[CLAB*_MARGIN]\n[CL*_MARGIN]\n", "abc", "ABC", 0},
        {"[CLABC_MARGIN]\n[CLAB*_MARGIN]\n[CL*_MARGIN]\n", "ABX", "AB*", 0},
        {"[CLABC_MARGIN]\n[CLAB*_MARGIN]\n[CL*_MARGIN]\n", "Q1", "*", 0},
        {"[CLA*_MARGIN]\n[CLAB*_MARGIN]\n", "ABC", "A*", 0},
        // A prefix name covers the code itself but not a shorter one: then the firm record.
        {"[CLABC*_MARGIN]\n", "ABC", "ABC*", 0},
        {"[CLABC*_MARGIN]\n", "AB", "", 0},
        // Lags: firm default, exact entry over default and prefix, only 2 marks the row.
        {"[GENERAL]\nCREDITLAG=2\n", "C1", "", 1},
        {"[GENERAL]\nCREDITLAG=2\n[CLIENTLAG]\nC1=1\n", "c1", "", 0},
        {"[GENERAL]\nCREDITLAG=7\n", "C1", "", 0},
        {"[CLIENTLAG]\nQ1=1\nQ*=2\n", "Q1", "", 0},
        {"[CLIENTLAG]\nQ1=1\nQ*=2\n", "Q2", "", 1},
        // Two prefixes "" and "Q": the first probe lands on "", which fits every client.
        {"[CLIENTLAG]\n*=2\nQ*=1\n", "Q5", "", 1},
        // The lag lists are the firm's, also for a client record.
        {"[CLQ5_MARGIN]\n[CLIENTLAG]\nQ5=2\n", "q5", "Q5", 1},
    };
    // clang-format on
    fakehost::Install(2);
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.text) + " / " + c.client);
        ASSERT_EQ(KRSetDliniFile("F1", c.text), 1);
        KRMarginalRow row = fakehost::Row("F1", c.client);
        row.creditLag2 = 7; // binding overwrites it
        ASSERT_TRUE(KRInitMarginalRow(&row) && kesvar::ResolveHandle(row.binding));
        EXPECT_STREQ(kesvar::ResolveHandle(row.binding)->clientCode, c.bound);
        EXPECT_EQ(row.creditLag2, c.creditLag2);
    }
}

TEST(RowBinding, StaleOrFailedBindingIsRefused) {
    fakehost::Install(2);
    ASSERT_EQ(KRSetDliniFile("F1", "[CLC1_MARGIN]\n"), 1);
    KRMarginalRow client = fakehost::Row("F1", "C1");
    ASSERT_EQ(KRInitMarginalRow(&client), 1);
    // A reload makes the binding stale; binding again gives a usable one.
    ASSERT_EQ(KRSetDliniFile("F1", "[GENERAL]\nCREDITLAG=2\n[CLC1_MARGIN]\n"), 1);
    EXPECT_EQ(KRCalcMarginalRow(&client), 0);
    EXPECT_EQ(KRGetLastError(), KR_ERR_ARGUMENT);
    ASSERT_TRUE(KRInitMarginalRow(&client) && client.creditLag2 == 1);
    EXPECT_EQ(KRCalcMarginalRow(&client), 1);

    // Firm keys are case-sensitive; the failed rebinding drops the old binding.
    client.firmId[0] = 'f';
    EXPECT_EQ(KRInitMarginalRow(&client), 0);
    EXPECT_EQ(KRGetLastError(), KR_ERR_NO_SETTINGS);
    EXPECT_EQ(std::make_pair(client.binding, client.creditLag2), std::make_pair(0u, uint8_t(0)));
    EXPECT_EQ(KRCalcMarginalRow(&client), 0);
    EXPECT_EQ(KRGetLastError(), KR_ERR_ARGUMENT);
}

// Lag2BuyLimit reads only these fields; the derived A = SV - US, B = (M + SV) - BC,
// H = (E - LA) - BA and s = E + y of each case are noted.
TEST(RowFormulas, Lag2BuyLimit) {
    // clang-format off
    const struct { const char* name; double K, M, SV, E, BC, US, LA, BA, D, y, want; } cases[] = {
        // A = 20, B = 40, H = 90, s = 100.
        // R1 0 (B < s), R2 min(20/1 + 100, 40) = 40, x = (100 + 40 + 20) / 2 = 80 -> F 80;
        // R4 0 (80 < s), t = 90, R5 90, x = (100 + 90 - 10) / 2 = 90 not > t -> G 90.
        {"worked example", 1, 20, 20, 100, 0, 0, 10, 0, 10, 0, 80},
        // s = 70. R2 = 20 + 100 - 30 = 90 -> 40; x = (70+40+20)/2 = 65 -> F 65.
        // R4 = 80 (>= 70), t = 60, R5 60, x = (70+90-10)/2 = 75 -> R6 70; G 80 -> 65.
        {"negative y", 1, 20, 20, 100, 0, 0, 10, 0, 10, -30, 65},
        // B = 150 >= s: R1 = E = 100, R2 = min(120, 150) = 120, R3 0 (E < B) -> F 120; G 90.
        {"R1 branch", 1, 130, 20, 100, 0, 0, 10, 0, 10, 0, 90},
        // A = 20, B = 60, s = 50: R1 = R2 = 60, x = (50 + 60 + 20) / 2 = 65 capped at s -> F 60;
        // H - D = 100 >= s -> G 100.
        {"R3 capped at s", 1, 40, 20, 100, 0, 0, 0, 0, 0, -50, 60},
        {"no equity", 1, 20, 20, 0, 0, 0, 10, 0, 10, 0, 0},
        // K = 0: F = B = 500 (A = 0), G = H - D = (1000 - 700) - 0 = 300.
        {"K 0", 0, 500, 0, 1000, 0, 0, 700, 0, 0, 0, 300},
        {"K negative counts as 0", -2, 500, 0, 1000, 0, 0, 700, 0, 0, 0, 300},
        // A = 0 - 1 < 0: F = 0; G = 300 -> 0, or G = 300 - 400 = -100 -> -100.
        {"K 0, A negative", 0, 500, 0, 1000, 0, 1, 700, 0, 0, 0, 0},
        {"K 0, negative settlement bound", 0, 500, 0, 1000, 0, 1, 700, 0, 400, 0, -100},
        // B = (100 + 0) - 150 = -50 < 0: F = 0; G = (1000 - 0) - 20 - 0 = 980 -> 0.
        {"K 0, B negative", 0, 100, 0, 1000, 150, 0, 0, 20, 0, 0, 0},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        KRMarginalRow row = fakehost::Row("F1", "C1", KR_ROW_SIZE_248);
        row.leverage = c.K, row.moneyAvailable = c.M, row.shortValue = c.SV, row.equity = c.E;
        row.buyCommitment = c.BC, row.uncoveredSellValue = c.US, row.longValueAsset = c.LA;
        row.buyCommitmentAsset = c.BA, row.settlementDebt = c.D;
        EXPECT_EQ(kesvar::Lag2BuyLimit(&row, c.y), c.want);
    }
}

} // namespace
