// What a host meets below the calculations: the parameter-id questions, the walks over the
// host's limit records, row handles when their counter wraps, the memory hooks call by call, the
// hash index the lookups share, and the upper-casing table of the settings texts. Refusals of
// every export: reliability_test.cpp.
#include <gtest/gtest.h>
#include <string.h>

#include <algorithm>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <tuple>

#include "index/hash_index.h"
#include "state/state.h"
#include "platform/platform.h"
#include "scenario.h"

using namespace memory_host;
using Lines = std::vector<std::string>;

namespace {

KRMarginalRow Calculated(const char* firm, const char* client, int32_t result = 1) {
    KRMarginalRow row = Row(firm, client);
    EXPECT_EQ(1, KRInitMarginalRow(&row));
    EXPECT_EQ(result, KRCalcMarginalRow(&row)) << firm << "/" << client;
    return row;
}

} // namespace

// Before any class is registered there is no face-value class: a row asks no ACCRUEDINT, and
// one unknown to the host does not stop it.
TEST(ParamIds, NoAccruedInterestBeforeAnyClass) {
    host().paramIds.erase("ACCRUEDINT");
    ASSERT_EQ(1, Install(2));
    ASSERT_EQ(1, KRSetDliniFile("F1", world::FirmText()));
    Calculated("F1", "C1");
    EXPECT_EQ((Lines{"paramId OFFER", "paramId BID", "paramId PREVPRICE", "paramId LAST"}),
              LogLines("paramId"));
}

// Ids are asked in the order OFFER, BID, PREVPRICE, LAST, never past the first unknown one and
// before any limit; a known id, 0 included, is never asked again, also after KRCleanup.
// ACCRUEDINT is asked only while a face-value class is registered (not one refused for memory),
// and asked again after a time without one.
TEST(ParamIds, AskedOnceInOrderAndAccruedInterestOnlyForFaceValueClasses) {
    host().paramIds.erase("BID");
    host().paramIds["ACCRUEDINT"] = 0;
    ASSERT_EQ(1, Install(2));
    const world::ClassDef &shares = world::Classes()[0], &bonds = world::Classes()[1];
    ASSERT_EQ(1, AddClass(shares.id, shares.code, shares.secs));
    ASSERT_EQ(1, KRSetDliniFile("F1", world::FirmText()));
    AddSecLimit(Holding("F1", "C1", "OFZ1").Current(4));
    KRMarginalRow row = Calculated("F1", "C1", 0);
    EXPECT_EQ(KR_ERR_PARAM_UNKNOWN, KRGetLastError());
    KRMarginalActv actv = Actv(10, 101);
    ASSERT_EQ(1, KRInitMarginalActv(&row, &actv));
    EXPECT_EQ(0, KRCalcMarginalActv(&row, &actv, 0.0));
    EXPECT_EQ(KR_ERR_PARAM_UNKNOWN, KRGetLastError());
    EXPECT_EQ((Lines{"paramId OFFER", "paramId BID", "paramId BID"}), LogLines("paramId"));
    EXPECT_EQ(Lines{}, LogLines("find"));

    host().paramIds["BID"] = 2;
    SetPrices(20, 201, 99, 98.5, 98, 98.5, 12.3);
    auto bondsAgain = [&] { AddClass(bonds.id, bonds.code, bonds.secs, bonds.flags); };
    auto noBonds = [&] {
        KRCleanup();
        AddClass(shares.id, shares.code, shares.secs);
        KRSetDliniFile("F1", world::FirmText());
    };
    // The bond is worth its accrued interest (id 0) plus its percent of face value: 12.3 + 985.
    // Unknown to the host, ACCRUEDINT is dropped without a face-value class and stops the
    // calculation once one is there.
    // One step: what is done before the calculation, the parameter ids it asks for, the code
    // it leaves and C1's current value.
    struct Step {
        explicit Step(const char* n) : step(n) {}
        const char* step;
        std::function<void()> before = [] {};
        Lines asked;
        int32_t error = KR_ERR_NONE;
        double value = 0;
        Step& Before(std::function<void()> v) { return before = v, *this; }
        Step& Asks(const Lines& v) { return asked = v, *this; }
        Step& Error(int32_t v) { return error = v, *this; }
        Step& Value(double v) { return value = v, *this; }
    };
    const Step steps[] = {
        Step("BID known").Asks({"paramId BID", "paramId PREVPRICE", "paramId LAST"}),
        Step("all cached"),
        Step("a face-value class").Before(bondsAgain).Asks({"paramId ACCRUEDINT"}).Value(4 * 997.3),
        Step("cached again").Value(4 * 997.3),
        Step("KRCleanup, no face-value class").Before(noBonds),
        Step("a face-value class again")
            .Before(bondsAgain)
            .Asks({"paramId ACCRUEDINT"})
            .Value(4 * 997.3),
        Step("ACCRUEDINT unknown, without one").Before([&] {
            host().paramIds.erase("ACCRUEDINT");
            noBonds();
        }),
        Step("ACCRUEDINT unknown, a face-value class")
            .Before(bondsAgain)
            .Asks({"paramId ACCRUEDINT"})
            .Error(KR_ERR_PARAM_UNKNOWN),
        Step("a face-value class refused at its last block").Before([&] {
            noBonds();
            MemoryStats& m = host().memory;
            const int64_t start = m.allocating;
            bondsAgain();
            const int64_t blocks = m.allocating - start;
            noBonds();
            m.failAt = m.allocating + blocks;
            bondsAgain();
            m.failAt = 0;
        }),
    };
    for (const auto& s : steps) {
        SCOPED_TRACE(s.step);
        s.before();
        host().log.clear();
        row = Calculated("F1", "C1", s.error == KR_ERR_NONE);
        EXPECT_EQ(s.error, KRGetLastError());
        EXPECT_EQ(s.asked, LogLines("paramId"));
        EXPECT_EQ(s.value, row.currentValue);
    }
}

