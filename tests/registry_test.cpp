// Class and security registry, its links to the firms' lists, and list membership.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fake_host.h"
#include "registry/links.h"
#include "registry/membership.h"
#include "registry/registry.h"
#include "settings/settings.h"

using namespace kesvar;
using fakehost::AddClass;

namespace {

// A record built by hand, so links and membership are tested without the loader.
FirmSettings* NewRecord(FirmSettings* firm, const char* order) {
    FirmSettings* r = NewZeroed<FirmSettings>();
    if (firm) {
        r->parent = firm;
        *ArrayAppend(firm->clients) = r;
    } else {
        r->mainMarginClasses = DupString(order);
        *ArrayAppend(gState.firmSettingsTable) = r;
    }
    return r;
}

// An unresolved entry; resolved by ResolveClassSecurityList like the loader's.
void Entry(Array<ClassSecurityList>& list, const char* cls, std::vector<std::string> codes) {
    ClassSecurityList* e = ArrayAppend(list);
    strcpy(e->classCode, cls);
    e->classIndex = -1;
    for (const std::string& c : codes) {
        if (c == "<ALL>") {
            e->allSecurities = 1;
            continue;
        }
        ListedSecurity* s = ArrayAppend(e->securities);
        strcpy(s->secCode, c.c_str());
        s->secIndex = -1;
    }
    ResolveClassSecurityList(e);
}

std::string OrderCodes(const FirmSettings* firm) {
    std::string out;
    for (int32_t i = 0; i < firm->classOrder.count; ++i)
        out += std::string(ClassAt(firm->classOrder[i])->cls.code) + " ";
    return out;
}

} // namespace

TEST(Registry, IndexesFirstSecurityAndRepeatedCode) {
    fakehost::Install();
    EXPECT_EQ(AddClass(10, "EMPTY", {}), 1);
    EXPECT_EQ(AddClass(20, "TQBR", {{201, "SBER"}, {202, "GAZP"}}, 0, 0), 1);
    EXPECT_EQ(KRGetLastError(), KR_ERR_NONE);
    EXPECT_EQ(ClassAt(0)->firstSecurity, -1);
    EXPECT_EQ(ClassAt(1)->firstSecurity, 0);
    EXPECT_EQ(SecurityAt(1)->sec.classIndex, 1u);
    EXPECT_EQ(SecurityAt(1)->sec.secId, 202u);
    // A known code only refreshes valueUnlisted: no securities, id and flags kept.
    EXPECT_EQ(AddClass(11, "EMPTY", {{1, "A"}, {2, "B"}, {3, "C"}}, 1, 1), 1);
    EXPECT_EQ(KRGetLastError(), KR_ERR_CLASS_EXISTS);
    EXPECT_EQ(ClassCount(), 2);
    EXPECT_EQ(SecurityCount(), 2);
    EXPECT_EQ(ClassAt(0)->firstSecurity, -1);
    EXPECT_EQ(ClassAt(0)->cls.valueUnlisted, 1);
    EXPECT_EQ(ClassAt(0)->cls.classId, 10u);
    EXPECT_EQ(gState.anyFaceValueClass, 0);
    EXPECT_EQ(KRCleanup(), 1);
    EXPECT_EQ(fakehost::host().memory.live, 0);
    AddClass(30, "NEW", {{301, "X"}});
    EXPECT_EQ(FindClassByCode("NEW"), 0);
    EXPECT_EQ(FindSecurityById(30, 301), 0);
}

// A cleared registry keeps anyFaceValueClass until the next class recomputes it: 1 before 8.
TEST(Registry, FlagsDecideRegistrationAndFaceValue) {
    struct Case {
        uint32_t flags;
        int32_t registered, faceValue;
    } cases[] = {{0, 1, 0}, {2, 0, 0}, {3, 0, 0}, {4, 0, 0}, {1, 1, 1}, {8, 1, 0}};
    fakehost::Install();
    for (const Case& c : cases) {
        KRCleanup();
        EXPECT_EQ(AddClass(1, "C", {{1, "S"}}, c.flags), 1) << c.flags;
        EXPECT_EQ(KRGetLastError(), KR_ERR_NONE) << c.flags;
        EXPECT_EQ(ClassCount(), c.registered) << c.flags;
        EXPECT_EQ(gState.anyFaceValueClass, c.faceValue) << c.flags;
    }
}

TEST(Links, ClassOrderFollowsMainMarginClasses) {
    struct Case {
        const char* text;
        const char* order;
    } cases[] = {
        {",B,A,", "B A C "}, {",B, A,", "B C A "},  {"", "C A B "},        {",X,B,", "B C A "},
        {",b,", "C A B "},   {",A,B,C,", "A B C "}, {",AB,", "AB C A B "}, // AB registered last
    };
    fakehost::Install();
    AddClass(1, "C", {});
    AddClass(2, "A", {});
    AddClass(3, "B", {});
    for (const Case& c : cases) {
        KRCleanupDlifiles();
        if (std::string(c.text) == ",AB,") AddClass(4, "AB", {});
        FirmSettings* firm = NewRecord(nullptr, c.text);
        ASSERT_TRUE(LinkFirmSettings(firm, firm->mainMarginClasses));
        EXPECT_EQ(OrderCodes(firm), c.order) << c.text;
    }
}

