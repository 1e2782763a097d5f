// Speed and memory of the calls a terminal makes, at a brokerage's scale, through the public
// interface and the memory host with its call log off (a host that costs next to nothing):
//   BM_Row, BM_RowAll, BM_RowList  KRCalcMarginalRow of one client; perFloor is its time over
//                                  the time of the same host calls made by a bare loop
//   BM_Actv, BM_NeedIds            KRInitMarginalActv + KRCalcMarginalActv; KRGetNeedClassSecIDs
//   BM_Bind                        KRInitMarginalRow among many client margin sections
//   BM_Load*                       KRSetDliniFile of big texts, with the bytes the library holds
//                                  and its peak during the load, per byte of text
//   BM_AddClass                    KRAddClass of the N-th class, 16 firms loaded
//   BM_Batch                       KRCalcMarginalRowEx over every client, start indexes given
// Sizes: KESVAR_BENCH_SIZES=small (default), quick or full. bench/report runs the table.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <string>
#include <vector>

#include "scenario/memory_host.h"
#include "worlds.h"

using namespace bench;

namespace {

using Clock = std::chrono::steady_clock;
using Args = std::vector<std::vector<int64_t>>;

double SecondsSince(Clock::time_point t0) {
    return std::chrono::duration<double>(Clock::now() - t0).count();
}

// The sizes of the scale this run asked for.
void Sizes(benchmark::internal::Benchmark* b, const Args& small, const Args& quick,
           const Args& full) {
    const Scale scale = SizeScale();
    for (const std::vector<int64_t>& args : scale == Scale::Full    ? full
                                            : scale == Scale::Quick ? quick
                                                                    : small)
        b->Args(args);
}

// Processor seconds per call of `run`: the first batch of 1, 2, 4... calls that takes 10 ms or
// more (the clock is read around a batch: reading it costs about as much as a small row).
template <typename Run> double SecondsPerRun(Run run) {
    for (int64_t n = 1;; n *= 2) {
        const double t0 = CpuSeconds();
        for (int64_t i = 0; i < n; ++i)
            benchmark::DoNotOptimize(run());
        const double elapsed = CpuSeconds() - t0;
        if (elapsed >= 0.01) return elapsed / double(n);
    }
}

// Times `work` in the benchmark loop; then perFloor: its time over the time of the same host
// calls made without the library. Both in processor time, taken turn about a few times, the
// best of each kept, which other programs on a shared machine disturb least. The framework
// calls a benchmark several times; the comparison is made on the first call for each world.
template <typename Work> void TimeAgainstFloor(benchmark::State& state, Work work) {
    if (!work()) { // also asks the parameter ids, which later runs never ask again
        state.SkipWithError("calculation failed");
        return;
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(work());
    struct Figures {
        double calls, seconds, floorSeconds;
    };
    static std::map<std::string, Figures> compared;
    auto found = compared.find(LiveWorld());
    if (found == compared.end()) {
        const HostCalls calls = RecordCalls(work);
        Figures f{double(calls.calls.size()), 1e300, 1e300};
        double spent = 0;
        for (int round = 0; round < 5 && (round < 2 || spent < 0.5); ++round) {
            const double t0 = CpuSeconds();
            f.seconds = std::min(f.seconds, SecondsPerRun(work));
            f.floorSeconds = std::min(f.floorSeconds, SecondsPerRun([&] { return Replay(calls); }));
            spent += CpuSeconds() - t0;
        }
        found = compared.emplace(LiveWorld(), f).first;
    }
    const Figures& f = found->second;
    state.counters["hostCalls"] = f.calls;
    state.counters["floorUs"] = f.floorSeconds * 1e6;
    state.counters["perFloor"] = f.seconds / f.floorSeconds;
}

void TimeRow(benchmark::State& state, KRMarginalRow& row) {
    TimeAgainstFloor(state, [&] { return KRCalcMarginalRow(&row) == 1; });
}

void BM_Row(benchmark::State& state) {
    const int positions = int(state.range(0));
    TimeRow(state, BuildRowWorld({positions, positions, false}).row);
}
BENCHMARK(BM_Row)->ArgNames({"P"})->Unit(benchmark::kMicrosecond)->Apply([](auto* b) {
    Sizes(b, {{10}, {100}}, {{10}, {100}, {1000}}, {{10}, {100}, {1000}, {10000}});
});

void BM_RowAll(benchmark::State& state) {
    TimeRow(state, BuildRowWorld({int(state.range(0)), int(state.range(1)), true}).row);
}
BENCHMARK(BM_RowAll)->ArgNames({"P", "class"})->Unit(benchmark::kMicrosecond)->Apply([](auto* b) {
    Sizes(b, {{10, 1000}, {100, 1000}}, {{10, 10000}, {100, 10000}, {1000, 10000}},
          {{10, 10000}, {100, 10000}, {1000, 10000}, {10000, 10000}});
});

void BM_RowList(benchmark::State& state) {
    TimeRow(state, BuildRowWorld({100, int(state.range(0)), false}).row);
}
BENCHMARK(BM_RowList)->ArgNames({"L"})->Unit(benchmark::kMicrosecond)->Apply([](auto* b) {
    Sizes(b, {{100}, {1000}}, {{100}, {1000}, {10000}}, {{100}, {1000}, {10000}});
});

const Args kSmallRegistry{{1000}, {3000}}, kQuickRegistry{{1000}, {3000}, {10000}},
    kFullRegistry{{1000}, {3000}, {10000}, {30000}};

void BM_Actv(benchmark::State& state) {
    ActvWorld& w = BuildActvWorld(int(state.range(0)));
    for (auto _ : state) {
        KRMarginalActv actv = memory_host::Actv(w.classId, w.secId);
        if (KRInitMarginalActv(&w.row, &actv) != 1 || KRCalcMarginalActv(&w.row, &actv, 0.0) != 1) {
            state.SkipWithError("actv failed");
            break;
        }
        benchmark::DoNotOptimize(actv);
    }
}
BENCHMARK(BM_Actv)->ArgNames({"S"})->Unit(benchmark::kMicrosecond)->Apply([](auto* b) {
    Sizes(b, kSmallRegistry, kQuickRegistry, kFullRegistry);
});

void BM_NeedIds(benchmark::State& state) {
    ActvWorld& w = BuildActvWorld(int(state.range(0)));
    std::vector<uint32_t> ids(1000);
    for (auto _ : state) {
        int32_t count = int32_t(ids.size());
        if (KRGetNeedClassSecIDs(w.classId, ids.data(), &count) != 1) {
            state.SkipWithError("KRGetNeedClassSecIDs failed");
            break;
        }
        benchmark::DoNotOptimize(count);
    }
}
BENCHMARK(BM_NeedIds)->ArgNames({"S"})->Unit(benchmark::kMicrosecond)->Apply([](auto* b) {
    Sizes(b, kSmallRegistry, kQuickRegistry, kFullRegistry);
});

// Two bindings per iteration: the client of the last section, and a client with none.
void BM_Bind(benchmark::State& state) {
    BindWorld& w = BuildBindWorld(int(state.range(0)));
    for (auto _ : state) {
        if (KRInitMarginalRow(&w.lastClient) != 1 || KRInitMarginalRow(&w.noSection) != 1) {
            state.SkipWithError("KRInitMarginalRow failed");
            break;
        }
    }
}
BENCHMARK(BM_Bind)->ArgNames({"C"})->Unit(benchmark::kMicrosecond)->Apply([](auto* b) {
    Sizes(b, {{100}, {1000}}, {{100}, {1000}, {10000}}, {{100}, {1000}, {10000}});
});

// Each iteration loads the text afresh (the previous load dropped untimed). Memory: the bytes
// the library holds after the load and its highest point during it, both above what it held
// before; longestCallMs: the longest single KRSetDliniFile, all of it under the library lock.
void TimeLoad(benchmark::State& state, const std::string& text) {
    memory_host::MemoryStats& m = memory_host::host().memory;
    int64_t held = 0, peak = 0;
    double longest = 0;
    for (auto _ : state) {
        state.PauseTiming();
        KRCleanupDlifiles();
        const int64_t before = m.liveBytes;
        m.peakLiveBytes = before;
        state.ResumeTiming();
        const Clock::time_point t0 = Clock::now();
        const int32_t loaded = KRSetDliniFile("F1", text.c_str());
        longest = std::max(longest, SecondsSince(t0));
        held = m.liveBytes - before;
        peak = m.peakLiveBytes - before;
        if (loaded != 1) {
            state.SkipWithError("KRSetDliniFile failed");
            break;
        }
    }
    const double bytes = double(text.size());
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size()));
    state.counters["textBytes"] = bytes;
    state.counters["heldBytes"] = double(held);
    state.counters["peakBytes"] = double(peak);
    state.counters["heldPerTextByte"] = double(held) / bytes;
    state.counters["peakPerTextByte"] = double(peak) / bytes;
    state.counters["longestCallMs"] = longest * 1e3;
}

