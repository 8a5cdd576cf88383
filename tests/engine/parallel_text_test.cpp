// Text formatted on several threads against the worker alone: the same bytes, callbacks and stops.
#include <gtest/gtest.h>

#include <algorithm>

#include "support/Conversion.h"

namespace kestrun::test {
namespace {

struct Result {
  Outputs out;
  std::vector<std::string> seen;  // messages, progress, and the run's counters at the end
};

Result ConvertWith(int threads, const Conversion& c, int stopAfterBlock = 0, std::size_t area = kTextBufferSize) {
  TdcFileParser parser;
  parser.textThreads = threads;
  parser.textBufferCapacity = area;
  Result r;
  int blocks = 0;
  parser.onProgress = [&](int p) {
    r.seen.push_back("progress " + std::to_string(p));
    if (++blocks == stopAfterBlock) parser.running = false;
  };
  parser.onMessage = [&](std::string path) { r.seen.push_back(path); };
  r.out = Convert(parser, c);
  r.seen.push_back("read " + std::to_string(parser.bytesRead) + " parsed " + std::to_string(parser.parsedBytes) +
                   " status " + std::to_string(parser.statusCode) + " failures " +
                   std::to_string(parser.failures.size()) + " warnings " + std::to_string(parser.warnings.size()));
  return r;
}

void ExpectSame(const Result& got, const Result& want) {
  EXPECT_EQ(got.out.status, want.out.status);
  EXPECT_TRUE(got.out.parsed == want.out.parsed);
  EXPECT_EQ(got.out.report, want.out.report);
  EXPECT_EQ(got.seen, want.seen);
}

// A synthesized series (with faults) cut again into files of hostile sizes: a word, a block and a word,
// an empty file, a block cut inside packages, and three bytes that put the last words out of step.
std::string HostileSeries(const ScratchDir& dir, const std::string& synth) {
  const CommandResult made = RunCommand(Quote(std::string(KESTRUN_BIN_DIR) + "/kestrun-synth") + " " + synth +
                                        " -r 8 --size 2200K --files 2 --seed 9 -o " + Quote(dir.path().string()) + " s");
  EXPECT_EQ(made.exitCode, 0) << made.err;
  const std::string all = ReadFile(dir / "s_1.dat") + ReadFile(dir / "s_2.dat");
  const std::size_t sizes[] = {4, 1'048'580, 8, 0, 1'048'572, 3};
  std::size_t at = 0;
  int n = 0;
  for (std::size_t size : sizes) {
    WriteFile(dir / ("cut_" + std::to_string(++n) + ".dat"), all.substr(at, size));
    at = std::min(all.size(), at + size);
  }
  WriteFile(dir / ("cut_" + std::to_string(++n) + ".dat"), all.substr(at));
  return dir / "cut_1.dat";
}

struct Case {
  std::string synth;
  std::int32_t type, device;
};
const Case kCases[] = {
    {"-t T2 -d QZ48 --faults serial-gap:3,length:2,sync-gap:2,junk:4", 2, 3},
    {"-t T2 -d RB9531 --faults sync-gap:2,junk:4", 2, 64},
    {"-t T3 -d QZ48 --faults serial-gap:3,length:2,junk:4", 3, 3},
    {"-t T3 -d KR77A5 --faults sync-gap:2,junk:4", 3, 1},
    {"-t ITTR_T -d QZ48 --faults serial-gap:2,lead-gap:2,overflow-gap:2,junk:4", 4, 3},
    {"-t ITTR_M -d RB9531 --faults junk:3", 5, 64},
};

Conversion Of(const std::string& input, const Case& c) {
  Conversion conversion;
  conversion.input = input;
  conversion.dataType = c.type;
  conversion.deviceType = c.device;
  conversion.resolutionPs = 8;
  return conversion;
}

TEST(ParallelText, EveryThreadCountGivesTheBytesAndCallbacksOfTheWorkerAlone) {
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.synth);
    ScratchDir dir;
    const Conversion conversion = Of(HostileSeries(dir, c.synth), c);
    const Result alone = ConvertWith(1, conversion);
    ASSERT_EQ(alone.out.status, 0);
    ASSERT_GT(alone.out.parsed.size(), 300'000u);
    ExpectSame(ConvertWith(3, conversion), alone);
    if (c.type == 2 || c.type == 4) {  // a small text area: every block keeps text aside
      ExpectSame(ConvertWith(2, conversion, 0, 64 * 1024), ConvertWith(1, conversion, 0, 64 * 1024));
    }
  }
}

TEST(ParallelText, AStopAfterAnyBlockEndsTheRunThereAsTheWorkerAloneDoes) {
  for (const Case& c : {kCases[0]}) {
    SCOPED_TRACE(c.synth);
    ScratchDir dir;
    const Conversion conversion = Of(HostileSeries(dir, c.synth), c);
    for (int block = 1; block <= 7; ++block) {
      SCOPED_TRACE(block);
      const Result alone = ConvertWith(1, conversion, block);
      EXPECT_EQ(std::count_if(alone.seen.begin(), alone.seen.end(), [](const std::string& s) { return s.starts_with("progress"); }),
                block);
      ExpectSame(ConvertWith(3, conversion, block), alone);
    }
  }
}

TEST(ParallelText, EachPackageSerialOverflowIsAnnouncedOnceThoughEveryBlockIsDecodedThrice) {
  ScratchDir dir;
  std::vector<std::uint32_t> words{0xEB90B712};
  for (std::uint32_t p = 0; words.size() < 600'000; ++p) {
    words.insert(words.end(), {0xC0000400u | (p & 1023), 0xD8000000u, 7, 0xC8000000u});
  }
  WriteFile(dir / "a.dat", BigEndian(words));
  Conversion c;
  c.input = dir / "a.dat";
  testing::internal::CaptureStdout();
  const Result threaded = ConvertWith(3, c);
  const std::string announced = testing::internal::GetCapturedStdout();
  EXPECT_EQ(threaded.out.status, 0);
  EXPECT_EQ(announced.size(), (words.size() - 1) / 4 * std::string("Package Serial Overflow\n").size());
}

}  // namespace
}  // namespace kestrun::test
