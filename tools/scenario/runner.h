// Runs a scenario against the library through the in-memory host, calling the exports
// in the order a terminal does, and keeps every record the library filled.
#ifndef KESVAR_TOOLS_RUN_H
#define KESVAR_TOOLS_RUN_H

#include <stdint.h>

#include <string>
#include <vector>

#include "scenario/settings_reports.h"
#include "frame/trace.h"
#include "kesvar.h"
#include "scenario/scenario.h"

namespace kesvar_cli {

// An export that returned failure (or, for KRAddClass, a code other than 0).
struct CallFailure {
    std::string call;    // the export, e.g. "KRInitMarginalRow"
    std::string subject; // what it was called for: a class code, a firm id; may be empty
    int32_t code = 0;
};

struct ActvResult {
    ActvRequest request;
    bool ok = false;
    CallFailure failure;
    KRMarginalActv actv{};
    bool traced = false; // `trace` holds how the figures came about
    kesvar::ActvTrace trace{};
};

struct RowResult {
    RowRequest request;
    bool ok = false;
    CallFailure failure;
    KRMarginalRow row{};
    int32_t limitsInLots = -1; // KRIsLimitsInLots for the row's firm once bound
    std::vector<ActvResult> actv;
    bool traced = false;
    kesvar::RowTrace trace{};
};

struct RunOptions {
    bool trace = false; // record how each figure came about (explain, run --explain)
    bool actv = true;   // run the actv requests of each row
};

struct RunResult {
    int32_t version = 2;
    bool initialised = false;
    std::vector<CallFailure> setup; // KRInitEx, KRAddClass, KRSetDliniFile
    std::vector<RowResult> rows;
    std::vector<Warning> warnings; // settings and scenario warnings, filled by the caller

    bool AnyFailure() const;
    bool AnyWarning() const; // notes aside
};

// The first call initialises the library (its state lives as long as the process); a later
// call empties it with KRCleanup and needs the same interface version.
RunResult RunScenario(const Scenario& scenario, const RunOptions& options = RunOptions());

// One row request again, over the world RunScenario set up, with the host's prices as they are
// now (what-if and stress change them in between).
RowResult RunRow(const RowRequest& request, const RunOptions& options);

// "KR_ERR_NO_SETTINGS" for 5, and so on; "unknown code" beyond the table.
const char* ErrorName(int32_t code);

} // namespace kesvar_cli

#endif
