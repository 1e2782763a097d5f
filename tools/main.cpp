// kesvar: runs margin scenarios against the library and checks firms' settings texts.
//
// Exit status: 0 success; 1 a library call failed (run, demo), the settings text has
// warnings (check), or a run has warnings under --strict; 2 bad usage, or a scenario or file
// that cannot be used.

#include <algorithm>
#include <iostream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>

#include <CLI/CLI.hpp>

#include "analyses/audit.h"
#include "analyses/firm.h"
#include "outputs/firm_output.h"
#include "scenario/settings_reports.h"
#include "commands/demo_files.h"
#include "commands/format_option.h"
#include "commands/cure.h"
#include "commands/explain.h"
#include "commands/order.h"
#include "outputs/run_output.h"
#include "scenario/runner.h"
#include "commands/report.h"
#include "scenario/scenario.h"
#include "commands/stress.h"
#include "analyses/whatif.h"

namespace kesvar_cli {
namespace {

const int kExitFailure = 1;
const int kExitUsage = 2;
const int kExitAtOrBelow = 3;

// run --all-clients and --fail-below.
struct FirmArgs {
    bool allClients = false;
    std::vector<std::string> failBelow;
    bool Wanted() const { return allClients || !failBelow.empty(); }
};

std::string DirectoryOf(const std::string& path) {
    size_t slash = path.find_last_of('/');
#ifdef _WIN32
    size_t back = path.find_last_of('\\');
    if (back != std::string::npos && (slash == std::string::npos || back > slash)) slash = back;
#endif
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

bool Absolute(const std::string& path) {
#ifdef _WIN32
    if (path.size() > 1 && path[1] == ':') return true;
    if (!path.empty() && path[0] == '\\') return true;
#endif
    return !path.empty() && path[0] == '/';
}

// Validates the whole scenario, audits it, then runs it and prints the result. Nothing is
// printed to `out` unless the scenario is good.
int RunAndPrint(const std::string& json, const std::string& name, const FileReader& read,
                Format format, bool strict, const WhatIf& whatIf = WhatIf(), bool explain = false,
                const FirmArgs& firmArgs = FirmArgs()) {
    std::vector<Level> levels;
    if (!ParseLevels(firmArgs.failBelow, "--fail-below", &levels, std::cerr)) return kExitUsage;
    Scenario scenario;
    try {
        scenario = ParseScenario(json, name, read);
        ApplyWhatIf(whatIf, &scenario);
        if (firmArgs.allClients) RequestAllClients(&scenario);
    } catch (const ScenarioError& e) {
        std::cerr << "kesvar: " << name << ": " << e.path << ": " << e.what() << "\n";
        return kExitUsage;
    } catch (const WhatIfError& e) {
        std::cerr << "kesvar: " << e.what() << "\n";
        return kExitUsage;
    }
    std::vector<Warning> warnings = AuditScenario(scenario, name);
    RunOptions options;
    options.trace = explain;
    RunResult result = RunScenario(scenario, options);
    result.warnings = warnings;
    FirmSummary firm = SummarizeFirm(result, levels);
    const FirmSummary* summary = firmArgs.Wanted() ? &firm : nullptr;
    std::ostringstream text;
    switch (format) {
    case Format::Table:
        PrintTable(text, result);
        if (summary) PrintFirmTable(text, firm);
        break;
    case Format::Json:
        PrintJson(text, result, summary);
        break;
    case Format::Csv:
        PrintCsv(text, result);
        if (summary) PrintFirmCsv(text, firm);
        break;
    }
    if (format != Format::Json) {
        for (const Warning& w : result.warnings)
            std::cerr << WarningText(w) << "\n";
        std::cerr << std::flush;
    }
    std::cout << text.str() << std::flush;
    if (result.AnyFailure()) return kExitFailure;
    if (strict && result.AnyWarning()) return kExitFailure;
    return AnyAtOrBelow(firm) ? kExitAtOrBelow : 0;
}

int RunFile(const std::string& path, Format format, bool strict, const WhatIf& whatIf, bool explain,
            const FirmArgs& firmArgs) {
    std::string json;
    try {
        json = ReadInput(path);
    } catch (const std::exception& e) {
        std::cerr << "kesvar: cannot read the scenario: " << e.what() << "\n";
        return kExitUsage;
    }
    // Files a scenario read from standard input names are relative to the current directory.
    std::string dir = path == "-" ? std::string() : DirectoryOf(path);
    FileReader read = [dir](const std::string& rel) {
        return ReadFile(Absolute(rel) ? rel : dir + rel);
    };
    return RunAndPrint(json, path, read, format, strict, whatIf, explain, firmArgs);
}

int RunDemo(Format format) {
    const DemoFile* scenario = FindDemoFile(kDemoScenario);
    if (!scenario) {
        std::cerr << "kesvar: the demo scenario is missing from this build\n";
        return kExitUsage;
    }
    FileReader read = [](const std::string& rel) {
        const DemoFile* f = FindDemoFile(rel);
        if (!f) throw std::runtime_error(rel + ": not among the bundled demo files");
        return std::string(f->text);
    };
    return RunAndPrint(scenario->text, std::string("demo/") + kDemoScenario, read, format, false);
}

int Check(const std::string& path, bool json) {
    std::string text;
    try {
        text = ReadInput(path);
    } catch (const std::exception& e) {
        std::cerr << "kesvar: cannot read the settings text: " << e.what() << "\n";
        return kExitUsage;
    }
    std::ostringstream out;
    int status = CheckSettings(out, std::cerr, path, text, json);
    std::cout << out.str() << std::flush;
    return status;
}

int Usage(const std::string& message) {
    std::cerr << "kesvar: " << message << "\nRun 'kesvar --help' for usage.\n";
    return kExitUsage;
}

std::string VersionText() {
    std::string compiler =
#if defined(__clang__)
        "clang " __clang_version__;
#elif defined(__GNUC__)
        "gcc " __VERSION__;
#else
        "unknown compiler";
#endif
    return "kesvar " KESVAR_VERSION_STRING " (Kesvar library " KESVAR_VERSION_STRING "; " +
           compiler + "; " + KESVAR_TARGET + ")";
}

int Main(int argc, char** argv) {
    const std::vector<std::string> subcommands = {"run",    "check",  "demo", "explain",
                                                  "stress", "report", "cure", "order"};
    // CLI11 answers a stray word with "A subcommand is required"; say what was wrong.
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a.empty() || a[0] == '-') continue;
        if (std::find(subcommands.begin(), subcommands.end(), a) != subcommands.end()) break;
        return Usage("unknown subcommand '" + a +
                     "' (expected run, check, demo, explain, stress, report, cure or order)");
    }

