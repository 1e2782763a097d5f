// The package's entries: run a scenario as `kesvar run --format json` does and return that JSON,
// so JavaScript reads the library's figures unrounded (each double prints as the shortest text
// that reads back to it); or make the report `kesvar report` would, for the interactive page
// to show at the prices its reader sets.
#include <emscripten/emscripten.h>

#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "analyses/audit.h"
#include "analyses/stress.h"
#include "analyses/whatif.h"
#include "outputs/report.h"
#include "outputs/run_output.h"
#include "scenario/runner.h"
#include "scenario/scenario.h"

namespace kesvar_cli {
namespace {

using nlohmann::json;

std::string ErrorJson(const std::string& path, const std::string& message) {
    json j;
    j["error"]["path"] = path.empty() ? "(options)" : path;
    j["error"]["message"] = message;
    return j.dump();
}

// optionsJson: {"name", "files": {path: text}, "prices": [...], "shifts": [...], "explain",
// "stress": {...}}, every member optional; prices and shifts are written as run's --price and
// --shift take them, stress's members as report's options (security, from, to, steps, level,
// clients, top).
struct Request {
    std::string name = "scenario.json";
    std::map<std::string, std::string> files;
    WhatIf whatIf;
    RunOptions options;
    StressArgs stress;
    Scenario scenario; // read, the overrides applied
};

// Throws CommandError for options or a scenario the tool would refuse.
Request Read(const std::string& scenarioJson, const std::string& optionsJson) {
    Request q;
    try {
        json o = json::parse(optionsJson.empty() ? "{}" : optionsJson);
        if (!o.is_object()) throw CommandError("expected a JSON object");
        q.name = o.value("name", q.name);
        q.files = o.value("files", q.files);
        q.whatIf.prices = o.value("prices", q.whatIf.prices);
        q.whatIf.shifts = o.value("shifts", q.whatIf.shifts);
        q.options.trace = o.value("explain", false);
        json s = o.value("stress", json::object());
        StressArgs& a = q.stress;
        a.security = s.value("security", a.security);
        a.from = s.value("from", a.from);
        a.to = s.value("to", a.to);
        a.steps = s.value("steps", a.steps);
        a.level = s.value("level", a.level);
        a.clients = s.value("clients", a.clients);
        a.top = s.value("top", a.top);
    } catch (const json::exception& e) {
        throw CommandError(e.what());
    }
    // The page has no file system: a settings file a scenario names comes with the options.
    FileReader read = [&q](const std::string& rel) {
        auto it = q.files.find(rel);
        if (it == q.files.end()) throw std::runtime_error(rel + ": not among the files given");
        return it->second;
    };
    q.scenario = ParseScenario(scenarioJson, q.name, read);
    ApplyWhatIf(q.whatIf, &q.scenario);
    return q;
}

std::string Run(const std::string& scenarioJson, const std::string& optionsJson) {
    try {
        Request q = Read(scenarioJson, optionsJson);
        std::vector<Warning> warnings = AuditScenario(q.scenario, q.name);
        RunResult result = RunScenario(q.scenario, q.options);
        result.warnings = warnings;
        std::ostringstream text;
        PrintJson(text, result, q.whatIf);
        return text.str();
    } catch (const CommandError& e) {
        return ErrorJson(e.path, e.what());
    }
}

// {"html": the report's text, without the module} or {"error": ...}. The stress options are
// the ones the report was made with, its level included.
std::string Report(const std::string& scenarioJson, const std::string& optionsJson) {
    try {
        Request q = Read(scenarioJson, optionsJson);
        StressResult r =
            StressOfScenario(q.scenario, q.stress, q.whatIf, AuditScenario(q.scenario, q.name));
        ReportHeader header = HeaderOf(q.name, q.whatIf, r);
        header.versions += " (WebAssembly, in this page)";
        std::ostringstream html;
        WriteReport(html, header, r);
        json j;
        j["html"] = html.str();
        return j.dump(-1, ' ', false, json::error_handler_t::replace);
    } catch (const CommandError& e) {
        return ErrorJson(e.path, e.what());
    }
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

extern "C" EMSCRIPTEN_KEEPALIVE const char* kesvar_report_json(const char* scenarioJson,
                                                               const char* optionsJson) {
    static std::string answer;
    answer = kesvar_cli::Report(scenarioJson ? scenarioJson : "", optionsJson ? optionsJson : "");
    return answer.c_str();
}
