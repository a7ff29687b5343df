// One libFuzzer target: VEX_FUZZ_ENTRY names the function of FuzzEntries.h it feeds.
#include "fuzz/FuzzEntries.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    vex::fuzz::VEX_FUZZ_ENTRY(data, size);
    return 0;
}
