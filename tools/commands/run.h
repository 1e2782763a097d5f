// kesvar run: a scenario run through the library as a terminal would, every figure printed.
#ifndef KESVAR_TOOLS_COMMANDS_RUN_H
#define KESVAR_TOOLS_COMMANDS_RUN_H

#include <string>
#include <vector>

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
    bool allClients = false;            // a row for every client with a limit record
    std::vector<std::string> failBelow; // FIGURE=L levels; exit status 3 when one is reached
};
CLI::App* AddRunCommand(CLI::App& app, RunArgs* args);
int RunRunCommand(const RunArgs& args);

// Audits a scenario (`name` in messages; the overrides already applied), runs it as `args`
// asks and prints the result on standard output, its warnings on standard error unless they
// are in the JSON. The exit status: 1 when a call failed, or under --strict when there is a
// warning; 3 when a client is at or below a --fail-below level.
int PrintRun(Scenario scenario, const std::string& name, const RunArgs& args);

} // namespace kesvar_cli

#endif
