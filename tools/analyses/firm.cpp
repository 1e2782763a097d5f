#include "analyses/firm.h"

#include <cmath>
#include <map>
#include <set>
#include <tuple>

#include <CLI/CLI.hpp>

#include "scenario/command_error.h"
#include "analyses/stress.h"

namespace kesvar_cli {

bool ParseFigureLevel(const std::string& text, Level* out, std::string* reason) {
    StressPlan plan;
    if (!ParseLevel(text, &plan, reason)) return false;
    out->figure = plan.levelFigure;
    out->level = plan.level;
    return true;
}

bool AtOrBelow(const RowResult& row, const Level& level) {
    double v = Figure(row, level.figure);
    return !std::isnan(v) && v <= level.level;
}

void RequestAllClients(Scenario* s) {
    // The first class listing each code prices it, as a scenario's own actv would.
    std::map<std::string, ActvRequest> actvOf;
    for (const Class& c : s->classes)
        for (const Security& sec : c.securities) {
            ActvRequest a;
            a.classId = c.id;
            a.secId = sec.id;
            a.classCode = c.code;
            a.secCode = sec.code;
            actvOf.emplace(sec.code, a);
        }
    std::map<std::tuple<std::string, std::string>, size_t> rowOf;
    std::vector<RowRequest> rows;
    std::vector<std::set<std::string>> asked;
    auto rowFor = [&](const std::string& firm, const std::string& client) -> size_t {
        auto it = rowOf.emplace(std::make_tuple(firm, client), rows.size());
        if (it.second) {
            RowRequest r;
            r.firm = firm;
            r.client = client;
            rows.push_back(r);
            asked.emplace_back();
        }
        return it.first->second;
    };
    for (size_t i : TerminalOrder(s->moneyLimits))
        rowFor(s->moneyLimits[i].firm, s->moneyLimits[i].client);
    for (size_t i : TerminalOrder(s->secLimits)) {
        const SecLimit& p = s->secLimits[i];
        size_t r = rowFor(p.firm, p.client);
        auto a = actvOf.find(p.secCode);
        if (a != actvOf.end() && asked[r].insert(p.secCode).second)
            rows[r].actv.push_back(a->second);
    }
    s->rows = std::move(rows);
}

std::vector<Level> ParseLevels(const std::vector<std::string>& texts, const std::string& option) {
    std::vector<Level> out(texts.size());
    for (size_t i = 0; i < texts.size(); ++i) {
        std::string reason;
        if (!ParseFigureLevel(texts[i], &out[i], &reason))
            throw CommandError(option + " " + texts[i] + ": " + reason);
    }
    return out;
}

void AddFirmOptions(CLI::App* cmd, bool* allClients, std::vector<std::string>* failBelow) {
    cmd->add_flag("--all-clients", *allClients,
                  "A row for every client with a limit record, an actv for each of its "
                  "securities, instead of the scenario's rows; adds the firm summary");
    if (!failBelow) return;
    cmd->add_option("--fail-below", *failBelow,
                    "FIGURE=L: count the clients at or below; exit status 3 when there is one "
                    "(repeatable; adds the firm summary)");
}

FirmSummary SummarizeFirm(const RunResult& result, const std::vector<Level>& levels) {
    FirmSummary out;
    for (const Level& l : levels)
        out.levels.push_back({l, {}});
    for (const RowResult& row : result.rows) {
        ++out.clients;
        if (!row.ok) {
            ++out.failed;
            continue;
        }
        out.equity += row.row.equity;
        out.longValue += row.row.longValue;
        out.shortValue += row.row.shortValue;
        for (LevelCount& c : out.levels)
            if (AtOrBelow(row, c.level)) c.clients.push_back(&row);
    }
    return out;
}

bool AnyAtOrBelow(const FirmSummary& summary) {
    for (const LevelCount& c : summary.levels)
        if (!c.clients.empty()) return true;
    return false;
}

} // namespace kesvar_cli
