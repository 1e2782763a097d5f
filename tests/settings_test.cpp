// The settings text by what it does to a host: list pieces, [GENERAL], client sections and
// templates, client lags, weights and the numbers of the text, boards and accounts, firm keys,
// and what the loader tells a diagnostic sink about the lines it skipped or changed.
#include <gtest/gtest.h>

#include <math.h>

#include <algorithm>
#include <regex>
#include <sstream>

#include "exports/internal.h"
#include "links/links.h"
#include "scenario.h"

using namespace memory_host;

namespace {

// The scenario's classes and prices; firm F and its clients have no limits unless a test adds
// them.
struct Settings : testing::Test {
    void SetUp() override {
        ASSERT_EQ(1, Install(2));
        ASSERT_EQ(4, world::RegisterClasses());
        world::AddHostData();
    }
    static void Load(const std::string& t) { EXPECT_EQ(1, KRSetDliniFile("F", t.c_str())) << t; }
    static KRMarginalRow Calculated(const char* client) {
        KRMarginalRow row = Row("F", client);
        EXPECT_TRUE(KRInitMarginalRow(&row) && KRCalcMarginalRow(&row)) << client;
        return row;
    }
    // maxBuy at 1 a lot for `row` as a lag-2 row holding 1000 of buy limits, 100 of free money
    // and `openLimit` of opening limits: 100 for a security in no list when buying is
    // restricted; for a margin and asset security under CHECKMAXCREDIT with an opening limit,
    // (100 + openLimit) / lot.
    static int32_t Lag2Buy(KRMarginalRow row, uint32_t secId, double openLimit) {
        row.creditLag2 = 1;
        row.leverageGiven = 0;
        row.marginBuyLimit = row.ownBuyLimit = 1000;
        row.moneyCurrent = 100;
        row.moneyLocked = 0;
        row.openLimitTotal = openLimit;
        KRMarginalActv a = Actv(secId / 100 * 10, secId);
        EXPECT_TRUE(KRInitMarginalActv(&row, &a) && KRCalcMarginalActv(&row, &a, 1.0));
        return a.maxBuy;
    }
};

} // namespace

// Pieces are trimmed, kept once, dropped when empty or longer than 12 characters (a piece is cut
// at 255 before it is trimmed); only the line's last '.' goes; keys longer than 12 characters
// and lines without '=' are dropped; explicit codes of a "<ALL>" entry stay unresolved ahead of
// the expansion; entries wait for classes registered later.
TEST(SettingsLists, PiecesTrimmedBoundedKeptOnceAndAllExpandsLast) {
    ASSERT_EQ(1, Install(2));
    Settings::Load("[LIMITALLOWEDSECURITY]\ntqbr= sber , gazp,SBER,, LKOH ,ABCDEFGHIJKLM,"
                   "ABCDEFGHIJKL,A.,B.\nABCDEFGHIJKLM=X\nNOEQUALS\nEMPTY=\nTQBR=NEW,<all>,GAZP\n"
                   "OTH=<ALL>,X\nFUT=" +
                   std::string(300, ' ') + "Z\nUNL=" + std::string(250, ' ') + "Z\n");
    // clang-format off
    EXPECT_EQ("4294967295 TQBR 4294967295:SBER 4294967295:GAZP 4294967295:LKOH 4294967295:ABCDEFGHIJKL "
              "4294967295:A. 4294967295:B | 4294967295 EMPTY | 4294967295 TQBR 4294967295:NEW "
              "4294967295:GAZP | 4294967295 OTH 4294967295:X | 4294967295 FUT | 4294967295 UNL 4294967295:Z",
              world::MarginList("F", "C1"));
    ASSERT_EQ(4, world::RegisterClasses());
    EXPECT_EQ("10 TQBR 101:SBER 102:GAZP 103:LKOH 4294967295:ABCDEFGHIJKL 4294967295:A. 4294967295:B | "
              "4294967295 EMPTY | 10 TQBR 4294967295:NEW 4294967295:GAZP 101:SBER 102:GAZP 103:LKOH "
              "104:NOPRICE | 40 OTH 4294967295:X 401:OTHER | 4294967295 FUT | 30 UNL 4294967295:Z",
              world::MarginList("F", "C1"));
    // Past 16 pieces repeats are found by registry index, the registry's first security too.
    Settings::Load("[LIMITALLOWEDSECURITY]\nTQBR=SBER,A,B,C,D,E,F,G,H,I,J,K,L,M,N,SBER,GAZP,GAZP\n");
    EXPECT_EQ("10 TQBR 101:SBER 4294967295:A 4294967295:B 4294967295:C 4294967295:D 4294967295:E "
              "4294967295:F 4294967295:G 4294967295:H 4294967295:I 4294967295:J 4294967295:K "
              "4294967295:L 4294967295:M 4294967295:N 102:GAZP", world::MarginList("F", "C1"));
    // clang-format on
}

