// libFuzzer entry point: a settings text over a fixed registry.
#include "harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return kfuzz::SettingsInput(data, size);
}
