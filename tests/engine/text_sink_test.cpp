// The number writers of the text lines and the text area they write into.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <random>

#include "engine/Digits.h"
#include "engine/ScratchDigits.h"
#include "support/TestSupport.h"

namespace kestrun {
namespace {

// v by both decimal writers, each between sentinel bytes: its digits, or "overrun" when a byte before
// them changed, or one after them (more than 3 after them for the scratch writer).
std::string Written(std::uint64_t v) {
  std::string texts[2];
  for (int scratch = 0; scratch < 2; ++scratch) {
    char area[40];
    std::memset(area, '#', sizeof area);
    char* const start = area + 8;
    char* const end = scratch ? scratch_digits::WriteDecimal(start, v) : WriteU64(start, v);
    for (const char* q = area; q < area + sizeof area; ++q) {
      if ((q < start || q >= end + (scratch ? 3 : 0)) && *q != '#') return "overrun";
    }
    texts[scratch].assign(start, end);
  }
  if (v <= UINT32_MAX) {
    char area[16];
    if (std::string(area, WriteU32(area, static_cast<std::uint32_t>(v))) != texts[0]) return "U32 differs";
  }
  return texts[0] == texts[1] ? texts[0] : texts[0] + " " + texts[1];
}

TEST(Digits, PlainDecimalForEveryLengthAndSignedAndHexWriters) {
  for (std::uint64_t v = 0; v < 200000; ++v) ASSERT_EQ(Written(v), std::to_string(v));
  std::uint64_t power = 1;
  for (int i = 0; i < 20; ++i, power *= 10) {
    for (std::uint64_t v : {power - 1, power, power + 1}) ASSERT_EQ(Written(v), std::to_string(v));
  }
  EXPECT_EQ(Written(UINT64_MAX), "18446744073709551615");
  std::mt19937_64 random(7);
  for (int i = 0; i < 100000; ++i) {
    const std::uint64_t v = random() >> (random() % 64);
    ASSERT_EQ(Written(v), std::to_string(v));
  }
  char text[32];
  EXPECT_EQ(std::string(text, WriteI32(text, INT32_MIN)), "-2147483648");
  EXPECT_EQ(std::string(text, WriteI32(text, -1)), "-1");
  EXPECT_EQ(std::string(text, WriteI64(text, INT64_MIN)), "-9223372036854775808");
  EXPECT_EQ(std::string(text, WriteHex32(text, 0)), "0");
  EXPECT_EQ(std::string(text, WriteHex32(text, 0xEB90B0CAu)), "eb90b0ca");
  EXPECT_EQ(std::string(text, WriteLiteral(text, "Event\t")), "Event\t");
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
