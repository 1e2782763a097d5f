// The bundled example (examples/demo), compiled into the tool so `kesvar demo` runs from
// anywhere, also from the build tree or after installation.
#ifndef KESVAR_TOOLS_DEMO_FILES_H
#define KESVAR_TOOLS_DEMO_FILES_H

#include <string>

namespace kesvar_cli {

struct DemoFile {
    const char* name; // file name within examples/demo
    const char* text;
};

extern const DemoFile kDemoFiles[];
extern const int kDemoFileCount;

// The scenario the demo runs; it names its settings files relative to itself.
const char* const kDemoScenario = "scenario.json";

inline const DemoFile* FindDemoFile(const std::string& name) {
    for (int i = 0; i < kDemoFileCount; ++i)
        if (name == kDemoFiles[i].name) return &kDemoFiles[i];
    return nullptr;
}

} // namespace kesvar_cli

#endif
