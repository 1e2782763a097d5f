// A margin call's cure: for every client at or below a level of a row figure, the smallest
// deposit that lifts the figure above it, and the sales (or, for shorts, the buy-backs) in lots
// that do, each found and checked on the library's own figures.
#ifndef KESVAR_TOOLS_ANALYSES_CURE_H
#define KESVAR_TOOLS_ANALYSES_CURE_H

#include <stdint.h>

#include <string>
#include <vector>

#include "analyses/firm.h"
#include "scenario/runner.h"
#include "scenario/scenario.h"

namespace kesvar_cli {

// The order positions are traded in: the largest value first, the largest loss since the
// previous price first, or the highest weight the firm's settings give the security first (the
// long weight for sales, the short weight for buy-backs); ties go the larger value first.
enum class CureOrder { Value, Loss, Weight };

struct CureStep {
    std::string security;
    int32_t lots = 0;  // traded in this step
    int32_t units = 0; // the same in the firm's unit (lots or pieces), as the limit records move
    double cents = 0;  // money the step moves, in hundredths (sales add it, buy-backs take it)
    double figure = 0; // the figure after this step and those before it
};

struct TradePlan {
    std::vector<CureStep> steps;
    bool restores = false; // the last step lifts the figure above the level
    double best = 0;       // the highest figure the plan reaches
};

struct ClientCure {
    RowRequest request;
    double figure = 0;     // now
    bool hasMoney = false; // the client has a money limit to deposit into and trade through
    bool depositFound = false;
    int64_t depositCents = 0; // the smallest deposit, in hundredths
    double afterDeposit = 0, oneCentLess = 0;
    TradePlan sales, buyBack;
};

struct CureResult {
    Level level;
    CureOrder order = CureOrder::Value;
    RunResult base; // the scenario's rows as they stand
    std::vector<ClientCure> clients;
};

// Runs the scenario's rows, then cures every client at or below the level. Leaves the host's
// limit records as the scenario wrote them.
CureResult RunCure(const Scenario& scenario, const Level& level, CureOrder order);

} // namespace kesvar_cli

#endif
