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
#include "platform/platform.h"
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
    EXPECT_EQ(
        "4294967295 TQBR 4294967295:SBER 4294967295:GAZP 4294967295:LKOH 4294967295:ABCDEFGHIJKL "
        "4294967295:A. 4294967295:B | 4294967295 EMPTY | 4294967295 TQBR 4294967295:NEW "
        "4294967295:GAZP | 4294967295 OTH 4294967295:X | 4294967295 FUT | 4294967295 UNL "
        "4294967295:Z",
        world::MarginList("F", "C1"));
    ASSERT_EQ(4, world::RegisterClasses());
    EXPECT_EQ(
        "10 TQBR 101:SBER 102:GAZP 103:LKOH 4294967295:ABCDEFGHIJKL 4294967295:A. 4294967295:B | "
        "4294967295 EMPTY | 10 TQBR 4294967295:NEW 4294967295:GAZP 101:SBER 102:GAZP 103:LKOH "
        "104:NOPRICE | 40 OTH 4294967295:X 401:OTHER | 4294967295 FUT | 30 UNL 4294967295:Z",
        world::MarginList("F", "C1"));
    // Past 16 pieces repeats are found by registry index, the registry's first security too.
    Settings::Load(
        "[LIMITALLOWEDSECURITY]\nTQBR=SBER,A,B,C,D,E,F,G,H,I,J,K,L,M,N,SBER,GAZP,GAZP\n");
    EXPECT_EQ("10 TQBR 101:SBER 4294967295:A 4294967295:B 4294967295:C 4294967295:D 4294967295:E "
              "4294967295:F 4294967295:G 4294967295:H 4294967295:I 4294967295:J 4294967295:K "
              "4294967295:L 4294967295:M 4294967295:N 102:GAZP",
              world::MarginList("F", "C1"));
}

// Headers match trimmed, upper-cased lines; '[' ends a section; only the first occurrence of
// a section is read; the first line of each key wins; RSTRNMBUY=0 is a value of its own; the
// volume flag wants VOLUME to start a line, not the first. Shown: credit lag 2, limits in
// lots, the short value in C1's own-funds limit (credit lag 1), buying outside the lists
// restricted, buying capped by CHECKMAXCREDIT.
TEST_F(Settings, GeneralSwitches) {
    AddSecLimit(Holding("F", "C1", "GAZP").Current(-1));
    // What the firm's [GENERAL] section switched on; volume shows at credit lag 1 only.
    struct General {
        explicit General(const char* t) : text(t) {}
        const char* text;
        bool creditLag2 = false, limitsInLots = false, volume = false, restrictBuy = false,
             checkMaxCredit = false;
        General& CreditLag2() { return creditLag2 = true, *this; }
        General& LimitsInLots() { return limitsInLots = true, *this; }
        General& Volume() { return volume = true, *this; }
        General& RestrictBuy() { return restrictBuy = true, *this; }
        General& CheckMaxCredit() { return checkMaxCredit = true, *this; }
    };
    const General cases[] = {
        General("").LimitsInLots(),
        General("  [general] . \r\ncreditlag=2.\r\nvolume=1").CreditLag2().LimitsInLots(),
        General("[GENERAL]\t\nCREDITLAG=2\r\nVOLUMEFOO")
            .LimitsInLots()
            .Volume(), // a tab is no blank
        General("[GENERAL] X\nCREDITLAG=2\n VOLUME").LimitsInLots(),
        General("VOLUME\nCREDITLAG=2\n[GENERAL]").LimitsInLots(),
        General("[GENERAL]\nCREDITLAG\nCREDITLAGX=2\n[X]\nCREDITLAG=2").LimitsInLots(),
        General("[GENERAL]\nLIMITSINLOTS=1\n[X]\n[GENERAL]\nCREDITLAG=2").LimitsInLots(),
        General("[GENERAL]\nRSTRNMBUY=5\nLIMITSINLOTS=\nLIMITSINLOTS=1\nCREDITLAG=7\nCREDITLAG=2\n"
                "checkmaxcredit = -3\nCHECKMAXCREDIT=0")
            .RestrictBuy()
            .CheckMaxCredit(),
        General("[GENERAL]\nRSTRNMBUY=0\nRSTRNMBUY=1\nCHECKMAXCREDIT=0\nCHECKMAXCREDIT=1")
            .LimitsInLots(),
    };
    for (const General& c : cases) {
        SCOPED_TRACE(c.text);
        Load(std::string(c.text) +
             "\n[LIMITALLOWEDSECURITY]\nTQBR=SBER\n[ASSETSECURITIES]\nTQBR=SBER,GAZP\n");
        const KRMarginalRow row = Calculated("C1");
        const int32_t lots = KRIsLimitsInLots("F");
        EXPECT_EQ(c.creditLag2, row.creditLag2 == 1);
        EXPECT_EQ(c.limitsInLots, lots == 1);
        if (c.creditLag2) {
            ASSERT_FALSE(c.volume) << "the volume flag shows at credit lag 1 only";
        } else {
            EXPECT_EQ(c.volume, row.ownBuyLimit != 0); // the short value added to it
        }
        EXPECT_EQ(c.restrictBuy, Lag2Buy(row, 103, 0) == 100);
        EXPECT_EQ(c.checkMaxCredit, Lag2Buy(row, 101, 10) < (lots ? 100 : 1000));
    }
}

