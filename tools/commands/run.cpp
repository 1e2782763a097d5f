#include "commands/run.h"

#include <iostream>
#include <sstream>

#include "analyses/audit.h"
#include "analyses/firm.h"
#include "analyses/order.h"
#include "commands/format_option.h"
#include "outputs/firm_output.h"
#include "outputs/order_output.h"

namespace kesvar_cli {

CLI::App* AddRunCommand(CLI::App& app, RunArgs* a) {
    CLI::App* cmd =
        app.add_subcommand("run", "Run a margin scenario (JSON) and print every figure");
    cmd->add_option("SCENARIO", a->scenario,
                    "Scenario file (JSON; // comments allowed; '-' reads standard input)")
        ->required();
    AddFormatOption(cmd, &a->format, {"table", "json", "csv"});
    cmd->add_flag("--strict", a->strict, "Exit with status 1 when there is any warning");
    cmd->add_flag("--explain", a->explain, "Say under each quantity what decided it");
    AddWhatIfOptions(cmd, &a->whatIf);
    AddBasketOptions(cmd, &a->whatIf);
    AddFirmOptions(cmd, &a->allClients, &a->failBelow);
    cmd->footer("Settings and scenario warnings go to standard error (table, csv) or to the\n"
                "\"warnings\" array (json). The scenario format is described in tools/README.md.");
    return cmd;
}

int PrintRun(Scenario scenario, const std::string& name, const RunArgs& a) {
    const std::vector<Level> levels = ParseLevels(a.failBelow, "--fail-below");
    if (a.allClients) RequestAllClients(&scenario);
    std::vector<Warning> warnings = AuditScenario(scenario, name);
    // After the audit: the records the basket adds are the tool's, not the file's.
    const std::vector<OrderImpact> basket = ApplyBasket(a.whatIf, &scenario);
    if (a.allClients && !basket.empty()) RequestAllClients(&scenario); // new holdings' actv
    RunOptions options;
    options.trace = a.explain;
    RunResult result = RunScenario(scenario, options);
    result.warnings = warnings;
    FirmSummary firm = SummarizeFirm(result, levels);
    const FirmSummary* summary = a.allClients || !levels.empty() ? &firm : nullptr;
    std::ostringstream text;
    if (a.format == "json") {
        PrintJson(text, result, a.whatIf, summary, basket);
    } else if (a.format == "csv") {
        PrintCsv(text, result, a.whatIf, basket);
        if (summary) PrintFirmCsv(text, firm);
    } else {
        PrintTable(text, result);
        if (summary) PrintFirmTable(text, firm);
        PrintBasketTable(text, a.whatIf, basket);
    }
    if (a.format != "json") {
        for (const Warning& w : result.warnings)
            std::cerr << WarningText(w) << "\n";
        std::cerr << std::flush;
    }
    std::cout << text.str() << std::flush;
    if (result.AnyFailure()) return kExitFailure;
    if (a.strict && result.AnyWarning()) return kExitFailure;
    return AnyAtOrBelow(firm) ? kExitAtOrBelow : 0;
}

int RunRunCommand(const RunArgs& a) {
    Scenario scenario = LoadScenarioFile(a.scenario, !a.allClients);
    ApplyWhatIf(a.whatIf, &scenario);
    return PrintRun(scenario, a.scenario, a);
}

} // namespace kesvar_cli
