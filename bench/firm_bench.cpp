// A generated firm of 10 000 clients with 20 positions each through the whole-firm run, the
// summary and the cure, as `run --all-clients --fail-below` and `cure --all-clients` do it.
#include <benchmark/benchmark.h>

#include "analyses/cure.h"
#include "analyses/firm.h"

using namespace kesvar_cli;

namespace {

const int kClients = 10000, kPositions = 20, kSecurities = 200;

// Every client borrows against 20 of 200 securities; every tenth is short one of them, and
// prices are such that about one client in ten is below a margin level of 70.
Scenario Firm() {
    Scenario s;
    Class c;
    c.id = 1;
    c.code = "TQBR";
    std::string list;
    for (int i = 0; i < kSecurities; ++i) {
        Security sec;
        sec.id = uint32_t(100 + i);
        sec.code = "S" + std::to_string(i);
        sec.lot = 10;
        double p = 50 + i;
        sec.market = {p + 0.05, p, p * 1.01, p};
        c.securities.push_back(sec);
        list += (i ? "," : "") + sec.code;
    }
    s.classes.push_back(c);
    s.firms.push_back({"F1", "[GENERAL]\nCREDITLAG=1\n[MARGINLIST]\nTQBR=" + list + "\n", "gen"});
    for (int k = 0; k < kClients; ++k) {
        MoneyLimit m;
        m.firm = "F1";
        m.client = "C" + std::to_string(k);
        m.tag = "EQTV";
        m.openBalance = m.currentBalance = (k % 10 == 0 ? -1 : 1) * 2000000.0;
        m.openLimit = m.currentLimit = 10000000;
        s.moneyLimits.push_back(m);
        for (int j = 0; j < kPositions; ++j) {
            SecLimit p;
            p.firm = "F1";
            p.client = m.client;
            p.secCode = "S" + std::to_string((k * 7 + j * 11) % kSecurities);
            p.openBalance = p.currentBalance = j == 0 && k % 10 == 0 ? -5 : 5 + j;
            s.secLimits.push_back(p);
        }
    }
    RequestAllClients(&s);
    return s;
}

void BM_FirmRunAndSummary(benchmark::State& state) {
    const Scenario s = Firm();
    for (auto _ : state) {
        RunResult r = RunScenario(s);
        FirmSummary f = SummarizeFirm(r, {{"marginLevel", 70}});
        benchmark::DoNotOptimize(f.equity);
        state.counters["atOrBelow70"] = double(f.levels[0].clients.size());
    }
}
BENCHMARK(BM_FirmRunAndSummary)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_FirmCure(benchmark::State& state) {
    const Scenario s = Firm();
    for (auto _ : state) {
        CureResult r = RunCure(s, {"marginLevel", 70}, CureOrder::Value);
        benchmark::DoNotOptimize(r.clients.data());
        state.counters["cured"] = double(r.clients.size());
    }
}
BENCHMARK(BM_FirmCure)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace
