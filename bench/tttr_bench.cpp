// T2/T3 block decoding speed: a 64 MiB stream of each layout, decoded in 1 MiB blocks as a run does,
// with parsed text off (report only) and on, and with records handed to a sink that keeps nothing.
// Reports words per second.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <random>
#include <vector>

#include "engine/DecoderState.h"

namespace {

using kestrun::DecoderState;
using kestrun::TextSink;

constexpr std::size_t kStreamBytes = 64u << 20;
constexpr std::size_t kBlockBytes = 1u << 20;
constexpr std::size_t kStreamWords = kStreamBytes / 4;
constexpr std::size_t kTextBytes = 32u << 20;
constexpr std::int32_t kResolutionPs = 16;

// T3PackagedSyncs and T3PlainSyncs: the T3 streams with a sync overflow in every 22 words on average, at
// random, as a T3 acquisition at 2 % photons per sync pulse gives them (and kestrun-synth writes them).
// T2PackagedOneChannel: every event on channel 0, as an acquisition with one detector gives them.
enum class Layout { T2Packaged, T2Plain, T3Packaged, T3Plain, T3PackagedSyncs, T3PlainSyncs, T2PackagedOneChannel };

void Put(std::vector<std::uint8_t>& out, std::uint32_t w) {
  out.push_back(static_cast<std::uint8_t>(w >> 24));
  out.push_back(static_cast<std::uint8_t>(w >> 16));
  out.push_back(static_cast<std::uint8_t>(w >> 8));
  out.push_back(static_cast<std::uint8_t>(w));
}

// An event word of one of `channels` (a power of 2) with random low 25 bits (T2 bins; T3 bins and sync
// sequence).
std::uint32_t EventWord(std::mt19937& rng, std::uint32_t channels) {
  const std::uint32_t channel = rng() & (channels - 1);
  return (channel << 25) | (rng() & 0x1FFFFFF);
}

std::vector<std::uint8_t> MakeStream(Layout layout) {
  std::mt19937 rng(42);
  std::vector<std::uint8_t> out;
  out.reserve(kStreamBytes);
  std::uint32_t overflow = 0;
  const bool dense = layout == Layout::T3PackagedSyncs || layout == Layout::T3PlainSyncs;
  const std::uint32_t channels = layout == Layout::T2PackagedOneChannel ? 1 : 8;
  // A sync overflow word every 2048 words, as a busy T2 acquisition gives them.
  auto next = [&](std::size_t index) {
    if (dense ? rng() % 22 == 0 : index % 2048 == 2047) {
      overflow = (overflow + 1) & 1023;
      return 0xFE000000u | overflow;
    }
    return EventWord(rng, channels);
  };
  const bool packaged = layout != Layout::T2Plain && layout != Layout::T3Plain && layout != Layout::T3PlainSyncs;
  if (!packaged) {
    for (std::size_t i = 0; i < kStreamWords; ++i) Put(out, next(i));
    return out;
  }
  // Packages of 254 words between a head and a tail, after one data-type head of board 1.
  constexpr std::uint32_t kPackageWords = 254;
  const bool t2 = layout == Layout::T2Packaged || layout == Layout::T2PackagedOneChannel;
  Put(out, (t2 ? 0xEB90B712u : 0xEB90B713u) | 0x00010000u);
  std::uint32_t serial = 0;
  std::size_t index = 0;
  while (out.size() + 4 * (kPackageWords + 2) <= kStreamBytes) {
    Put(out, 0xC0000000u | (kPackageWords << 10) | serial);
    serial = (serial + 1) & 1023;
    for (std::uint32_t i = 0; i < kPackageWords; ++i) Put(out, next(index++));
    Put(out, 0xC8000000u);
  }
  while (out.size() < kStreamBytes) Put(out, 0);  // ignored between packages
  return out;
}

const std::vector<std::uint8_t>& Stream(Layout layout) {
  static std::vector<std::uint8_t> streams[7];
  auto& s = streams[static_cast<int>(layout)];
  if (s.empty()) s = MakeStream(layout);
  return s;
}

std::int32_t DecodeBlock(DecoderState& d, Layout layout, const std::uint8_t* block, TextSink& text) {
  const auto length = static_cast<std::int32_t>(kBlockBytes);
  switch (layout) {
    case Layout::T2Packaged:
    case Layout::T2PackagedOneChannel:
      return d.DecodeT2Device3(block, length, text, kResolutionPs, false);
    case Layout::T2Plain:
      return d.DecodeT2(block, length, text, kResolutionPs);
    case Layout::T3Packaged:
    case Layout::T3PackagedSyncs:
      return d.DecodeT3Device3(block, length, text, kResolutionPs, false);
    default:
      return d.DecodeT3(block, length, text, kResolutionPs);
  }
}

// A record sink that keeps nothing: what handing the records over costs the decoders.
struct DiscardRecords : kestrun::RecordSink {
  bool Take(const kestrun::RecordChunk& chunk) override {
    benchmark::DoNotOptimize(chunk.channel.data());
    return true;
  }
};

void DecodeStream(benchmark::State& state, Layout layout, bool parsed, bool records = false) {
  DiscardRecords sink;
  const std::vector<std::uint8_t>& stream = Stream(layout);
  auto textArea = std::make_unique<char[]>(kTextBytes);
  std::uint64_t textBytes = 0;
  auto discard = [](void* total, char* data, std::size_t size) {
    *static_cast<std::uint64_t*>(total) += size;
    return data;
  };
  auto d = std::make_unique<DecoderState>();
  for (auto _ : state) {
    d->Reset();
    d->generateParsed = parsed;
    if (records) d->records.Start(&sink, layout == Layout::T2Packaged || layout == Layout::T2Plain ? 2 : 3);
    for (std::size_t at = 0; at < stream.size(); at += kBlockBytes) {
      TextSink text = parsed ? TextSink(textArea.get(), kTextBytes, discard, &textBytes) : TextSink();
      benchmark::DoNotOptimize(DecodeBlock(*d, layout, stream.data() + at, text));
      text.Flush();
      d->records.Flush();
    }
    benchmark::DoNotOptimize(d->BuildTttrReport());
  }
  state.counters["words/s"] =
      benchmark::Counter(static_cast<double>(kStreamWords), benchmark::Counter::kIsIterationInvariantRate);
  state.counters["text MiB/s"] = benchmark::Counter(static_cast<double>(textBytes) / (1 << 20), benchmark::Counter::kIsRate);
}

void BM_T2Packaged(benchmark::State& s) { DecodeStream(s, Layout::T2Packaged, s.range(0) != 0); }
void BM_T2Plain(benchmark::State& s) { DecodeStream(s, Layout::T2Plain, s.range(0) != 0); }
void BM_T3Packaged(benchmark::State& s) { DecodeStream(s, Layout::T3Packaged, s.range(0) != 0); }
void BM_T3Plain(benchmark::State& s) { DecodeStream(s, Layout::T3Plain, s.range(0) != 0); }
void BM_T3PackagedSyncs(benchmark::State& s) { DecodeStream(s, Layout::T3PackagedSyncs, s.range(0) != 0); }
void BM_T3PlainSyncs(benchmark::State& s) { DecodeStream(s, Layout::T3PlainSyncs, s.range(0) != 0); }
void BM_T2PackagedOneChannel(benchmark::State& s) { DecodeStream(s, Layout::T2PackagedOneChannel, s.range(0) != 0); }
void BM_T2PlainRecords(benchmark::State& s) { DecodeStream(s, Layout::T2Plain, s.range(0) != 0, true); }
void BM_T3PackagedRecords(benchmark::State& s) { DecodeStream(s, Layout::T3Packaged, s.range(0) != 0, true); }

// On a shared machine the best of several repetitions (--benchmark_repetitions=N) is the figure to
// quote: "_max" for words/s.
void Configure(benchmark::internal::Benchmark* b) {
  b->ArgName("parsed")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
  b->ComputeStatistics("max", [](const std::vector<double>& v) { return *std::max_element(v.begin(), v.end()); });
}

BENCHMARK(BM_T2Packaged)->Apply(Configure);
BENCHMARK(BM_T2Plain)->Apply(Configure);
BENCHMARK(BM_T3Packaged)->Apply(Configure);
BENCHMARK(BM_T3Plain)->Apply(Configure);
BENCHMARK(BM_T3PackagedSyncs)->Apply(Configure);
BENCHMARK(BM_T3PlainSyncs)->Apply(Configure);
BENCHMARK(BM_T2PackagedOneChannel)->Apply(Configure);
BENCHMARK(BM_T2PlainRecords)->Apply(Configure);
BENCHMARK(BM_T3PackagedRecords)->Apply(Configure);

}  // namespace
