// The package's one entry: runs a scenario as `kesvar run --format json` does and returns that
// JSON, so JavaScript reads the library's figures unrounded (each double prints as the shortest
// text that reads back to it).
#include <emscripten/emscripten.h>

#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "analyses/audit.h"
#include "analyses/whatif.h"
#include "outputs/run_output.h"
#include "scenario/runner.h"
#include "scenario/scenario.h"

namespace kesvar_cli {
namespace {

using nlohmann::json;

std::string ErrorJson(const std::string& path, const std::string& message) {
    json j;
    j["error"]["path"] = path;
    j["error"]["message"] = message;
    return j.dump();
}

// optionsJson: {"name", "files": {path: text}, "prices": [...], "shifts": [...], "explain"},
// every member optional; prices and shifts are written as run's --price and --shift take them.
std::string Run(const std::string& scenarioJson, const std::string& optionsJson) {
    std::string name = "scenario.json";
    std::map<std::string, std::string> files;
    WhatIf whatIf;
    RunOptions options;
    options.progress = false; // a page has no terminal, whatever Emscripten's stderr claims
    try {
        json o = json::parse(optionsJson.empty() ? "{}" : optionsJson);
        if (!o.is_object()) return ErrorJson("(options)", "expected a JSON object");
        name = o.value("name", name);
        files = o.value("files", files);
        whatIf.prices = o.value("prices", whatIf.prices);
        whatIf.shifts = o.value("shifts", whatIf.shifts);
        options.trace = o.value("explain", false);
    } catch (const json::exception& e) {
        return ErrorJson("(options)", e.what());
    }
    // The page has no file system: a settings file a scenario names comes with the options.
    FileReader read = [&files](const std::string& rel) {
        auto it = files.find(rel);
        if (it == files.end()) throw std::runtime_error(rel + ": not among the files given");
        return it->second;
    };
    Scenario scenario;
    try {
        scenario = ParseScenario(scenarioJson, name, read);
        ApplyWhatIf(whatIf, &scenario);
    } catch (const ScenarioError& e) {
        return ErrorJson(e.path, e.what());
    } catch (const WhatIfError& e) {
        return ErrorJson("(options)", e.what());
    }
    std::vector<Warning> warnings = AuditScenario(scenario, name);
    RunResult result = RunScenario(scenario, options);
    result.warnings = warnings;
    std::ostringstream text;
    PrintJson(text, result, whatIf);
    return text.str();
}

} // namespace
} // namespace kesvar_cli

// The text stays valid until the next call; JavaScript copies it at once.
extern "C" EMSCRIPTEN_KEEPALIVE const char* kesvar_run_json(const char* scenarioJson,
                                                            const char* optionsJson) {
    static std::string answer;
    answer = kesvar_cli::Run(scenarioJson ? scenarioJson : "", optionsJson ? optionsJson : "");
    return answer.c_str();
}
