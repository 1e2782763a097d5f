#include "commands/report.h"

#include <fstream>
#include <iostream>
#include <sstream>

#include <CLI/CLI.hpp>

#include "analyses/cure.h"
#include "analyses/firm.h"
#include "analyses/order.h"
#include "outputs/interactive.h"

namespace kesvar_cli {

namespace {

// The cures of the clients the page shows, at its level, the largest value sold first.
CureResult CuresOf(Scenario s, const StressResult& r) {
    s.rows.clear();
    for (const ClientStress& c : r.clients)
        s.rows.push_back(c.request);
    return RunCure(s, Level{r.plan.levelFigure, r.plan.level}, CureOrder::Value);
}

} // namespace

CLI::App* AddReportCommand(CLI::App& app, ReportArgs* a) {
    CLI::App* cmd = app.add_subcommand(
        "report", "Write a self-contained HTML risk report: figures, why, stress, margin calls");
    cmd->add_option("SCENARIO", a->scenario, "Scenario file (JSON; '-' reads standard input)")
        ->required();
    cmd->add_option("-o,--output", a->output, "The HTML file to write ('-' writes standard output)")
        ->required();
    AddStressOptions(cmd, &a->stress);
    AddFirmOptions(cmd, &a->stress.allClients, nullptr);
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
        if (a.module.empty())
            throw CommandError("--interactive needs --module, the WebAssembly build's kesvar.js");
        try {
            module = ReadFile(a.module);
        } catch (const std::runtime_error& e) {
            throw CommandError(std::string("--module: ") + e.what());
        }
        if (!Inlinable(module))
            throw CommandError("--module " + a.module + ": holds </script, cannot be inlined");
    }
    StressArgs stress = a.stress;
    if (stress.level.empty()) stress.level = "marginLevel=50";
    stress.actv = false; // the report draws the row's figures only
    Scenario ran;
    StressResult r = StressOfFile(a.scenario, stress, a.whatIf, &ran);
    const CureResult cures = CuresOf(ran, r);
    std::ostringstream html;
    WriteReport(html, HeaderOf(a.scenario, a.whatIf, r), r, a.interactive ? &module : nullptr,
                &cures);
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
