// The margin list handed to the host and the ids a class needs.
#include <gtest/gtest.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include "fake_host.h"

using namespace fakehost;

namespace {

// What the callback saw: per entry "classId code secId:code ...", with a "!" after a class
// code whose 16-byte field is not zero-padded.
struct Received {
    int calls = 0;
    uintptr_t user = 0;
    int64_t liveDuringCall = 0;
    std::vector<std::string> entries;
};
Received* gReceived = nullptr;

int32_t KR_CALL Collect(const KRMarginClassEntry* entries, uint32_t count, uintptr_t user) {
    Received& r = *gReceived;
    ++r.calls;
    r.user = user;
    r.liveDuringCall = host().memory.live;
    for (uint32_t i = 0; i < count; ++i) {
        const KRMarginClassEntry& e = entries[i];
        const size_t n = strnlen(e.code, 16);
        std::string s = std::to_string(e.classId) + " " + std::string(e.code, n);
        if (std::count(e.code + n, e.code + 16, 0) != long(16 - n)) s += "!";
        for (int32_t j = 0; j < e.secCount; ++j)
            s += " " + std::to_string(e.secs[j].secId) + ":" + e.secs[j].code;
        r.entries.push_back(s);
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
    // 4294967295: not registered (FUT is no class yet).
    const std::vector<std::string> firmList{"10 TQBR 101:SBER 102:GAZP 4294967295:XXXX",
                                            "4294967295 FUT 4294967295:RIM5"};
    const struct {
        const char *firm, *client;
        std::vector<std::string> expected;
    } cases[] = {
        {"F1", "C1", {"10 TQBR 103:LKOH"}}, // its own list alone
        {"F1", "C2", firmList},             // asset entries only: the firm's list
        {"F1", "ZZ", firmList},             // the firm record itself
        {"F3", "C1", {}},                   // no list: called with 0
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.firm << " " << c.client);
        const MemoryStats before = host().memory;
        Received got;
        EXPECT_EQ(1, MarginSecs(c.firm, c.client, &got));
        EXPECT_EQ(1, got.calls);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(&got), got.user);
        EXPECT_EQ(c.expected, got.entries);
        // The array and one block per entry, live during the call, freed by the hook after it.
        const int64_t blocks = int64_t(c.expected.size()) + 1;
        EXPECT_EQ(before.live + blocks, got.liveDuringCall);
        EXPECT_EQ(before.live, host().memory.live);
        EXPECT_EQ(before.freeCalls + blocks, host().memory.freeCalls);
        EXPECT_EQ(0, host().memory.foreignFrees);
    }
}

TEST(MarginSecs, AllocationFailureFreesWhatWasTakenAndDoesNotCallBack) {
    ASSERT_EQ(1, Install(2));
    ASSERT_EQ(1, AddClass(10, "TQBR", {{101, "SBER"}, {102, "GAZP"}}));
    ASSERT_EQ(1, KRSetDliniFile("F1", kFirmF1));
    // The array, then the block of TQBR, then the block of FUT.
    for (int64_t failing = 1; failing <= 3; ++failing) {
        SCOPED_TRACE(failing);
        const int64_t liveBefore = host().memory.live;
        host().memory.failAt = host().memory.allocating + failing;
        Received got;
        EXPECT_EQ(0, MarginSecs("F1", "ZZ", &got));
        EXPECT_EQ(KR_ERR_NO_MEMORY, KRGetLastError());
        EXPECT_EQ(0, got.calls);
        EXPECT_EQ(liveBefore, host().memory.live);
        host().memory.failAt = 0;
    }
}

// A null answer to a 0-byte request is no failure.
void* KR_CALL NullForZero(uint32_t size) {
    return size ? HookAlloc(size) : nullptr;
}

TEST(MarginSecs, EmptyEntryBlockMayBeNull) {
    InstallCallbacks(true);
    KRSetMemoryManagement(NullForZero, HookFree, HookRealloc);
    ASSERT_EQ(1, KRInitEx(2, 96, 96));
    ASSERT_EQ(1, AddClass(10, "TQBR", {{101, "SBER"}}));
    ASSERT_EQ(1, KRSetDliniFile("F1", "[LIMITALLOWEDSECURITY]\nTQBR=\nTQBR=SBER\n"));
    Received got;
    EXPECT_EQ(1, MarginSecs("F1", "C1", &got));
    EXPECT_EQ((std::vector<std::string>{"10 TQBR", "10 TQBR 101:SBER"}), got.entries);
}

TEST(NeedClassSecIds, FirstFoundOrderAndCapacity) {
    ASSERT_EQ(1, Install(2));
    ASSERT_EQ(
        1, AddClass(10, "TQBR",
                    {{101, "SBER"}, {102, "GAZP"}, {103, "LKOH"}, {104, "VTBR"}, {105, "MTSS"}}));
    ASSERT_EQ(1, AddClass(20, "FUT", {{201, "RIM5"}}));
    ASSERT_EQ(1, AddClass(30, "EMPTY", {{301, "NONE"}})); // nobody lists it
    ASSERT_EQ(1, KRSetDliniFile("F1", "[LIMITALLOWEDSECURITY]\nTQBR=GAZP,SBER\n"
                                      "[ASSETSECURITIES]\nTQBR=LKOH,GAZP\n"
                                      "[RESTSHORTSECURITIES]\nTQBR=VTBR\n"
                                      "[CLC1_MARGIN]\nTQBR=MTSS,SBER\n"));
    ASSERT_EQ(1, KRSetDliniFile("F2", "[LIMITALLOWEDSECURITY]\nTQBR=SBER,XXXX\n"
                                      "[ASSETSECURITIES]\nFUT=RIM5\n"));
    // TQBR: F1 margin 102, 101; F1 asset 103 (102 again); client C1 105 (101 again);
    // F2 101 again; VTBR (rest-short only) never. error -1: the previous one stays.
    const std::vector<uint32_t> tqbr{102, 101, 103, 105};
    const struct {
        uint32_t classId;
        int32_t capacity, rc, count, error;
        std::vector<uint32_t> ids;
    } cases[] = {
        {10, 100, 1, 4, -1, tqbr},
        {10, 4, 1, 4, -1, tqbr}, // F2's SBER is a duplicate found when full
        {10, 3, 0, 3, KR_ERR_SIZE, {102, 101, 103}},
        {10, 0, 0, 0, KR_ERR_SIZE, {}},
        {10, -5, 0, -5, KR_ERR_SIZE, {}}, // negative capacity counts as 0
        {30, -5, 1, 0, -1, {}},
        {20, 1, 1, 1, -1, {201}},
        {99, 10, 0, 10, KR_ERR_NOT_FOUND, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.classId << " " << c.capacity);
        uint32_t ids[8];
        memset(ids, 0xEE, sizeof ids);
        uint8_t buf[8] = {}; // the count at an odd address
        memcpy(buf + 1, &c.capacity, 4);
        KRGetNeedClassSecIDs(10, nullptr, nullptr);
        EXPECT_EQ(c.rc, KRGetNeedClassSecIDs(c.classId, ids, reinterpret_cast<int32_t*>(buf + 1)));
        EXPECT_EQ(c.error < 0 ? KR_ERR_ARGUMENT : c.error, KRGetLastError());
        EXPECT_EQ(0, memcmp(buf + 1, &c.count, 4)) << "count";
        EXPECT_EQ(0, buf[0] | buf[5]);
        EXPECT_EQ(c.ids, std::vector<uint32_t>(ids, ids + c.ids.size()));
        EXPECT_EQ(0xEEEEEEEEu, ids[c.ids.size()]);
    }
}