// Sections are read before templates and the first record of a code is kept; "_ASSET" is
// looked for before "_RESTSHORT"; names and keys longer than 12 characters, template client
// pieces that are empty, too long or end in '*', a second CLIENTS line and a template name of
// 101 characters are not taken; a template's IGNORERESTSHORTSECURITY is not read. A code binds
// its exact name (letter case aside), else the first prefix record in list order, else the
// firm's. NOPRICE is an asset by the margin list when there is no asset list.
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
    // What a client's record shows: the margin list, whether LKOH and SBER are restricted for
    // shorts, NOPRICE an asset, and buying outside the lists restricted.
    struct Bind {
        Bind(const std::string& t, const char* c, const char* l) : text(t), client(c), list(l) {}
        std::string text;
        const char *client, *list;
        bool lkohRestShort = false, sberRestShort = false, nopriceAsset = false,
             restrictBuy = false;
        Bind& LkohRestShort() { return lkohRestShort = true, *this; }
        Bind& SberRestShort() { return sberRestShort = true, *this; }
        Bind& NopriceAsset() { return nopriceAsset = true, *this; }
        Bind& RestrictBuy() { return restrictBuy = true, *this; }
    };
    const Bind cases[] = {
        Bind(big, "C1", "10 TQBR 101:SBER 103:LKOH").SberRestShort().NopriceAsset(),
        Bind(big, "Q7", "10 TQBR 103:LKOH"),
        Bind(big, "C2", "10 TQBR 102:GAZP").RestrictBuy(),
        Bind(big, "C4", "10 TQBR 102:GAZP").RestrictBuy(),
        Bind(big, "C5", "10 TQBR 104:NOPRICE").NopriceAsset(),
        Bind(big, "C3", "10 TQBR 103:LKOH").LkohRestShort(),
        Bind(big, "C9", "10 TQBR 103:LKOH").LkohRestShort(),
        Bind(big, "C7", "10 TQBR 103:LKOH").LkohRestShort(),
        Bind(big, "NOBODY", "10 TQBR 103:LKOH").LkohRestShort(),
        Bind(big, "ABCDEFGHIJKLM", "10 TQBR 103:LKOH").LkohRestShort(),
        Bind(three, "abc", "10 TQBR 101:SBER"),
        Bind(three, "ABX", "10 TQBR 102:GAZP"),
        Bind(three, "Q1", "10 TQBR 103:LKOH"),
        Bind(two, "ABC", "10 TQBR 101:SBER"),
        Bind(two, "AB*", "10 TQBR 101:SBER"),
        Bind(long3, "ABC", "10 TQBR 101:SBER"),
        Bind(long3, "AB", "10 TQBR 104:NOPRICE").NopriceAsset(),
        Bind(long3, "X", "10 TQBR 102:GAZP"),
        Bind("[CL_MARGIN]\nTQBR=SBER\n" + firm, "", "10 TQBR 104:NOPRICE").NopriceAsset(),
    };
    for (const Bind& c : cases) {
        SCOPED_TRACE(c.client);
        Load(c.text);
        const KRMarginalRow row = Calculated(c.client);
        EXPECT_EQ(c.list, world::MarginList("F", c.client));
        auto prepared = [&](uint32_t secId) {
            KRMarginalActv a = Actv(10, secId);
            EXPECT_EQ(1, KRInitMarginalActv(&row, &a));
            return a;
        };
        EXPECT_EQ(c.lkohRestShort, prepared(103).isRestShort == 1);
        EXPECT_EQ(c.sberRestShort, prepared(101).isRestShort == 1);
        EXPECT_EQ(c.nopriceAsset, prepared(104).isAsset == 1);
        EXPECT_EQ(c.restrictBuy, Lag2Buy(row, 401, 0) == 100);
    }
}

