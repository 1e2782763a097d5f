// Classes and securities, the firms' lists joined to them, what each client's lists answer,
// the margin list handed to the host and the ids a class needs.
#include <gtest/gtest.h>

#include <algorithm>

#include "scenario.h"

using namespace memory_host;

static KRMarginalRow Bound(const char* firm, const char* client) {
    KRMarginalRow row = Row(firm, client);
    EXPECT_EQ(1, KRInitMarginalRow(&row)) << firm << "/" << client;
    return row;
}

// Classes A {X 11, Y 12, Z 13}, B {X 21, W 22} and C {V 31}. What a client's record answers:
// the secIds KRIsMarginSeccode and KRIsAssetSeccode give for X, Y, Z and W ("X=21 Y=12"), and
// the securities an actv flags margin, asset and rest-short ("A.X B.W"), leaving the host's
// reserved field and padding alone.
struct Answers {
    Answers(const char* f, const char* c) : firm(f), client(c) {}
    const char *firm, *client;
    std::string marginCodes, assetCodes, margin, asset, restShort;
    Answers& MarginCodes(const char* v) { return marginCodes = v, *this; }
    Answers& AssetCodes(const char* v) { return assetCodes = v, *this; }
    Answers& Margin(const char* v) { return margin = v, *this; }
    Answers& Asset(const char* v) { return asset = v, *this; }
    Answers& RestShort(const char* v) { return restShort = v, *this; }
    // The asset list answering as the margin list does: codes by id, then securities.
    Answers& MarginAndAsset(const char* codes, const char* secs) {
        return MarginCodes(codes).AssetCodes(codes).Margin(secs).Asset(secs);
    }
};

static void ExpectAnswers(const Answers& want) {
    SCOPED_TRACE(testing::Message() << want.firm << "/" << want.client);
    KRMarginalRow row = Bound(want.firm, want.client);
    Answers got(want.firm, want.client);
    for (auto query : {KRIsMarginSeccode, KRIsAssetSeccode}) {
        std::string& out = query == KRIsMarginSeccode ? got.marginCodes : got.assetCodes;
        for (const char* code : {"X", "Y", "Z", "W"}) {
            uint32_t classId = 0, secId = 0;
            if (query(&row, code, &classId, &secId))
                out += (out.empty() ? "" : " ") + std::string(code) + "=" + std::to_string(secId);
            EXPECT_EQ(secId / 10, classId);
        }
    }
    const std::pair<uint32_t, const char*> secs[] = {
        {11, "A.X"}, {12, "A.Y"}, {13, "A.Z"}, {21, "B.X"}, {22, "B.W"}};
    for (const auto& sec : secs) {
        KRMarginalActv a = Actv(sec.first / 10, sec.first);
        a.reserved = 0xA1B2C3D4;
        a.padding = 0x5A;
        EXPECT_EQ(1, KRInitMarginalActv(&row, &a));
        EXPECT_EQ(0xA1B2C3D4u, a.reserved); // the host's, left alone
        EXPECT_EQ(0x5A, a.padding);
        for (auto [flag, out] :
             {std::pair(a.isMargin, &got.margin), std::pair(a.isAsset, &got.asset),
              std::pair(a.isRestShort, &got.restShort)})
            if (flag) *out += (out->empty() ? "" : " ") + std::string(sec.second);
    }
    EXPECT_EQ(want.marginCodes, got.marginCodes);
    EXPECT_EQ(want.assetCodes, got.assetCodes);
    EXPECT_EQ(want.margin, got.margin);
    EXPECT_EQ(want.asset, got.asset);
    EXPECT_EQ(want.restShort, got.restShort);
}

// A margin-list callback noting, per call, the blocks live while the host holds the list (a
// wrong `user` is no list of one entry).
static int32_t KR_CALL Note(const KRMarginClassEntry*, uint32_t, uintptr_t user) {
    reinterpret_cast<std::vector<int64_t>*>(user)->push_back(host().memory.live);
    return 0;
}

