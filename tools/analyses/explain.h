// Why a quantity: the steps the library recorded while it worked out maxBuy and maxSell, read
// back as bounds in money and in lots, the one that decided, the price, the lot and the
// rounding. Everything comes from the calculation's own trace, so it cannot drift from the
// figures.
#ifndef KESVAR_TOOLS_EXPLAIN_H
#define KESVAR_TOOLS_EXPLAIN_H

#include <stdint.h>

#include <ostream>
#include <string>

#include <nlohmann/json.hpp>

#include "analyses/whatif.h"
#include "exports/internal.h"
#include "scenario/runner.h"

namespace kesvar_cli {

// The step that decided the figure: the last cap or floor that changed it, else the base.
// -1 when the trace has no base.
int32_t DecidingStep(const kesvar::TraceQuantity& q);
// The quantity that the step's own numbers give by its rule.
int32_t ReproduceStep(const kesvar::TraceStep& s);
// The figure the steps give when applied in order: the base, then each cap and floor.
int32_t ReplaySteps(const kesvar::TraceQuantity& q);

// "margin buy limit", "position held less locked sells", ...; and its key in JSON.
const char* BoundName(int32_t bound);
const char* BoundKey(int32_t bound);

// One line for the table: "buy 251: margin buy limit 718000.00 / (10 x 285.40) = 251.58 |
// sell 50: ...". Empty when the actv was not traced or failed.
std::string ExplainLine(const ActvResult& a);
// The whole explanation of one actv, every number exact.
nlohmann::ordered_json ExplainActvJson(const ActvResult& a, const RowResult& row);

// `kesvar explain`: every row's buy limits and every actv's quantities.
void PrintExplainText(std::ostream& out, const RunResult& r);
void PrintExplainJson(std::ostream& out, const RunResult& r);

} // namespace kesvar_cli

#endif
