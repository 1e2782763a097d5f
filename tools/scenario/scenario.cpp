#include "scenario/scenario.h"

#include <ctype.h>
#include <errno.h>
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <charconv>
#include <initializer_list>
#include <iostream>
#include <iterator>
#include <limits>
#include <set>

#include <nlohmann/json.hpp>

namespace kesvar_cli {

namespace {

using json = nlohmann::json;

// Widest text each host field holds (its width less the terminating zero).
const size_t kFirmWidth = 12;
const size_t kClientWidth = 12;    // client code of the limit records
const size_t kRowClientWidth = 15; // client code of the row request
const size_t kClassWidth = 12;
const size_t kSecurityWidth = 19; // security code of a registered security
const size_t kLimitSecWidth = 12; // security code of a securities-limit record
const size_t kTagWidth = 4;
const size_t kAccountWidth = 12;

// "rows[0].firm", or for a record of a CSV file ("money.csv:3") its column by name.
std::string Key(const std::string& path, const char* key) {
    if (path.empty()) return key;
    const size_t colon = path.rfind(':');
    const bool csvLine = colon != std::string::npos && path.find('[') == std::string::npos &&
                         path.find_first_not_of("0123456789", colon + 1) == std::string::npos;
    return path + (csvLine ? ", column " : ".") + key;
}

std::string Item(const std::string& path, size_t i) {
    return path + "[" + std::to_string(i) + "]";
}

[[noreturn]] void Fail(const std::string& path, const std::string& what) {
    throw ScenarioError(path.empty() ? "(top level)" : path, what);
}

std::string TypeName(const json& j) {
    if (j.is_null()) return "null";
    if (j.is_boolean()) return "a boolean";
    if (j.is_number()) return "a number";
    if (j.is_string()) return "a string";
    if (j.is_array()) return "an array";
    return "an object";
}

// An object whose keys are all among `allowed`.
using Keys = std::vector<const char*>;

const Keys kMoneyLimitKeys = {"firm",        "client",         "tag",          "openBalance",
                              "openLimit",   "currentBalance", "currentLimit", "locked",
                              "lockedValue", "leveragePercent"};
const Keys kSecLimitKeys = {"firm",        "client",    "security",       "account",
                            "openBalance", "openLimit", "currentBalance", "currentLimit",
                            "lockedSell",  "lockedBuy", "lockedBuyValue"};

std::string KeyList(const Keys& keys) {
    std::string list;
    for (const char* k : keys)
        list += std::string(list.empty() ? "" : ", ") + k;
    return list;
}

const json& Object(const json& j, const std::string& path, const Keys& allowed) {
    if (!j.is_object()) Fail(path, "expected an object, found " + TypeName(j));
    for (auto it = j.begin(); it != j.end(); ++it) {
        bool known = false;
        for (const char* k : allowed)
            known = known || it.key() == k;
        if (known) continue;
        Fail(Key(path, it.key().c_str()),
             "unexpected key (expected one of: " + KeyList(allowed) + ")");
    }
    return j;
}

const json* Find(const json& obj, const char* key) {
    auto it = obj.find(key);
    return it == obj.end() ? nullptr : &*it;
}

const json& Required(const json& obj, const std::string& path, const char* key) {
    const json* v = Find(obj, key);
    if (!v) Fail(Key(path, key), "missing; it is required");
    return *v;
}

const json& Array(const json& j, const std::string& path) {
    if (!j.is_array()) Fail(path, "expected an array, found " + TypeName(j));
    return j;
}

std::string Text(const json& j, const std::string& path, size_t width, bool mayBeEmpty) {
    if (!j.is_string()) Fail(path, "expected a string, found " + TypeName(j));
    std::string s = j.get<std::string>();
    if (s.find('\0') != std::string::npos) Fail(path, "expected a string without NUL characters");
    if (!mayBeEmpty && s.empty()) Fail(path, "expected a non-empty string");
    if (width != std::string::npos && s.size() > width)
        Fail(path, "expected at most " + std::to_string(width) + " characters (the host's field" +
                       " holds " + std::to_string(width) + "), found " + std::to_string(s.size()));
    return s;
}

int64_t Integer(const json& j, const std::string& path, int64_t lo, int64_t hi) {
    std::string range = "an integer from " + std::to_string(lo) + " to " + std::to_string(hi);
    if (!j.is_number_integer()) Fail(path, "expected " + range + ", found " + TypeName(j));
    if (j.is_number_unsigned() && j.get<uint64_t>() > uint64_t(hi)) Fail(path, "expected " + range);
    int64_t v = j.get<int64_t>();
    if (v < lo || v > hi) Fail(path, "expected " + range + ", found " + std::to_string(v));
    return v;
}

int32_t Int32(const json& j, const std::string& path) {
    return int32_t(Integer(j, path, INT32_MIN, INT32_MAX));
}

uint32_t Uint32(const json& j, const std::string& path) {
    return uint32_t(Integer(j, path, 0, UINT32_MAX));
}

double Number(const json& j, const std::string& path) {
    if (!j.is_number()) Fail(path, "expected a number, found " + TypeName(j));
    double v = j.get<double>();
    if (!isfinite(v)) Fail(path, "expected a finite number");
    return v;
}

// A price, an accrued interest or a locked amount: a terminal holds none below 0. A price of 0
// is an absent one.
double NonNegative(const json& j, const std::string& path) {
    double v = Number(j, path);
    if (v < 0) Fail(path, "expected a number of at least 0 (0: none), found a negative one");
    return v;
}

int32_t NonNegativeInt32(const json& j, const std::string& path) {
    return int32_t(Integer(j, path, 0, INT32_MAX));
}

template <class T, class F>
void Optional(const json& obj, const std::string& path, const char* key, T* out, F read) {
    if (const json* v = Find(obj, key)) *out = read(*v, Key(path, key));
}

Market ReadMarket(const json& j, const std::string& path) {
    Object(j, path, {"offer", "bid", "prevPrice", "last", "accruedInt"});
    Market m;
    Optional(j, path, "offer", &m.offer, NonNegative);
    Optional(j, path, "bid", &m.bid, NonNegative);
    Optional(j, path, "prevPrice", &m.prevPrice, NonNegative);
    Optional(j, path, "last", &m.last, NonNegative);
    Optional(j, path, "accruedInt", &m.accruedInt, NonNegative);
    return m;
}

Class ReadClass(const json& j, const std::string& path) {
    Object(j, path, {"id", "code", "flags", "valueUnlisted", "securities"});
    Class c;
    c.id = Uint32(Required(j, path, "id"), Key(path, "id"));
    c.code = Text(Required(j, path, "code"), Key(path, "code"), kClassWidth, false);
    Optional(j, path, "flags", &c.flags, Uint32);
    if (const json* v = Find(j, "valueUnlisted")) {
        if (!v->is_boolean()) Fail(Key(path, "valueUnlisted"), "expected true or false");
        c.valueUnlisted = v->get<bool>();
    }
    std::set<std::string> codes;
    std::set<uint32_t> ids;
    if (const json* secs = Find(j, "securities")) {
        std::string sp = Key(path, "securities");
        Array(*secs, sp);
        for (size_t i = 0; i < secs->size(); ++i) {
            std::string p = Item(sp, i);
            const json& s = Object((*secs)[i], p, {"id", "code", "lot", "faceValue", "market"});
            Security sec;
            sec.id = Uint32(Required(s, p, "id"), Key(p, "id"));
            sec.code = Text(Required(s, p, "code"), Key(p, "code"), kSecurityWidth, false);
            Optional(s, p, "lot", &sec.lot, Int32);
            if (sec.lot < 1)
                Fail(Key(p, "lot"),
                     "expected a lot of at least 1 unit, found " + std::to_string(sec.lot));
            Optional(s, p, "faceValue", &sec.faceValue, NonNegative);
            if ((c.flags & 1) && !(sec.faceValue > 0))
                Fail(Key(p, "faceValue"), "expected a positive face value: class " + c.code +
                                              " quotes in percent of face value (flags bit 0)");
            if (const json* m = Find(s, "market")) sec.market = ReadMarket(*m, Key(p, "market"));
            if (!codes.insert(sec.code).second)
                Fail(Key(p, "code"),
                     "expected a code not used by an earlier security of the class");
            if (!ids.insert(sec.id).second)
                Fail(Key(p, "id"), "expected an id not used by an earlier security of the class");
            c.securities.push_back(sec);
        }
    }
    return c;
}

std::string JoinLines(const json& lines, const std::string& path) {
    std::string text;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (!lines[i].is_string())
            Fail(Item(path, i), "expected a string (one line), found " + TypeName(lines[i]));
        if (i) text += '\n';
        text += lines[i].get<std::string>();
    }
    return text;
}

Firm ReadFirm(const json& j, const std::string& path, const std::string& name,
              const FileReader& read) {
    Object(j, path, {"id", "settings", "settingsFile"});
    Firm f;
    f.id = Text(Required(j, path, "id"), Key(path, "id"), kFirmWidth, false);
    const json* inlineText = Find(j, "settings");
    const json* file = Find(j, "settingsFile");
    if (inlineText && file)
        Fail(path, "expected either \"settings\" or \"settingsFile\", not both");
    if (inlineText) {
        std::string p = Key(path, "settings");
        if (inlineText->is_array())
            f.settings = JoinLines(*inlineText, p);
        else if (inlineText->is_string())
            f.settings = inlineText->get<std::string>();
        else
            Fail(p, "expected a string or an array of lines, found " + TypeName(*inlineText));
        f.source = name + ": " + p;
    } else if (file) {
        std::string p = Key(path, "settingsFile");
        std::string rel = Text(*file, p, std::string::npos, false);
        try {
            f.settings = read(rel);
        } catch (const std::exception& e) {
            Fail(p, std::string("expected a readable settings file relative to the scenario: ") +
                        e.what());
        }
        f.source = rel;
    } else {
        Fail(path, "expected \"settings\" (the text) or \"settingsFile\" (a path)");
    }
    // The library takes the text as a C string: a NUL would end it early.
    if (f.settings.find('\0') != std::string::npos)
        Fail(path, "expected a settings text without NUL bytes");
    return f;
}

// A money amount of a limit record, in hundredths as the host keeps them. Given in units, it
// is converted exactly: a terminal keeps whole hundredths.
double Amount(const json& j, const std::string& path, bool units) {
    double v = Number(j, path);
    if (!units) return v;
    double hundredths = v * 100.0, whole = nearbyint(hundredths);
    if (fabs(hundredths - whole) > 1e-9 * std::max(1.0, fabs(whole)))
        Fail(path, "expected a money amount with at most 2 decimals (\"amounts\" is \"units\")");
    return whole;
}

MoneyLimit ReadMoneyLimit(const json& j, const std::string& path, bool units) {
    Object(j, path, kMoneyLimitKeys);
    MoneyLimit m;
    m.firm = Text(Required(j, path, "firm"), Key(path, "firm"), kFirmWidth, false);
    m.client = Text(Required(j, path, "client"), Key(path, "client"), kClientWidth, false);
    if (const json* v = Find(j, "tag")) m.tag = Text(*v, Key(path, "tag"), kTagWidth, true);
    auto amount = [units](const json& v, const std::string& p) { return Amount(v, p, units); };
    Optional(j, path, "openBalance", &m.openBalance, amount);
    Optional(j, path, "openLimit", &m.openLimit, amount);
    Optional(j, path, "currentBalance", &m.currentBalance, amount);
    Optional(j, path, "currentLimit", &m.currentLimit, amount);
    auto locked = [units](const json& v, const std::string& p) {
        NonNegative(v, p);
        return Amount(v, p, units);
    };
    Optional(j, path, "locked", &m.locked, locked);
    Optional(j, path, "lockedValue", &m.lockedValue, locked);
    Optional(j, path, "leveragePercent", &m.leveragePercent, Int32);
    return m;
}

SecLimit ReadSecLimit(const json& j, const std::string& path, bool units) {
    Object(j, path, kSecLimitKeys);
    SecLimit s;
    s.firm = Text(Required(j, path, "firm"), Key(path, "firm"), kFirmWidth, false);
    s.client = Text(Required(j, path, "client"), Key(path, "client"), kClientWidth, false);
    s.secCode = Text(Required(j, path, "security"), Key(path, "security"), kLimitSecWidth, false);
    if (const json* v = Find(j, "account"))
        s.trdAcc = Text(*v, Key(path, "account"), kAccountWidth, true);
    Optional(j, path, "openBalance", &s.openBalance, Int32);
    Optional(j, path, "openLimit", &s.openLimit, Int32);
    Optional(j, path, "currentBalance", &s.currentBalance, Int32);
    Optional(j, path, "currentLimit", &s.currentLimit, Int32);
    Optional(j, path, "lockedSell", &s.lockedSell, NonNegativeInt32);
    Optional(j, path, "lockedBuy", &s.lockedBuy, NonNegativeInt32);
    if (const json* v = Find(j, "lockedBuyValue")) {
        const std::string p = Key(path, "lockedBuyValue");
        NonNegative(*v, p);
        s.lockedBuyValue = Amount(*v, p, units);
    }
    return s;
}

ActvRequest ReadActv(const json& j, const std::string& path, const std::vector<Class>& classes) {
    Object(j, path, {"security", "class", "price", "size"});
    ActvRequest a;
    a.secCode = Text(Required(j, path, "security"), Key(path, "security"), kSecurityWidth, false);
    std::string cls;
    if (const json* v = Find(j, "class")) cls = Text(*v, Key(path, "class"), kClassWidth, false);
    Optional(j, path, "price", &a.price, NonNegative);
    if (const json* v = Find(j, "size")) {
        a.size = Uint32(*v, Key(path, "size"));
        if (a.size != 56 && a.size != 48) Fail(Key(path, "size"), "expected 56 or 48");
    }
    int found = 0;
    for (const Class& c : classes) {
        if (!cls.empty() && c.code != cls) continue;
        for (const Security& s : c.securities) {
            if (s.code != a.secCode) continue;
            ++found;
            a.classId = c.id;
            a.secId = s.id;
            a.classCode = c.code;
        }
    }
    if (found == 0)
        Fail(Key(path, "security"), "expected a security listed under \"classes\"" +
                                        (cls.empty() ? std::string() : " in class " + cls));
    if (found > 1)
        Fail(Key(path, "security"),
             "security " + a.secCode + " is in several classes: name one with \"class\"");
    return a;
}

RowRequest ReadRow(const json& j, const std::string& path, const std::vector<Class>& classes) {
    Object(j, path, {"firm", "client", "size", "actv"});
    RowRequest r;
    r.firm = Text(Required(j, path, "firm"), Key(path, "firm"), kFirmWidth, false);
    r.client = Text(Required(j, path, "client"), Key(path, "client"), kRowClientWidth, false);
    if (const json* v = Find(j, "size")) {
        r.size = Uint32(*v, Key(path, "size"));
        if (r.size != 280 && r.size != 272 && r.size != 264 && r.size != 248)
            Fail(Key(path, "size"), "expected one of 280, 272, 264, 248");
    }
    if (const json* a = Find(j, "actv")) {
        std::string ap = Key(path, "actv");
        Array(*a, ap);
        for (size_t i = 0; i < a->size(); ++i)
            r.actv.push_back(ReadActv((*a)[i], Item(ap, i), classes));
    }
    return r;
}

// Whether [b, e), which a NUL follows, is one decimal number in range. A standard library
// without floating-point from_chars (the WebAssembly one) gets strtod, which reads the same
// numbers in the C locale the tool keeps, but also hexadecimal and leading blanks.
bool WholeDouble(const char* b, const char* e, double* d) {
#ifdef __cpp_lib_to_chars
    auto r = std::from_chars(b, e, *d);
    return r.ec == std::errc() && r.ptr == e;
#else
    if (b == e || isspace(static_cast<unsigned char>(*b)) ||
        std::find_if(b, e, [](char c) { return c == 'x' || c == 'X'; }) != e)
        return false;
    char* end = nullptr;
    errno = 0;
    *d = strtod(b, &end);
    return end == e && errno != ERANGE;
#endif
}

// A CSV field of a number column as the JSON value it stands for; anything else stays a
// string, which the record's reader then refuses by name.
json CsvValue(const std::string& field) {
    const char* b = field.data() + (field[0] == '+' ? 1 : 0);
    const char* e = field.data() + field.size();
    int64_t i;
    auto ri = std::from_chars(b, e, i);
    if (ri.ec == std::errc() && ri.ptr == e) return json(i);
    double d;
    if (WholeDouble(b, e, &d)) return json(d);
    return json(field);
}

// The records of a CSV file: a header row of key names, then one record per row, each as a
// JSON object with its place ("money.csv:3"). Empty fields are left out; text columns stay
// text, the others are numbers.
std::vector<std::pair<std::string, json>> CsvRecords(std::string text, const std::string& file,
                                                     const Keys& keys) {
    static const std::set<std::string> textColumns = {"firm", "client", "tag", "security",
                                                      "account"};
    if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) text.erase(0, 3); // as spreadsheets save it
    std::vector<std::pair<int, std::vector<std::string>>> rows;
    size_t i = 0;
    int line = 1;
    while (i < text.size()) {
        int rowLine = line;
        std::vector<std::string> fields;
        bool rowEnd = false;
        while (!rowEnd) {
            std::string field;
            bool quoted = i < text.size() && text[i] == '"';
            if (quoted) {
                for (++i;; ++i) {
                    if (i >= text.size())
                        Fail(file + ":" + std::to_string(rowLine), "expected a closing '\"'");
                    if (text[i] == '"' && i + 1 < text.size() && text[i + 1] == '"') {
                        field += '"';
                        ++i;
                    } else if (text[i] == '"') {
                        ++i;
                        break;
                    } else {
                        if (text[i] == '\n') ++line;
                        field += text[i];
                    }
                }
            }
            size_t end = text.find_first_of(",\n", i);
            if (end == std::string::npos) end = text.size();
            std::string rest = text.substr(i, end - i);
            if (!rest.empty() && rest.back() == '\r') rest.pop_back();
            if (quoted && rest.find_first_not_of(' ') != std::string::npos)
                Fail(file + ":" + std::to_string(rowLine), "expected ',' after a quoted field");
            if (!quoted) {
                size_t a = rest.find_first_not_of(' '), b = rest.find_last_not_of(' ');
                field = a == std::string::npos ? "" : rest.substr(a, b - a + 1);
            }
            fields.push_back(field);
            rowEnd = end >= text.size() || text[end] == '\n';
            if (end < text.size() && text[end] == '\n') ++line;
            i = end + 1;
        }
        bool blank = fields.size() == 1 && fields[0].empty();
        if (!blank) rows.emplace_back(rowLine, fields);
    }
    std::vector<std::pair<std::string, json>> records;
    if (rows.empty()) Fail(file, "expected a header row of key names, found an empty file");
    const std::vector<std::string>& header = rows[0].second;
    const std::string headerAt = file + ":" + std::to_string(rows[0].first);
    if (header.size() == 1 && header[0].find(';') != std::string::npos)
        Fail(headerAt, "expected fields separated by ',', found ';'");
    for (size_t f = 0; f < header.size(); ++f) {
        if (std::find_if(keys.begin(), keys.end(), [&](const char* k) { return header[f] == k; }) ==
            keys.end())
            Fail(headerAt + ", column " + std::to_string(f + 1),
                 "unexpected key '" + header[f] + "' (expected one of: " + KeyList(keys) + ")");
    }
    if (rows.size() == 1) Fail(headerAt, "expected at least one record after the header row");
    for (size_t r = 1; r < rows.size(); ++r) {
        std::string where = file + ":" + std::to_string(rows[r].first);
        const std::vector<std::string>& fields = rows[r].second;
        if (fields.size() > header.size())
            Fail(where, "expected at most " + std::to_string(header.size()) +
                            " fields, as many as the header row names");
        json record = json::object();
        for (size_t f = 0; f < fields.size(); ++f) {
            if (fields[f].empty()) continue;
            record[header[f]] =
                textColumns.count(header[f]) ? json(fields[f]) : CsvValue(fields[f]);
        }
        records.emplace_back(where, record);
    }
    return records;
}

