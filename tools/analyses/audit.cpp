#include "analyses/audit.h"

#include <stdio.h>

#include <algorithm>
#include <map>
#include <set>
#include <sstream>
#include <tuple>

#include "kesvar.h"
#include "scenario/library.h"
#include "scenario/runner.h"
#include "scenario/text.h"

namespace kesvar_cli {

namespace {

Warning Mistake(const std::string& where, const char* kind, const std::string& subject,
                const std::string& message, bool note = false) {
    Warning w;
    w.source = where;
    w.note = note;
    w.kind = kind;
    w.subject = subject;
    w.message = message;
    return w;
}

// One note per client whose records the terminal order moves: where its records were split.
template <class T>
void NoteRegrouped(const std::vector<T>& records, const std::vector<size_t>& order,
                   const std::vector<std::string>& where, std::vector<Warning>* out) {
    std::set<std::tuple<std::string, std::string>> noted;
    for (size_t p = 1; p < order.size(); ++p) {
        size_t prev = order[p - 1], cur = order[p];
        if (cur == prev + 1 || ClientOf(records[cur]) != ClientOf(records[prev])) continue;
        if (!noted.insert(ClientOf(records[cur])).second) continue;
        out->push_back(Mistake(where[cur], "records-regrouped", records[cur].client,
                               "records of client " + Quote(records[cur].client) + " of firm " +
                                   Quote(records[cur].firm) + " are not written together (" +
                                   where[prev] + ", " + where[cur] +
                                   "): they run together, as a terminal keeps them",
                               true));
    }
}

const Class* ClassCoded(const std::vector<Class>& classes, const std::string& code) {
    for (const Class& c : classes)
        if (c.code == code) return &c;
    return nullptr;
}

bool InSomeClass(const std::vector<Class>& classes, const std::string& code) {
    for (const Class& c : classes)
        for (const Security& sec : c.securities)
            if (sec.code == code) return true;
    return false;
}

// Each list line's class and securities against the scenario's classes, compared exactly as
// the registry compares them.
void CheckEntries(const Firm& firm, const std::vector<ListEntry>& entries,
                  const std::vector<Class>& classes, std::vector<Warning>* out) {
    for (const ListEntry& e : entries) {
        Warning w;
        w.source = firm.source;
        w.line = e.line;
        const Class* c = ClassCoded(classes, e.classCode);
        if (!c) {
            w.kind = "class-not-in-scenario";
            w.subject = e.classCode;
            w.message = "class " + Quote(e.classCode) +
                        " is not among the scenario's classes (codes compare exactly, and the" +
                        " settings text is upper-cased): this line matches nothing";
            out->push_back(w);
            continue;
        }
        for (const std::string& code : e.securities) {
            bool found = false;
            for (const Security& sec : c->securities)
                found = found || sec.code == code;
            if (found) continue;
            w.kind = "security-not-in-class";
            w.subject = code;
            w.message = "security " + Quote(code) + " is not a security of class " + c->code +
                        " in the scenario: it matches nothing";
            out->push_back(w);
        }
    }
}

std::string Trimmed(const std::string& s) {
    size_t a = s.find_first_not_of(' '), b = s.find_last_not_of(" \r");
    return a == std::string::npos ? std::string() : s.substr(a, b - a + 1);
}

// Whether a client code of the settings (a prefix when it ends in '*') names a client of the
// firm in the scenario; the settings text is upper-cased, client codes compare without case.
bool NamesAClient(const std::string& code, const std::set<std::string>& clients) {
    bool prefix = !code.empty() && code.back() == '*';
    std::string stem = prefix ? code.substr(0, code.size() - 1) : code;
    for (const std::string& c : clients)
        if (prefix ? c.compare(0, stem.size(), stem) == 0 : c == stem) return true;
    return false;
}

// Settings lines that name a security, class or client the scenario does not have: a weight,
// a main margin class, a client section, template client or client lag. They change nothing
// for the clients the scenario has, so a client is a note; a security or class a warning.
void CheckNames(const Firm& firm, const Scenario& s, std::vector<Warning>* out) {
    std::set<std::string> clients;
    auto add = [&](const std::string& f, std::string c) {
        if (f != firm.id) return;
        for (char& ch : c)
            ch = char(toupper(static_cast<unsigned char>(ch)));
        clients.insert(c);
    };
    for (const MoneyLimit& m : s.moneyLimits)
        add(m.firm, m.client);
    for (const SecLimit& p : s.secLimits)
        add(p.firm, p.client);
    for (const RowRequest& r : s.rows)
        add(r.firm, r.client);
    auto report = [&](int32_t line, const char* kind, const std::string& subject,
                      const std::string& message, bool note) {
        Warning w = Mistake(firm.source, kind, subject, message, note);
        w.line = line;
        out->push_back(w);
    };
    auto client = [&](int32_t line, const std::string& code, const char* what) {
        if (!code.empty() && !NamesAClient(code, clients))
            report(line, "client-not-in-scenario", code,
                   std::string(what) + " " + Quote(code) + " names no client of firm " +
                       Quote(firm.id) + " in the scenario",
                   true);
    };
    std::string section, upper = firm.settings;
    for (char& ch : upper)
        ch = char(toupper(static_cast<unsigned char>(ch)));
    std::istringstream in(upper);
    int32_t lineNo = 0;
    for (std::string raw; std::getline(in, raw);) {
        ++lineNo;
        const std::string line = Trimmed(raw);
        if (line.rfind("[", 0) == 0) {
            section = line;
            const size_t tail = line.size() > 9 ? line.rfind("_MARGIN]") : std::string::npos;
            if (line.rfind("[CL", 0) == 0 && tail != std::string::npos && tail + 8 == line.size())
                client(lineNo, line.substr(3, tail - 3), "client section");
            continue;
        }
        const size_t eq = line.find('=');
        if (eq == std::string::npos) continue;
        const std::string key = Trimmed(line.substr(0, eq)), value = line.substr(eq + 1);
        std::vector<std::string> pieces;
        std::istringstream list(value);
        for (std::string piece; std::getline(list, piece, ',');)
            pieces.push_back(Trimmed(piece));
        if (section == "[SECURITYWEIGHT]" && !InSomeClass(s.classes, key))
            report(lineNo, "weight-not-in-scenario", key,
                   "weight of " + Quote(key) + ": no class of the scenario holds the security",
                   false);
        else if (section == "[GENERAL]" && key == "MAINMARGINCLASSES")
            for (const std::string& c : pieces) {
                if (!c.empty() && !ClassCoded(s.classes, c))
                    report(lineNo, "class-not-in-scenario", c,
                           "main margin class " + Quote(c) +
                               " is not among the scenario's classes: it orders nothing",
                           false);
            }
        else if (section == "[CLIENTLAG]")
            client(lineNo, key, "client lag of");
        else if (section.find("_MARGIN_TEMPLATE]") != std::string::npos && key == "CLIENTS")
            for (const std::string& c : pieces)
                client(lineNo, c, "template client");
    }
}

void CheckLimits(const Scenario& s, std::vector<Warning>* out) {
    std::set<std::string> firms;
    for (const Firm& f : s.firms)
        firms.insert(f.id);
    std::set<std::string> warnedFirms;
    auto firmKnown = [&](const std::string& firm, const std::string& where) {
        if (firms.count(firm)) return true;
        if (warnedFirms.insert(firm).second)
            out->push_back(Mistake(where, "firm-without-settings", firm,
                                   "firm " + Quote(firm) +
                                       " has no settings in the scenario (\"firms\"): no row" +
                                       " reads its records"));
        return false;
    };
    for (size_t i = 0; i < s.moneyLimits.size(); ++i)
        firmKnown(s.moneyLimits[i].firm, s.moneyLimitWhere[i]);
    for (size_t i = 0; i < s.secLimits.size(); ++i) {
        const SecLimit& p = s.secLimits[i];
        if (!firmKnown(p.firm, s.secLimitWhere[i])) continue;
        if (!InSomeClass(s.classes, p.secCode))
            out->push_back(Mistake(s.secLimitWhere[i], "security-in-no-class", p.secCode,
                                   "security " + Quote(p.secCode) +
                                       " is in no class of the scenario: the library cannot" +
                                       " price it and leaves the position out of every figure"));
        for (const Class& c : s.classes)
            for (const Security& sec : c.securities)
                if (sec.code == p.secCode && sec.market.last < 1e-8 && sec.market.prevPrice < 1e-8)
                    out->push_back(Mistake(s.secLimitWhere[i], "no-price", p.secCode,
                                           "security " + Quote(p.secCode) + " of class " + c.code +
                                               " has neither a last nor a previous price: the" +
                                               " library leaves the position out of every figure"));
    }
    // Legal, but no market quotes it: a bid above the offer.
    for (size_t i = 0; i < s.classes.size(); ++i)
        for (size_t k = 0; k < s.classes[i].securities.size(); ++k) {
            const Security& sec = s.classes[i].securities[k];
            if (sec.market.offer >= 1e-8 && sec.market.bid > sec.market.offer)
                out->push_back(Mistake(
                    "classes[" + std::to_string(i) + "].securities[" + std::to_string(k) +
                        "].market",
                    "bid-above-offer", sec.code,
                    "security " + Quote(sec.code) + " has a bid above its offer: longs are valued" +
                        " at the bid, shorts at the offer, so both look better than a market" +
                        " would allow"));
        }
    NoteRegrouped(s.moneyLimits, TerminalOrder(s.moneyLimits), s.moneyLimitWhere, out);
    NoteRegrouped(s.secLimits, TerminalOrder(s.secLimits), s.secLimitWhere, out);
}

void CheckRows(const Scenario& s, std::vector<Warning>* out) {
    std::set<std::tuple<std::string, std::string>> clients;
    for (const MoneyLimit& m : s.moneyLimits)
        clients.insert(ClientOf(m));
    for (const SecLimit& p : s.secLimits)
        clients.insert(ClientOf(p));
    for (size_t i = 0; i < s.rows.size(); ++i) {
        const RowRequest& r = s.rows[i];
        std::string where = "rows[" + std::to_string(i) + "]";
        bool known = false;
        for (const Firm& f : s.firms)
            known = known || f.id == r.firm;
        if (!known) {
            out->push_back(Mistake(where, "firm-without-settings", r.firm,
                                   "firm " + Quote(r.firm) +
                                       " has no settings in the scenario: the row is refused"));
            continue;
        }
        if (!clients.count(std::make_tuple(r.firm, r.client)))
            out->push_back(Mistake(where, "client-without-limits", r.client,
                                   "client " + Quote(r.client) + " of firm " + Quote(r.firm) +
                                       " has no limit records (codes compare exactly): every" +
                                       " figure is 0 and the margin level 100"));
        for (size_t k = 0; k < r.actv.size(); ++k) {
            const ActvRequest& a = r.actv[k];
            const Class* c = ClassCoded(s.classes, a.classCode);
            if (a.price <= 0 || !c || !(c->flags & 1)) continue;
            const Security* sec = nullptr;
            for (const Security& x : c->securities)
                if (x.code == a.secCode) sec = &x;
            if (!sec) continue;
            const Market& m = sec->market;
            double quoted = m.last > 0 ? m.last : m.prevPrice > 0 ? m.prevPrice : m.bid;
            if (a.price <= 200 && !(quoted > 0 && a.price > 3 * quoted && a.price > 100)) continue;
            char money[64];
            snprintf(money, sizeof money, "%.2f", m.accruedInt + sec->faceValue * a.price * 0.01);
            char price[32];
            snprintf(price, sizeof price, "%g", a.price);
            out->push_back(Mistake(
                where + ".actv[" + std::to_string(k) + "]", "price-in-money", a.secCode,
                "price " + std::string(price) + " of " + Quote(a.secCode) + ": class " + c->code +
                    " quotes in percent of face value, so it is read as " + price +
                    "% (a money price of " + money + "); give the price in percent"));
        }
    }
}

} // namespace

std::vector<Warning> AuditScenario(const Scenario& s, const std::string& name) {
    std::vector<Warning> out;
    // Without the library the settings go unchecked; running the scenario reports why.
    const bool open = OpenLibrary(s.version) == KR_ERR_NONE;
    for (const Firm& f : open ? s.firms : std::vector<Firm>()) {
        std::vector<Warning> firm;
        std::vector<ListEntry> entries;
        LoadSettingsText(f.settings, f.source, &firm, &entries, {});
        CheckEntries(f, entries, s.classes, &firm);
        CheckNames(f, s, &firm);
        std::stable_sort(firm.begin(), firm.end(),
                         [](const Warning& a, const Warning& b) { return a.line < b.line; });
        for (Warning& w : firm)
            w.firm = f.id;
        out.insert(out.end(), firm.begin(), firm.end());
    }
    std::vector<Warning> scenario;
    CheckLimits(s, &scenario);
    CheckRows(s, &scenario);
    for (Warning& w : scenario)
        w.path = w.source, w.source = name + ": " + w.source;
    out.insert(out.end(), scenario.begin(), scenario.end());
    return out;
}

} // namespace kesvar_cli
