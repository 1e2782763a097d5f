// The margin list handed to the host and the ids a class needs.
#include <gtest/gtest.h>
#include <string.h>

#include <string>
#include <vector>

#include "fake_host.h"

using namespace fakehost;

namespace {

// TQBR (10): SBER 101, GAZP 102, LKOH 103, VTBR 104, MTSS 105. FUT (20): RIM5 201.
// EMPTY (30): one security nobody lists.
void Classes() {
    ASSERT_EQ(
        1, AddClass(10, "TQBR",
                    {{101, "SBER"}, {102, "GAZP"}, {103, "LKOH"}, {104, "VTBR"}, {105, "MTSS"}}));
    ASSERT_EQ(1, AddClass(20, "FUT", {{201, "RIM5"}}));
    ASSERT_EQ(1, AddClass(30, "EMPTY", {{301, "NONE"}}));
}

struct Sec {
    uint32_t id;
    std::string code;
    bool operator==(const Sec& o) const { return id == o.id && code == o.code; }
};
struct Entry {
    uint32_t classId;
    std::string code;
    std::vector<Sec> secs;
    bool zeroPadded;
    bool operator==(const Entry& o) const {
        return classId == o.classId && code == o.code && secs == o.secs;
    }
};
std::ostream& operator<<(std::ostream& os, const Entry& e) {
    os << e.classId << " " << e.code << " {";
    for (const Sec& s : e.secs)
        os << s.id << ":" << s.code << " ";
    return os << "}";
}

struct Received {
    int calls = 0;
    uintptr_t user = 0;
    int64_t liveDuringCall = 0;
    std::vector<Entry> entries;
};
Received* gReceived = nullptr;

int32_t KR_CALL Collect(const KRMarginClassEntry* entries, uint32_t count, uintptr_t user) {
    Received& r = *gReceived;
    ++r.calls;
    r.user = user;
    r.liveDuringCall = host().memory.live;
    for (uint32_t i = 0; i < count; ++i) {
        const KRMarginClassEntry& e = entries[i];
        Entry out{e.classId, std::string(e.code, strnlen(e.code, 16)), {}, true};
        for (size_t b = out.code.size(); b < 16; ++b)
            out.zeroPadded &= e.code[b] == 0;
        for (int32_t j = 0; j < e.secCount; ++j)
            out.secs.push_back({e.secs[j].secId, std::string(e.secs[j].code)});
        r.entries.push_back(out);
    }
    return 0;
}

int32_t MarginSecs(const char* firm, const char* client, Received* into) {
    KRMarginalRow row = Row(firm, client);
    EXPECT_EQ(1, KRInitMarginalRow(&row));
    gReceived = into;
    return KRGetMarginSecs(&row, Collect, reinterpret_cast<uintptr_t>(into));
}

const char* const kFirmF1 = "[LIMITALLOWEDSECURITY]\nTQBR=SBER,GAZP,XXXX\nFUT=RIM5\n"
                            "[CLC1_MARGIN]\nTQBR=LKOH\n"
                            "[CLC2_MARGIN]\nTQBR_ASSET=MTSS\n";

} // namespace

TEST(MarginSecs, ClientOrFirmListWithHostIds) {
    ASSERT_EQ(1, Install(2));
    ASSERT_EQ(1, AddClass(10, "TQBR", {{101, "SBER"}, {102, "GAZP"}, {103, "LKOH"}}));
    ASSERT_EQ(1, KRSetDliniFile("F1", kFirmF1));
    ASSERT_EQ(1, KRSetDliniFile("F3", "[GENERAL]\nCREDITLAG=1\n"));
    const uint32_t none = KR_UNREGISTERED_ID;
    const std::vector<Entry> firmList{
        {10, "TQBR", {{101, "SBER"}, {102, "GAZP"}, {none, "XXXX"}}, true},
        {none, "FUT", {{none, "RIM5"}}, true}, // class not registered yet
    };
    struct Case {
        const char* firm;
        const char* client;
        std::vector<Entry> expected;
    } cases[] = {
        {"F1", "C1", {{10, "TQBR", {{103, "LKOH"}}, true}}}, // its own list alone
        {"F1", "C2", firmList},                              // asset entries only: firm's list
        {"F1", "ZZ", firmList},                              // the firm record itself
        {"F3", "C1", {}},                                    // no list: called with 0
    };
    for (const Case& c : cases) {
        const int64_t liveBefore = host().memory.live;
        const int64_t freesBefore = host().memory.freeCalls;
        const int64_t allocsBefore = host().memory.allocCalls;
        Received got;
        EXPECT_EQ(1, MarginSecs(c.firm, c.client, &got));
        EXPECT_EQ(KR_ERR_NONE, KRGetLastError());
        EXPECT_EQ(1, got.calls);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(&got), got.user);
        EXPECT_EQ(c.expected, got.entries) << c.firm << " " << c.client;
        for (const Entry& e : got.entries)
            EXPECT_TRUE(e.zeroPadded) << e.code;
        // One array and one block per entry, all live during the call and freed after it.
        const int64_t blocks = int64_t(c.expected.size()) + 1;
        EXPECT_EQ(allocsBefore + blocks, host().memory.allocCalls);
        EXPECT_EQ(liveBefore + blocks, got.liveDuringCall);
        EXPECT_EQ(liveBefore, host().memory.live);
        EXPECT_EQ(freesBefore + blocks, host().memory.freeCalls);
        EXPECT_EQ(0, host().memory.foreignFrees);
    }
}

