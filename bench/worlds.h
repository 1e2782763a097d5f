// Worlds the benchmarks measure: a registry, firm texts and the host's limit records, built
// through the public interface and the memory host from fixed seeds, so every run sees the same
// bytes. One builder per kind of world. The library is one per process, so only the world
// built last is live: a builder asked for the live world again hands it back as it is.
#ifndef KESVAR_BENCH_WORLDS_H
#define KESVAR_BENCH_WORLDS_H

#include <stdint.h>

#include <string>
#include <vector>

#include "kesvar.h"

namespace bench {

// Size sets, chosen by the KESVAR_BENCH_SIZES environment variable: "small" (the default, a
// smoke run of seconds), "quick" or "full" (the whole table, minutes on slow code).
enum class Scale { Small, Quick, Full };
Scale SizeScale();

// Installs the memory host once per process: byte-counting memory hooks, no call log.
void Start();
// Names the world built last, its kind and sizes.
const std::string& LiveWorld();

// Codes used in every world: securities "S0", "S1"...; clients "K0", "K1"...
std::string SecCode(int i);
std::string ClientCode(int i);

// One client ("C1" of firm "F1") with `positions` securities-limit records and one money
// limit. Class "EQ" holds `classSize` securities; the positions are distinct securities drawn
// from it in a shuffled order. The firm's margin list names every security of the class, one
// by one in a shuffled order, or as "EQ=<ALL>" when `all`.
struct RowShape {
    int positions;
    int classSize;
    bool all;
};
struct RowWorld {
    KRMarginalRow row; // bound
};
RowWorld& BuildRowWorld(const RowShape& shape);

// A registry of `securities` securities in classes of 1000 and client "C1" with ten positions
// in the last class; the actv security is the last one registered, held and listed.
struct ActvWorld {
    KRMarginalRow row; // bound and calculated
    uint32_t classId;
    uint32_t secId;
};
ActvWorld& BuildActvWorld(int securities);

// A firm with `sections` client margin sections "[CLK<i>_MARGIN]". Rows of the client of the
// last section and of a client that has none are bound by the benchmark.
struct BindWorld {
    KRMarginalRow lastClient;
    KRMarginalRow noSection;
};
BindWorld& BuildBindWorld(int sections);

// One settings text of one kind, with the registry its codes need.
enum class TextKind {
    ClientSections, // `size` client margin sections of two listed codes each
    ListLine,       // one [LIMITALLOWEDSECURITY] line of `size` registered codes, shuffled
    ClientLags,     // [CLIENTLAG] of `size` clients in shuffled order
    SecurityWeights // [SECURITYWEIGHT] of `size` securities
};
struct LoadWorld {
    std::string text;
};
LoadWorld& BuildLoadWorld(TextKind kind, int size);

// 16 firms of 100 client margin sections each, loaded, whose lists name classes "K0"...
// "K1099"; `classes` classes registered, in order. AddNextClass registers one more.
struct ClassWorld {
    int registered;
};
ClassWorld& BuildClassWorld(int classes);
int32_t AddNextClass(ClassWorld& world);

// `clients` clients of firm "F1", each with one money limit and five positions, the records
// of one client together and the clients in order; every row bound.
struct BatchWorld {
    std::vector<KRMarginalRow> rows;
};
BatchWorld& BuildBatchWorld(int clients);

// The callback floor: the host calls one piece of work makes, taken from the memory host's log,
// made again in a bare loop with the same arguments. A call takes 16 bytes, so the loop reads
// little memory of its own; the strings of the rare find-first and id questions stand apart.
struct HostCall {
    enum Kind : uint8_t { FindMoney, GetMoney, FindSec, GetSec, ParamId, ParamValue } kind;
    int32_t paramId; // ParamValue
    uint32_t a;      // record index (GetMoney, GetSec), classId, or the strings' place in `words`
    uint32_t secId;  // ParamValue
};
struct HostCalls {
    std::vector<HostCall> calls;
    std::vector<std::string> words; // firm, client and code of a find-first; a parameter name
};
template <typename Work> HostCalls RecordCalls(Work work);
HostCalls TakeLoggedCalls(); // parses and clears the log, logging off again
void StartLogging();
double Replay(const HostCalls& calls); // a sum, so the calls are not optimised out
// Processor time of the process so far.
double CpuSeconds();

template <typename Work> HostCalls RecordCalls(Work work) {
    StartLogging();
    work();
    return TakeLoggedCalls();
}

} // namespace bench

#endif
