// Hostile input at every export: calls before initialisation, null pointers, size tags beside
// the valid ones, stale and forged row handles, pathological settings texts, codes at and past
// every field width, and host strings that fill their fields without a NUL. The suite also runs
// under ASan and UBSan, which turn any read or write past a record into a failure.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <random>

#include "state/state.h"
#include "scenario.h"

using namespace memory_host;

namespace {

std::string gSeen; // every margin list handed to the row calls' callback
struct Call {
    const char* name;
    std::function<int32_t()> run;
    int32_t result, code;
};
#define CALL(expr, result, code)                                                                   \
    Call {                                                                                         \
#expr, [&] { return expr; }, result, code                                                  \
    }

// Each call answers its result and code, whatever code the thread held before.
void Expect(const std::vector<Call>& calls) {
    for (const Call& c : calls) {
        SCOPED_TRACE(c.name);
        KRIsLimitsInLots("NONE"); // leaves KR_ERR_NO_SETTINGS, which no case expects
        EXPECT_EQ(c.result, c.run());
        EXPECT_EQ(c.code, KRGetLastError());
    }
}

// Every export that takes a row: the two that take an actv first, the one that binds (which
// brings a stale row back) last.
std::vector<Call> RowCalls(KRMarginalRow* row, KRMarginalActv* actv, int32_t result, int32_t code,
                           bool bind = true) {
#define ROW_CALL(expr) Call{#expr, [=] { return expr; }, result, code}
    std::vector<Call> calls = {
        ROW_CALL(KRInitMarginalActv(row, actv)),
        ROW_CALL(KRCalcMarginalActv(row, actv, 0.0)),
        ROW_CALL(KRCalcMarginalRow(row)),
        ROW_CALL(KRCalcMarginalRowEx(row, nullptr, nullptr)),
        ROW_CALL(KRIsMarginSeccode(row, "SBER", nullptr, nullptr)),
        ROW_CALL(KRIsAssetSeccode(row, "SBER", nullptr, nullptr)),
        ROW_CALL(KRGetMarginSecs(row, world::RecordMarginSecs, uintptr_t(&gSeen)))};
    if (bind) calls.push_back(ROW_CALL(KRInitMarginalRow(row)));
    return calls;
}

// What the calls work on; the row is bound to the firm record once the library is initialised.
class HostileInit : public testing::Test {
  protected:
    KRMarginalRow row_ = Row("F1", "C1");
    KRMarginalActv actv_ = Actv(10, 101);
    KRClass cls_{};
    KRSecurity sec_{};
    uint32_t ids_[8] = {}, outs_[2] = {7, 7};
    int32_t count_ = 8;
};

class Hostile : public HostileInit {
  protected:
    void SetUp() override {
        ASSERT_TRUE(Install(2) == 1 && world::Build() && KRInitMarginalRow(&row_) &&
                    KRCalcMarginalRow(&row_) && KRInitMarginalActv(&row_, &actv_));
    }
    void TearDown() override {
        EXPECT_EQ(1, KRCleanup());
        EXPECT_EQ(0, host().memory.live) << "blocks leaked";
        EXPECT_EQ(0, host().memory.foreignFrees);
    }
};

} // namespace

