// Reads the settings record the loader builds.
#define KESVAR_INTERNAL_SETTINGS

#include "scenario/settings_reports.h"

#include <algorithm>
#include <set>
#include <sstream>
#include <vector>

#include <nlohmann/json.hpp>

#include "exports/internal.h"
#include "scenario/library.h"
#include "scenario/text.h"

namespace kesvar_cli {

namespace {

using ordered_json = nlohmann::ordered_json;
using kesvar::ClassSecurityList;
using kesvar::FirmRecord;
using kesvar::FirmSettings;

// The loader's widths, as its messages state them.
const std::string kCodeChars = std::to_string(kesvar::kMaxCode);
const std::string kTagChars = std::to_string(kesvar::kMaxTag);

// Edits (insert, delete, replace, swap two neighbours) that turn a into b.
size_t Distance(const std::string& a, const std::string& b) {
    std::vector<std::vector<size_t>> d(a.size() + 1, std::vector<size_t>(b.size() + 1));
    for (size_t i = 0; i <= a.size(); ++i)
        d[i][0] = i;
    for (size_t j = 0; j <= b.size(); ++j)
        d[0][j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
        for (size_t j = 1; j <= b.size(); ++j) {
            size_t cost = a[i - 1] == b[j - 1] ? 0 : 1;
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + cost});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
        }
    }
    return d[a.size()][b.size()];
}

// The candidate a slip of the pen away from `word`, or "" when none is that close.
std::string Nearest(const std::string& word, const std::vector<std::string>& candidates) {
    size_t allowed = std::max<size_t>(1, std::min<size_t>(3, word.size() / 4));
    std::string best;
    size_t bestDistance = allowed + 1;
    for (const std::string& c : candidates) {
        size_t d = Distance(word, c);
        if (d < bestDistance) bestDistance = d, best = c;
    }
    return best;
}

const kesvar::SettingsSection* SectionNamed(const std::string& name) {
    for (const kesvar::SettingsSection& s : kesvar::kSettingsSections)
        if (name == s.name) return &s;
    return nullptr;
}

std::vector<std::string> KeysOf(const kesvar::SettingsSection& s) {
    std::vector<std::string> keys;
    for (const char* const* k = s.keys; k && *k; ++k)
        keys.push_back(*k);
    return keys;
}

// A header as a reader writes it: "[CL<code>_MARGIN]" for "CL*_MARGIN".
std::string Header(const std::string& name) {
    if (name.rfind("CL*", 0) != 0) return "[" + name + "]";
    return (name == "CL*_MARGIN" ? "[CL<code>" : "[CL<name>") + name.substr(3) + "]";
}

std::string Join(const std::vector<std::string>& words) {
    std::string s;
    for (size_t i = 0; i < words.size(); ++i)
        s += (i == 0 ? "" : i + 1 == words.size() ? " and " : ", ") + words[i];
    return s;
}

// What an unknown key in `section` may have been meant as.
std::string KeyHint(const std::string& key, const std::string& section) {
    for (const kesvar::SettingsSection& s : kesvar::kSettingsSections) {
        std::vector<std::string> keys = KeysOf(s);
        if (section != s.name && std::find(keys.begin(), keys.end(), key) != keys.end())
            return key + " is a key of " + Header(s.name) + ", not of " + Header(section);
    }
    const kesvar::SettingsSection* s = SectionNamed(section);
    if (!s) return "";
    std::string near = Nearest(key, KeysOf(*s));
    if (!near.empty()) return "did you mean " + near + "?";
    return "the keys of " + Header(section) + " are " + Join(KeysOf(*s));
}

// What an unknown '[' line may have been meant as.
std::string SectionHint(const std::string& line) {
    size_t close = line.find(']');
    std::string name = line.substr(1, close == std::string::npos ? std::string::npos : close - 1);
    std::vector<std::string> names;
    for (const kesvar::SettingsSection& s : kesvar::kSettingsSections)
        if (s.name[0] != 'C' || s.name[1] != 'L' || s.name[2] != '*') names.push_back(s.name);
    if (name.compare(0, 2, "CL") == 0) {
        // A client block: keep the client's name, suggest the two headers around it.
        size_t cut = std::min(name.find('_'), name.find("MARGIN", 2));
        std::string client = name.substr(2, cut == std::string::npos ? std::string::npos : cut - 2);
        names.push_back("CL" + client + "_MARGIN");
        names.push_back("CL" + client + "_MARGIN_TEMPLATE");
    }
    bool known = std::find(names.begin(), names.end(), name) != names.end();
    if (known && close == std::string::npos) return "its ']' is missing";
    if (known) return "a header stands alone on its line";
    std::string near = Nearest(name, names);
    if (!near.empty()) return "did you mean [" + near + "]?";
    return "";
}

