#include "commands/explain.h"

#include <iostream>
#include <sstream>

#include <CLI/CLI.hpp>

#include "commands/format_option.h"

namespace kesvar_cli {

CLI::App* AddExplainCommand(CLI::App& app, ExplainArgs* a) {
    CLI::App* cmd = app.add_subcommand(
        "explain", "Say how each maxBuy and maxSell came about: the bounds, the one that decided");
    cmd->add_option("SCENARIO", a->scenario, "Scenario file (JSON; '-' reads standard input)")
        ->required();
    cmd->add_option("--client", a->client, "Only the rows of this client");
    cmd->add_option("--security", a->security,
                    "Only this security (added to rows that do not ask for it)");
    AddFormatOption(cmd, &a->format, {"text", "json"});
    AddWhatIfOptions(cmd, &a->whatIf);
    return cmd;
}

int RunExplainCommand(const ExplainArgs& a) {
    Scenario s;
    LoadScenarioWithWhatIf(a.scenario, a.whatIf, &s, std::cerr);
    std::vector<RowRequest> rows;
    for (const RowRequest& r : s.rows) {
        if (!a.client.empty() && r.client != a.client) continue;
        RowRequest kept = r;
        if (!a.security.empty()) {
            kept.actv.clear();
            for (const ActvRequest& q : r.actv)
                if (q.secCode == a.security) kept.actv.push_back(q);
            if (kept.actv.empty()) {
                ActvRequest q;
                int found = 0;
                for (const Class& c : s.classes)
                    for (const Security& sec : c.securities)
                        if (sec.code == a.security) {
                            ++found;
                            q.classId = c.id;
                            q.secId = sec.id;
                            q.classCode = c.code;
                            q.secCode = sec.code;
                        }
                if (found != 1)
                    throw CommandError("--security " + a.security + ": " +
                                       (found ? "in several classes" : "not in the scenario"));
                kept.actv.push_back(q);
            }
        }
        rows.push_back(kept);
    }
    if (rows.empty())
        throw CommandError("--client " + a.client + ": no row of the scenario is for it");
    s.rows = rows;
    RunOptions o;
    o.trace = true;
    RunResult r = RunScenario(s, o);
    std::ostringstream text;
    if (a.format == "json")
        PrintExplainJson(text, r);
    else
        PrintExplainText(text, r);
    std::cout << text.str() << std::flush;
    return r.AnyFailure() ? kExitFailure : 0;
}

} // namespace kesvar_cli