TEST(Links, ClassListIndexPointsAtFirstEntryOfOwnLists) {
    fakehost::Install();
    AddClass(1, "A", {{11, "X"}});
    AddClass(2, "B", {{21, "X"}});
    AddClass(3, "C", {{31, "X"}});
    FirmSettings* firm = NewRecord(nullptr, ",B,A,");
    FirmSettings* client = NewRecord(firm, nullptr);
    Entry(firm->marginList, "A", {"X"});
    Entry(firm->marginList, "B", {"X"});
    Entry(firm->marginList, "A", {});
    Entry(firm->assetList, "B", {});
    Entry(client->marginList, "B", {});
    ASSERT_TRUE(LinkFirmSettings(firm, firm->mainMarginClasses));
    // Class order B, A, C; pairs are (marginEntry, assetEntry).
    int32_t want[2][3][2] = {{{1, 0}, {0, -1}, {-1, -1}}, {{0, -1}, {-1, -1}, {-1, -1}}};
    FirmSettings* records[2] = {firm, client};
    for (int r = 0; r < 2; ++r) {
        ASSERT_EQ(records[r]->classListIndex.count, 3);
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(records[r]->classListIndex[i].marginEntry, want[r][i][0]) << r << i;
            EXPECT_EQ(records[r]->classListIndex[i].assetEntry, want[r][i][1]) << r << i;
        }
    }
}

// Every failing allocation of KRAddClass leaves registry, lists, links and memory as before;
// the add that finally succeeds resolves the entries that waited for the class.
TEST(Links, FailedAddClassChangesNothing) {
    fakehost::Install();
    AddClass(1, "A", {{11, "X"}});
    FirmSettings* firm = NewRecord(nullptr, ",B,");
    FirmSettings* client = NewRecord(firm, nullptr);
    Entry(firm->marginList, "A", {"X"});
    Entry(firm->marginList, "B", {"P", "<ALL>"});
    Entry(client->assetList, "B", {"Q"});
    ASSERT_TRUE(LinkFirmSettings(firm, firm->mainMarginClasses));
    fakehost::MemoryStats& m = fakehost::host().memory;
    int64_t live = m.live;
    int32_t failures = 0;
    for (int64_t k = 1;; ++k) {
        m.failAt = m.allocating + k;
        if (AddClass(2, "B", {{21, "P"}, {22, "Q"}})) break;
        ++failures;
        EXPECT_EQ(KRGetLastError(), KR_ERR_NO_MEMORY);
        EXPECT_EQ(ClassCount(), 1);
        EXPECT_EQ(SecurityCount(), 1);
        EXPECT_EQ(m.live, live) << k;
        EXPECT_EQ(firm->marginList[1].classIndex, -1);
        EXPECT_EQ(firm->marginList[1].securities.count, 1);
        EXPECT_EQ(client->assetList[0].securities[0].secIndex, -1);
        EXPECT_EQ(OrderCodes(firm), "A ");
        EXPECT_EQ(client->classListIndex.count, 1);
    }
    EXPECT_GE(failures, 4); // class, its array, security entries, link arrays
    EXPECT_EQ(KRGetLastError(), KR_ERR_NONE);
    EXPECT_EQ(OrderCodes(firm), "B A ");
    EXPECT_EQ(firm->marginList[1].securities.count, 3);
    EXPECT_EQ(client->assetList[0].securities[0].secIndex, 2);
}

namespace {

// Classes A {X, Y, Z} at indexes 0-2 and B {X, W} at 3-4.
void TwoClasses() {
    fakehost::Install();
    AddClass(1, "A", {{11, "X"}, {12, "Y"}, {13, "Z"}});
    AddClass(2, "B", {{21, "X"}, {22, "W"}});
}

// Membership of codes X, Y, Z, W by code (-1 when not found) and of indexes 0-4 by index.
std::string ByCode(const FirmSettings* r, bool asset) {
    std::string out;
    for (const char* code : {"X", "Y", "Z", "W"}) {
        int32_t idx = -1;
        int32_t found = asset ? isAssetSecurity(r, code, &idx) : isMarginSecurity(r, code, &idx);
        EXPECT_EQ(found, idx >= 0 ? 1 : 0);
        out += std::to_string(idx) + " ";
    }
    return out;
}
std::string ByIndex(const FirmSettings* r, int32_t (*in)(const FirmSettings*, int32_t)) {
    std::string out;
    for (int32_t i = 0; i < 5; ++i)
        out += std::to_string(in(r, i));
    return out;
}

} // namespace

