// The package's entries: run a scenario as `kesvar run --format json` does and return that JSON,
// so JavaScript reads the library's figures unrounded (each double prints as the shortest text
// that reads back to it); or write the report `kesvar report` would, for the interactive page
// to show at the prices its reader sets.
#include <emscripten/emscripten.h>

#include <sys/stat.h>

#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "analyses/audit.h"
#include "analyses/order.h"
#include "analyses/whatif.h"
#include "commands/report.h"
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

// optionsJson: {"name", "files": {path: text}, "prices": [...], "shifts": [...], "orders":
// [...], "pending", "explain", "stress": {...}}, every member optional; prices, shifts, orders
// and pending are written as run's --price, --shift, --order and --pending take them, stress's
// members as report's options (security, from, to, steps, level, clients, top, all, actv,
// allClients).
struct Options {
    std::string name = "scenario.json";
    std::map<std::string, std::string> files;
    WhatIf whatIf;
    RunOptions run;
    StressArgs stress;
};

// Throws CommandError.
Options ReadOptions(const std::string& optionsJson) {
    Options q;
    q.run.progress = false; // a page has no terminal, whatever Emscripten's stderr claims
    try {
        json o = json::parse(optionsJson.empty() ? "{}" : optionsJson);
        if (!o.is_object()) throw CommandError("expected a JSON object");
        q.name = o.value("name", q.name);
        q.files = o.value("files", q.files);
        q.whatIf.prices = o.value("prices", q.whatIf.prices);
        q.whatIf.shifts = o.value("shifts", q.whatIf.shifts);
        q.whatIf.orders = o.value("orders", q.whatIf.orders);
        q.whatIf.pending = o.value("pending", false);
        q.run.trace = o.value("explain", false);
        json s = o.value("stress", json::object());
        StressArgs& a = q.stress;
        a.security = s.value("security", a.security);
        a.from = s.value("from", a.from);
        a.to = s.value("to", a.to);
        a.steps = s.value("steps", a.steps);
        a.level = s.value("level", a.level);
        a.clients = s.value("clients", a.clients);
        a.top = s.value("top", a.top);
        a.all = s.value("all", a.all);
        a.actv = s.value("actv", a.actv);
        a.allClients = s.value("allClients", a.allClients);
    } catch (const json::exception& e) {
        throw CommandError(e.what());
    }
    return q;
}

std::string Run(const std::string& scenarioJson, const std::string& optionsJson) {
    try {
        Options q = ReadOptions(optionsJson);
        // The page has no file system: a settings file a scenario names comes with the options.
        FileReader read = [&q](const std::string& rel) {
            auto it = q.files.find(rel);
            if (it == q.files.end()) throw std::runtime_error(rel + ": not among the files given");
            return it->second;
        };
        Scenario scenario = ParseScenario(scenarioJson, q.name, read);
        ApplyWhatIf(q.whatIf, &scenario);
        std::vector<Warning> warnings = AuditScenario(scenario, q.name);
        // After the audit, as run does: the basket's records are not the scenario's.
        std::vector<OrderImpact> basket = ApplyBasket(q.whatIf, &scenario);
        RunResult result = RunScenario(scenario, q.run);
        result.warnings = warnings;
        std::ostringstream text;
        PrintJson(text, result, q.whatIf, nullptr, basket);
        return text.str();
    } catch (const CommandError& e) {
        return ErrorJson(e.path, e.what());
    }
}

// Writes `text` at `path` of the module's own (in-memory) file system, making its folders.
void Put(const std::string& path, const std::string& text) {
    for (size_t at = path.find('/', 1); at != std::string::npos; at = path.find('/', at + 1))
        mkdir(path.substr(0, at).c_str(), 0755);
    std::ofstream(path, std::ios::binary) << text;
}

// Standard output and error go to strings while it lives.
class Captured {
  public:
    Captured() : out_(std::cout.rdbuf(output.rdbuf())), err_(std::cerr.rdbuf(said.rdbuf())) {}
    ~Captured() {
        std::cout.rdbuf(out_);
        std::cerr.rdbuf(err_);
    }
    std::ostringstream output, said;

  private:
    std::streambuf *out_, *err_;
};

// `kesvar report NAME -o -` with the stress options the report was made with, the scenario
// and the files it names laid out as they were: the page shows what the tool would write.
// {"html": the report's text} or {"error": ...}.
std::string Report(const std::string& scenarioJson, const std::string& optionsJson) {
    try {
        Options q = ReadOptions(optionsJson);
        ReportArgs args;
        args.scenario = q.name;
        args.output = "-";
        args.stress = q.stress;
        args.whatIf = q.whatIf;
        Put(q.name, scenarioJson);
        const std::string dir = q.name.substr(0, q.name.rfind('/') + 1);
        for (const auto& file : q.files)
            Put(file.first[0] == '/' ? file.first : dir + file.first, file.second);
        Captured captured;
        RunReportCommand(args);
        json j;
        j["html"] = captured.output.str();
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
