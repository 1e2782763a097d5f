// kesvar: runs margin scenarios against the library and checks firms' settings texts.
//
// Exit status: 0 success; 1 a library call failed (run, demo) or the settings text has
// warnings (check); 2 bad usage, or a scenario or file that cannot be used.
#include <iostream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>

#include <CLI/CLI.hpp>

#include "check.h"
#include "demo_files.h"
#include "explain.h"
#include "output.h"
#include "run.h"
#include "report.h"
#include "scenario.h"
#include "stress.h"
#include "whatif.h"

namespace kesvar_cli {
namespace {

const int kExitFailure = 1;
const int kExitUsage = 2;

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

// Validates the whole scenario, then runs it and prints the result. Nothing is printed to
// `out` unless the scenario is good.
int RunAndPrint(const std::string& json, const std::string& name, const FileReader& read,
                Format format, const WhatIf& whatIf = WhatIf(), bool explain = false) {
    Scenario scenario;
    try {
        scenario = ParseScenario(json, name, read);
        ApplyWhatIf(whatIf, &scenario);
    } catch (const ScenarioError& e) {
        std::cerr << "kesvar: " << name << ": " << e.path << ": " << e.what() << "\n";
        return kExitUsage;
    } catch (const WhatIfError& e) {
        std::cerr << "kesvar: " << e.what() << "\n";
        return kExitUsage;
    }
    RunOptions options;
    options.trace = explain;
    RunResult result = RunScenario(scenario, options);
    std::ostringstream text;
    switch (format) {
    case Format::Table:
        PrintTable(text, result);
        break;
    case Format::Json:
        PrintJson(text, result);
        break;
    case Format::Csv:
        PrintCsv(text, result);
        break;
    }
    std::cout << text.str() << std::flush;
    return result.AnyFailure() ? kExitFailure : 0;
}

int RunFile(const std::string& path, Format format, const WhatIf& whatIf, bool explain) {
    std::string json;
    try {
        json = ReadFile(path);
    } catch (const std::exception& e) {
        std::cerr << "kesvar: cannot read the scenario: " << e.what() << "\n";
        return kExitUsage;
    }
    std::string dir = DirectoryOf(path);
    FileReader read = [dir](const std::string& rel) {
        return ReadFile(Absolute(rel) ? rel : dir + rel);
    };
    return RunAndPrint(json, path, read, format, whatIf, explain);
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
    return RunAndPrint(scenario->text, std::string("demo/") + kDemoScenario, read, format);
}

int Check(const std::string& path, bool json) {
    std::string text;
    try {
        if (path == "-")
            text.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
        else
            text = ReadFile(path);
    } catch (const std::exception& e) {
        std::cerr << "kesvar: cannot read the settings text: " << e.what() << "\n";
        return kExitUsage;
    }
    std::ostringstream out;
    int status = CheckSettings(out, std::cerr, path, text, json);
    std::cout << out.str() << std::flush;
    return status;
}

int Main(int argc, char** argv) {
    CLI::App app{"kesvar: runs margin scenarios against the Kesvar library and checks firms'\n"
                 "settings texts.",
                 "kesvar"};
    app.require_subcommand(1);
    app.footer("Exit status: 0 success; 1 a library call failed (run, demo) or the settings\n"
               "text has warnings (check); 2 bad usage or an unusable scenario or file.");

    const std::map<std::string, Format> formats{
        {"table", Format::Table}, {"json", Format::Json}, {"csv", Format::Csv}};

    std::string scenarioPath;
    Format runFormat = Format::Table;
    CLI::App* run =
        app.add_subcommand("run", "Run a margin scenario (JSON) and print every figure");
    run->add_option("SCENARIO", scenarioPath, "Scenario file (JSON; // comments allowed)")
        ->required();
    run->add_option("--format,-f", runFormat, "Output: table (default), json or csv")
        ->transform(CLI::CheckedTransformer(formats, CLI::ignore_case));
    bool runExplain = false;
    run->add_flag("--explain", runExplain, "Say under each quantity what decided it");
    WhatIf runWhatIf;
    AddWhatIfOptions(run, &runWhatIf);

    Format demoFormat = Format::Table;
    CLI::App* demo = app.add_subcommand("demo", "Run the bundled example scenario");
    demo->add_option("--format,-f", demoFormat, "Output: table (default), json or csv")
        ->transform(CLI::CheckedTransformer(formats, CLI::ignore_case));
    bool demoPrint = false;
    demo->add_flag("--print-scenario", demoPrint,
                   "Print the bundled scenario and settings text instead of running them");

    std::string settingsPath;
    std::string checkFormat = "text";
    CLI::App* check =
        app.add_subcommand("check", "Check a settings text the way the library loads it");
    check->add_option("SETTINGS", settingsPath, "Settings text file ('-' reads standard input)")
        ->required();
    check->add_option("--format,-f", checkFormat, "Output: text (default) or json")
        ->check(CLI::IsMember({"text", "json"}, CLI::ignore_case));

    ExplainArgs explainArgs;
    CLI::App* explain = AddExplainCommand(app, &explainArgs);
    StressCommandArgs stressArgs;
    CLI::App* stress = AddStressCommand(app, &stressArgs);
    ReportArgs reportArgs;
    CLI::App* report = AddReportCommand(app, &reportArgs);

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        app.exit(e);
        return kExitUsage;
    }

    if (*run) return RunFile(scenarioPath, runFormat, runWhatIf, runExplain);
    if (*explain) return RunExplainCommand(explainArgs);
    if (*stress) return RunStressCommand(stressArgs);
    if (*report) return RunReportCommand(reportArgs);
    if (*demo) {
        if (!demoPrint) return RunDemo(demoFormat);
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