// Headers match trimmed, upper-cased lines; '[' ends a section; only the first occurrence of
// a section is read; the first line of each key wins; RSTRNMBUY=0 is a value of its own; the
// volume flag wants VOLUME to start a line, not the first. Shown: credit lag 2, limits in
// lots, the short value in C1's own-funds limit (credit lag 1), buying outside the lists
// restricted, buying capped by CHECKMAXCREDIT.
TEST_F(Settings, GeneralSwitches) {
    AddSecLimit({"F", "C1", "GAZP", "", 0, 0, -1});
    // clang-format off
    const std::pair<const char*, const char*> cases[] = {
        {"", "01000"}, {"  [general] . \r\ncreditlag=2.\r\nvolume=1", "11-00"},
        {"[GENERAL]\t\nCREDITLAG=2\r\nVOLUMEFOO", "01100"}, // a tab is no blank
        {"[GENERAL] X\nCREDITLAG=2\n VOLUME", "01000"}, {"VOLUME\nCREDITLAG=2\n[GENERAL]", "01000"},
        {"[GENERAL]\nCREDITLAG\nCREDITLAGX=2\n[X]\nCREDITLAG=2", "01000"},
        {"[GENERAL]\nLIMITSINLOTS=1\n[X]\n[GENERAL]\nCREDITLAG=2", "01000"},
        {"[GENERAL]\nRSTRNMBUY=5\nLIMITSINLOTS=\nLIMITSINLOTS=1\nCREDITLAG=7\nCREDITLAG=2\n"
         "checkmaxcredit = -3\nCHECKMAXCREDIT=0", "00011"},
        {"[GENERAL]\nRSTRNMBUY=0\nRSTRNMBUY=1\nCHECKMAXCREDIT=0\nCHECKMAXCREDIT=1", "01000"},
        {"[GENERAL]\nCREDITLAG=2\nLIMITSINLOTS=0\nRSTRNMBUY=1\nCHECKMAXCREDIT=1", "10-11"}};
    // clang-format on
    for (const auto& c : cases) {
        Load(std::string(c.first) +
             "\n[LIMITALLOWEDSECURITY]\nTQBR=SBER\n[ASSETSECURITIES]\nTQBR=SBER,GAZP\n");
        const KRMarginalRow row = Calculated("C1");
        const int32_t lots = KRIsLimitsInLots("F");
        EXPECT_EQ(c.second, std::to_string(row.creditLag2) + std::to_string(lots) +
                                (row.creditLag2 ? "-" : std::to_string(row.ownBuyLimit != 0)) +
                                std::to_string(Lag2Buy(row, 103, 0) == 100) +
                                std::to_string(Lag2Buy(row, 101, 10) < (lots ? 100 : 1000)))
            << c.first;
    }
}

