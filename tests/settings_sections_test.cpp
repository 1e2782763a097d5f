// The section readers of the settings text, and what the loader tells a diagnostic sink.
#include <gtest/gtest.h>

#include <string.h>

#include <algorithm>
#include <string>
#include <tuple>
#include <vector>

#include "fake_host.h"
#include "frame/names.h"
#include "row/row.h"
#include "settings/settings.h"

using namespace kesvar;

namespace {

FirmSettings* Load(const char* key, const std::string& text) {
    EXPECT_EQ(1, KRSetDliniFile(key, text.c_str()));
    int32_t i = FindFirmSettings(key);
    return i < 0 ? nullptr : gState.firmSettingsTable[i];
}

// "CLASS:SEC/idx,SEC/idx" with "+ALL" when the entry holds "<ALL>".
std::string Describe(const ClassSecurityList& e) {
    std::string out = std::string(e.classCode) + "/" + std::to_string(e.classIndex) + ":";
    for (int32_t i = 0; i < e.securities.count; ++i) {
        if (i) out += ",";
        out +=
            std::string(e.securities[i].secCode) + "/" + std::to_string(e.securities[i].secIndex);
    }
    if (e.allSecurities) out += "+ALL";
    return out;
}

std::string Describe(const Array<ClassSecurityList>& list) {
    std::string out;
    for (int32_t i = 0; i < list.count; ++i)
        out += (i ? " | " : "") + Describe(list[i]);
    return out;
}

TEST(SettingsLists, PiecesAreTrimmedBoundedAndKeptOnce) {
    fakehost::Install(2);
    FirmSettings* f = Load("F", "[LIMITALLOWEDSECURITY]\n"
                                "tqbr= sber , gazp,SBER,, LKOH ,ABCDEFGHIJKLM,ABCDEFGHIJKL,A.,B.\n"
                                "ABCDEFGHIJKLM=X\nNOEQUALS\nEMPTY=\n[ASSETSECURITIES]\nC=A\nC=B\n"
                                "[RESTSHORTSECURITIES]\nR=" +
                                    std::string(300, ' ') + "Z\n");
    ASSERT_NE(nullptr, f);
    EXPECT_EQ("TQBR/-1:SBER/-1,GAZP/-1,LKOH/-1,ABCDEFGHIJKL/-1,A./-1,B/-1 | EMPTY/-1:",
              Describe(f->marginList));
    EXPECT_EQ("C/-1:A/-1 | C/-1:B/-1", Describe(f->assetList));
    // A piece past 255 characters is cut there first: the code beyond is lost.
    EXPECT_EQ("R/-1:", Describe(f->restShortList));
}

TEST(SettingsLists, AllExpandsAfterTheExplicitCodes) {
    fakehost::Install(2);
    fakehost::AddClass(10, "TQBR", {{101, "SBER"}, {102, "GAZP"}, {103, "ABCDEFGHIJKLMNOPQRS"}});
    FirmSettings* f = Load("F", "[LIMITALLOWEDSECURITY]\nTQBR=NEW,<all>,GAZP\nOTHER=<ALL>,X\n");
    ASSERT_NE(nullptr, f);
    // Explicit codes of an "<ALL>" entry stay unresolved ahead of the expansion; registry
    // codes of 16 to 19 characters are cut to the field's 15.
    EXPECT_EQ("TQBR/0:NEW/-1,GAZP/-1,SBER/0,GAZP/1,ABCDEFGHIJKLMNO/2+ALL | OTHER/-1:X/-1+ALL",
              Describe(f->marginList));

    // The class registered later resolves the waiting entry.
    fakehost::AddClass(11, "OTHER", {{201, "X"}, {202, "Y"}});
    EXPECT_EQ("OTHER/1:X/-1,X/3,Y/4+ALL", Describe(f->marginList[1]));
}

TEST(SettingsGeneral, FirstLineOfEachKeyWins) {
    fakehost::Install(2);
    struct Case {
        const char* body;
        int32_t creditLag;
        int8_t restrictBuy;
        uint8_t checkMaxCredit, limitsInLots;
        const char* classes;
    } cases[] = {{"", 1, 0, 0, 1, ""},
                 {"RSTRNMBUY=0\nRSTRNMBUY=1", 1, 2, 0, 1, ""},
                 {"RSTRNMBUY=5", 1, 1, 0, 1, ""},
                 {"LIMITSINLOTS=\nLIMITSINLOTS=1", 1, 0, 0, 0, ""},
                 {"CREDITLAG=7\nCREDITLAG=2", 7, 0, 0, 1, ""},
                 {"checkmaxcredit = -3\nCHECKMAXCREDIT=0", 1, 0, 1, 1, ""},
                 {"MAINMARGINCLASSES=aaa,bbb\nMAINMARGINCLASSES=C", 1, 0, 0, 1, ",AAA,BBB,"},
                 {"MAINMARGINCLASSES=", 1, 0, 0, 1, ",,"},
                 {"MAINMARGINCLASSES=B, A", 1, 0, 0, 1, ",B, A,"},
                 {"CREDITLAG 2\nUNKNOWN=5\nCREDITLAGX=3", 1, 0, 0, 1, ""}};
    for (const Case& c : cases) {
        FirmSettings* f = Load("F", std::string("[GENERAL]\n") + c.body);
        ASSERT_NE(nullptr, f);
        EXPECT_EQ(c.creditLag, f->creditLag) << c.body;
        EXPECT_EQ(c.restrictBuy, f->restrictBuy) << c.body;
        EXPECT_EQ(c.checkMaxCredit, f->checkMaxCredit) << c.body;
        EXPECT_EQ(c.limitsInLots, f->limitsInLots) << c.body;
        EXPECT_STREQ(c.classes, f->mainMarginClasses) << c.body;
    }
}

// One section per section header; every template is read.
const char* kClientsText =
    "[CLC1_MARGIN]\nTQBR=SBER\nTQBR_ASSET=GAZP\nTQBR_RESTSHORT=LKOH\nTQBR_ASSET_RESTSHORT=X\n"
    "ABCDEFGHIJKLM_ASSET=Y\nRSTRNMBUY=0\nRSTRNMBUY=1\n"
    "[CLQ*_MARGIN]\nIGNORERESTSHORTSECURITY=1\nIGNORERESTSHORTSECURITY=0\n"
    "[CLABCDEFGHIJKLM_MARGIN]\nTQBR=NOPE\n"
    "[CLT_MARGIN_TEMPLATE]\nCLIENTS=C1, c2 ,C3*,,ABCDEFGHIJKLM,C4\nCLIENTS=C9\nTQBR=AAA\n"
    "RSTRNMBUY=5\nIGNORERESTSHORTSECURITY=1\n"
    "[CLU_MARGIN_TEMPLATE]\nTQBR=BBB\nCLIENTS=C2,C5\n"
    "[CLNOBODY_MARGIN_TEMPLATE]\nTQBR=CCC\n"
    "[CL";

TEST(SettingsClients, SectionsComeBeforeTemplatesAndTheFirstCodeWins) {
    fakehost::Install(2);
    std::string longName(101, 'N');
    FirmSettings* f = Load("F", std::string(kClientsText) + longName +
                                    "_MARGIN_TEMPLATE]\nCLIENTS=C7\nTQBR=DDD\n");
    ASSERT_NE(nullptr, f);
    std::vector<std::string> codes;
    for (int32_t i = 0; i < f->clients.count; ++i)
        codes.push_back(f->clients[i]->clientCode);
    EXPECT_EQ((std::vector<std::string>{"C1", "Q*", "C2", "C4", "C5"}), codes);
    ASSERT_EQ(5, f->clients.count);

    const FirmSettings* c1 = f->clients[0];
    EXPECT_EQ("TQBR/-1:SBER/-1", Describe(c1->marginList));
    EXPECT_EQ("TQBR/-1:GAZP/-1 | TQBR/-1:X/-1", Describe(c1->assetList));
    EXPECT_EQ("TQBR/-1:LKOH/-1", Describe(c1->restShortList));
    EXPECT_EQ(2, c1->restrictBuy);

    const FirmSettings* q = f->clients[1];
    EXPECT_EQ(1, q->ignoreRestShort);
    EXPECT_EQ(0, q->marginList.count + q->assetList.count + q->restShortList.count);

    const FirmSettings* c2 = f->clients[2];
    const FirmSettings* c4 = f->clients[3];
    for (const FirmSettings* c : {c2, c4}) {
        EXPECT_EQ("TQBR/-1:AAA/-1", Describe(c->marginList));
        EXPECT_EQ(1, c->restrictBuy);
        EXPECT_EQ(0, c->ignoreRestShort);
    }
    // Template copies are independent all the way down.
    EXPECT_NE(c2->marginList.items, c4->marginList.items);
    EXPECT_NE(c2->marginList[0].securities.items, c4->marginList[0].securities.items);
    EXPECT_EQ("TQBR/-1:BBB/-1", Describe(f->clients[4]->marginList));

    std::vector<uint32_t> handles{f->handle};
    for (int32_t i = 0; i < f->clients.count; ++i) {
        const FirmSettings* c = f->clients[i];
        EXPECT_EQ(f, c->parent);
        EXPECT_STREQ("F", c->firmId);
        EXPECT_EQ(nullptr, c->text);
        handles.push_back(c->handle);
    }
    std::sort(handles.begin(), handles.end());
    EXPECT_EQ(handles.end(), std::unique(handles.begin(), handles.end()));
    EXPECT_NE(0u, handles[0]);
}

TEST(SettingsLags, EntriesAreSortedFilteredAndKeptOnce) {
    fakehost::Install(2);
    FirmSettings* f = Load("F", "[GENERAL]\nCREDITLAG=2\n[CLIENTLAG]\n"
                                "B=2\nb=1\nD=3\nE=x\nF=0\n*=2\nQ*=1\nA= 1 \n"
                                "ABCDEFGHIJKLM=2\n=1\nEXACT=1\nEX*=2\n");
    ASSERT_NE(nullptr, f);
    std::string exact, prefixes;
    for (int32_t i = 0; i < f->clientLags.count; ++i)
        exact += std::string("[") + f->clientLags[i]->clientCode + "]" +
                 std::to_string(f->clientLags[i]->lag);
    for (int32_t i = 0; i < f->clientLagPrefixes.count; ++i)
        prefixes += std::string("[") + f->clientLagPrefixes[i]->clientCode + "]" +
                    std::to_string(f->clientLagPrefixes[i]->lag);
    EXPECT_EQ("[]1[A]1[B]2[EXACT]1", exact);
    EXPECT_EQ("[]2[EX]2[Q]1", prefixes);

    struct Case {
        const char* client;
        int32_t lag;
    } cases[] = {{"EXACT", 1}, // exact codes are searched before prefixes
                 {"b", 2},
                 {"A", 1},
                 {"D", 2}, // its line was dropped; the prefix '*' answers
                 {"EXTRA", 2}};
    for (const Case& c : cases)
        EXPECT_EQ(c.lag, ClientCreditLag(f, c.client)) << c.client;
}

int ComparePrefix(const char* key, const ClientLag* e) {
    return namePrefixEquals(key, e->clientCode, int32_t(strlen(e->clientCode)));
}

TEST(SettingsLags, LoneStarPrefixIsProbedFirst) {
    fakehost::Install(2);
    FirmSettings* f = Load("F", "[CLIENTLAG]\nQ*=1\n*=2\n");
    ASSERT_NE(nullptr, f);
    ASSERT_EQ(2, f->clientLagPrefixes.count);
    // Both entries fit "QX"; with two entries the first probe lands on the empty prefix.
    EXPECT_EQ(0, FindSortedCode("QX", f->clientLagPrefixes.items, 2, ComparePrefix, nullptr));
    EXPECT_EQ(2, ClientCreditLag(f, "QX"));
}

TEST(SettingsLags, FindSortedCodeGivesTheInsertionPlace) {
    fakehost::Install(2);
    const char* codes[] = {"B", "D", "F", "H", "J", "L", "N"};
    ClientLag entries[7];
    ClientLag* ptrs[7];
    for (int i = 0; i < 7; ++i) {
        strcpy(entries[i].clientCode, codes[i]);
        ptrs[i] = &entries[i];
    }
    auto cmp = [](const char* k, const ClientLag* e) { return nameEquals(k, e->clientCode); };
    for (int32_t n = 0; n <= 7; ++n) {
        for (char k = 'A'; k <= 'O'; ++k) {
            char key[2] = {k, 0};
            int32_t place = -7;
            int32_t found = FindSortedCode(key, ptrs, n, cmp, &place);
            int32_t expectPlace = 0;
            while (expectPlace < n && strcmp(codes[expectPlace], key) < 0)
                ++expectPlace;
            bool present = expectPlace < n && strcmp(codes[expectPlace], key) == 0;
            EXPECT_EQ(present ? expectPlace : -1, found) << n << key;
            EXPECT_EQ(expectPlace, place) << n << key;
        }
    }
}

// The 51st entry of a lag array grows it from 50 to 100 slots, in one step.
TEST(SettingsLags, ArraysGrowFiftySlotsAtATime) {
    for (int32_t lines : {50, 51}) {
        for (bool prefix : {false, true}) {
            fakehost::Install(2);
            std::string text = "[CLIENTLAG]\n";
            for (int32_t i = lines; i > 0; --i)
                text += "C" + std::to_string(i) + (prefix ? "*" : "") + "=1\n";
            fakehost::host().memory.reallocSizes.clear();
            FirmSettings* f = Load("F", text);
            ASSERT_NE(nullptr, f);
            const Array<ClientLag*>& lags = prefix ? f->clientLagPrefixes : f->clientLags;
            EXPECT_EQ(lines, lags.count);
            std::vector<uint32_t> growth;
            for (uint32_t size : fakehost::host().memory.reallocSizes) {
                if (size % sizeof(void*) == 0 && size >= 50 * sizeof(void*) &&
                    size <= 100 * sizeof(void*))
                    growth.push_back(uint32_t(size / sizeof(void*)));
            }
            std::vector<uint32_t> expect{50};
            if (lines == 51) expect.push_back(100);
            EXPECT_EQ(expect, growth) << lines << (prefix ? " prefixes" : " codes");
            for (int32_t i = 1; i < lags.count; ++i)
                EXPECT_LT(nameEquals(lags[i - 1]->clientCode, lags[i]->clientCode), 0);
        }
    }
}

TEST(SettingsWeights, ValuesAreClampedAndTheFirstLineWins) {
    fakehost::Install(2);
    FirmSettings* f = Load("F", "[SECURITYWEIGHT]\nS1=0.5,1.2\nS2=1.5,0.8\nS3=-0.1,2\nS4=,3\n"
                                "S5=0.7\nS1=0.1,5\nS6= 1e-1 , 2.5E0x\nS7=abc,\n"
                                "ABCDEFGHIJKLM=0.5,2\nS8=" +
                                    std::string(256, '0') + ",2\n");
    ASSERT_NE(nullptr, f);
    EXPECT_EQ(7, f->securityWeights.count);
    struct Case {
        const char* code;
        double longWeight, shortWeight;
    } cases[] = {{"S1", 0.5, 1.2}, {"S2", 1.0, 1.0}, {"S3", 1.0, 2.0},
                 {"S4", 0.0, 3.0}, {"S5", 1.0, 1.0}, {"S6", 0.1, 2.5},
                 {"S7", 0.0, 1.0}, {"s1", 1.0, 1.0}, {"S8", 1.0, 1.0}};
    FirmSettings* client = Load("G", "[SECURITYWEIGHT]\nS1=0.5,1.2\n[CLC_MARGIN]\nRSTRNMBUY=1\n");
    ASSERT_EQ(1, client->clients.count);
    for (const Case& c : cases) {
        double l = -1, s = -1;
        WeightsOf(f, c.code, &l, &s);
        EXPECT_EQ(c.longWeight, l) << c.code;
        EXPECT_EQ(c.shortWeight, s) << c.code;
    }
    double l = -1, s = -1;
    WeightsOf(client->clients[0], "S1", &l, &s); // read from the firm record
    EXPECT_EQ(0.5, l);
    EXPECT_EQ(1.2, s);
    WeightsOf(nullptr, "S1", &l, &s);
    EXPECT_EQ(1.0, l);
    EXPECT_EQ(1.0, s);
}

TEST(SettingsBoards, KindsAndFirstKindWins) {
    fakehost::Install(2);
    FirmSettings* f = Load("F", "[BOARDTAG]\nTQBR=\nEQ =x\nLONGTAG=\nLONGTAG=\n"
                                "[ADDLIMITBOARDS]\nK1 = B1 , B2,\n"
                                "[ADDREPOBOARDS]\nK2=B2,TQBR,,B3\nK5=\n"
                                "[ADDLIMITTRDACC]\nK3=ACC1,ACC2\n"
                                "[ADDREPOTRDACC]\nK4=acc2,ACC3VERYLONGNAME\n");
    ASSERT_NE(nullptr, f);
    std::string tags, accounts;
    for (int32_t i = 0; i < f->boardTags.count; ++i)
        tags += std::string("[") + f->boardTags[i].tag + "]" + std::to_string(f->boardTags[i].kind);
    for (int32_t i = 0; i < f->tradeAccounts.count; ++i)
        accounts += std::string("[") + f->tradeAccounts[i].account + "]" +
                    std::to_string(f->tradeAccounts[i].kind);
    EXPECT_EQ("[TQBR]1[EQ ]1[LONG]1[LONG]1[K1]1[B1]2[B2]2[K2]1[]3[B3]3[K5]1[K3]1[K4]1", tags);
    EXPECT_EQ("[ACC1]2[ACC2]2[ACC3VERYLONG]3", accounts);

    struct Case {
        const char* tag;
        int32_t applicable;
    } cases[] = {{"TQBR", 1}, {"tqbr", 1}, {"EQ", 0}, {"EQ ", 1}, {"LONG", 1},
                 {"B1", 0},   {"B2", 0},   {"XX", 0}, {"K4", 1}};
    for (const Case& c : cases) {
        fakehost::Install(2); // leaves an already initialised library as it is
        KRSetDliniFile(nullptr, "");
        ASSERT_EQ(KR_ERR_ARGUMENT, KRGetLastError());
        EXPECT_EQ(c.applicable, KRIsBoardTagApplicable("F", c.tag)) << c.tag;
        EXPECT_EQ(KR_ERR_ARGUMENT, KRGetLastError()) << "last error left as it was";
    }
    EXPECT_EQ(0, KRIsBoardTagApplicable("G", "TQBR"));
    EXPECT_EQ(KR_ERR_NO_SETTINGS, KRGetLastError());

    EXPECT_EQ(AddLimit, AccountKind(f, "acc1"));
    EXPECT_EQ(AddLimit, AccountKind(f, "ACC2"));
    EXPECT_EQ(AddRepo, AccountKind(f, "ACC3VERYLONG"));
    EXPECT_EQ(Listed, AccountKind(f, "OTHER"));
    EXPECT_EQ(AddRepo, BoardKind(f, "B3"));
}

TEST(SettingsBoards, WithoutSectionsEveryTagAndAccountCounts) {
    fakehost::Install(2);
    FirmSettings* f = Load("F", "[CLC_MARGIN]\nRSTRNMBUY=1\n");
    ASSERT_NE(nullptr, f);
    EXPECT_EQ(1, KRIsBoardTagApplicable("F", "ANY"));
    EXPECT_EQ(Listed, BoardKind(f->clients[0], ""));
    EXPECT_EQ(Listed, AccountKind(f->clients[0], "ANY"));
}

typedef std::tuple<int32_t, DiagCode, std::string> Diag;

void Collect(void* user, int32_t line, DiagCode code, const char* subject) {
    static_cast<std::vector<Diag>*>(user)->push_back(Diag(line, code, subject));
}

TEST(SettingsDiagnostics, EverySkippedOrChangedLineIsReported) {
    fakehost::Install(2);
    std::vector<Diag> got;
    DiagnosticSink sink = {Collect, &got};
    const char* text = "stray\n"                    // 1
                       "[GENERAL]\n"                // 2
                       "CREDITLAG=2\n"              // 3
                       "CREDITLAG=1\n"              // 4
                       "NOPE=1\n"                   // 5
                       "no equals\n"                // 6
                       "MAINMARGINCLASSES=A, B\n"   // 7
                       "[GENERAL]\n"                // 8
                       "CREDITLAG=5\n"              // 9
                       "[UNKNOWN]\n"                // 10
                       "X=1\n"                      // 11
                       "[LIMITALLOWEDSECURITY]\n"   // 12
                       "TQBR=A,,ABCDEFGHIJKLM,A\n"  // 13
                       "ABCDEFGHIJKLM=A\n"          // 14
                       "[CLIENTLAG]\n"              // 15
                       "C=3\n"                      // 16
                       "[SECURITYWEIGHT]\n"         // 17
                       "S=2,0.5\n"                  // 18
                       "T=1\n"                      // 19
                       "S=0.5,1.5\n"                // 20
                       "[BOARDTAG]\n"               // 21
                       "LONGTAG=\n"                 // 22
                       "[CLC1_MARGIN]\n"            // 23
                       "[CLT_MARGIN_TEMPLATE]\n"    // 24
                       "CLIENTS=C1,X*\n"            // 25
                       "[CLABCDEFGHIJKLM_MARGIN]\n" // 26
                       "\n"                         // 27
                       "[ADDREPOBOARDS]\n"          // 28
                       "K=LONG\n";                  // 29
    ASSERT_EQ(KR_ERR_NONE, LoadFirmSettings("F", text, &sink));
    std::vector<Diag> expect = {
        {1, kDiagUnreadLine, "STRAY"},      {4, kDiagRepeatedKey, "CREDITLAG"},
        {5, kDiagUnknownKey, "NOPE"},       {6, kDiagNoEquals, "NO EQUALS"},
        {7, kDiagMainMarginSpace, " B"},    {8, kDiagRepeatedSection, "[GENERAL]"},
        {10, kDiagUnreadLine, "[UNKNOWN]"}, {11, kDiagUnreadLine, "X=1"},
        {13, kDiagPieceEmpty, "TQBR"},      {13, kDiagPieceTooLong, "ABCDEFGHIJKLM"},
        {13, kDiagPieceRepeated, "A"},      {14, kDiagKeyTooLong, "ABCDEFGHIJKLM"},
        {16, kDiagValueOutOfRange, "C"},    {18, kDiagValueClamped, "S"},
        {18, kDiagValueClamped, "S"},       {19, kDiagNoComma, "T"},
        {20, kDiagRepeatedKey, "S"},        {22, kDiagTagCut, "LONGTAG"},
        {25, kDiagClientDiscarded, "C1"}, // line 23's own section came first
        {25, kDiagClientSkipped, "X*"},     {26, kDiagNameTooLong, "[CLABCDEFGHIJKLM_MARGIN]"},
        {29, kDiagRepeatedKey, "LONG"} // stays Listed
    };
    std::sort(got.begin(), got.end());
    std::sort(expect.begin(), expect.end());
    EXPECT_EQ(expect, got);
}

TEST(SettingsDiagnostics, SinkDoesNotChangeWhatIsLoaded) {
    fakehost::Install(2);
    std::vector<Diag> got;
    DiagnosticSink sink = {Collect, &got};
    const char* text = "[GENERAL]\nCREDITLAG=2\n[GENERAL]\nCREDITLAG=1\n[CLIENTLAG]\nA=2\n";
    ASSERT_EQ(KR_ERR_NONE, LoadFirmSettings("F", text, &sink));
    ASSERT_EQ(KR_ERR_NONE, LoadFirmSettings("G", text, nullptr));
    const FirmSettings* f = gState.firmSettingsTable[0];
    const FirmSettings* g = gState.firmSettingsTable[1];
    EXPECT_EQ(2, f->creditLag);
    EXPECT_EQ(g->creditLag, f->creditLag);
    EXPECT_EQ(g->clientLags.count, f->clientLags.count);
    EXPECT_EQ(1u, got.size());
}

} // namespace