// Limit records given in the scenario or in a CSV file it names, with where each was written.
template <class T, class F>
void ReadLimits(const json& root, const char* key, const char* fileKey, const FileReader& readFile,
                const Keys& keys, std::vector<T>* out, std::vector<std::string>* where, F read) {
    const json* list = Find(root, key);
    const json* file = Find(root, fileKey);
    if (list && file)
        Fail(fileKey,
             std::string("expected either \"") + key + "\" or \"" + fileKey + "\", not both");
    if (list) {
        Array(*list, key);
        for (size_t i = 0; i < list->size(); ++i) {
            out->push_back(read((*list)[i], Item(key, i)));
            where->push_back(Item(key, i));
        }
    }
    if (file) {
        std::string rel = Text(*file, fileKey, std::string::npos, false), text;
        try {
            text = readFile(rel);
        } catch (const std::exception& e) {
            Fail(fileKey,
                 std::string("expected a readable CSV file relative to the scenario: ") + e.what());
        }
        for (const auto& record : CsvRecords(text, rel, keys)) {
            out->push_back(read(record.second, record.first));
            where->push_back(record.first);
        }
    }
}

template <class T, class F>
void ReadList(const json& root, const char* key, std::vector<T>* out, F read) {
    const json* list = Find(root, key);
    if (!list) return;
    Array(*list, key);
    for (size_t i = 0; i < list->size(); ++i)
        out->push_back(read((*list)[i], Item(key, i)));
}

} // namespace

