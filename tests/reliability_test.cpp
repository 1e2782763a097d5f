// Hostile input at every export: null pointers, size tags beside the valid ones, stale and
// forged row handles, pathological settings texts, codes at and past every field width, and
// host strings that fill their fields without a NUL. The suite also runs under ASan and UBSan,
// which turn any read or write past a record into a failure.
#include <gtest/gtest.h>
#include <string.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "fake_host.h"
#include "frame/state.h"
#include "reliability_world.h"

using namespace fakehost;

namespace {

int gMarginSecsCalls = 0;
int32_t KR_CALL CountMarginSecs(const KRMarginClassEntry* e, uint32_t n, uintptr_t user) {
    ++gMarginSecsCalls;
    return world::RecordMarginSecs(e, n, user);
}

class Hostile : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(1, Install(2));
        ASSERT_EQ(4, world::RegisterClasses());
        ASSERT_EQ(1, KRSetDliniFile("F1", world::FirmText()));
        ASSERT_EQ(1, KRSetDliniFile("F2", world::SecondFirmText()));
        world::AddHostData();
    }
    void TearDown() override {
        EXPECT_EQ(1, KRCleanup());
        EXPECT_EQ(0, host().memory.live) << "blocks leaked";
        EXPECT_EQ(0, host().memory.foreignFrees);
    }

    // A row bound and calculated, and an actv prepared, for the given client.
    void Bind(KRMarginalRow* row, KRMarginalActv* actv, const char* firm = "F1",
              const char* client = "C1") {
        *row = Row(firm, client);
        ASSERT_EQ(1, KRInitMarginalRow(row));
        ASSERT_EQ(1, KRCalcMarginalRow(row));
        *actv = Actv(10, 101);
        ASSERT_EQ(1, KRInitMarginalActv(row, actv));
    }

    // Row bound to `firm`/`client`; the marginal flag of SBER and the credit-lag-2 mark.
    struct Seen {
        int32_t bind, sberMargin, lkohMargin;
        uint8_t creditLag2;
    };
    Seen Look(const char* firm, const char* client) {
        KRMarginalRow row = Row(firm, client);
        Seen s{KRInitMarginalRow(&row), -1, -1, 0};
        if (s.bind != 1) return s;
        s.creditLag2 = row.creditLag2;
        EXPECT_EQ(1, KRCalcMarginalRow(&row)) << firm << "/" << client;
        s.sberMargin = KRIsMarginSeccode(&row, "SBER", nullptr, nullptr);
        s.lkohMargin = KRIsMarginSeccode(&row, "LKOH", nullptr, nullptr);
        return s;
    }
};

struct Refusal {
    const char* name;
    std::function<int32_t()> call;
    int32_t result, code;
};

void ExpectRefusals(const std::vector<Refusal>& cases) {
    for (const Refusal& c : cases) {
        SCOPED_TRACE(c.name);
        KRGetNeedClassSecIDs(0, nullptr, nullptr); // leaves a code that no case expects
        EXPECT_EQ(c.result, c.call());
        EXPECT_EQ(c.code, KRGetLastError());
    }
}

} // namespace

TEST(HostileInit, SizesAndVersionsBesideTheValidOnes) {
    InstallCallbacks();
    const int32_t sizes[] = {0, -1, 87, 89, 95, 97, INT32_MIN, INT32_MAX};
    for (int32_t version : {1, 2})
        for (int32_t a : sizes)
            for (int32_t b : {88, 96, a}) {
                SCOPED_TRACE(testing::Message() << version << "/" << a << "/" << b);
                EXPECT_EQ(0, KRInitEx(version, a, b));
                EXPECT_EQ(KR_ERR_SIZE, KRGetLastError());
            }
    for (int32_t version : {0, 3, -1, -2, INT32_MIN, INT32_MAX}) {
        EXPECT_EQ(0, KRInitEx(version, 96, 96));
        EXPECT_EQ(KR_ERR_VERSION, KRGetLastError());
    }
    EXPECT_EQ(0, kesvar::gState.initialised);
    EXPECT_EQ(1, KRInitEx(2, 96, 96));
}

