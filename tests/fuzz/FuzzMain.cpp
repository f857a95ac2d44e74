// libFuzzer entry: arbitrary bytes as both databases, both kinds of run.
#include "FuzzEngine.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    kestrova::fuzz::FuzzOutcome out;
    kestrova::fuzz::runEngineOnBytes(data, size, out);
    return 0;
}
