// libFuzzer entry point: arbitrary limit records, prices, lots and face values.
#include "harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return kfuzz::HostAnswersInput(data, size);
}
