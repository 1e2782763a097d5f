// Prints a cure: per client below the level, the deposit, the sale plan and the buy-back.
#ifndef KESVAR_TOOLS_OUTPUTS_CURE_OUTPUT_H
#define KESVAR_TOOLS_OUTPUTS_CURE_OUTPUT_H

#include <ostream>
#include <string>

#include "analyses/cure.h"
#include "analyses/firm.h"

namespace kesvar_cli {

// "the largest value first", as the text and the report say the order of a plan.
const char* CureOrderName(CureOrder order);

// `v` with as many significant digits (10 at least) as tell it from `other`: the figure a
// deposit reaches beside the one a cent less reaches.
std::string Apart(double v, double other);

void PrintCureText(std::ostream& out, const CureResult& r);
// With a firm summary, its object goes under "firm", as in run's JSON.
void PrintCureJson(std::ostream& out, const CureResult& r, const FirmSummary* firm = nullptr);
// record,firm,client,security,field,value: "deposit" lines, then "sale" and "buyBack" steps.
void PrintCureCsv(std::ostream& out, const CureResult& r);

} // namespace kesvar_cli

#endif