// Flags 2 and 4 skip a class; a repeated code is refused with 4 but refreshes valueUnlisted and
// nothing else; securities are found by class and security id; KRCleanup restarts the indexes.
TEST(Registry, FlagsRepeatedCodesAndIndexes) {
    ASSERT_EQ(1, Install(2));
    ASSERT_EQ(1, KRSetDliniFile("F1", "[LIMITALLOWEDSECURITY]\nSK=<ALL>\n"));
    AddSecLimit(Holding("F1", "C1", "U").Current(10));
    SetPrices(1, 11, 2, 2, 2, 2);
    // One registration: the result's code, and C1's current value of its 10 U after it.
    struct Registration {
        Registration(uint32_t i, const char* c, std::vector<SecurityDef> s)
            : id(i), code(c), secs(s) {}
        uint32_t id;
        const char* code;
        std::vector<SecurityDef> secs;
        uint32_t flags = 0;
        int8_t valueUnlisted = 0;
        int32_t error = KR_ERR_NONE;
        double currentValue = 0;
        Registration& Flags(uint32_t v) { return flags = v, *this; }
        Registration& ValueUnlisted() { return valueUnlisted = 1, *this; }
        Registration& Refused() { return error = KR_ERR_CLASS_EXISTS, *this; }
        Registration& CurrentValue(double v) { return currentValue = v, *this; }
    };
    const Registration steps[] = {
        Registration(1, "UNL", {{11, "U"}}),
        Registration(2, "EMPTY", {}).Flags(8),
        Registration(3, "SK", {{31, "S"}}).Flags(2),
        Registration(3, "SK", {{31, "S"}}).Flags(4),
        Registration(9, "UNL", {{91, "U"}}).Flags(1).ValueUnlisted().Refused().CurrentValue(20),
        Registration(4, "EMPTY", {{41, "E"}}).Refused().CurrentValue(20),
        Registration(5, "UNL", {}).Refused(),
    };
    for (const auto& s : steps) {
        SCOPED_TRACE(testing::Message() << s.code << " flags " << s.flags);
        EXPECT_EQ(1, AddClass(s.id, s.code, s.secs, s.flags, s.valueUnlisted));
        EXPECT_EQ(s.error, KRGetLastError());
        KRMarginalRow row = Bound("F1", "C1");
        ASSERT_EQ(1, KRCalcMarginalRow(&row));
        EXPECT_EQ(s.currentValue, row.currentValue);
    }
    // Only UNL's U and nothing of the skipped or repeated classes; ids by class.
    KRMarginalRow row = Bound("F1", "C1");
    const std::pair<uint32_t, uint32_t> ids[] = {{1, 11}, {9, 91}, {2, 11}, {4, 41}, {3, 31}};
    for (const auto& id : ids) {
        KRMarginalActv a = Actv(id.first, id.second);
        EXPECT_EQ(id == ids[0], KRInitMarginalActv(&row, &a)) << id.first << " " << id.second;
    }
    uint32_t found[4];
    int32_t count = 4;
    EXPECT_EQ(0, KRGetNeedClassSecIDs(3, found, &count));
    EXPECT_EQ(KR_ERR_NOT_FOUND, KRGetLastError());
    ASSERT_EQ(1, KRCleanup());
    ASSERT_EQ(1, AddClass(7, "NEW", {{71, "N"}, {72, "M"}}));
    ASSERT_EQ(1, KRSetDliniFile("F1", ""));
    row = Bound("F1", "C1");
    KRMarginalActv a = Actv(7, 72);
    ASSERT_EQ(1, KRInitMarginalActv(&row, &a));
    EXPECT_EQ(std::make_pair(1, 0u), std::make_pair(a.secIndex, a.classIndex));
}

