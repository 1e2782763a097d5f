// Prints run results as an aligned table (80 columns), as JSON or as CSV.
#ifndef KESVAR_TOOLS_OUTPUT_H
#define KESVAR_TOOLS_OUTPUT_H

#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "scenario/runner.h"

namespace kesvar_cli {

enum class Format { Table, Json, Csv };

void PrintTable(std::ostream& out, const RunResult& r);
void PrintJson(std::ostream& out, const RunResult& r);
void PrintCsv(std::ostream& out, const RunResult& r);

} // namespace kesvar_cli

#endif
