// T1 decoding (words per second), short runs on one decoder, and the end-of-run text of a full
// 1,048,576-bin channel.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <vector>

#include "engine/DecoderState.h"

namespace {

using kestrun::DecoderState;
using kestrun::TextSink;

std::vector<std::uint8_t> Bytes(const std::vector<std::uint32_t>& words) {
  std::vector<std::uint8_t> bytes;
  for (std::uint32_t w : words) {
    for (int shift = 24; shift >= 0; shift -= 8) bytes.push_back(static_cast<std::uint8_t>(w >> shift));
  }
  return bytes;
}

// One 1 MiB block of frames of `bins` counts each, cycling over the 64 channels.
std::vector<std::uint8_t> T1Block(std::uint32_t bins) {
  std::vector<std::uint32_t> words;
  for (std::uint32_t frame = 0; words.size() < 262144; ++frame) {
    words.push_back(0xEB90BA00u | ((frame / 16 % 4) << 16) | ((frame % 16) << 4));
    for (std::uint32_t i = 0; i < bins && words.size() < 262143; ++i) words.push_back((i * 2654435761u) >> 22);
    words.push_back(0xAAEEEEDD);
  }
  words.resize(262144);
  return Bytes(words);
}

void BM_DecodeT1(benchmark::State& state) {
  const auto block = T1Block(static_cast<std::uint32_t>(state.range(0)));
  DecoderState decoder;
  for (auto _ : state) {
    decoder.DecodeT1(block.data(), static_cast<std::int32_t>(block.size()), "KR77A5");
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(block.size() / 4));
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(block.size()));
}
BENCHMARK(BM_DecodeT1)->Arg(64)->Arg(4096)->Arg(262142)->Unit(benchmark::kMicrosecond);

// Runs one after another on one decoder, as a parser converts them: each starts from empty histograms
// and counts a few bins on all 64 channels, so that what a histogram costs to set up shows.
void BM_DecodeT1ShortRuns(benchmark::State& state) {
  const auto block = T1Block(64);
  const auto bytes = static_cast<std::int32_t>(std::min<std::size_t>(block.size(), 64 * 66 * 4));
  DecoderState decoder;
  for (auto _ : state) {
    decoder.Reset();
    decoder.DecodeT1(block.data(), bytes, "KR77A5");
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations());  // runs
}
BENCHMARK(BM_DecodeT1ShortRuns)->Unit(benchmark::kMicrosecond);

void BM_WriteT1TextFullChannel(benchmark::State& state) {
  DecoderState decoder;
  std::vector<std::uint32_t> words = {0xEB90BA00};
  for (std::uint32_t i = 0; i < 0x100000; ++i) words.push_back(i * 2654435761u);
  const auto bytes = Bytes(words);
  for (std::size_t at = 0; at < bytes.size(); at += 1 << 20) {
    const std::size_t n = std::min<std::size_t>(1 << 20, bytes.size() - at);
    decoder.DecodeT1(bytes.data() + at, static_cast<std::int32_t>(n), "KR77A5");
  }
  decoder.generateParsed = true;
  std::vector<char> area(33'554'432);
  auto discard = [](void*, char* data, std::size_t) { return data; };
  std::int64_t produced = 0;
  for (auto _ : state) {
    TextSink sink(area.data(), area.size(), discard, nullptr);
    produced += decoder.WriteT1Text(sink, 25, "KR77A5");
    benchmark::DoNotOptimize(sink.pos);
  }
  state.SetItemsProcessed(state.iterations() * 0xFFFFF);  // histogram lines
  state.SetBytesProcessed(produced);
}
BENCHMARK(BM_WriteT1TextFullChannel)->Unit(benchmark::kMillisecond);

}  // namespace
