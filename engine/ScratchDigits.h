#pragma once
// Decimal writer for the long numbers of the hot lines (T2/T3 event times, ITTR intensities): four
// digits per table look-up, and the length found up front instead of digit by digit. The same digits
// as WriteU64 (engine/Digits.h), but up to 3 bytes after the number may be overwritten as scratch, so
// the room reserved for a line must reach 3 bytes past its end.

#include <array>
#include <bit>
#include <cstdint>
#include <cstring>

namespace kestrun::scratch_digits {

// The four digits of every number below 10000, leading zeros included, one group after the other,
// and 4 bytes of padding so that a group may be read from any of its digits on.
extern const std::array<char, 10000 * 4 + 4> kDigitGroups;
extern const std::array<std::uint64_t, 20> kPowersOf10;  // 10^0 .. 10^19
// Every number below 10000 without leading zeros, left-aligned in 8 bytes, its length in the last byte.
extern const std::array<std::array<char, 8>, 10000> kShortNumbers;

inline int DecimalLength(std::uint64_t v) {
  v |= 1;  // no power of ten is odd: the length stays, and 0 counts as one digit
  const int approx = ((64 - std::countl_zero(v)) * 1233) >> 12;  // floor(log10) of the bit length's power
  return approx + (v >= kPowersOf10[approx] ? 1 : 0);
}

// The last k (1..4) digits of the group v (< 10000) at p; stores 4 bytes.
inline void PutGroup(char* p, std::uint32_t v, int k = 4) { std::memcpy(p, kDigitGroups.data() + 4 * v + (4 - k), 4); }

// v (< 10^8) of n (1..8) digits at p, without a branch on n; stores up to 4 bytes past them.
inline void PutUpTo8(char* p, std::uint32_t v, int n) {
  if (n <= 4) {
    PutGroup(p, v, n);
    return;
  }
  const std::uint32_t high = v / 10000;
  PutGroup(p, high, n - 4);
  PutGroup(p + n - 4, v - high * 10000);
}

inline void Put8(char* p, std::uint32_t v) {
  const std::uint32_t high = v / 10000;
  PutGroup(p, high);
  PutGroup(p + 4, v - high * 10000);
}

// v (< 10^8) without leading zeros: one or two look-ups and no branch on the length, for the ITTR
// intensities, which vary in length from word to word. Stores up to 7 bytes past the digits.
inline char* WriteBelow1e8(char* p, std::uint32_t v) {
  const std::uint32_t high = v / 10000;
  if (high == 0) {
    std::memcpy(p, kShortNumbers[v].data(), 8);
    return p + kShortNumbers[v][7];
  }
  std::memcpy(p, kShortNumbers[high].data(), 8);
  p += kShortNumbers[high][7];
  PutGroup(p, v - high * 10000);
  return p + 4;
}

// Plain decimal without leading zeros; returns the position after the digits.
inline char* WriteDecimal(char* p, std::uint64_t v) {
  const int n = DecimalLength(v);
  if (n <= 8) {
    PutUpTo8(p, static_cast<std::uint32_t>(v), n);
  } else if (n <= 16) {
    const std::uint64_t high = v / 100000000;
    PutUpTo8(p, static_cast<std::uint32_t>(high), n - 8);
    Put8(p + n - 8, static_cast<std::uint32_t>(v - high * 100000000));
  } else {
    const std::uint64_t high = v / 10000000000000000u;
    const std::uint64_t rest = v - high * 10000000000000000u;
    const std::uint64_t middle = rest / 100000000;
    PutUpTo8(p, static_cast<std::uint32_t>(high), n - 16);
    Put8(p + n - 16, static_cast<std::uint32_t>(middle));
    Put8(p + n - 8, static_cast<std::uint32_t>(rest - middle * 100000000));
  }
  return p + n;
}

}  // namespace kestrun::scratch_digits
