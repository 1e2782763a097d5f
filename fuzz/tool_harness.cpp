// Bodies of the tool's two fuzz targets: the scenario and limits CSV readers, parsing into the
// in-memory host and running what they accept. A refusal is a ScenarioError, which the tool
// prints as an exit-2 message; any other exception escapes and is reported as a crash.
#include <stddef.h>
#include <stdint.h>

#include <stdexcept>
#include <string>

#include "analyses/audit.h"
#include "harness.h"
#include "scenario/runner.h"
#include "scenario/scenario.h"

namespace kfuzz {

namespace {

void ParseAndRun(const std::string& json, const kesvar_cli::FileReader& read) {
    kesvar_cli::Scenario scenario;
    try {
        scenario = kesvar_cli::ParseScenario(json, "fuzz.json", read);
    } catch (const kesvar_cli::ScenarioError&) {
        return;
    }
    kesvar_cli::AuditScenario(scenario, "fuzz.json");
    kesvar_cli::RunOptions options;
    options.trace = true; // the explain path too
    kesvar_cli::RunScenario(scenario, options);
}

// A scenario over the CSV file under test: one class, one firm, a row with an actv request,
// so accepted records reach the calculations.
std::string CsvScenario(const char* fileKey) {
    return std::string(R"({"interfaceVersion": 1, "amounts": "units",
  "classes": [{"id": 1, "code": "TQBR", "securities": [
    {"id": 101, "code": "SBER", "lot": 10,
     "market": {"offer": 101, "bid": 99, "prevPrice": 100, "last": 100}}]}],
  "firms": [{"id": "F1", "settings": ["[LIMITALLOWEDSECURITY]", "TQBR=SBER"]}],
  "rows": [{"firm": "F1", "client": "C1", "actv": [{"security": "SBER"}]}],
  ")") + fileKey +
           R"(": "limits.csv"})";
}

} // namespace

int ScenarioInput(const uint8_t* data, size_t size) {
    // Files a scenario names cannot be read here: the reader's refusal is under test too.
    ParseAndRun(std::string(reinterpret_cast<const char*>(data), size),
                [](const std::string& path) -> std::string {
                    throw std::runtime_error("no file " + path + " while fuzzing");
                });
    return 0;
}

int LimitsCsvInput(const uint8_t* data, size_t size) {
    const std::string csv(reinterpret_cast<const char*>(data), size);
    const kesvar_cli::FileReader read = [&csv](const std::string&) { return csv; };
    for (const char* fileKey : {"moneyLimitsFile", "secLimitsFile"})
        ParseAndRun(CsvScenario(fileKey), read);
    return 0;
}

} // namespace kfuzz
