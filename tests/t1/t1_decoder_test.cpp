#include <gtest/gtest.h>

#include <climits>
#include <sstream>

#include "tests/t1/T1TestSupport.h"

namespace kestrun::test {
namespace {

// The decoder's counters and position, then one channel as it was left: its bins up to the last that
// received a count and its maximum (for a channel of the grid), and its statistics row.
std::string Summary(const DecoderState& s, int board, int channel) {
  std::ostringstream o;
  const T1Statistics& t = s.t1Statistics;
  o << "heads " << t.headNumber << " tails " << t.tailNumber << " next " << s.board << '/' << s.channel << '/'
    << s.binIndex << ";";
  if (board >= 0 && board < kT1Boards) {
    const T1ChannelStatus& st = *s.channelGrid[board][channel];
    for (int i = 0; i <= st.lastBin && i < 10; ++i) o << (i == 0 ? " bins " : " ") << st.Bin(i);
    o << " max " << st.maxCount << '@' << st.maxBin << " last " << st.lastBin << ";";
  }
  if (!t.eventCounts.contains(board) || !t.eventCounts.at(board).contains(channel)) return o.str() + " no row";
  const T1MaxValue& max = t.maxValues.at(board).at(channel);
  o << " events " << t.eventCounts.at(board).at(channel) << " max " << max.value << '@' << max.bin;
  return o.str();
}

// The grid channels that hold bins, as "board/channel".
std::string Allocated(const DecoderState& s) {
  std::string list;
  for (const auto& row : s.channelGrid) {
    for (const auto& st : row) {
      if (st->histogram) list += " " + std::to_string(st->board) + "/" + std::to_string(st->channel);
    }
  }
  return list.empty() ? list : list.substr(1);
}

TEST(T1Decoder, HeadWordsCountWordsAndTailsMoveTheChannelsBinsAndStatistics) {
  const std::vector<std::uint32_t> ties = {T1Head(0, 1), 0, 3, 1, 3, T1Head(0, 2), 0, 0, 0};
  const std::vector<std::uint32_t> beyond = {T1Head(9, 15), 0, 0, 8, 9, T1Head(1, 0), 2};
  const std::vector<std::uint32_t> kept = {4, 9, T1Head(0, 1), 2};
  const std::vector<std::uint32_t> repeated = {T1Head(1, 4), 5, 6, kT1Tail, T1Head(1, 4), 1, 2, 3, kT1Tail, 10};
  const std::vector<std::uint32_t> head = {0xEB92BA30, 7, 9}, headless = {4, 5}, counts = {1, 2, 3};
  struct Case {
    const char* why;
    std::vector<std::uint32_t> words;
    int board, channel;
    std::string expected;
    const char* allocated;  // not checked when null
    std::int32_t startBoard = 0, startBin = 0;
  };
  const Case cases[] = {
      {"the head word's bytes name board and channel", head, 2, 3,
       "heads 1 tails 0 next 2/3/2; bins 7 9 max 9@1 last 1; events 2 max 9@1", "2/3"},
      {"repeated frames add up; after a tail the channel goes on at the next bin", repeated, 1, 4,
       "heads 2 tails 2 next 1/4/4; bins 6 8 3 10 max 10@3 last 3; events 6 max 10@3", "1/4"},
      {"counts before any head go to board A channel 0", headless, 0, 0,
       "heads 0 tails 0 next 0/0/2; bins 4 5 max 5@1 last 1; events 2 max 5@1", "0/0"},
      {"ties keep the first bin", ties, 0, 1,
       "heads 2 tails 0 next 0/2/3; bins 0 3 1 3 max 3@1 last 3; events 4 max 3@1", nullptr},
      {"zero counts keep maxBin 0 and the statistics the bin of the first count word", ties, 0, 2,
       "heads 2 tails 0 next 0/2/3; bins 0 0 0 max 0@0 last 2; events 3 max 0@0", nullptr},
      {"boards beyond the grid are counted without histogram", beyond, 9, 15,
       "heads 2 tails 0 next 1/0/1; events 4 max 0@0", "1/0"},
      {"the next head on the grid", beyond, 1, 0, "heads 2 tails 0 next 1/0/1; bins 2 max 2@0 last 0; events 1 max 2@0",
       "1/0"},
      {"a board kept in place by another decoder is counted without histogram", kept, 3 << 16, 0,
       "heads 1 tails 0 next 0/1/1; events 2 max 0@5", "0/1", 3 << 16, 5},
      {"... and the counts after the next head", kept, 0, 1,
       "heads 1 tails 0 next 0/1/1; bins 2 max 2@0 last 0; events 1 max 2@0", "0/1", 3 << 16, 5},
      {"the bin index stops at its largest value", counts, 0, 0,
       "heads 0 tails 0 next 0/0/2147483647; bins 0 max 0@0 last 0; events 3 max 0@2147483646", "", 0, INT32_MAX - 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    DecoderState state;
    state.board = c.startBoard;
    state.binIndex = c.startBin;
    DecodeT1Bytes(state, BigEndian(c.words), 1 << 20);
    EXPECT_EQ(Summary(state, c.board, c.channel), c.expected);
    if (c.allocated) {
      EXPECT_EQ(Allocated(state), c.allocated);
    }
  }
}

TEST(T1Decoder, BinsPastTheHistogramCountAsEventsWithValueZero) {
  std::vector<std::uint32_t> words = {T1Head(3, 2)};
  words.resize(1 + kT1Bins, 0);
  words.back() = 1;     // last bin: 1,048,575
  words.push_back(50);  // bin 1,048,576: past the end
  words.push_back(60);
  const auto s = DecodeT1Words(words, 4092);
  const T1ChannelStatus& st = *s->channelGrid[3][2];
  EXPECT_EQ(st.Bin(kT1Bins - 1), 1u);
  EXPECT_EQ(Summary(*s, 3, 2),
            "heads 1 tails 0 next 3/2/1048578; bins 0 0 0 0 0 0 0 0 0 0 max 1@1048575 last 1048575; events 1048578 max "
            "1@1048575");
  EXPECT_EQ(s->binIndex, kT1Bins + 2);
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
  DecodeT1Bytes(tailed, bytes, bytes.size());
  EXPECT_EQ(T1Text(tailed, 25), expectedText);
  EXPECT_EQ(tailed.t1Statistics.headNumber, 40u);
}

TEST(T1Decoder, ResetEmptiesEveryChannelAndReleasesItsBins) {
  auto s = DecodeT1Words({T1Head(2, 5), 1, 2, 3, kT1Tail});
  s->ResetT1();
  s->board = 0;
  EXPECT_EQ(Allocated(*s), "");
  for (const auto& row : s->channelGrid) {
    for (const auto& st : row) {
      EXPECT_EQ(Summary(*s, st->board, st->channel), "heads 0 tails 0 next 0/0/0; bins 0 max 0@0 last 0; no row");
    }
  }
  EXPECT_TRUE(s->t1Statistics.eventCounts.empty());
  DecodeT1Bytes(*s, BigEndian({7}), 4);
  EXPECT_EQ(s->t1Statistics.eventCounts.size(), 1u);
  EXPECT_EQ(Summary(*s, 0, 0), "heads 0 tails 0 next 0/0/1; bins 7 max 7@0 last 0; events 1 max 7@0");
}

}  // namespace
}  // namespace kestrun::test
