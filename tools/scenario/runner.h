// Runs a scenario against the library through the in-memory host, calling the exports
// in the order a terminal does, and keeps every record the library filled.
#ifndef KESVAR_TOOLS_RUN_H
#define KESVAR_TOOLS_RUN_H

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <utility>
#include <vector>

#include "exports/internal.h"
#include "scenario/settings_reports.h"
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
    bool trace = false;   // record how each figure came about (explain, run --explain)
    bool actv = true;     // run the actv requests of each row
    bool progress = true; // show the rows done on a terminal (Progress) when they take long
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

// Opens the library (OpenLibrary) and empties it with KRCleanup, then sets up the scenario.
RunResult RunScenario(const Scenario& scenario, const RunOptions& options = RunOptions());

// One row request again, over the world RunScenario set up, with the host's prices as they are
// now (what-if and stress change them in between).
RowResult RunRow(const RowRequest& request, const RunOptions& options);

// A figure of the row record: where it lies and from which size tag on it is there.
struct RowField {
    const char* name;
    size_t offset;
    uint32_t minSize; // the field exists when the row's size tag reaches this
    bool ratio;       // shown with more decimals in the table
};
extern const RowField kRowFields[]; // in record order; the two reserved fields left out
extern const size_t kRowFieldCount;

double FieldValue(const KRMarginalRow& row, const RowField& f);

template <class F> void ForEachField(const KRMarginalRow& row, F visit) {
    for (size_t i = 0; i < kRowFieldCount; ++i)
        if (row.size >= kRowFields[i].minSize) visit(kRowFields[i], FieldValue(row, kRowFields[i]));
}

// Every figure the row's size tag has, in record order, named as in the JSON output.
std::vector<std::pair<std::string, double>> RowFigures(const KRMarginalRow& row);

// The order a terminal holds limit records in: each client's together, in the order its
// firm and then the client first appear, and within a client each security's together.
std::vector<size_t> TerminalOrder(const std::vector<MoneyLimit>& records);
std::vector<size_t> TerminalOrder(const std::vector<SecLimit>& records);

// "KR_ERR_NO_SETTINGS" for 5, and so on; "unknown code" beyond the table.
std::string ErrorName(int32_t code);

} // namespace kesvar_cli

#endif
