#pragma once
// What the fuzz targets share: a check that aborts, the block decoders run as a conversion composes
// them, and the driver of one decoder over a fuzz input.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/DecoderState.h"

namespace kestrun::fuzz {

// Aborts with `what` (libFuzzer then saves the input) unless `ok`.
void Check(bool ok, const char* what);

struct DecoderChoice {
  std::int32_t dataType;
  std::int32_t deviceType;  // QZ48: the packaged layouts
  std::int32_t resolutionPs;
  bool packetInfo;
};

// The text (if `parsed`) and report the decoders of `c` make of `blocks` on `d`, reset before and after,
// through a text area of `capacity` bytes, with the checks of each call RunDecoderFuzz makes.
std::pair<std::string, std::string> DecodeChecked(DecoderState& d, const DecoderChoice& c, bool parsed, bool overflow,
                                                  std::size_t capacity, const std::vector<std::string_view>& blocks);

// Decodes a fuzz input (byte 0: options; block lengths from the end; data from the front) in three passes:
// text on in a small area on a fresh state, off on a reset kept state, on in a roomy area on the first
// state after its reset. Aborts on a write past an area, a failed write, or passes that disagree.
void RunDecoderFuzz(std::int32_t dataType, bool device3, const std::uint8_t* data, std::size_t size);

}  // namespace kestrun::fuzz
