// The reader of limits CSV files: a header row of key names, then one limit record per row.
// RFC 4180 quoting (a quoted field may hold commas, doubled quotes and line breaks), CRLF or LF
// line ends, a spreadsheet's byte-order mark and blank rows are all read.
#ifndef KESVAR_TOOLS_LIMITS_CSV_H
#define KESVAR_TOOLS_LIMITS_CSV_H

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace kesvar_cli {

// The keys a record may have.
using Keys = std::vector<const char*>;

// "a, b, c": the keys as a message lists them.
std::string KeyList(const Keys& keys);

// One row of the file as the JSON object the scenario would hold, and where it was written
// ("money.csv:3"). Empty fields are left out; text columns stay text, the others are numbers
// when they read as one (the record's reader refuses the rest by name).
struct CsvRecord {
    std::string where;
    nlohmann::json fields;
};

// The records of a CSV file named `file` in messages. Throws ScenarioError for an empty or
// header-only file, a key not in `keys`, a row longer than the header or a broken quote.
std::vector<CsvRecord> CsvRecords(std::string text, const std::string& file, const Keys& keys);

} // namespace kesvar_cli

#endif
