// kesvar report: one self-contained HTML page of a scenario's figures, stress and margin calls.
#ifndef KESVAR_TOOLS_COMMANDS_REPORT_H
#define KESVAR_TOOLS_COMMANDS_REPORT_H

#include <string>

#include "analyses/stress.h"
#include "analyses/whatif.h"
#include "outputs/report.h"

namespace kesvar_cli {

struct ReportArgs {
    std::string scenario;
    std::string output;
    StressArgs stress;
    WhatIf whatIf;
    bool interactive = false;
    std::string module; // the ES module kesvar_wasm builds, for --interactive
};
CLI::App* AddReportCommand(CLI::App& app, ReportArgs* args);
int RunReportCommand(const ReportArgs& args);

} // namespace kesvar_cli

#endif
