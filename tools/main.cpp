// kesvar: runs margin scenarios against the library and checks firms' settings texts.
//
// Exit status: 0 success; 1 a library call failed (run, demo), the settings text has
// warnings (check), or a run has warnings under --strict; 2 bad usage, or a scenario or file
// that cannot be used.

#include <ctype.h>

#include <algorithm>
#include <iostream>
#include <string>

#include <CLI/CLI.hpp>

#include "commands/check.h"
#include "commands/cure.h"
#include "commands/demo.h"
#include "commands/explain.h"
#include "commands/order.h"
#include "commands/report.h"
#include "commands/run.h"
#include "commands/stress.h"
#include "outputs/error_output.h"

namespace kesvar_cli {
namespace {

CommandError Usage(const std::string& message) {
    CommandError e(message);
    e.hint = "Run 'kesvar --help' for usage.";
    return e;
}

// Whether the command line asks for JSON, read before parsing so that a usage error can be
// JSON too.
bool AsksForJson(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i], value;
        if ((a == "-f" || a == "--format") && i + 1 < argc)
            value = argv[i + 1];
        else if (a.rfind("--format=", 0) == 0)
            value = a.substr(9);
        else if (a.rfind("-f", 0) == 0 && a.rfind("--", 0) != 0)
            value = a.substr(2);
        std::transform(value.begin(), value.end(), value.begin(),
                       [](unsigned char c) { return char(tolower(c)); });
        if (value == "json") return true;
    }
    return false;
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
    const bool json = AsksForJson(argc, argv);
    const std::vector<std::string> subcommands = {"run",    "check",  "demo", "explain",
                                                  "stress", "report", "cure", "order"};
    // CLI11 answers a stray word with "A subcommand is required"; say what was wrong.
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a.empty() || a[0] == '-') continue;
        if (std::find(subcommands.begin(), subcommands.end(), a) != subcommands.end()) break;
        return PrintError(
            std::cerr,
            Usage("unknown subcommand '" + a +
                  "' (expected run, check, demo, explain, stress, report, cure or order)"),
            json);
    }

    CLI::App app{"kesvar: runs margin scenarios against the Kesvar library and checks firms'\n"
                 "settings texts.",
                 "kesvar"};
    app.require_subcommand(1);
    app.set_version_flag("--version", VersionText(), "Print the version and build, then exit");
    app.footer("Exit status: 0 success; 1 a library call failed (run, demo, explain, stress,\n"
               "report), the settings text has warnings (check) or the run has warnings and\n"
               "--strict is given; 2 bad usage or an unusable scenario or file; 3 a client is\n"
               "at or below a --fail-below level. With --format json an error is one JSON\n"
               "object on standard error.");

    RunArgs runArgs;
    CLI::App* run = AddRunCommand(app, &runArgs);
    CheckArgs checkArgs;
    CLI::App* check = AddCheckCommand(app, &checkArgs);
    DemoArgs demoArgs;
    CLI::App* demo = AddDemoCommand(app, &demoArgs);
    ExplainArgs explainArgs;
    CLI::App* explain = AddExplainCommand(app, &explainArgs);
    StressCommandArgs stressArgs;
    CLI::App* stress = AddStressCommand(app, &stressArgs);
    ReportArgs reportArgs;
    CLI::App* report = AddReportCommand(app, &reportArgs);
    CureArgs cureArgs;
    CLI::App* cure = AddCureCommand(app, &cureArgs);
    OrderArgs orderArgs;
    AddOrderCommand(app, &orderArgs); // the one left when no other was given

    try {
        try {
            app.parse(argc, argv);
        } catch (const CLI::Success& e) { // --help, --help-all, --version
            return app.exit(e);
        } catch (const CLI::ParseError& e) {
            if (e.get_name() == "RequiredError" && app.get_subcommands().empty())
                throw Usage("a subcommand is required: run, check, demo, explain, stress, report, "
                            "cure or order");
            throw Usage(e.what());
        }
        if (*run) return RunRunCommand(runArgs);
        if (*check) return RunCheckCommand(checkArgs);
        if (*demo) return RunDemoCommand(demoArgs);
        if (*explain) return RunExplainCommand(explainArgs);
        if (*stress) return RunStressCommand(stressArgs);
        if (*report) return RunReportCommand(reportArgs);
        if (*cure) return RunCureCommand(cureArgs);
        return RunOrderCommand(orderArgs);
    } catch (const CommandError& e) {
        return PrintError(std::cerr, e, json);
    }
}

} // namespace
} // namespace kesvar_cli

int main(int argc, char** argv) {
    return kesvar_cli::Main(argc, argv);
}
