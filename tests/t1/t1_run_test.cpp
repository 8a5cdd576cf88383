#include <gtest/gtest.h>

#include "engine/TdcFileParser.h"
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

struct T1Run {
  ScratchDir dir;
  TdcFileParser parser;

  void Convert(const std::string& name, std::int32_t rangeLast = 0) {
    parser.inputPath = dir / name;
    parser.outputDir = dir.path().string();
    parser.rangeFirst = 0;
    parser.rangeLast = rangeLast;
    parser.generateParsed = true;
    parser.generateReport = true;
    parser.dataType = 1;
    parser.deviceType = 64;
    parser.resolutionPs = 16;
    parser.Start();
    parser.Wait();
  }
  std::string Parsed(const std::string& stem) { return ReadFile(dir / (stem + "_parsed.txt")); }
  std::string Report(const std::string& stem) { return ReadFile(dir / (stem + "_report.txt")); }
};

// What one uninterrupted decoding of `words` gives.
std::pair<std::string, std::string> Expected(const std::vector<std::uint32_t>& words) {
  const auto s = DecodeT1Words(words);
  s->generateParsed = true;
  StringSink sink;
  s->WriteT1Text(sink.sink(), 16, "RB9531");
  return {sink.Text(), s->BuildT1Report()};
}

TEST(T1Run, SecondRunsStartFromEmptyHistograms) {
  T1Run run;
  const auto first = Frames(1, 3000), second = Frames(2, 40);
  WriteFile(run.dir / "capture.dat", BigEndian(first));
  WriteFile(run.dir / "other.dat", BigEndian(second));
  const auto [text, report] = Expected(first);
  run.Convert("capture.dat");
  EXPECT_EQ(run.parser.statusCode, 0);
  EXPECT_EQ(run.Parsed("capture"), text);
  EXPECT_EQ(run.Report("capture"), report);
  run.Convert("capture.dat");
  EXPECT_EQ(run.Parsed("capture"), text);
  EXPECT_EQ(run.Report("capture"), report);
  run.Convert("other.dat");
  EXPECT_EQ(run.Parsed("other"), Expected(second).first);
  EXPECT_EQ(run.Report("other"), Expected(second).second);
}

TEST(T1Run, FramesRunOnAcrossFilesAndTheTextSpillsPastTheBuffer) {
  T1Run run;
  run.parser.textBufferCapacity = 4096;
  std::vector<std::uint32_t> words = Frames(3, 1500);
  const std::vector<std::uint32_t> one(words.begin(), words.begin() + 1000);
  const std::vector<std::uint32_t> two(words.begin() + 1000, words.end());
  WriteFile(run.dir / "series_1.dat", BigEndian(one));
  WriteFile(run.dir / "series_2.dat", BigEndian(two));
  run.Convert("series_1.dat", 1);
  EXPECT_EQ(run.parser.statusCode, 0);
  const auto [text, report] = Expected(words);
  EXPECT_GT(text.size(), 4096u * 10);
  EXPECT_EQ(run.Parsed("series_1"), text);
  EXPECT_EQ(run.Report("series_1"), report);
  EXPECT_EQ(run.parser.parsedBytes, text.size());
}

TEST(T1Run, OtherDataTypesReleaseTheHistograms) {
  T1Run run;
  WriteFile(run.dir / "capture.dat", BigEndian(Frames(4, 10)));
  run.Convert("capture.dat");
  EXPECT_NE(run.parser.decoderState.channelGrid[0][4]->histogram, nullptr);
  run.parser.dataType = 4;
  run.parser.inputPath = run.dir / "capture.dat";
  run.parser.Start();
  run.parser.Wait();
  for (const auto& row : run.parser.decoderState.channelGrid) {
    for (const auto& st : row) EXPECT_EQ(st->histogram, nullptr);
  }
}

TEST(T1Run, CommandLineConvertsEndToEnd) {
  ScratchDir dir;
  const auto words = Frames(5, 200);
  WriteFile(dir / "capture.dat", BigEndian(words));
  const CommandResult r =
      RunCommand(std::string(KESTRUN_CLI) + " -q -t T1 -r 16 -d RB9531 --report '" + (dir / "capture.dat") + "'");
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const auto [text, report] = Expected(words);
  EXPECT_EQ(ReadFile(dir / "capture_parsed.txt"), text);
  EXPECT_EQ(ReadFile(dir / "capture_report.txt"), report);
}

}  // namespace
}  // namespace kestrun::test