void LoadSizes(benchmark::internal::Benchmark* b) {
    Sizes(b, {{1000}, {2000}}, {{1000}, {3000}, {10000}},
          {{1000}, {3000}, {10000}, {30000}, {100000}});
}

void BM_LoadClients(benchmark::State& state) {
    TimeLoad(state, BuildLoadWorld(TextKind::ClientSections, int(state.range(0))).text);
}
BENCHMARK(BM_LoadClients)->ArgNames({"C"})->Unit(benchmark::kMillisecond)->Apply(LoadSizes);

void BM_LoadList(benchmark::State& state) {
    TimeLoad(state, BuildLoadWorld(TextKind::ListLine, int(state.range(0))).text);
}
BENCHMARK(BM_LoadList)->ArgNames({"K"})->Unit(benchmark::kMillisecond)->Apply(LoadSizes);

void BM_LoadLags(benchmark::State& state) {
    TimeLoad(state, BuildLoadWorld(TextKind::ClientLags, int(state.range(0))).text);
}
BENCHMARK(BM_LoadLags)->ArgNames({"C"})->Unit(benchmark::kMillisecond)->Apply(LoadSizes);

void BM_LoadWeights(benchmark::State& state) {
    TimeLoad(state, BuildLoadWorld(TextKind::SecurityWeights, int(state.range(0))).text);
}
BENCHMARK(BM_LoadWeights)->ArgNames({"N"})->Unit(benchmark::kMillisecond)->Apply(LoadSizes);