// Kind, severity and message of each loader report. Subjects are upper-cased, as the loader
// reads the text upper-cased.
Warning Describe(int32_t line, kesvar::DiagCode code, const std::string& s, const std::string& d) {
    using namespace kesvar;
    Warning w;
    w.line = line;
    w.subject = s;
    auto set = [&](const char* kind, std::string message, bool note = false) {
        w.kind = kind;
        w.message = std::move(message);
        w.note = note;
        return w;
    };
    switch (code) {
    case kDiagUnreadLine:
        return set("unread-line", "line " + Quote(s) +
                                      " stands before the first section: never read (the text" +
                                      " has no comment syntax)");
    case kDiagRepeatedSection:
        return set("repeated-section",
                   "section " + s + " repeated: only its first occurrence is read");
    case kDiagNoEquals:
        return set("no-equals", "line " + Quote(s) + " has no '=': skipped");
    case kDiagUnknownKey: {
        std::string hint = KeyHint(s, d);
        return set("unknown-key", "unknown key " + Quote(s) + " in " + Header(d) + ": ignored" +
                                      (hint.empty() ? "" : "; " + hint));
    }
    case kDiagRepeatedKey:
        return set("repeated-key",
                   Quote(s) + " given again: the first line for it wins, this one is ignored");
    case kDiagKeyTooLong:
        return set("key-too-long", "key " + Quote(s) + " has more than " + kCodeChars +
                                       " characters: line dropped");
    case kDiagPieceEmpty:
        return set("empty-piece", "empty list piece in the line for " + Quote(s) + ": skipped",
                   true);
    case kDiagPieceTooLong:
        return set("piece-too-long", "list piece " + Quote(s) + " has more than " + kCodeChars +
                                         " characters: skipped");
    case kDiagPieceRepeated:
        return set("repeated-piece",
                   "security " + Quote(s) + " already listed in this line: kept once", true);
    case kDiagValueOutOfRange:
        return set("value-out-of-range",
                   "client lag " + Quote(d) + " of " + Quote(s) +
                       " is neither 1 nor 2: line dropped (the client gets CREDITLAG)");
    case kDiagValueClamped:
        return set("value-clamped", "long weight " + Quote(d) + " of " + Quote(s) +
                                        " is outside 0 to 1: 1.0 is used");
    case kDiagShortWeightClamp:
        return set("value-clamped",
                   "short weight " + Quote(d) + " of " + Quote(s) + " is below 1: 1.0 is used");
    case kDiagMainMarginSpace:
        return set("space-in-class-list",
                   "class " + Quote(s) +
                       " has a space beside its comma: MAINMARGINCLASSES will never find it");
    case kDiagNameTooLong:
        return set("name-too-long",
                   Quote(s) + " is not a header: its name is too long (a client code has at" +
                       " most " + kCodeChars +
                       " characters, a template name 100); its lines are not read");
    case kDiagTagCut:
        return set("cut", Quote(s) + " is too long: stored cut (a board tag keeps " + kTagChars +
                              " characters, a trade account " + kCodeChars + ")");
    case kDiagClientDiscarded:
        return set("client-discarded",
                   "client " + Quote(s) +
                       " already has a record from an earlier section or template: this one is" +
                       " discarded");
    case kDiagClientSkipped:
        return set("client-skipped", "template client " + Quote(s) +
                                         " skipped: empty, longer than " + kCodeChars +
                                         " characters or ending in '*'");
    case kDiagNoComma:
        return set("no-comma",
                   "weights of " + Quote(s) + " need two numbers separated by ',': line dropped");
    case kDiagValueTooLong:
        return set("value-too-long",
                   "value for " + Quote(s) + " has 256 or more characters: line dropped");
    case kDiagTemplateNoClients:
        return set("template-without-clients",
                   "template has no CLIENTS line: it makes no client record");
    case kDiagNotANumber:
        return set("not-a-number",
                   "value " + Quote(d) + " of " + Quote(s) + " is not a number: read as 0");
    case kDiagNumberTrailing:
        return set("text-after-number", "value of " + Quote(s) +
                                            " goes on after its number: " + Quote(d) +
                                            " is ignored (the text has no comment syntax)");
    case kDiagFlagNotBinary:
        return set("switch-not-0-or-1",
                   Quote(s) + " is a switch of 0 or 1: " + Quote(d) + " is read as 1");
    case kDiagCreditLagRange:
        return set("credit-lag-not-1-or-2",
                   "CREDITLAG " + Quote(d) +
                       " is neither 1 nor 2: clients without a [CLIENTLAG] entry work as lag 1");
    case kDiagUnknownSection: {
        std::string hint = SectionHint(s);
        return set("unknown-section", "unknown section " + Quote(s) +
                                          ": it and the lines under it are never read" +
                                          (hint.empty() ? "" : "; " + hint));
    }
    case kDiagByteOrderMark:
        return set("byte-order-mark",
                   "the text starts with a UTF-8 byte-order mark, so line 1 (" + Quote(s) +
                       ") is never read" +
                       (s.compare(0, 1, "[") == 0
                            ? " as a header, nor the" + std::string(" lines under it")
                            : std::string()) +
                       "; save the text without the mark");
    case kDiagEmptyText:
        return set("empty-text", "the text is empty: every setting takes its default");
    case kDiagEmptySection:
        return set("empty-section",
                   "section " + s + " has no KEY=VALUE line: nothing is read from it", true);
    case kDiagVolumeLine:
        return set("volume-line",
                   "the line begins with VOLUME: a lag-1 client's short value counts in its own" +
                       std::string(" buy limit"),
                   true);
    case kDiagVolumeIgnored:
        return set(
            "volume-ignored",
            std::string(d == "indented" ? "an indented VOLUME" : "VOLUME on the first line") +
                " does not count: only a line that begins with VOLUME, after the first" +
                " line, sets the volume switch");
    case kDiagBlankInKey:
        return set("blank-in-key", "key " + Quote(s) + " holds a " + d +
                                       ": no client, security or board code has one, so the" +
                                       " line matches nothing");
    case kDiagBlankAfterNumber:
        return set("blank-after-number",
                   "value of " + Quote(s) + " ends in a tab: the number before it is read", true);
    case kDiagRepeatedClass:
        return set("repeated-class",
                   "a second line for class " + Quote(s) +
                       " in this list: the row's valuation finds a security by code in the" +
                       " first line only, the actv in both; write the class on one line");
    }
    // A report newer than this tool: still shown.
    return set("diagnostic", "diagnostic " + std::to_string(int(code)) + " about " + Quote(s));
}

