#include "commands/cure.h"

#include <iostream>
#include <sstream>

#include "analyses/cure.h"
#include "analyses/firm.h"
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
    cmd->add_option(
           "--by", a->by,
           "Sale order: value (the largest first), loss or weight (the firm's, the highest first)")
        ->check(CLI::IsMember({"value", "loss", "weight"}));
    AddFirmOptions(cmd, &a->allClients, &a->failBelow);
    AddWhatIfOptions(cmd, &a->whatIf);
    return cmd;
}

int RunCureCommand(const CureArgs& a) {
    const Level level = ParseLevels({a.level}, "--level")[0];
    const std::vector<Level> failBelow = ParseLevels(a.failBelow, "--fail-below");
    Scenario scenario = LoadScenarioFile(a.scenario, !a.allClients);
    ApplyWhatIf(a.whatIf, &scenario);
    if (a.allClients) RequestAllClients(&scenario);
    const CureOrder order = a.by == "loss"     ? CureOrder::Loss
                            : a.by == "weight" ? CureOrder::Weight
                                               : CureOrder::Value;
    CureResult r = RunCure(scenario, level, order);
    FirmSummary firm = SummarizeFirm(r.base, failBelow);
    // As run: the whole firm, or a watch on levels, comes with the firm's summary.
    const FirmSummary* summary = a.allClients || !failBelow.empty() ? &firm : nullptr;
    std::ostringstream text;
    if (a.format == "json") {
        PrintCureJson(text, r, summary);
    } else if (a.format == "csv") {
        PrintCureCsv(text, r);
        if (summary) PrintFirmCsv(text, firm, 1);
    } else {
        PrintCureText(text, r);
        if (summary) PrintFirmTable(text, firm);
    }
    std::cout << text.str() << std::flush;
    if (r.base.AnyFailure()) return kExitFailure;
    return AnyAtOrBelow(firm) ? kExitAtOrBelow : 0;
}

} // namespace kesvar_cli
