// kesvar order: what one order does to a client's figures, pending and filled.
#ifndef KESVAR_TOOLS_COMMANDS_ORDER_H
#define KESVAR_TOOLS_COMMANDS_ORDER_H

#include <string>
#include <vector>

#include <CLI/CLI.hpp>

namespace kesvar_cli {

struct OrderArgs {
    std::string scenario, format = "table", client, firm;
    std::vector<std::string> buy, sell, shortSell; // CODE QTY
    double at = 0;
};
CLI::App* AddOrderCommand(CLI::App& app, OrderArgs* args);
int RunOrderCommand(const OrderArgs& args);

} // namespace kesvar_cli

#endif
