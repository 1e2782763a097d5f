// Prints the firm summary: after the run's table, as the "firm" object of its JSON, and as
// summary lines of its CSV.
#ifndef KESVAR_TOOLS_OUTPUTS_FIRM_OUTPUT_H
#define KESVAR_TOOLS_OUTPUTS_FIRM_OUTPUT_H

#include <ostream>

#include <nlohmann/json.hpp>

#include "analyses/firm.h"

namespace kesvar_cli {

void PrintFirmTable(std::ostream& out, const FirmSummary& s);
nlohmann::ordered_json FirmJson(const FirmSummary& s);
// Lines in the caller's CSV shape, which has `emptyColumns` columns between client and field
// (run 2, stress 3: a shock and a price more, cure 1: the security): record "firm" for the
// totals and the count at or below each level, "atOrBelow" for each client there (field: the
// level, value: the client's figure).
void PrintFirmCsv(std::ostream& out, const FirmSummary& s, int emptyColumns = 2);

} // namespace kesvar_cli

#endif
