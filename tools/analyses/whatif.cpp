#include "analyses/whatif.h"

#include <math.h>
#include <stdlib.h>

#include <CLI/CLI.hpp>

#include "analyses/audit.h"

namespace kesvar_cli {

namespace {

// Every security of the scenario with this code; none is an error.
std::vector<Security*> SecuritiesOf(Scenario* s, const std::string& code, const std::string& arg) {
    std::vector<Security*> found;
    for (Class& c : s->classes)
        for (Security& sec : c.securities)
            if (sec.code == code) found.push_back(&sec);
    if (found.empty()) throw WhatIfError(arg + ": the scenario has no security " + code);
    return found;
}

double* PriceField(Market* m, const std::string& field) {
    if (field == "offer") return &m->offer;
    if (field == "bid") return &m->bid;
    if (field == "prev" || field == "prevPrice") return &m->prevPrice;
    if (field == "last") return &m->last;
    return nullptr;
}

} // namespace

double ParseNumber(const std::string& text, const std::string& what) {
    const char* begin = text.c_str();
    char* end = nullptr;
    double v = strtod(begin, &end);
    if (text.empty() || *end != '\0' || !isfinite(v))
        throw WhatIfError(what + ": expected a number, found '" + text + "'");
    return v;
}

double ParsePercent(const std::string& text, const std::string& what) {
    std::string digits = text;
    if (!digits.empty() && digits.back() == '%') digits.pop_back();
    return ParseNumber(digits, what) / 100.0;
}

Market Shocked(const Market& m, double shock) {
    Market out = m;
    const double factor = 1.0 + shock;
    out.offer = m.offer * factor;
    out.bid = m.bid * factor;
    out.prevPrice = m.prevPrice * factor;
    out.last = m.last * factor;
    return out;
}

void LoadScenarioWithWhatIf(const std::string& path, const WhatIf& whatIf, Scenario* scenario,
                            std::ostream& err, std::vector<Warning>* warnings, bool rowsNeeded) {
    *scenario = LoadScenarioFile(path, rowsNeeded);
    ApplyWhatIf(whatIf, scenario);
    std::vector<Warning> found = AuditScenario(*scenario, path);
    for (const Warning& w : found)
        err << WarningText(w) << "\n";
    if (warnings) *warnings = found;
}

void AddWhatIfOptions(CLI::App* command, WhatIf* w) {
    command->add_option("--price", w->prices,
                        "CODE=P sets the offer, bid, previous and last price of CODE; "
                        "CODE.offer=P (or .bid, .prev, .last) sets one");
    command->add_option("--shift", w->shifts,
                        "PCT% moves every price by PCT percent; CODE=PCT% only those of CODE "
                        "(shifts apply before --price)");
}

void ApplyWhatIf(const WhatIf& w, Scenario* s) {
    for (const std::string& arg : w.shifts) {
        size_t eq = arg.find('=');
        std::string what = "--shift " + arg;
        if (eq == std::string::npos) {
            double shock = ParsePercent(arg, what);
            if (shock < -1.0) throw WhatIfError(what + ": a price cannot fall by more than 100%");
            for (Class& c : s->classes)
                for (Security& sec : c.securities)
                    sec.market = Shocked(sec.market, shock);
            continue;
        }
        double shock = ParsePercent(arg.substr(eq + 1), what);
        if (shock < -1.0) throw WhatIfError(what + ": a price cannot fall by more than 100%");
        for (Security* sec : SecuritiesOf(s, arg.substr(0, eq), what))
            sec->market = Shocked(sec->market, shock);
    }
    for (const std::string& arg : w.prices) {
        std::string what = "--price " + arg;
        size_t eq = arg.find('=');
        if (eq == std::string::npos || eq == 0)
            throw WhatIfError(what + ": expected CODE=PRICE or CODE.FIELD=PRICE");
        double price = ParseNumber(arg.substr(eq + 1), what);
        if (price < 0) throw WhatIfError(what + ": expected a price of 0 or more");
        std::string code = arg.substr(0, eq), field;
        size_t dot = code.rfind('.');
        // A code may itself hold a dot: only a known field name after the last one counts.
        Market probe;
        if (dot != std::string::npos && PriceField(&probe, code.substr(dot + 1))) {
            field = code.substr(dot + 1);
            code = code.substr(0, dot);
        }
        for (Security* sec : SecuritiesOf(s, code, what)) {
            if (!field.empty()) {
                *PriceField(&sec->market, field) = price;
                continue;
            }
            sec->market.offer = sec->market.bid = price;
            sec->market.prevPrice = sec->market.last = price;
        }
    }
}

} // namespace kesvar_cli
