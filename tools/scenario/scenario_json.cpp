// The scenario's JSON reader: every value checked against what a terminal could hold, and a
// refusal names the JSON path (or the CSV file, line and column) and the rule.
#include <math.h>

#include <algorithm>
#include <set>

#include <nlohmann/json.hpp>

#include "kesvar.h"
#include "scenario/limits_csv.h"
#include "scenario/scenario.h"

namespace kesvar_cli {

namespace {

using json = nlohmann::json;

// Widest text each host field holds: its width less the terminating zero.
const size_t kFirmWidth = sizeof(KRMoneyLimit::firmId) - 1;
const size_t kClientWidth = sizeof(KRMoneyLimit::clientCode) - 1;     // of the limit records
const size_t kRowClientWidth = sizeof(KRMarginalRow::clientCode) - 1; // of the row request
const size_t kClassWidth = sizeof(KRClass::code) - 1;
const size_t kSecurityWidth = sizeof(KRSecurity::code) - 1; // of a registered security
const size_t kLimitSecWidth = sizeof(KRSecLimit::secCode) - 1;
const size_t kTagWidth = sizeof(KRMoneyLimit::tag) - 1;
const size_t kAccountWidth = sizeof(KRSecLimit::trdAcc) - 1;

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

const Keys kMoneyLimitKeys = {"firm",        "client",         "tag",          "openBalance",
                              "openLimit",   "currentBalance", "currentLimit", "locked",
                              "lockedValue", "leveragePercent"};
const Keys kSecLimitKeys = {"firm",        "client",    "security",       "account",
                            "openBalance", "openLimit", "currentBalance", "currentLimit",
                            "lockedSell",  "lockedBuy", "lockedBuyValue"};

// An object whose keys are all among `allowed`.
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

// What every limit record has: its firm and client, and the four balances, each read by `read`.
template <typename Limit, typename Read>
void ReadOwnerAndBalances(const json& j, const std::string& path, Limit* l, Read read) {
    l->firm = Text(Required(j, path, "firm"), Key(path, "firm"), kFirmWidth, false);
    l->client = Text(Required(j, path, "client"), Key(path, "client"), kClientWidth, false);
    Optional(j, path, "openBalance", &l->openBalance, read);
    Optional(j, path, "openLimit", &l->openLimit, read);
    Optional(j, path, "currentBalance", &l->currentBalance, read);
    Optional(j, path, "currentLimit", &l->currentLimit, read);
}

MoneyLimit ReadMoneyLimit(const json& j, const std::string& path, bool units) {
    Object(j, path, kMoneyLimitKeys);
    MoneyLimit m;
    ReadOwnerAndBalances(
        j, path, &m, [units](const json& v, const std::string& p) { return Amount(v, p, units); });
    if (const json* v = Find(j, "tag")) m.tag = Text(*v, Key(path, "tag"), kTagWidth, true);
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
    ReadOwnerAndBalances(j, path, &s, Int32);
    s.secCode = Text(Required(j, path, "security"), Key(path, "security"), kLimitSecWidth, false);
    if (const json* v = Find(j, "account"))
        s.trdAcc = Text(*v, Key(path, "account"), kAccountWidth, true);
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
    std::string classCode;
    if (const json* v = Find(j, "class"))
        classCode = Text(*v, Key(path, "class"), kClassWidth, false);
    Optional(j, path, "price", &a.price, NonNegative);
    if (const json* v = Find(j, "size")) {
        a.size = Uint32(*v, Key(path, "size"));
        if (a.size != 56 && a.size != 48) Fail(Key(path, "size"), "expected 56 or 48");
    }
    int found = 0;
    for (const Class& c : classes) {
        if (!classCode.empty() && c.code != classCode) continue;
        for (const Security& s : c.securities) {
            if (s.code != a.secCode) continue;
            ++found;
            a.classId = c.id;
            a.secId = s.id;
            a.classCode = c.code;
        }
    }
    if (found == 0)
        Fail(Key(path, "security"),
             "expected a security listed under \"classes\"" +
                 (classCode.empty() ? std::string() : " in class " + classCode));
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
        for (const CsvRecord& record : CsvRecords(text, rel, keys)) {
            out->push_back(read(record.fields, record.where));
            where->push_back(record.where);
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

} // namespace kesvar_cli