// Before KRInitEx every export but the setters refuses with KR_ERR_STATE; KRInitEx wants all six
// callbacks, then a version of 1 or 2, then the limit sizes of that version; afterwards it and
// the setters refuse, also after KRCleanup, and the callbacks stay.
TEST_F(HostileInit, RefusedUntilInitialisedThenOneWay) {
    Expect(RowCalls(&row_, &actv_, 0, KR_ERR_STATE));
    Expect({CALL(KRCleanup(), 0, KR_ERR_STATE), CALL(KRCleanupDlifiles(), 0, KR_ERR_STATE),
            CALL(KRAddClass(&cls_, &sec_), 0, KR_ERR_STATE),
            CALL(KRSetDliniFile("F1", ""), 0, KR_ERR_STATE),
            CALL(KRGetNeedClassSecIDs(1, ids_, &count_), 0, KR_ERR_STATE),
            CALL(KRIsBoardTagApplicable("F1", "T"), 0, KR_ERR_STATE),
            CALL(KRIsLimitsInLots("F1"), 1, KR_ERR_STATE),
            CALL(KRSetParamCallbacks(GetParamId, nullptr), 1, KR_ERR_NONE),
            CALL(KRInit(88, 88), 0, KR_ERR_ARGUMENT)});
    InstallCallbacks();
    // A wrong version is refused before the sizes are looked at.
    for (int32_t v : {1, 2, 0, 3, -1, INT32_MIN, INT32_MAX})
        for (int32_t a : {0, -1, 87, 89, 95, 97, INT32_MIN})
            for (int32_t b : {88, 96, a}) {
                const int32_t code = v == 1 || v == 2 ? KR_ERR_SIZE : KR_ERR_VERSION;
                Expect({CALL(KRInitEx(v, a, b), 0, code), CALL(KRInitEx(v, b, a), 0, code)});
            }
    Expect({CALL(KRInitEx(0, 88, 88), 0, KR_ERR_VERSION),
            CALL(KRInitEx(3, 96, 96), 0, KR_ERR_VERSION), CALL(KRInitEx(2, 88, 88), 0, KR_ERR_SIZE),
            CALL(KRInitEx(1, 96, 96), 0, KR_ERR_SIZE), CALL(KRInitEx(2, 96, 96), 1, KR_ERR_NONE),
            CALL(KRInit(88, 88), 0, KR_ERR_STATE), CALL(KRCleanup(), 1, KR_ERR_NONE),
            CALL(KRSetMemoryManagement(nullptr, nullptr, nullptr), 0, KR_ERR_STATE),
            CALL(KRSetLimitCallbacks(nullptr, nullptr, nullptr, nullptr), 0, KR_ERR_STATE),
            CALL(KRSetParamCallbacks(nullptr, nullptr), 0, KR_ERR_STATE),
            CALL(KRInitEx(2, 96, 96), 0, KR_ERR_STATE)});
    ASSERT_TRUE(KRSetDliniFile("F1", "") && KRInitMarginalRow(&row_) && KRCalcMarginalRow(&row_));
    EXPECT_EQ(std::vector<std::string>{"findFirstMoney F1 C1"}, LogLines("findFirstMoney"));
}

// Null pointers are refused before anything else is looked at; refusals touch none of the host's
// records and keep the library's data (F1 survives the refused reload).
TEST_F(Hostile, EveryPointerArgumentNullInTurn) {
    const KRMarginalRow rowBefore = row_;
    const KRMarginalActv actvBefore = actv_;
    const int32_t ARG = KR_ERR_ARGUMENT;
    Expect(RowCalls(nullptr, &actv_, 0, ARG));
    Expect({RowCalls(&row_, nullptr, 0, ARG)[0], RowCalls(&row_, nullptr, 0, ARG)[1],
            CALL(KRCalcMarginalRowEx(nullptr, &outs_[0], &outs_[1]), 0, ARG),
            CALL(KRIsMarginSeccode(&row_, nullptr, &outs_[0], &outs_[1]), 0, ARG),
            CALL(KRIsAssetSeccode(&row_, nullptr, &outs_[0], &outs_[1]), 0, ARG),
            CALL(KRGetMarginSecs(&row_, nullptr, 0), 0, ARG),
            CALL(KRAddClass(nullptr, &sec_), 0, ARG), CALL(KRAddClass(&cls_, nullptr), 0, ARG),
            CALL(KRSetDliniFile(nullptr, "[GENERAL]"), 0, ARG),
            CALL(KRSetDliniFile("F1", nullptr), 0, ARG),
            CALL(KRGetNeedClassSecIDs(10, nullptr, &count_), 0, ARG),
            CALL(KRGetNeedClassSecIDs(10, ids_, nullptr), 0, ARG),
            CALL(KRIsBoardTagApplicable(nullptr, "MB"), 0, ARG),
            CALL(KRIsBoardTagApplicable("F1", nullptr), 0, ARG),
            CALL(KRIsLimitsInLots(nullptr), 1, ARG), CALL(KRIsLimitsInLots("F1"), 1, KR_ERR_NONE)});
    EXPECT_EQ(0, memcmp(&actvBefore, &actv_, sizeof actv_));
    EXPECT_EQ(0, memcmp(&rowBefore, &row_, sizeof row_));
    EXPECT_EQ(std::vector<uint32_t>({7, 7, 8}),
              std::vector<uint32_t>({outs_[0], outs_[1], uint32_t(count_)}));
    EXPECT_TRUE(gSeen.empty()) << "a refused KRGetMarginSecs called back";
}

