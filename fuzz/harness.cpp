// Bodies of the fuzz targets. The library's state is process-wide and initialisation is
// one-way, so the library is initialised once per process and every input starts from
// KRCleanup and a fresh memory host. A broken invariant prints what broke and aborts, which
// libFuzzer reports as a crash and the replayer as a failed test.
#include "harness.h"

#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <memory>
#include <string>
#include <vector>

#include "scenario/memory_host.h"
#include "scenario.h"

namespace kfuzz {

namespace {

[[noreturn]] void Fail(const char* format, ...) {
    va_list args;
    va_start(args, format);
    fprintf(stderr, "kesvar fuzz: ");
    vfprintf(stderr, format, args);
    fprintf(stderr, "\n");
    va_end(args);
    abort();
}

#define KFUZZ_CHECK(cond, ...)                                                                     \
    do {                                                                                           \
        if (!(cond)) Fail(__VA_ARGS__);                                                            \
    } while (0)

// Consumes the input front to back; past its end every read gives zeros.
class Reader {
  public:
    Reader(const uint8_t* data, size_t size) : p_(data), n_(size) {}
    bool Empty() const { return n_ == 0; }
    uint8_t Byte() {
        if (n_ == 0) return 0;
        --n_;
        return *p_++;
    }
    void Bytes(void* dst, size_t k) {
        size_t take = k < n_ ? k : n_;
        if (take) memcpy(dst, p_, take);
        memset(static_cast<uint8_t*>(dst) + take, 0, k - take);
        p_ += take;
        n_ -= take;
    }
    template <class T> T Value() {
        T v;
        Bytes(&v, sizeof v);
        return v;
    }
    // A length-prefixed run of bytes, at most `max` long.
    std::string Text(size_t max) {
        size_t len = Value<uint16_t>() % (max + 1);
        if (len > n_) len = n_;
        std::string s(reinterpret_cast<const char*>(p_), len);
        p_ += len;
        n_ -= len;
        return s;
    }

  private:
    const uint8_t* p_;
    size_t n_;
};

const world::Depth kDepth = world::Depth::Quick;

void CheckNoLeaks(const char* where) {
    const memory_host::MemoryStats& m = memory_host::host().memory;
    KFUZZ_CHECK(m.live == 0, "%s: %lld blocks still live after KRCleanup", where,
                static_cast<long long>(m.live));
    KFUZZ_CHECK(m.foreignFrees == 0, "%s: %lld frees of blocks the hooks never gave", where,
                static_cast<long long>(m.foreignFrees));
}

void EnsureInitialised() {
    static bool done = false;
    if (done) return;
    // KESVAR_FUZZ_VERSION=1 runs a whole process under interface version 1 (88-byte money
    // limits, so a read of the leverage field is caught).
    const char* v = getenv("KESVAR_FUZZ_VERSION");
    int32_t version = v && atoi(v) == 1 ? 1 : 2;
    KFUZZ_CHECK(memory_host::Install(version, true) == 1, "KRInitEx failed: %d", KRGetLastError());
    done = true;
}

// Every input starts from an empty library and a fresh host of the same version.
void Begin() {
    EnsureInitialised();
    int32_t version = memory_host::host().version;
    KFUZZ_CHECK(KRCleanup() == 1, "KRCleanup refused");
    CheckNoLeaks("start");
    memory_host::Reset();
    memory_host::host().version = version;
}

void End() {
    KFUZZ_CHECK(KRCleanup() == 1, "KRCleanup refused");
    CheckNoLeaks("end");
    memory_host::host().log.clear();
}

void Load(const char* firm, const std::string& text) {
    int32_t result = KRSetDliniFile(firm, text.c_str());
    int32_t code = KRGetLastError();
    KFUZZ_CHECK(result == 1 && code == KR_ERR_NONE, "KRSetDliniFile(%s) = %d, code %d", firm,
                result, code);
}

void CheckEqual(const std::string& a, const std::string& b, const char* what) {
    if (a == b) return;
    size_t at = 0;
    while (at < a.size() && at < b.size() && a[at] == b[at])
        ++at;
    Fail("%s: observations differ at byte %zu of %zu/%zu", what, at, a.size(), b.size());
}

// Client names the text gives its own margin sections and templates, so the rows reach them.
std::vector<std::string> ClientsNamedIn(const std::string& text) {
    std::vector<std::string> names;
    auto add = [&](std::string name) {
        while (!name.empty() && (name.back() == ' ' || name.back() == '\r'))
            name.pop_back();
        while (!name.empty() && name.front() == ' ')
            name.erase(0, 1);
        if (!name.empty() && name.back() == '*') name.back() = '7'; // a code under the prefix
        if (name.empty() || name.size() > 12 || names.size() >= 6) return;
        names.push_back(name);
    };
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(pos, end - pos);
        pos = end + 1;
        std::string upper = line;
        for (char& c : upper)
            if (c >= 'a' && c <= 'z') c = char(c - 32);
        size_t cl = upper.find("[CL");
        size_t margin = upper.find("_MARGIN");
        if (cl != std::string::npos && margin != std::string::npos && margin > cl + 3 &&
            upper.find("_MARGIN_TEMPLATE") == std::string::npos) {
            add(line.substr(cl + 3, margin - cl - 3));
        } else if (upper.compare(0, 8, "CLIENTS=") == 0) {
            std::string list = line.substr(8);
            size_t p = 0;
            while (p <= list.size()) {
                size_t comma = list.find(',', p);
                if (comma == std::string::npos) comma = list.size();
                add(list.substr(p, comma - p));
                p = comma + 1;
            }
        }
    }
    return names;
}

} // namespace

