// kesvar explain: how each maxBuy and maxSell of the scenario came about.
#ifndef KESVAR_TOOLS_COMMANDS_EXPLAIN_H
#define KESVAR_TOOLS_COMMANDS_EXPLAIN_H

#include <string>

#include "analyses/explain.h"
#include "analyses/whatif.h"

namespace kesvar_cli {

struct ExplainArgs {
    std::string scenario;
    std::string client;   // only this client's rows
    std::string security; // only this security (asked for when a row does not request it)
    std::string format = "text";
    WhatIf whatIf;
};
CLI::App* AddExplainCommand(CLI::App& app, ExplainArgs* args);
int RunExplainCommand(const ExplainArgs& args);

} // namespace kesvar_cli

#endif
