// The bridge from the settings loader's reports to warnings: loads a settings text through the
// library's own loader with a diagnostic sink. `run` and `check` read the same reports.
#ifndef KESVAR_TOOLS_SCENARIO_SETTINGS_REPORTS_H
#define KESVAR_TOOLS_SCENARIO_SETTINGS_REPORTS_H

#include <stdint.h>

#include <functional>
#include <string>
#include <vector>

namespace kesvar {
struct FirmRecord;
struct FirmSettings;
struct ClassSecurityList;
} // namespace kesvar

namespace kesvar_cli {

// One report about a settings text (line > 0) or about a scenario (line 0, `source` a JSON
// path or a CSV file and line).
struct Warning {
    std::string source; // what `line` counts in, or for scenario warnings the file and path
    std::string firm;   // the firm whose settings these are (run only)
    std::string path;   // the JSON path or CSV line of a scenario warning
    int32_t line = 0;
    bool note = false; // a note: worth knowing, but the text says what it seems to say
    std::string kind, subject, message;
};

// A security list entry as the loader read it (list sections and client blocks).
struct ListEntry {
    int32_t line = 0;
    std::string classCode;
    bool all = false;
    std::vector<std::string> securities;
};

// Loads `text` through the library's loader with a sink and returns its reports in line
// order, `source` filled in. `entries` (may be null) receives every list entry; `inspect`
// (may be empty) sees the record the loader built; no firm the library holds changes. The
// library must be open (OpenLibrary); false when it refused the text.
bool LoadSettingsText(const std::string& text, const std::string& source,
                      std::vector<Warning>* warnings, std::vector<ListEntry>* entries,
                      const std::function<void(const kesvar::FirmRecord&)>& inspect);

// The codes of a list entry's securities, as written (or as registered, for "<ALL>").
std::vector<std::string> SecurityCodes(const kesvar::FirmSettings* settings,
                                       const kesvar::ClassSecurityList& e);

// "SOURCE:LINE: warning: MESSAGE [KIND]" (no line part for line 0).
std::string WarningText(const Warning& w);

} // namespace kesvar_cli

#endif
