// The one printer of a command's error, for every command: "kesvar: FILE: PATH: MESSAGE" on
// standard error, or, when the command line asks for JSON, one object there instead.
#ifndef KESVAR_TOOLS_OUTPUTS_ERROR_OUTPUT_H
#define KESVAR_TOOLS_OUTPUTS_ERROR_OUTPUT_H

#include <ostream>

#include "scenario/command_error.h"

namespace kesvar_cli {

// Prints `e` on `err` and returns its exit status.
int PrintError(std::ostream& err, const CommandError& e, bool json);

} // namespace kesvar_cli

#endif
