// libFuzzer entry point: a scenario JSON through the tool's reader, run if it parses.
#include "harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return kfuzz::ScenarioInput(data, size);
}
