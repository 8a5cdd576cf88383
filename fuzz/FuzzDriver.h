#pragma once
// What the fuzz targets share: a check that aborts, and the block decoders run as a conversion runs them.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/DecoderState.h"

namespace kestrun::fuzz {

// Aborts with `what` (libFuzzer then saves the input) unless `ok`.
inline void Check(bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "fuzz check failed: %s\n", what);
  std::fflush(stderr);
  std::abort();
}

struct DecoderChoice {
  std::int32_t dataType, deviceType, resolutionPs;  // device QZ48: the packaged layouts
  bool packetInfo;
};

// The text (if `parsed`) and report the decoders of `c` make of `blocks` on `d`, reset before and after,
// through a text area of `capacity` bytes, with the checks of each call RunDecoderFuzz makes.
std::pair<std::string, std::string> DecodeChecked(DecoderState& d, const DecoderChoice& c, bool parsed, bool overflow,
                                                  std::size_t capacity, const std::vector<std::string_view>& blocks);

// Decodes a fuzz input (byte 0: options; block lengths from the end; data from the front) in three passes
// that must agree. Aborts on a write past an area, a failed write, or passes that disagree.
void RunDecoderFuzz(std::int32_t dataType, bool device3, const std::uint8_t* data, std::size_t size);

}  // namespace kestrun::fuzz
