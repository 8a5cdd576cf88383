#include "tools/synth/Random.h"

namespace kestrun::synth {

namespace {

std::uint64_t SplitMix(std::uint64_t& x) {
  std::uint64_t z = (x += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

std::uint64_t Rotl(std::uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }

}  // namespace

Random::Random(std::uint64_t seed) {
  for (auto& s : s_) s = SplitMix(seed);
}

std::uint64_t Random::Next() {
  const std::uint64_t result = Rotl(s_[1] * 5, 7) * 9;
  const std::uint64_t t = s_[1] << 17;
  s_[2] ^= s_[0];
  s_[3] ^= s_[1];
  s_[1] ^= s_[2];
  s_[0] ^= s_[3];
  s_[2] ^= t;
  s_[3] = Rotl(s_[3], 45);
  return result;
}

std::uint64_t Random::Geometric(double p) {
  if (p >= 1.0) return 1;
  const double trials = std::floor(std::log1p(-Uniform()) / std::log1p(-p));
  return trials >= 1e15 ? 1'000'000'000'000'000ull : static_cast<std::uint64_t>(trials) + 1;
}

double Random::Normal() {
  // Box-Muller; the first uniform is kept away from 0 so the logarithm stays finite.
  const double u = 1.0 - Uniform();
  const double v = Uniform();
  return std::sqrt(-2.0 * std::log(u)) * std::cos(6.283185307179586 * v);
}

std::uint64_t Random::Poisson(double mean) {
  if (mean <= 0) return 0;
  if (mean < 30) {
    const double limit = std::exp(-mean);
    std::uint64_t k = 0;
    for (double product = Uniform(); product > limit; product *= Uniform()) ++k;
    return k;
  }
  const double x = std::round(mean + std::sqrt(mean) * Normal());
  return x <= 0 ? 0 : static_cast<std::uint64_t>(x);
}

}  // namespace kestrun::synth
