// kesvar demo: the bundled example scenario run, or printed.
#ifndef KESVAR_TOOLS_COMMANDS_DEMO_H
#define KESVAR_TOOLS_COMMANDS_DEMO_H

#include <string>

#include <CLI/CLI.hpp>

namespace kesvar_cli {

struct DemoArgs {
    std::string format = "table";
    bool print = false; // print the files instead of running them
};
CLI::App* AddDemoCommand(CLI::App& app, DemoArgs* args);
int RunDemoCommand(const DemoArgs& args);

} // namespace kesvar_cli

#endif
