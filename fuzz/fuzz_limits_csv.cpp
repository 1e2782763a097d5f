// libFuzzer entry point: a limits CSV file through the tool's reader, as money and as
// position limits of a fixed scenario.
#include "harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return kfuzz::LimitsCsvInput(data, size);
}
