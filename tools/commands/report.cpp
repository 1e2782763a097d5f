#include "commands/report.h"

#include <fstream>
#include <iostream>
#include <sstream>

#include <CLI/CLI.hpp>

namespace kesvar_cli {

CLI::App* AddReportCommand(CLI::App& app, ReportArgs* a) {
    CLI::App* cmd = app.add_subcommand(
        "report", "Write a self-contained HTML risk report: figures, why, stress, margin calls");
    cmd->add_option("SCENARIO", a->scenario, "Scenario file (JSON; '-' reads standard input)")
        ->required();
    cmd->add_option("-o,--output", a->output, "The HTML file to write ('-' writes standard output)")
        ->required();
    AddStressOptions(cmd, &a->stress);
    AddWhatIfOptions(cmd, &a->whatIf);
    return cmd;
}

int RunReportCommand(const ReportArgs& a) {
    StressArgs stress = a.stress;
    if (stress.level.empty()) stress.level = "marginLevel=50";
    stress.actv = false; // the report draws the row's figures only
    StressResult r = StressOfFile(a.scenario, stress, a.whatIf);
    std::ostringstream html;
    WriteReport(html, HeaderOf(a.scenario, a.whatIf, r), r);
    if (a.output == "-") {
        std::cout << html.str() << std::flush;
        return r.base.AnyFailure() ? kExitFailure : 0;
    }
    std::ofstream file(a.output, std::ios::binary);
    file << html.str();
    file.close();
    if (!file) throw CommandError("cannot write " + a.output);
    std::cout << "kesvar: wrote " << a.output << " (" << html.str().size() << " bytes)\n";
    return r.base.AnyFailure() ? kExitFailure : 0;
}

} // namespace kesvar_cli