// Named classes come first in the order named; the others keep registration order. The class
// listed first decides between classes that share a code: P<i><j> is in the classes i and j.
TEST(Links, ClassOrderFollowsMainMarginClasses) {
    const char* const codes[] = {"C", "A", "B", "AB"};
    // MAINMARGINCLASSES and the class order it gives.
    struct Order {
        explicit Order(const char* m) : mainMarginClasses(m) {}
        const char *mainMarginClasses, *order = "";
        Order& Gives(const char* v) { return order = v, *this; }
    };
    const Order cases[] = {
        Order("B").Gives("B C A AB"),        Order("B,A").Gives("B A C AB"),
        Order("B, A").Gives("B C A AB"),     Order("").Gives("C A B AB"),
        Order("X,B").Gives("B C A AB"),      Order("AB").Gives("AB C A B"),
        Order("A,AB,C,B").Gives("A AB C B"), Order("B,A\nMAINMARGINCLASSES=C").Gives("B A C AB"),
    };
    ASSERT_EQ(1, Install(2));
    // The list names the classes against their registration order: it decides nothing.
    const std::string text = "[LIMITALLOWEDSECURITY]\nAB=<ALL>\nB=<ALL>\nA=<ALL>\nC=<ALL>\n";
    // Loaded before the classes (the first case): each registration relinks.
    ASSERT_EQ(1, KRSetDliniFile("F", (text + "[GENERAL]\nMAINMARGINCLASSES=B\n").c_str()));
    for (uint32_t i = 0; i < 4; ++i) {
        std::vector<SecurityDef> secs;
        for (uint32_t j = 0; j < 4; ++j)
            if (j != i)
                secs.push_back({10 * i + j, "P" + std::to_string(std::min(i, j)) +
                                                std::to_string(std::max(i, j))});
        ASSERT_EQ(1, AddClass(i, codes[i], secs));
    }
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mainMarginClasses);
        const std::string order =
            text + "[GENERAL]\nMAINMARGINCLASSES=" + c.mainMarginClasses + "\n";
        ASSERT_EQ(1, &c == cases ? 1 : KRSetDliniFile("F", order.c_str())); // case 0: above
        KRMarginalRow row = Bound("F", "C1");
        const std::string named = std::string(" ") + c.order + " ";
        auto at = [&](uint32_t k) { return named.find(std::string(" ") + codes[k] + " "); };
        for (uint32_t i = 0; i < 4; ++i) {
            for (uint32_t j = i + 1; j < 4; ++j) {
                uint32_t classId = 99;
                const std::string code = "P" + std::to_string(i) + std::to_string(j);
                EXPECT_EQ(1, KRIsMarginSeccode(&row, code.c_str(), &classId, nullptr));
                EXPECT_EQ(at(i) < at(j) ? i : j, classId) << code;
            }
        }
    }
}

// "<ALL>" may hold a code twice in one class: the first registered of the two answers.
TEST(Membership, ACodeTwiceInAClassAnswersItsFirst) {
    ASSERT_EQ(1, Install(2));
    ASSERT_EQ(1, AddClass(5, "D", {{51, "Q"}, {52, "Q"}, {53, "R"}}));
    ASSERT_EQ(1, KRSetDliniFile("F", "[LIMITALLOWEDSECURITY]\nD=<ALL>\n"));
    KRMarginalRow row = Bound("F", "C1");
    uint32_t classId = 0, secId = 0;
    EXPECT_EQ(1, KRIsMarginSeccode(&row, "Q", &classId, &secId));
    EXPECT_EQ(std::make_pair(5u, 51u), std::make_pair(classId, secId));
}