// An unbound row is refused before its tag is looked at; a bound one for its tag, and the actv
// for its tag only after the row's. A refusal changes neither record.
TEST_F(Hostile, SizeTagsBesideTheValidOnes) {
    const std::vector<Call> valid = RowCalls(&row_, &actv_, 1, KR_ERR_NONE),
                            refused = RowCalls(&row_, &actv_, 0, KR_ERR_SIZE);
    for (uint32_t rowTag :
         {0u, 1u, 247u, 248u, 249u, 256u, 264u, 272u, 279u, 280u, 281u, 512u, 0x80000118u, ~0u})
        for (uint32_t actvTag : {0u, 1u, 47u, 48u, 49u, 52u, 56u, 57u, 512u, 0x10038u, ~0u}) {
            SCOPED_TRACE(testing::Message() << "row tag " << rowTag << ", actv tag " << actvTag);
            const bool rowOk = rowTag == 248 || rowTag == 264 || rowTag == 272 || rowTag == 280,
                       actvOk = actvTag == 48 || actvTag == 56;
            for (size_t i = 0; i < valid.size(); ++i) {
                row_.size = rowTag, actv_.size = actvTag;
                const KRMarginalRow rowBefore = row_;
                const KRMarginalActv actvBefore = actv_;
                const bool ok = rowOk && (actvOk || i >= 2); // the first two take the actv
                Expect({(ok ? valid : refused)[i]});
                if (ok) continue;
                EXPECT_EQ(0, memcmp(&rowBefore, &row_, sizeof row_)) << valid[i].name;
                EXPECT_EQ(0, memcmp(&actvBefore, &actv_, sizeof actv_)) << valid[i].name;
            }
        }
    KRMarginalRow unbound = Row("F1", "C1", 256);
    Expect({CALL(KRCalcMarginalRow(&unbound), 0, KR_ERR_ARGUMENT)});
}

// Each event makes some rows stale and brings every firm back with fresh records, which a stale
// handle must not find by accident; the rows of the other firms stay bound.
TEST_F(Hostile, StaleAndForgedRowHandlesAreRefused) {
    const struct {
        const char* name;
        std::function<bool()> run;
        std::string staleFirms;
    } events[] = {
        {"reload of F1", [] { return KRSetDliniFile("F1", world::FirmText()) == 1; }, "F1"},
        {"reload of F3", [] { return KRSetDliniFile("F3", world::ThirdFirmText()) == 1; }, "F3"},
        {"reload of F4", [] { return KRSetDliniFile("F4", world::FourthFirmText()) == 1; }, "F4"},
        {"KRCleanupDlifiles", [] { return KRCleanupDlifiles() + world::LoadFirms() == 5; }, "F"},
        {"KRCleanup", [] { return KRCleanup() + world::Build() == 2; }, "F"}};
    for (const auto& e : events) {
        SCOPED_TRACE(e.name);
        std::vector<KRMarginalRow> rows;
        for (const world::Firm& f : world::Firms())
            for (const std::string& c : f.clients) {
                rows.push_back(Row(f.id, c));
                ASSERT_EQ(1, KRInitMarginalRow(&rows.back()));
            }
        ASSERT_TRUE(e.run());
        for (KRMarginalRow& row : rows) {
            SCOPED_TRACE(testing::Message() << row.firmId << "/" << row.clientCode);
            if (std::string(row.firmId).find(e.staleFirms) == 0)
                Expect(RowCalls(&row, &actv_, 0, KR_ERR_ARGUMENT, false));
            else
                EXPECT_EQ(1, KRCalcMarginalRow(&row));
            EXPECT_TRUE(KRInitMarginalRow(&row) && KRCalcMarginalRow(&row));
        }
        // The first handle of the process is long retired; the next one is not issued yet.
        for (uint32_t forged : {0xFFFFFFFFu, 0x7FFFFFFFu, kesvar::gState.lastHandle + 1, 1u}) {
            SCOPED_TRACE(testing::Message() << "forged binding " << forged);
            rows[0].binding = forged;
            Expect(RowCalls(&rows[0], &actv_, 0, KR_ERR_ARGUMENT, false));
        }
    }
    EXPECT_TRUE(gSeen.empty()) << "a refused KRGetMarginSecs called back";
}

