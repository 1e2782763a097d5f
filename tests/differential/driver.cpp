// Cross-target differential: runs a range of seeded worlds through the exports and writes
// every result, last error and output record to one file. The files of x86-64 Linux, 32-bit
// ARM and 64-bit Windows must be byte-identical (tests/differential/compare.py,
// scripts/stages/45-differential.sh).
// Row handles (the binding field) stay in the output: the library's handle counter runs the
// same way on every target, so a range gives the same handles everywhere.
// Usage: kesvar_differential VERSION FIRST-LAST FILE
#include <stdio.h>

#include "generator.h"

namespace {

using namespace differential;
using namespace memory_host;

const uint32_t kUnwritten = 0xEEEEEEEEu; // out values the library must leave alone keep this
const uint32_t kRowSizes[] = {KR_ROW_SIZE_280, KR_ROW_SIZE_272, KR_ROW_SIZE_264, KR_ROW_SIZE_248};

// Every field of the margin list a host may read: counts, ids and whole code fields.
int32_t KR_CALL MarginSecs(const KRMarginClassEntry* entries, uint32_t count, uintptr_t user) {
    std::string& out = *reinterpret_cast<std::string*>(user);
    out.append(reinterpret_cast<const char*>(&count), 4);
    for (const KRMarginClassEntry* e = entries; e < entries + count; ++e) {
        out.append(reinterpret_cast<const char*>(&e->classId), 8); // and the security count
        out.append(e->code, sizeof e->code);
        for (int32_t j = 0; j < e->secCount; ++j)
            out.append(reinterpret_cast<const char*>(&e->secs[j]), sizeof e->secs[j]);
    }
    return 0;
}

// Binds and calculates a row (a stale one calculated first), then asks about a few securities
// and the margin list.
void AskRow(Rng& r, const World& w, Recorder& rec, KRMarginalRow& row, bool stale = false) {
    const std::string who = Cat({row.firmId, "/", row.clientCode, " ", std::to_string(row.size)});
    if (stale)
        rec.Call("KRCalcMarginalRow", who + " again", KRCalcMarginalRow(&row), 'R', &row, row.size);
    rec.Call("KRInitMarginalRow", who, KRInitMarginalRow(&row), 'R', &row, row.size);
    if (row.binding) ++rec.codes["row creditLag2"][row.creditLag2];
    // Now and then the Ex form, its start indexes anywhere: a client's first record, inside a
    // run, past the end; either may be left out.
    const bool ex = r.Percent(30);
    uint32_t index[2] = {r.Below(host().moneyLimits.size() + 2),
                         r.Below(host().secLimits.size() + 2)};
    uint32_t* starts[2] = {r.Percent(70) ? &index[0] : nullptr,
                           r.Percent(70) ? &index[1] : nullptr};
    rec.Call(ex ? "KRCalcMarginalRowEx" : "KRCalcMarginalRow", who,
             ex ? KRCalcMarginalRowEx(&row, starts[0], starts[1]) : KRCalcMarginalRow(&row), 'R',
             &row, row.size);
    if (ex) rec.Record('X', "", index, sizeof index);
    if (row.binding) ++rec.codes["row leverageGiven"][row.leverageGiven];
    for (uint32_t n = r.Below(5); n > 0; --n) {
        const Security& s = r.Pick(w.secs);
        KRMarginalActv actv = Actv(s.classId, s.secId, r.Percent(50) ? KR_ACTV_SIZE_56 : 48);
        const std::string what = Cat({who, " ", std::to_string(s.classId), "/",
                                      std::to_string(s.secId), " ", std::to_string(actv.size)});
        rec.Call("KRInitMarginalActv", what, KRInitMarginalActv(&row, &actv), 'A', &actv,
                 actv.size);
        for (uint32_t k = 1 + r.Below(2); k > 0; --k) {
            // 0: the market's offer and bid; else the host's price, bad ones included.
            const double price = r.Percent(40) ? 0.0 : Value(r, 2000000);
            // The label names the price by its bits, the same text on every C runtime.
            if (rec.Call("KRCalcMarginalActv",
                         Cat({what, " at bits ", std::to_string(BitCast<uint64_t>(price))}),
                         KRCalcMarginalActv(&row, &actv, price), 'A', &actv, actv.size))
                ++rec.codes["actv maxBuy, maxSell > 0"]
                           [(actv.maxBuy > 0) * 10 + (actv.maxSell > 0)];
        }
        for (bool asset : {false, true}) {
            uint32_t ids[2] = {kUnwritten, kUnwritten};
            const auto ask = asset ? KRIsAssetSeccode : KRIsMarginSeccode;
            rec.Call(asset ? "KRIsAssetSeccode" : "KRIsMarginSeccode", Cat({who, " ", s.code}),
                     ask(&row, s.code.c_str(), &ids[0], &ids[1]), 'O', ids, sizeof ids);
        }
    }
    std::string list;
    rec.Call("KRGetMarginSecs", who,
             KRGetMarginSecs(&row, MarginSecs, reinterpret_cast<uintptr_t>(&list)));
    rec.Record('M', "", list.data(), list.size());
}

void Ask(Rng& r, World& w, Recorder& rec) {
    std::vector<KRMarginalRow> rows;
    for (const std::string& firm : w.firms) {
        rec.Call("KRIsLimitsInLots", firm, KRIsLimitsInLots(firm.c_str()));
        for (const std::string& tag : w.tags)
            rec.Call("KRIsBoardTagApplicable", Cat({firm, " ", tag}),
                     KRIsBoardTagApplicable(firm.c_str(), tag.c_str()));
        for (const std::string& client : w.clients) {
            rows.push_back(Row(firm, client, kRowSizes[r.Below(4)]));
            AskRow(r, w, rec, rows.back());
        }
    }
    for (uint32_t classId : w.classIds) {
        static const int32_t kCapacities[] = {0, 1, 2, 5, 64, -1};
        std::vector<uint32_t> ids(65, kUnwritten); // the count, then the array
        int32_t capacity = kCapacities[r.Below(6)], count = capacity;
        rec.Call("KRGetNeedClassSecIDs", std::to_string(classId) + " " + std::to_string(capacity),
                 KRGetNeedClassSecIDs(classId, &ids[1], &count));
        ids[0] = uint32_t(count);
        rec.Record('I', "", ids.data(), 4 * size_t(1 + (capacity > 0 ? capacity : 0)));
    }
    // Classes registered late change what the bound rows see.
    if (r.Percent(40)) {
        AddLateClasses(r, w, rec);
        for (uint32_t n = r.Below(3); n > 0; --n)
            AskRow(r, w, rec, rows[r.Below(rows.size())]);
    }
    // Reloaded or dropped settings leave the rows bound to them stale until bound again.
    if (r.Percent(50))
        LoadSettings(r, w, rec, r.Pick(w.firms));
    else
        rec.Call("KRCleanupDlifiles", "", KRCleanupDlifiles());
    for (uint32_t n = r.Below(3); n > 0; --n)
        AskRow(r, w, rec, rows[r.Below(rows.size())], true);
}

// Answers a long range must reach (export, then result * 100 + last error), or the
// generator has lost its reach and the agreement of the files proves little.
const std::pair<const char*, int32_t> kReached[] = {
    {"KRAddClass", 104},         {"KRSetDliniFile", 2},           {"KRInitMarginalRow", 5},
    {"KRCalcMarginalRow", 2},    {"KRCalcMarginalRowEx", 100},    {"KRInitMarginalActv", 7},
    {"KRCalcMarginalActv", 8},   {"KRIsMarginSeccode", 100},      {"KRIsAssetSeccode", 100},
    {"KRGetNeedClassSecIDs", 3}, {"KRGetNeedClassSecIDs", 7},     {"KRIsLimitsInLots", 0},
    {"row creditLag2", 1},       {"actv maxBuy, maxSell > 0", 11}};

} // namespace

