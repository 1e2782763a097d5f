#include "scenario.h"

#include <errno.h>
#include <math.h>
#include <stdio.h>
#include <string.h>

#include <initializer_list>
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

std::string Key(const std::string& path, const char* key) {
    return path.empty() ? std::string(key) : path + "." + key;
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
const json& Object(const json& j, const std::string& path,
                   std::initializer_list<const char*> allowed) {
    if (!j.is_object()) Fail(path, "expected an object, found " + TypeName(j));
    for (auto it = j.begin(); it != j.end(); ++it) {
        bool known = false;
        for (const char* k : allowed)
            known = known || it.key() == k;
        if (known) continue;
        std::string list;
        for (const char* k : allowed)
            list += std::string(list.empty() ? "" : ", ") + k;
        Fail(Key(path, it.key().c_str()), "unexpected key (expected one of: " + list + ")");
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

template <class T, class F>
void Optional(const json& obj, const std::string& path, const char* key, T* out, F read) {
    if (const json* v = Find(obj, key)) *out = read(*v, Key(path, key));
}

Market ReadMarket(const json& j, const std::string& path) {
    Object(j, path, {"offer", "bid", "prevPrice", "last", "accruedInt"});
    Market m;
    Optional(j, path, "offer", &m.offer, Number);
    Optional(j, path, "bid", &m.bid, Number);
    Optional(j, path, "prevPrice", &m.prevPrice, Number);
    Optional(j, path, "last", &m.last, Number);
    Optional(j, path, "accruedInt", &m.accruedInt, Number);
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
            Optional(s, p, "faceValue", &sec.faceValue, Number);
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

MoneyLimit ReadMoneyLimit(const json& j, const std::string& path) {
    Object(j, path,
           {"firm", "client", "tag", "openBalance", "openLimit", "currentBalance", "currentLimit",
            "locked", "lockedValue", "leveragePercent"});
    MoneyLimit m;
    m.firm = Text(Required(j, path, "firm"), Key(path, "firm"), kFirmWidth, false);
    m.client = Text(Required(j, path, "client"), Key(path, "client"), kClientWidth, false);
    if (const json* v = Find(j, "tag")) m.tag = Text(*v, Key(path, "tag"), kTagWidth, true);
    Optional(j, path, "openBalance", &m.openBalance, Number);
    Optional(j, path, "openLimit", &m.openLimit, Number);
    Optional(j, path, "currentBalance", &m.currentBalance, Number);
    Optional(j, path, "currentLimit", &m.currentLimit, Number);
    Optional(j, path, "locked", &m.locked, Number);
    Optional(j, path, "lockedValue", &m.lockedValue, Number);
    Optional(j, path, "leveragePercent", &m.leveragePercent, Int32);
    return m;
}

SecLimit ReadSecLimit(const json& j, const std::string& path) {
    Object(j, path,
           {"firm", "client", "security", "account", "openBalance", "openLimit", "currentBalance",
            "currentLimit", "lockedSell", "lockedBuy", "lockedBuyValue"});
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
    Optional(j, path, "lockedSell", &s.lockedSell, Int32);
    Optional(j, path, "lockedBuy", &s.lockedBuy, Int32);
    Optional(j, path, "lockedBuyValue", &s.lockedBuyValue, Number);
    return s;
}

ActvRequest ReadActv(const json& j, const std::string& path, const std::vector<Class>& classes) {
    Object(j, path, {"security", "class", "price", "size"});
    ActvRequest a;
    a.secCode = Text(Required(j, path, "security"), Key(path, "security"), kSecurityWidth, false);
    std::string cls;
    if (const json* v = Find(j, "class")) cls = Text(*v, Key(path, "class"), kClassWidth, false);
    Optional(j, path, "price", &a.price, Number);
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

template <class T, class F>
void ReadList(const json& root, const char* key, std::vector<T>* out, F read) {
    const json* list = Find(root, key);
    if (!list) return;
    Array(*list, key);
    for (size_t i = 0; i < list->size(); ++i)
        out->push_back(read((*list)[i], Item(key, i)));
}

} // namespace

Scenario ParseScenario(const std::string& text, const std::string& name, const FileReader& read) {
    json root;
    try {
        root = json::parse(text, nullptr, true, /*ignore_comments=*/true);
    } catch (const json::parse_error& e) {
        // Drop the library's "[json.exception.parse_error.101] " prefix.
        std::string what = e.what();
        size_t at = what.find("] ");
        throw ScenarioError("(JSON)", "expected valid JSON: " +
                                          (at == std::string::npos ? what : what.substr(at + 2)));
    }
    Object(root, "", {"interfaceVersion", "classes", "firms", "moneyLimits", "secLimits", "rows"});

    Scenario s;
    if (const json* v = Find(root, "interfaceVersion")) {
        s.version = Int32(*v, "interfaceVersion");
        if (s.version != 1 && s.version != 2) Fail("interfaceVersion", "expected 1 or 2");
    }
    ReadList(root, "classes", &s.classes, ReadClass);
    ReadList(root, "firms", &s.firms,
             [&](const json& j, const std::string& p) { return ReadFirm(j, p, name, read); });
    ReadList(root, "moneyLimits", &s.moneyLimits, ReadMoneyLimit);
    ReadList(root, "secLimits", &s.secLimits, ReadSecLimit);
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
    if (s.rows.empty()) Fail("rows", "expected at least one row request");
    return s;
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

Scenario LoadScenarioFile(const std::string& path) {
    std::string text;
    try {
        text = ReadFile(path);
    } catch (const std::exception& e) {
        throw ScenarioError("(file)", std::string("cannot read the scenario: ") + e.what());
    }
#ifdef _WIN32
    const char* separators = "/\\";
#else
    const char* separators = "/";
#endif
    size_t slash = path.find_last_of(separators);
    std::string dir = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    FileReader read = [dir, separators](const std::string& rel) {
        bool absolute = !rel.empty() && strchr(separators, rel[0]) != nullptr;
#ifdef _WIN32
        absolute = absolute || (rel.size() > 1 && rel[1] == ':');
#endif
        return ReadFile(absolute ? rel : dir + rel);
    };
    return ParseScenario(text, path, read);
}

} // namespace kesvar_cli
