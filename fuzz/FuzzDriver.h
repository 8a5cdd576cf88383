#pragma once
// What the fuzz targets share: a check that aborts, the block decoders run as a conversion composes
// them, and the driver of one decoder over a fuzz input.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

#include "engine/DecoderState.h"

namespace kestrun::fuzz {

// Aborts with `what` (libFuzzer then saves the input) unless `ok`.
void Check(bool ok, const char* what);

struct DecoderChoice {
  std::int32_t dataType;
  std::int32_t deviceType;  // QZ48: the packaged layouts; its name goes into the text
  std::int32_t resolutionPs;
  bool packetInfo;
};

// Runs the decoders of `c` over `blocks` on `d` as a run does: the T2/T3 header first (with parsed
// text on), the T1 histograms last. Each block is read from a copy of its own size, so that under ASan
// reading past it is caught. `after` gets each call's result and what `text` had produced before it.
void Decode(DecoderState& d, TextSink& text, const DecoderChoice& c, const std::vector<std::string_view>& blocks,
            const std::function<void(std::int32_t, std::uint64_t)>& after);

// Drives the decoders of `dataType` (device3: the packaged layouts) over a fuzz input, cut into blocks
// of lengths it chooses itself, in three passes: parsed text on with a small text area on a fresh
// state, off on a state reset after earlier inputs, and on with a roomy area on the first pass's state
// after its reset. Aborts when a pass writes past its area, fails to write its text, or when the
// passes disagree in their text, their byte counts or their report.
// Input layout: byte 0 holds the options (packet info, overflow lines, resolution, area capacity);
// block length choices are taken from the end of the input; the data comes from the front.
void RunDecoderFuzz(std::int32_t dataType, bool device3, const std::uint8_t* data, std::size_t size);

}  // namespace kestrun::fuzz