int SettingsInput(const uint8_t* data, size_t size) {
    Begin();
    std::string input(reinterpret_cast<const char*>(data), size);
    size_t nul = input.find('\0');
    std::string first = input.substr(0, nul);
    std::string second = nul == std::string::npos ? first : input.substr(nul + 1);
    second = second.substr(0, second.find('\0'));

    std::vector<std::string> clients = world::Firms()[0].clients;
    std::vector<std::string> extra = ClientsNamedIn(first);
    clients.insert(clients.end(), extra.begin(), extra.end());
    std::vector<std::string> secondClients = world::Firms()[1].clients;
    world::AddHostData(extra);
    const std::vector<world::SecRef> secs = world::Securities();

    // Classes first, then the texts.
    KFUZZ_CHECK(world::RegisterClasses() == 4, "a class was refused");
    Load("F1", first);
    Load("F2", second);
    KRMarginalRow bound = memory_host::Row("F1", clients[0]);
    KFUZZ_CHECK(KRInitMarginalRow(&bound) == 1, "binding C1 failed: %d", KRGetLastError());
    std::string before = world::Observe("F1", clients, secs, kDepth);
    before += world::Observe("F2", secondClients, secs, kDepth);

    // A reload of the same text changes nothing a host can see, except that old rows go stale.
    Load("F1", first);
    KFUZZ_CHECK(KRCalcMarginalRow(&bound) == 0 && KRGetLastError() == KR_ERR_ARGUMENT,
                "a row bound before the reload was not refused");
    std::string reloaded = world::Observe("F1", clients, secs, kDepth);
    reloaded += world::Observe("F2", secondClients, secs, kDepth);
    CheckEqual(before, reloaded, "reload of the same text");

    // The texts first, then the classes: the relinks must reach the same state.
    KFUZZ_CHECK(KRCleanup() == 1, "KRCleanup refused");
    CheckNoLeaks("after the first order");
    Load("F1", first);
    Load("F2", second);
    KFUZZ_CHECK(world::RegisterClasses() == 4, "a class was refused after the texts");
    std::string after = world::Observe("F1", clients, secs, kDepth);
    after += world::Observe("F2", secondClients, secs, kDepth);
    CheckEqual(before, after, "settings loaded before the classes");

    KFUZZ_CHECK(KRCleanupDlifiles() == 1, "KRCleanupDlifiles refused");
    KRMarginalRow row = memory_host::Row("F1", clients[0]);
    KFUZZ_CHECK(KRInitMarginalRow(&row) == 0 && KRGetLastError() == KR_ERR_NO_SETTINGS,
                "a firm survived KRCleanupDlifiles");
    End();
    return 0;
}

