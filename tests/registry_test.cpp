// Class and security registry, its links to the firms' lists, and list membership.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "fake_host.h"
#include "links/links.h"
#include "links/membership.h"
#include "registry/registry.h"
#include "settings/settings.h"

using namespace kesvar;
using fakehost::AddClass;

namespace {

FirmRecord* Load(const char* key, const std::string& text) {
    EXPECT_EQ(1, KRSetDliniFile(key, text.c_str()));
    return gState.firmSettingsTable[FindFirmSettings(key)];
}

std::string OrderCodes(const FirmRecord* firm) {
    std::vector<int32_t> order;
    for (int32_t c = 0; c < ClassCount(); ++c)
        order.push_back(c);
    std::sort(order.begin(), order.end(),
              [&](int32_t a, int32_t b) { return ClassBefore(firm, a, b); });
    std::string out;
    for (int32_t c : order)
        out += std::string(ClassAt(c)->cls.code) + " ";
    return out;
}

// A repeated code is refused with 4 but refreshes valueUnlisted; KRCleanup restarts indexes.
TEST(Registry, IndexesAndRepeatedCode) {
    fakehost::Install();
    EXPECT_EQ(1, AddClass(10, "EMPTY", {}));
    EXPECT_EQ(1, AddClass(20, "TQBR", {{201, "SBER"}, {202, "GAZP"}}));
    EXPECT_EQ(1, AddClass(11, "EMPTY", {{1, "A"}}, 1, 1));
    EXPECT_EQ(KR_ERR_CLASS_EXISTS, KRGetLastError());
    const KRClass& empty = ClassAt(0)->cls; // id and flags kept, no securities added
    EXPECT_EQ(std::make_tuple(2, 2, 10u, 0u, int8_t(1)),
              std::make_tuple(ClassCount(), SecurityCount(), empty.classId, empty.flags,
                              empty.valueUnlisted));
    EXPECT_EQ(1, FindSecurityById(20, 202));
    EXPECT_EQ(1, KRCleanup());
    AddClass(30, "NEW", {{301, "X"}});
    EXPECT_EQ(0, FindSecurityById(30, 301));
}

// A cleared registry keeps anyFaceValueClass until the next class recomputes it: 1 before 8.
TEST(Registry, FlagsDecideRegistrationAndFaceValue) {
    const std::tuple<uint32_t, int32_t, int32_t> cases[] = {{0, 1, 0}, {2, 0, 0}, {3, 0, 0},
                                                            {4, 0, 0}, {1, 1, 1}, {8, 1, 0}};
    fakehost::Install();
    for (const auto& [flags, registered, faceValue] : cases) {
        KRCleanup();
        EXPECT_EQ(1, AddClass(1, "C", {{1, "S"}}, flags)) << flags;
        EXPECT_EQ(KR_ERR_NONE, KRGetLastError()) << flags;
        EXPECT_EQ(registered, ClassCount()) << flags;
        EXPECT_EQ(faceValue, gState.anyFaceValueClass) << flags;
    }
}

// Named classes first in the order named (" A" names nothing); the others keep
// registration order.
TEST(Links, ClassOrderFollowsMainMarginClasses) {
    const std::pair<const char*, const char*> cases[] = {// clang-format off
        {"B,A", "B A C AB "}, {"B, A", "B C A AB "}, {"", "C A B AB "}, {"X,B", "B C A AB "},
        {"AB", "AB C A B "}};
    // clang-format on
    fakehost::Install();
    for (const char* code : {"C", "A", "B", "AB"})
        AddClass(1, code, {});
    for (const auto& [text, order] : cases) {
        FirmRecord* f = Load("F", std::string("[GENERAL]\nMAINMARGINCLASSES=") + text);
        EXPECT_EQ(order, OrderCodes(f)) << text;
    }
}

// Every failing allocation of KRAddClass leaves registry, lists, links and memory as before;
// the add that finally succeeds resolves the entries that waited for the class.
TEST(Links, FailedAddClassChangesNothing) {
    fakehost::Install();
    AddClass(1, "A", {{11, "X"}});
    FirmRecord* firm = Load("F", "[LIMITALLOWEDSECURITY]\nA=X\nB=P,<ALL>\n[GENERAL]\n"
                                 "MAINMARGINCLASSES=B\n[CLC_MARGIN]\nB_ASSET=Q\n");
    auto clientAsset = [&] { // the registry index of the client's first asset security
        const FirmSettings* c = &firm->clients[0];
        return SecIndexOf(SecuritiesOf(c, ListOf(c, kAssetList).entries[0])[0]);
    };
    fakehost::MemoryStats& m = fakehost::host().memory;
    int64_t live = m.live, k = 1;
    for (; m.failAt = m.allocating + k, !AddClass(2, "B", {{21, "P"}, {22, "Q"}}); ++k) {
        EXPECT_EQ(KR_ERR_NO_MEMORY, KRGetLastError()) << k;
        EXPECT_EQ(std::make_pair(1, 1), std::make_pair(ClassCount(), SecurityCount())) << k;
        EXPECT_EQ(live, m.live) << k;
        EXPECT_EQ(1, ListOf(firm, kMarginList).entries[1].securityCount)
            << k; // "<ALL>" not expanded
        EXPECT_EQ(-1, clientAsset()) << k;
        EXPECT_EQ("A ", OrderCodes(firm)) << k;
    }
    m.failAt = 0;
    EXPECT_GE(k, 5); // class, its array, security entries, link arrays
    EXPECT_EQ("B A ", OrderCodes(firm));
    EXPECT_EQ(3, ListOf(firm, kMarginList).entries[1].securityCount);
    EXPECT_EQ(2, clientAsset());
}

// Index found by code in the margin and asset lists for X, Y, Z, W, then the
// membership of indexes 0-4 in the margin, asset and rest-short lists.
std::string Membership(const FirmSettings* r) {
    std::string out;
    for (auto* find : {IsMarginSecurity, IsAssetSecurity}) {
        for (const char* code : {"X", "Y", "Z", "W"}) {
            int32_t idx = -1; // "-" when not found
            out += find(r, code, &idx) ? std::to_string(idx) + " " : "- ";
        }
    }
    for (auto* in : {InMarginList, InAssetList, InRestShortList}) {
        out += "|";
        for (int32_t i = 0; i < 5; ++i)
            out += std::to_string(in(r, i));
    }
    return out;
}

// A {X, Y, Z} at indexes 0-2 and B {X, W} at 3-4, registered after the settings. A client's
// own list of a kind replaces the firm's; without an asset list the margin list answers;
// IGNORERESTSHORTSECURITY empties the rest-short list; MAINMARGINCLASSES puts B's X first.
TEST(Membership, ServingRecordOfEachList) {
    fakehost::Install();
    std::string text = "[LIMITALLOWEDSECURITY]\nA=X,Y\nB=X\n[RESTSHORTSECURITIES]\nA=Z\n"
                       "[GENERAL]\nMAINMARGINCLASSES=B,A\n[CLOWN_MARGIN]\nA=Z\nB_ASSET=W\n"
                       "[CLBARE_MARGIN]\n[CLIGNORES_MARGIN]\nIGNORERESTSHORTSECURITY=1\n";
    FirmRecord* firm = Load("F", text);
    AddClass(1, "A", {{11, "X"}, {12, "Y"}, {13, "Z"}});
    AddClass(2, "B", {{21, "X"}, {22, "W"}});
    ASSERT_EQ(3, firm->clients.count);
    EXPECT_EQ("3 1 - - 3 1 - - |11010|11010|00100", Membership(firm));
    EXPECT_EQ("- - 2 - - - - 4 |00100|00001|00100", Membership(&firm->clients[0]));
    EXPECT_EQ("3 1 - - 3 1 - - |11010|11010|00100", Membership(&firm->clients[1]));
    EXPECT_EQ("3 1 - - 3 1 - - |11010|11010|00000", Membership(&firm->clients[2]));
    firm = Load("F", text + "[ASSETSECURITIES]\nA=Y\n"); // the firm's asset list serves
    EXPECT_EQ("3 1 - - - 1 - - |11010|01000|00100", Membership(&firm->clients[1]));

    // By index every entry counts; by code only a class's first entry, compared exactly.
    FirmRecord* g = Load("G", "[LIMITALLOWEDSECURITY]\nA=Y\nB=<ALL>\nA=Z\n");
    EXPECT_EQ("3 1 - 4 3 1 - 4 |01111|01111|00000", Membership(g));
    int32_t idx = 77;
    EXPECT_EQ(0, IsMarginSecurity(g, "y", &idx) + InMarginList(g, 5) + InMarginList(g, -1));
    EXPECT_EQ(77, idx);
}

} // namespace
