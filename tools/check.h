// The settings checker: loads a settings text through the library's own loader with a
// diagnostic sink, then describes what the loader built.
#ifndef KESVAR_TOOLS_CHECK_H
#define KESVAR_TOOLS_CHECK_H

#include <ostream>
#include <string>

namespace kesvar_cli {

// Prints warnings and the summary for `text` (named `name` in messages). Returns the exit
// status: 0 clean, 1 warnings, 2 the text could not be loaded at all.
int CheckSettings(std::ostream& out, std::ostream& err, const std::string& name,
                  const std::string& text, bool json);

} // namespace kesvar_cli

#endif