// Each text is loaded for F1; then C1 sees SBER marginal or not, C2 has credit lag 2 or not,
// and neither C1's client section nor board tags were read.
TEST_F(Hostile, PathologicalSettingsTexts) {
    const std::string MiB(1 << 20, 'X');
    std::string empty, general,
        c1Sections; // 100 000 empty sections, [GENERAL] headers, C1 sections
    for (int i = 0; i < 100000; ++i)
        empty += "[X]\n", general += "[GENERAL]\n", c1Sections += "[CLC1_MARGIN]\n";
    std::mt19937 random(12345);
    std::string noise(256 * 1024, ' ');
    for (char& c : noise)
        c = char(random() % 255 + 1); // never NUL
    const std::string lists = "\n[LIMITALLOWEDSECURITY]\nTQBR=SBER\n[GENERAL]\nCREDITLAG=2\n";
    // What a text left F1 with: SBER marginal for C1, credit lag 2 for C2.
    struct Text {
        explicit Text(const std::string& t) : text(t) {}
        std::string text;
        bool sberMarginal = false, lag2 = false;
        Text& SberMarginal() { return sberMarginal = true, *this; }
        Text& Lag2() { return lag2 = true, *this; }
    };
    std::vector<Text> cases = {
        Text("[LIMITALLOWEDSECURITY]\nTQBR=SBER," + MiB + ",GAZP\n").SberMarginal(),
        Text("[CLIENTLAG]\n" + MiB + "=2\nC2=2\n").Lag2(),
        Text("[GENERAL]\nMAINMARGINCLASSES=" + std::string(MiB.size(), ',') + lists).SberMarginal(),
        Text(MiB),
        Text("[CLT_MARGIN_TEMPLATE]\nCLIENTS=C1\n" + MiB + "=X\n[CLC2_MARGIN]\n" + MiB + "=Y" +
             lists)
            .SberMarginal()
            .Lag2(),
        Text(empty + lists).SberMarginal().Lag2(),
        Text(general + "CREDITLAG=2\n"),
        Text(c1Sections + "TQBR=SBER\n"),
        Text(noise),
        Text(noise + lists).SberMarginal().Lag2(),
        Text("[LIMITALLOWEDSECURITY]TQBR=SBER[GENERAL]CREDITLAG=2"),
        Text("[LIMITALLOWEDSECURITY]\rTQBR=SBER\r[GENERAL]\rCREDITLAG=2\r"),
    };
    // A header of each kind (fixed, client, template) cut in half (head, tail), with a line
    // after it that would show.
    struct Halves {
        std::string head, tail, line;
    };
    const Halves halves[] = {{"[LIMITALLOW", "EDSECURITY]", "TQBR=SBER"},
                             {"[GEN", "ERAL]", "CREDITLAG=2"},
                             {"[CLC1_", "MARGIN]", "TQBR=SBER"},
                             {"[CLT_MARGI", "N_TEMPLATE]", "CLIENTS=C1"}};
    for (const auto& h : halves) {
        for (const char* eol : {"\n", "\r\n"})
            cases.push_back(Text(h.head + eol + h.tail + eol + h.line + eol));
        cases.push_back(Text(h.line + "\n" + h.head)); // ends in half a header
    }
    for (const Text& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.text.substr(0, 60)));
        ASSERT_EQ(1, KRSetDliniFile("F1", c.text.c_str()));
        KRMarginalRow c1 = Row("F1", "C1"), c2 = Row("F1", "C2");
        ASSERT_TRUE(KRInitMarginalRow(&c1) && KRCalcMarginalRow(&c1) && KRInitMarginalRow(&c2));
        EXPECT_EQ(c.sberMarginal, KRIsMarginSeccode(&c1, "SBER", nullptr, nullptr));
        EXPECT_EQ(c.lag2, c2.creditLag2);
        EXPECT_EQ(0, KRIsMarginSeccode(&c1, "LKOH", nullptr, nullptr)); // C1's section unread
        EXPECT_EQ(1, KRIsBoardTagApplicable("F1", "XXXX"));             // no board tags read
        world::Observe("F1", {"C1", "VIP", "Q7"}, world::Securities(), world::Depth::Quick);
    }
}