// Sections are read before templates and the first record of a code is kept; "_ASSET" is
// looked for before "_RESTSHORT"; names and keys longer than 12 characters, template client
// pieces that are empty, too long or end in '*', a second CLIENTS line and a template name of
// 101 characters are not taken; a template's IGNORERESTSHORTSECURITY is not read. A code binds
// its exact name (letter case aside), else the first prefix record in list order, else the
// firm's. Shown: the margin list, then whether LKOH and SBER are restricted for shorts, NOPRICE
// an asset (by the margin list when there is no asset list), and buying outside the lists
// restricted.
TEST_F(Settings, ClientSectionsTemplatesAndTheRecordOfACode) {
    const std::string firm = "[LIMITALLOWEDSECURITY]\nTQBR=NOPRICE\n";
    const std::string big =
        "[LIMITALLOWEDSECURITY]\nTQBR=LKOH\n[RESTSHORTSECURITIES]\nTQBR=LKOH\n[CLC1_MARGIN]\n"
        "TQBR=SBER,LKOH\nTQBR_ASSET=GAZP\nTQBR_RESTSHORT=SBER\nTQBR_ASSET_RESTSHORT=NOPRICE\n"
        "ABCDEFGHIJKLM_ASSET=SBER\nRSTRNMBUY=0\nRSTRNMBUY=1\n[CLQ*_MARGIN]\n"
        "IGNORERESTSHORTSECURITY=1\nIGNORERESTSHORTSECURITY=0\n[CLABCDEFGHIJKLM_MARGIN]\n"
        "TQBR=GAZP\n[CLT_MARGIN_TEMPLATE]\nCLIENTS=C1, c2 ,C3*,,ABCDEFGHIJKLM,C4\nCLIENTS=C9\n"
        "TQBR=GAZP\nRSTRNMBUY=5\nIGNORERESTSHORTSECURITY=1\n[CLU_MARGIN_TEMPLATE]\nTQBR=NOPRICE\n"
        "CLIENTS=C2,C5\n[CLNOBODY_MARGIN_TEMPLATE]\nTQBR=SBER\n[CL" +
        std::string(101, 'N') + "_MARGIN_TEMPLATE]\nCLIENTS=C7\nTQBR=SBER\n";
    const std::string three =
        "[CLABC_MARGIN]\nTQBR=SBER\n[CLAB*_MARGIN]\nTQBR=GAZP\n[CL*_MARGIN]\nTQBR=LKOH\n" + firm;
    const std::string two = "[CLA*_MARGIN]\nTQBR=SBER\n[CLAB*_MARGIN]\nTQBR=GAZP\n" + firm;
    // A prefix name covers the code itself but not a shorter one.
    const std::string long3 = "[CLABC*_MARGIN]\nTQBR=SBER\n[CLX_MARGIN]\nTQBR=GAZP\n" + firm;
    // clang-format off
    const struct { std::string text; const char *client, *seen; } cases[] = {
        {big, "C1", "10 TQBR 101:SBER 103:LKOH 0 1 1 0"}, {big, "Q7", "10 TQBR 103:LKOH 0 0 0 0"},
        {big, "C2", "10 TQBR 102:GAZP 0 0 0 1"}, {big, "C4", "10 TQBR 102:GAZP 0 0 0 1"},
        {big, "C5", "10 TQBR 104:NOPRICE 0 0 1 0"}, {big, "C3", "10 TQBR 103:LKOH 1 0 0 0"},
        {big, "C9", "10 TQBR 103:LKOH 1 0 0 0"}, {big, "C7", "10 TQBR 103:LKOH 1 0 0 0"},
        {big, "NOBODY", "10 TQBR 103:LKOH 1 0 0 0"}, {big, "ABCDEFGHIJKLM", "10 TQBR 103:LKOH 1 0 0 0"},
        {three, "abc", "10 TQBR 101:SBER 0 0 0 0"}, {three, "ABX", "10 TQBR 102:GAZP 0 0 0 0"},
        {three, "Q1", "10 TQBR 103:LKOH 0 0 0 0"}, {two, "ABC", "10 TQBR 101:SBER 0 0 0 0"},
        {two, "AB*", "10 TQBR 101:SBER 0 0 0 0"}, {long3, "ABC", "10 TQBR 101:SBER 0 0 0 0"},
        {long3, "AB", "10 TQBR 104:NOPRICE 0 0 1 0"}, {long3, "X", "10 TQBR 102:GAZP 0 0 0 0"},
        {"[CL_MARGIN]\nTQBR=SBER\n" + firm, "", "10 TQBR 104:NOPRICE 0 0 1 0"}};
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.client);
        Load(c.text);
        const KRMarginalRow row = Calculated(c.client);
        std::string seen = world::MarginList("F", c.client);
        for (uint32_t secId : {103, 101, 104}) {
            KRMarginalActv a = Actv(10, secId);
            ASSERT_EQ(1, KRInitMarginalActv(&row, &a));
            seen += " " + std::to_string(secId == 104 ? a.isAsset : a.isRestShort);
        }
        EXPECT_EQ(c.seen, seen + " " + std::to_string(Lag2Buy(row, 401, 0) == 100));
    }
}