namespace {

const char* const kClassCodes[] = {"TQBR", "EQOB", "SPBXM", "TQTF", "X", "ABCDEFGHIJKL"};
const char* const kSecCodes[] = {"SBER",
                                 "GAZP",
                                 "LKOH",
                                 "AAPL",
                                 "NOPRICE",
                                 "SU26207RMFS9",
                                 "CODE19CHARSXXXXXXXX",
                                 "LONGCODE16CHARS0",
                                 "sber",
                                 ""};
const char* const kFirms[] = {"F1", "F2", "", "ABCDEFGHIJKL", "ABCDEFGHIJKLM"};

template <size_t N> const char* Pick(const char* const (&table)[N], uint8_t b) {
    return table[b % N];
}

// Writes `s` into a fixed field, NUL-padded.
void PutField(char* field, size_t width, const char* s) {
    memset(field, 0, width);
    size_t n = strlen(s);
    memcpy(field, s, n < width ? n : width - 1);
}

struct Added {
    std::vector<world::SecRef> secs;
};

void AddFuzzedClass(Reader& in, uint8_t op, Added& added) {
    // Exactly-sized blocks, so any read past a record is caught.
    std::unique_ptr<KRClass, decltype(&free)> cls(static_cast<KRClass*>(malloc(sizeof(KRClass))),
                                                  &free);
    in.Bytes(cls.get(), sizeof(KRClass));
    if (op & 0x10) cls->flags &= ~KR_CLASS_SKIP_MASK;
    if (op & 0x20) PutField(cls->code, sizeof cls->code, Pick(kClassCodes, in.Byte()));
    int32_t n = cls->secCount;
    if (n > 0) n = 1 + n % 5;
    cls->secCount = n;
    size_t bytes = n > 0 ? size_t(n) * sizeof(KRSecurity) : 0;
    std::unique_ptr<KRSecurity, decltype(&free)> secs(
        static_cast<KRSecurity*>(malloc(bytes ? bytes : 1)), &free);
    in.Bytes(secs.get(), bytes);
    for (int32_t i = 0; i < n; ++i)
        if (op & 0x40) PutField(secs.get()[i].code, 20, Pick(kSecCodes, in.Byte()));

    int32_t result = KRAddClass(cls.get(), secs.get());
    int32_t code = KRGetLastError();
    KFUZZ_CHECK(result == 1 && (code == KR_ERR_NONE || code == KR_ERR_CLASS_EXISTS),
                "KRAddClass = %d, code %d", result, code);
    bool skipped = (cls->flags & KR_CLASS_SKIP_MASK) != 0;
    if (skipped) KFUZZ_CHECK(code == KR_ERR_NONE, "a skipped class answered code %d", code);
    if (skipped || code != KR_ERR_NONE) return;
    uint32_t ids[4];
    int32_t count = 4;
    KRGetNeedClassSecIDs(cls->classId, ids, &count);
    KFUZZ_CHECK(KRGetLastError() != KR_ERR_NOT_FOUND, "class %u registered but not found",
                cls->classId);
    for (int32_t i = 0; i < n && added.secs.size() < 12; ++i) {
        const KRSecurity& s = secs.get()[i];
        added.secs.push_back({cls->classId, s.secId, std::string(s.code, strnlen(s.code, 20))});
    }
}

} // namespace

int ClassesInput(const uint8_t* data, size_t size) {
    Begin();
    world::AddHostData();
    Reader in(data, size);
    Added added;
    for (int ops = 0; !in.Empty() && ops < 48; ++ops) {
        uint8_t op = in.Byte();
        switch (op % 8) {
        case 0:
        case 1:
            AddFuzzedClass(in, op, added);
            break;
        case 2: {
            const char* firm = Pick(kFirms, in.Byte());
            std::string text = in.Text(2048);
            int32_t result = KRSetDliniFile(firm, text.c_str());
            if (strlen(firm) <= 12)
                KFUZZ_CHECK(result == 1, "KRSetDliniFile = %d, code %d", result, KRGetLastError());
            else
                KFUZZ_CHECK(result == 0 && KRGetLastError() == KR_ERR_ARGUMENT,
                            "a 13-character firm key was accepted");
            break;
        }
        case 3:
            Load(op & 0x10 ? "F2" : "F1", op & 0x20 ? world::SecondFirmText() : world::FirmText());
            break;
        case 4:
            KFUZZ_CHECK(KRCleanupDlifiles() == 1, "KRCleanupDlifiles refused");
            break;
        case 5:
            KFUZZ_CHECK(KRCleanup() == 1, "KRCleanup refused");
            added.secs.clear();
            break;
        case 6: {
            std::vector<world::SecRef> secs = added.secs;
            if (op & 0x10) {
                std::vector<world::SecRef> w = world::Securities();
                secs.insert(secs.end(), w.begin(), w.end());
            }
            world::Observe(op & 0x20 ? "F2" : "F1", {"C1", "VIP01", "Q7", "T1", "C9"}, secs,
                           kDepth);
            break;
        }
        case 7:
            world::RegisterClasses();
            break;
        }
        memory_host::host().log.clear();
    }
    End();
    return 0;
}

