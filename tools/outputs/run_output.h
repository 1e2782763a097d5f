// Prints run results as an aligned table (80 columns), as JSON or as CSV.
#ifndef KESVAR_TOOLS_OUTPUT_H
#define KESVAR_TOOLS_OUTPUT_H

#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "analyses/firm.h"
#include "analyses/order.h"
#include "analyses/whatif.h"
#include "scenario/runner.h"

namespace kesvar_cli {

void PrintTable(std::ostream& out, const RunResult& r);
// JSON and CSV name the overrides the figures were computed under: JSON in "overrides"
// ({"prices": [...], "shifts": [...], "orders": [...]}, as typed), CSV in "override" records
// after the header (field "price", "shift" or "order", the override as typed in value, and
// "basket", filled or pending, when there are orders), so every line keeps its fields. The
// basket's verdicts (ApplyBasket) are the JSON's "basket" and the CSV's last records, "order"
// (fields fits, largest and bound). With a firm summary, the JSON holds it as "firm".
void PrintJson(std::ostream& out, const RunResult& r, const WhatIf& whatIf,
               const FirmSummary* firm = nullptr, const std::vector<OrderImpact>& basket = {});
void PrintCsv(std::ostream& out, const RunResult& r, const WhatIf& whatIf,
              const std::vector<OrderImpact>& basket = {});

// The what-if options a result was made under, as JSON and as CSV (field, value) pairs.
nlohmann::ordered_json OverridesJson(const WhatIf& whatIf);
std::vector<std::pair<std::string, std::string>> OverrideFields(const WhatIf& whatIf);

} // namespace kesvar_cli

#endif
