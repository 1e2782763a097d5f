// The section readers of the settings text, and what the loader tells a diagnostic sink.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "fake_host.h"
#include "row/row.h"
#include "links/links.h"

using namespace kesvar;

namespace {

FirmRecord* Load(const char* key, const std::string& text) {
    EXPECT_EQ(1, KRSetDliniFile(key, text.c_str()));
    return gState.firmSettingsTable[FindFirmSettings(key)];
}

// "CLASS/idx:SEC/idx,SEC/idx" with "+ALL" for "<ALL>"; entries joined by " | ".
std::string Describe(const FirmSettings* r, int32_t kind) {
    std::string out;
    const SecurityList list = ListOf(r, kind);
    for (int32_t i = 0; i < list.count; ++i) {
        const ClassSecurityList& e = list.entries[i];
        out +=
            (i ? " | " : "") + std::string(ClassCodeOf(r, e)) + "/" + std::to_string(e.classIndex);
        for (int32_t k = 0; k < e.securityCount; ++k) {
            char code[16];
            ListedCode(r, SecuritiesOf(r, e)[k], code);
            out += (k ? "," : ":") + std::string(code) + "/" +
                   std::to_string(SecIndexOf(SecuritiesOf(r, e)[k]));
        }
        if (e.allSecurities) out += "+ALL";
    }
    return out;
}

// Only the line's last '.' goes; 13-character codes and keys are dropped; a piece is cut at
// 255 before it is trimmed, so the code beyond is lost. In "<ALL>" entries explicit codes
// stay unresolved ahead of the expansion, whose registry codes of 16 to 19 characters are cut
// to 15; a class registered later resolves the waiting entry.
TEST(SettingsLists, PiecesAreTrimmedBoundedAndKeptOnceAllExpandsLast) {
    fakehost::Install(2);
    fakehost::AddClass(10, "TQBR", {{101, "SBER"}, {102, "GAZP"}, {103, "ABCDEFGHIJKLMNOPQRS"}});
    FirmRecord* f = Load("F", "[LIMITALLOWEDSECURITY]\n"
                              "tqbr= sber , gazp,SBER,, LKOH ,ABCDEFGHIJKLM,ABCDEFGHIJKL,A.,B.\n"
                              "ABCDEFGHIJKLM=X\nNOEQUALS\nEMPTY=\n[ASSETSECURITIES]\nC=A\nC=B\n"
                              "TQBR=NEW,<all>,GAZP\nOTHER=<ALL>,X\n[RESTSHORTSECURITIES]\nR=" +
                                  std::string(300, ' ') + "Z\n");
    fakehost::AddClass(11, "OTHER", {{201, "X"}, {202, "Y"}});
    EXPECT_EQ("TQBR/0:SBER/0,GAZP/1,LKOH/-1,ABCDEFGHIJKL/-1,A./-1,B/-1 | EMPTY/-1",
              Describe(f, kMarginList));
    EXPECT_EQ("C/-1:A/-1 | C/-1:B/-1 | TQBR/0:NEW/-1,GAZP/-1,SBER/0,GAZP/1,ABCDEFGHIJKLMNO/2+ALL | "
              "OTHER/1:X/-1,X/3,Y/4+ALL",
              Describe(f, kAssetList));
    EXPECT_EQ("R/-1", Describe(f, kRestShortList));
}

// Headers match trimmed, upper-cased lines; '[' ends a section; only the first occurrence
// of a section is read; the first line of each key wins; RSTRNMBUY=0 reads as 2; the class
// list is framed in commas; the volume flag wants VOLUME to start a line, not the first.
TEST(SettingsGeneral, HeadersDefaultsAndTheFirstLineOfEachKey) {
    fakehost::Install(2);
    // Text; CREDITLAG, RSTRNMBUY CHECKMAXCREDIT LIMITSINLOTS, volume flag, MAINMARGINCLASSES.
    const std::pair<const char*, const char*> cases[] = {
        {"  [general] . \r\ncreditlag=2.\r\nvolume=1", "2 001 1 "},
        {"[GENERAL]\t\nCREDITLAG=2\r\nVOLUMEFOO", "1 001 1 "}, // a tab is no blank
        {"[GENERAL] X\nCREDITLAG=2\n VOLUME", "1 001 0 "},
        {"VOLUME\nCREDITLAG=2\n[GENERAL]", "1 001 0 "},
        {"[GENERAL]\nCREDITLAG\nCREDITLAGX=3\n[X]\nCREDITLAG=2", "1 001 0 "},
        {"[GENERAL]\nLIMITSINLOTS=1\n[X]\n[GENERAL]\nCREDITLAG=2", "1 001 0 "},
        {"[GENERAL]\nRSTRNMBUY=5\nLIMITSINLOTS=\nLIMITSINLOTS=1\nCREDITLAG=7\nCREDITLAG=2\n"
         "checkmaxcredit = -3\nCHECKMAXCREDIT=0\nMAINMARGINCLASSES=aaa,bbb\nMAINMARGINCLASSES=C",
         "7 110 0 ,AAA,BBB,"},
        {"[GENERAL]\nRSTRNMBUY=0\nRSTRNMBUY=1\nMAINMARGINCLASSES=B, A", "1 201 0 ,B, A,"}};
    for (const auto& [text, want] : cases) {
        const FirmRecord* f = Load("F", text);
        EXPECT_EQ(want, std::to_string(f->creditLag) + " " + std::to_string(f->restrictBuy) +
                            std::to_string(f->checkMaxCredit) + std::to_string(f->limitsInLots) +
                            " " + std::to_string(f->volumeFlag) + " " + f->mainMarginClasses)
            << text;
    }
}

// Sections are read before templates and the first record of a code is kept; "_ASSET" is
// looked for before "_RESTSHORT".
TEST(SettingsClients, SectionsComeBeforeTemplatesAndTheFirstCodeWins) {
    fakehost::Install(2);
    FirmRecord* f = Load(
        "F",
        "[CLC1_MARGIN]\nTQBR=SBER\nTQBR_ASSET=GAZP\nTQBR_RESTSHORT=LKOH\n"
        "TQBR_ASSET_RESTSHORT=X\nABCDEFGHIJKLM_ASSET=Y\nRSTRNMBUY=0\nRSTRNMBUY=1\n"
        "[CLQ*_MARGIN]\nIGNORERESTSHORTSECURITY=1\nIGNORERESTSHORTSECURITY=0\n"
        "[CLABCDEFGHIJKLM_MARGIN]\nTQBR=NOPE\n"
        "[CLT_MARGIN_TEMPLATE]\nCLIENTS=C1, c2 ,C3*,,ABCDEFGHIJKLM,C4\nCLIENTS=C9\nTQBR=AAA\n"
        "RSTRNMBUY=5\nIGNORERESTSHORTSECURITY=1\n[CLU_MARGIN_TEMPLATE]\nTQBR=BBB\nCLIENTS=C2,C5\n"
        "[CLNOBODY_MARGIN_TEMPLATE]\nTQBR=CCC\n[CL" +
            std::string(101, 'N') + "_MARGIN_TEMPLATE]\nCLIENTS=C7\nTQBR=DDD\n");
    std::vector<std::string> clients;
    std::set<uint32_t> handles{0, f->handle};
    for (int32_t i = 0; i < f->clients.count; ++i) {
        const FirmSettings* c = &f->clients[i];
        clients.push_back(std::string(c->clientCode) + " " + std::to_string(c->restrictBuy) +
                          std::to_string(c->ignoreRestShort) + " " + Describe(c, kMarginList) +
                          " / " + Describe(c, kAssetList) + " / " + Describe(c, kRestShortList));
        handles.insert(HandleOf(c));
    }
    ASSERT_EQ((std::vector<std::string>{
                  "C1 20 TQBR/-1:SBER/-1 / TQBR/-1:GAZP/-1 | TQBR/-1:X/-1 / TQBR/-1:LKOH/-1",
                  "Q* 01  /  / ", "C2 10 TQBR/-1:AAA/-1 /  / ", "C4 10 TQBR/-1:AAA/-1 /  / ",
                  "C5 00 TQBR/-1:BBB/-1 /  / "}),
              clients);
    EXPECT_EQ(size_t(f->clients.count + 2), handles.size()); // all distinct, none zero
}

// Codes sorted, bad lines dropped, the first line of a code kept. Exact codes are searched
// before prefixes; of the two prefixes fitting "QX" the first probe lands on the lone '*'.
TEST(SettingsLags, SortedEntriesExactCodesFirstLoneStarProbedFirst) {
    fakehost::Install(2);
    FirmRecord* f = Load("F", "[GENERAL]\nCREDITLAG=2\n[CLIENTLAG]\nB=2\nb=1\nD=3\nE=x\nF=0\n"
                              "*=2\nQ*=1\nA= 1 \nABCDEFGHIJKLM=2\n=1\nEXACT=1\n");
    std::string lags;
    for (const Array<ClientLag>* a : {&f->clientLags, &f->clientLagPrefixes})
        for (int32_t i = 0; i < a->count; ++i)
            lags += std::string("[") + (*a)[i].clientCode + "]" + std::to_string((*a)[i].lag);
    EXPECT_EQ("[]1[A]1[B]2[EXACT]1[]2[Q]1", lags);
    const std::pair<const char*, int32_t> cases[] = {{"EXACT", 1}, {"b", 2}, {"D", 2}, {"QX", 2}};
    for (const auto& [client, lag] : cases)
        EXPECT_EQ(lag, ClientCreditLag(f, client)) << client;
}

// Weights: long ones outside [0, 1] and short ones below 1 become 1; the first line of a
// code wins. Boards: BOARDTAG keys keep their spaces; a long tag or account is cut (a tag
// added again each time); each keeps the kind it was first added with. A client reads its
// firm's lists. Answers leave the last error alone.
TEST(SettingsLookups, WeightsClampBoardsAndAccountsKeepTheFirstKind) {
    fakehost::Install(2);
    FirmRecord* f = Load(
        "F", "[CLC_MARGIN]\n[BOARDTAG]\nTQBR=\nEQ =x\nLONGTAG=\nLONGTAG=\n[ADDLIMITBOARDS]\n"
             "K1 = B1 , B2,\n[ADDREPOBOARDS]\nK2=B2,TQBR,,B3\nK5=\n[ADDLIMITTRDACC]\nK3=ACC1,ACC2\n"
             "[ADDREPOTRDACC]\nK4=acc2,ACC3VERYLONGNAME\n[SECURITYWEIGHT]\nS1=0.5,1.2\nS2=1.5,0.8\n"
             "S3=-0.1,2\nS4=,3\nS5=0.7\nS1=0.1,5\nS6= 1e-1 , 2.5E0x\nABCDEFGHIJKLM=0.5,2\nS8=" +
                 std::string(256, '0') + ",2\n");
    EXPECT_EQ(6, f->securityWeights.count); // no comma, long key and long value dropped
    const std::tuple<const FirmSettings*, const char*, double, double> cases[] = {
        // clang-format off
        {f, "S2", 1.0, 1.0}, {f, "S3", 1.0, 2.0}, {f, "S4", 0.0, 3.0}, {f, "S6", 0.1, 2.5},
        {f, "s1", 1.0, 1.0}, {&f->clients[0], "S1", 0.5, 1.2}, {nullptr, "S1", 1.0, 1.0}};
    // clang-format on
    for (const auto& [record, code, longWeight, shortWeight] : cases) {
        double l = -1, s = -1;
        WeightsOf(record, code, &l, &s);
        EXPECT_EQ(std::make_pair(longWeight, shortWeight), std::make_pair(l, s)) << code;
    }

    std::string kinds;
    const Array<BoardTag>& tags = f->boardTags;
    const Array<TradeAccount>& accounts = f->tradeAccounts;
    for (int32_t i = 0; i < tags.count; ++i)
        kinds += tags[i].tag + ("=" + std::to_string(tags[i].kind)) + " ";
    for (int32_t i = 0; i < accounts.count; ++i)
        kinds += accounts[i].account + ("=" + std::to_string(accounts[i].kind)) + " ";
    EXPECT_EQ("TQBR=1 EQ =1 LONG=1 LONG=1 K1=1 B1=2 B2=2 K2=1 =3 B3=3 K5=1 K3=1 K4=1 ACC1=2 ACC2=2 "
              "ACC3VERYLONG=3 ",
              kinds);
    EXPECT_EQ(AddLimit, AccountKind(&f->clients[0], "acc2"));
    EXPECT_EQ(Listed, AccountKind(f, "OTHER"));
    KRSetDliniFile(nullptr, "");
    const std::pair<const char*, int32_t> asked[] = {{"tqbr", 1}, {"EQ", 0}, {"B1", 0}, {"K4", 1}};
    for (const auto& [tag, applicable] : asked) {
        EXPECT_EQ(applicable, KRIsBoardTagApplicable("F", tag)) << tag;
        EXPECT_EQ(KR_ERR_ARGUMENT, KRGetLastError()) << tag;
    }
    EXPECT_EQ(0, KRIsBoardTagApplicable("G", "TQBR"));
    EXPECT_EQ(KR_ERR_NO_SETTINGS, KRGetLastError());
    Load("G", ""); // without any tag section every tag counts
    EXPECT_EQ(1, KRIsBoardTagApplicable("G", "ANY"));
}

typedef std::tuple<int32_t, DiagCode, std::string> Diag;

void Collect(void* user, int32_t line, DiagCode code, const char* subject) {
    static_cast<std::vector<Diag>*>(user)->push_back(Diag(line, code, subject));
}

// With a sink the loader walks on past a section, yet a repeated one is still not read.
TEST(SettingsDiagnostics, SkippedOrChangedLinesAreReported) {
    fakehost::Install(2);
    std::vector<Diag> got;
    DiagnosticSink sink = {Collect, &got};
    const char* text = "stray\n[GENERAL]\nMAINMARGINCLASSES=A, B\n[GENERAL]\nLIMITSINLOTS=0\n"
                       "[CLIENTLAG]\nC=3\n[CLC1_MARGIN]\n[CLT_MARGIN_TEMPLATE]\nCLIENTS=C1\n";
    ASSERT_EQ(KR_ERR_NONE, SetFirmSettings("F", text, &sink));
    EXPECT_EQ(1, gState.firmSettingsTable[0]->limitsInLots);
    std::vector<Diag> want = {// clang-format off
        {1, kDiagUnreadLine, "STRAY"}, {3, kDiagMainMarginSpace, " B"},
        {4, kDiagRepeatedSection, "[GENERAL]"}, {7, kDiagValueOutOfRange, "C"},
        {10, kDiagClientDiscarded, "C1"}}; // line 8's own section came first
    // clang-format on
    std::sort(got.begin(), got.end());
    EXPECT_EQ(want, got);
}

} // namespace