// Lag entries of 1 or 2 only, the first line of a code kept, exact codes before prefixes, and
// among the prefixes the first probed of those that fit: with '*' and "Q*" that is the lone
// '*'. Client lags are the firm's, also for a client record. Integers: leading blanks, a sign,
// digits up to the first other character, saturated beyond 32 bits.
TEST_F(Settings, ClientLags) {
    // clang-format off
    const struct { std::string text; const char *lag2, *lag1; } cases[] = {
        {"[CLIENTLAG]\nM=2\nC=2\nX=2\nA=2\nP=2\nF=2\nT=2\n", "A C F M P T X", "B D N Z A0"},
        {"[CLIENTLAG]\nA1=2\nB1=2\n", "A1 a1 B1", "A0 A B2 C"},
        {"[CLIENTLAG]\nB=2\nb=1\nD=3\nE=x\nF=0\nA= 2 \nABCDEFGHIJKLM=2\nG=+2\nH=4294967298\n"
         "I=-4294967294\nJ=2x\nK=\t2\nL=\nM=- 2\n", "B b A G J K", "D E F H I L M ABCDEFGHIJKLM"},
        {"[GENERAL]\nCREDITLAG=2\n[CLIENTLAG]\nC1=1\nQ*=1\nQ1=2\n", "c2 Q1 q1 R", "c1 Q2 Q"},
        {"[CLIENTLAG]\n*=2\nQ*=1\n", "Q5 A", ""}, {"[CLIENTLAG]\nQ*=1\nR*=2\n", "R RX", "Q5 A S"},
        {"[GENERAL]\nCREDITLAG=7\n", "", "C1"}, {"[CLQ5_MARGIN]\n[CLIENTLAG]\nQ5=2\n", "q5", "Q6"},
        {"[CLIENTLAG]\nV=" + std::string(255, ' ') + "2\nW=" + std::string(254, ' ') + "2\n", "W", "V"}};
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        Load(c.text);
        for (int lag = 2; lag >= 1; --lag) {
            std::istringstream clients(lag == 2 ? c.lag2 : c.lag1);
            for (std::string client; clients >> client;) {
                KRMarginalRow row = Row("F", client);
                row.creditLag2 = 7; // binding overwrites it
                ASSERT_EQ(1, KRInitMarginalRow(&row));
                EXPECT_EQ(lag == 2, row.creditLag2) << client;
            }
        }
    }
}

