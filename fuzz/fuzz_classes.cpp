// libFuzzer entry point: classes and securities with arbitrary bytes, interleaved with settings.
#include "harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return kfuzz::ClassesInput(data, size);
}