namespace {

Scenario ParseNamed(const std::string& text, const std::string& name, const FileReader& read,
                    bool rowsNeeded) {
    json root;
    try {
        root = json::parse(text, nullptr, true, /*ignore_comments=*/true);
    } catch (const json::exception& e) { // a syntax error, or a number beyond a double
        // Drop the library's "[json.exception.parse_error.101] " prefix.
        std::string what = e.what();
        size_t at = what.find("] ");
        throw ScenarioError("(JSON)", "expected valid JSON: " +
                                          (at == std::string::npos ? what : what.substr(at + 2)));
    }
    Object(root, "",
           {"interfaceVersion", "amounts", "classes", "firms", "moneyLimits", "moneyLimitsFile",
            "secLimits", "secLimitsFile", "rows"});

    Scenario s;
    if (const json* v = Find(root, "interfaceVersion")) {
        s.version = Int32(*v, "interfaceVersion");
        if (s.version != 1 && s.version != 2) Fail("interfaceVersion", "expected 1 or 2");
    }
    if (const json* v = Find(root, "amounts")) {
        std::string units = Text(*v, "amounts", std::string::npos, false);
        if (units != "hundredths" && units != "units")
            Fail("amounts", "expected \"hundredths\" (the default) or \"units\"");
        s.amountsInUnits = units == "units";
    }
    ReadList(root, "classes", &s.classes, ReadClass);
    ReadList(root, "firms", &s.firms,
             [&](const json& j, const std::string& p) { return ReadFirm(j, p, name, read); });
    bool units = s.amountsInUnits;
    ReadLimits(root, "moneyLimits", "moneyLimitsFile", read, kMoneyLimitKeys, &s.moneyLimits,
               &s.moneyLimitWhere, [units](const json& j, const std::string& p) {
                   return ReadMoneyLimit(j, p, units);
               });
    ReadLimits(root, "secLimits", "secLimitsFile", read, kSecLimitKeys, &s.secLimits,
               &s.secLimitWhere,
               [units](const json& j, const std::string& p) { return ReadSecLimit(j, p, units); });
    ReadList(root, "rows", &s.rows,
             [&](const json& j, const std::string& p) { return ReadRow(j, p, s.classes); });

    // Repeats the library would take as re-registrations or reloads are scenario mistakes.
    std::set<std::string> classCodes, firmIds;
    std::set<uint32_t> classIds;
    for (size_t i = 0; i < s.classes.size(); ++i) {
        if (!classCodes.insert(s.classes[i].code).second)
            Fail(Item("classes", i) + ".code", "expected a code not used by an earlier class");
        if (!classIds.insert(s.classes[i].id).second)
            Fail(Item("classes", i) + ".id", "expected an id not used by an earlier class");
    }
    for (size_t i = 0; i < s.firms.size(); ++i)
        if (!firmIds.insert(s.firms[i].id).second)
            Fail(Item("firms", i) + ".id", "expected a firm id not used by an earlier firm");
    if (s.rows.empty() && rowsNeeded)
        Fail("rows", "expected at least one row request (or --all-clients)");
    return s;
}

} // namespace