// Lag entries of 1 or 2 only, the first line of a code kept, exact codes before prefixes, and
// among the prefixes the first probed of those that fit: with '*' and "Q*" that is the lone
// '*'. Client lags are the firm's, also for a client record. Integers: leading blanks, a sign,
// digits up to the first other character, saturated beyond 32 bits.
TEST_F(Settings, ClientLags) {
    const bool cp1251 = kesvar::platform::kCodePage == 1251;
    // The clients a text gives credit lag 2 and those it leaves at 1.
    struct Lags {
        explicit Lags(const std::string& t) : text(t) {}
        std::string text;
        const char *lag2 = "", *lag1 = "";
        Lags& Lag2(const char* clients) { return lag2 = clients, *this; }
        Lags& Lag1(const char* clients) { return lag1 = clients, *this; }
    };
    const Lags cases[] = {
        Lags("[CLIENTLAG]\nM=2\nC=2\nX=2\nA=2\nP=2\nF=2\nT=2\n")
            .Lag2("A C F M P T X")
            .Lag1("B D N Z A0"),
        Lags("[CLIENTLAG]\nA1=2\nB1=2\n").Lag2("A1 a1 B1").Lag1("A0 A B2 C"),
        Lags("[CLIENTLAG]\nB=2\nb=1\nD=3\nE=x\nF=0\nA= 2 \nABCDEFGHIJKLM=2\nG=+2\nH=4294967298\n"
             "I=-4294967294\nJ=2x\nK=\t2\nL=\nM=- 2\n")
            .Lag2("B b A G J K")
            .Lag1("D E F H I L M ABCDEFGHIJKLM"),
        Lags("[GENERAL]\nCREDITLAG=2\n[CLIENTLAG]\nC1=1\nQ*=1\nQ1=2\n")
            .Lag2("c2 Q1 q1 R")
            .Lag1("c1 Q2 Q"),
        Lags("[CLIENTLAG]\n*=2\nQ*=1\n").Lag2("Q5 A"),
        Lags("[CLIENTLAG]\nQ*=1\nR*=2\n").Lag2("R RX").Lag1("Q5 A S"),
        Lags("[CLIENTLAG]\nQ=1\nQ*=2\n").Lag2("QX Q1").Lag1("Q"),
        Lags("[CLQ5_MARGIN]\n[CLIENTLAG]\nQ5=2\n").Lag2("q5").Lag1("Q6"),
        Lags("[CLIENTLAG]\nV=" + std::string(255, ' ') + "2\nW=" + std::string(254, ' ') + "2\n")
            .Lag2("W")
            .Lag1("V"),
        // Small letters of the build's page: yo and ya in 1251, cedilla (no letter) and y
        // diaeresis in 1252, whose capitals 0xA8, 0xDF and 0x9F lie far from them.
        Lags("[CLIENTLAG]\n\xB8=2\n\xFF=2\n")
            .Lag2(cp1251 ? "\xA8 \xDF" : "\xB8 \x9F")
            .Lag1(cp1251 ? "\x9F" : "\xA8 \xDF"),
    };
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

// Long weights outside [0, 1] and short weights below 1 become 1; a line without a comma, or
// with a key or first value too long, is dropped; the first line of a code wins, also for a
// client record. Doubles: blanks, a sign, digits with a point, an exponent only when digits
// follow; correctly rounded; too large is infinite, too small zero; no INF, NAN or hex. Shown
// by C1's long LKOH (long value = weight) and short GAZP (short value = -weight) at 1 each.
TEST_F(Settings, WeightsAndTheirNumbers) {
    SetPrices(10, 102, 1, 1, 1, 1);
    SetPrices(10, 103, 1, 1, 1, 1);
    for (const char* client : {"C1", "CL"}) {
        AddSecLimit(Holding("F", client, "LKOH").Current(1));
        AddSecLimit(Holding("F", client, "GAZP").Current(-1));
    }
    // The weights a line gives ('@' stands for the security's code).
    struct Weights {
        explicit Weights(const std::string& l) : lines(l) {}
        std::string lines;
        double longWeight = 0, shortWeight = 0;
        Weights& Long(double v) { return longWeight = v, *this; }
        Weights& Short(double v) { return shortWeight = v, *this; }
    };
    const Weights cases[] = {
        Weights("@=0.5,1.2").Long(0.5).Short(1.2),
        Weights("@=1.5,0.8").Long(1).Short(1),
        Weights("@=,3").Long(0).Short(3),
        Weights("@=0.7").Long(1).Short(1),
        Weights("@=0.25,4\n@=0.5,8").Long(0.25).Short(4),
        Weights("@ = 1e-1 , 2.5E0x").Long(0.1).Short(2.5),
        Weights("@=" + std::string(256, '0') + ",2").Long(1).Short(1),
        Weights("@=" + std::string(255, '0') + ",2").Long(0).Short(2),
        Weights("@=.5,5.").Long(0.5).Short(5),
        Weights("@=.,-.5e1").Long(0).Short(1),
        Weights("@=+0.5e,1e+").Long(0.5).Short(1),
        Weights("@=NAN,INF").Long(0).Short(1),
        Weights("@=0X1P3,0x1p3").Long(0).Short(1),
        Weights("@=0.30000000000000004,1e400").Long(0.30000000000000004).Short(HUGE_VAL),
        Weights("@=0.000001e-400,123456789012345678901234567890")
            .Long(0)
            .Short(123456789012345678901234567890.0),
        Weights("@=30000e-328,1e99999999999999999999")
            .Long(4.9406564584124654e-324)
            .Short(HUGE_VAL),
        Weights("@=20000e-328,-1e400").Long(0).Short(1),
        Weights("@=" + std::string(200, '0') + "1e-400,2").Long(0).Short(2),
        // A short weight may be longer than a piece: its zeros still place the digit.
        Weights("@=1," + std::string(400, '0') + "1e-400").Long(1).Short(1),
        Weights("@=1,0." + std::string(800, '0') + "1e400").Long(1).Short(1),
        Weights("@=1,0.1" + std::string(400, '0') + "e350").Long(1).Short(HUGE_VAL),
        Weights("@=  -0.5,  +1.5").Long(1).Short(1.5),
    };
    const std::regex at("@");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.lines);
        Load("[GENERAL]\nLIMITSINLOTS=0\n[ASSETSECURITIES]\nTQBR=LKOH,GAZP\n[CLCL_MARGIN]\n"
             "[SECURITYWEIGHT]\n" +
             std::regex_replace(c.lines + "\n", at, "LKOH") +
             std::regex_replace(c.lines + "\n", at, "GAZP"));
        for (const char* client : {"C1", "CL"}) {
            const KRMarginalRow row = Calculated(client);
            EXPECT_EQ(c.longWeight, row.longValue) << client;
            EXPECT_EQ(-c.shortWeight, row.shortValue) << client;
        }
    }
}