// A KRAddClass that fails at any of its allocations leaves every list waiting for the class as
// before, also when another class then takes the registry places the failed one would have had;
// the add that finally succeeds resolves them (explicit codes of "<ALL>" stay unresolved).
TEST(Links, AFailedClassLeavesItsEntriesWaiting) {
    ASSERT_EQ(1, Install(2));
    const char* text = "[LIMITALLOWEDSECURITY]\nA=X\nB=Q,P\nB=P,<ALL>\nC=Q\n[RESTSHORTSECURITIES]\n"
                       "B=Q\n[GENERAL]\nMAINMARGINCLASSES=B\n[CLC_MARGIN]\nB=Q\n";
    // The margin lists of the firm and of C, and whether C's Q is restricted for shorts.
    auto seen = [] {
        KRMarginalRow row = Bound("F", "ZZ");
        KRMarginalActv q = Actv(3, 32);
        return world::MarginList("F", "ZZ") + "/" + world::MarginList("F", "C") + "/" +
               std::to_string(KRInitMarginalActv(&row, &q) ? q.isRestShort : -1);
    };
    MemoryStats& m = host().memory;
    std::string withoutB;
    for (int64_t k = 0;; ++k) {
        SCOPED_TRACE(k);
        ASSERT_EQ(1, AddClass(1, "A", {{11, "X"}}));
        ASSERT_EQ(1, KRSetDliniFile("F", text));
        const int64_t live = m.live;
        m.failAt = k ? m.allocating + k : 0;
        const int32_t added = k ? AddClass(2, "B", {{21, "P"}, {22, "Q"}}) : 0;
        m.failAt = 0;
        if (added) {
            EXPECT_GE(k, 4); // the class, its securities, the resolved entries, the links
            EXPECT_EQ("1 A 11:X | 2 B 22:Q 21:P | 2 B 4294967295:P 21:P 22:Q | 4294967295 C "
                      "4294967295:Q/2 B 22:Q/-1",
                      seen());
            break;
        }
        if (k) {
            EXPECT_EQ(KR_ERR_NO_MEMORY, KRGetLastError());
        }
        EXPECT_EQ(live, m.live);
        // The class that comes next takes the registry places the failed one would have had.
        ASSERT_EQ(1, AddClass(3, "C", {{31, "P"}, {32, "Q"}}));
        if (k == 0) withoutB = seen();
        EXPECT_EQ(withoutB, seen());
        ASSERT_EQ(1, KRCleanup());
    }
}

// A client's own list of a kind replaces the firm's; without an asset list the margin list
// answers; IGNORERESTSHORTSECURITY empties the rest-short list; the rest-short list is asked
// only for margin securities; MAINMARGINCLASSES puts B's X first. By id every entry of a class
// counts, by code only its first entry, compared exactly.
TEST(Membership, ServerOfEachList) {
    ASSERT_EQ(1, Install(2));
    const std::string text = "[LIMITALLOWEDSECURITY]\nA=X,Y\nB=X\n[RESTSHORTSECURITIES]\nA=Y\n"
                             "[GENERAL]\nMAINMARGINCLASSES=B,A\n[CLOWN_MARGIN]\nA=Z\nB_ASSET=W\n"
                             "[CLBARE_MARGIN]\n[CLIGNORES_MARGIN]\nIGNORERESTSHORTSECURITY=1\n"
                             "[CLRS_MARGIN]\nA_RESTSHORT=X\n";
    ASSERT_EQ(1, KRSetDliniFile("F", text.c_str()));
    ASSERT_EQ(1, KRSetDliniFile("G", "[LIMITALLOWEDSECURITY]\nA=Y\nB=<ALL>\nA=Z\n"));
    ASSERT_EQ(1, KRSetDliniFile("H", "[LIMITALLOWEDSECURITY]\nB=X\nA=X,Z\n[GENERAL]\n"
                                     "MAINMARGINCLASSES=C,B,A\n"));
    ASSERT_EQ(1, KRSetDliniFile("K", "[LIMITALLOWEDSECURITY]\nA=X\nA=<ALL>\n"));
    ASSERT_EQ(1, AddClass(1, "A", {{11, "X"}, {12, "Y"}, {13, "Z"}}));
    ASSERT_EQ(1, AddClass(2, "B", {{21, "X"}, {22, "W"}}));
    ASSERT_EQ(1, AddClass(3, "C", {{31, "V"}}));
    for (const Answers& c : {
             Answers("F", "ZZ").MarginAndAsset("X=21 Y=12", "A.X A.Y B.X").RestShort("A.Y"),
             Answers("F", "OWN").MarginCodes("Z=13").AssetCodes("W=22").Margin("A.Z").Asset("B.W"),
             Answers("F", "BARE").MarginAndAsset("X=21 Y=12", "A.X A.Y B.X").RestShort("A.Y"),
             Answers("F", "IGNORES").MarginAndAsset("X=21 Y=12", "A.X A.Y B.X"),
             Answers("F", "RS").MarginAndAsset("X=21 Y=12", "A.X A.Y B.X").RestShort("A.X"),
             Answers("G", "C1").MarginAndAsset("X=21 Y=12 W=22", "A.Y A.Z B.X B.W"),
             Answers("K", "C1").MarginAndAsset("X=11", "A.X A.Y A.Z"),
             Answers("H", "C1").MarginAndAsset("X=21 Z=13", "A.X A.Z B.X"),
         })
        ExpectAnswers(c);
    // The firm's asset list serves a client without one of its own.
    ASSERT_EQ(1, KRSetDliniFile("F", (text + "[ASSETSECURITIES]\nA=Y\n").c_str()));
    ExpectAnswers(Answers("F", "BARE")
                      .MarginCodes("X=21 Y=12")
                      .AssetCodes("Y=12")
                      .Margin("A.X A.Y B.X")
                      .Asset("A.Y")
                      .RestShort("A.Y"));
    KRMarginalRow row = Bound("G", "C1");
    uint32_t secId = 77;
    EXPECT_EQ(0, KRIsMarginSeccode(&row, "y", nullptr, &secId));
    EXPECT_EQ(77u, secId);
}

