#include "check.h"

#include <algorithm>
#include <vector>

#include <nlohmann/json.hpp>

#include "links/links.h"

namespace kesvar_cli {

namespace {

using ordered_json = nlohmann::ordered_json;
using kesvar::ClassSecurityList;
using kesvar::FirmSettings;

struct Diagnostic {
    int32_t line;
    std::string kind; // short name shown in brackets
    std::string subject;
    std::string message;
};

std::string Quote(const std::string& s) {
    return "'" + s + "'";
}

// Kind name and message of each loader report. Subjects are upper-cased, as the loader
// reads the text upper-cased.
Diagnostic Describe(int32_t line, kesvar::DiagCode code, const std::string& s) {
    using namespace kesvar;
    switch (code) {
    case kDiagUnreadLine:
        return {line, "unread-line", s,
                "line " + Quote(s) + " is never read: it is outside every known section"};
    case kDiagRepeatedSection:
        return {line, "repeated-section", s,
                "section " + s + " repeated: only its first occurrence is read"};
    case kDiagNoEquals:
        return {line, "no-equals", s, "line " + Quote(s) + " has no '=': skipped"};
    case kDiagUnknownKey:
        return {line, "unknown-key", s, "unknown key " + Quote(s) + ": ignored"};
    case kDiagRepeatedKey:
        return {line, "repeated-key", s,
                Quote(s) + " given again: the first line for it wins, this one is ignored"};
    case kDiagKeyTooLong:
        return {line, "key-too-long", s,
                "key " + Quote(s) + " has more than 12 characters: line dropped"};
    case kDiagPieceEmpty:
        return {line, "empty-piece", s,
                "empty list piece in the line for " + Quote(s) + ": skipped"};
    case kDiagPieceTooLong:
        return {line, "piece-too-long", s,
                "list piece " + Quote(s) + " has more than 12 characters: skipped"};
    case kDiagPieceRepeated:
        return {line, "repeated-piece", s,
                "security " + Quote(s) + " already listed in this line: kept once"};
    case kDiagValueOutOfRange:
        return {line, "value-out-of-range", s,
                "value for " + Quote(s) +
                    " is out of range (a client lag is 1 or 2): line dropped"};
    case kDiagValueClamped:
        return {line, "value-clamped", s,
                "weight of " + Quote(s) +
                    " out of range: set to 1.0 (long weight 0 to 1, short weight at least 1)"};
    case kDiagMainMarginSpace:
        return {line, "space-in-class-list", s,
                "class " + Quote(s) +
                    " has a space beside its comma: MAINMARGINCLASSES will never find it"};
    case kDiagNameTooLong:
        return {line, "name-too-long", s,
                Quote(s) + " is not a header: its name is too long (a client code has at most 12" +
                    " characters, a template name 100); its lines are not read"};
    case kDiagTagCut:
        return {line, "cut", s,
                Quote(s) + " is too long: stored cut (a board tag keeps 4 characters, a trade" +
                    " account 12)"};
    case kDiagClientDiscarded:
        return {line, "client-discarded", s,
                "client " + Quote(s) +
                    " already has a record from an earlier section or template: this one is" +
                    " discarded"};
    case kDiagClientSkipped:
        return {line, "client-skipped", s,
                "template client " + Quote(s) +
                    " skipped: empty, longer than 12 characters or ending in '*'"};
    case kDiagNoComma:
        return {line, "no-comma", s,
                "weights of " + Quote(s) + " need two numbers separated by ',': line dropped"};
    case kDiagValueTooLong:
        return {line, "value-too-long", s,
                "value for " + Quote(s) + " has 256 or more characters: line dropped"};
    case kDiagTemplateNoClients:
        return {line, "template-without-clients", s,
                "template has no CLIENTS line: it makes no client record"};
    default: // a report newer than this tool: still shown
        break;
    }
    return {line, "diagnostic", s,
            "diagnostic " + std::to_string(int(code)) + " about " + Quote(s)};
}

void Collect(void* user, int32_t line, kesvar::DiagCode code, const char* subject) {
    static_cast<std::vector<Diagnostic>*>(user)->push_back(
        Describe(line, code, subject ? subject : ""));
}

// ---- what the loader built --------------------------------------------------------------

std::string EntryText(const ClassSecurityList& e) {
    std::string s = std::string(e.classCode) + ":";
    bool first = true;
    auto add = [&](const std::string& piece) {
        s += (first ? " " : ", ") + piece;
        first = false;
    };
    if (e.allSecurities) add("<ALL>");
    for (int32_t i = 0; i < e.securities.count; ++i)
        add(e.securities[i].secCode);
    if (first) s += " (no securities)";
    return s;
}

ordered_json ListJson(const kesvar::Array<ClassSecurityList>& list) {
    ordered_json a = ordered_json::array();
    for (int32_t i = 0; i < list.count; ++i) {
        const ClassSecurityList& e = list[i];
        ordered_json j;
        j["class"] = e.classCode;
        j["all"] = e.allSecurities != 0;
        j["securities"] = ordered_json::array();
        for (int32_t k = 0; k < e.securities.count; ++k)
            j["securities"].push_back(e.securities[k].secCode);
        a.push_back(j);
    }
    return a;
}

const char* KindName(int32_t kind) {
    switch (kind) {
    case kesvar::Listed:
        return "listed";
    case kesvar::AddLimit:
        return "addLimit";
    case kesvar::AddRepo:
        return "addRepo";
    }
    return "unknown";
}

std::string RestrictBuyText(int8_t v) {
    return v == 0 ? "not given (the default)" : v == 1 ? "given, non-zero" : "given, 0";
}

ordered_json RestrictBuyJson(int8_t v) {
    return v == 0 ? ordered_json() : ordered_json(v == 1 ? 1 : 0);
}

ordered_json Switch(const ordered_json& value, bool isDefault) {
    ordered_json j;
    j["value"] = value;
    j["isDefault"] = isDefault;
    return j;
}

ordered_json SettingsJson(const FirmSettings& f) {
    ordered_json s;
    s["marginList"] = ListJson(f.marginList);
    s["assetList"] = ListJson(f.assetList);
    s["restShortList"] = ListJson(f.restShortList);
    ordered_json sw;
    sw["CREDITLAG"] = Switch(f.creditLag, f.creditLag == 1);
    sw["RSTRNMBUY"] = Switch(RestrictBuyJson(f.restrictBuy), f.restrictBuy == 0);
    sw["CHECKMAXCREDIT"] = Switch(f.checkMaxCredit, f.checkMaxCredit == 0);
    sw["LIMITSINLOTS"] = Switch(f.limitsInLots, f.limitsInLots == 1);
    std::string classes = f.mainMarginClasses ? f.mainMarginClasses : "";
    sw["MAINMARGINCLASSES"] = Switch(classes, classes.empty());
    sw["VOLUME"] = Switch(f.volumeFlag != 0, f.volumeFlag == 0);
    s["switches"] = sw;
    s["clients"] = ordered_json::array();
    for (int32_t i = 0; i < f.clients.count; ++i) {
        const FirmSettings& c = *f.clients[i];
        ordered_json j;
        j["code"] = c.clientCode;
        j["restrictBuy"] = RestrictBuyJson(c.restrictBuy);
        j["ignoreRestShort"] = c.ignoreRestShort != 0;
        j["marginList"] = ListJson(c.marginList);
        j["assetList"] = ListJson(c.assetList);
        j["restShortList"] = ListJson(c.restShortList);
        s["clients"].push_back(j);
    }
    s["clientLags"] = ordered_json::array();
    for (int32_t i = 0; i < f.clientLags.count; ++i)
        s["clientLags"].push_back(
            {{"client", f.clientLags[i]->clientCode}, {"lag", f.clientLags[i]->lag}});
    s["clientLagPrefixes"] = ordered_json::array();
    for (int32_t i = 0; i < f.clientLagPrefixes.count; ++i)
        s["clientLagPrefixes"].push_back(
            {{"prefix", f.clientLagPrefixes[i]->clientCode}, {"lag", f.clientLagPrefixes[i]->lag}});
    s["securityWeights"] = ordered_json::array();
    for (int32_t i = 0; i < f.securityWeights.count; ++i) {
        const kesvar::SecurityWeight& w = f.securityWeights[i];
        s["securityWeights"].push_back(
            {{"security", w.secCode}, {"long", w.longWeight}, {"short", w.shortWeight}});
    }
    s["boardTags"] = ordered_json::array();
    for (int32_t i = 0; i < f.boardTags.count; ++i)
        s["boardTags"].push_back(
            {{"tag", f.boardTags[i].tag}, {"kind", KindName(f.boardTags[i].kind)}});
    s["tradeAccounts"] = ordered_json::array();
    for (int32_t i = 0; i < f.tradeAccounts.count; ++i)
        s["tradeAccounts"].push_back(
            {{"account", f.tradeAccounts[i].account}, {"kind", KindName(f.tradeAccounts[i].kind)}});
    return s;
}

// "label   item, item, item" wrapped under the items' column within 80 columns.
class Summary {
  public:
    explicit Summary(std::ostream& out) : out_(out) {}

