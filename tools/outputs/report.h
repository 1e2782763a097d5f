// A risk report to look at: one self-contained HTML file (inline CSS and SVG, no script, no
// network) with every client's figures, positions and what decided their quantities, the
// stress charts with the level and its crossing, and the firm's clients ranked by distance to
// their margin call.
#ifndef KESVAR_TOOLS_REPORT_H
#define KESVAR_TOOLS_REPORT_H

#include <ostream>
#include <string>
#include <vector>

#include "analyses/cure.h"
#include "analyses/stress.h"
#include "analyses/whatif.h"

namespace kesvar_cli {

// What the figures were made from and by, for the page's header.
struct ReportHeader {
    std::string scenario, scenarioHash;
    struct FirmLine {
        std::string id, settingsHash;
        int32_t limitsInLots; // KRIsLimitsInLots: 0 units, 1 lots, -1 no row asked
    };
    std::vector<FirmLine> firms;
    WhatIf whatIf;
    std::string versions, time;
};

// The header of a report of `scenario` (a path, or "-") under `whatIf`, made now.
ReportHeader HeaderOf(const std::string& scenario, const WhatIf& whatIf, const StressResult& r);

// The whole document; with `module` (the ES module kesvar_wasm builds, Inlinable) the
// reader can move the prices and the figures recompute in the page. `cures` (at the plan's
// level) go beside the charts of the clients they cure.
void WriteReport(std::ostream& out, const ReportHeader& header, const StressResult& r,
                 const std::string* module = nullptr, const CureResult* cures = nullptr);

} // namespace kesvar_cli

#endif
