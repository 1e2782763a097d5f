// A margin scenario: what a terminal would hold (classes, firms' settings texts, limits,
// market parameters) and the row and actv requests to run against it. Everything is read and
// checked before anything runs, so a bad scenario never prints half a result.
#ifndef KESVAR_TOOLS_SCENARIO_H
#define KESVAR_TOOLS_SCENARIO_H

#include <stdint.h>

#include <functional>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

#include "scenario/command_error.h"
#include "scenario/memory_host.h"

namespace kesvar_cli {

// A scenario that cannot be run: `path` is the JSON path (or the CSV file, line and column)
// at fault; ParseScenario names the scenario's file.
struct ScenarioError : CommandError {
    ScenarioError(std::string at, const std::string& what) : CommandError(what, std::move(at)) {}
};

struct Market {
    double offer = 0, bid = 0, prevPrice = 0, last = 0, accruedInt = 0;
};

struct Security {
    uint32_t id = 0;
    std::string code;
    int32_t lot = 1;
    double faceValue = 0;
    Market market;
};

struct Class {
    uint32_t id = 0;
    std::string code;
    uint32_t flags = 0;
    bool valueUnlisted = false;
    std::vector<Security> securities;
};

struct Firm {
    std::string id;
    std::string settings; // the settings text, read from the file when one was named
    std::string source;   // where the text came from, for messages
};

// Limit records are the memory host's own builders: money amounts in hundredths, as the host
// keeps them.
using MoneyLimit = memory_host::Money;
using SecLimit = memory_host::Position;

struct ActvRequest {
    uint32_t classId = 0, secId = 0;
    std::string classCode, secCode;
    double price = 0; // 0: offer to buy, bid to sell
    uint32_t size = 56;
};

struct RowRequest {
    std::string firm, client;
    uint32_t size = 280;
    std::vector<ActvRequest> actv;
};

struct Scenario {
    int32_t version = 2;
    bool amountsInUnits = false; // "amounts": "units"; the records below hold hundredths
    std::vector<Class> classes;
    std::vector<Firm> firms;
    std::vector<MoneyLimit> moneyLimits;
    std::vector<SecLimit> secLimits;
    // Where each record was written: "moneyLimits[2]" or "money.csv:3".
    std::vector<std::string> moneyLimitWhere, secLimitWhere;
    std::vector<RowRequest> rows;
    std::string text; // the scenario file as read (LoadScenarioFile), for a hash of it
};

// Reads a file that the scenario names, by its path relative to the scenario; throws
// std::runtime_error with the reason when it cannot.
using FileReader = std::function<std::string(const std::string& relativePath)>;

// Parses and checks a scenario. `name` is used in messages. Without `rowsNeeded` the rows may
// be left out, for a command that makes its own (--all-clients).
Scenario ParseScenario(const std::string& json, const std::string& name, const FileReader& read,
                       bool rowsNeeded = true);

// Reads a whole file as bytes; throws std::runtime_error naming the reason.
std::string ReadFile(const std::string& path);

// A file's text; "-" reads standard input.
std::string ReadInput(const std::string& path);

// Reads and parses the scenario at `path` ("-": standard input), whose settings files are
// named relative to it. Throws ScenarioError, or CommandError when the file cannot be read.
Scenario LoadScenarioFile(const std::string& path, bool rowsNeeded = true);

// The key a limit record belongs to: its firm and client.
inline constexpr auto ClientOf = [](const auto& r) { return std::make_tuple(r.firm, r.client); };

} // namespace kesvar_cli

#endif
