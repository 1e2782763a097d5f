// Prints run results as an aligned table (80 columns), as JSON or as CSV.
#ifndef KESVAR_TOOLS_OUTPUT_H
#define KESVAR_TOOLS_OUTPUT_H

#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "analyses/firm.h"
#include "scenario/runner.h"

namespace kesvar_cli {

enum class Format { Table, Json, Csv };

void PrintTable(std::ostream& out, const RunResult& r);
// With a firm summary, the JSON holds it as "firm".
void PrintJson(std::ostream& out, const RunResult& r, const FirmSummary* firm = nullptr);
void PrintCsv(std::ostream& out, const RunResult& r);

} // namespace kesvar_cli

#endif
