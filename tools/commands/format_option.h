// The --format option every command has, parsed one way: one of the command's names, letter
// case aside, stored in lower case.
#ifndef KESVAR_TOOLS_COMMANDS_FORMAT_OPTION_H
#define KESVAR_TOOLS_COMMANDS_FORMAT_OPTION_H

#include <string>
#include <vector>

#include <CLI/CLI.hpp>

namespace kesvar_cli {

CLI::Option* AddFormatOption(CLI::App* command, std::string* format,
                             const std::vector<std::string>& names);

} // namespace kesvar_cli

#endif
