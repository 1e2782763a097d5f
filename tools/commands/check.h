// kesvar check: a settings text loaded the way the library loads it, every mistake on its line.
#ifndef KESVAR_TOOLS_COMMANDS_CHECK_H
#define KESVAR_TOOLS_COMMANDS_CHECK_H

#include <string>

#include <CLI/CLI.hpp>

namespace kesvar_cli {

struct CheckArgs {
    std::string settings;
    std::string format = "text";
};
CLI::App* AddCheckCommand(CLI::App& app, CheckArgs* args);
// 0 no warning (notes allowed), 1 warnings; throws CommandError when the text cannot be read
// or loaded at all.
int RunCheckCommand(const CheckArgs& args);

} // namespace kesvar_cli

#endif
