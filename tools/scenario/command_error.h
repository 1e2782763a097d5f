// What a command stops on: the message, where in its input the fault lies and the exit
// status. Commands throw it; Main prints it, as text or as JSON (outputs/error_output.h).
#ifndef KESVAR_TOOLS_SCENARIO_COMMAND_ERROR_H
#define KESVAR_TOOLS_SCENARIO_COMMAND_ERROR_H

#include <stdexcept>
#include <string>

namespace kesvar_cli {

const int kExitFailure = 1;   // a library call failed, or warnings under --strict
const int kExitUsage = 2;     // bad usage, or a scenario or file that cannot be used
const int kExitAtOrBelow = 3; // a client at or below a --fail-below level

struct CommandError : std::runtime_error {
    explicit CommandError(const std::string& message, std::string at = std::string(),
                          int exitStatus = kExitUsage)
        : std::runtime_error(message), path(std::move(at)), status(exitStatus) {}
    std::string file; // the file at fault, when there is one
    std::string path; // a JSON path or file:line:column within it; may be empty
    int status;
    std::string hint; // a line said after the message in text only
};

} // namespace kesvar_cli

#endif