int main(int argc, char** argv) {
    uint32_t version = 0, first = 0, last = 0;
    if (argc != 4 || sscanf(argv[1], "%u", &version) != 1 ||
        sscanf(argv[2], "%u-%u", &first, &last) != 2 || first > last) {
        fprintf(stderr, "usage: kesvar_differential VERSION FIRST-LAST FILE\n");
        return 2;
    }
    std::string path = argv[3];
#ifdef _WIN32
    if (!path.empty() && path[0] == '/') path = "Z:" + path; // wine maps / to drive Z:
#endif
    FILE* file = fopen(path.c_str(), "wb");
    if (!file || Install(int32_t(version)) != 1) {
        fprintf(stderr, "cannot write %s or start interface version %u\n", path.c_str(), version);
        return 2;
    }
    Recorder rec{0, 0, "KSVDIFF1", {}};
    for (uint32_t v : {version, first, last})
        rec.Put32(v);
    size_t total = 0;
    for (uint64_t seed = first; seed <= last; ++seed) {
        rec.seed = uint32_t(seed), rec.call = 0;
        Reset();
        host().version = int32_t(version);
        Rng r{seed};
        World w = BuildWorld(r, rec);
        Ask(r, w, rec);
        rec.Call("KRCleanup", "", KRCleanup());
        if (host().memory.live != 0) {
            fprintf(stderr, "seed %u leaks %lld blocks\n", rec.seed, (long long)host().memory.live);
            return 1;
        }
        total += fwrite(rec.bytes.data(), 1, rec.bytes.size(), file);
        rec.bytes.clear();
    }
    if (fclose(file) != 0) return 2;

    printf("seeds %u-%u, version %u: %zu bytes; answers (result*100+last error), figures:\n", first,
           last, version, total);
    for (const auto& e : rec.codes) {
        printf("  %-26s", e.first.c_str());
        for (const auto& c : e.second)
            printf(" %d:%lld", c.first, (long long)c.second);
        printf("\n");
    }
    int missing = 0;
    for (const auto& want : kReached)
        if (last - first >= 99 && rec.codes[want.first][want.second] == 0) {
            fprintf(stderr, "never reached: %s %d\n", want.first, want.second);
            ++missing;
        }
    return missing ? 1 : 0;
}