    void Line(const std::string& label, const std::string& text) {
        out_ << "  " << label
             << std::string(label.size() < kColumn ? kColumn - label.size() : 1, ' ') << text
             << "\n";
    }
    void Items(const std::string& label, const std::vector<std::string>& items,
               const std::string& none) {
        if (items.empty()) return Line(label, none);
        std::string line;
        bool firstLine = true;
        for (size_t i = 0; i < items.size(); ++i) {
            std::string piece = items[i] + (i + 1 < items.size() ? "," : "");
            if (!line.empty() && 2 + kColumn + line.size() + 1 + piece.size() > 79) {
                Line(firstLine ? label : "", line);
                firstLine = false;
                line.clear();
            }
            line += (line.empty() ? "" : " ") + piece;
        }
        Line(firstLine ? label : "", line);
    }
    void List(const std::string& label, const kesvar::Array<ClassSecurityList>& list,
              const std::string& none) {
        if (list.count == 0) return Line(label, none);
        for (int32_t i = 0; i < list.count; ++i)
            Line(i == 0 ? label : "", EntryText(list[i]));
    }

  private:
    static const size_t kColumn = 19;
    std::ostream& out_;
};

void PrintSummary(std::ostream& out, const FirmSettings& f) {
    Summary s(out);
    out << "\nWhat the loader built:\n";
    s.List("margin list", f.marginList, "(none)");
    s.List("asset list", f.assetList, "(none: the margin list answers)");
    s.List("rest-short list", f.restShortList, "(none)");
    s.Line("CREDITLAG", std::to_string(f.creditLag) + (f.creditLag == 1 ? " (the default)" : ""));
    s.Line("RSTRNMBUY", RestrictBuyText(f.restrictBuy));
    s.Line("CHECKMAXCREDIT",
           std::to_string(f.checkMaxCredit) + (f.checkMaxCredit == 0 ? " (the default)" : ""));
    s.Line("LIMITSINLOTS",
           std::to_string(f.limitsInLots) + (f.limitsInLots == 1 ? " (the default)" : ""));
    std::string classes = f.mainMarginClasses ? f.mainMarginClasses : "";
    s.Line("MAINMARGINCLASSES", classes.empty() ? "(none: registration order)" : classes);
    s.Line("VOLUME line", f.volumeFlag ? "yes: short value counts in own buy limit" : "no");

    if (f.clients.count == 0) s.Line("client records", "(none)");
    for (int32_t i = 0; i < f.clients.count; ++i) {
        const FirmSettings& c = *f.clients[i];
        std::string head = c.clientCode;
        if (c.restrictBuy) head += "  RSTRNMBUY " + RestrictBuyText(c.restrictBuy);
        if (c.ignoreRestShort) head += "  IGNORERESTSHORTSECURITY";
        if (!c.marginList.count && !c.assetList.count && !c.restShortList.count)
            head += "  (the firm's lists)";
        s.Line(i == 0 ? "client records" : "", head);
        for (int32_t k = 0; k < c.marginList.count; ++k)
            s.Line("", "  margin " + EntryText(c.marginList[k]));
        for (int32_t k = 0; k < c.assetList.count; ++k)
            s.Line("", "  asset " + EntryText(c.assetList[k]));
        for (int32_t k = 0; k < c.restShortList.count; ++k)
            s.Line("", "  rest-short " + EntryText(c.restShortList[k]));
    }

    std::vector<std::string> items;
    for (int32_t i = 0; i < f.clientLags.count; ++i)
        items.push_back(std::string(f.clientLags[i]->clientCode) + "=" +
                        std::to_string(f.clientLags[i]->lag));
    for (int32_t i = 0; i < f.clientLagPrefixes.count; ++i)
        items.push_back(std::string(f.clientLagPrefixes[i]->clientCode) +
                        "*=" + std::to_string(f.clientLagPrefixes[i]->lag));
    s.Items("client lags", items, "(none: CREDITLAG for every client)");

    items.clear();
    for (int32_t i = 0; i < f.securityWeights.count; ++i) {
        const kesvar::SecurityWeight& w = f.securityWeights[i];
        char buf[96];
        snprintf(buf, sizeof buf, "%s long %g short %g", w.secCode, w.longWeight, w.shortWeight);
        items.push_back(buf);
    }
    s.Items("weights", items, "(none: 1 and 1 for every security)");

    items.clear();
    for (int32_t i = 0; i < f.boardTags.count; ++i)
        items.push_back(Quote(f.boardTags[i].tag) + " " + KindName(f.boardTags[i].kind));
    s.Items("board tags", items, "(none: every board tag counts)");
    items.clear();
    for (int32_t i = 0; i < f.tradeAccounts.count; ++i)
        items.push_back(std::string(f.tradeAccounts[i].account) + " " +
                        KindName(f.tradeAccounts[i].kind));
    s.Items("trade accounts", items, "(none: every account is ordinary)");
}

} // namespace

int CheckSettings(std::ostream& out, std::ostream& err, const std::string& name,
                  const std::string& text, bool json) {
    std::vector<Diagnostic> found;
    // The library takes the text as a C string: whatever follows a NUL is never seen.
    size_t nul = text.find('\0');
    if (nul != std::string::npos) {
        int32_t line = int32_t(1 + std::count(text.begin(), text.begin() + nul, '\n'));
        found.push_back({line, "nul-byte", "",
                         "the text ends at a NUL byte here: the rest of the file is never read"});
    }

    kesvar::DiagnosticSink sink = {Collect, &found};
    const char* key = "CHECK";
    if (int32_t code = kesvar::SetFirmSettings(key, text.c_str(), &sink)) {
        err << "kesvar: " << name << ": the loader refused the text (code " << code << ")\n";
        return 2;
    }
    const FirmSettings& f = *kesvar::gState.firmSettingsTable[kesvar::FindFirmSettings(key)];
    std::stable_sort(found.begin(), found.end(),
                     [](const Diagnostic& a, const Diagnostic& b) { return a.line < b.line; });

    if (json) {
        ordered_json root;
        root["file"] = name;
        root["warningCount"] = found.size();
        root["warnings"] = ordered_json::array();
        for (const Diagnostic& d : found)
            root["warnings"].push_back({{"line", d.line},
                                        {"kind", d.kind},
                                        {"subject", d.subject},
                                        {"message", d.message}});
        root["settings"] = SettingsJson(f);
        out << root.dump(2) << "\n";
    } else {
        for (const Diagnostic& d : found)
            out << name << ":" << d.line << ": warning: " << d.message << " [" << d.kind << "]\n";
        out << name << ": " << found.size() << (found.size() == 1 ? " warning" : " warnings")
            << "\n";
        PrintSummary(out, f);
    }
    kesvar::DropAllFirmSettings();
    return found.empty() ? 0 : 1;
}

} // namespace kesvar_cli
