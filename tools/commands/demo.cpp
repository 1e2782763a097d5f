#include "commands/demo.h"

#include <iostream>

#include "commands/demo_files.h"
#include "commands/format_option.h"
#include "commands/run.h"

namespace kesvar_cli {

CLI::App* AddDemoCommand(CLI::App& app, DemoArgs* a) {
    CLI::App* cmd = app.add_subcommand("demo", "Run the bundled example scenario");
    AddFormatOption(cmd, &a->format, {"table", "json", "csv"});
    cmd->add_flag("--print-scenario", a->print,
                  "Print the bundled scenario and settings text instead of running them");
    return cmd;
}

int RunDemoCommand(const DemoArgs& a) {
    if (a.print) {
        for (int i = 0; i < kDemoFileCount; ++i)
            std::cout << "==> " << kDemoFiles[i].name << " <==\n" << kDemoFiles[i].text << "\n";
        return 0;
    }
    const DemoFile* file = FindDemoFile(kDemoScenario);
    if (!file) throw CommandError("the demo scenario is missing from this build");
    FileReader read = [](const std::string& rel) {
        const DemoFile* f = FindDemoFile(rel);
        if (!f) throw std::runtime_error(rel + ": not among the bundled demo files");
        return std::string(f->text);
    };
    std::string name = std::string("demo/") + kDemoScenario;
    RunArgs run;
    run.format = a.format;
    return PrintRun(ParseScenario(file->text, name, read), name, run);
}

} // namespace kesvar_cli
