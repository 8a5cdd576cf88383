#pragma once
// Drives one decoder family over a fuzz input: the input is cut into blocks of lengths it chooses
// itself, and the blocks go through one DecoderState per pass, three times: parsed text on with a
// small text area on a fresh state, off on a state reset after earlier inputs, and on with a roomy
// area on the first pass's state after its reset. Aborts
// when a pass reads past a block, writes past its area, fails to write its text, or when the passes
// disagree in their text, their byte counts or their report.
//
// Input layout: byte 0 holds the options (packet info, overflow lines, resolution, area capacity);
// block length choices are taken from the end of the input; the data comes from the front.

#include <cstddef>
#include <cstdint>

namespace kestrun::fuzz {

enum class Family { T2Device3, T2, T3Device3, T3, T1, Ittr };

// Runs the three passes over `data` and checks them; returns normally only when all checks hold.
void RunDecoderFuzz(Family family, const std::uint8_t* data, std::size_t size);

}  // namespace kestrun::fuzz
