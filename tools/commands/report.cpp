#include "commands/report.h"

#include <fstream>
#include <iostream>
#include <sstream>

#include <CLI/CLI.hpp>

#include "analyses/order.h"
#include "outputs/interactive.h"

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
    AddBasketOptions(cmd, &a->whatIf);
    cmd->add_flag("--interactive", a->interactive,
                  "Let the reader move each price and recompute the figures in the page");
    cmd->add_option("--module", a->module,
                    "The WebAssembly build's kesvar.js (build/wasm/web/package/), which "
                    "--interactive inlines");
    return cmd;
}

int RunReportCommand(const ReportArgs& a) {
    std::string module;
    if (a.interactive) {
        if (a.module.empty()) {
            std::cerr
                << "kesvar: --interactive needs --module, the WebAssembly build's kesvar.js\n";
            return 2;
        }
        try {
            module = ReadFile(a.module);
        } catch (const std::exception& e) {
            std::cerr << "kesvar: --module: " << e.what() << "\n";
            return 2;
        }
        if (!Inlinable(module)) {
            std::cerr << "kesvar: --module " << a.module << ": holds </script, cannot be inlined\n";
            return 2;
        }
    }
    StressArgs stress = a.stress;
    if (stress.level.empty()) stress.level = "marginLevel=50";
    stress.actv = false; // the report draws the row's figures only
    StressResult r = StressOfFile(a.scenario, stress, a.whatIf);
    std::ostringstream html;
    WriteReport(html, HeaderOf(a.scenario, a.whatIf, r), r, a.interactive ? &module : nullptr);
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