// A walk reads from the index find-first gives, or from the one the host passes, up to the first
// record of another firm or client, and hands back where it stopped, so the next client's walk
// needs no find-first.
TEST(Walks, FromTheFirstIndexToAnotherFirmOrClient) {
    ASSERT_EQ(1, Install(2));
    ASSERT_EQ(4, world::RegisterClasses());
    ASSERT_EQ(1, KRSetDliniFile("F1", "[ASSETSECURITIES]\nTQBR=SBER,GAZP\n"));
    SetPrices(10, 101, 2, 2, 2, 2);
    SetPrices(10, 102, 3, 3, 3, 3);
    // The first given leverage wins; F2's record ends C1's walk, so T3 is never read from C1's
    // first.
    for (const Money& m :
         {Funds("F1", "OTHER", "T1").Open(1),
          Funds("F1", "C1", "T1").Open(100).LeveragePercent(250),
          Funds("F1", "C1", "T2").Open(200).LeveragePercent(400), Funds("F2", "C1", "T1").Open(400),
          Funds("F1", "C1", "T3").Open(800), Funds("F1", "C2", "T1").Open(1600),
          // a client code of 8 characters, then one that extends it
          Funds("F1", "CLIENT08", "T1").Open(3200), Funds("F1", "CLIENT089", "T1").Open(6400)})
        AddMoneyLimit(m);
    for (const Position& p :
         {Holding("F1", "C1", "SBER").Current(1), Holding("F1", "C1", "GAZP").Current(2),
          Holding("F1", "C2", "GAZP").Current(4), Holding("F2", "C2", "SBER").Current(8)})
        AddSecLimit(p);
    // One walk: the start indexes the host passes (none: find-first is asked), where it stops,
    // and the row's figures.
    struct Walk {
        explicit Walk(const char* c) : client(c) {}
        const char* client;
        std::optional<std::pair<uint32_t, uint32_t>> start, end;
        double openValue = 0, currentValue = 0, leverage = 0;
        Walk& From(uint32_t money, uint32_t sec) { return start = {money, sec}, *this; }
        Walk& EndsAt(uint32_t money, uint32_t sec) { return end = {money, sec}, *this; }
        Walk& OpenValue(double v) { return openValue = v, *this; }
        Walk& CurrentValue(double v) { return currentValue = v, *this; }
        Walk& Leverage(double v) { return leverage = v, *this; }
    };
    // From 4, T3 alone; from 5, C2's first. Another client: the indexes kept.
    const Walk cases[] = {
        Walk("C1").OpenValue(3).CurrentValue(1 * 2 * 10 + 2 * 3 * 10).Leverage(2.5),
        Walk("C1").From(4, 2).EndsAt(5, 2).OpenValue(8),
        Walk("C2").From(5, 2).EndsAt(6, 3).OpenValue(16).CurrentValue(4 * 3 * 10),
        Walk("C2").From(1, 0).EndsAt(1, 0),
        Walk("CLIENT08").OpenValue(32),
    };
    for (const Walk& c : cases) {
        SCOPED_TRACE(testing::Message() << c.client << " from " << (c.start ? c.start->first : -1));
        KRMarginalRow row = Row("F1", c.client);
        ASSERT_EQ(1, KRInitMarginalRow(&row));
        host().log.clear();
        std::pair<uint32_t, uint32_t> at = c.start.value_or(std::make_pair(0u, 0u));
        ASSERT_EQ(1, KRCalcMarginalRowEx(&row, c.start ? &at.first : nullptr,
                                         c.start ? &at.second : nullptr));
        EXPECT_EQ(c.start ? 0u : 2u, LogLines("findFirst").size());
        if (c.end) {
            EXPECT_EQ(*c.end, at);
        }
        EXPECT_EQ(c.openValue, row.openValue);
        EXPECT_EQ(c.currentValue, row.currentValue);
        EXPECT_EQ(c.leverage, row.leverage);
    }
    // Record 0 is priced before record 1 is asked for.
    const Lines& log = host().log;
    Calculated("F1", "C1");
    auto at = std::find(log.begin(), log.end(), "getSec 1");
    ASSERT_NE(log.end(), at);
    EXPECT_EQ(0u, at[-1].rfind("paramValue 10 101", 0));
    // A find-first that stores nothing leaves the walk at 0xFFFFFFFF.
    host().findFirstStores = false;
    host().log.clear();
    Calculated("F1", "C1");
    EXPECT_EQ((Lines{"getMoney 4294967295"}), LogLines("getMoney"));
}

