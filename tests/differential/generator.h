// Seeded worlds for the cross-target differential. Everything here must draw the same numbers
// and build the same bytes from the same seed on every target and C runtime: our own PRNG, no
// std distributions, doubles from bit patterns or integer ratios, numbers in settings texts
// written from integers, no unordered containers. Function arguments are evaluated in an
// unspecified order, so no call takes two draws among its arguments; braced lists are
// evaluated left to right and may.
#ifndef KESVAR_TESTS_DIFFERENTIAL_GENERATOR_H
#define KESVAR_TESTS_DIFFERENTIAL_GENERATOR_H

#include <stdint.h>
#include <string.h>

#include <map>
#include <numeric>
#include <string>
#include <vector>

#include "scenario/memory_host.h"

namespace differential {

// splitmix64.
struct Rng {
    uint64_t state;
    uint32_t Below(size_t n) {
        uint64_t z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return uint32_t((z ^ (z >> 31)) % n);
    }
    bool Percent(uint32_t p) { return Below(100) < p; }
    template <class T> const T& Pick(const std::vector<T>& v) { return v[Below(v.size())]; }
};

inline std::string Cat(std::initializer_list<std::string> parts) {
    return std::accumulate(parts.begin(), parts.end(), std::string());
}

template <class To, class From> To BitCast(const From& from) {
    To to;
    memcpy(&to, &from, sizeof to);
    return to;
}

// The output file: "KSVDIFF1", then the interface version, first and last seed (u32 each);
// then one record per call and per output of a call: seed and the call's number within the
// seed (u32 each), a kind letter, the label (u32 length, then the export and its arguments;
// empty for outputs) and the payload (u32 size, then the bytes). Kinds: C result and last
// error; R row and A actv bytes up to their size tag; M margin list (count, then per class its
// id, security count, code field and per security its id and code field); I needed ids (count,
// then the array up to its capacity); O class and security id written by a list question; X
// start indexes handed back by KRCalcMarginalRowEx. Numbers are in the target's byte order,
// little-endian on every target here.
struct Recorder {
    uint32_t seed = 0, call = 0;
    std::string bytes;
    // Export (or figure) -> result * 100 + last error (or value) -> how often.
    std::map<std::string, std::map<int32_t, int64_t>> codes;

    void Put32(uint32_t v) { bytes.append(reinterpret_cast<const char*>(&v), 4); }
    // A call record numbers a new call; the outputs recorded after it share its number.
    void Record(char kind, const std::string& label, const void* payload, size_t size) {
        Put32(seed);
        Put32(kind == 'C' ? ++call : call);
        bytes += kind;
        Put32(uint32_t(label.size()));
        bytes += label;
        Put32(uint32_t(size));
        bytes.append(static_cast<const char*>(payload), size);
    }
    // Records an export's result with the last error it left, then the output the call wrote
    // when one is given (size tags of rows and actvs are the host's: the library leaves them).
    int32_t Call(const char* name, const std::string& args, int32_t result, char outKind = 0,
                 const void* out = nullptr, size_t outSize = 0) {
        const int32_t answer[2] = {result, KRGetLastError()};
        ++codes[name][result * 100 + answer[1]];
        Record('C', Cat({name, " ", args}), answer, sizeof answer);
        if (outKind) Record(outKind, "", out, outSize);
        return result;
    }
};

// One security the driver asks about: registered, skipped with its class, or unknown.
struct Security {
    uint32_t classId, secId;
    std::string code, classCode;
};

// What the driver asks about once the world is built.
struct World {
    std::vector<std::string> firms, clients, tags;
    std::vector<Security> secs;
    std::vector<uint32_t> classIds;
};

// Registers classes and loads settings texts in a random interleaving (recording each call),
// then gives the host its limits and prices.
World BuildWorld(Rng& r, Recorder& rec);
// Registers a few more classes once rows are bound: lists waiting for them resolve, and the
// firms' class orders take them in.
void AddLateClasses(Rng& r, World& w, Recorder& rec);
// Loads the firm's settings: a text using every section, with the mistakes a host's file may
// hold. Returns KRSetDliniFile's result.
int32_t LoadSettings(Rng& r, const World& w, Recorder& rec, const std::string& firm);
// A host value: mostly an inexact fraction below maxNumerator / 1, sometimes 0, negative,
// next to the 1e-8 threshold of an absent price, NaN, infinite, subnormal or huge.
double Value(Rng& r, uint32_t maxNumerator);

} // namespace differential

#endif
