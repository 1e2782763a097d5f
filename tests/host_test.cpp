// What a host meets below the calculations: the parameter-id questions, the walks over the
// host's limit records, row handles when their counter wraps, the memory hooks call by call, the
// hash index the lookups share, and the upper-casing table of the settings texts. Refusals of
// every export: reliability_test.cpp.
#include <gtest/gtest.h>
#include <string.h>

#include <algorithm>
#include <functional>
#include <map>
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

// Ids are asked in the order OFFER, BID, PREVPRICE, LAST, never past the first unknown one and
// before any limit; a known id, 0 included, is never asked again, also after KRCleanup.
// ACCRUEDINT is asked only while a face-value class is registered, and asked again after a
// time without one.
TEST(ParamIds, AskedOnceInOrderAndAccruedInterestOnlyForFaceValueClasses) {
    host().paramIds.erase("BID");
    host().paramIds["ACCRUEDINT"] = 0;
    ASSERT_EQ(1, Install(2));
    const world::ClassDef &shares = world::Classes()[0], &bonds = world::Classes()[1];
    ASSERT_EQ(1, AddClass(shares.id, shares.code, shares.secs));
    ASSERT_EQ(1, KRSetDliniFile("F1", world::FirmText()));
    AddSecLimit({"F1", "C1", "OFZ1", "", 0, 0, 4});
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
    // clang-format off
    const struct { const char* step; std::function<void()> before; Lines asked; int32_t error;
                   double value; } steps[] = {
        {"BID known", [] {}, {"paramId BID", "paramId PREVPRICE", "paramId LAST"}, 0, 0},
        {"all cached", [] {}, {}, 0, 0}, {"a face-value class", bondsAgain, {"paramId ACCRUEDINT"}, 0, 4 * 997.3},
        {"cached again", [] {}, {}, 0, 4 * 997.3}, {"KRCleanup, no face-value class", noBonds, {}, 0, 0},
        {"a face-value class again", bondsAgain, {"paramId ACCRUEDINT"}, 0, 4 * 997.3},
        {"ACCRUEDINT unknown, without one", [&] { host().paramIds.erase("ACCRUEDINT"); noBonds(); }, {}, 0, 0},
        {"ACCRUEDINT unknown, a face-value class", bondsAgain, {"paramId ACCRUEDINT"}, KR_ERR_PARAM_UNKNOWN, 0}};
    // clang-format on
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
    // clang-format off
    // The first given leverage wins; F2's record ends C1's walk, so T3 is never read from C1's
    // first.
    for (const Money& m : std::vector<Money>{{"F1", "OTHER", "T1", 1}, {"F1", "C1", "T1", 100, 0, 0, 0, 0, 0, 250},
             {"F1", "C1", "T2", 200, 0, 0, 0, 0, 0, 400}, {"F2", "C1", "T1", 400},
             {"F1", "C1", "T3", 800}, {"F1", "C2", "T1", 1600}})
        AddMoneyLimit(m);
    for (const Position& p : std::vector<Position>{{"F1", "C1", "SBER", "", 0, 0, 1},
             {"F1", "C1", "GAZP", "", 0, 0, 2}, {"F1", "C2", "GAZP", "", 0, 0, 4}, {"F2", "C2", "SBER", "", 0, 0, 8}})
        AddSecLimit(p);
    // Start indexes of -1: none given, find-first asked. From 4, T3 alone; from 5, C2's first.
    // Another client: the indexes kept.
    const struct { const char* client; int64_t moneyStart, secStart; uint32_t moneyEnd, secEnd;
                   double openValue, currentValue, leverage; } cases[] = {
        {"C1", -1, -1, 0, 0, 3, 1 * 2 * 10 + 2 * 3 * 10, 2.5}, {"C1", 4, 2, 5, 2, 8, 0, 0},
        {"C2", 5, 2, 6, 3, 16, 4 * 3 * 10, 0}, {"C2", 1, 0, 1, 0, 0, 0, 0}, {"C9", -1, -1, 0, 0, 0, 0, 0}};
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.client << " from " << c.moneyStart);
        KRMarginalRow row = Row("F1", c.client);
        ASSERT_EQ(1, KRInitMarginalRow(&row));
        host().log.clear();
        uint32_t money = uint32_t(c.moneyStart), sec = uint32_t(c.secStart);
        ASSERT_EQ(1, KRCalcMarginalRowEx(&row, c.moneyStart < 0 ? nullptr : &money,
                                         c.secStart < 0 ? nullptr : &sec));
        EXPECT_EQ(c.moneyStart < 0 ? 2u : 0u, LogLines("findFirst").size());
        if (c.moneyStart >= 0) {
            EXPECT_EQ(std::make_pair(c.moneyEnd, c.secEnd), std::make_pair(money, sec));
        }
        EXPECT_EQ(std::make_tuple(c.openValue, c.currentValue, c.leverage),
                  std::make_tuple(row.openValue, row.currentValue, row.leverage));
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
    struct Load {
        const char* firm;
        uint32_t lastHandle; // set before the load; 0 leaves the count as it is
    };
    const Load loads[] = {
        {.firm = "F0", .lastHandle = 0},           // handle 1, held past the wrap
        {.firm = "F1", .lastHandle = 0xFFFFFFFEu}, // the firm at the top, its client past it
        {.firm = "F2", .lastHandle = 0xFFFFFFFFu}, // opened after the wrap
        {.firm = "F3", .lastHandle = 0},
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
#if defined(KESVAR_CODEPAGE_1251)
    // ASCII letters, the Cyrillic letters of 0xE0-0xFF, and the letters scattered over
    // 0x80-0xBF.
    const std::map<int, int> special = {{0x83, 0x81}, {0x90, 0x80}, {0x9A, 0x8A}, {0x9C, 0x8C},
                                        {0x9D, 0x8D}, {0x9E, 0x8E}, {0x9F, 0x8F}, {0xA2, 0xA1},
                                        {0xB3, 0xB2}, {0xB4, 0xA5}, {0xB8, 0xA8}, {0xBA, 0xAA},
                                        {0xBC, 0xA3}, {0xBE, 0xBD}, {0xBF, 0xAF}};
    const auto isLetter = [](int c) { return (c >= 'a' && c <= 'z') || c >= 0xE0; };
#else
    // ASCII letters, the Latin-1 letters of 0xE0-0xFE but the sign 0xF7, and four letters
    // whose capitals live in 0x80-0x9F.
    const std::map<int, int> special = {{0x9A, 0x8A}, {0x9C, 0x8C}, {0x9E, 0x8E}, {0xFF, 0x9F}};
    const auto isLetter = [](int c) {
        return (c >= 'a' && c <= 'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7);
    };
#endif
    std::string text, upper;
    for (int c = 1; c < 256; ++c) {
        const int expected = isLetter(c) ? c - 32 : special.count(c) ? special.at(c) : c;
        EXPECT_EQ(expected, kesvar::platform::UpperCaseByte(static_cast<unsigned char>(c))) << c;
        text += char(c);
        upper += char(expected);
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
