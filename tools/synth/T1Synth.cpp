// T1 histogram frames: rounds of one frame per board and channel (head word, one count word per bin,
// tail word), each count drawn around a fluorescence-like curve with a peak and an exponential tail.
#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "tools/synth/Synthesizers.h"

namespace kestrun::synth {

namespace {

constexpr std::uint32_t kHead = 0xEB90BA00;
constexpr std::uint32_t kTail = 0xAAEEEEDD;
constexpr double kWindowPs = 50000;

struct Channel {
  int board;
  int channel;
  std::vector<double> mean;  // expected counts per frame, by bin
  std::vector<std::uint64_t> histogram;
  std::uint64_t words = 0;
  std::uint64_t maxCount = 0;
  std::uint32_t maxBin = 0;
};

std::vector<double> Curve(int index, std::size_t bins, double resolutionPs) {
  const double peakPs = 8000 + 1500 * index, widthPs = 150, decayPs = 2500 + 700 * index;
  const double amplitude = 40 + 15 * index, background = 0.5;
  std::vector<double> mean(bins);
  for (std::size_t i = 0; i < bins; ++i) {
    const double x = static_cast<double>(i) * resolutionPs - peakPs;
    const double shape = x < 0 ? std::exp(-x * x / (2 * widthPs * widthPs)) : std::exp(-x / decayPs);
    mean[i] = background + amplitude * shape;
  }
  return mean;
}

}  // namespace

void SynthesizeT1(SynthContext& c) {
  const double resolution = c.options.resolutionPs;
  const auto bins = static_cast<std::size_t>(std::clamp(std::round(kWindowPs / resolution), 256.0, 16384.0));
  const int layout[][2] = {{0, 0}, {0, 1}, {0, 3}, {1, 0}, {1, 5}, {2, 3}, {3, 15}};
  std::vector<Channel> channels;
  for (const auto& bc : layout) {
    const int index = static_cast<int>(channels.size());
    channels.push_back({bc[0], bc[1], Curve(index, bins, resolution), std::vector<std::uint64_t>(bins), 0, 0, 0});
  }

  std::uint64_t frames = 0;
  while (!c.Done()) {
    for (Channel& ch : channels) {
      c.out.Put(kHead | static_cast<std::uint32_t>(ch.board) << 16 | static_cast<std::uint32_t>(ch.channel) << 4);
      for (std::size_t i = 0; i < bins; ++i) {
        const std::uint64_t count = c.random.Poisson(ch.mean[i]);
        c.out.Put(static_cast<std::uint32_t>(count));
        ++ch.words;
        // The maximum as the converter finds it: the first bin to pass the running largest sum.
        if ((ch.histogram[i] += count) > ch.maxCount) {
          ch.maxCount = ch.histogram[i];
          ch.maxBin = static_cast<std::uint32_t>(i);
        }
        if (c.out.CutDue())
          c.out.Cut("frame of board " + std::to_string(ch.board) + " channel " + std::to_string(ch.channel));
      }
      c.out.Put(kTail);
    }
    ++frames;
  }

  Manifest& m = c.manifest;
  m.Add("head-words", frames * channels.size());
  m.Add("tail-words", frames * channels.size());
  m.Add("frames-per-channel", frames);
  m.Add("bins-per-frame", bins);
  for (const Channel& ch : channels)
    m.AddEvents(ch.board, ch.channel, ch.words, std::to_string(ch.maxCount) + "@" + std::to_string(ch.maxBin));
}

}  // namespace kestrun::synth
