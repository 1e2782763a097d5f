// What `run` says about a scenario besides its figures: each firm's settings warnings, and
// the places where the scenario differs from what a terminal would hold.
#ifndef KESVAR_TOOLS_AUDIT_H
#define KESVAR_TOOLS_AUDIT_H

#include <stddef.h>

#include <string>
#include <vector>

#include "scenario/settings_reports.h"
#include "scenario/scenario.h"

namespace kesvar_cli {

// Opens the library (OpenLibrary), loads each firm's settings through its loader with a sink
// (no firm the library holds changes), checks its lists against the scenario's classes, and checks
// the limit records and requests. Scenario warnings name their JSON path or CSV line.
std::vector<Warning> AuditScenario(const Scenario& s, const std::string& name);

} // namespace kesvar_cli

#endif