struct Collected {
    std::vector<Warning>* warnings;
    std::vector<ListEntry>* entries;
};

void Collect(void* user, int32_t line, kesvar::DiagCode code, const char* subject,
             const char* detail) {
    static_cast<Collected*>(user)->warnings->push_back(
        Describe(line, code, subject ? subject : "", detail ? detail : ""));
}

void CollectEntry(void* user, int32_t line, const FirmSettings* settings,
                  const ClassSecurityList* e) {
    std::vector<ListEntry>* entries = static_cast<Collected*>(user)->entries;
    if (!entries) return;
    ListEntry entry;
    entry.line = line;
    entry.classCode = kesvar::ClassCodeOf(settings, *e);
    entry.all = e->allSecurities != 0;
    entry.securities = SecurityCodes(settings, *e);
    entries->push_back(entry);
}

} // namespace

namespace {

// The loader's reports as warnings, and what sees the record once they are in place: the
// record lives only while the library's call runs.
struct Loading {
    std::vector<Warning> found;
    std::vector<Warning>* warnings;
    const std::string* source;
    const std::function<void(const FirmRecord&)>* inspect;

    void AddWarnings() {
        // A VOLUME line does its work whatever else is said about it as a section line.
        std::set<int32_t> volumeLines;
        for (const Warning& w : found)
            if (w.kind == "volume-line") volumeLines.insert(w.line);
        found.erase(std::remove_if(found.begin(), found.end(),
                                   [&](const Warning& w) {
                                       return volumeLines.count(w.line) &&
                                              (w.kind == "no-equals" || w.kind == "unknown-key");
                                   }),
                    found.end());
        std::stable_sort(found.begin(), found.end(),
                         [](const Warning& a, const Warning& b) { return a.line < b.line; });
        for (Warning& w : found)
            w.source = *source;
        warnings->insert(warnings->end(), found.begin(), found.end());
    }

    static void Loaded(void* user, const FirmRecord* firm) {
        Loading* l = static_cast<Loading*>(user);
        l->AddWarnings();
        if (*l->inspect) (*l->inspect)(*firm);
    }
};

} // namespace

bool LoadSettingsText(const std::string& text, const std::string& source,
                      std::vector<Warning>* warnings, std::vector<ListEntry>* entries,
                      const std::function<void(const FirmRecord&)>& inspect) {
    Loading loading = {{}, warnings, &source, &inspect};
    Collected collected = {&loading.found, entries};
    kesvar::DiagnosticSink sink = {nullptr, &collected, Collect, CollectEntry};
    return kesvar::CheckSettingsText(text.c_str(), &sink, Loading::Loaded, &loading) != 0;
}

// The codes of an entry's securities, as written (or as registered, for "<ALL>").
std::vector<std::string> SecurityCodes(const kesvar::FirmSettings* settings,
                                       const ClassSecurityList& e) {
    std::vector<std::string> codes;
    for (int32_t k = 0; k < e.securityCount; ++k) {
        char code[16];
        kesvar::ListedCode(settings, kesvar::SecuritiesOf(settings, e)[k], code);
        codes.push_back(code);
    }
    return codes;
}

std::string WarningText(const Warning& w) {
    return w.source + (w.line > 0 ? ":" + std::to_string(w.line) : std::string()) +
           (w.note ? ": note: " : ": warning: ") + w.message + " [" + w.kind + "]";
}

} // namespace kesvar_cli
