// What if prices were different: overrides of the scenario's market prices, given on the
// command line, which reach the library through the in-memory host as a terminal's prices do.
#ifndef KESVAR_TOOLS_WHATIF_H
#define KESVAR_TOOLS_WHATIF_H

#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "scenario/scenario.h"
#include "scenario/settings_reports.h"

namespace CLI {
class App;
}

namespace kesvar_cli {

// The command line's overrides, as typed.
struct WhatIf {
    std::vector<std::string> prices; // CODE=P or CODE.FIELD=P, FIELD one of offer bid prev last
    std::vector<std::string> shifts; // PCT% (every security) or CODE=PCT%
    std::vector<std::string> orders; // the basket, see ParseOrder (analyses/order.h)
    bool pending = false;            // the basket recorded as working orders, not filled
};

// An override that cannot be applied; the message names it and says why.
struct WhatIfError : CommandError {
    using CommandError::CommandError;
};

// Adds --price and --shift to a command.
void AddWhatIfOptions(CLI::App* command, WhatIf* whatIf);

// Applies the shifts, then the prices, to every security of that code (in any class). Throws
// WhatIfError for a malformed override or a code the scenario does not have.
void ApplyWhatIf(const WhatIf& whatIf, Scenario* scenario);

// Text such as "-10%", "+2.5" or "3%" as a fraction (-0.1, 0.025, 0.03); throws WhatIfError.
double ParsePercent(const std::string& text, const std::string& what);
// A finite decimal number; throws WhatIfError.
double ParseNumber(const std::string& text, const std::string& what);

// Reads the scenario at `path` and applies the overrides; throws ScenarioError or WhatIfError.
// The warnings `run` gives go to `err`, and to `warnings` when asked.
void LoadScenarioWithWhatIf(const std::string& path, const WhatIf& whatIf, Scenario* scenario,
                            std::ostream& err, std::vector<Warning>* warnings = nullptr);

// The four prices of a market moved by a shock (-0.1 for -10%); accrued interest stays.
Market Shocked(const Market& market, double shock);

} // namespace kesvar_cli

#endif