// KRAddClass of classes N, N + 1, ... N + 9 (each iteration registers a new one), with 16
// firms of 100 client sections loaded: each registration relinks every firm.
void BM_AddClass(benchmark::State& state) {
    ClassWorld& w = BuildClassWorld(int(state.range(0)) - 1);
    for (auto _ : state) {
        if (AddNextClass(w) != 1) {
            state.SkipWithError("KRAddClass failed");
            break;
        }
    }
}
BENCHMARK(BM_AddClass)
    ->ArgNames({"N"})
    ->Iterations(10)
    ->Unit(benchmark::kMicrosecond)
    ->Apply([](auto* b) {
        Sizes(b, {{50}, {100}}, {{50}, {200}}, {{50}, {100}, {200}, {500}, {1000}});
    });

// One pass over every client of the firm, each row from where the last one's walks stopped.
void BM_Batch(benchmark::State& state) {
    BatchWorld& w = BuildBatchWorld(int(state.range(0)));
    TimeAgainstFloor(state, [&] {
        uint32_t money = 0, sec = 0;
        for (KRMarginalRow& row : w.rows)
            if (KRCalcMarginalRowEx(&row, &money, &sec) != 1) return false;
        return true;
    });
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(w.rows.size()));
}
BENCHMARK(BM_Batch)->ArgNames({"clients"})->Unit(benchmark::kMillisecond)->Apply([](auto* b) {
    Sizes(b, {{1000}}, {{10000}}, {{10000}});
});

} // namespace

BENCHMARK_MAIN();
