#pragma once
// The header text in front of the first block's text of a T2 or T3 run.

#include <cstdint>

#include "engine/TextSink.h"

namespace kestrun {

// Each writes its header lines into `text`; returns the bytes written, or -1 when they could not be.
std::int32_t WriteT2Header(TextSink& text, std::int32_t resolutionPs, const char* deviceName);
std::int32_t WriteT3Header(TextSink& text, std::int32_t resolutionPs, const char* deviceName);

}  // namespace kestrun
