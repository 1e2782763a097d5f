#include "commands/run.h"

#include <iostream>
#include <sstream>

#include "analyses/audit.h"
#include "commands/format_option.h"

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
    cmd->footer("Settings and scenario warnings go to standard error (table, csv) or to the\n"
                "\"warnings\" array (json). The scenario format is described in tools/README.md.");
    return cmd;
}

int PrintRun(const Scenario& scenario, const std::string& name, const std::string& format,
             bool strict, const WhatIf& whatIf, bool explain) {
    std::vector<Warning> warnings = AuditScenario(scenario, name);
    RunOptions options;
    options.trace = explain;
    RunResult result = RunScenario(scenario, options);
    result.warnings = warnings;
    std::ostringstream text;
    if (format == "json")
        PrintJson(text, result, whatIf);
    else if (format == "csv")
        PrintCsv(text, result, whatIf);
    else
        PrintTable(text, result);
    if (format != "json") {
        for (const Warning& w : result.warnings)
            std::cerr << WarningText(w) << "\n";
        std::cerr << std::flush;
    }
    std::cout << text.str() << std::flush;
    if (result.AnyFailure()) return kExitFailure;
    return strict && result.AnyWarning() ? kExitFailure : 0;
}

int RunRunCommand(const RunArgs& a) {
    Scenario scenario = LoadScenarioFile(a.scenario);
    ApplyWhatIf(a.whatIf, &scenario);
    return PrintRun(scenario, a.scenario, a.format, a.strict, a.whatIf, a.explain);
}

} // namespace kesvar_cli