namespace {

const char* const kTags[] = {"TQBR", "EQOB", "B1", "R1", "XXXX", "tqbr", ""};
const char* const kAccounts[] = {"ACC0", "ACC1", "ACC2", "ACC3", "", "acc1"};
const char* const kLimitCodes[] = {"SBER",         "GAZP",         "LKOH", "NOPRICE",
                                   "SU26207RMFS9", "RU000A0JX0J2", "AAPL", "UNKN",
                                   "LONGCODE16CH", "CODE19CHARSX", "sber"};
const char* const kParams[] = {"OFFER", "BID", "PREVPRICE", "LAST", "ACCRUEDINT"};

// Writes `s` into a field of a raw record without touching the bytes after its NUL.
void PutRaw(uint8_t* base, size_t offset, size_t width, const char* s) {
    size_t n = strlen(s);
    if (n > width - 1) n = width - 1;
    memcpy(base + offset, s, n);
    base[offset + n] = 0;
}

// A heap block of exactly `size` bytes holding the first `size` bytes of `record`.
template <class T> std::unique_ptr<uint8_t[]> Exact(const T& record, size_t size) {
    std::unique_ptr<uint8_t[]> p(new uint8_t[size]);
    memcpy(p.get(), &record, size);
    return p;
}

} // namespace