TEST(MarginSecs, AllocationFailureFreesWhatWasTakenAndDoesNotCallBack) {
    ASSERT_EQ(1, Install(2));
    ASSERT_EQ(1, AddClass(10, "TQBR", {{101, "SBER"}, {102, "GAZP"}}));
    ASSERT_EQ(1, KRSetDliniFile("F1", kFirmF1));
    // The array, then the block of TQBR, then the block of FUT.
    for (int64_t failing = 1; failing <= 3; ++failing) {
        const int64_t liveBefore = host().memory.live;
        host().memory.failAt = host().memory.allocating + failing;
        Received got;
        EXPECT_EQ(0, MarginSecs("F1", "ZZ", &got));
        EXPECT_EQ(KR_ERR_NO_MEMORY, KRGetLastError());
        EXPECT_EQ(0, got.calls) << failing;
        EXPECT_EQ(liveBefore, host().memory.live) << failing;
        host().memory.failAt = 0;
    }
    Received got;
    EXPECT_EQ(1, MarginSecs("F1", "ZZ", &got));
    EXPECT_EQ(2u, got.entries.size());
}

namespace {
// Answers null to every 0-byte request, which the library must not take for a failure.
void* KR_CALL NullForZero(uint32_t size) {
    return size ? HookAlloc(size) : nullptr;
}
} // namespace

TEST(MarginSecs, EmptyEntryBlockMayBeNull) {
    InstallCallbacks(true);
    KRSetMemoryManagement(NullForZero, HookFree, HookRealloc);
    ASSERT_EQ(1, KRInitEx(2, 96, 96));
    ASSERT_EQ(1, AddClass(10, "TQBR", {{101, "SBER"}}));
    ASSERT_EQ(1, KRSetDliniFile("F1", "[LIMITALLOWEDSECURITY]\nTQBR=\nTQBR=SBER\n"));
    Received got;
    EXPECT_EQ(1, MarginSecs("F1", "C1", &got));
    EXPECT_EQ(1, got.calls);
    EXPECT_EQ((std::vector<Entry>{{10, "TQBR", {}, true}, {10, "TQBR", {{101, "SBER"}}, true}}),
              got.entries);
}

namespace {
// F1: margin GAZP, SBER; asset LKOH, GAZP; rest-short VTBR; client C1 margin MTSS, SBER.
// F2: margin SBER and an unregistered code; asset RIM5 of FUT.
void NeedFirms() {
    ASSERT_EQ(1, KRSetDliniFile("F1", "[LIMITALLOWEDSECURITY]\nTQBR=GAZP,SBER\n"
                                      "[ASSETSECURITIES]\nTQBR=LKOH,GAZP\n"
                                      "[RESTSHORTSECURITIES]\nTQBR=VTBR\n"
                                      "[CLC1_MARGIN]\nTQBR=MTSS,SBER\n"));
    ASSERT_EQ(1, KRSetDliniFile("F2", "[LIMITALLOWEDSECURITY]\nTQBR=SBER,XXXX\n"
                                      "[ASSETSECURITIES]\nFUT=RIM5\n"));
}

int32_t Count(const uint8_t* p) {
    int32_t v;
    memcpy(&v, p, 4);
    return v;
}
} // namespace

TEST(NeedClassSecIds, FirstFoundOrderAndCapacity) {
    ASSERT_EQ(1, Install(2));
    Classes();
    NeedFirms();
    // TQBR: F1 margin 102, 101; F1 asset 103 (102 again); client C1 105 (101 again);
    // F2 101 again; VTBR (rest-short only) never.
    const std::vector<uint32_t> tqbr{102, 101, 103, 105};
    struct Case {
        uint32_t classId;
        int32_t capacity;
        int32_t rc, count, error;
        std::vector<uint32_t> ids;
    } cases[] = {
        {10, 100, 1, 4, -1, tqbr},
        {10, 4, 1, 4, -1, tqbr}, // F2's SBER is a duplicate found when full
        {10, 3, 0, 3, KR_ERR_SIZE, {102, 101, 103}},
        {10, 0, 0, 0, KR_ERR_SIZE, {}},
        {10, -5, 0, -5, KR_ERR_SIZE, {}}, // negative capacity counts as 0
        {30, 0, 1, 0, -1, {}},
        {30, -5, 1, 0, -1, {}},
        {20, 1, 1, 1, -1, {201}},
        {99, 10, 0, 10, KR_ERR_NOT_FOUND, {}},
    };
    for (const Case& c : cases) {
        uint32_t ids[8];
        memset(ids, 0xEE, sizeof ids);
        // The count at an odd address.
        uint8_t buf[8] = {};
        memcpy(buf + 1, &c.capacity, 4);
        // A previous error that a success leaves in place.
        KRGetNeedClassSecIDs(10, nullptr, nullptr);
        ASSERT_EQ(KR_ERR_ARGUMENT, KRGetLastError());
        EXPECT_EQ(c.rc, KRGetNeedClassSecIDs(c.classId, ids, reinterpret_cast<int32_t*>(buf + 1)))
            << c.classId << " " << c.capacity;
        EXPECT_EQ(c.error < 0 ? KR_ERR_ARGUMENT : c.error, KRGetLastError());
        EXPECT_EQ(c.count, Count(buf + 1));
        EXPECT_EQ(0, buf[0]);
        EXPECT_EQ(0, buf[5]);
        for (size_t i = 0; i < c.ids.size(); ++i)
            EXPECT_EQ(c.ids[i], ids[i]) << i;
        EXPECT_EQ(0xEEEEEEEEu, ids[c.ids.size()]);
    }
}
