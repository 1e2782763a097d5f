// kesvar cure: what brings each client at or below a level back above it.
#ifndef KESVAR_TOOLS_COMMANDS_CURE_H
#define KESVAR_TOOLS_COMMANDS_CURE_H

#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "analyses/whatif.h"

namespace kesvar_cli {

struct CureArgs {
    std::string scenario;
    std::string format = "table";
    std::string level;
    std::string by = "value";
    bool allClients = false;
    std::vector<std::string> failBelow;
    WhatIf whatIf;
};
CLI::App* AddCureCommand(CLI::App& app, CureArgs* args);
int RunCureCommand(const CureArgs& args);

} // namespace kesvar_cli

#endif