// Codes of every length: registry codes of 16 to 19 characters reach the margin list through
// <ALL> cut to 15; codes in a text, firm keys and client codes count up to 12 characters; a row
// whose firm id fills its 13 bytes without a NUL names no firm.
TEST_F(Hostile, CodesAtAndPastEveryFieldWidth) {
    const std::string code12 = "ABCDEFGHIJKL", code13 = code12 + "M";
    std::vector<SecurityDef> secs;
    std::string one = "[LIMITALLOWEDSECURITY]\n" + code12 + "="; // every one by name
    for (size_t len : {12u, 13u, 15u, 16u, 19u}) {
        secs.push_back({uint32_t(900 + len), std::string(len, char('A' + len - 10))});
        one += secs.back().code + ",";
    }
    ASSERT_EQ(1, AddClass(90, code12, secs));
    const std::string all = "[LIMITALLOWEDSECURITY]\n" + code12 + "=<ALL>\n" + code13 + "=<ALL>\n";
    ASSERT_EQ(2, KRSetDliniFile("F5", all.c_str()) + KRSetDliniFile("F6", (one + "\n").c_str()));
    KRMarginalRow f5 = Row("F5", "C1"), f6 = Row("F6", "C1");
    ASSERT_TRUE(KRInitMarginalRow(&f5) && KRInitMarginalRow(&f6));
    const std::string list = world::MarginList("F5", "C1") + " ";
    for (const SecurityDef& s : secs) {
        SCOPED_TRACE(s.code.size());
        uint32_t secId = 0;
        const std::string cut = s.code.substr(0, 15);
        EXPECT_EQ(1, KRIsMarginSeccode(&f5, s.code.c_str(), nullptr, &secId));
        EXPECT_EQ(s.secId, secId);
        EXPECT_EQ(0, KRIsMarginSeccode(&f5, (s.code + "X").c_str(), nullptr, nullptr));
        EXPECT_EQ(s.code.size() <= 15, KRIsMarginSeccode(&f5, cut.c_str(), nullptr, nullptr));
        EXPECT_EQ(s.code.size() <= 12, KRIsMarginSeccode(&f6, s.code.c_str(), nullptr, nullptr));
        EXPECT_NE(std::string::npos, list.find(" " + std::to_string(s.secId) + ":" + cut + " "));
    }
    // A code of 13 characters fills its field without a NUL and still names its position.
    SetPrices(90, 913, 1, 1, 1, 1);
    memcpy(host().secLimits[AddSecLimit(Holding("F5", "C1", "", "ACC").Current(7))].get() + 4,
           secs[1].code.data(), 13);
    LimitsChanged();
    KRMarginalActv a = Actv(90, 913);
    ASSERT_TRUE(KRInitMarginalActv(&f5, &a) && KRCalcMarginalActv(&f5, &a, 0.0));
    EXPECT_EQ(7, a.position);
    // Firm keys: up to 12 characters, compared exactly (case-sensitive).
    ASSERT_EQ(1, KRSetDliniFile("abcdefghijkl", ""));
    for (const std::string& key : {code12, code13, code12 + "MNOPQRST"}) {
        const int32_t fits = key.size() <= 12;
        Expect({CALL(KRSetDliniFile(key.c_str(), "[GENERAL]\nLIMITSINLOTS=0\n"), fits,
                     fits ? KR_ERR_NONE : KR_ERR_ARGUMENT),
                CALL(KRIsLimitsInLots(key.c_str()), !fits, fits ? KR_ERR_NONE : KR_ERR_NO_SETTINGS),
                CALL(KRIsBoardTagApplicable(key.c_str(), "TQBR"), fits,
                     KR_ERR_NO_SETTINGS), // code left
                CALL(KRIsLimitsInLots("abcdefghijkl"), 1, KR_ERR_NONE)});
    }
    // Client codes in the row, up to 16 bytes without a NUL.
    const std::string text = "[LIMITALLOWEDSECURITY]\nTQBR=SBER\n[CL" + code12 +
                             "_MARGIN]\nTQBR=LKOH\n[CL" + code13 + "_MARGIN]\nTQBR=GAZP\n" +
                             "[CLIENTLAG]\n" + code12 + "=2\n" + code13 + "=2\n";
    ASSERT_EQ(1, KRSetDliniFile("F1", text.c_str()));
    world::AddClientLimits("F1", code12, 3);
    for (const std::string& client : {code12, code13, std::string(15, 'Q'), code12 + "MNOP"}) {
        SCOPED_TRACE(testing::Message() << "client code of " << client.size());
        const int32_t is12 = client == code12;
        KRMarginalRow row = Row("F1", "");
        memcpy(row.clientCode, client.data(), client.size());
        row.creditLag2 = row.leverageGiven = 0xEE; // what a read past the field would see
        ASSERT_TRUE(KRInitMarginalRow(&row) && KRCalcMarginalRow(&row));
        EXPECT_EQ(std::vector<int32_t>({!is12, is12, is12, is12}),
                  std::vector<int32_t>({KRIsMarginSeccode(&row, "SBER", nullptr, nullptr),
                                        KRIsMarginSeccode(&row, "LKOH", nullptr, nullptr),
                                        row.creditLag2, row.moneyAvailable != 0.0}));
        memcpy(row.firmId, code13.data(), 13); // which names no firm, and unbinds the row
        Expect({CALL(KRInitMarginalRow(&row), 0, KR_ERR_NO_SETTINGS)});
        EXPECT_EQ(std::make_pair(0u, uint8_t(0)), std::make_pair(row.binding, row.creditLag2));
    }
}

