// Text formatted on several threads, or with reads and writes overlapped, against the worker alone: the
// same bytes, callbacks, announcements and stops.
#include <gtest/gtest.h>

#include <algorithm>

#include "engine/EngineTesting.h"

namespace kestrun::test {
namespace {

struct Result {
  Outputs out;
  std::vector<std::string> seen;  // messages, progress, and the run's counters at the end
  std::string announced;          // on standard output
};

// Takes every record and keeps none.
struct Drop : RecordSink {
  bool Take(const RecordChunk&) override { return true; }
};

Result ConvertWith(const Conversion& c, int threads, std::size_t area = kTextBufferSize, bool overlap = true,
                   int stopAfterBlock = 0, RecordSink* records = nullptr) {
  TdcFileParser parser;
  parser.recordSink = records;
  parser.textThreads = threads;
  parser.textBufferCapacity = area;
  parser.overlapIo = overlap;
  Result r;
  int blocks = 0;
  parser.onProgress = [&](int p) {
    r.seen.push_back("progress " + std::to_string(p));
    if (++blocks == stopAfterBlock) parser.running = false;
  };
  parser.onMessage = [&](std::string path) { r.seen.push_back(path); };
  testing::internal::CaptureStdout();
  r.out = Convert(parser, c);
  r.announced = testing::internal::GetCapturedStdout();
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
  EXPECT_EQ(got.announced, want.announced);  // once, though a threaded run decodes every block thrice
}

// A synthesized series (with faults) cut again into files of hostile sizes: a word, a block and a word,
// an empty file, a block cut inside packages, and three bytes that put the last words out of step.
Conversion HostileSeries(const ScratchDir& dir, const SynthCase& c) {
  Synth(dir, c.args + (c.faults.empty() ? "" : " --faults " + c.faults) + " --size 2200K --files 2 --seed 9", "s");
  const std::string all = ReadFile(dir / "s_1.dat") + ReadFile(dir / "s_2.dat");
  const std::size_t sizes[] = {4, 1'048'580, 8, 0, 1'048'572, 3};
  std::size_t at = 0;
  int n = 0;
  for (std::size_t size : sizes) {
    WriteFile(dir / ("cut_" + std::to_string(++n) + ".dat"), all.substr(at, size));
    at = std::min(all.size(), at + size);
  }
  WriteFile(dir / ("cut_" + std::to_string(++n) + ".dat"), all.substr(at));
  return Of(dir / "cut_1.dat", c);
}

TEST(ParallelText, EveryThreadCountAndOverlapGiveTheBytesAndCallbacksOfTheWorkerAlone) {
  for (const SynthCase& c : kSynthCases) {
    SCOPED_TRACE(c.args);
    ScratchDir dir;
    const Conversion conversion = HostileSeries(dir, c);
    Drop records;  // which change no byte of the text
    const Result alone = ConvertWith(conversion, 1, kTextBufferSize, true, 0, &records);
    ASSERT_EQ(alone.out.status, 0);
    ASSERT_GT(alone.out.parsed.size(), 300'000u);
    EXPECT_EQ(alone.announced.empty(), &c != kSynthCases) << alone.announced.size();
    // A small text area: every block keeps text aside, and the writer takes many chunks per block. Text
    // past the area by less than the area: a slot keeps its spill's memory for its next block.
    for (const auto& [threads, area, overlap] : {std::tuple{3, kTextBufferSize, true}, {2, 64 * 1024, true},
                                                 {2, 3 * 1024 * 1024, true}, {1, 64 * 1024, true},
                                                 {1, kTextBufferSize, false}}) {
      ExpectSame(ConvertWith(conversion, threads, area, overlap), alone);
    }
  }
}

TEST(ParallelText, AStopAfterAnyBlockEndsTheRunThereAsTheWorkerAloneDoes) {
  ScratchDir dir;
  const Conversion conversion = HostileSeries(dir, kSynthCases[0]);
  for (int block = 1; block <= 7; ++block) {
    SCOPED_TRACE(block);
    const Result alone = ConvertWith(conversion, 1, kTextBufferSize, true, block);
    EXPECT_EQ(std::count_if(alone.seen.begin(), alone.seen.end(),
                            [](const std::string& s) { return s.starts_with("progress"); }),
              block);
    ExpectSame(ConvertWith(conversion, 3, kTextBufferSize, true, block), alone);
  }
}

}  // namespace
}  // namespace kestrun::test
