#include <gtest/gtest.h>

#include "support/Conversion.h"
#include "tests/t1/T1TestSupport.h"

namespace kestrun::test {
namespace {

std::vector<std::uint32_t> Frames(std::uint32_t seed, std::uint32_t bins) {
  std::vector<std::uint32_t> words;
  for (std::uint32_t f = 0; f < 6; ++f) {
    words.push_back(T1Head(f % 4, (seed + f * 5) % 16));
    for (std::uint32_t i = 0; i < bins; ++i) words.push_back(((i + seed) * 2246822519u) >> 20);
    words.push_back(kT1Tail);
  }
  return words;
}

// What one uninterrupted decoding of `words` gives: the parsed text and the report.
std::pair<std::string, std::string> Expected(const std::vector<std::uint32_t>& words) {
  const auto s = DecodeT1Words(words);
  return {T1Text(*s, 16, 1 << 20, "RB9531"), s->BuildT1Report()};
}

Conversion T1Run(const std::string& input) {
  Conversion c;
  c.input = input;
  c.dataType = 1;
  c.deviceType = 64;
  return c;
}

TEST(T1Run, FramesRunOnAcrossFilesAndEveryRunStartsFromEmptyHistograms) {
  ScratchDir dir;
  const std::vector<std::uint32_t> words = Frames(3, 1500), other = Frames(2, 40);
  // The cut between the files falls inside a frame.
  WriteFile(dir / "series_1.dat", BigEndian(std::vector<std::uint32_t>(words.begin(), words.begin() + 1000)));
  WriteFile(dir / "series_2.dat", BigEndian(std::vector<std::uint32_t>(words.begin() + 1000, words.end())));
  WriteFile(dir / "other.dat", BigEndian(other));
  const auto [text, report] = Expected(words);
  TdcFileParser parser;
  parser.textBufferCapacity = 4096;
  EXPECT_GT(text.size(), 4096u * 10);  // the text spills many times
  for (int run = 0; run < 2; ++run) {
    SCOPED_TRACE(run);
    const Outputs o = Convert(parser, T1Run(dir / "series_1.dat"));
    EXPECT_EQ(o.status, 0);
    EXPECT_TRUE(o.parsed == text);
    EXPECT_EQ(o.report, report);
    EXPECT_EQ(parser.parsedBytes, text.size());
  }
  const Outputs o = Convert(parser, T1Run(dir / "other.dat"));
  EXPECT_EQ(o.parsed, Expected(other).first);
  EXPECT_EQ(o.report, Expected(other).second);

  // A run of another data type releases the histograms.
  EXPECT_NE(parser.decoderState.channelGrid[0][2]->histogram, nullptr);
  Conversion ittr = T1Run(dir / "other.dat");
  ittr.dataType = 4;
  EXPECT_EQ(Convert(parser, ittr).status, 0);
  for (const auto& row : parser.decoderState.channelGrid) {
    for (const auto& st : row) EXPECT_EQ(st->histogram, nullptr);
  }
}

}  // namespace
}  // namespace kestrun::test
