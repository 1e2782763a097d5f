#include "generator.h"

#include <algorithm>
#include <functional>

namespace differential {

using namespace memory_host;

namespace {

using Pool = std::vector<std::string>;

// Codes worlds are drawn from: ordinary ones, small letters (never matched by the upper-cased
// settings), 12 characters (the limit), 13 (cut by the host's fields, dropped by the loader),
// registry codes of 16 and 19 characters. Client section names: clients, prefixes, and a
// template name one past the 100 allowed. Draws repeat codes and values on purpose.
// clang-format off
const Pool kClassCodes = {"TQBR", "TQOB", "SPBXM", "EQDB", "tqbr", "CLASSCODE12X", "CLASSCODE13XY",
    "LATE1", "LATE2"};
const Pool kSecCodes = {"SBER", "GAZP", "LKOH", "AAPL", "SU26207RMFS9", "sber", "X", "CODE13CHARSXY",
    "LONGCODE16CHARS0", "CODE19CHARSXXXXXXXX"};
const Pool kFirms = {"F1", "F2", "F3", "FIRMCODE12XX", "f1", "FIRMCODE13XYZ"};
const Pool kClients = {"C1", "C2", "c2", "ABC", "ABX", "Q7", "VIP01", "CLIENTCODE12", ""};
const Pool kSectionNames = {"C1", "C2", "ABC", "Q7", "VIP01", "AB*", "A*", "*", "Q*", "",
    std::string(101, 'T')};
const Pool kTags = {"TQBR", "EQOB", "B1", "R1", "MB", "XXXX", "tqbr", "", "LONGTAG"};
const Pool kAccounts = {"ACC0", "ACC1", "ACC2", "ACC3", "", "L01+00000F00"};
const std::vector<int32_t> kLots = {1, 1, 1, 1, 10, 10, 100, 7, 0, -10};
const uint32_t kFace = KR_CLASS_FACE_VALUE;
const std::vector<uint32_t> kFlags = {0, 0, 0, 0, 0, 0, kFace, kFace, kFace, kFace | 2, 4, 6};
// Odd list pieces, integers and decimals, as a hand-edited file may hold them.
const Pool kOddPieces = {"<ALL>", "<all>", "", " ", std::string(300, 'P')};
const Pool kOddInts = {"", "X", " 2", "-1", "+7", "0", "2147483648", "-99999999999", "1.9"};
const Pool kOddNumbers = {"", ".", "5.", ".5", "-0.1", "1E400", "1E-400", "2.5E-310", "NAN", "INF",
    "0X1P3", "2E", "+1.25", " 0.75", "99999999999999999999", "1.5X"};
// Quiet, negative and signalling NaNs, infinities, the smallest and largest subnormals, -0,
// the largest double.
const std::vector<uint64_t> kSpecialBits = {0x7FF8000000000000ull, 0xFFF8000000000000ull,
    0x7FF0000000000001ull, 0x7FF0000000000000ull, 0xFFF0000000000000ull, 0x0000000000000001ull,
    0x000FFFFFFFFFFFFFull, 0x8000000000000000ull, 0x7FEFFFFFFFFFFFFFull};
// Section headers, '%' (after "[CL") standing for a client section name; Line() draws a line
// of each.
const Pool kSections = {"[LIMITALLOWEDSECURITY]", "[ASSETSECURITIES]", "[RESTSHORTSECURITIES]",
    "[GENERAL]", "[CL%_MARGIN]", "[CL%_MARGIN_TEMPLATE]", "[CLIENTLAG]", "[SECURITYWEIGHT]",
    "[BOARDTAG]", "[ADDLIMITBOARDS]", "[ADDREPOBOARDS]", "[ADDLIMITTRDACC]", "[ADDREPOTRDACC]"};
const Pool kGeneralKeys = {"CREDITLAG", "RSTRNMBUY", "CHECKMAXCREDIT", "LIMITSINLOTS",
    "MAINMARGINCLASSES", "OTHER"};
const Pool kClientSuffixes = {"", "", "_ASSET", "_RESTSHORT", "_ASSET_RESTSHORT"};
const Pool kLags = {"1", "2", "2", "3", "0", "X", " 2"};
// clang-format on

// A comma-separated list of up to `most` pieces from the pool, with stray spaces, <ALL>, empty
// and 300-character pieces and repeats.
std::string List(Rng& r, const Pool& pool, uint32_t most = 6) {
    std::string s;
    for (uint32_t n = r.Below(most + 1); n > 0; --n) {
        s += r.Percent(10) ? r.Pick(kOddPieces) : r.Pick(pool);
        if (n > 1 || r.Percent(10)) s += r.Percent(15) ? " , " : ",";
    }
    return s;
}

std::string IntText(Rng& r) {
    return r.Percent(30) ? r.Pick(kOddInts) : std::to_string(r.Below(4));
}

// Decimal text written digit by digit: many digits test the rounding of the conversion.
std::string NumberText(Rng& r) {
    if (r.Percent(25)) return r.Pick(kOddNumbers);
    std::string s = std::to_string(r.Below(3)) + ".";
    for (uint32_t n = r.Below(24); n > 0; --n)
        s += char('0' + r.Below(10));
    if (r.Percent(20)) s += "E" + std::to_string(int32_t(r.Below(9)) - 4);
    return s;
}

// "CLASS=SEC,...": mostly a class of the world with its own securities, so that the lists
// name what is (or will be) registered.
std::string ClassLine(Rng& r, const World& w, const std::string& suffix) {
    if (r.Percent(30)) return Cat({r.Pick(kClassCodes), suffix, "=", List(r, kSecCodes)});
    const Security& s = r.Pick(w.secs);
    Pool codes = {"<ALL>"};
    for (const Security& t : w.secs)
        if (t.classCode == s.classCode) codes.push_back(t.code);
    // Long lists of big classes.
    return Cat({s.classCode, suffix, "=", List(r, codes, codes.size() > 8 ? 24 : 6)});
}

// A line of the section kSections[section].
std::string Line(Rng& r, const World& w, size_t section) {
    if (section < 3) return ClassLine(r, w, "");
    if (section == 3) {
        const std::string& key = r.Pick(kGeneralKeys);
        return Cat({key, "=", key == "MAINMARGINCLASSES" ? List(r, kClassCodes) : IntText(r)});
    }
    if (section < 6) { // client sections and templates
        const uint32_t kind = r.Below(6);
        if (kind < 2) return (kind ? "IGNORERESTSHORTSECURITY=" : "RSTRNMBUY=") + IntText(r);
        return kind == 2 ? "CLIENTS=" + List(r, kSectionNames)
                         : ClassLine(r, w, r.Pick(kClientSuffixes));
    }
    if (section == 6) return Cat({r.Pick(kSectionNames), "=", r.Pick(kLags)});
    if (section == 7)
        return Cat({r.Percent(70) ? r.Pick(w.secs).code : r.Pick(kSecCodes), "=", NumberText(r),
                    r.Percent(90) ? "," : "", NumberText(r)});
    if (section == 8) return Cat({r.Pick(kTags), r.Percent(10) ? " =" : "="});
    return Cat({r.Pick(kTags), "=", List(r, section < 11 ? kTags : kAccounts)});
}

// The mistakes of a hand-edited file: no '=', a 300-character key, stray spaces, full stops
// and tabs, small letters.
std::string Spoil(Rng& r, std::string line) {
    const uint32_t kind = r.Below(12);
    if (kind == 0 && line.find('=') != std::string::npos) line.erase(line.find('='), 1);
    if (kind == 1) line.insert(0, std::string(300, 'K'));
    if (kind == 2) line = "  " + line + " .";
    if (kind == 3) line += '\t';
    for (char& c : line)
        if (kind == 4 && c >= 'A' && c <= 'Z') c = char(c + 32);
    return line;
}

// Draws a class of the world with its securities priced, and returns its registration; class
// ids, codes and security ids repeat across classes on purpose. Now and then a big class, whose
// lists name many codes.
std::function<void()> MakeClass(Rng& r, World& w, Recorder& rec, const Pool& codes) {
    const uint32_t id = 10 * (1 + r.Below(6)), flags = r.Pick(kFlags), valueUnlisted = r.Below(2);
    const std::string code = r.Pick(codes);
    const uint32_t big = r.Percent(25) ? 9 + r.Below(16) : 0;
    std::vector<SecurityDef> secs;
    for (uint32_t n = 1 + r.Below(6) + big, k = 0; n > 0; --n, ++k) {
        const double face = r.Percent(50) ? Value(r, 200000) : 0.0;
        secs.push_back(
            k < big ? SecurityDef{200 + k, "N" + std::to_string(k), r.Pick(kLots), face}
                    : SecurityDef{100 + r.Below(10), r.Pick(kSecCodes), r.Pick(kLots), face});
        w.secs.push_back({id, secs.back().secId, secs.back().code, code});
        for (const char* name : {"OFFER", "BID", "PREVPRICE", "LAST", "ACCRUEDINT"})
            SetParam(id, secs.back().secId, name, Value(r, 2000000));
    }
    w.classIds.push_back(id);
    return [=, &rec] {
        rec.Call("KRAddClass", code, AddClass(id, code, secs, flags, int8_t(valueUnlisted)));
    };
}

} // namespace

double Value(Rng& r, uint32_t maxNumerator) {
    static const std::vector<int32_t> kDenominators = {1, 3, 7, 100, 1000};
    const uint32_t kind = r.Below(20);
    if (kind == 0) return 0.0;
    if (kind == 1) return BitCast<double>(r.Pick(kSpecialBits));
    if (kind == 2) // 1e-8 and its two neighbours on each side
        return BitCast<double>(BitCast<uint64_t>(double(1) / double(100000000)) + r.Below(5) - 2);
    double v = double(int32_t(r.Below(maxNumerator)));
    v /= double(r.Pick(kDenominators));
    return r.Percent(10) ? -v : v;
}

int32_t LoadSettings(Rng& r, const World& w, Recorder& rec, const std::string& firm) {
    const std::string eol = r.Percent(20) ? "\r\n" : "\n";
    std::string text = r.Percent(5) ? "VOLUME" + eol : "";
    // The world's classes (and codes that are not registered yet) in a drawn order: the order
    // decides between classes that list the same code.
    if (r.Percent(30)) {
        Pool named;
        for (const Security& s : w.secs)
            if (r.Percent(40)) named.push_back(s.classCode);
        if (named.empty() || r.Percent(50)) named.push_back(r.Pick(kClassCodes));
        text += "[GENERAL]" + eol + "MAINMARGINCLASSES=" + List(r, named, 8) + eol;
    }
    // Half the texts open with clean lists: every class of the world accepted as an asset, some
    // securities for margin, so that many positions are valued (the fixed-name sections drawn
    // below then come second and are not read).
    if (r.Percent(50)) {
        std::string margin;
        text += "[ASSETSECURITIES]" + eol;
        for (const Security& s : w.secs) {
            text += Cat({s.classCode, "=<ALL>", eol});
            if (r.Percent(50)) margin += Cat({s.classCode, "=", s.code, eol});
        }
        text += "[LIMITALLOWEDSECURITY]" + eol + margin;
    }
    // Sections drawn with repeats: most appear, some twice (a fixed-name section is read at its
    // first header only, every client section and template is read).
    for (uint32_t n = 8 + r.Below(10); n > 0; --n) {
        const size_t section = r.Below(kSections.size());
        std::string header = kSections[section];
        if (header[3] == '%') header.replace(3, 1, r.Pick(kSectionNames));
        if (r.Percent(4)) header.pop_back(); // no ']'
        text += header + eol;
        for (uint32_t k = 1 + r.Below(6); k > 0; --k)
            text += Spoil(r, Line(r, w, section)) + eol;
        if (r.Percent(8)) text += "VOLUME" + eol;
    }
    return rec.Call("KRSetDliniFile", firm, KRSetDliniFile(firm.c_str(), text.c_str()));
}

void AddLateClasses(Rng& r, World& w, Recorder& rec) {
    static const Pool kLate = {"LATE1", "LATE2", "TQOB", "EQDB"};
    for (uint32_t n = r.Below(3); n > 0; --n)
        MakeClass(r, w, rec, kLate)();
}

World BuildWorld(Rng& r, Recorder& rec) {
    World w{{}, {}, kTags, {}, {}};
    std::vector<std::function<void()>> classes;
    for (uint32_t n = 2 + r.Below(4); n > 0; --n)
        classes.push_back(MakeClass(r, w, rec, kClassCodes));
    // An unknown class, and an unknown security of a known class.
    w.classIds.push_back(99);
    w.secs.push_back({99, 100, "SBER", "NOCLASS"});
    w.secs.push_back({w.secs[0].classId, 999, "GAZP", w.secs[0].classCode});

    // Classes and settings in any order: lists wait for classes registered later.
    // A firm drawn twice has its settings loaded twice (and its rows asked twice).
    w.firms.resize(1 + r.Below(3));
    std::generate(w.firms.begin(), w.firms.end(), [&] { return r.Pick(kFirms); });
    for (size_t c = 0, f = 0; c < classes.size() || f < w.firms.size();) {
        if (f == w.firms.size() || (c < classes.size() && r.Percent(60)))
            classes[c++]();
        else
            LoadSettings(r, w, rec, w.firms[f++]);
    }
    if (r.Percent(50)) w.firms.push_back(r.Pick(kFirms)); // loaded or not

    // Limits, client by client; now and then a record of another client breaks a run, and
    // some clients have none.
    for (uint32_t n = 2 + r.Below(5); n > 0; --n)
        w.clients.push_back(r.Pick(kClients));
    const auto q = [&r] { // a quantity, now and then an extreme of its field
        return r.Percent(2) ? (r.Percent(50) ? INT32_MIN : INT32_MAX)
                            : int32_t(r.Below(4001)) - 2000;
    };
    for (const std::string& firm : w.firms)
        for (const std::string& client : w.clients) {
            for (uint32_t n = r.Percent(70) ? r.Below(5) : 0; n > 0; --n)
                AddMoneyLimit({firm, r.Percent(10) ? r.Pick(w.clients) : client, r.Pick(kTags),
                               Value(r, 2000000000), Value(r, 2000000000), Value(r, 2000000000),
                               Value(r, 2000000000), Value(r, 200000000), Value(r, 200000000),
                               int32_t(r.Below(600)) - 100});
            for (uint32_t n = r.Percent(85) ? 2 + r.Below(8) : 0; n > 0; --n)
                AddSecLimit({firm, r.Percent(5) ? r.Pick(w.clients) : client,
                             r.Percent(85) ? r.Pick(w.secs).code : r.Pick(kSecCodes),
                             r.Pick(kAccounts), q(), q(), q(), q(), q(), q(), Value(r, 200000000)});
        }
    return w;
}

} // namespace differential
