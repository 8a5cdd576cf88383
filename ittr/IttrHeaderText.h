#pragma once
// The header text that follows the seventh header word of an ITTR stream.

#include <cstdint>

#include "engine/TextSink.h"
#include "ittr/IttrState.h"

namespace kestrun {

// Writes the mode, version, statistics number and period, zero update, the 64 channel flags and the
// column line. False when the text could not be written.
bool WriteIttrHeaderText(TextSink& text, std::uint32_t modeWord, const IttrStatistics& stats);

}  // namespace kestrun
