#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <memory>
#include <sstream>
#include <tuple>

#include "support/Conversion.h"

namespace kestrun::test {
namespace {

constexpr std::uint32_t T1Head(std::uint32_t board, std::uint32_t ch) { return 0xEB90BA00u | board << 16 | ch << 4; }
constexpr std::uint32_t kT1Tail = 0xAAEEEEDD;

// Decodes `bytes` for parsed text in blocks of `blockSize` bytes, from the given board and bin.
std::unique_ptr<DecoderState> Decode(const std::vector<std::uint8_t>& bytes, std::size_t blockSize = 1 << 20,
                                     std::int32_t board = 0, std::int32_t bin = 0) {
  auto state = std::make_unique<DecoderState>();
  state->board = board;
  state->binIndex = bin;
  state->generateParsed = true;
  for (std::size_t at = 0; at < bytes.size(); at += blockSize) {
    state->DecodeT1(bytes.data() + at, static_cast<std::int32_t>(std::min(blockSize, bytes.size() - at)), "KR77A5");
  }
  return state;
}

// The whole T1 text of `state` for an RB9531, composed in a text area of `capacity` bytes, then its report.
std::string TextAndReport(DecoderState& state, std::int32_t resolutionPs, std::size_t capacity = 1 << 20) {
  StringSink sink(capacity);
  const std::int64_t n = state.WriteT1Text(sink.sink(), resolutionPs, "RB9531");
  const std::string text = sink.Text();
  return (n == static_cast<std::int64_t>(text.size()) ? text : "length mismatch: " + std::to_string(n)) +
         state.BuildT1Report();
}

std::size_t Histograms(const DecoderState& s) {
  std::size_t n = 0;
  for (auto& row : s.channelGrid) n += std::count_if(row.begin(), row.end(), [](auto& c) { return !!c->histogram; });
  return n;
}

// The decoder's counters, position and histograms on the grid, then each statistics row: for a channel of
// the grid its bins up to the last that received a count and its maximum, then its events and largest value.
std::string Summary(const DecoderState& s) {
  const T1Statistics& t = s.t1Statistics;
  std::ostringstream o;
  o << "heads " << t.headNumber << " tails " << t.tailNumber << " next " << s.board << '/' << s.channel << '/'
    << s.binIndex << " histograms " << Histograms(s);
  for (const auto& [board, channels] : t.eventCounts) {
    for (const auto& [channel, events] : channels) {
      o << "; " << board << '/' << channel;
      if (board >= 0 && board < kT1Boards) {
        const T1ChannelStatus& st = *s.channelGrid[board][channel];
        for (int i = 0; st.histogram && i <= st.lastBin && i < 10; ++i) o << (i == 0 ? " bins " : " ") << st.Bin(i);
        o << " max " << st.maxCount << '@' << st.maxBin << " last " << st.lastBin;
      }
      const T1MaxValue& max = t.maxValues.at(board).at(channel);
      o << " events " << events << " max " << max.value << '@' << max.bin;
    }
  }
  return o.str();
}

TEST(T1Decoder, HeadWordsCountWordsAndTailsMoveTheChannelsBinsAndStatistics) {
  std::vector<std::uint32_t> past(1 + kT1Bins, 0);  // a frame that fills the histogram, and two counts more
  past.front() = T1Head(3, 2);
  past.back() = 1;
  past.insert(past.end(), {50, 60});
  struct Case { std::vector<std::uint32_t> words; std::string expected; std::int32_t board = 0, bin = 0; };
  const Case cases[] = {
      // The head word's bytes name board and channel.
      {{0xEB92BA30, 7, 9}, "heads 1 tails 0 next 2/3/2 histograms 1; 2/3 bins 7 9 max 9@1 last 1 events 2 max 9@1"},
      // Repeated frames add up; after a tail the channel goes on at the next bin.
      {{T1Head(1, 4), 5, 6, kT1Tail, T1Head(1, 4), 1, 2, 3, kT1Tail, 10},
       "heads 2 tails 2 next 1/4/4 histograms 1; 1/4 bins 6 8 3 10 max 10@3 last 3 events 6 max 10@3"},
      // Counts before any head go to board A channel 0.
      {{4, 5}, "heads 0 tails 0 next 0/0/2 histograms 1; 0/0 bins 4 5 max 5@1 last 1 events 2 max 5@1"},
      // Ties keep the first bin; zero counts keep maxBin 0, and the statistics the bin of the first count word.
      {{T1Head(0, 1), 0, 3, 1, 3, T1Head(0, 2), 0, 0, 0},
       "heads 2 tails 0 next 0/2/3 histograms 2; 0/1 bins 0 3 1 3 max 3@1 last 3 events 4 max 3@1; "
       "0/2 bins 0 0 0 max 0@0 last 2 events 3 max 0@0"},
      // Boards beyond the grid, and a board kept there by another decoder, are counted without histogram.
      {{T1Head(9, 15), 0, 0, 8, 9, T1Head(1, 0), 2},
       "heads 2 tails 0 next 1/0/1 histograms 1; 1/0 bins 2 max 2@0 last 0 events 1 max 2@0; 9/15 events 4 max 0@0"},
      {{4, 9, T1Head(0, 1), 2},  // from board 3 << 16, bin 5
       "heads 1 tails 0 next 0/1/1 histograms 1; 0/1 bins 2 max 2@0 last 0 events 1 max 2@0; 196608/0 events 2 max 0@5",
       3 << 16, 5},
      // The bin index stops at its largest value.
      {{1, 2, 3}, "heads 0 tails 0 next 0/0/2147483647 histograms 0; 0/0 max 0@0 last 0 events 3 max 0@2147483646", 0,
       INT32_MAX - 1},
      // Bins past the histogram count as events with value zero.
      {past, "heads 1 tails 0 next 3/2/1048578 histograms 1; 3/2 bins 0 0 0 0 0 0 0 0 0 0 max 1@1048575 "
             "last 1048575 events 1048578 max 1@1048575"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Summary(*Decode(BigEndian(c.words), 1 << 20, c.board, c.bin)), c.expected) << &c - cases;
  }
}

const std::string kColumns = "Board,\t Channel,\t Total Event Number,\t Max Value(MaxY@X)\n";
const std::string kHead = "Device Type: RB9531\nData For Channels:\n";

TEST(T1Text, TextAndReportAndAFailingFile) {
  // A frame across three pages of bins: each line has its own bin's count, and the last bin is not listed.
  std::vector<std::uint32_t> frame = {T1Head(2, 5)};
  std::string pages;
  for (std::uint32_t i = 0; i < 2 * kT1PageBins + 3; ++i) {
    frame.push_back(i + 1);
    if (i < 2 * kT1PageBins + 2) pages += std::to_string(i) + "\t" + std::to_string(i + 1) + "\n";
  }
  const std::tuple<std::vector<std::uint32_t>, std::int32_t, std::string, std::string> cases[] = {
      // C/7 has only bin 0 (not listed), D/15 peaks at bin 0 (listed, no histogram); a histogram ends before its last.
      {{T1Head(0, 0), 1, 4, 2, kT1Tail, T1Head(0, 3), 0, 0, 5, 0, kT1Tail, T1Head(1, 1), 3, 9, T1Head(2, 7), 9, kT1Tail,
        T1Head(3, 15), 8, 1}, 25,
       kHead + "\tbrd: A chl: 0 chl: 3 \n\tbrd: B chl: 1 \n\tbrd: D chl: 15 \nWindow Resolution: 25ps\n\n\n"
               "Board A, Channel 0: MAX @25ps\nTime(ps)\tCount\n0\t1\n25\t4\n\n\n"
               "Board A, Channel 3: MAX @50ps\nTime(ps)\tCount\n0\t0\n25\t0\n50\t5\n\n\n"
               "Board B, Channel 1: MAX @25ps\nTime(ps)\tCount\n0\t3\n\n\n",
       "Head Number:5\tTail Number:3\n" + kColumns +
           "0\t0\t3\t4@1\n0\t3\t4\t5@2\n1\t1\t2\t9@1\n2\t7\t1\t9@0\n3\t15\t2\t8@0\n"},
      // Report rows sort numerically; a head without counts gives no row, bin 0 alone no histogram.
      {{T1Head(0, 10), 1, T1Head(0, 9), 2, T1Head(0, 1), 3, T1Head(1, 5), kT1Tail}, 25,
       kHead + "Window Resolution: 25ps\n\n\n",
       "Head Number:4\tTail Number:1\n" + kColumns + "0\t1\t1\t3@0\n0\t9\t1\t2@0\n0\t10\t1\t1@0\n"},
      // Times wrap like the 32-bit products they are printed as; counts add up past 32 bits.
      {{T1Head(0, 0), 0, 0xFFFFFFFF, 0xFFFFFFFF, 1, T1Head(0, 0), 0, 0, 0xFFFFFFFF}, 1 << 30,
       kHead + "\tbrd: A chl: 0 \nWindow Resolution: 1073741824ps\n\n\n"
               "Board A, Channel 0: MAX @-2147483648ps\nTime(ps)\tCount\n0\t0\n1073741824\t4294967295\n"
               "-2147483648\t8589934590\n\n\n",
       "Head Number:2\tTail Number:0\n" + kColumns + "0\t0\t7\t8589934590@2\n"},
      {frame, 1,
       kHead + "\tbrd: C chl: 5 \nWindow Resolution: 1ps\n\n\nBoard C, Channel 5: MAX @16386ps\nTime(ps)\tCount\n" +
           pages + "\n\n", "Head Number:1\tTail Number:0\n" + kColumns + "2\t5\t16387\t16387@16386\n"},
  };
  for (const auto& [words, resolutionPs, text, report] : cases) {
    SCOPED_TRACE(testing::Message() << words.size() << " words");
    const auto s = Decode(BigEndian(words), 4092);  // blocks that end inside pages
    EXPECT_EQ(TextAndReport(*s, resolutionPs, 100), text + "T1 Statistics Report: \n" + report);  // a small area
    char area[100];  // a file that fails to take the text gives 0
    TextSink bad(area, sizeof area, [](void*, char*, std::size_t) -> char* { return nullptr; }, nullptr);
    EXPECT_EQ(s->WriteT1Text(bad, 25, "KR77A5"), 0);
    EXPECT_TRUE(bad.Failed());
    s->generateParsed = false;  // without parsed text nothing is written
    EXPECT_EQ(TextAndReport(*s, resolutionPs), "T1 Statistics Report: \n" + report);
  }
}

TEST(T1Run, BlocksFilesAndRunsChangeNothingAndEveryRunStartsFromEmptyHistograms) {
  std::vector<std::uint32_t> words;
  for (std::uint32_t f = 0; f < 6; ++f) {
    words.push_back(T1Head(f % 4, (3 + f * 5) % 16));
    for (std::uint32_t i = 0; i < 1500; ++i) words.push_back(((i + 3) * 2246822519u) >> (20 + f % 3));
    if (f % 3 != 0) words.push_back(kT1Tail);
  }
  const std::string whole = TextAndReport(*Decode(BigEndian(words)), 16);
  // Blocks of one word, of two and of one word short of a page, and three bytes at the end that make no word.
  auto bytes = BigEndian(words);
  bytes.insert(bytes.end(), {0xEB, 0x90, 0xBA});
  for (std::size_t size : {4u, 8u, 4092u}) EXPECT_EQ(TextAndReport(*Decode(bytes, size), 16), whole) << size;

  // A series of two files cut inside a frame, converted twice on one parser whose text spills many times.
  ScratchDir dir;
  WriteSplit({dir / "series_1.dat", dir / "series_2.dat"}, BigEndian(words));
  Conversion c(dir / "series_1.dat", 1, 64);
  TdcFileParser parser;
  parser.textBufferCapacity = 4096;
  for (int run = 0; run < 2; ++run) {
    const Outputs o = Convert(parser, c);
    EXPECT_GT(o.parsed.size(), 4096u * 10);
    EXPECT_TRUE(std::to_string(o.status) + " " + std::to_string(parser.parsedBytes) + " " + o.parsed + o.report ==
                "0 " + std::to_string(o.parsed.size()) + " " + whole) << run;
  }
  // A run of another data type releases the histograms.
  EXPECT_EQ(Histograms(parser.decoderState), 6u);
  c.dataType = 4;
  EXPECT_EQ(Convert(parser, c).status, 0);
  EXPECT_EQ(Histograms(parser.decoderState), 0u);
}

}  // namespace
}  // namespace kestrun::test