// A list naming 64 or more securities of a class, most of them, answers for exactly those, also
// once a class it waits for has come.
TEST(Membership, LongExplicitListNamesExactlyItsSecurities) {
    ASSERT_EQ(1, Install(2));
    std::vector<SecurityDef> secs;
    std::string text = "[LIMITALLOWEDSECURITY]\nL=";
    for (uint32_t i = 0; i < 100; ++i) {
        secs.push_back({1000 + i, "L" + std::to_string(i)});
        if (i % 10 >= 3) text += secs.back().code + ","; // not the first: a block starts at 0
    }
    ASSERT_EQ(1, AddClass(1, "L", secs));
    ASSERT_EQ(1, KRSetDliniFile("F", (text + "\nM=X\n").c_str()));
    KRMarginalRow row = Bound("F", "C1");
    for (int added = 0; added < 2; ++added) {
        if (added) {
            ASSERT_EQ(1, AddClass(2, "M", {{2000, "X"}}));
        }
        EXPECT_EQ(added, KRIsMarginSeccode(&row, "X", nullptr, nullptr));
        for (const SecurityDef& s : secs)
            EXPECT_EQ(s.secId % 10 >= 3, KRIsMarginSeccode(&row, s.code.c_str(), nullptr, nullptr))
                << s.code;
    }
    // A long entry of a class far into the registry, loaded after it, keeps a repeat once.
    std::string entry = "X", want = "2 M 2000:X";
    for (char c : std::string("ABCDEFGHIJKLNOP"))
        entry += std::string(",") + c, want += std::string(" 4294967295:") + c;
    ASSERT_EQ(1, KRSetDliniFile("F", ("[LIMITALLOWEDSECURITY]\nM=" + entry + ",X\n").c_str()));
    EXPECT_EQ(want, world::MarginList("F", "C1"));
}

// A null answer to a 0-byte request is no failure.
static void* KR_CALL NullForZero(uint32_t size) {
    return size ? HookAlloc(size) : nullptr;
}

