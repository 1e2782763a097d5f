#include "outputs/stress_output.h"

#include <math.h>

#include <nlohmann/json.hpp>

#include "outputs/csv.h"
#include "outputs/firm_output.h"
#include "outputs/run_output.h"
#include "scenario/text.h"

namespace kesvar_cli {

namespace {

using ordered_json = nlohmann::ordered_json;

const char* const kShownFigures[] = {"equity", "marginLevel", "buyCapacity", "longValue",
                                     "shortValue"};

std::string Scope(const StressPlan& plan) {
    return plan.security.empty() ? "every price" : "the prices of " + plan.security;
}

ordered_json SideJson(const CrossingSide& s, bool withPrice) {
    ordered_json j;
    j["shock"] = s.shock;
    if (withPrice) j["price"] = s.price;
    j["value"] = s.value;
    ordered_json m = ordered_json::object();
    for (const auto& p : s.markets)
        m[p.first] = {{"offer", p.second.offer},
                      {"bid", p.second.bid},
                      {"prev", p.second.prevPrice},
                      {"last", p.second.last}};
    j["prices"] = m;
    return j;
}

std::string CrossingText(const ClientStress& c, const StressPlan& plan) {
    if (c.crossings.empty()) return "none in range";
    std::string s;
    for (const Crossing& x : c.crossings) {
        if (!s.empty()) s += "; ";
        s += std::string(x.down ? "below" : "back to") + " " + Sprintf("%g", plan.level) +
             " at shock " + Percent(x.at.shock);
        if (!plan.security.empty()) s += " (" + plan.security + " " + Amount(x.at.price) + ")";
    }
    if (c.crossings.size() > 1) s += Sprintf(" [crosses %d times]", int(c.crossings.size()));
    return s;
}

} // namespace

void PrintStressTable(std::ostream& out, const StressResult& r) {
    const StressPlan& plan = r.plan;
    out << "Stress: " << Scope(plan) << " moved from " << Percent(plan.from) << " to "
        << Percent(plan.to) << " in " << r.shocks.size() << " steps";
    if (!plan.levelFigure.empty())
        out << "; level " << plan.levelFigure << " = " << Sprintf("%g", plan.level);
    out << "\n";
    for (const ClientStress& c : r.clients) {
        out << "\n" << c.request.firm << " / " << c.request.client << "\n";
        if (!c.base.ok) {
            out << "  " << c.base.failure.call << " failed: " << c.base.failure.code << " "
                << ErrorName(c.base.failure.code) << "\n";
            continue;
        }
        out << Sprintf("  %9s", "shock");
        if (!plan.security.empty()) out << Sprintf(" %10s", "price");
        for (const char* f : kShownFigures)
            out << Sprintf(" %12s", f);
        out << "\n";
        for (const StressPoint& p : c.points) {
            out << Sprintf("  %9s", Percent(p.shock).c_str());
            if (!plan.security.empty()) out << Sprintf(" %10s", Amount(p.price).c_str());
            for (const char* f : kShownFigures)
                out << Sprintf(" %12s", Amount(Figure(p.row, f)).c_str());
            out << "\n";
        }
        if (plan.actv)
            for (size_t a = 0; a < c.request.actv.size(); ++a) {
                out << "  " << c.request.actv[a].secCode << " maxBuy/maxSell:";
                for (const StressPoint& p : c.points) {
                    if (a >= p.row.actv.size() || !p.row.actv[a].ok) {
                        out << " -";
                        continue;
                    }
                    out << " " << p.row.actv[a].actv.maxBuy << "/" << p.row.actv[a].actv.maxSell;
                }
                out << "\n";
            }
        if (!plan.levelFigure.empty())
            out << "  " << plan.levelFigure << " " << Sprintf("%g", plan.level) << ": "
                << CrossingText(c, plan) << "\n";
    }
    if (plan.firm) PrintFirmTable(out, SummarizeFirm(r.base, plan.failBelow));
    if (plan.levelFigure.empty()) return;
    // Who is nearest the level.
    out << "\nClients by distance to " << plan.levelFigure << " " << Sprintf("%g", plan.level)
        << ":\n";
    for (const ClientStress* c : RankedClients(r)) {
        if (!c->base.ok) continue;
        double d = DistanceToLevel(*c, plan);
        out << Sprintf("  %-12s %-15s ", c->request.firm.c_str(), c->request.client.c_str())
            << (d < 0    ? "none in range"
                : d == 0 ? "already below"
                         : "a move of " + Percent(d).substr(1))
            << "\n";
    }
}

void PrintStressJson(std::ostream& out, const StressResult& r) {
    const StressPlan& plan = r.plan;
    ordered_json root;
    root["overrides"] = OverridesJson(r.whatIf);
    root["moves"] = plan.security.empty() ? ordered_json("all") : ordered_json(plan.security);
    root["shocks"] = r.shocks;
    if (!plan.levelFigure.empty())
        root["level"] = {{"figure", plan.levelFigure}, {"value", plan.level}};
    root["clients"] = ordered_json::array();
    for (const ClientStress& c : r.clients) {
        ordered_json j;
        j["firm"] = c.request.firm;
        j["client"] = c.request.client;
        j["ok"] = c.base.ok;
        if (!c.base.ok) {
            j["failure"] = {{"call", c.base.failure.call}, {"code", c.base.failure.code}};
            root["clients"].push_back(j);
            continue;
        }
        j["points"] = ordered_json::array();
        for (const StressPoint& p : c.points) {
            ordered_json pj;
            pj["shock"] = p.shock;
            if (!plan.security.empty()) pj["price"] = p.price;
            pj["ok"] = p.row.ok;
            ordered_json figures = ordered_json::object();
            if (p.row.ok)
                for (const auto& f : RowFigures(p.row.row))
                    figures[f.first] = f.second;
            pj["figures"] = figures;
            if (plan.actv) {
                pj["actv"] = ordered_json::array();
                for (const ActvResult& a : p.row.actv) {
                    ordered_json aj = {{"security", a.request.secCode}, {"ok", a.ok}};
                    if (a.ok) {
                        aj["position"] = a.actv.position;
                        aj["maxBuy"] = a.actv.maxBuy;
                        aj["maxSell"] = a.actv.maxSell;
                        aj["value"] = a.actv.value;
                    }
                    pj["actv"].push_back(aj);
                }
            }
            j["points"].push_back(pj);
        }
        if (!plan.levelFigure.empty()) {
            ordered_json cross = ordered_json::array();
            for (const Crossing& x : c.crossings)
                cross.push_back({{"direction", x.down ? "down" : "up"},
                                 {"shock", x.at.shock},
                                 {"before", SideJson(x.before, !plan.security.empty())},
                                 {"at", SideJson(x.at, !plan.security.empty())}});
            j["crossings"] = cross;
            j["crossingCount"] = c.crossings.size();
            double d = DistanceToLevel(c, plan);
            j["distance"] = d < 0 ? ordered_json() : ordered_json(d);
        }
        root["clients"].push_back(j);
    }
    if (plan.firm) root["firm"] = FirmJson(SummarizeFirm(r.base, plan.failBelow));
    out << root.dump(2) << "\n";
}

void PrintStressCsv(std::ostream& out, const StressResult& r) {
    const StressPlan& plan = r.plan;
    WriteCsvLine(out, {"record", "firm", "client", "security", "shock", "price", "field", "value"});
    for (const auto& [field, value] : OverrideFields(r.whatIf))
        WriteCsvLine(out, {"override", "", "", "", "", "", field, value});
    for (const ClientStress& c : r.clients) {
        const std::string& firm = c.request.firm;
        const std::string& client = c.request.client;
        if (!c.base.ok) {
            WriteCsvLine(out, {"failure", firm, client, "", "", "", c.base.failure.call,
                               std::to_string(c.base.failure.code)});
            continue;
        }
        for (const StressPoint& p : c.points) {
            std::string shock = Exact(p.shock);
            std::string price = plan.security.empty() ? "" : Exact(p.price);
            for (const auto& f : RowFigures(p.row.row))
                WriteCsvLine(out,
                             {"point", firm, client, "", shock, price, f.first, Exact(f.second)});
            for (const ActvResult& a : p.row.actv) {
                if (!a.ok) continue;
                const std::string& sec = a.request.secCode;
                WriteCsvLine(out, {"actv", firm, client, sec, shock, price, "maxBuy",
                                   std::to_string(a.actv.maxBuy)});
                WriteCsvLine(out, {"actv", firm, client, sec, shock, price, "maxSell",
                                   std::to_string(a.actv.maxSell)});
            }
        }
        for (const Crossing& x : c.crossings)
            WriteCsvLine(out, {"crossing", firm, client, "", Exact(x.at.shock),
                               plan.security.empty() ? "" : Exact(x.at.price),
                               plan.levelFigure + (x.down ? " down" : " up"), Exact(x.at.value)});
    }
    if (plan.firm) PrintFirmCsv(out, SummarizeFirm(r.base, plan.failBelow), 3);
}

} // namespace kesvar_cli
