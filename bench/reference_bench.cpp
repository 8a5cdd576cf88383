// The comparison point for the text writers: a naive formatter that prints the same packaged T2
// lines with one snprintf per line, against the decoder, on the same 64 MiB stream in 1 MiB blocks.
// The setup checks that both produce the same bytes.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "engine/DecoderState.h"

namespace {

using kestrun::DecoderState;
using kestrun::TextSink;

constexpr std::size_t kStreamWords = (64u << 20) / 4;
constexpr std::size_t kBlockBytes = 1u << 20;
constexpr std::int32_t kResolutionPs = 16;

void Put(std::vector<std::uint8_t>& out, std::uint32_t w) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(w >> shift));
}

// Data-type head, then packages of 254 words (events of 8 channels, a sync overflow word every 2048).
const std::vector<std::uint8_t>& Stream() {
  static const std::vector<std::uint8_t> stream = [] {
    std::mt19937 rng(42);
    std::vector<std::uint8_t> out;
    Put(out, 0xEB90B712u);
    std::uint32_t serial = 0, overflow = 0;
    for (std::size_t i = 1; i + 256 <= kStreamWords;) {
      Put(out, 0xC0000000u | (254u << 10) | serial);
      serial = (serial + 1) & 1023;
      for (int k = 0; k < 254; ++k, ++i) {
        if (i % 2048 == 0) {
          overflow = (overflow + 1) & 1023;
          Put(out, 0xFE000000u | overflow);
        } else {
          Put(out, ((rng() & 7) << 25) | (rng() & 0x1FFFFFF));
        }
      }
      Put(out, 0xC8000000u);
      i += 2;
    }
    return out;
  }();
  return stream;
}

// What a first version would do: classify each word and snprintf its line.
struct NaiveT2 {
  bool inPackage = false;
  bool seenHead = false;
  std::uint64_t wraps = 0;
  std::uint32_t overflow = 0;

  std::size_t Block(const std::uint8_t* block, std::size_t length, char* text) {
    std::size_t n = 0;
    for (std::size_t i = 0; i + 4 <= length; i += 4) {
      const std::uint32_t w = (std::uint32_t{block[i]} << 24) | (std::uint32_t{block[i + 1]} << 16) |
                              (std::uint32_t{block[i + 2]} << 8) | block[i + 3];
      const std::uint32_t top = w >> 25;
      if (!seenHead) {
        seenHead = (w & ~0x000F0000u) == 0xEB90B712u;
      } else if (!inPackage) {
        inPackage = top == 96;
      } else if (top == 100) {
        inPackage = false;
      } else if (top == 127) {
        if (overflow == 1023 && (w & 1023) == 0) ++wraps;
        overflow = w & 1023;
      } else {
        const std::uint32_t bins = w & 0x1FFFFFF;
        const std::uint64_t time = (((wraps * 1024 + overflow) << 25) + bins) * kResolutionPs;
        n += static_cast<std::size_t>(std::snprintf(text + n, 64, "Event\t%u\t%u\t%llu\n", top & 63, bins,
                                                    static_cast<unsigned long long>(time)));
      }
    }
    return n;
  }
};

std::string DecoderText(std::size_t limit) {
  const auto& stream = Stream();
  auto d = std::make_unique<DecoderState>();
  d->generateParsed = true;
  std::string all;
  std::vector<char> area(32u << 20);
  auto collect = [](void* out, char* data, std::size_t size) {
    static_cast<std::string*>(out)->append(data, size);
    return data;
  };
  for (std::size_t at = 0; at < limit; at += kBlockBytes) {
    TextSink text(area.data(), area.size(), collect, &all);
    d->DecodeT2Device3(stream.data() + at, static_cast<std::int32_t>(std::min(kBlockBytes, limit - at)), text, kResolutionPs, false);
    text.Flush();
  }
  return all;
}

void CheckSameText() {
  const std::size_t limit = 4 * kBlockBytes;
  NaiveT2 naive;
  std::vector<char> area(64u << 20);
  std::string mine;
  for (std::size_t at = 0; at < limit; at += kBlockBytes) {
    mine.append(area.data(), naive.Block(Stream().data() + at, kBlockBytes, area.data()));
  }
  if (mine != DecoderText(limit)) {
    std::fprintf(stderr, "reference and decoder disagree\n");
    std::abort();
  }
}

void BM_SnprintfReferenceT2(benchmark::State& state) {
  CheckSameText();
  const auto& stream = Stream();
  std::vector<char> area(64u << 20);
  for (auto _ : state) {
    NaiveT2 naive;
    for (std::size_t at = 0; at + kBlockBytes <= stream.size(); at += kBlockBytes) {
      benchmark::DoNotOptimize(naive.Block(stream.data() + at, kBlockBytes, area.data()));
    }
  }
  state.counters["words/s"] = benchmark::Counter(static_cast<double>(stream.size() / 4 * state.iterations()), benchmark::Counter::kIsRate);
}

void BM_DecoderT2Packaged(benchmark::State& state) {
  const auto& stream = Stream();
  std::vector<char> area(32u << 20);
  auto discard = [](void*, char* data, std::size_t) { return data; };
  auto d = std::make_unique<DecoderState>();
  for (auto _ : state) {
    d->Reset();
    d->generateParsed = true;
    for (std::size_t at = 0; at + kBlockBytes <= stream.size(); at += kBlockBytes) {
      TextSink text(area.data(), area.size(), discard, nullptr);
      benchmark::DoNotOptimize(d->DecodeT2Device3(stream.data() + at, kBlockBytes, text, kResolutionPs, false));
    }
  }
  state.counters["words/s"] = benchmark::Counter(static_cast<double>(stream.size() / 4 * state.iterations()), benchmark::Counter::kIsRate);
}

BENCHMARK(BM_SnprintfReferenceT2)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_DecoderT2Packaged)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace
