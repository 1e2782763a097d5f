#include "outputs/cure_output.h"

#include <nlohmann/json.hpp>

#include "outputs/csv.h"
#include "outputs/firm_output.h"
#include "scenario/text.h"

namespace kesvar_cli {

namespace {

using ordered_json = nlohmann::ordered_json;

void PrintPlanText(std::ostream& out, const char* what, const TradePlan& p, const Level& l) {
    if (p.steps.empty()) return;
    out << "  " << what << ":\n";
    for (const CureStep& s : p.steps)
        out << Sprintf("    %-14s %8d lots  %14.2f  -> %s %.2f\n", s.security.c_str(), s.lots,
                       s.cents / 100, l.figure.c_str(), s.figure);
    out << (p.restores
                ? "    restores the level\n"
                : Sprintf("    cannot restore it alone: the best reachable is %.2f\n", p.best));
}

ordered_json PlanJson(const TradePlan& p) {
    ordered_json j;
    j["restores"] = p.restores;
    j["best"] = p.best;
    j["steps"] = ordered_json::array();
    for (const CureStep& s : p.steps)
        j["steps"].push_back({{"security", s.security},
                              {"lots", s.lots},
                              {"units", s.units},
                              {"money", s.cents / 100},
                              {"figure", s.figure}});
    return j;
}

} // namespace

std::string Apart(double v, double other) {
    for (int digits = 10; digits < 17; ++digits) {
        std::string text = Sprintf("%.*g", digits, v);
        if (text != Sprintf("%.*g", digits, other)) return text;
    }
    return Sprintf("%.17g", v);
}

const char* CureOrderName(CureOrder o) {
    return o == CureOrder::Value  ? "the largest value first"
           : o == CureOrder::Loss ? "the largest loss first"
                                  : "the highest weight first";
}

void PrintCureText(std::ostream& out, const CureResult& r) {
    const std::string& f = r.level.figure;
    out << "Clients at or below " << f << " " << Sprintf("%g", r.level.level) << ": "
        << r.clients.size() << "\n";
    for (const ClientCure& c : r.clients) {
        out << Sprintf("\n%s / %s  %s %.2f\n", c.request.firm.c_str(), c.request.client.c_str(),
                       f.c_str(), c.figure);
        if (!c.hasMoney) {
            out << "  no money limit: nothing to deposit into or trade through\n";
            continue;
        }
        if (c.depositFound)
            out << Sprintf("  deposit %.2f -> %s %s (one cent less: %s)\n",
                           double(c.depositCents) / 100, f.c_str(),
                           Apart(c.afterDeposit, c.oneCentLess).c_str(),
                           Apart(c.oneCentLess, c.afterDeposit).c_str());
        else
            out << "  no deposit restores it\n";
        PrintPlanText(out, (std::string("sell, ") + CureOrderName(r.order)).c_str(), c.sales,
                      r.level);
        PrintPlanText(out, "buy back shorts", c.buyBack, r.level);
    }
}

void PrintCureJson(std::ostream& out, const CureResult& r, const FirmSummary* firm) {
    ordered_json root;
    root["figure"] = r.level.figure;
    root["level"] = r.level.level;
    root["order"] = r.order == CureOrder::Value  ? "value"
                    : r.order == CureOrder::Loss ? "loss"
                                                 : "weight";
    root["clients"] = ordered_json::array();
    for (const ClientCure& c : r.clients) {
        ordered_json j;
        j["firm"] = c.request.firm;
        j["client"] = c.request.client;
        j["figure"] = c.figure;
        j["hasMoney"] = c.hasMoney;
        j["deposit"] = c.depositFound ? ordered_json(double(c.depositCents) / 100) : ordered_json();
        j["afterDeposit"] = c.afterDeposit;
        j["oneCentLess"] = c.oneCentLess;
        j["sales"] = PlanJson(c.sales);
        j["buyBack"] = PlanJson(c.buyBack);
        root["clients"].push_back(j);
    }
    if (firm) root["firm"] = FirmJson(*firm);
    out << root.dump(2) << "\n";
}

void PrintCureCsv(std::ostream& out, const CureResult& r) {
    WriteCsvLine(out, {"record", "firm", "client", "security", "field", "value"});
    for (const ClientCure& c : r.clients) {
        const std::string& firm = c.request.firm;
        const std::string& client = c.request.client;
        WriteCsvLine(out, {"client", firm, client, "", r.level.figure, Exact(c.figure)});
        if (c.depositFound) {
            WriteCsvLine(
                out, {"deposit", firm, client, "", "money", Exact(double(c.depositCents) / 100)});
            WriteCsvLine(out, {"deposit", firm, client, "", r.level.figure, Exact(c.afterDeposit)});
        }
        auto plan = [&](const char* record, const TradePlan& p) {
            for (const CureStep& s : p.steps) {
                WriteCsvLine(out,
                             {record, firm, client, s.security, "lots", std::to_string(s.lots)});
                WriteCsvLine(out,
                             {record, firm, client, s.security, r.level.figure, Exact(s.figure)});
            }
            if (!p.steps.empty())
                WriteCsvLine(out, {record, firm, client, "", "restores", p.restores ? "1" : "0"});
        };
        plan("sale", c.sales);
        plan("buyBack", c.buyBack);
    }
}

} // namespace kesvar_cli