TEST_F(Hostile, EveryPointerArgumentNullInTurn) {
    KRMarginalRow row;
    KRMarginalActv actv;
    Bind(&row, &actv);
    const KRMarginalRow rowBefore = row;
    const KRMarginalActv actvBefore = actv;
    KRClass cls{};
    cls.classId = 99;
    memcpy(cls.code, "NEW", 4);
    KRSecurity sec{};
    uint32_t ids[8] = {}, outClass = 7, outSec = 7, moneyIndex = 5, secIndex = 6;
    int32_t count = 8;
    std::string sink;
    const uintptr_t user = reinterpret_cast<uintptr_t>(&sink);
    gMarginSecsCalls = 0;

    ExpectRefusals({
        {"AddClass class", [&] { return KRAddClass(nullptr, &sec); }, 0, KR_ERR_ARGUMENT},
        {"AddClass securities", [&] { return KRAddClass(&cls, nullptr); }, 0, KR_ERR_ARGUMENT},
        {"AddClass both", [&] { return KRAddClass(nullptr, nullptr); }, 0, KR_ERR_ARGUMENT},
        {"SetDlini firm", [&] { return KRSetDliniFile(nullptr, "[GENERAL]"); }, 0, KR_ERR_ARGUMENT},
        {"SetDlini text", [&] { return KRSetDliniFile("F1", nullptr); }, 0, KR_ERR_ARGUMENT},
        {"InitRow", [&] { return KRInitMarginalRow(nullptr); }, 0, KR_ERR_ARGUMENT},
        {"CalcRow", [&] { return KRCalcMarginalRow(nullptr); }, 0, KR_ERR_ARGUMENT},
        {"CalcRowEx row", [&] { return KRCalcMarginalRowEx(nullptr, &moneyIndex, &secIndex); }, 0,
         KR_ERR_ARGUMENT},
        {"InitActv row", [&] { return KRInitMarginalActv(nullptr, &actv); }, 0, KR_ERR_ARGUMENT},
        {"InitActv actv", [&] { return KRInitMarginalActv(&row, nullptr); }, 0, KR_ERR_ARGUMENT},
        {"CalcActv row", [&] { return KRCalcMarginalActv(nullptr, &actv, 0.0); }, 0,
         KR_ERR_ARGUMENT},
        {"CalcActv actv", [&] { return KRCalcMarginalActv(&row, nullptr, 0.0); }, 0,
         KR_ERR_ARGUMENT},
        {"IsMargin row", [&] { return KRIsMarginSeccode(nullptr, "SBER", &outClass, &outSec); }, 0,
         KR_ERR_ARGUMENT},
        {"IsMargin code", [&] { return KRIsMarginSeccode(&row, nullptr, &outClass, &outSec); }, 0,
         KR_ERR_ARGUMENT},
        {"IsAsset row", [&] { return KRIsAssetSeccode(nullptr, "SBER", &outClass, &outSec); }, 0,
         KR_ERR_ARGUMENT},
        {"IsAsset code", [&] { return KRIsAssetSeccode(&row, nullptr, &outClass, &outSec); }, 0,
         KR_ERR_ARGUMENT},
        {"MarginSecs row", [&] { return KRGetMarginSecs(nullptr, CountMarginSecs, user); }, 0,
         KR_ERR_ARGUMENT},
        {"MarginSecs callback", [&] { return KRGetMarginSecs(&row, nullptr, user); }, 0,
         KR_ERR_ARGUMENT},
        {"NeedIds ids", [&] { return KRGetNeedClassSecIDs(10, nullptr, &count); }, 0,
         KR_ERR_ARGUMENT},
        {"NeedIds count", [&] { return KRGetNeedClassSecIDs(10, ids, nullptr); }, 0,
         KR_ERR_ARGUMENT},
        {"BoardTag firm", [&] { return KRIsBoardTagApplicable(nullptr, "TQBR"); }, 0,
         KR_ERR_ARGUMENT},
        {"BoardTag tag", [&] { return KRIsBoardTagApplicable("F1", nullptr); }, 0, KR_ERR_ARGUMENT},
        {"LimitsInLots firm", [&] { return KRIsLimitsInLots(nullptr); }, 1, KR_ERR_ARGUMENT},
        // Setters refuse for the state, whatever their arguments.
        {"SetMemory", [&] { return KRSetMemoryManagement(nullptr, nullptr, nullptr); }, 0,
         KR_ERR_STATE},
        {"SetLimits", [&] { return KRSetLimitCallbacks(nullptr, nullptr, nullptr, nullptr); }, 0,
         KR_ERR_STATE},
        {"SetParams", [&] { return KRSetParamCallbacks(nullptr, nullptr); }, 0, KR_ERR_STATE},
        // The pointers that may be null.
        {"CalcRowEx without indexes", [&] { return KRCalcMarginalRowEx(&row, nullptr, nullptr); },
         1, KR_ERR_NONE},
        {"IsMargin without outs", [&] { return KRIsMarginSeccode(&row, "SBER", nullptr, nullptr); },
         1, KR_ERR_NONE},
        {"IsAsset without outs", [&] { return KRIsAssetSeccode(&row, "SBER", nullptr, nullptr); },
         1, KR_ERR_NONE},
    });
    // Refusals touched nothing of the host's.
    EXPECT_EQ(0, memcmp(&rowBefore, &row, sizeof row));
    EXPECT_EQ(0, memcmp(&actvBefore, &actv, sizeof actv));
    EXPECT_EQ(7u, outClass);
    EXPECT_EQ(7u, outSec);
    EXPECT_EQ(5u, moneyIndex);
    EXPECT_EQ(6u, secIndex);
    EXPECT_EQ(8, count);
    EXPECT_EQ(0, gMarginSecsCalls);
    EXPECT_TRUE(sink.empty());
    EXPECT_EQ(1, KRIsLimitsInLots("F1")); // F1 survived the refused reload
    EXPECT_EQ(KR_ERR_NONE, KRGetLastError());
}

