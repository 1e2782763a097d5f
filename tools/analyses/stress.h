// Stress: every row (and, when asked, every actv) of a scenario at each price shock of a grid,
// and, for a level of a row figure, the shock and price at which each client's figure crosses
// it, found by bisection on the library's own figures.
#ifndef KESVAR_TOOLS_STRESS_H
#define KESVAR_TOOLS_STRESS_H

#include <ostream>
#include <string>
#include <vector>

#include "scenario/runner.h"
#include "scenario/scenario.h"
#include "analyses/firm.h"
#include "analyses/order.h"
#include "analyses/whatif.h"

namespace kesvar_cli {

struct StressPlan {
    std::string security; // the security whose prices move; empty: every security
    double from = -0.5, to = 0.5;
    int steps = 21;    // a 0% shock is added when the range holds it and the steps miss it
    bool actv = false; // the actv requests at every shock too
    std::vector<std::string> clients; // only these client codes; empty: every client
    std::string levelFigure;          // a row figure, e.g. "marginLevel"; empty: no crossing search
    double level = 0;
    bool firm = false;            // the firm summary is shown
    std::vector<Level> failBelow; // the firm summary counts the clients at or below these
};

// Parses "marginLevel=50" into the plan; false with a reason when the text is not
// FIGURE=NUMBER with a known row figure.
bool ParseLevel(const std::string& text, StressPlan* plan, std::string* reason);

struct StressPoint {
    double shock = 0;
    double price = 0; // the moved security's reference price (last, else previous, else bid)
    RowResult row;
};

// One side of a crossing: a shock and what the prices and the figure were there.
struct CrossingSide {
    double shock = 0;
    double price = 0; // reference price of the moved security (0 when every price moves)
    double value = 0; // the figure
    std::vector<std::pair<std::string, Market>> markets; // the moved securities' prices
};

// The figure is on one side of the level at `before` and on the other at `at`, one cent of
// price (or less) further from the unshocked market.
struct Crossing {
    CrossingSide before, at;
    bool down = false; // below the level at `at`, at or above it at `before`
};

struct ClientStress {
    RowRequest request;
    RowResult base; // at the scenario's own prices
    std::vector<StressPoint> points;
    std::vector<Crossing> crossings;
};

// The command line of stress (and the --stress options of report).
struct StressArgs {
    std::string security;
    bool all = false;
    std::string from = "-50%", to = "50%";
    int steps = 21;
    std::string level;
    bool actv = false;
    std::vector<std::string> clients;   // only these client codes; empty: every client
    int top = 0;                        // only the N nearest their margin call; 0: every client
    bool allClients = false;            // a row for every client with a limit record
    std::vector<std::string> failBelow; // stress only: FIGURE=L levels the firm summary counts
};

struct StressResult {
    StressPlan plan;
    StressArgs args;               // the options that asked for it
    WhatIf whatIf;                 // the overrides the figures were computed under
    std::vector<Warning> warnings; // what `run` says about the scenario
    std::string scenarioText;      // the file, as StressOfFile read it
    std::vector<Firm> firms;       // with their settings texts
    std::vector<Class> classes;    // with the prices the figures were made at
    RunResult base;                // the scenario run at its own prices, traced, with every actv
    std::vector<double> shocks;
    std::vector<ClientStress> clients;
    // The verdicts of whatIf.orders (ApplyBasket), in the basket's order.
    std::vector<OrderImpact> basket;
};

// Throws std::runtime_error when the plan names a security the scenario does not have.
// Runs the scenario (RunScenario: once per process), then every shock; leaves the host with
// the scenario's own prices.
// A row figure by its name; NaN when the row failed.
double Figure(const RowResult& r, const std::string& name);

StressResult RunStress(const Scenario& scenario, const StressPlan& plan);

// Shock of the nearest crossing downward through the level, 0 when already below it at the
// scenario's prices, or -1 when none lies in the range.
double DistanceToLevel(const ClientStress& c, const StressPlan& plan);

// The clients nearest their margin call first: those already below the level by how far
// below (the lowest figure first), then by the move that takes them there; failed rows last.
std::vector<const ClientStress*> RankedClients(const StressResult& r);

void AddStressOptions(CLI::App* command, StressArgs* args);
// The plan the options give; throws CommandError when one is malformed.
StressPlan StressPlanOf(const StressArgs& args);
// The stress of a scenario file as the options ask it, for the commands that print or draw
// it; throws CommandError when the options or the scenario are wrong. The scenario's warnings
// go to standard error. `ran`, when given, receives the scenario as it ran (overrides applied,
// rows chosen), for the analyses a command adds.
StressResult StressOfFile(const std::string& scenario, const StressArgs& args, const WhatIf& whatIf,
                          Scenario* ran = nullptr);

} // namespace kesvar_cli

#endif
