// The libFuzzer entry of one target; FUZZ_BODY names its function in harness.h.
#include "fuzz/harness.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FUZZ_BODY(data, size);
    return 0;
}