int HostAnswersInput(const uint8_t* data, size_t size) {
    Begin();
    memory_host::Host& h = memory_host::host();
    Reader in(data, size);

    // The registry, with lot sizes and face values from the input.
    for (const world::ClassDef& c : world::Classes()) {
        std::vector<memory_host::SecurityDef> secs = c.secs;
        for (memory_host::SecurityDef& s : secs) {
            uint8_t ctl = in.Byte();
            if (ctl & 1) s.lotSize = in.Value<int32_t>();
            if (ctl & 2) s.faceValue = in.Value<double>();
        }
        uint32_t flags = c.flags ^ (in.Byte() & KR_CLASS_FACE_VALUE);
        KFUZZ_CHECK(memory_host::AddClass(c.id, c.code, secs, flags, c.valueUnlisted) == 1,
                    "class %s refused", c.code.c_str());
    }
    Load("F1", world::FirmText());
    Load("F2", world::SecondFirmText());

    // Money limits: raw records with some fields set to what the walk compares.
    const size_t moneySize = h.version == 1 ? 88 : 96;
    for (int n = in.Byte() % 8; n > 0; --n) {
        std::unique_ptr<uint8_t[]> r(new uint8_t[moneySize]);
        in.Bytes(r.get(), moneySize);
        uint8_t ctl = in.Byte();
        if (ctl & 1) PutRaw(r.get(), 14, 13, ctl & 8 ? "F2" : "F1");
        if (ctl & 2) PutRaw(r.get(), 27, 13, "C1");
        if (ctl & 4) PutRaw(r.get(), 9, 5, Pick(kTags, in.Byte()));
        h.moneyLimits.push_back(std::move(r));
    }
    // Securities limits: 88 bytes even under version 2, where the host declares 96 but the
    // library reads nothing past offset 87.
    for (int n = in.Byte() % 12; n > 0; --n) {
        std::unique_ptr<uint8_t[]> r(new uint8_t[88]);
        in.Bytes(r.get(), 88);
        uint8_t ctl = in.Byte();
        if (ctl & 1) PutRaw(r.get(), 30, 13, ctl & 16 ? "F2" : "F1");
        if (ctl & 2) PutRaw(r.get(), 43, 13, "C1");
        if (ctl & 4) PutRaw(r.get(), 4, 13, Pick(kLimitCodes, in.Byte()));
        if (ctl & 8) PutRaw(r.get(), 17, 13, Pick(kAccounts, in.Byte()));
        h.secLimits.push_back(std::move(r));
    }
    // Prices: any double, NaN and infinities included; a missing one answers 0.
    const std::vector<world::SecRef> secs = world::Securities();
    for (const world::SecRef& s : secs) {
        uint8_t ctl = in.Byte();
        for (int p = 0; p < 5; ++p)
            if (ctl & (1 << p))
                memory_host::SetParam(s.classId, s.secId, kParams[p], in.Value<double>());
    }

    static const uint32_t kRowSizes[] = {KR_ROW_SIZE_248, KR_ROW_SIZE_264, KR_ROW_SIZE_272,
                                         KR_ROW_SIZE_280};
    for (const char* firm : {"F1", "F2"}) {
        uint32_t rowSize = kRowSizes[in.Byte() % 4];
        std::unique_ptr<uint8_t[]> rowBlock = Exact(memory_host::Row(firm, "C1", rowSize), rowSize);
        KRMarginalRow* row = reinterpret_cast<KRMarginalRow*>(rowBlock.get());
        KFUZZ_CHECK(KRInitMarginalRow(row) == 1, "binding %s/C1 failed", firm);
        uint8_t ctl = in.Byte();
        uint32_t moneyStart = in.Value<uint32_t>(), secStart = in.Value<uint32_t>();
        if (ctl & 4) moneyStart %= uint32_t(h.moneyLimits.size() + 2);
        if (ctl & 8) secStart %= uint32_t(h.secLimits.size() + 2);
        auto calc = [&](std::vector<uint8_t>* bytes) {
            uint32_t m = moneyStart, s = secStart;
            int32_t result =
                KRCalcMarginalRowEx(row, ctl & 1 ? &m : nullptr, ctl & 2 ? &s : nullptr);
            KFUZZ_CHECK(result == 1 && KRGetLastError() == KR_ERR_NONE,
                        "row calculation = %d, code %d", result, KRGetLastError());
            bytes->assign(rowBlock.get(), rowBlock.get() + rowSize);
            bytes->push_back(uint8_t(m));
            bytes->push_back(uint8_t(s));
        };
        std::vector<uint8_t> first, second;
        calc(&first);
        calc(&second);
        KFUZZ_CHECK(first == second, "the same row calculated twice differs (%s)", firm);

        for (const world::SecRef& s : secs) {
            uint8_t actl = in.Byte();
            uint32_t actvSize = actl & 1 ? KR_ACTV_SIZE_48 : KR_ACTV_SIZE_56;
            std::unique_ptr<uint8_t[]> actvBlock =
                Exact(memory_host::Actv(s.classId, s.secId, actvSize), actvSize);
            KRMarginalActv* actv = reinterpret_cast<KRMarginalActv*>(actvBlock.get());
            KFUZZ_CHECK(KRInitMarginalActv(row, actv) == 1, "actv of %s refused: %d",
                        s.code.c_str(), KRGetLastError());
            double price = actl & 2 ? in.Value<double>() : 0.0;
            int32_t result = KRCalcMarginalActv(row, actv, price);
            int32_t code = KRGetLastError();
            if (result == 1) {
                KFUZZ_CHECK(code == KR_ERR_NONE, "actv success with code %d", code);
                KFUZZ_CHECK(actv->maxBuy >= 0 && actv->maxSell >= 0, "%s: maxBuy %d, maxSell %d",
                            s.code.c_str(), actv->maxBuy, actv->maxSell);
            } else {
                KFUZZ_CHECK(code == KR_ERR_NO_PRICE, "actv of %s = 0, code %d", s.code.c_str(),
                            code);
            }
        }
        uint32_t classId, secId;
        KRIsMarginSeccode(row, "SBER", &classId, &secId);
        std::string out;
        KFUZZ_CHECK(
            KRGetMarginSecs(row, world::RecordMarginSecs, reinterpret_cast<uintptr_t>(&out)) == 1,
            "KRGetMarginSecs refused");
        h.log.clear();
    }
    End();
    return 0;
}

Target TargetByName(const char* name) {
    if (strcmp(name, "settings") == 0) return SettingsInput;
    if (strcmp(name, "classes") == 0) return ClassesInput;
    if (strcmp(name, "host_answers") == 0) return HostAnswersInput;
#ifdef KESVAR_FUZZ_TOOLS
    if (strcmp(name, "scenario") == 0) return ScenarioInput;
    if (strcmp(name, "limits_csv") == 0) return LimitsCsvInput;
#endif
    return nullptr;
}

} // namespace kfuzz
