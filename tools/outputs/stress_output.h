// Prints a stress result as an aligned table, as JSON or as CSV.
#ifndef KESVAR_TOOLS_STRESS_OUTPUT_H
#define KESVAR_TOOLS_STRESS_OUTPUT_H

#include <ostream>

#include "analyses/stress.h"

namespace kesvar_cli {

void PrintStressTable(std::ostream& out, const StressResult& r);
void PrintStressJson(std::ostream& out, const StressResult& r);
void PrintStressCsv(std::ostream& out, const StressResult& r);

} // namespace kesvar_cli

#endif