TEST(Membership, ServingRecordOfEachList) {
    TwoClasses();
    FirmSettings* firm = NewRecord(nullptr, ",B,A,");
    FirmSettings* own = NewRecord(firm, nullptr);     // own margin and asset lists
    FirmSettings* bare = NewRecord(firm, nullptr);    // nothing of its own
    FirmSettings* ignores = NewRecord(firm, nullptr); // IGNORERESTSHORTSECURITY
    ignores->ignoreRestShort = 1;
    Entry(firm->marginList, "A", {"X", "Y"});
    Entry(firm->marginList, "B", {"X"});
    Entry(firm->restShortList, "A", {"Z"});
    Entry(own->marginList, "A", {"Z"});
    Entry(own->assetList, "B", {"W"});
    ASSERT_TRUE(LinkFirmSettings(firm, firm->mainMarginClasses));

    // B comes first in the class order, so X is B's X (index 3).
    EXPECT_EQ(ByCode(firm, false), "3 1 -1 -1 ");
    EXPECT_EQ(ByCode(bare, false), "3 1 -1 -1 ");
    EXPECT_EQ(ByCode(own, false), "-1 -1 2 -1 ");
    // No asset list for the firm: the margin list answers, out index included.
    EXPECT_EQ(ByCode(firm, true), ByCode(firm, false));
    EXPECT_EQ(ByIndex(firm, inAssetList), ByIndex(firm, inMarginList));
    EXPECT_EQ(ByCode(own, true), "-1 -1 -1 4 ");
    EXPECT_EQ(ByIndex(own, inAssetList), "00001");
    EXPECT_EQ(ByIndex(firm, inMarginList), "11010");
    EXPECT_EQ(ByIndex(own, inMarginList), "00100");
    EXPECT_EQ(ByIndex(bare, inRestShortList), "00100");
    EXPECT_EQ(ByIndex(ignores, inRestShortList), "00000");

    // A firm asset list serves a client without one.
    Entry(firm->assetList, "A", {"Y"});
    ASSERT_TRUE(LinkFirmSettings(firm, firm->mainMarginClasses));
    EXPECT_EQ(ByCode(bare, true), "-1 1 -1 -1 ");
    EXPECT_EQ(ByIndex(bare, inAssetList), "01000");
}

TEST(Membership, AllEntriesAndRepeatedClassEntries) {
    TwoClasses();
    FirmSettings* firm = NewRecord(nullptr, "");
    Entry(firm->marginList, "A", {"Y"});
    Entry(firm->marginList, "B", {"<ALL>"});
    Entry(firm->marginList, "A", {"Z"}); // a second entry of A: seen by index, not by code
    ASSERT_TRUE(LinkFirmSettings(firm, firm->mainMarginClasses));
    EXPECT_EQ(ByIndex(firm, inMarginList), "01111");
    EXPECT_EQ(ByCode(firm, false), "3 1 -1 4 ");
    int32_t idx = 77;
    EXPECT_EQ(isMarginSecurity(firm, "y", &idx), 0); // exact comparison with the registry
    EXPECT_EQ(idx, 77);
    EXPECT_EQ(isMarginSecurity(firm, "Y", nullptr), 1);
    EXPECT_EQ(inMarginList(firm, 5), 0);
    EXPECT_EQ(inMarginList(firm, -1), 0);
}

// Through the exports: lists loaded before their classes, MAINMARGINCLASSES deciding which
// class's X a client gets, and the host ids handed back.
TEST(Membership, ExportsAnswerFromSettingsLoadedFirst) {
    fakehost::Install();
    ASSERT_EQ(KRSetDliniFile("F", "[LIMITALLOWEDSECURITY]\nA=x\nB=X,W\n[GENERAL]\n"
                                  "MAINMARGINCLASSES=B,A\n"),
              1);
    AddClass(1, "A", {{11, "X"}});
    AddClass(2, "B", {{21, "X"}, {22, "W"}});
    KRMarginalRow row = fakehost::Row("F", "C1");
    ASSERT_EQ(KRInitMarginalRow(&row), 1);
    uint32_t classId = 0, secId = 0;
    EXPECT_EQ(KRIsMarginSeccode(&row, "X", &classId, &secId), 1);
    EXPECT_EQ(classId, 2u);
    EXPECT_EQ(secId, 21u);
    EXPECT_EQ(KRIsAssetSeccode(&row, "W", &classId, &secId), 1); // no asset list: margin's
    EXPECT_EQ(secId, 22u);
    EXPECT_EQ(KRIsMarginSeccode(&row, "x", &classId, &secId), 0);
    EXPECT_EQ(KRGetLastError(), KR_ERR_NONE);
}
