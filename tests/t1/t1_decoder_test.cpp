#include <gtest/gtest.h>

#include <climits>

#include "tests/t1/T1TestSupport.h"

namespace kestrun::test {
namespace {

const T1ChannelStatus& Status(const DecoderState& s, int board, int channel) { return *s.channelGrid[board][channel]; }

TEST(T1Decoder, HeadWordSelectsBoardAndChannelFromItsBytes) {
  DecoderState state;
  const std::vector<std::uint8_t> bytes = {0xEB, 0x92, 0xBA, 0x30, 0, 0, 0, 7, 0, 0, 0, 9};
  EXPECT_EQ(state.DecodeT1(bytes.data(), 12, "KR77A5"), 0);
  EXPECT_EQ(state.board, 2);
  EXPECT_EQ(state.channel, 3);
  EXPECT_EQ(state.binIndex, 2);
  EXPECT_EQ(Status(state, 2, 3).Bin(0), 7u);
  EXPECT_EQ(Status(state, 2, 3).Bin(1), 9u);
  EXPECT_EQ(state.t1Statistics.headNumber, 1u);
  EXPECT_EQ(state.t1Statistics.eventCounts.at(2).at(3), 2u);
}

TEST(T1Decoder, RepeatedFramesAddUpAndTailsDoNotRestartTheBins) {
  const auto s = DecodeT1Words({T1Head(1, 4), 5, 6, kT1Tail, T1Head(1, 4), 1, 2, 3, kT1Tail, 10});
  const T1ChannelStatus& st = Status(*s, 1, 4);
  EXPECT_EQ(st.Bin(0), 6u);
  EXPECT_EQ(st.Bin(1), 8u);
  EXPECT_EQ(st.Bin(2), 3u);
  EXPECT_EQ(st.Bin(3), 10u);  // after the tail the channel goes on at the next bin
  EXPECT_EQ(st.lastBin, 3);
  EXPECT_EQ(st.maxCount, 10u);
  EXPECT_EQ(st.maxBin, 3);
  EXPECT_EQ(s->t1Statistics.headNumber, 2u);
  EXPECT_EQ(s->t1Statistics.tailNumber, 2u);
  EXPECT_EQ(s->t1Statistics.eventCounts.at(1).at(4), 6u);
  EXPECT_EQ(s->t1Statistics.maxValues.at(1).at(4).bin, 3);
  EXPECT_EQ(s->t1Statistics.maxValues.at(1).at(4).value, 10u);
}

TEST(T1Decoder, CountsBeforeAnyHeadGoToBoardAChannel0) {
  const auto s = DecodeT1Words({4, 5});
  EXPECT_EQ(Status(*s, 0, 0).Bin(0), 4u);
  EXPECT_EQ(Status(*s, 0, 0).Bin(1), 5u);
  EXPECT_EQ(s->t1Statistics.eventCounts.at(0).at(0), 2u);
}

TEST(T1Decoder, TiesKeepTheFirstBinAndZeroValuesKeepTheFirstCountsBin) {
  const auto s = DecodeT1Words({T1Head(0, 1), 0, 3, 1, 3, T1Head(0, 2), 0, 0, 0});
  EXPECT_EQ(Status(*s, 0, 1).maxBin, 1);
  EXPECT_EQ(s->t1Statistics.maxValues.at(0).at(1).bin, 1);
  EXPECT_EQ(s->t1Statistics.maxValues.at(0).at(1).value, 3u);
  // All-zero counts: the channel keeps maxBin 0, the statistics keep the bin of its first count word.
  EXPECT_EQ(Status(*s, 0, 2).maxBin, 0);
  EXPECT_EQ(Status(*s, 0, 2).lastBin, 2);
  EXPECT_EQ(s->t1Statistics.maxValues.at(0).at(2).bin, 0);
  EXPECT_EQ(s->t1Statistics.maxValues.at(0).at(2).value, 0u);
}

TEST(T1Decoder, BoardsBeyondTheGridAreCountedWithoutHistogram) {
  const auto s = DecodeT1Words({T1Head(9, 15), 0, 0, 8, 9, T1Head(1, 0), 2});
  EXPECT_EQ(s->t1Statistics.eventCounts.at(9).at(15), 4u);
  EXPECT_EQ(s->t1Statistics.maxValues.at(9).at(15).bin, 0);
  EXPECT_EQ(s->t1Statistics.maxValues.at(9).at(15).value, 0u);
  EXPECT_EQ(s->t1Statistics.eventCounts.at(1).at(0), 1u);
  for (const auto& row : s->channelGrid) {
    for (const auto& st : row) EXPECT_EQ(st->histogram != nullptr, st->board == 1 && st->channel == 0);
  }
}

TEST(T1Decoder, ABoardKeptInPlaceByAnotherDecoderIsCountedWithoutHistogram) {
  DecoderState state;
  state.board = 3 << 16;
  state.binIndex = 5;
  const auto bytes = BigEndian({4, 9, T1Head(0, 1), 2});
  state.DecodeT1(bytes.data(), 16, "");
  EXPECT_EQ(state.t1Statistics.eventCounts.at(3 << 16).at(0), 2u);
  EXPECT_EQ(state.t1Statistics.maxValues.at(3 << 16).at(0).bin, 5);
  EXPECT_EQ(state.t1Statistics.maxValues.at(3 << 16).at(0).value, 0u);
  EXPECT_EQ(state.t1Statistics.eventCounts.at(0).at(1), 1u);
  EXPECT_EQ(Status(state, 0, 0).histogram, nullptr);
}

TEST(T1Decoder, BinsPastTheHistogramCountAsEventsWithValueZero) {
  std::vector<std::uint32_t> words = {T1Head(3, 2)};
  words.resize(1 + kT1Bins, 0);
  words.back() = 1;     // last bin: 1,048,575
  words.push_back(50);  // bin 1,048,576: past the end
  words.push_back(60);
  const auto s = DecodeT1Words(words, 4092);
  const T1ChannelStatus& st = Status(*s, 3, 2);
  EXPECT_EQ(st.lastBin, kT1Bins - 1);
  EXPECT_EQ(st.maxBin, kT1Bins - 1);
  EXPECT_EQ(st.maxCount, 1u);
  EXPECT_EQ(s->t1Statistics.eventCounts.at(3).at(2), std::uint64_t{kT1Bins} + 2);
  EXPECT_EQ(s->t1Statistics.maxValues.at(3).at(2).value, 1u);
  EXPECT_EQ(s->binIndex, kT1Bins + 2);
}

TEST(T1Decoder, BinIndexStopsAtItsLargestValue) {
  DecoderState state;
  state.binIndex = INT32_MAX - 1;
  const auto bytes = BigEndian({1, 2, 3});
  state.DecodeT1(bytes.data(), 12, "");
  EXPECT_EQ(state.binIndex, INT32_MAX);
  EXPECT_EQ(state.t1Statistics.eventCounts.at(0).at(0), 3u);
  EXPECT_EQ(state.t1Statistics.maxValues.at(0).at(0).bin, INT32_MAX - 1);
  EXPECT_EQ(Status(state, 0, 0).histogram, nullptr);
}

TEST(T1Decoder, TrailingBytesAndHostileBlockSizesChangeNothing) {
  std::vector<std::uint32_t> words;
  for (std::uint32_t f = 0; f < 40; ++f) {
    words.push_back(T1Head(f % 4, (f * 7) % 16));
    for (std::uint32_t i = 0; i < 300 + f; ++i) words.push_back((i * 2654435761u) >> (f % 29));
    if (f % 3 != 0) words.push_back(kT1Tail);
  }
  const auto whole = DecodeT1Words(words);
  const std::string expectedText = T1Text(*whole, 25);
  const std::string expectedReport = whole->BuildT1Report();
  for (std::size_t size : {std::size_t{4}, std::size_t{8}, std::size_t{4092}}) {
    const auto split = DecodeT1Words(words, size);
    EXPECT_EQ(T1Text(*split, 25), expectedText) << size;
    EXPECT_EQ(split->BuildT1Report(), expectedReport) << size;
  }
  auto bytes = BigEndian(words);
  bytes.insert(bytes.end(), {0xEB, 0x90, 0xBA});  // three bytes that do not make a word
  DecoderState tailed;
  tailed.DecodeT1(bytes.data(), static_cast<std::int32_t>(bytes.size()), "");
  EXPECT_EQ(T1Text(tailed, 25), expectedText);
  EXPECT_EQ(tailed.t1Statistics.headNumber, 40u);
}

TEST(T1Decoder, ResetEmptiesEveryChannelAndReleasesItsBins) {
  auto s = DecodeT1Words({T1Head(2, 5), 1, 2, 3, kT1Tail});
  s->ResetT1();
  s->board = 0;
  for (const auto& row : s->channelGrid) {
    for (const auto& st : row) {
      EXPECT_EQ(st->histogram, nullptr);
      EXPECT_EQ(st->maxBin, 0);
      EXPECT_EQ(st->maxCount, 0u);
      EXPECT_EQ(st->lastBin, 0);
    }
  }
  EXPECT_EQ(s->binIndex, 0);
  EXPECT_EQ(s->channel, 0);
  EXPECT_EQ(s->t1Statistics.headNumber, 0u);
  EXPECT_TRUE(s->t1Statistics.eventCounts.empty());
  const auto again = BigEndian({7});
  s->DecodeT1(again.data(), 4, "");
  EXPECT_EQ(s->t1Statistics.eventCounts.at(0).at(0), 1u);
  EXPECT_EQ(s->t1Statistics.eventCounts.size(), 1u);
  EXPECT_EQ(Status(*s, 0, 0).Bin(0), 7u);
}

}  // namespace
}  // namespace kestrun::test
