#pragma once
// A small seeded generator (xoshiro256**) with the few distributions the synthesizer needs. Its own
// arithmetic keeps the output the same for a seed whatever the standard library's distributions do.

#include <cmath>
#include <cstdint>

namespace kestrun::synth {

class Random {
 public:
  explicit Random(std::uint64_t seed);

  std::uint64_t Next();
  // Uniform in [0, 1).
  double Uniform() { return static_cast<double>(Next() >> 11) * 0x1.0p-53; }
  // Uniform in [0, n); 0 when n is 0.
  std::uint64_t Below(std::uint64_t n) { return n == 0 ? 0 : Next() % n; }
  // Waiting time of a process with the given mean (exponential).
  double Exponential(double mean) { return -mean * std::log1p(-Uniform()); }
  // Trials up to and including the first success of probability p (0 < p <= 1).
  std::uint64_t Geometric(double p);
  double Normal();
  // A count with the given mean (Poisson; normal approximation for large means).
  std::uint64_t Poisson(double mean);

 private:
  std::uint64_t s_[4];
};

}  // namespace kestrun::synth