// Firm keys and list pieces are upper-cased by the code page the library is built with: a small
// letter binds its capital, also where the capital lives far from it; a byte that is no letter
// of the page stays as it is.
TEST_F(Settings, SmallLettersOfTheCodePageBindTheirCapitals) {
    struct Case {
        const char *small, *capital;
    };
#if defined(KESVAR_CODEPAGE_1251)
    const Case cases[] = {
        {.small = "\xE0\xF7\xFF", .capital = "\xC0\xD7\xDF"}, // a, che (a sign in 1252), ya
        {.small = "\xB8", .capital = "\xA8"},                 // yo
        {.small = "\xA2", .capital = "\xA1"},                 // short u
        {.small = "\x83", .capital = "\x81"},                 // gje
        {.small = "\x90", .capital = "\x80"},                 // dje
        {.small = "\x9A", .capital = "\x8A"},                 // lje
        {.small = "\xB5", .capital = "\xB5"},                 // the micro sign
    };
#else
    const Case cases[] = {
        {.small = "\xE0\xFE", .capital = "\xC0\xDE"}, // a grave, thorn
        {.small = "\xFF", .capital = "\x9F"},         // y diaeresis
        {.small = "\x9A", .capital = "\x8A"},         // s caron
        {.small = "\xF7", .capital = "\xF7"},         // the division sign
        {.small = "\xB8", .capital = "\xB8"},         // the cedilla (yo in 1251)
    };
#endif
    for (const Case& c : cases) {
        const std::string small = std::string("Z") + c.small,
                          capital = std::string("Z") + c.capital;
        SCOPED_TRACE(capital);
        Load("[CLIENTLAG]\n" + small + "=2\n[LIMITALLOWEDSECURITY]\ntqbr=" + small + "\n");
        KRMarginalRow row = Row("F", capital);
        ASSERT_EQ(1, KRInitMarginalRow(&row));
        EXPECT_EQ(1, row.creditLag2);
        EXPECT_EQ("10 TQBR 4294967295:" + capital, world::MarginList("F", capital));
    }
}

// Long weights outside [0, 1] and short weights below 1 become 1; a line without a comma, or
// with a key or first value too long, is dropped; the first line of a code wins, also for a
// client record. Doubles: blanks, a sign, digits with a point, an exponent only when digits
// follow; correctly rounded; too large is infinite, too small zero; no INF, NAN or hex. Shown
// by C1's long LKOH (long value = weight) and short GAZP (short value = -weight) at 1 each.
TEST_F(Settings, WeightsAndTheirNumbers) {
    SetPrices(10, 102, 1, 1, 1, 1);
    SetPrices(10, 103, 1, 1, 1, 1);
    for (const char* client : {"C1", "CL"}) {
        AddSecLimit({"F", client, "LKOH", "", 0, 0, 1});
        AddSecLimit({"F", client, "GAZP", "", 0, 0, -1});
    }
    // clang-format off
    const struct { std::string lines; double longWeight, shortWeight; } cases[] = { // '@': the code
        {"@=0.5,1.2", 0.5, 1.2}, {"@=1.5,0.8", 1, 1}, {"@=-0.1,2", 1, 2}, {"@=,3", 0, 3}, {"@=0.7", 1, 1},
        {"@=0.25,4\n@=0.5,8", 0.25, 4}, {"@ = 1e-1 , 2.5E0x", 0.1, 2.5},
        {"@=" + std::string(256, '0') + ",2", 1, 1}, {"@=" + std::string(255, '0') + ",2", 0, 2},
        {"@=.5,5.", 0.5, 5}, {"@=.,-.5e1", 0, 1}, {"@=+0.5e,1e+", 0.5, 1}, {"@=5E-1x,1E2x", 0.5, 100},
        {"@=NAN,INF", 0, 1}, {"@=0X1P3,0x1p3", 0, 1}, {"@=0.30000000000000004,1e400", 0.30000000000000004, HUGE_VAL},
        {"@=0.000001e-400,123456789012345678901234567890", 0, 123456789012345678901234567890.0},
        {"@=30000e-328,1e99999999999999999999", 4.9406564584124654e-324, HUGE_VAL},
        {"@=20000e-328,-1e400", 0, 1}, {"@=  -0.5,  +1.5", 1, 1.5}};
    // clang-format on
    const std::regex at("@");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.lines);
        Load("[GENERAL]\nLIMITSINLOTS=0\n[ASSETSECURITIES]\nTQBR=LKOH,GAZP\n[CLCL_MARGIN]\n"
             "[SECURITYWEIGHT]\n" +
             std::regex_replace(c.lines + "\n", at, "LKOH") +
             std::regex_replace(c.lines + "\n", at, "GAZP"));
        for (const char* client : {"C1", "CL"}) {
            const KRMarginalRow row = Calculated(client);
            EXPECT_EQ(std::make_pair(c.longWeight, -c.shortWeight),
                      std::make_pair(row.longValue, row.shortValue))
                << client;
        }
    }
}

