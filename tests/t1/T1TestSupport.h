#pragma once
// Feeding T1 words to a decoder state, in blocks of a chosen size.

#include <algorithm>
#include <memory>
#include <vector>

#include "engine/DecoderState.h"
#include "support/TestSupport.h"

namespace kestrun::test {

inline constexpr std::uint32_t T1Head(std::uint32_t board, std::uint32_t channel) {
  return 0xEB90BA00u | (board << 16) | (channel << 4);
}
inline constexpr std::uint32_t kT1Tail = 0xAAEEEEDD;

// Decodes `bytes` in blocks of `blockSize` bytes (the last one shorter).
inline void DecodeT1Bytes(DecoderState& state, const std::vector<std::uint8_t>& bytes, std::size_t blockSize) {
  for (std::size_t at = 0; at < bytes.size(); at += blockSize) {
    const std::size_t n = std::min(blockSize, bytes.size() - at);
    state.DecodeT1(bytes.data() + at, static_cast<std::int32_t>(n), "KR77A5");
  }
}

inline std::unique_ptr<DecoderState> DecodeT1Words(const std::vector<std::uint32_t>& words,
                                                   std::size_t blockSize = 1 << 20) {
  auto state = std::make_unique<DecoderState>();
  DecodeT1Bytes(*state, BigEndian(words), blockSize);
  return state;
}

// The whole T1 text of `state`, composed in a text area of `capacity` bytes.
inline std::string T1Text(DecoderState& state, std::int32_t resolutionPs, std::size_t capacity = 1 << 20,
                          const char* device = "KR77A5") {
  StringSink sink(capacity);
  state.generateParsed = true;
  const std::int64_t n = state.WriteT1Text(sink.sink(), resolutionPs, device);
  std::string text = sink.Text();
  return n == static_cast<std::int64_t>(text.size()) ? text : "length mismatch: " + std::to_string(n);
}

}  // namespace kestrun::test
