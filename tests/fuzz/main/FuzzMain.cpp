// libFuzzer's entry for one target; the build names the entry
// (RELAYDOCK_FUZZ_ENTRY) from FuzzEntries.h.
#include "FuzzEntries.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return FuzzEntries::RELAYDOCK_FUZZ_ENTRY(data, size);
}