// Tags of [BOARDTAG] keep the spaces before '=', long tags and accounts are cut to 4 and 12
// characters, and each keeps the kind it was first added with; tags and accounts compare
// letter case aside. Without any board section every tag counts fully and every account is an
// ordinary one. Kinds as a row shows them: 0 money does not count, 1 counts and may give the
// leverage, 2 counts but is not the client's own, 3 is own but gives no leverage; a position
// on an account of kind 1 or 3 counts in the row, and only kind 1 in the actv.
TEST_F(Settings, BoardsAndAccountsKeepTheirFirstKind) {
    SetPrices(10, 103, 1, 1, 1, 1);
    // clang-format off
    const struct { const char* text; std::vector<std::pair<const char*, int>> tags, accounts; } cases[] = {
        {"[BOARDTAG]\nTQBR=\nEQ =x\nLONGTAG=\nLONGTAG=\n[ADDLIMITBOARDS]\nK1 = B1 , B2,\n"
         "[ADDREPOBOARDS]\nK2=B2,TQBR,,B3\nK5=\n[ADDLIMITTRDACC]\nK3=ACC1,ACC2\n"
         "[ADDREPOTRDACC]\nK4=acc2,ACC3VERYLONGNAME\n",
         {{"tqbr", 1}, {"EQ", 0}, {"EQ ", 1}, {"LONG", 1}, {"K1", 1}, {"b1", 2}, {"B2", 2}, {"B3", 3},
          {"", 3}, {"K5", 1}, {"K4", 1}, {"X", 0}},
         {{"ACC1", 2}, {"ACC2", 2}, {"ACC3VERYLONGNAME", 3}, {"acc3verylong", 3}, {"X", 1}}},
        {"[ADDREPOBOARDS]\nRP=R1\n[ADDREPOTRDACC]\nRP=A3\n", {{"RP", 1}, {"R1", 3}, {"MB", 0}},
         {{"A3", 3}, {"A1", 1}}},
        {"[GENERAL]\nCREDITLAG=1\n", {{"ANY", 1}, {"", 1}}, {{"ANY", 1}}}};
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        Load(std::string(c.text) + "[ASSETSECURITIES]\nTQBR=LKOH\n[CLCL_MARGIN]\n");
        for (const auto& t : c.tags) {
            host().moneyLimits.clear();
            AddMoneyLimit({"F", "CL", t.first, 100, 0, 100, 0, 0, 0, 200});
            const KRMarginalRow row = Calculated("CL");
            // clang-format off
            const int kind = row.openValue == 0 ? 0 : row.moneyAvailable == 0 ? 2 : row.leverage == 2.0 ? 1 : 3;
            // clang-format on
            EXPECT_EQ(t.second, kind) << "tag " << t.first;
            KRIsLimitsInLots("F"); // code 0, which an answer leaves alone
            EXPECT_EQ(t.second == 1, KRIsBoardTagApplicable("F", t.first)) << t.first;
            EXPECT_EQ(KR_ERR_NONE, KRGetLastError());
        }
        for (const auto& a : c.accounts) {
            host().secLimits.clear();
            AddSecLimit({"F", "CL", "LKOH", a.first, 0, 0, 1});
            const KRMarginalRow row = Calculated("CL");
            KRMarginalActv actv = Actv(10, 103);
            ASSERT_TRUE(KRInitMarginalActv(&row, &actv) && KRCalcMarginalActv(&row, &actv, 0));
            const int kind = row.longValue == 0 ? 2 : actv.position == 1 ? 1 : 3;
            EXPECT_EQ(a.second, kind) << "account " << a.first;
        }
    }
}

