#include "commands/stress.h"

#include <iostream>
#include <sstream>

#include <CLI/CLI.hpp>

#include "analyses/firm.h"
#include "commands/format_option.h"

#include "outputs/stress_output.h"

namespace kesvar_cli {

CLI::App* AddStressCommand(CLI::App& app, StressCommandArgs* a) {
    CLI::App* cmd = app.add_subcommand(
        "stress", "Every row at each price shock of a grid; where each client crosses a level");
    cmd->add_option("SCENARIO", a->scenario, "Scenario file (JSON; '-' reads standard input)")
        ->required();
    AddFormatOption(cmd, &a->format, {"table", "json", "csv"});
    AddStressOptions(cmd, &a->stress);
    AddFirmOptions(cmd, &a->stress.allClients, &a->stress.failBelow);
    AddWhatIfOptions(cmd, &a->whatIf);
    AddBasketOptions(cmd, &a->whatIf);
    return cmd;
}

int RunStressCommand(const StressCommandArgs& a) {
    StressResult r = StressOfFile(a.scenario, a.stress, a.whatIf);
    std::ostringstream text;
    if (a.format == "json")
        PrintStressJson(text, r);
    else if (a.format == "csv")
        PrintStressCsv(text, r);
    else
        PrintStressTable(text, r);
    std::cout << text.str() << std::flush;
    for (const ClientStress& c : r.clients)
        if (!c.base.ok) return kExitFailure;
    return AnyAtOrBelow(SummarizeFirm(r.base, r.plan.failBelow)) ? kExitAtOrBelow : 0;
}

} // namespace kesvar_cli