Scenario ParseScenario(const std::string& text, const std::string& name, const FileReader& read,
                       bool rowsNeeded) {
    try {
        return ParseNamed(text, name, read, rowsNeeded);
    } catch (ScenarioError& e) {
        e.file = name;
        throw;
    }
}

std::string ReadFile(const std::string& path) {
    FILE* f = fopen(path.c_str(), "rb");
    if (!f) throw std::runtime_error(path + ": " + strerror(errno));
    std::string data;
    char buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0)
        data.append(buf, n);
    int err = ferror(f) ? errno : 0;
    fclose(f);
    if (err) throw std::runtime_error(path + ": " + strerror(err));
    return data;
}

std::string ReadInput(const std::string& path) {
    if (path != "-") return ReadFile(path);
    return std::string(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
}

Scenario LoadScenarioFile(const std::string& path, bool rowsNeeded) {
    std::string text;
    try {
        text = ReadInput(path);
    } catch (const std::exception& e) {
        throw CommandError(std::string("cannot read the scenario: ") + e.what());
    }
#ifdef _WIN32
    const char* separators = "/\\";
#else
    const char* separators = "/";
#endif
    // Files a scenario read from standard input names are relative to the current directory.
    size_t slash = path == "-" ? std::string::npos : path.find_last_of(separators);
    std::string dir = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    FileReader read = [dir, separators](const std::string& rel) {
        bool absolute = !rel.empty() && strchr(separators, rel[0]) != nullptr;
#ifdef _WIN32
        absolute = absolute || (rel.size() > 1 && rel[1] == ':');
#endif
        return ReadFile(absolute ? rel : dir + rel);
    };
    Scenario s = ParseScenario(text, path, read, rowsNeeded);
    s.text = text;
    return s;
}

} // namespace kesvar_cli