// With a sink the loader walks on past a section, yet a repeated one is still not read; every
// skipped or changed line is reported with its number, also the last one of a text that ends
// without a newline, and the scratch memory goes back.
TEST_F(Settings, DiagnosticsNameEachSkippedOrChangedLine) {
    using namespace kesvar;
    typedef std::tuple<int32_t, DiagCode, std::string> Diag;
    const std::string longPiece = " " + std::string(300, 'C');
    // clang-format off
    const struct { std::string text; std::vector<Diag> want; } cases[] = {
        {"stray\n[GENERAL]\nMAINMARGINCLASSES=A, B," + longPiece +
             "\n[GENERAL]\nLIMITSINLOTS=0\n[CLIENTLAG]\nC=3\nD=1\nD=2\n[CLC1_MARGIN]\n"
             "RSTRNMBUY=1\nRSTRNMBUY=0\nIGNORERESTSHORTSECURITY=1\nIGNORERESTSHORTSECURITY=0\n"
             "[CLT_MARGIN_TEMPLATE]\nCLIENTS=C1,,X*\nCLIENTS=C9\nIGNORERESTSHORTSECURITY=1\n"
             "[CLC1_MARGIN]\n[SECURITYWEIGHT]\nS=0.5,2\nS=0.4,3\n[LIMITALLOWEDSECURITY]\n"
             "TQBR=SBER,,GAZP,\n[BOARDTAG]\nMB=\n[ADDREPOBOARDS]\nX=MB\n[ADDLIMITTRDACC]\n"
             "K=A1,A1\n[ADDREPOTRDACC]\nK=A1\n[X]\nY=1\n[ASSETSECURITIES]\nlast",
         {{1, kDiagUnreadLine, "STRAY"}, {3, kDiagMainMarginSpace, " B"},
          {3, kDiagMainMarginSpace, longPiece.substr(0, 255)}, {4, kDiagRepeatedSection, "[GENERAL]"},
          {7, kDiagValueOutOfRange, "C"}, {9, kDiagRepeatedKey, "D"}, {12, kDiagRepeatedKey, "RSTRNMBUY"},
          {14, kDiagRepeatedKey, "IGNORERESTSHORTSECURITY"}, {16, kDiagClientDiscarded, "C1"},
          {16, kDiagClientSkipped, ""}, {16, kDiagClientSkipped, "X*"}, {17, kDiagRepeatedKey, "CLIENTS"},
          {18, kDiagUnknownKey, "IGNORERESTSHORTSECURITY"}, {19, kDiagClientDiscarded, "C1"},
          {22, kDiagRepeatedKey, "S"}, {24, kDiagPieceEmpty, "TQBR"}, {24, kDiagPieceEmpty, "TQBR"},
          {28, kDiagRepeatedKey, "MB"}, {32, kDiagRepeatedKey, "A1"}, {33, kDiagUnknownSection, "[X]"},
          {35, kDiagEmptySection, "[ASSETSECURITIES]"}, {36, kDiagNoEquals, "LAST"}}},
        {std::string(20, '\n') + "[GENERAL]\nCREDITLAG=2", {}},
        // A VOLUME line is read, not left unread; "TQBR=" is an empty entry, not an empty piece.
        {"\nVOLUME\n[CLIENTLAG]\nABCDEFGHIJKLM=2\n[SECURITYWEIGHT]\nABCDEFGHIJKL=0.5,2\n"
         "ABCDEFGHIJKLM=0.5,2\nS=1,1\nT=1.5,0.5\n[LIMITALLOWEDSECURITY]\nTQBR=\n",
         {{2, kDiagVolumeLine, "VOLUME"}, {4, kDiagKeyTooLong, "ABCDEFGHIJKLM"},
          {7, kDiagKeyTooLong, "ABCDEFGHIJKLM"}, {9, kDiagValueClamped, "T"},
          {9, kDiagShortWeightClamp, "T"}}}};
    // clang-format on
    for (const auto& c : cases) {
        std::vector<Diag> got;
        auto collect = [](void* user, int32_t line, DiagCode code, const char* subject) {
            static_cast<std::vector<Diag>*>(user)->emplace_back(line, code, subject);
        };
        DiagnosticSink sink = {collect, &got};
        const int64_t live = host().memory.live;
        ASSERT_EQ(KR_ERR_NONE, SetFirmSettings("F", c.text.c_str(), &sink));
        std::sort(got.begin(), got.end());
        EXPECT_EQ(c.want, got);
        ASSERT_EQ(1, KRCleanupDlifiles());
        EXPECT_EQ(live, host().memory.live) << "blocks of the load left behind";
    }
    ASSERT_EQ(KR_ERR_NONE, SetFirmSettings("F", cases[0].text.c_str(), nullptr));
    EXPECT_EQ(1, KRIsLimitsInLots("F")); // the repeated [GENERAL] was not read
}

