// The one HTML text escaper of the tool: the report and its forms put codes, clients and firms
// into pages, and a code may hold any character.
#ifndef KESVAR_TOOLS_HTML_H
#define KESVAR_TOOLS_HTML_H

#include <string>

namespace kesvar_cli {

// `s` as HTML text, also inside a quoted attribute.
std::string Escape(const std::string& s);

} // namespace kesvar_cli

#endif
