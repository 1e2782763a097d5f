// Reads the settings record the loader builds.
#define KESVAR_INTERNAL_SETTINGS

#include "outputs/settings_output.h"

#include <stdio.h>

#include <algorithm>

#include "exports/internal.h"
#include "scenario/text.h"

namespace kesvar_cli {

namespace {

using kesvar::ClassSecurityList;
using kesvar::FirmRecord;
using kesvar::FirmSettings;

std::string EntryText(const FirmSettings* settings, const ClassSecurityList& e) {
    std::string s = std::string(kesvar::ClassCodeOf(settings, e)) + ":";
    bool first = true;
    auto add = [&](const std::string& piece) {
        s += (first ? " " : ", ") + piece;
        first = false;
    };
    if (e.allSecurities) add("<ALL>");
    for (const std::string& code : SecurityCodes(settings, e))
        add(code);
    if (first) s += " (no securities)";
    return s;
}

ordered_json ListJson(const FirmSettings* settings, int32_t kind) {
    ordered_json a = ordered_json::array();
    const kesvar::SecurityList list = kesvar::ListOf(settings, kind);
    for (int32_t i = 0; i < list.count; ++i) {
        const ClassSecurityList& e = list.entries[i];
        ordered_json j;
        j["class"] = kesvar::ClassCodeOf(settings, e);
        j["all"] = e.allSecurities != 0;
        j["securities"] = ordered_json::array();
        for (const std::string& code : SecurityCodes(settings, e))
            j["securities"].push_back(code);
        a.push_back(j);
    }
    return a;
}

const char* KindName(int32_t kind) {
    switch (kind) {
    case kesvar::Ordinary:
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
    void List(const std::string& label, const FirmSettings* settings, int32_t kind,
              const std::string& none) {
        const kesvar::SecurityList list = kesvar::ListOf(settings, kind);
        if (list.count == 0) return Line(label, none);
        for (int32_t i = 0; i < list.count; ++i)
            Line(i == 0 ? label : "", EntryText(settings, list.entries[i]));
    }

  private:
    static const size_t kColumn = 19;
    std::ostream& out_;
};

} // namespace

ordered_json SettingsJson(const kesvar::FirmRecord& f) {
    ordered_json s;
    s["marginList"] = ListJson(&f, kesvar::kMarginList);
    s["assetList"] = ListJson(&f, kesvar::kAssetList);
    s["restShortList"] = ListJson(&f, kesvar::kRestShortList);
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
        const FirmSettings& client = f.clients[i];
        ordered_json j;
        j["code"] = client.clientCode;
        j["restrictBuy"] = RestrictBuyJson(client.restrictBuy);
        j["ignoreRestShort"] = client.ignoreRestShort != 0;
        j["marginList"] = ListJson(&client, kesvar::kMarginList);
        j["assetList"] = ListJson(&client, kesvar::kAssetList);
        j["restShortList"] = ListJson(&client, kesvar::kRestShortList);
        s["clients"].push_back(j);
    }
    s["clientLags"] = ordered_json::array();
    for (int32_t i = 0; i < f.clientLags.count; ++i)
        s["clientLags"].push_back(
            {{"client", f.clientLags[i].clientCode}, {"lag", f.clientLags[i].lag}});
    s["clientLagPrefixes"] = ordered_json::array();
    for (int32_t i = 0; i < f.clientLagPrefixes.count; ++i)
        s["clientLagPrefixes"].push_back(
            {{"prefix", f.clientLagPrefixes[i].clientCode}, {"lag", f.clientLagPrefixes[i].lag}});
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

void PrintSummary(std::ostream& out, const FirmRecord& f, const std::vector<Warning>& found) {
    // A value the loader read differently from what is written points at its warning, even
    // when it happens to equal the default.
    auto marked = [&](const char* key, const std::string& value, bool isDefault) {
        for (const Warning& w : found)
            if (!w.note && w.subject == key && w.kind != "repeated-key")
                return value + " (read from line " + std::to_string(w.line) + ": see above)";
        return value + (isDefault ? " (the default)" : "");
    };
    Summary s(out);
    out << "\nWhat the loader built:\n";
    s.List("margin list", &f, kesvar::kMarginList, "(none)");
    s.List("asset list", &f, kesvar::kAssetList, "(none: the margin list answers)");
    s.List("rest-short list", &f, kesvar::kRestShortList, "(none)");
    s.Line("CREDITLAG", marked("CREDITLAG", std::to_string(f.creditLag), f.creditLag == 1));
    s.Line("RSTRNMBUY", marked("RSTRNMBUY", RestrictBuyText(f.restrictBuy), false));
    s.Line("CHECKMAXCREDIT",
           marked("CHECKMAXCREDIT", std::to_string(f.checkMaxCredit), f.checkMaxCredit == 0));
    s.Line("LIMITSINLOTS",
           marked("LIMITSINLOTS", std::to_string(f.limitsInLots), f.limitsInLots == 1));
    std::string classes = f.mainMarginClasses ? f.mainMarginClasses : "";
    s.Line("MAINMARGINCLASSES", classes.empty() ? "(none: registration order)" : classes);
    s.Line("VOLUME line", f.volumeFlag ? "yes: short value counts in own buy limit" : "no");

    if (f.clients.count == 0) s.Line("client records", "(none)");
    for (int32_t i = 0; i < f.clients.count; ++i) {
        const FirmSettings& client = f.clients[i];
        std::string head = client.clientCode;
        if (client.restrictBuy) head += "  RSTRNMBUY " + RestrictBuyText(client.restrictBuy);
        if (client.ignoreRestShort) head += "  IGNORERESTSHORTSECURITY";
        if (!client.listCount[kesvar::kMarginList] && !client.listCount[kesvar::kAssetList] &&
            !client.listCount[kesvar::kRestShortList])
            head += "  (the firm's lists)";
        s.Line(i == 0 ? "client records" : "", head);
        const char* kinds[] = {"  margin ", "  asset ", "  rest-short "};
        for (int32_t kind = 0; kind < kesvar::kListKinds; ++kind) {
            const kesvar::SecurityList list = kesvar::ListOf(&client, kind);
            for (int32_t k = 0; k < list.count; ++k)
                s.Line("", kinds[kind] + EntryText(&client, list.entries[k]));
        }
    }

    std::vector<std::string> items;
    for (int32_t i = 0; i < f.clientLags.count; ++i)
        items.push_back(std::string(f.clientLags[i].clientCode) + "=" +
                        std::to_string(f.clientLags[i].lag));
    for (int32_t i = 0; i < f.clientLagPrefixes.count; ++i)
        items.push_back(std::string(f.clientLagPrefixes[i].clientCode) +
                        "*=" + std::to_string(f.clientLagPrefixes[i].lag));
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

void PrintCheckText(std::ostream& out, const std::string& name, const std::vector<Warning>& found,
                    const std::string& summary) {
    size_t notes = NoteCount(found), warnings = found.size() - notes;
    for (const Warning& d : found)
        out << WarningText(d) << "\n";
    out << name << ": " << warnings << (warnings == 1 ? " warning" : " warnings");
    if (notes) out << ", " << notes << (notes == 1 ? " note" : " notes");
    out << "\n" << summary;
}

void PrintCheckJson(std::ostream& out, const std::string& name, const std::vector<Warning>& found,
                    const ordered_json& settings) {
    size_t notes = NoteCount(found);
    ordered_json root;
    root["file"] = name;
    root["warningCount"] = found.size() - notes;
    root["noteCount"] = notes;
    root["warnings"] = ordered_json::array();
    for (const Warning& d : found)
        root["warnings"].push_back({{"line", d.line},
                                    {"severity", d.note ? "note" : "warning"},
                                    {"kind", d.kind},
                                    {"subject", d.subject},
                                    {"message", d.message}});
    root["settings"] = settings;
    out << root.dump(2) << "\n";
}

size_t NoteCount(const std::vector<Warning>& found) {
    return size_t(
        std::count_if(found.begin(), found.end(), [](const Warning& w) { return w.note; }));
}

} // namespace kesvar_cli