// A text checked through the tool's interface is read into a record of its own: the firm the
// host loaded keeps its record and its rows, and the checked record is released. Refused like
// an export before initialisation and for a null text.
TEST(SettingsCheck, CheckedTextLeavesTheLoadedFirmsAlone) {
    using namespace kesvar;
    struct Case {
        const char* name;
        bool install;
        const char* text;
        int32_t result, code;
        int32_t creditLag; // the checked record's, when loaded
    };
    const Case cases[] = {
        {.name = "before KRInitEx",
         .install = false,
         .text = "[GENERAL]\nCREDITLAG=2",
         .result = 0,
         .code = KR_ERR_STATE,
         .creditLag = 0},
        {.name = "null text",
         .install = true,
         .text = nullptr,
         .result = 0,
         .code = KR_ERR_ARGUMENT,
         .creditLag = 0},
        {.name = "a firm's text",
         .install = true,
         .text = "[GENERAL]\nCREDITLAG=2\nLIMITSINLOTS=0",
         .result = 1,
         .code = KR_ERR_NONE,
         .creditLag = 2},
    };
    KRMarginalRow row{};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.install && !row.size) {
            ASSERT_EQ(1, Install(2));
            ASSERT_EQ(4, world::RegisterClasses());
            Settings::Load("[GENERAL]\nCREDITLAG=1\nLIMITSINLOTS=1");
            row = Settings::Calculated("C1");
        }
        const int64_t live = host().memory.live;
        int32_t seen = 0;
        auto inspect = [](void* user, const FirmRecord* firm) {
            *static_cast<int32_t*>(user) = firm->creditLag;
        };
        DiagnosticSink sink = {nullptr, nullptr};
        EXPECT_EQ(c.result, CheckSettingsText(c.text, &sink, inspect, &seen));
        EXPECT_EQ(c.code, KRGetLastError());
        EXPECT_EQ(c.creditLag, seen);
        EXPECT_EQ(live, host().memory.live) << "blocks of the checked record left behind";
        if (!c.install) continue;
        EXPECT_EQ(1, KRIsLimitsInLots("F"));
        EXPECT_EQ(1, KRCalcMarginalRow(&row)) << "the host's row went stale";
    }
}