TEST_F(Hostile, SizeTagsOutsideTheirSetAndBesideTheValidOnes) {
    KRMarginalRow row;
    KRMarginalActv actv;
    Bind(&row, &actv);
    const uint32_t rowTags[] = {0,   1,   247, 248, 249,           255,         256,
                                263, 264, 265, 271, 272,           273,         279,
                                280, 281, 288, 512, 248 + 0x10000, 0x80000118u, 0xFFFFFFFFu};
    const uint32_t actvTags[] = {0,  1,  47, 48,       49,          52,         55,
                                 56, 57, 64, 0x10038u, 0x80000038u, 0xFFFFFFFFu};
    auto validRow = [](uint32_t t) { return t == 248 || t == 264 || t == 272 || t == 280; };
    auto validActv = [](uint32_t t) { return t == 48 || t == 56; };
    std::string sink;
    for (uint32_t rt : rowTags) {
        for (uint32_t at : actvTags) {
            SCOPED_TRACE(testing::Message() << "row tag " << rt << ", actv tag " << at);
            std::vector<std::pair<const char*, std::function<int32_t()>>> calls = {
                {"InitRow", [&] { return KRInitMarginalRow(&row); }},
                {"CalcRow", [&] { return KRCalcMarginalRow(&row); }},
                {"CalcRowEx", [&] { return KRCalcMarginalRowEx(&row, nullptr, nullptr); }},
                {"IsMargin", [&] { return KRIsMarginSeccode(&row, "SBER", nullptr, nullptr); }},
                {"IsAsset", [&] { return KRIsAssetSeccode(&row, "SBER", nullptr, nullptr); }},
                {"MarginSecs",
                 [&] {
                     return KRGetMarginSecs(&row, CountMarginSecs,
                                            reinterpret_cast<uintptr_t>(&sink));
                 }},
                {"InitActv", [&] { return KRInitMarginalActv(&row, &actv); }},
                {"CalcActv", [&] { return KRCalcMarginalActv(&row, &actv, 0.0); }},
            };
            for (auto& call : calls) {
                bool takesActv = strstr(call.first, "Actv") != nullptr;
                bool valid = validRow(rt) && (!takesActv || validActv(at));
                row.size = rt;
                actv.size = at;
                KRMarginalRow rowBefore = row;
                KRMarginalActv actvBefore = actv;
                int32_t result = call.second();
                int32_t code = KRGetLastError();
                if (valid) {
                    EXPECT_EQ(KR_ERR_NONE, code) << call.first;
                    EXPECT_EQ(strncmp(call.first, "Is", 2) == 0 ? result : 1, result) << call.first;
                } else {
                    EXPECT_EQ(0, result) << call.first;
                    EXPECT_EQ(KR_ERR_SIZE, code) << call.first;
                    EXPECT_EQ(0, memcmp(&rowBefore, &row, sizeof row)) << call.first;
                    EXPECT_EQ(0, memcmp(&actvBefore, &actv, sizeof actv)) << call.first;
                }
            }
            row.size = 280;
            actv.size = 56;
        }
    }
}