// A client's own list alone, else its firm's (called with 0 entries when there is none);
// unregistered classes and securities with 0xFFFFFFFF; the array and one block per entry (the
// host may answer null for those of 0 bytes), the host's during the call only, each freed
// through the hook after it.
TEST(MarginSecs, ClientOrFirmListWithHostIds) {
    InstallCallbacks(true);
    KRSetMemoryManagement(NullForZero, HookFree, HookRealloc);
    ASSERT_EQ(1, KRInitEx(2, 96, 96));
    ASSERT_EQ(1, AddClass(10, "TQBR", {{101, "SBER"}, {102, "GAZP"}, {103, "LKOH"}}));
    ASSERT_EQ(1, KRSetDliniFile("F1", "[LIMITALLOWEDSECURITY]\nTQBR=SBER,GAZP,XXXX\nFUT=RIM5\n"
                                      "TQBR=\n[CLC1_MARGIN]\nTQBR=LKOH\n[CLC2_MARGIN]\n"
                                      "TQBR_ASSET=LKOH\n"));
    // A long entry of a class without securities asks the loader for no 0-byte block.
    ASSERT_EQ(1, AddClass(20, "NONE", {}));
    ASSERT_EQ(1, KRSetDliniFile("F3", "[GENERAL]\nCREDITLAG=1\n[RESTSHORTSECURITIES]\n"
                                      "NONE=A,B,C,D,E,F,G,H,I,J,K,L,M,N,O,P,Q\n"));
    const char* firmList = "10 TQBR 101:SBER 102:GAZP 4294967295:XXXX | 4294967295 FUT "
                           "4294967295:RIM5 | 10 TQBR";
    // The list a client gets, and the blocks the host holds during the call.
    struct Listed {
        Listed(const char* f, const char* c, std::string l) : firm(f), client(c), list(l) {}
        const char *firm, *client;
        std::string list;
        int64_t blocks = 0;
        Listed& Blocks(int64_t v) { return blocks = v, *this; }
    };
    const Listed cases[] = {
        Listed("F1", "C1", "10 TQBR 103:LKOH").Blocks(2), // its own list alone
        Listed("F1", "C2", firmList).Blocks(3),           // asset entries only: the firm's list
        Listed("F1", "ZZ", firmList).Blocks(3),           // the firm record
        Listed("F3", "C1", ""),                           // no list: called with 0
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.firm << " " << c.client);
        EXPECT_EQ(c.list, world::MarginList(c.firm, c.client));
        const MemoryStats before = host().memory;
        std::vector<int64_t> lives;
        KRMarginalRow row = Bound(c.firm, c.client);
        EXPECT_EQ(1, KRGetMarginSecs(&row, Note, reinterpret_cast<uintptr_t>(&lives)));
        EXPECT_EQ(std::vector<int64_t>{before.live + c.blocks}, lives);
        EXPECT_EQ(before.live, host().memory.live);
        EXPECT_EQ(before.freeCalls + c.blocks, host().memory.freeCalls);
    }
}

