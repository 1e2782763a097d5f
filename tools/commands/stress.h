// kesvar stress: every row at each price shock of a grid, and where each client crosses a level.
#ifndef KESVAR_TOOLS_COMMANDS_STRESS_H
#define KESVAR_TOOLS_COMMANDS_STRESS_H

#include <string>

#include "analyses/stress.h"
#include "analyses/whatif.h"

namespace kesvar_cli {

struct StressCommandArgs {
    std::string scenario;
    std::string format = "table";
    StressArgs stress;
    WhatIf whatIf;
};
CLI::App* AddStressCommand(CLI::App& app, StressCommandArgs* args);
int RunStressCommand(const StressCommandArgs& args);

} // namespace kesvar_cli

#endif