// Handles at the top of the count and past it: no live record gets 0 or a handle another live
// record holds, a client record at the wrap included, and ranges opened after the wrap are
// found as surely as those before it (a row bound before the wrap goes stale on reload only).
TEST(Handles, NoneIsZeroOrSharedWhenTheCounterWraps) {
    // A firm loaded, and the last handle issued set before its load (0: left as it is).
    struct Load {
        const char* firm;
        uint32_t lastHandle = 0;
        Load& After(uint32_t v) { return lastHandle = v, *this; }
    };
    const Load loads[] = {
        Load{"F0"},                    // handle 1, held past the wrap
        Load{"F1"}.After(0xFFFFFFFEu), // the firm at the top, its client past it
        Load{"F2"}.After(0xFFFFFFFFu), // opened after the wrap
        Load{"F3"},
    };
    ASSERT_EQ(1, Install(2));
    std::vector<KRMarginalRow> rows;
    for (const Load& l : loads) {
        if (l.lastHandle) kesvar::gState.lastHandle = l.lastHandle;
        const std::string text = "[CLC1_MARGIN]\n[CLC2_MARGIN]\n";
        ASSERT_EQ(1, KRSetDliniFile(l.firm, text.c_str())) << l.firm;
        for (const char* client : {"C1", "C2", "OTHER"})
            rows.push_back(Calculated(l.firm, client));
    }
    std::set<uint32_t> handles;
    for (const KRMarginalRow& row : rows) {
        EXPECT_NE(0u, row.binding) << row.firmId << "/" << row.clientCode;
        handles.insert(row.binding);
    }
    EXPECT_EQ(rows.size(), handles.size()) << "records sharing a handle";
    for (KRMarginalRow& row : rows)
        EXPECT_EQ(1, KRCalcMarginalRow(&row)) << row.firmId << "/" << row.clientCode;
    // Reloading the firm bound before the wrap retires exactly its handles.
    ASSERT_EQ(1, KRSetDliniFile("F0", ""));
    for (KRMarginalRow& row : rows)
        EXPECT_EQ(strcmp(row.firmId, "F0") != 0 ? 1 : 0, KRCalcMarginalRow(&row))
            << row.firmId << "/" << row.clientCode;
}

