// The settings checker: loads a settings text through the library's own loader with a
// diagnostic sink, then describes what the loader built. `run` uses the same reports.
#ifndef KESVAR_TOOLS_CHECK_H
#define KESVAR_TOOLS_CHECK_H

#include <stdint.h>

#include <functional>
#include <ostream>
#include <string>
#include <vector>

namespace kesvar {
struct FirmRecord;
}

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

// "SOURCE:LINE: warning: MESSAGE [KIND]" (no line part for line 0).
std::string WarningText(const Warning& w);

// Prints reports and the summary for `text` (named `name` in messages). Returns the exit
// status: 0 no warning (notes allowed), 1 warnings, 2 the text could not be loaded at all.
int CheckSettings(std::ostream& out, std::ostream& err, const std::string& name,
                  const std::string& text, bool json);

} // namespace kesvar_cli

#endif
