// The fake host itself: its indexed find-first must answer what a front-to-back search does,
// whatever the records and however they change, and its hooks must count bytes exactly.
#include <gtest/gtest.h>
#include <string.h>

#include <random>
#include <string>
#include <vector>

#include "fake_host.h"

using namespace fakehost;

namespace {

std::string Field(const uint8_t* r, size_t at) {
    const char* p = reinterpret_cast<const char*>(r + at);
    return std::string(p, strnlen(p, 13));
}

// The definition: the first record of that firm and client (and code, when one is given).
std::pair<int32_t, uint32_t> Scan(bool sec, const char* firm, const char* client,
                                  const char* code) {
    const auto& records = sec ? host().secLimits : host().moneyLimits;
    for (size_t i = 0; i < records.size(); ++i) {
        const uint8_t* r = records[i].get();
        if (Field(r, sec ? 30 : 14) == firm && Field(r, sec ? 43 : 27) == client &&
            (!sec || *code == 0 || Field(r, 4) == code))
            return {1, uint32_t(i)};
    }
    return {0, uint32_t(records.size())};
}

const char* const kFirms[] = {"F1", "F2", "FIRMFIRMFIRM1", "FIRMFIRMFIRM12", ""};
const char* const kClients[] = {"C1", "C2", "CLIENTCLIENT1", "CLIENTCLIENT12", ""};
const char* const kCodes[] = {"SBER", "GAZP", "CODECODECODE1", "CODECODECODE12", ""};

// Every question, against the definition; the answer stored and the result both.
void ExpectSameAnswers(const std::string& when) {
    for (const char* firm : kFirms)
        for (const char* client : kClients) {
            uint32_t first = 77;
            int32_t result = FindFirstMoneyLimit(firm, client, "", "", &first);
            EXPECT_EQ(Scan(false, firm, client, ""), std::make_pair(result, first))
                << when << ": money " << firm << "/" << client;
            for (const char* code : kCodes) {
                first = 77;
                result = FindFirstSecLimit(firm, client, code, "", &first);
                EXPECT_EQ(Scan(true, firm, client, code), std::make_pair(result, first))
                    << when << ": sec " << firm << "/" << client << "/" << code;
            }
        }
}

void AddRandomRecords(std::mt19937& rng, int n) {
    auto pick = [&](const char* const* from) { return from[rng() % 5]; };
    for (int i = 0; i < n; ++i) {
        AddMoneyLimit({pick(kFirms), pick(kClients), "EQTV", 100});
        AddSecLimit({pick(kFirms), pick(kClients), pick(kCodes), "ACC", 1});
    }
}

TEST(FakeHost, IndexedFindFirstAnswersAsAFrontToBackSearch) {
    Reset();
    std::mt19937 rng(5);
    ExpectSameAnswers("no records");
    AddRandomRecords(rng, 40);
    ExpectSameAnswers("40 records");
    AddRandomRecords(rng, 40); // appended after the index was built
    ExpectSameAnswers("80 records");
    host().log.clear();
    host().logging = false;
    ExpectSameAnswers("without the log");
    EXPECT_TRUE(host().log.empty());
    host().logging = true;

    // Emptied and refilled to the same length, the blocks perhaps at the old addresses.
    for (int round = 0; round < 3; ++round) {
        host().secLimits.clear();
        AddSecLimit({"F2", round == 2 ? "C2" : "C1", "GAZP", "ACC", 1});
        host().moneyLimits.clear();
        AddMoneyLimit({"F2", round == 1 ? "C2" : "C1", "EQTV", 100});
        ExpectSameAnswers("refilled, round " + std::to_string(round));
    }
    // Records appended behind the host's back, then rewritten in place.
    AddRandomRecords(rng, 10);
    host().secLimits.push_back(std::unique_ptr<uint8_t[]>(new uint8_t[96]()));
    ExpectSameAnswers("pushed directly");
    memcpy(host().secLimits.back().get() + 30, "F1", 3);
    memcpy(host().secLimits.back().get() + 43, "C1", 3);
    memcpy(host().secLimits[0].get() + 4, "SBER", 5);
    LimitsChanged();
    ExpectSameAnswers("rewritten in place");
}

TEST(FakeHost, HooksCountLiveAndPeakBytes) {
    Reset();
    MemoryStats& m = host().memory;
    void* a = HookAlloc(10);
    void* b = HookRealloc(nullptr, 20);
    b = HookRealloc(b, 50);
    EXPECT_EQ(std::make_pair(int64_t(60), int64_t(60)),
              std::make_pair(m.liveBytes, m.peakLiveBytes));
    b = HookRealloc(b, 5);
    HookFree(a);
    int dummy = 0;
    HookFree(&dummy); // not ours: counted, no bytes change
    EXPECT_EQ(std::make_pair(int64_t(5), int64_t(60)),
              std::make_pair(m.liveBytes, m.peakLiveBytes));
    EXPECT_EQ(std::make_pair(int64_t(1), int64_t(1)), std::make_pair(m.live, m.foreignFrees));
    m.peakLiveBytes = m.liveBytes; // a new watch
    HookFree(b);
    void* c = HookAlloc(8);
    EXPECT_EQ(std::make_pair(int64_t(8), int64_t(8)), std::make_pair(m.liveBytes, m.peakLiveBytes));
    HookFree(c);
    host().logging = false;
    HookFree(HookRealloc(nullptr, 4));
    EXPECT_EQ(std::vector<uint32_t>({20, 50, 5}), m.reallocSizes);
    EXPECT_EQ(int64_t(0), m.liveBytes);
}

} // namespace
