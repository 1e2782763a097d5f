#include "commands/check.h"

#include <algorithm>
#include <iostream>
#include <sstream>
#include <vector>

#include "kesvar.h"

#include "commands/format_option.h"
#include "outputs/settings_output.h"
#include "scenario/command_error.h"
#include "scenario/library.h"
#include "scenario/scenario.h"

namespace kesvar_cli {

CLI::App* AddCheckCommand(CLI::App& app, CheckArgs* a) {
    CLI::App* cmd =
        app.add_subcommand("check", "Check a settings text the way the library loads it");
    cmd->add_option("SETTINGS", a->settings, "Settings text file ('-' reads standard input)")
        ->required();
    AddFormatOption(cmd, &a->format, {"text", "json"});
    cmd->footer("Every section and key of the settings text, with its meaning, range and\n"
                "default, is described in docs/settings.md.");
    return cmd;
}

namespace {

int CheckSettings(std::ostream& out, const std::string& name, const std::string& text, bool json) {
    std::vector<Warning> found;
    // The library takes the text as a C string: whatever follows a NUL is never seen.
    size_t nul = text.find('\0');
    if (nul != std::string::npos) {
        Warning w;
        w.source = name;
        w.line = int32_t(1 + std::count(text.begin(), text.begin() + nul, '\n'));
        w.kind = "nul-byte";
        w.message = "the text ends at a NUL byte here: the rest of the file is never read";
        found.push_back(w);
    }
    ordered_json settings;
    std::ostringstream summary;
    if (OpenLibrary(KR_INTERFACE_V2) != KR_ERR_NONE ||
        !LoadSettingsText(text, name, &found, nullptr, [&](const kesvar::FirmRecord& f) {
            if (json)
                settings = SettingsJson(f);
            else
                PrintSummary(summary, f, found);
        })) {
        CommandError e("the loader refused the text (out of memory)");
        e.file = name;
        throw e;
    }
    std::stable_sort(found.begin(), found.end(),
                     [](const Warning& a, const Warning& b) { return a.line < b.line; });
    if (json)
        PrintCheckJson(out, name, found, settings);
    else
        PrintCheckText(out, name, found, summary.str());
    return found.size() == NoteCount(found) ? 0 : kExitFailure;
}

} // namespace

int RunCheckCommand(const CheckArgs& a) {
    std::string text;
    try {
        text = ReadInput(a.settings);
    } catch (const std::exception& e) {
        throw CommandError(std::string("cannot read the settings text: ") + e.what());
    }
    std::ostringstream out;
    int status = CheckSettings(out, a.settings, text, a.format == "json");
    std::cout << out.str() << std::flush;
    return status;
}

} // namespace kesvar_cli
