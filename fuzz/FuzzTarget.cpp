// One fuzz target; KESTRUN_FUZZ_FAMILY names the decoder family it drives.
#include <cstddef>
#include <cstdint>

#include "fuzz/FuzzDriver.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  kestrun::fuzz::RunDecoderFuzz(kestrun::fuzz::Family::KESTRUN_FUZZ_FAMILY, data, size);
  return 0;
}