    CLI::App app{"kesvar: runs margin scenarios against the Kesvar library and checks firms'\n"
                 "settings texts.",
                 "kesvar"};
    app.require_subcommand(1);
    app.set_version_flag("--version", VersionText(), "Print the version and build, then exit");
    app.footer("Exit status: 0 success; 1 a library call failed (run, demo, explain, stress,\n"
               "report), the settings text has warnings (check) or the run has warnings and\n"
               "--strict is given; 2 bad usage or an unusable scenario or file; 3 a client is\n"
               "at or below a --fail-below level.");

    std::string scenarioPath, runFormat = "table";
    bool strict = false;
    CLI::App* run =
        app.add_subcommand("run", "Run a margin scenario (JSON) and print every figure");
    run->add_option("SCENARIO", scenarioPath,
                    "Scenario file (JSON; // comments allowed; '-' reads standard input)")
        ->required();
    AddFormatOption(run, &runFormat, {"table", "json", "csv"});
    run->add_flag("--strict", strict, "Exit with status 1 when there is any warning");
    bool runExplain = false;
    run->add_flag("--explain", runExplain, "Say under each quantity what decided it");
    WhatIf runWhatIf;
    AddWhatIfOptions(run, &runWhatIf);
    FirmArgs firmArgs;
    run->add_flag("--all-clients", firmArgs.allClients,
                  "A row for every client with a limit record, an actv for each of its "
                  "securities, instead of the scenario's rows; adds the firm summary");
    run->add_option("--fail-below", firmArgs.failBelow,
                    "FIGURE=L: count the clients at or below; exit status 3 when there is one "
                    "(repeatable; adds the firm summary)");
    run->footer("Settings and scenario warnings go to standard error (table, csv) or to the\n"
                "\"warnings\" array (json). The scenario format is described in tools/README.md.");

    std::string demoFormat = "table";
    CLI::App* demo = app.add_subcommand("demo", "Run the bundled example scenario");
    AddFormatOption(demo, &demoFormat, {"table", "json", "csv"});
    bool demoPrint = false;
    demo->add_flag("--print-scenario", demoPrint,
                   "Print the bundled scenario and settings text instead of running them");

    std::string settingsPath, checkFormat = "text";
    CLI::App* check =
        app.add_subcommand("check", "Check a settings text the way the library loads it");
    check->add_option("SETTINGS", settingsPath, "Settings text file ('-' reads standard input)")
        ->required();
    AddFormatOption(check, &checkFormat, {"text", "json"});
    check->footer("Every section and key of the settings text, with its meaning, range and\n"
                  "default, is described in docs/settings.md.");

    ExplainArgs explainArgs;
    CLI::App* explain = AddExplainCommand(app, &explainArgs);
    StressCommandArgs stressArgs;
    CLI::App* stress = AddStressCommand(app, &stressArgs);
    ReportArgs reportArgs;
    CLI::App* report = AddReportCommand(app, &reportArgs);
    CureArgs cureArgs;
    CLI::App* cure = AddCureCommand(app, &cureArgs);
    OrderArgs orderArgs;
    CLI::App* order = AddOrderCommand(app, &orderArgs);

    try {
        app.parse(argc, argv);
    } catch (const CLI::Success& e) { // --help, --help-all, --version
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        if (e.get_name() == "RequiredError" && app.get_subcommands().empty())
            return Usage("a subcommand is required: run, check, demo, explain, stress, report, "
                         "cure or order");
        return Usage(e.what());
    }

    const std::map<std::string, Format> formats{
        {"table", Format::Table}, {"json", Format::Json}, {"csv", Format::Csv}};
    if (*run) {
        return RunFile(scenarioPath, formats.at(runFormat), strict, runWhatIf, runExplain,
                       firmArgs);
    }
    if (*explain) return RunExplainCommand(explainArgs);
    if (*stress) return RunStressCommand(stressArgs);
    if (*report) return RunReportCommand(reportArgs);
    if (*cure) return RunCureCommand(cureArgs);
    if (*order) return RunOrderCommand(orderArgs);
    if (*demo) {
        if (!demoPrint) return RunDemo(formats.at(demoFormat));
        for (int i = 0; i < kDemoFileCount; ++i)
            std::cout << "==> " << kDemoFiles[i].name << " <==\n" << kDemoFiles[i].text << "\n";
        return 0;
    }
    return Check(settingsPath, checkFormat == "json");
}

} // namespace
} // namespace kesvar_cli

int main(int argc, char** argv) {
    return kesvar_cli::Main(argc, argv);
}
