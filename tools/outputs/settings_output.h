// How `check` prints what the loader built from a settings text: its warnings and counts, then
// a summary (text) or every list and switch (JSON).
#ifndef KESVAR_TOOLS_OUTPUTS_SETTINGS_OUTPUT_H
#define KESVAR_TOOLS_OUTPUTS_SETTINGS_OUTPUT_H

#include <ostream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "scenario/settings_reports.h"

namespace kesvar_cli {

using ordered_json = nlohmann::ordered_json;

// Every list, switch and client block the loader built, as JSON.
ordered_json SettingsJson(const kesvar::FirmRecord& f);
// The same in words, within 80 columns; a value read differently from what is written points
// at its warning in `found`.
void PrintSummary(std::ostream& out, const kesvar::FirmRecord& f,
                  const std::vector<Warning>& found);

size_t NoteCount(const std::vector<Warning>& found);
void PrintCheckText(std::ostream& out, const std::string& name, const std::vector<Warning>& found,
                    const std::string& summary);
void PrintCheckJson(std::ostream& out, const std::string& name, const std::vector<Warning>& found,
                    const ordered_json& settings);

} // namespace kesvar_cli

#endif
