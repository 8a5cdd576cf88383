#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <random>
#include <string>

#include "engine/ScratchDigits.h"

namespace kestrun {
namespace {

// Writes v between sentinel bytes: its digits, or "overrun" when a byte before them or more than 3
// bytes after them changed.
std::string Written(std::uint64_t v) {
  char area[40];
  std::memset(area, '#', sizeof area);
  char* const start = area + 8;
  char* const end = scratch_digits::WriteDecimal(start, v);
  for (const char* q = area; q < area + sizeof area; ++q) {
    if ((q < start || q >= end + 3) && *q != '#') return "overrun";
  }
  return std::string(start, end);
}

TEST(ScratchDigits, PlainDecimalForEveryLengthWithinThreeBytesOfScratch) {
  for (std::uint64_t v = 0; v < 200000; ++v) ASSERT_EQ(Written(v), std::to_string(v));
  std::uint64_t power = 1;
  for (int i = 0; i < 20; ++i, power *= 10) {
    for (std::uint64_t v : {power - 1, power, power + 1}) ASSERT_EQ(Written(v), std::to_string(v));
  }
  EXPECT_EQ(Written(std::numeric_limits<std::uint64_t>::max()), "18446744073709551615");
  std::mt19937_64 random(7);
  for (int i = 0; i < 100000; ++i) {
    const std::uint64_t v = random() >> (random() % 64);
    ASSERT_EQ(Written(v), std::to_string(v));
  }
}

}  // namespace
}  // namespace kestrun