// Records of the shorter versions, each in a block of exactly its size plus a fence the
// library must never write.
TEST_F(Hostile, ShorterRecordsAreNeverWrittenPastTheirTag) {
    const size_t kFence = 32;
    for (uint32_t rowSize : {248u, 264u, 272u, 280u}) {
        for (uint32_t actvSize : {48u, 56u}) {
            SCOPED_TRACE(testing::Message() << rowSize << "/" << actvSize);
            std::unique_ptr<uint8_t[]> rowBlock(new uint8_t[rowSize + kFence]);
            std::unique_ptr<uint8_t[]> actvBlock(new uint8_t[actvSize + kFence]);
            KRMarginalRow r = Row("F1", "C2", rowSize); // a credit-lag-2 client
            KRMarginalActv a = Actv(10, 101, actvSize);
            memcpy(rowBlock.get(), &r, rowSize);
            memcpy(actvBlock.get(), &a, actvSize);
            memset(rowBlock.get() + rowSize, 0xCD, kFence);
            memset(actvBlock.get() + actvSize, 0xCD, kFence);
            auto* row = reinterpret_cast<KRMarginalRow*>(rowBlock.get());
            auto* actv = reinterpret_cast<KRMarginalActv*>(actvBlock.get());
            ASSERT_EQ(1, KRInitMarginalRow(row));
            uint32_t m = 0, s = 0;
            EXPECT_EQ(1, KRCalcMarginalRowEx(row, &m, &s));
            EXPECT_EQ(1, KRInitMarginalActv(row, actv));
            for (double price : {0.0, 251.0, -1.0})
                EXPECT_EQ(1, KRCalcMarginalActv(row, actv, price));
            for (size_t i = 0; i < kFence; ++i) {
                EXPECT_EQ(0xCD, rowBlock[rowSize + i]) << "row byte " << rowSize + i;
                EXPECT_EQ(0xCD, actvBlock[actvSize + i]) << "actv byte " << actvSize + i;
            }
        }
    }
}

TEST_F(Hostile, StaleAndForgedRowHandlesAreRefused) {
    auto loadAll = [] {
        ASSERT_EQ(1, KRSetDliniFile("F1", world::FirmText()));
        ASSERT_EQ(1, KRSetDliniFile("F2", world::SecondFirmText()));
    };
    struct Event {
        const char* name;
        std::function<void()> run;     // makes rows stale
        std::function<void()> restore; // brings every firm back, with fresh records
        bool f2Stale;                  // rows of F2 go stale too
    } events[] = {
        {"reload of F1", [] { KRSetDliniFile("F1", world::FirmText()); }, [] {}, false},
        {"KRCleanupDlifiles", [] { KRCleanupDlifiles(); }, loadAll, true},
        {"KRCleanup", [] { KRCleanup(); },
         [&] {
             ASSERT_EQ(4, world::RegisterClasses());
             loadAll();
         },
         true},
    };
    for (const Event& e : events) {
        SCOPED_TRACE(e.name);
        KRMarginalRow firmRow, clientRow, otherFirm;
        KRMarginalActv firmActv, clientActv, otherActv;
        Bind(&firmRow, &firmActv, "F1", "ZZ");        // bound to the firm record
        Bind(&clientRow, &clientActv, "F1", "VIP01"); // bound to a client record
        Bind(&otherFirm, &otherActv, "F2", "C1");
        e.run();
        // The firms are back: a stale handle must not find the new records by accident.
        e.restore();
        if (!e.f2Stale) {
            EXPECT_EQ(1, KRCalcMarginalRow(&otherFirm)) << "a row of F2 went stale";
        }
        uint32_t lastHandle = kesvar::gState.lastHandle;
        KRMarginalRow forged[4] = {firmRow, firmRow, firmRow, firmRow};
        forged[0].binding = 0xFFFFFFFFu;
        forged[1].binding = 0x7FFFFFFFu;
        forged[2].binding = lastHandle + 1;
        forged[3].binding = 1; // the first handle of the process, long retired
        std::vector<KRMarginalRow*> stale = {&firmRow, &clientRow};
        if (e.f2Stale) stale.push_back(&otherFirm);
        for (KRMarginalRow& f : forged)
            stale.push_back(&f);
        for (KRMarginalRow* row : stale) {
            SCOPED_TRACE(testing::Message() << "binding " << row->binding);
            std::string sink;
            gMarginSecsCalls = 0;
            KRMarginalActv actv = Actv(10, 101);
            ExpectRefusals({
                {"CalcRow", [&] { return KRCalcMarginalRow(row); }, 0, KR_ERR_ARGUMENT},
                {"CalcRowEx", [&] { return KRCalcMarginalRowEx(row, nullptr, nullptr); }, 0,
                 KR_ERR_ARGUMENT},
                {"InitActv", [&] { return KRInitMarginalActv(row, &actv); }, 0, KR_ERR_ARGUMENT},
                {"CalcActv", [&] { return KRCalcMarginalActv(row, &firmActv, 0.0); }, 0,
                 KR_ERR_ARGUMENT},
                {"IsMargin", [&] { return KRIsMarginSeccode(row, "SBER", nullptr, nullptr); }, 0,
                 KR_ERR_ARGUMENT},
                {"IsAsset", [&] { return KRIsAssetSeccode(row, "SBER", nullptr, nullptr); }, 0,
                 KR_ERR_ARGUMENT},
                {"MarginSecs",
                 [&] {
                     return KRGetMarginSecs(row, CountMarginSecs,
                                            reinterpret_cast<uintptr_t>(&sink));
                 },
                 0, KR_ERR_ARGUMENT},
            });
            EXPECT_EQ(0, gMarginSecsCalls);
            // Binding again brings the row back.
            EXPECT_EQ(1, KRInitMarginalRow(row));
            EXPECT_EQ(1, KRCalcMarginalRow(row));
        }
    }
}

