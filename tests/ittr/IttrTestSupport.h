#pragma once
// ITTR words and a decoder state fed in blocks of a chosen size.

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "engine/DecoderState.h"
#include "support/TestSupport.h"

namespace kestrun::test {

inline constexpr std::uint32_t kEnd = 0xEEEEDDDD;
inline constexpr std::uint32_t kOverflowMarker = 0xEB90B0CA;
inline constexpr std::uint32_t kPackageTail = 0xA0000000;
inline constexpr std::uint32_t Mode(std::uint32_t board, std::uint32_t mode) {
  return 0xEB90B110u | (board << 16) | mode;
}
inline constexpr std::uint32_t Lead(std::uint32_t words, std::uint32_t channel, std::uint32_t serial) {
  return 0x40000000u | (words << 24) | (channel << 16) | serial;
}
inline constexpr std::uint32_t PackageHead(std::uint32_t serial) { return 0x90000000u | serial; }
inline constexpr std::uint32_t SerialOverflow(std::uint32_t value) { return 0xF0000000u | value; }
// A mode word and its seven header words.
inline std::vector<std::uint32_t> Header(std::uint32_t mode, std::uint32_t word1, std::uint32_t period,
                                         std::uint32_t low, std::uint32_t high, std::uint32_t zeroUpdate) {
  return {mode, word1, period, low, high, zeroUpdate, 0x12345678, 0x9ABCDEF0};
}
inline std::vector<std::uint32_t> Join(std::vector<std::vector<std::uint32_t>> parts) {
  std::vector<std::uint32_t> all;
  for (const auto& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

struct IttrResult {
  std::unique_ptr<DecoderState> state = std::make_unique<DecoderState>();
  std::string text;
  std::int64_t returned = 0;  // sum of the decoder's results
};

// Decodes `words` in blocks of `blockSize` bytes through a text area of `capacity` bytes.
inline IttrResult DecodeIttrWords(const std::vector<std::uint32_t>& words, std::size_t blockSize = 1 << 20,
                                  bool parsed = true, bool overflow = true, std::size_t capacity = 1 << 20) {
  IttrResult r;
  r.state->generateParsed = parsed;
  r.state->outputOverflow = overflow;
  StringSink sink(capacity);
  const auto bytes = BigEndian(words);
  for (std::size_t at = 0; at < bytes.size(); at += blockSize) {
    const std::size_t n = std::min(blockSize, bytes.size() - at);
    r.returned += r.state->DecodeIttr(bytes.data() + at, static_cast<std::int32_t>(n), sink.sink());
  }
  r.text = sink.Text();
  return r;
}

}  // namespace kestrun::test
