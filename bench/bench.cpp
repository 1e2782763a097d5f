// Speed of the calls a terminal makes most: loading a firm's settings, the row of a client
// with many positions, one actv, and the needed-ids query. Run: build/bench/kesvar_bench.
#include <benchmark/benchmark.h>

#include <string>

#include "fake_host.h"

using namespace fakehost;

namespace {

constexpr int kSecurities = 400;
constexpr int kClients = 2000;

std::string Code(const char* prefix, int i) {
    return prefix + std::to_string(i);
}

// A firm text with a long margin list, client sections, lags and weights.
std::string FirmText() {
    std::string t = "[LIMITALLOWEDSECURITY]\nEQ=";
    for (int i = 0; i < kSecurities; i += 2)
        t += Code("S", i) + ",";
    t += "\n[ASSETSECURITIES]\nEQ=<ALL>\n[GENERAL]\nCREDITLAG=1\nMAINMARGINCLASSES=EQ\n";
    for (int c = 0; c < 50; ++c)
        t += "[CL" + Code("K", c) + "_MARGIN]\nEQ=S1,S3,S5\n";
    t += "[CLIENTLAG]\n";
    for (int c = 0; c < kClients; c += 3)
        t += Code("C", c) + "=2\n";
    t += "[SECURITYWEIGHT]\n";
    for (int i = 0; i < kSecurities; i += 5)
        t += Code("S", i) + "=0.8,1.2\n";
    return t;
}

// One-time world: the library is initialised once per process.
void World() {
    static bool done = false;
    if (done) return;
    done = true;
    Install(2, false);
    std::vector<SecuritySpec> secs;
    for (int i = 0; i < kSecurities; ++i) {
        secs.push_back({uint32_t(1000 + i), Code("S", i), 10});
        SetPrices(1, uint32_t(1000 + i), 101.0 + i, 100.0 + i, 99.0 + i, 100.5 + i);
    }
    AddClass(1, "EQ", secs);
    KRSetDliniFile("F1", FirmText().c_str());
    AddMoneyLimit({"F1", "C7", "", 1e7, 2e7, 1.1e7, 2e7});
    for (int i = 0; i < kSecurities; ++i)
        AddSecLimit({"F1", "C7", Code("S", i), "A1", 10 + i, 0, (i % 7) - 3 + 10 * (i % 3)});
    host().log.reserve(1 << 20);
}

void ClearLog() {
    host().log.clear();
}

void BM_LoadSettings(benchmark::State& state) {
    World();
    std::string text = FirmText();
    for (auto _ : state)
        benchmark::DoNotOptimize(KRSetDliniFile("F2", text.c_str()));
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size()));
}
BENCHMARK(BM_LoadSettings);

void BM_CalcRow400Positions(benchmark::State& state) {
    World();
    KRMarginalRow row = Row("F1", "C7");
    KRInitMarginalRow(&row);
    for (auto _ : state) {
        benchmark::DoNotOptimize(KRCalcMarginalRow(&row));
        ClearLog();
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * kSecurities);
}
BENCHMARK(BM_CalcRow400Positions);

void BM_CalcActv(benchmark::State& state) {
    World();
    KRMarginalRow row = Row("F1", "C7");
    KRInitMarginalRow(&row);
    KRCalcMarginalRow(&row);
    KRMarginalActv actv = Actv(1, 1000 + kSecurities - 1);
    KRInitMarginalActv(&row, &actv);
    for (auto _ : state) {
        benchmark::DoNotOptimize(KRCalcMarginalActv(&row, &actv, 0.0));
        ClearLog();
    }
}
BENCHMARK(BM_CalcActv);

void BM_BindRowAmongClientLags(benchmark::State& state) {
    World();
    KRMarginalRow row = Row("F1", "C1998");
    for (auto _ : state)
        benchmark::DoNotOptimize(KRInitMarginalRow(&row));
}
BENCHMARK(BM_BindRowAmongClientLags);

void BM_NeedClassSecIDs(benchmark::State& state) {
    World();
    std::vector<uint32_t> ids(kSecurities);
    for (auto _ : state) {
        int32_t count = kSecurities;
        benchmark::DoNotOptimize(KRGetNeedClassSecIDs(1, ids.data(), &count));
    }
}
BENCHMARK(BM_NeedClassSecIDs);

} // namespace

BENCHMARK_MAIN();
