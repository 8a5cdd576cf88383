// One fuzz target of the block decoders; KESTRUN_FUZZ_DECODER names its data type and layout.
#include "engine/Codes.h"
#include "fuzz/FuzzDriver.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  kestrun::fuzz::RunDecoderFuzz(KESTRUN_FUZZ_DECODER, data, size);
  return 0;
}
