// The fake host itself: its indexed find-first must answer what a front-to-back search does,
// whatever the records and however they change.
#include <gtest/gtest.h>
#include <string.h>

#include <functional>
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

void AddRandomRecords(std::mt19937& rng, int n) {
    auto pick = [&](const char* const* from) { return from[rng() % 5]; };
    for (int i = 0; i < n; ++i) {
        AddMoneyLimit({pick(kFirms), pick(kClients), "EQTV", 100});
        AddSecLimit({pick(kFirms), pick(kClients), pick(kCodes), "ACC", 1});
    }
}

// Emptied and refilled to the same length, the blocks perhaps at the old addresses.
void Refill(int round) {
    host().secLimits.clear();
    AddSecLimit({"F2", round == 2 ? "C2" : "C1", "GAZP", "ACC", 1});
    host().moneyLimits.clear();
    AddMoneyLimit({"F2", round == 1 ? "C2" : "C1", "EQTV", 100});
}

TEST(FakeHost, IndexedFindFirstAnswersAsAFrontToBackSearch) {
    Reset();
    std::mt19937 rng(5);
    // Each change of the records, then every question of both kinds against the definition:
    // the answer stored and the result both.
    const std::pair<const char*, std::function<void()>> kChanges[] = {
        {"no records", [] {}},
        {"40 records", [&] { AddRandomRecords(rng, 40); }},
        {"40 appended after the index was built", [&] { AddRandomRecords(rng, 40); }},
        {"without the log", [] { host().logging = false; }},
        {"with the log again", [] { host().logging = true; }},
        {"refilled, round 0", [] { Refill(0); }},
        {"refilled, round 1", [] { Refill(1); }},
        {"refilled, round 2", [] { Refill(2); }},
        {"pushed directly",
         [&] {
             AddRandomRecords(rng, 10);
             host().secLimits.push_back(std::unique_ptr<uint8_t[]>(new uint8_t[96]()));
         }},
        {"rewritten in place", [] {
             memcpy(host().secLimits.back().get() + 30, "FIRMFIRMFIRM1", 13); // no NUL
             memcpy(host().secLimits.back().get() + 43, "C1", 3);
             memcpy(host().secLimits[0].get() + 4, "SBER", 5);
             LimitsChanged();
         }}};
    for (const auto& change : kChanges) {
        change.second();
        host().log.clear();
        for (const char* firm : kFirms)
            for (const char* client : kClients)
                for (const char* code : kCodes)
                    for (bool sec : {false, true}) {
                        uint32_t first = 77;
                        const int32_t result =
                            sec ? FindFirstSecLimit(firm, client, code, "", &first)
                                : FindFirstMoneyLimit(firm, client, "", "", &first);
                        EXPECT_EQ(Scan(sec, firm, client, code), std::make_pair(result, first))
                            << change.first << (sec ? ": sec " : ": money ") << firm << "/"
                            << client << "/" << code;
                    }
        EXPECT_EQ(host().logging, !host().log.empty()) << change.first;
    }
}

} // namespace