// Tags of [BOARDTAG] keep the spaces before '=', long tags and accounts are cut to 4 and 12
// characters, and each keeps the kind it was first added with; tags and accounts compare
// letter case aside. Without any board section every tag counts fully and every account is an
// ordinary one. Kinds as a row shows them: money of a tag NotCounted does not count, Ordinary
// counts and may give the leverage, AddLimit counts but is not the client's own, AddRepo is own
// but gives no leverage; a position on an Ordinary or AddRepo account counts in the row, and
// only Ordinary in the actv.
TEST_F(Settings, BoardsAndAccountsKeepTheirFirstKind) {
    SetPrices(10, 103, 1, 1, 1, 1);
    using kesvar::AddLimit, kesvar::AddRepo, kesvar::NotCounted, kesvar::Ordinary;
    // The kind each board tag and each trade account of a text has.
    struct Boards {
        typedef std::vector<std::pair<const char*, kesvar::ListKind>> Kinds;
        explicit Boards(const std::string& t) : text(t) {}
        std::string text;
        Kinds tags, accounts;
        Boards& Tags(const Kinds& v) { return tags = v, *this; }
        Boards& Accounts(const Kinds& v) { return accounts = v, *this; }
    };
    const Boards cases[] = {
        Boards("[BOARDTAG]\nTQBR=\nEQ =x\nLONGTAG=\nLONGTAG=\n[ADDLIMITBOARDS]\nK1 = B1 , B2,\n"
               "[ADDREPOBOARDS]\nK2=B2,TQBR,,B3\nK5=\n[ADDLIMITTRDACC]\nK3=ACC1,ACC2\n"
               "[ADDREPOTRDACC]\nK4=acc2,ACC3VERYLONGNAME\n")
            .Tags({{"tqbr", Ordinary},
                   {"EQ", NotCounted},
                   {"EQ ", Ordinary},
                   {"LONG", Ordinary},
                   {"K1", Ordinary},
                   {"b1", AddLimit},
                   {"B2", AddLimit},
                   {"B3", AddRepo},
                   {"", AddRepo},
                   {"K5", Ordinary},
                   {"K4", Ordinary},
                   {"X", NotCounted}})
            .Accounts({{"ACC1", AddLimit},
                       {"ACC2", AddLimit},
                       {"ACC3VERYLONGNAME", AddRepo},
                       {"acc3verylong", AddRepo},
                       {"X", Ordinary}}),
        Boards("[ADDREPOBOARDS]\nRP=R1\n[ADDREPOTRDACC]\nRP=A3\n")
            .Tags({{"RP", Ordinary}, {"R1", AddRepo}, {"MB", NotCounted}})
            .Accounts({{"A3", AddRepo}, {"A1", Ordinary}}),
        // Pieces of 255 characters, the longest read whole: cut to a tag and an account.
        Boards("[ADDLIMITBOARDS]\nK1=" + std::string(255, 'B') +
               ",B1\n[ADDREPOTRDACC]\nK2=" + std::string(255, 'A') + "\n")
            .Tags({{"BBBB", AddLimit}, {"B1", AddLimit}, {"K2", Ordinary}})
            .Accounts({{"AAAAAAAAAAAA", AddRepo}}),
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        Load(c.text + "[ASSETSECURITIES]\nTQBR=LKOH\n[CLCL_MARGIN]\n");
        for (const auto& t : c.tags) {
            host().moneyLimits.clear();
            AddMoneyLimit(Funds("F", "CL", t.first).Open(100).Current(100).LeveragePercent(200));
            const KRMarginalRow row = Calculated("CL");
            const kesvar::ListKind kind = row.openValue == 0        ? NotCounted
                                          : row.moneyAvailable == 0 ? AddLimit
                                          : row.leverage == 2.0     ? Ordinary
                                                                    : AddRepo;
            EXPECT_EQ(t.second, kind) << "tag " << t.first;
            EXPECT_EQ(t.second == Ordinary, KRIsBoardTagApplicable("F", t.first)) << t.first;
        }
        for (const auto& a : c.accounts) {
            host().secLimits.clear();
            AddSecLimit(Holding("F", "CL", "LKOH", a.first).Current(1));
            const KRMarginalRow row = Calculated("CL");
            KRMarginalActv actv = Actv(10, 103);
            ASSERT_TRUE(KRInitMarginalActv(&row, &actv) && KRCalcMarginalActv(&row, &actv, 0));
            const kesvar::ListKind kind = row.longValue == 0   ? AddLimit
                                          : actv.position == 1 ? Ordinary
                                                               : AddRepo;
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
    const struct {
        std::string text;
        std::vector<Diag> want;
    } cases[] = {
        {"stray\n[GENERAL]\nMAINMARGINCLASSES=A, B," + longPiece +
             "\n[GENERAL]\nLIMITSINLOTS=0\n[CLIENTLAG]\nC=3\nD=1\nD=2\n[CLC1_MARGIN]\n"
             "RSTRNMBUY=1\nRSTRNMBUY=0\nIGNORERESTSHORTSECURITY=1\nIGNORERESTSHORTSECURITY=0\n"
             "[CLT_MARGIN_TEMPLATE]\nCLIENTS=C1,,X*\nCLIENTS=C9\nIGNORERESTSHORTSECURITY=1\n"
             "[CLC1_MARGIN]\n[SECURITYWEIGHT]\nS=0.5,2\nS=0.4,3\n[LIMITALLOWEDSECURITY]\n"
             "TQBR=SBER,,GAZP,\n[BOARDTAG]\nMB=\n[ADDREPOBOARDS]\nX=MB\n[ADDLIMITTRDACC]\n"
             "K=A1,A1\n[ADDREPOTRDACC]\nK=A1\n[X]\nY=1\n[ASSETSECURITIES]\nlast",
         {{1, kDiagUnreadLine, "STRAY"},
          {3, kDiagMainMarginSpace, " B"},
          {3, kDiagMainMarginSpace, longPiece.substr(0, 255)},
          {4, kDiagRepeatedSection, "[GENERAL]"},
          {7, kDiagValueOutOfRange, "C"},
          {9, kDiagRepeatedKey, "D"},
          {12, kDiagRepeatedKey, "RSTRNMBUY"},
          {14, kDiagRepeatedKey, "IGNORERESTSHORTSECURITY"},
          {16, kDiagClientDiscarded, "C1"},
          {16, kDiagClientSkipped, ""},
          {16, kDiagClientSkipped, "X*"},
          {17, kDiagRepeatedKey, "CLIENTS"},
          {18, kDiagUnknownKey, "IGNORERESTSHORTSECURITY"},
          {19, kDiagClientDiscarded, "C1"},
          {22, kDiagRepeatedKey, "S"},
          {24, kDiagPieceEmpty, "TQBR"},
          {24, kDiagPieceEmpty, "TQBR"},
          {28, kDiagRepeatedKey, "MB"},
          {32, kDiagRepeatedKey, "A1"},
          {33, kDiagUnknownSection, "[X]"},
          {35, kDiagEmptySection, "[ASSETSECURITIES]"},
          {36, kDiagNoEquals, "LAST"}}},
        {std::string(20, '\n') + "[GENERAL]\nCREDITLAG=2", {}},
        // A client section may have an empty name: its lines are read.
        {"[CL_MARGIN]\nRSTRNMBUY=1\nRSTRNMBUY=0\n", {{3, kDiagRepeatedKey, "RSTRNMBUY"}}},
        // A VOLUME line is read, not left unread; "TQBR=" is an empty entry, not an empty piece.
        {"\nVOLUME\n[CLIENTLAG]\nABCDEFGHIJKLM=2\n[SECURITYWEIGHT]\nABCDEFGHIJKL=0.5,2\n"
         "ABCDEFGHIJKLM=0.5,2\nS=1,1\nT=1.5,0.5\n[LIMITALLOWEDSECURITY]\nTQBR=\n",
         {{2, kDiagVolumeLine, "VOLUME"},
          {4, kDiagKeyTooLong, "ABCDEFGHIJKLM"},
          {7, kDiagKeyTooLong, "ABCDEFGHIJKLM"},
          {9, kDiagValueClamped, "T"},
          {9, kDiagShortWeightClamp, "T"}}}};
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
    // A check, the text it reads, and what it answers: its result, the code it leaves and the
    // credit lag of the record it read.
    struct Checked {
        Checked(const char* n, const char* t) : name(n), text(t) {}
        const char *name, *text;
        bool install = true;
        int32_t result = 1, code = KR_ERR_NONE, creditLag = 0;
        Checked& BeforeInit() { return install = false, *this; }
        Checked& Refused(int32_t v) { return result = 0, code = v, *this; }
        Checked& CreditLag(int32_t v) { return creditLag = v, *this; }
    };
    const Checked cases[] = {
        Checked("before KRInitEx", "[GENERAL]\nCREDITLAG=2").BeforeInit().Refused(KR_ERR_STATE),
        Checked("null text", nullptr).Refused(KR_ERR_ARGUMENT),
        Checked("a firm's text", "[GENERAL]\nCREDITLAG=2\nLIMITSINLOTS=0").CreditLag(2),
    };
    KRMarginalRow row{};
    for (const Checked& c : cases) {
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
