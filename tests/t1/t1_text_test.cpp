#include <gtest/gtest.h>

#include "tests/t1/T1TestSupport.h"

namespace kestrun::test {
namespace {

// Board A channels 0 and 3 and board B channel 1 have histograms; board C channel 7 only has bin 0
// (not listed); board D channel 15 peaks at bin 0 (listed, but without a histogram block).
const std::vector<std::uint32_t> kSmallRun = {
    T1Head(0, 0), 1, 4, 2,    kT1Tail, T1Head(0, 3), 0, 0, 5, 0, kT1Tail, T1Head(1, 1), 3, 9,
    T1Head(2, 7), 9, kT1Tail, T1Head(3, 15), 8, 1,
};

TEST(T1Text, SmallMultiBoardRunTextAndReport) {
  const auto s = DecodeT1Words(kSmallRun);
  EXPECT_EQ(T1Text(*s, 25),
            "Device Type: KR77A5\n"
            "Data For Channels:\n"
            "\tbrd: A chl: 0 chl: 3 \n"
            "\tbrd: B chl: 1 \n"
            "\tbrd: D chl: 15 \n"
            "Window Resolution: 25ps\n"
            "\n\n"
            "Board A, Channel 0: MAX @25ps\nTime(ps)\tCount\n"
            "0\t1\n25\t4\n"
            "\n\n"
            "Board A, Channel 3: MAX @50ps\nTime(ps)\tCount\n"
            "0\t0\n25\t0\n50\t5\n"
            "\n\n"
            "Board B, Channel 1: MAX @25ps\nTime(ps)\tCount\n"
            "0\t3\n"
            "\n\n");
  EXPECT_EQ(s->BuildT1Report(),
            "T1 Statistics Report: \nHead Number:5\tTail Number:3\n"
            "Board,\t Channel,\t Total Event Number,\t Max Value(MaxY@X)\n"
            "0\t0\t3\t4@1\n"
            "0\t3\t4\t5@2\n"
            "1\t1\t2\t9@1\n"
            "2\t7\t1\t9@0\n"
            "3\t15\t2\t8@0\n");
}

TEST(T1Text, NoDataGivesTheHeaderNoParsedTextNothingAndAFailingFileZero) {
  DecoderState state;
  EXPECT_EQ(T1Text(state, 25), "Device Type: KR77A5\nData For Channels:\nWindow Resolution: 25ps\n\n\n");
  state.generateParsed = false;
  StringSink sink;
  EXPECT_EQ(state.WriteT1Text(sink.sink(), 25, "KR77A5"), 0);
  EXPECT_EQ(sink.Text(), "");

  const auto s = DecodeT1Words({T1Head(0, 0), 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12});
  s->generateParsed = true;
  std::vector<char> area(100);
  TextSink bad(area.data(), area.size(), [](void*, char*, std::size_t) -> char* { return nullptr; }, nullptr);
  EXPECT_EQ(s->WriteT1Text(bad, 1000000, "KR77A5"), 0);
  EXPECT_TRUE(bad.Failed());
}

TEST(T1Text, TimesWrapLike32BitProducts) {
  const auto s = DecodeT1Words({T1Head(0, 0), 0, 0, 7, 1});
  const std::string text = T1Text(*s, 1 << 30);
  EXPECT_NE(text.find("MAX @-2147483648ps\n"), std::string::npos) << text;
  EXPECT_NE(text.find("\n0\t0\n1073741824\t0\n-2147483648\t7\n\n\n"), std::string::npos) << text;
}

TEST(T1Text, LongTextSpillsThroughASmallAreaUnchanged) {
  std::vector<std::uint32_t> words = {T1Head(1, 2)};
  for (std::uint32_t i = 0; i < 5000; ++i) words.push_back(i % 97 == 5 ? 0xFFFFFFFFu : i);
  words.push_back(T1Head(2, 2));
  words.push_back(0);
  words.push_back(3);
  words.push_back(0);
  const auto s = DecodeT1Words(words);
  const std::string expected = T1Text(*s, 8);
  EXPECT_EQ(T1Text(*s, 8, 100), expected);
  EXPECT_NE(expected.find("\n8\t1\n"), std::string::npos);
  EXPECT_NE(expected.find("\n39984\t4998\n\n\nBoard C, Channel 2: MAX @8ps\nTime(ps)\tCount\n0\t0\n8\t3\n\n\n"),
            std::string::npos);
}

TEST(T1Report, RowsSortNumericallyAndHeadsWithoutCountsGiveNoRow) {
  const auto s = DecodeT1Words({T1Head(0, 10), 1, T1Head(0, 9), 2, T1Head(0, 1), 3, T1Head(1, 5), kT1Tail});
  EXPECT_EQ(s->BuildT1Report(),
            "T1 Statistics Report: \nHead Number:4\tTail Number:1\n"
            "Board,\t Channel,\t Total Event Number,\t Max Value(MaxY@X)\n"
            "0\t1\t1\t3@0\n0\t9\t1\t2@0\n0\t10\t1\t1@0\n");
}

}  // namespace
}  // namespace kestrun::test
