// Placeholder T2/T3 decoders: they decode nothing until the real decoders land.
#include "engine/DecoderState.h"
#include "tttr/TttrHeader.h"

namespace kestrun {

std::int32_t WriteT2Header(TextSink&, std::int32_t, const char*) { return 0; }
std::int32_t WriteT3Header(TextSink&, std::int32_t, const char*) { return 0; }
std::int32_t DecoderState::DecodeT2Device3(const std::uint8_t*, std::int32_t, TextSink&, std::int32_t, bool) { return 0; }
std::int32_t DecoderState::DecodeT2(const std::uint8_t*, std::int32_t, TextSink&, std::int32_t) { return 0; }
std::int32_t DecoderState::DecodeT3Device3(const std::uint8_t*, std::int32_t, TextSink&, std::int32_t, bool) { return 0; }
std::int32_t DecoderState::DecodeT3(const std::uint8_t*, std::int32_t, TextSink&, std::int32_t) { return 0; }
std::string DecoderState::BuildTttrReport() { return {}; }

}  // namespace kestrun
