// Placeholder ITTR decoder: it decodes nothing until the real decoder lands.
#include "engine/DecoderState.h"

namespace kestrun {

std::int32_t DecoderState::DecodeIttr(const std::uint8_t*, std::int32_t, TextSink&) { return 0; }
std::string DecoderState::BuildIttrReport() { return {}; }

}  // namespace kestrun
