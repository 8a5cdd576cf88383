// Text formatted on several threads, or with reads and writes overlapped, against the worker alone: the
// same bytes, callbacks, announcements and stops.
#include <gtest/gtest.h>

#include "engine/EngineTesting.h"

namespace kestrun::test {
namespace {

// A data type and device of kestrun-synth, with the faults a hostile series of them carries.
struct SynthCase {
  std::string args;
  std::int32_t type, device;
};
const SynthCase kSynthCases[] = {
    {"-t T2 -d QZ48 --faults serial-gap:3,length:2,sync-gap:2,junk:4", 2, 3},
    {"-t T2 -d RB9531 --faults sync-gap:2,junk:4", 2, 64},
    {"-t T3 -d QZ48 --faults serial-gap:3,length:2,junk:4", 3, 3},
    {"-t T3 -d KR77A5 --faults sync-gap:2,junk:4", 3, 1},
    {"-t ITTR_T -d QZ48 --faults serial-gap:2,lead-gap:2,overflow-gap:2,junk:4", 4, 3},
    {"-t ITTR_M -d RB9531 --faults junk:3", 5, 64},
    {"-t T1 -d QZ48", 1, 3},
};

struct Result {
  std::string parsed;
  std::string shown;  // status, report, messages, progress, the run's counters and standard output
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
  std::string seen;
  int blocks = 0;
  parser.onProgress = [&](int p) {
    seen += "progress " + std::to_string(p) + "\n";
    if (++blocks == stopAfterBlock) parser.running = false;
  };
  parser.onMessage = [&](const std::string& path) { seen += path + "\n"; };
  testing::internal::CaptureStdout();
  const Outputs o = Convert(parser, c);
  // Announced once, though a threaded run decodes every block thrice.
  const std::string announced = testing::internal::GetCapturedStdout();
  return {o.parsed, "status " + std::to_string(o.status) + "\n" + o.report + seen + "read " +
                        std::to_string(parser.bytesRead) + " parsed " + std::to_string(parser.parsedBytes) +
                        " failures " + std::to_string(parser.failures.size()) + " warnings " +
                        std::to_string(parser.warnings.size()) + "\nstandard output:\n" + announced};
}

void ExpectSame(const Result& got, const Result& want) {
  EXPECT_TRUE(got.parsed == want.parsed);  // too long to print
  EXPECT_EQ(got.shown, want.shown);
}

// A synthesized series (with faults) of 8 ps bins cut again into files of hostile sizes: a word, a block and
// a word, an empty file, a block cut inside packages, and three bytes that put the last words out of step.
Conversion HostileSeries(const ScratchDir& dir, const SynthCase& c) {
  const std::string synth = Quote(std::string(KESTRUN_BIN_DIR) + "/kestrun-synth");
  const std::string args = " --size 2200K --files 2 --seed 9 -r 8 -o " + Quote(dir.path().string()) + " s";
  const CommandResult made = RunCommand(synth + " " + c.args + args);
  EXPECT_EQ(made.exitCode, 0) << made.err;
  const std::string all = ReadFile(dir / "s_1.dat") + ReadFile(dir / "s_2.dat");
  const std::size_t sizes[] = {4, 1'048'580, 8, 0, 1'048'572, 3, all.size()};
  std::size_t at = 0;
  for (int n = 0; n < 7; ++n) {
    WriteFile(dir / ("cut_" + std::to_string(n + 1) + ".dat"), all.substr(at, sizes[n]));
    at = std::min(all.size(), at + sizes[n]);
  }
  Conversion conversion(dir / "cut_1.dat", c.type, c.device);
  conversion.resolutionPs = 8;
  return conversion;
}

TEST(ParallelText, EveryThreadCountAndOverlapGiveTheBytesAndCallbacksOfTheWorkerAlone) {
  for (const SynthCase& c : kSynthCases) {
    SCOPED_TRACE(c.args);
    ScratchDir dir;
    const Conversion conversion = HostileSeries(dir, c);
    Drop records;  // which change no byte of the text
    const Result alone = ConvertWith(conversion, 1, kTextBufferSize, true, 0, &records);
    ASSERT_TRUE(alone.shown.starts_with("status 0\n"));
    ASSERT_GT(alone.parsed.size(), 300'000u);
    EXPECT_EQ(alone.shown.ends_with("standard output:\n"), &c != kSynthCases);  // only packaged T2 announces
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
    std::size_t progress = 0;
    for (std::size_t at = 0; (at = alone.shown.find("progress ", at)) != std::string::npos; ++at) ++progress;
    EXPECT_EQ(progress, static_cast<std::size_t>(block));
    ExpectSame(ConvertWith(conversion, 3, kTextBufferSize, true, block), alone);
  }
}

}  // namespace
}  // namespace kestrun::test