// A class and securities whose codes fill their fields, in blocks of exactly their size (a read
// past a field runs off the block): codes of 12 and 19 characters. Limit records whose strings
// fill their fields belong to no firm and client of 12 characters at most, so each ends the walk
// it starts; with the right firm and client, tag, code and account are read within their fields.
TEST_F(Hostile, HostStringsWithoutTheirNul) {
    std::unique_ptr<KRClass> cls(new KRClass);
    memset(cls.get(), 'N', sizeof(KRClass));
    cls->classId = 77, cls->secCount = 2, cls->flags = 0;
    std::unique_ptr<KRSecurity[]> secs(new KRSecurity[2]);
    secs[0] = {0.0, 771, 0, 1, {}}, secs[1] = {0.0, 772, 0, 1, {'T'}};
    memset(secs[0].code, 'S', 20);
    memset(secs[1].code + 1, 'S', 19);
    Expect({CALL(KRAddClass(cls.get(), secs.get()), 1, KR_ERR_NONE)});
    KRMarginalActv actv = Actv(77, 772);
    SetPrices(77, 772, 10, 10, 10, 10);
    EXPECT_TRUE(KRGetNeedClassSecIDs(77, ids_, &count_) && KRCalcMarginalRow(&row_) &&
                KRInitMarginalActv(&row_, &actv) && KRCalcMarginalActv(&row_, &actv, 0.0));
    ASSERT_EQ(1, KRSetDliniFile("F5", "[LIMITALLOWEDSECURITY]\nNNNNNNNNNNNN=<ALL>\n"));
    EXPECT_EQ("77 NNNNNNNNNNNN 771:SSSSSSSSSSSSSSS 772:TSSSSSSSSSSSSSS",
              world::MarginList("F5", "C1"));

    host().moneyLimits.clear(), host().secLimits.clear();
    const uint32_t money = AddMoneyLimit(Funds("F1", "C1", "MB").Open(100000).Current(100000));
    const uint32_t sec = AddSecLimit(Holding("F1", "C1", "SBER", "ACC0").Open(10).Current(10));
    uint8_t *mr = host().moneyLimits[money].get(), *sr = host().secLimits[sec].get();
    // Tag, firm id and client code; security code, trade account, firm id and client code.
    memset(mr + 9, 'X', 5 + 13 + 13);
    memset(sr + 4, 'X', 4 * 13);
    uint32_t m = money, s = sec;
    ASSERT_EQ(1, KRCalcMarginalRowEx(&row_, &m, &s));
    EXPECT_EQ(std::make_pair(money, sec), std::make_pair(m, s));
    EXPECT_EQ(std::make_pair(0.0, 0.0), std::make_pair(row_.moneyAvailable, row_.longValue));
    for (uint8_t* p : {mr + 14, mr + 27, sr + 30, sr + 43})
        memcpy(p, p == mr + 14 || p == sr + 30 ? "F1" : "C1", 3);
    ASSERT_EQ(1, KRCalcMarginalRowEx(&row_, &m, &s));
    EXPECT_EQ(std::make_pair(money + 1, sec + 1), std::make_pair(m, s));
    EXPECT_TRUE(KRInitMarginalActv(&row_, &actv_) && KRCalcMarginalActv(&row_, &actv_, 0.0));
}