// Hooks are used call by call: with the allocation and reallocation hooks but no free hook,
// blocks come from the hooks and go back to the runtime.
TEST(Memory, EachHookFallsBackToTheRuntimeOnItsOwn) {
    ASSERT_EQ(1, KRSetMemoryManagement(HookAlloc, nullptr, HookRealloc));
    host().version = 2;
    InstallCallbacks(false);
    ASSERT_EQ(1, KRInitEx(2, 96, 96));
    ASSERT_TRUE(world::Build());
    world::ObserveAll();
    const MemoryStats& m = host().memory;
    EXPECT_GT(m.allocCalls, 0);
    EXPECT_GT(m.reallocCalls, 0);
    ASSERT_EQ(1, KRCleanup());
    EXPECT_EQ(0, m.freeCalls + m.freeNullCalls);
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

TEST(Platform, UpperCaseTableOfTheBuildsCodePage) {
    // Each page: the capitals outside the rule of 32, and which bytes are letters 32 above
    // their capitals. 1251: ASCII letters, the Cyrillic letters of 0xE0-0xFF, and the letters
    // scattered over 0x80-0xBF; 1252: ASCII letters, the Latin-1 letters of 0xE0-0xFE but the
    // sign 0xF7, and four letters whose capitals live in 0x80-0x9F.
    const std::map<int, int> special1251 = {{0x83, 0x81}, {0x90, 0x80}, {0x9A, 0x8A}, {0x9C, 0x8C},
                                            {0x9D, 0x8D}, {0x9E, 0x8E}, {0x9F, 0x8F}, {0xA2, 0xA1},
                                            {0xB3, 0xB2}, {0xB4, 0xA5}, {0xB8, 0xA8}, {0xBA, 0xAA},
                                            {0xBC, 0xA3}, {0xBE, 0xBD}, {0xBF, 0xAF}};
    const std::map<int, int> special1252 = {{0x9A, 0x8A}, {0x9C, 0x8C}, {0x9E, 0x8E}, {0xFF, 0x9F}};
    struct Page {
        int32_t codePage;
        const std::map<int, int>& special;
        bool (*isLetter)(int c);
    };
    const Page pages[] = {
        {1251, special1251, [](int c) { return (c >= 'a' && c <= 'z') || c >= 0xE0; }},
        {1252, special1252,
         [](int c) { return (c >= 'a' && c <= 'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7); }},
    };
    std::string text, upper;
    for (const Page& page : pages) {
        const unsigned char* table = kesvar::platform::UpperCaseTableOf(page.codePage);
        for (int c = 1; c < 256; ++c) {
            const int expected = page.isLetter(c)        ? c - 32
                                 : page.special.count(c) ? page.special.at(c)
                                                         : c;
            EXPECT_EQ(expected, table[c]) << page.codePage << ": " << c;
            if (page.codePage != kesvar::platform::kCodePage) continue;
            EXPECT_EQ(expected, kesvar::platform::UpperCaseByte(static_cast<unsigned char>(c)));
            text += char(c);
            upper += char(expected);
        }
    }
    // A text is upper-cased up to its NUL or its count, whichever comes first.
    text += std::string("\0ab", 3);
    upper += std::string("\0ab", 3);
    EXPECT_TRUE(kesvar::platform::UpperCaseText(&text[0], uint32_t(text.size())));
    EXPECT_EQ(upper, text);
    // The library's lock is recursive for its owner.
    kesvar::platform::Lock();
    kesvar::platform::Lock();
    kesvar::platform::Unlock();
    kesvar::platform::Unlock();
    char cut[] = "abcd";
    EXPECT_TRUE(kesvar::platform::UpperCaseText(cut, 2));
    EXPECT_STREQ("ABcd", cut);
}
