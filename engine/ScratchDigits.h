#pragma once
// Decimal writer for the numbers of the hot lines (T2/T3 event times, ITTR intensities): four digits
// per table look-up, and no count of the digits first. The same digits as WriteU64 (engine/Digits.h),
// but up to 7 bytes after the number may be overwritten as scratch, so the room reserved for a line
// must reach 7 bytes past its end.

#include <array>
#include <cstdint>
#include <cstring>

namespace kestrun::scratch_digits {

// The four digits of every number below 10000, leading zeros included, one group after the other.
extern const std::array<char, 10000 * 4> kDigitGroups;
// Every number below 10000 without leading zeros and a newline, left-aligned in 8 bytes, the number's
// length in the last byte.
extern const std::array<std::array<char, 8>, 10000> kShortNumbers;

// The four digits of v (< 10000) at p.
inline void PutGroup(char* p, std::uint32_t v) { std::memcpy(p, kDigitGroups.data() + 4 * v, 4); }

// The eight digits of v (< 10^8) at p, leading zeros included.
inline void Put8(char* p, std::uint32_t v) {
  const std::uint32_t high = v / 10000;
  PutGroup(p, high);
  PutGroup(p + 4, v - high * 10000);
}

// v (< 10^8) without leading zeros: one or two look-ups and no branch on the length, for numbers that
// vary in length from one to the next. Stores up to 7 bytes past the digits.
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

// Plain decimal without leading zeros, in parts of eight digits; returns the position after the digits.
// Stores up to 7 bytes past a number below 10^8, none past a longer one.
inline char* WriteDecimal(char* p, std::uint64_t v) {
  if (v < 100000000) return WriteBelow1e8(p, static_cast<std::uint32_t>(v));
  const std::uint64_t high = v / 100000000;
  const auto low = static_cast<std::uint32_t>(v - high * 100000000);
  if (high < 100000000) {
    p = WriteBelow1e8(p, static_cast<std::uint32_t>(high));
  } else {  // 17 to 20 digits
    const std::uint64_t top = high / 100000000;  // below 2,000
    p = WriteBelow1e8(p, static_cast<std::uint32_t>(top));
    Put8(p, static_cast<std::uint32_t>(high - top * 100000000));
    p += 8;
  }
  Put8(p, low);
  return p + 8;
}

// v and a newline, with one look-up for the v below 10000 that most lines' numbers are; stores up to 7
// bytes past the newline.
inline char* WriteLine(char* p, std::uint64_t v) {
  if (v < 10000) [[likely]] {
    std::memcpy(p, kShortNumbers[v].data(), 8);
    return p + kShortNumbers[v][7] + 1;
  }
  p = WriteDecimal(p, v);
  *p = '\n';
  return p + 1;
}

}  // namespace kestrun::scratch_digits
