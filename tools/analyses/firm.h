// The whole firm at once: a row for every client that has a limit record, the firm's totals,
// and the clients at or below a level of a row figure.
#ifndef KESVAR_TOOLS_ANALYSES_FIRM_H
#define KESVAR_TOOLS_ANALYSES_FIRM_H

#include <stddef.h>

#include <string>
#include <vector>

#include "scenario/runner.h"
#include "scenario/scenario.h"

namespace CLI {
class App;
}

namespace kesvar_cli {

// A row figure and a level of it, as in "marginLevel=70".
struct Level {
    std::string figure;
    double level = 0;
};

// Parses FIGURE=NUMBER with a known row figure; false with a reason otherwise.
bool ParseFigureLevel(const std::string& text, Level* out, std::string* reason);

// Parses every FIGURE=L text of an option; throws CommandError naming the option and the bad one.
std::vector<Level> ParseLevels(const std::vector<std::string>& texts, const std::string& option);

// --all-clients, and --fail-below unless `failBelow` is null, as run, stress, report and cure
// take them: either brings the firm's summary.
void AddFirmOptions(CLI::App* command, bool* allClients, std::vector<std::string>* failBelow);

// True when the row's figure is at or below the level (a failed row is not).
bool AtOrBelow(const RowResult& row, const Level& level);

// Replaces the scenario's rows with one (280 bytes) per client that has a money or securities
// limit, in the order a terminal holds the records, each asking for an actv of every security
// the client has a securities limit for and a class lists (the first class that lists it).
void RequestAllClients(Scenario* scenario);

struct LevelCount {
    Level level;
    std::vector<const RowResult*> clients; // at or below it, in row order
};

struct FirmSummary {
    size_t clients = 0, failed = 0;
    double equity = 0, longValue = 0, shortValue = 0;
    std::vector<LevelCount> levels;
};

FirmSummary SummarizeFirm(const RunResult& result, const std::vector<Level>& levels);

// True when any level has a client at or below it.
bool AnyAtOrBelow(const FirmSummary& summary);

} // namespace kesvar_cli

#endif