TEST_F(Hostile, PathologicalSettingsTexts) {
    const size_t MiB = 1 << 20;
    std::string emptySections, emptyGeneral, sameClient, noise;
    for (int i = 0; i < 100000; ++i) {
        emptySections += "[X]\n";
        emptyGeneral += "[GENERAL]\n";
        sameClient += "[CLC1_MARGIN]\n";
    }
    uint32_t seed = 12345;
    for (size_t i = 0; i < 256 * 1024; ++i) {
        seed = seed * 1103515245u + 12345u;
        char c = char((seed >> 16) % 255 + 1); // never NUL
        noise += c;
    }
    struct Case {
        const char* name;
        std::string text;
        // F1 is loaded with the text; the expectations for C1, C2 and VIP01.
        int32_t sberMarginC1;
        uint8_t lag2C2;
    } cases[] = {
        {"1 MiB list value",
         "[LIMITALLOWEDSECURITY]\nTQBR=SBER," + std::string(MiB, 'X') + ",GAZP\n", 1, 0},
        {"1 MiB key", "[CLIENTLAG]\n" + std::string(MiB, 'C') + "=2\nC2=2\n", 0, 1},
        {"1 MiB class order",
         "[GENERAL]\nMAINMARGINCLASSES=" + std::string(MiB, ',') +
             "\nCREDITLAG=2\n[LIMITALLOWEDSECURITY]\nTQBR=SBER\n",
         1, 1},
        {"1 MiB line, nothing else", std::string(MiB, 'A'), 0, 0},
        {"1 MiB of spaces and full stops before a header",
         std::string(MiB / 2, ' ') + std::string(MiB / 2, '.') + "\n[GENERAL]\nCREDITLAG=2\n", 0,
         1},
        {"100000 empty sections", emptySections + "[GENERAL]\nCREDITLAG=2\n", 0, 1},
        {"100000 empty [GENERAL] sections", emptyGeneral + "CREDITLAG=2\n", 0, 0},
        {"100000 client sections of one client", sameClient + "TQBR=SBER\n", 0, 0},
        {"no LF", "[LIMITALLOWEDSECURITY]TQBR=SBER[GENERAL]CREDITLAG=2", 0, 0},
        {"CR only", "[LIMITALLOWEDSECURITY]\rTQBR=SBER\r[GENERAL]\rCREDITLAG=2\r", 0, 0},
        {"binary noise", noise, 0, 0},
        {"binary noise, then sections",
         noise + "\n[LIMITALLOWEDSECURITY]\nTQBR=SBER\n[GENERAL]\nCREDITLAG=2\n", 1, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(1, KRSetDliniFile("F1", c.text.c_str()));
        EXPECT_EQ(KR_ERR_NONE, KRGetLastError());
        Seen c1 = Look("F1", "C1"), c2 = Look("F1", "C2");
        EXPECT_EQ(1, c1.bind);
        EXPECT_EQ(c.sberMarginC1, c1.sberMargin);
        EXPECT_EQ(c.lag2C2, c2.creditLag2);
        world::Observe("F1", {"C1", "VIP01", "Q7"}, world::Securities(), world::Depth::Quick);
    }
}

TEST_F(Hostile, EveryHeaderCutInHalf) {
    // Each section with a line that shows whether it was read.
    struct Section {
        std::string header, line;
    } sections[] = {
        {"[LIMITALLOWEDSECURITY]", "TQBR=SBER"},
        {"[ASSETSECURITIES]", "TQBR=SBER"},
        {"[RESTSHORTSECURITIES]", "TQBR=SBER"},
        {"[GENERAL]", "CREDITLAG=2"},
        {"[CLC1_MARGIN]", "TQBR=LKOH"},
        {"[CLT_MARGIN_TEMPLATE]", "CLIENTS=C1"},
        {"[CLIENTLAG]", "C2=2"},
        {"[SECURITYWEIGHT]", "SBER=0.5,2"},
        {"[BOARDTAG]", "TQBR="},
        {"[ADDLIMITBOARDS]", "TQBR=B1"},
        {"[ADDREPOBOARDS]", "TQBR=R1"},
        {"[ADDLIMITTRDACC]", "TQBR=ACC1"},
        {"[ADDREPOTRDACC]", "TQBR=ACC2"},
    };
    for (const Section& s : sections) {
        size_t half = s.header.size() / 2;
        std::string head = s.header.substr(0, half), tail = s.header.substr(half);
        const std::string texts[] = {
            head + "\n" + tail + "\n" + s.line + "\n",
            head + "\r\n" + tail + "\r\n" + s.line + "\r\n",
            "[LIMITALLOWEDSECURITY]\nTQBR=GAZP\n" + head, // the text ends inside a header
            s.line + "\n" + head,
        };
        for (const std::string& text : texts) {
            SCOPED_TRACE(testing::Message()
                         << s.header << " cut as " << testing::PrintToString(text));
            ASSERT_EQ(1, KRSetDliniFile("F1", text.c_str()));
            Seen c1 = Look("F1", "C1"), c2 = Look("F1", "C2");
            EXPECT_EQ(1, c1.bind);
            EXPECT_EQ(0, c1.sberMargin) << "a cut header was read";
            EXPECT_EQ(0, c1.lkohMargin) << "a cut client section was read";
            EXPECT_EQ(0, c2.creditLag2) << "a cut header was read";
            EXPECT_EQ(1, KRIsBoardTagApplicable("F1", "XXXX")) << "board tags were read";
        }
    }
}

TEST_F(Hostile, CodesAtAndPastEveryFieldWidth) {
    const std::string code12 = "ABCDEFGHIJKL", code13 = code12 + "M";
    // A class of securities with codes of every length, all of them listed through <ALL>
    // for F3 and one by one for F4.
    std::vector<SecuritySpec> secs;
    std::string byName;
    for (size_t len : {12u, 13u, 15u, 16u, 19u}) {
        std::string code(len, char('A' + len - 10));
        secs.push_back({uint32_t(900 + len), code});
        byName += code + ",";
    }
    ASSERT_EQ(1, AddClass(90, code12, secs));
    ASSERT_EQ(KR_ERR_NONE, KRGetLastError());
    ASSERT_EQ(
        1, KRSetDliniFile(
               "F3",
               ("[LIMITALLOWEDSECURITY]\n" + code12 + "=<ALL>\n" + code13 + "=<ALL>\n").c_str()));
    ASSERT_EQ(1, KRSetDliniFile(
                     "F4", ("[LIMITALLOWEDSECURITY]\n" + code12 + "=" + byName + "\n").c_str()));
    for (const SecuritySpec& s : secs) {
        SCOPED_TRACE(s.code.size());
        KRMarginalRow all = Row("F3", "C1"), one = Row("F4", "C1");
        ASSERT_EQ(1, KRInitMarginalRow(&all));
        ASSERT_EQ(1, KRInitMarginalRow(&one));
        uint32_t classId = 0, secId = 0;
        // <ALL> takes every registered security; its code is compared with the registry's.
        EXPECT_EQ(1, KRIsMarginSeccode(&all, s.code.c_str(), &classId, &secId));
        EXPECT_EQ(s.secId, secId);
        if (s.code.size() > 15) {
            EXPECT_EQ(0, KRIsMarginSeccode(&all, s.code.substr(0, 15).c_str(), nullptr, nullptr));
        }
        // A code written in the text must fit 12 characters.
        EXPECT_EQ(s.code.size() <= 12 ? 1 : 0,
                  KRIsMarginSeccode(&one, s.code.c_str(), nullptr, nullptr));
        EXPECT_EQ(0, KRIsMarginSeccode(&all, (s.code + "X").c_str(), nullptr, nullptr));
    }
    // Codes of the margin list reach the host cut to 15 characters, NUL-terminated.
    struct Got {
        std::vector<std::string> codes;
        bool terminated = true;
    } got;
    KRMarginalRow all = Row("F3", "C1");
    ASSERT_EQ(1, KRInitMarginalRow(&all));
    ASSERT_EQ(1, KRGetMarginSecs(
                     &all,
                     [](const KRMarginClassEntry* e, uint32_t n, uintptr_t user) -> int32_t {
                         Got& g = *reinterpret_cast<Got*>(user);
                         for (uint32_t i = 0; i < n; ++i)
                             for (int32_t j = 0; j < e[i].secCount; ++j) {
                                 size_t len = strnlen(e[i].secs[j].code, 16);
                                 g.terminated &= len < 16;
                                 g.codes.push_back(std::string(e[i].secs[j].code, len));
                             }
                         return 0;
                     },
                     reinterpret_cast<uintptr_t>(&got)));
    EXPECT_TRUE(got.terminated);
    ASSERT_EQ(secs.size(), got.codes.size());
    for (size_t i = 0; i < secs.size(); ++i)
        EXPECT_EQ(secs[i].code.substr(0, 15), got.codes[i]);

    // Firm keys: 12 characters are a key, 13 and more are refused and never found.
    for (size_t len : {12u, 13u, 15u, 16u, 19u, 20u}) {
        SCOPED_TRACE(testing::Message() << "firm key of " << len);
        std::string key(len, 'K');
        EXPECT_EQ(len <= 12 ? 1 : 0, KRSetDliniFile(key.c_str(), "[GENERAL]\nLIMITSINLOTS=0\n"));
        EXPECT_EQ(len <= 12 ? KR_ERR_NONE : KR_ERR_ARGUMENT, KRGetLastError());
        EXPECT_EQ(len <= 12 ? 0 : 1, KRIsLimitsInLots(key.c_str()));
        EXPECT_EQ(len <= 12 ? KR_ERR_NONE : KR_ERR_NO_SETTINGS, KRGetLastError());
        EXPECT_EQ(len <= 12 ? 1 : 0, KRIsBoardTagApplicable(key.c_str(), "TQBR"));
    }

    // Client codes: client sections and lags of 12 characters count, 13 are dropped.
    const std::string text = "[LIMITALLOWEDSECURITY]\nTQBR=SBER\n[CL" + code12 +
                             "_MARGIN]\nTQBR=LKOH\n[CL" + code13 + "_MARGIN]\nTQBR=GAZP\n" +
                             "[CLIENTLAG]\n" + code12 + "=2\n" + code13 + "=2\n";
    ASSERT_EQ(1, KRSetDliniFile("F1", text.c_str()));
    world::AddClientLimits("F1", code12, 3);
    struct {
        std::string client;
        int32_t sber, lkoh;
        uint8_t lag2;
        bool money;
    } clients[] = {
        {code12, 0, 1, 1, true},
        {code13, 1, 0, 0, false},
        {std::string(15, 'Q'), 1, 0, 0, false},
        {code12 + "MNOP", 1, 0, 0, false}, // 16 characters: the field holds no NUL
    };
    for (const auto& c : clients) {
        SCOPED_TRACE(testing::Message() << "client code of " << c.client.size());
        KRMarginalRow row = Row("F1", "");
        memcpy(row.clientCode, c.client.data(), c.client.size()); // no NUL at 16
        row.creditLag2 = 0xEE; // bytes after the field that a runaway read would see
        row.leverageGiven = 0xEE;
        ASSERT_EQ(1, KRInitMarginalRow(&row));
        EXPECT_EQ(c.lag2, row.creditLag2);
        ASSERT_EQ(1, KRCalcMarginalRow(&row));
        EXPECT_EQ(c.sber, KRIsMarginSeccode(&row, "SBER", nullptr, nullptr));
        EXPECT_EQ(c.lkoh, KRIsMarginSeccode(&row, "LKOH", nullptr, nullptr));
        EXPECT_EQ(c.money, row.moneyAvailable != 0.0) << row.moneyAvailable;
    }

    // A row whose firm id fills its 13 bytes without a NUL names no firm.
    KRMarginalRow row = Row("F1", "C1");
    memcpy(row.firmId, code13.data(), 13);
    EXPECT_EQ(0, KRInitMarginalRow(&row));
    EXPECT_EQ(KR_ERR_NO_SETTINGS, KRGetLastError());
}

TEST_F(Hostile, HostStringsWithoutTheirNul) {
    // A class whose code, and securities whose codes, fill their fields to the last byte, in
    // blocks of exactly their size: a read past a field runs off the block.
    std::unique_ptr<KRClass> cls(new KRClass);
    memset(cls.get(), 'N', sizeof(KRClass));
    cls->classId = 77;
    cls->secCount = 2;
    cls->flags = 0;
    std::unique_ptr<KRSecurity[]> secs(new KRSecurity[2]);
    memset(secs.get(), 'S', 2 * sizeof(KRSecurity));
    for (int i = 0; i < 2; ++i) {
        secs[i].faceValue = 0.0;
        secs[i].secId = 771 + i;
        secs[i].lotSize = 1;
    }
    secs[1].code[0] = 'T';
    EXPECT_EQ(1, KRAddClass(cls.get(), secs.get()));
    EXPECT_EQ(KR_ERR_NONE, KRGetLastError());
    uint32_t ids[4];
    int32_t count = 4;
    EXPECT_EQ(1, KRGetNeedClassSecIDs(77, ids, &count));
    KRMarginalRow row = Row("F1", "C1");
    ASSERT_EQ(1, KRInitMarginalRow(&row));
    KRMarginalActv actv = Actv(77, 772);
    EXPECT_EQ(1, KRInitMarginalActv(&row, &actv));
    SetPrices(77, 772, 10, 10, 10, 10);
    EXPECT_EQ(1, KRCalcMarginalRow(&row));
    EXPECT_EQ(1, KRCalcMarginalActv(&row, &actv, 0.0));
    // Settings that list the class by the first 12 characters of its code do not find it.
    ASSERT_EQ(1, KRSetDliniFile("F5", "[LIMITALLOWEDSECURITY]\nNNNNNNNNNNNN=<ALL>\n"));
    KRMarginalRow f5 = Row("F5", "C1");
    ASSERT_EQ(1, KRInitMarginalRow(&f5));
    std::string sink;
    EXPECT_EQ(1, KRGetMarginSecs(&f5, world::RecordMarginSecs, reinterpret_cast<uintptr_t>(&sink)));

    // Limit records whose strings fill their fields: they belong to no firm and client of
    // 12 characters at most, so each ends the walk it starts.
    Money m{"F1", "C1", "TQBR", 100000, 0, 100000};
    uint32_t badMoney = AddMoneyLimit(m);
    uint8_t* mr = host().moneyLimits[badMoney].get();
    memset(mr + 9, 'T', 5);   // tag
    memset(mr + 14, 'F', 13); // firm id
    memset(mr + 27, 'C', 13); // client code
    Position p{"F1", "C1", "SBER", "ACC0", 10, 0, 10};
    uint32_t badSec = AddSecLimit(p);
    uint8_t* sr = host().secLimits[badSec].get();
    memset(sr + 4, 'S', 13);  // security code
    memset(sr + 17, 'A', 13); // trade account
    memset(sr + 30, 'F', 13);
    memset(sr + 43, 'C', 13);
    uint32_t moneyIndex = badMoney, secIndex = badSec;
    ASSERT_EQ(1, KRCalcMarginalRowEx(&row, &moneyIndex, &secIndex));
    EXPECT_EQ(badMoney, moneyIndex);
    EXPECT_EQ(badSec, secIndex);
    EXPECT_EQ(0.0, row.moneyAvailable);
    EXPECT_EQ(0.0, row.longValue);
    // The same strings with the right firm and client: the tag, code and account are read
    // within their fields only.
    memcpy(mr + 14, "F1\0", 3);
    memcpy(mr + 27, "C1\0", 3);
    memcpy(sr + 30, "F1\0", 3);
    memcpy(sr + 43, "C1\0", 3);
    moneyIndex = badMoney;
    secIndex = badSec;
    ASSERT_EQ(1, KRCalcMarginalRowEx(&row, &moneyIndex, &secIndex));
    EXPECT_EQ(badMoney + 1, moneyIndex);
    EXPECT_EQ(badSec + 1, secIndex);
    actv = Actv(10, 101);
    ASSERT_EQ(1, KRInitMarginalActv(&row, &actv));
    EXPECT_EQ(1, KRCalcMarginalActv(&row, &actv, 0.0));
}

TEST_F(Hostile, NegativeAndOddCapacities) {
    for (int32_t capacity : {INT32_MIN, -1, 0}) {
        SCOPED_TRACE(capacity);
        uint32_t ids[4] = {};
        int32_t count = capacity;
        EXPECT_EQ(0, KRGetNeedClassSecIDs(10, ids, &count)); // F1 lists securities of TQBR
        EXPECT_EQ(KR_ERR_SIZE, KRGetLastError());
        EXPECT_EQ(capacity, count);
        count = capacity;
        EXPECT_EQ(1, KRGetNeedClassSecIDs(40, ids, &count)); // TQTF has no securities
        EXPECT_EQ(0, count);
    }
    // A count at an odd address, read and written byte by byte.
    alignas(8) uint8_t buffer[16] = {};
    int32_t capacity = 8;
    memcpy(buffer + 1, &capacity, 4);
    uint32_t ids[8] = {};
    EXPECT_EQ(1, KRGetNeedClassSecIDs(10, ids, reinterpret_cast<int32_t*>(buffer + 1)));
    int32_t got = 0;
    memcpy(&got, buffer + 1, 4);
    EXPECT_EQ(4, got); // SBER, GAZP, LKOH, NOPRICE
    EXPECT_EQ(0, buffer[0]);
    EXPECT_EQ(0, buffer[5]);
}
