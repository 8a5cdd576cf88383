// Placeholder T1 decoder: it decodes nothing until the real decoder lands.
#include "engine/DecoderState.h"

namespace kestrun {

std::int32_t DecoderState::DecodeT1(const std::uint8_t*, std::int32_t, const char*) { return 0; }
std::int64_t DecoderState::WriteT1Text(TextSink&, std::int32_t, const char*) { return 0; }
std::string DecoderState::BuildT1Report() { return {}; }

}  // namespace kestrun
