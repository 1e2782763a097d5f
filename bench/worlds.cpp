#include "worlds.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <time.h>

#include <random>

#include <benchmark/benchmark.h>

#include "scenario/memory_host.h"

namespace bench {

namespace {

using memory_host::host;

// Seeds of the generated worlds: changing one changes the figures.
constexpr uint32_t kRowSeed = 11, kActvSeed = 12, kBindSeed = 13, kLoadSeed = 14, kClassSeed = 15,
                   kBatchSeed = 16;

int Below(std::mt19937& rng, int n) {
    return int(rng() % uint32_t(n));
}

// 0, 1, ..., n - 1 in an order fixed by the generator (Fisher-Yates, so no library's shuffle
// decides the order).
std::vector<int> Shuffled(int n, std::mt19937& rng) {
    std::vector<int> v(n);
    for (int i = 0; i < n; ++i)
        v[i] = i;
    for (int i = n - 1; i > 0; --i)
        std::swap(v[i], v[Below(rng, i + 1)]);
    return v;
}

// The world built last; any other starts from an empty library and host.
std::string liveWorld;

// True when `key` must be built: the library and the host's records are emptied first.
bool Claim(const std::string& key) {
    Start();
    if (key == liveWorld) return false;
    KRCleanup();
    memory_host::Host& h = host();
    h.moneyLimits.clear();
    h.secLimits.clear();
    h.paramValues.clear();
    memory_host::LimitsChanged();
    liveWorld = key;
    return true;
}

void Fail(const char* what) {
    fprintf(stderr, "kesvar_bench: %s failed (last error %d)\n", what, int(KRGetLastError()));
    exit(2);
}

// Registers a class with securities of the given codes, each priced.
void RegisterClass(uint32_t classId, const std::string& code,
                   const std::vector<std::string>& codes) {
    std::vector<memory_host::SecurityDef> secs;
    secs.reserve(codes.size());
    for (size_t i = 0; i < codes.size(); ++i) {
        uint32_t secId = classId * 100000 + uint32_t(i);
        secs.push_back({secId, codes[i], 10});
        double price = 50.0 + double(secId % 997) / 4.0;
        memory_host::SetPrices(classId, secId, price + 0.25, price - 0.25, price - 1.0, price);
    }
    if (memory_host::AddClass(classId, code, secs) != 1) Fail("KRAddClass");
}

std::vector<std::string> SecCodes(int first, int count) {
    std::vector<std::string> codes;
    codes.reserve(count);
    for (int i = first; i < first + count; ++i)
        codes.push_back(SecCode(i));
    return codes;
}

std::string Joined(const std::vector<std::string>& codes) {
    std::string s;
    for (const std::string& c : codes)
        s += (s.empty() ? "" : ",") + c;
    return s;
}

void Load(const char* firm, const std::string& text) {
    if (KRSetDliniFile(firm, text.c_str()) != 1) Fail("KRSetDliniFile");
}

void AddMoney(const std::string& firm, const std::string& client, std::mt19937& rng) {
    double cash = 1e6 + Below(rng, 1000000);
    memory_host::AddMoneyLimit({firm, client, "EQTV", cash, 0, cash, 0, 0, 0});
}

// A position of a few hundred lots, one in eight short.
void AddPosition(const std::string& firm, const std::string& client, const std::string& code,
                 std::mt19937& rng) {
    int32_t open = 1 + Below(rng, 500);
    if (Below(rng, 8) == 0) open = -open;
    int32_t current = open + Below(rng, 21) - 10;
    memory_host::AddSecLimit({firm, client, code, "L01-00000F00", open, 0, current, 0, 0, 0, 0});
}

KRMarginalRow Bound(const std::string& firm, const std::string& client) {
    KRMarginalRow row = memory_host::Row(firm, client);
    if (KRInitMarginalRow(&row) != 1) Fail("KRInitMarginalRow");
    return row;
}

} // namespace

Scale SizeScale() {
    const char* s = getenv("KESVAR_BENCH_SIZES");
    if (s && strcmp(s, "full") == 0) return Scale::Full;
    if (s && strcmp(s, "quick") == 0) return Scale::Quick;
    return Scale::Small;
}

void Start() {
    static bool started = false;
    if (started) return;
    started = true;
    host().logging = false;
    if (memory_host::Install(2, true) != 1) Fail("KRInitEx");
}

const std::string& LiveWorld() {
    return liveWorld;
}

std::string SecCode(int i) {
    return "S" + std::to_string(i);
}

std::string ClientCode(int i) {
    return "K" + std::to_string(i);
}

RowWorld& BuildRowWorld(const RowShape& shape) {
    static RowWorld w;
    if (!Claim("row " + std::to_string(shape.positions) + " " + std::to_string(shape.classSize) +
               (shape.all ? " all" : "")))
        return w;
    std::mt19937 rng(kRowSeed);
    std::vector<std::string> codes = SecCodes(0, shape.classSize);
    RegisterClass(1, "EQ", codes);
    std::string list;
    if (shape.all) {
        list = "<ALL>";
    } else {
        std::vector<std::string> listed;
        for (int i : Shuffled(shape.classSize, rng))
            listed.push_back(codes[i]);
        list = Joined(listed);
    }
    Load("F1", "[LIMITALLOWEDSECURITY]\nEQ=" + list + "\n[GENERAL]\nMAINMARGINCLASSES=EQ\n");
    AddMoney("F1", "C1", rng);
    std::vector<int> held = Shuffled(shape.classSize, rng);
    for (int p = 0; p < shape.positions; ++p)
        AddPosition("F1", "C1", codes[held[p]], rng);
    w.row = Bound("F1", "C1");
    return w;
}

ActvWorld& BuildActvWorld(int securities) {
    static ActvWorld w;
    if (!Claim("actv " + std::to_string(securities))) return w;
    std::mt19937 rng(kActvSeed);
    const int perClass = 1000, classes = (securities + perClass - 1) / perClass;
    std::vector<std::string> last;
    for (int c = 0; c < classes; ++c) {
        int first = c * perClass, count = std::min(perClass, securities - first);
        last = SecCodes(first, count);
        RegisterClass(uint32_t(c + 1), "B" + std::to_string(c), last);
    }
    const std::string cls = "B" + std::to_string(classes - 1);
    w.classId = uint32_t(classes);
    w.secId = w.classId * 100000 + uint32_t(last.size() - 1);
    // The last security, and 99 more of its class, listed; it and nine more held.
    std::vector<int> order = Shuffled(int(last.size()) - 1, rng);
    std::vector<std::string> listed{last.back()}, held{last.back()};
    for (int i = 0; i < 99 && i < int(order.size()); ++i)
        listed.push_back(last[order[i]]);
    for (int i = 0; i < 9 && i < int(order.size()); ++i)
        held.push_back(last[order[i]]);
    Load("F1", "[LIMITALLOWEDSECURITY]\n" + cls + "=" + Joined(listed) + "\n[ASSETSECURITIES]\n" +
                   cls + "=" + Joined(listed) + "\n[RESTSHORTSECURITIES]\n" + cls + "=" +
                   listed[1] + "\n[GENERAL]\nMAINMARGINCLASSES=" + cls + "\n");
    AddMoney("F1", "C1", rng);
    for (const std::string& code : held)
        AddPosition("F1", "C1", code, rng);
    w.row = Bound("F1", "C1");
    if (KRCalcMarginalRow(&w.row) != 1) Fail("KRCalcMarginalRow");
    return w;
}

BindWorld& BuildBindWorld(int sections) {
    static BindWorld w;
    if (!Claim("bind " + std::to_string(sections))) return w;
    std::mt19937 rng(kBindSeed);
    RegisterClass(1, "EQ", SecCodes(0, 100));
    std::string t = "[LIMITALLOWEDSECURITY]\nEQ=" + Joined(SecCodes(0, 10)) +
                    "\n[GENERAL]\nMAINMARGINCLASSES=EQ\n";
    for (int i = 0; i < sections; ++i)
        t += "[CL" + ClientCode(i) + "_MARGIN]\nEQ=" + SecCode(Below(rng, 100)) + "," +
             SecCode(Below(rng, 100)) + "\n";
    t += "[CLIENTLAG]\n";
    for (int i = 0; i < 100; ++i)
        t += ClientCode(Below(rng, sections)) + "=2\n";
    Load("F1", t);
    w.lastClient = memory_host::Row("F1", ClientCode(sections - 1));
    w.noSection = memory_host::Row("F1", "Z1");
    return w;
}

LoadWorld& BuildLoadWorld(TextKind kind, int size) {
    static LoadWorld w;
    if (!Claim("load " + std::to_string(int(kind)) + " " + std::to_string(size))) return w;
    std::mt19937 rng(kLoadSeed);
    std::string& t = w.text;
    t.clear();
    switch (kind) {
    case TextKind::ClientSections:
        RegisterClass(1, "EQ", SecCodes(0, 100));
        t = "[LIMITALLOWEDSECURITY]\nEQ=" + Joined(SecCodes(0, 10)) +
            "\n[GENERAL]\nMAINMARGINCLASSES=EQ\n";
        for (int i = 0; i < size; ++i)
            t += "[CL" + ClientCode(i) + "_MARGIN]\nEQ=" + SecCode(Below(rng, 50)) + "," +
                 SecCode(50 + Below(rng, 50)) + "\n";
        break;
    case TextKind::ListLine: {
        std::vector<std::string> codes = SecCodes(0, size);
        RegisterClass(1, "EQ", codes);
        std::vector<std::string> listed;
        listed.reserve(size);
        for (int i : Shuffled(size, rng))
            listed.push_back(codes[i]);
        t = "[LIMITALLOWEDSECURITY]\nEQ=" + Joined(listed) + "\n";
        break;
    }
    case TextKind::ClientLags:
        RegisterClass(1, "EQ", SecCodes(0, 100));
        t = "[CLIENTLAG]\n";
        for (int i : Shuffled(size, rng))
            t += ClientCode(i) + (Below(rng, 2) ? "=2\n" : "=1\n");
        break;
    case TextKind::SecurityWeights:
        RegisterClass(1, "EQ", SecCodes(0, 100));
        t = "[SECURITYWEIGHT]\n";
        for (int i = 0; i < size; ++i)
            t += SecCode(i) + "=0." + std::to_string(5 + Below(rng, 5)) + ",1." +
                 std::to_string(Below(rng, 10)) + "\n";
        break;
    }
    return w;
}

namespace {
constexpr int kClassFirms = 16, kClassClients = 100, kClassCodes = 1100, kClassSecurities = 5;

std::string ClassCode(int c) {
    return "K" + std::to_string(c);
}

// Classes named by the firms' lists: spread over the codes, so some wait for later classes.
std::string ClassFirmText(int firm, std::mt19937& rng) {
    auto pick = [&] { return ClassCode(Below(rng, kClassCodes)); };
    std::string t = "[LIMITALLOWEDSECURITY]\n";
    for (int j = 0; j < 3; ++j)
        t += pick() + "=<ALL>\n";
    for (int j = 0; j < 3; ++j) {
        std::string c = pick();
        t += c + "=" + c + "S0," + c + "S1\n";
    }
    t += "[ASSETSECURITIES]\n" + pick() + "=<ALL>\n" + pick() + "=<ALL>\n";
    t += "[GENERAL]\nMAINMARGINCLASSES=" + pick() + "," + pick() + "," + pick() + "\n";
    for (int j = 0; j < kClassClients; ++j) {
        std::string c = pick();
        t += "[CL" + ClientCode(firm * kClassClients + j) + "_MARGIN]\n" + c + "=" + c + "S0," + c +
             "S2\n" + pick() + "_ASSET=<ALL>\n";
    }
    return t;
}
} // namespace

ClassWorld& BuildClassWorld(int classes) {
    static ClassWorld w;
    if (liveWorld != "classes" || w.registered > classes) {
        Claim("classes");
        std::mt19937 rng(kClassSeed);
        for (int f = 0; f < kClassFirms; ++f)
            Load(("F" + std::to_string(f)).c_str(), ClassFirmText(f, rng));
        w.registered = 0;
    }
    while (w.registered < classes)
        if (AddNextClass(w) != 1) Fail("KRAddClass");
    return w;
}

int32_t AddNextClass(ClassWorld& w) {
    const int c = w.registered++;
    std::vector<memory_host::SecurityDef> secs;
    for (int j = 0; j < kClassSecurities; ++j)
        secs.push_back({uint32_t(c * 10 + j + 1), ClassCode(c) + "S" + std::to_string(j), 1});
    return memory_host::AddClass(uint32_t(c + 1), ClassCode(c), secs);
}

BatchWorld& BuildBatchWorld(int clients) {
    static BatchWorld w;
    if (!Claim("batch " + std::to_string(clients))) return w;
    std::mt19937 rng(kBatchSeed);
    const int listed = 200;
    std::vector<std::string> codes = SecCodes(0, listed);
    RegisterClass(1, "EQ", codes);
    Load("F1",
         "[LIMITALLOWEDSECURITY]\nEQ=" + Joined(codes) + "\n[GENERAL]\nMAINMARGINCLASSES=EQ\n");
    w.rows.clear();
    for (int i = 0; i < clients; ++i) {
        const std::string client = ClientCode(i);
        AddMoney("F1", client, rng);
        std::vector<int> held = Shuffled(listed, rng);
        for (int p = 0; p < 5; ++p)
            AddPosition("F1", client, codes[held[p]], rng);
        w.rows.push_back(Bound("F1", client));
    }
    return w;
}

void StartLogging() {
    host().log.clear();
    host().logging = true;
}

HostCalls TakeLoggedCalls() {
    memory_host::Host& h = host();
    h.logging = false;
    HostCalls out;
    out.calls.reserve(h.log.size());
    for (const std::string& line : h.log) {
        // Words split at every space, empty ones kept: "findFirstSec F1 C1 " has an empty code.
        std::vector<std::string> w(1);
        for (char ch : line) {
            if (ch == ' ')
                w.emplace_back();
            else
                w.back().push_back(ch);
        }
        auto number = [&](size_t i) { return uint32_t(strtoul(w.at(i).c_str(), nullptr, 10)); };
        auto words = [&](size_t n) {
            uint32_t at = uint32_t(out.words.size());
            for (size_t i = 1; i <= n; ++i)
                out.words.push_back(w.at(i));
            return at;
        };
        HostCall c{HostCall::GetMoney, 0, 0, 0};
        if (w[0] == "findFirstMoney") {
            c = {HostCall::FindMoney, 0, words(2), 0};
        } else if (w[0] == "getMoney") {
            c = {HostCall::GetMoney, 0, number(1), 0};
        } else if (w[0] == "findFirstSec") {
            c = {HostCall::FindSec, 0, words(3), 0};
        } else if (w[0] == "getSec") {
            c = {HostCall::GetSec, 0, number(1), 0};
        } else if (w[0] == "paramId") {
            c = {HostCall::ParamId, 0, words(1), 0};
        } else if (w[0] == "paramValue") {
            c = {HostCall::ParamValue, int32_t(strtol(w.at(3).c_str(), nullptr, 10)), number(1),
                 number(2)};
        } else {
            fprintf(stderr, "kesvar_bench: unknown host log line '%s'\n", line.c_str());
            exit(2);
        }
        out.calls.push_back(c);
    }
    h.log.clear();
    h.log.shrink_to_fit();
    return out;
}

double Replay(const HostCalls& calls) {
    const std::string* words = calls.words.data();
    double sum = 0;
    uint32_t first = 0;
    for (const HostCall& c : calls.calls) {
        switch (c.kind) {
        case HostCall::FindMoney:
            memory_host::FindFirstMoneyLimit(words[c.a].c_str(), words[c.a + 1].c_str(), "", "",
                                             &first);
            sum += first;
            break;
        case HostCall::GetMoney:
            sum += memory_host::GetMoneyLimit(c.a) != nullptr;
            break;
        case HostCall::FindSec:
            memory_host::FindFirstSecLimit(words[c.a].c_str(), words[c.a + 1].c_str(),
                                           words[c.a + 2].c_str(), "", &first);
            sum += first;
            break;
        case HostCall::GetSec:
            sum += memory_host::GetSecLimit(c.a) != nullptr;
            break;
        case HostCall::ParamId:
            sum += memory_host::GetParamId(words[c.a].c_str());
            break;
        case HostCall::ParamValue:
            sum += memory_host::GetParamValue(c.a, c.secId, c.paramId);
            break;
        }
    }
    return sum;
}

double CpuSeconds() {
    timespec t;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

} // namespace bench
