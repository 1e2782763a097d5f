// kesvar run: a scenario run through the library as a terminal would, every figure printed.
#ifndef KESVAR_TOOLS_COMMANDS_RUN_H
#define KESVAR_TOOLS_COMMANDS_RUN_H

#include <string>

#include <CLI/CLI.hpp>

#include "analyses/whatif.h"
#include "outputs/run_output.h"

namespace kesvar_cli {

struct RunArgs {
    std::string scenario;
    std::string format = "table";
    bool strict = false;
    bool explain = false;
    WhatIf whatIf;
};
CLI::App* AddRunCommand(CLI::App& app, RunArgs* args);
int RunRunCommand(const RunArgs& args);

// Audits a scenario (`name` in messages), runs it and prints the result on standard output,
// its warnings on standard error unless they are in the JSON. The exit status: 1 when a call
// failed, or under `strict` when there is a warning.
int PrintRun(const Scenario& scenario, const std::string& name, const std::string& format,
             bool strict, const WhatIf& whatIf, bool explain);

} // namespace kesvar_cli

#endif
