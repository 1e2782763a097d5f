// The one CSV writer of the tool: every command's CSV is written through it, header row
// included, so every field is quoted the way RFC 4180 readers expect (a field holding a comma,
// a quote or a line break is quoted, its quotes doubled) and every record ends with CRLF.
#ifndef KESVAR_TOOLS_CSV_H
#define KESVAR_TOOLS_CSV_H

#include <ostream>
#include <string>
#include <vector>

namespace kesvar_cli {

// One field as it goes between commas.
std::string CsvField(const std::string& s);

// One record: its fields, then CRLF.
void WriteCsvLine(std::ostream& out, const std::vector<std::string>& fields);

// The shortest text that reads back as the same double (the JSON spelling).
std::string Exact(double v);

} // namespace kesvar_cli

#endif
