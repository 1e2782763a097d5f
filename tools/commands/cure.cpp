#include "commands/cure.h"

#include <iostream>
#include <sstream>

#include "analyses/cure.h"
#include "commands/format_option.h"
#include "outputs/cure_output.h"
#include "outputs/firm_output.h"

namespace kesvar_cli {

CLI::App* AddCureCommand(CLI::App& app, CureArgs* a) {
    CLI::App* cmd = app.add_subcommand(
        "cure", "For each client at or below a level: the deposit, the sales and the buy-backs "
                "that restore it");
    cmd->add_option("SCENARIO", a->scenario, "Scenario file (JSON; '-' reads standard input)")
        ->required();
    AddFormatOption(cmd, &a->format, {"table", "json", "csv"});
    cmd->add_option("--level", a->level, "FIGURE=L: marginLevel=70, equity=0, buyCapacity=0")
        ->required();
    cmd->add_option("--by", a->by, "Sale order: value (the largest first) or loss")
        ->check(CLI::IsMember({"value", "loss"}));
    cmd->add_flag("--all-clients", a->allClients,
                  "Every client with a limit record instead of the scenario's rows");
    cmd->add_option("--fail-below", a->failBelow,
                    "FIGURE=L: exit status 3 when a client is at or below (repeatable)");
    AddWhatIfOptions(cmd, &a->whatIf);
    return cmd;
}

int RunCureCommand(const CureArgs& a) {
    Level level;
    std::vector<Level> failBelow(a.failBelow.size());
    std::string reason;
    if (!ParseFigureLevel(a.level, &level, &reason))
        throw CommandError("--level " + a.level + ": " + reason);
    for (size_t i = 0; i < failBelow.size(); ++i)
        if (!ParseFigureLevel(a.failBelow[i], &failBelow[i], &reason))
            throw CommandError("--fail-below " + a.failBelow[i] + ": " + reason);
    Scenario scenario = LoadScenarioFile(a.scenario);
    ApplyWhatIf(a.whatIf, &scenario);
    if (a.allClients) RequestAllClients(&scenario);
    CureResult r = RunCure(scenario, level, a.by == "loss" ? CureOrder::Loss : CureOrder::Value);
    FirmSummary firm = SummarizeFirm(r.base, failBelow);
    std::ostringstream text;
    if (a.format == "json")
        PrintCureJson(text, r);
    else if (a.format == "csv")
        PrintCureCsv(text, r);
    else
        PrintCureText(text, r);
    if (!failBelow.empty() && a.format == "table") PrintFirmTable(text, firm);
    std::cout << text.str() << std::flush;
    if (r.base.AnyFailure()) return kExitFailure;
    return AnyAtOrBelow(firm) ? kExitAtOrBelow : 0;
}

} // namespace kesvar_cli
