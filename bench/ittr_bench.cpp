// ITTR decoding in words per second, with and without parsed text.
#include <benchmark/benchmark.h>

#include <vector>

#include "engine/DecoderState.h"

namespace {

using kestrun::DecoderState;
using kestrun::IttrPosition;
using kestrun::TextSink;

// One 1 MiB block of statistics: lead words with three intensities each over 64 channels (or, `mixed`,
// one to three at random, below 400, as kestrun-synth writes them), with a package head and tail every 256
// words and a statistics serial overflow word every 65,536 leads.
std::vector<std::uint8_t> IttrBlock(bool mixed) {
  std::vector<std::uint32_t> words;
  std::uint32_t serial = 0, package = 0, random = 1;
  while (words.size() < 262144) {
    if (words.size() % 256 == 0) {
      words.push_back(0x90000000u | package++);
      words.push_back(0xA0000000u);
    }
    serial = (serial + 1) & 0xFFFF;
    random = random * 1664525u + 1013904223u;
    const std::uint32_t count = mixed ? 1 + (random >> 16) % 3 : 3;
    words.push_back(0x40000000u | count << 24 | ((serial % 64) << 16) | serial);
    for (std::uint32_t k = 0; k < count; ++k) {
      words.push_back(mixed ? (random >> (k + 4)) % 400 : (serial * 977 + k) & 0x3FFFFFFF);
    }
    if (serial == 0) words.push_back(0xF0000000u | package);
  }
  words.resize(262144);
  std::vector<std::uint8_t> bytes;
  for (std::uint32_t w : words) {
    for (int shift = 24; shift >= 0; shift -= 8) bytes.push_back(static_cast<std::uint8_t>(w >> shift));
  }
  return bytes;
}

void BM_DecodeIttr(benchmark::State& state) {
  const auto block = IttrBlock(state.range(1) != 0);
  DecoderState decoder;
  decoder.ittrPosition = IttrPosition::Data;
  decoder.generateParsed = state.range(0) != 0;
  decoder.outputOverflow = true;
  std::vector<char> area(33'554'432);
  auto discard = [](void*, char* data, std::size_t) { return data; };
  std::int64_t produced = 0;
  for (auto _ : state) {
    TextSink sink(area.data(), area.size(), discard, nullptr);
    produced += decoder.DecodeIttr(block.data(), static_cast<std::int32_t>(block.size()), sink);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(block.size() / 4));
  state.counters["text_bytes_per_block"] =
      benchmark::Counter(static_cast<double>(produced) / static_cast<double>(state.iterations()));
}
BENCHMARK(BM_DecodeIttr)->ArgNames({"parsed", "mixed"})->ArgsProduct({{0, 1}, {0, 1}})->Unit(benchmark::kMicrosecond);

}  // namespace
