#include <gtest/gtest.h>

#include <climits>
#include <cstdio>

#include "engine/Digits.h"
#include "support/TestSupport.h"

namespace kestrun {
namespace {

TEST(Digits, MatchPrintfForEveryDigitCount) {
  char expected[32];
  char actual[32];
  for (std::uint64_t v : {0ull, 9ull, 10ull, 99ull, 100ull, 1023ull, 65536ull, 4294967295ull, 4294967296ull,
                          18446744073709551615ull}) {
    std::snprintf(expected, sizeof expected, "%llu", static_cast<unsigned long long>(v));
    EXPECT_EQ(std::string(actual, WriteU64(actual, v)), expected);
  }
  for (std::uint64_t p = 1; p != 0 && p <= 10'000'000'000'000'000'000ull; p *= 10) {
    for (std::uint64_t v : {p - 1, p, p + 1}) {
      std::snprintf(expected, sizeof expected, "%llu", static_cast<unsigned long long>(v));
      EXPECT_EQ(std::string(actual, WriteU64(actual, v)), expected);
      if (v <= UINT32_MAX) {
        EXPECT_EQ(std::string(actual, WriteU32(actual, static_cast<std::uint32_t>(v))), expected);
      }
    }
    if (p > UINT64_MAX / 10) break;
  }
  EXPECT_EQ(std::string(actual, WriteI32(actual, INT32_MIN)), "-2147483648");
  EXPECT_EQ(std::string(actual, WriteI32(actual, -1)), "-1");
  EXPECT_EQ(std::string(actual, WriteI64(actual, INT64_MIN)), "-9223372036854775808");
  EXPECT_EQ(std::string(actual, WriteHex32(actual, 0)), "0");
  EXPECT_EQ(std::string(actual, WriteHex32(actual, 0xEB90B0CAu)), "eb90b0ca");
  EXPECT_EQ(std::string(actual, WriteLiteral(actual, "Event\t")), "Event\t");
}

TEST(TextSink, SpillsInOrderAndNeverWritesPastItsEnd) {
  test::StringSink collected(8);
  TextSink& sink = collected.sink();
  for (int i = 0; i < 10; ++i) {
    ASSERT_TRUE(sink.Reserve(5));
    sink.pos = WriteLiteral(sink.pos, "ab");
    sink.pos = WriteU32(sink.pos, static_cast<std::uint32_t>(i));
    ASSERT_LE(sink.pos, sink.end);
  }
  EXPECT_EQ(sink.Produced(), 30u);
  EXPECT_EQ(collected.Text(), "ab0ab1ab2ab3ab4ab5ab6ab7ab8ab9");
  EXPECT_FALSE(sink.Reserve(9));  // more than the whole area
  EXPECT_TRUE(sink.Failed());

  TextSink absent;  // no consumer: cannot spill
  EXPECT_TRUE(absent.Reserve(0));
  EXPECT_FALSE(absent.Reserve(1));
}

}  // namespace
}  // namespace kestrun