// Margin and asset lists of every firm and client record, in load order, each id once; rest-short
// lists ask for nothing. A full array fails with 3 unless only duplicates remain; the count may
// sit at an odd address; success leaves the last-error value alone.
TEST(NeedClassSecIds, FirstFoundOrderAndCapacity) {
    ASSERT_EQ(1, Install(2));
    ASSERT_EQ(4, world::RegisterClasses());
    ASSERT_EQ(1, KRSetDliniFile("F1", "[LIMITALLOWEDSECURITY]\nTQBR=GAZP,SBER\n[ASSETSECURITIES]\n"
                                      "TQBR=LKOH,GAZP\n[RESTSHORTSECURITIES]\nTQOB=OFZ1\n"
                                      "[CLC1_MARGIN]\nTQBR=NOPRICE,SBER\n"));
    ASSERT_EQ(1, KRSetDliniFile("F2", "[LIMITALLOWEDSECURITY]\nTQBR=SBER,XXXX\n[ASSETSECURITIES]\n"
                                      "TQOB=OFZ2\n"));
    // TQBR: F1 margin 102, 101; F1 asset 103 (102 again); client C1 104 (101 again); F2 101
    // again. A call that succeeds leaves the code set before it, KR_ERR_ARGUMENT.
    const std::vector<uint32_t> tqbr{102, 101, 103, 104};
    struct Need {
        Need(uint32_t c, int32_t n) : classId(c), capacity(n) {}
        uint32_t classId;
        int32_t capacity, rc = 1, count = 0, error = KR_ERR_ARGUMENT;
        std::vector<uint32_t> ids;
        Need& Ids(const std::vector<uint32_t>& v) {
            return ids = v, count = int32_t(v.size()), *this;
        }
        Need& Fails(int32_t code, int32_t countAfter) {
            return rc = 0, error = code, count = countAfter, *this;
        }
    };
    const Need cases[] = {
        Need(10, 4).Ids(tqbr), // F2's SBER: a duplicate when full
        Need(10, 3).Ids({102, 101, 103}).Fails(KR_ERR_SIZE, 3),
        Need(10, 0).Fails(KR_ERR_SIZE, 0),
        Need(10, -5).Fails(KR_ERR_SIZE, -5), // negative capacity counts as 0
        Need(10, 0x10000).Ids(tqbr),
        Need(30, -5),
        Need(20, 1).Ids({202}),
        Need(99, 10).Fails(KR_ERR_NOT_FOUND, 10),
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.classId << " " << c.capacity);
        uint32_t ids[8];
        memset(ids, 0xEE, sizeof ids);
        uint8_t buf[8] = {}; // the count at an odd address
        memcpy(buf + 1, &c.capacity, 4);
        KRGetNeedClassSecIDs(10, nullptr, nullptr);
        EXPECT_EQ(c.rc, KRGetNeedClassSecIDs(c.classId, ids, reinterpret_cast<int32_t*>(buf + 1)));
        EXPECT_EQ(c.error, KRGetLastError());
        EXPECT_EQ(0, memcmp(buf + 1, &c.count, 4)) << "count";
        EXPECT_EQ(0, buf[0] | buf[5]);
        EXPECT_EQ(c.ids, std::vector<uint32_t>(ids, ids + c.ids.size()));
        EXPECT_EQ(0xEEEEEEEEu, ids[c.ids.size()]);
    }
}

// 65 536 ids, one past what a 16-bit count holds, found in one pass: the firm lists every
// security in a scrambled order, each twice, and two securities of the class share an id. The
// answer is each id once in first-found order, and the count's third byte is set.
TEST(NeedClassSecIds, SixtyFiveThousandIdsOnceEach) {
    constexpr uint32_t kIds = 0x10000;
    ASSERT_EQ(1, Install(2));
    std::vector<SecurityDef> secs;
    for (uint32_t i = 0; i < kIds; ++i)
        secs.push_back({0x20000 + i, "S" + std::to_string(i)});
    secs.push_back({0x20000 + 7, "SAMEID"}); // the id of S7
    ASSERT_EQ(1, AddClass(10, "BIG", secs));
    std::string text = "[LIMITALLOWEDSECURITY]\nBIG=SAMEID";
    std::vector<uint32_t> want{0x20000 + 7};
    for (int pass = 0; pass < 2; ++pass) {
        for (uint32_t k = 0; k < kIds; ++k) {
            uint32_t i = (k * 40503u) % kIds; // odd multiplier: a permutation
            text += ",S" + std::to_string(i);
            if (pass == 0 && i != 7) want.push_back(0x20000 + i);
        }
    }
    ASSERT_EQ(1, KRSetDliniFile("F1", (text + "\n").c_str()));
    // A capacity of every id answers them all; one less fails with the ids that fit.
    for (int32_t capacity : {int32_t(kIds), int32_t(kIds) - 1}) {
        SCOPED_TRACE(capacity);
        std::vector<uint32_t> ids(kIds + 1, 0xEEEEEEEEu);
        int32_t count = capacity;
        EXPECT_EQ(capacity == int32_t(kIds), KRGetNeedClassSecIDs(10, ids.data(), &count));
        EXPECT_EQ(capacity, count);
        EXPECT_TRUE(std::equal(ids.begin(), ids.begin() + capacity, want.begin()));
        EXPECT_EQ(0xEEEEEEEEu, ids[size_t(capacity)]);
    }
}
