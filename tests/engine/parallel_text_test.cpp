// Text formatted on several threads, or with overlapped reads and writes: the bytes and stops of the worker alone.
#include <gtest/gtest.h>

#include <functional>

#include "engine/EngineTesting.h"

namespace kestrun::test {
namespace {

// Takes every record and keeps none.
struct Drop : RecordSink {
  bool Take(const RecordChunk&) override { return true; }
};

// A run in one text: status, parsed text by size and hash, report, messages, progress, counters, standard output.
std::string ConvertWith(const Conversion& c, int threads, std::size_t area = kTextBufferSize, bool overlap = true,
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
  return "status " + std::to_string(o.status) + ", text of " + std::to_string(o.parsed.size()) + " bytes, hash " +
         std::to_string(std::hash<std::string>{}(o.parsed)) + "\n" + o.report + seen + "read " +
         std::to_string(parser.bytesRead) + " parsed " + std::to_string(parser.parsedBytes) + " failures " +
         std::to_string(parser.failures.size()) + " warnings " + std::to_string(parser.warnings.size()) +
         "\nstandard output:\n" + announced;
}

// A synthesized series (with faults) of 8 ps bins cut again into files of hostile sizes: a word, a block and
// a word, an empty file, a block cut inside packages, and three bytes that put the last words out of step.
Conversion HostileSeries(const ScratchDir& dir, std::int32_t type, std::int32_t device, const std::string& faults) {
  const std::string synth = Quote(std::string(KESTRUN_BIN_DIR) + "/kestrun-synth") + " -t " + CliType(type) + " -d " +
                            CliDevice(device) + (faults.empty() ? "" : " --faults " + faults);
  const CommandResult made =
      RunCommand(synth + " --size 2200K --files 2 --seed 9 -r 8 -o " + Quote(dir.path().string()) + " s");
  EXPECT_EQ(made.exitCode, 0) << made.err;
  const std::string all = ReadFile(dir / "s_1.dat") + ReadFile(dir / "s_2.dat");
  const std::size_t sizes[] = {4, 1'048'580, 8, 0, 1'048'572, 3, all.size()};
  std::size_t at = 0;
  for (int n = 0; n < 7; ++n) {
    WriteFile(dir / ("cut_" + std::to_string(n + 1) + ".dat"), all.substr(at, sizes[n]));
    at = std::min(all.size(), at + sizes[n]);
  }
  Conversion conversion(dir / "cut_1.dat", type, device);
  conversion.resolutionPs = 8;
  return conversion;
}

TEST(ParallelText, EveryThreadCountOverlapAndStopGiveTheBytesAndCallbacksOfTheWorkerAlone) {
  // Every data type of kestrun-synth, with the faults a hostile series of it carries.
  for (const auto& [type, device, faults] :
       {std::tuple{2, 3, "serial-gap:3,length:2,sync-gap:2,junk:4"}, {2, 64, "sync-gap:2,junk:4"},
        {3, 3, "serial-gap:3,length:2,junk:4"}, {3, 1, "sync-gap:2,junk:4"},
        {4, 3, "serial-gap:2,lead-gap:2,overflow-gap:2,junk:4"}, {5, 64, "junk:3"}, {1, 3, ""}}) {
    SCOPED_TRACE(CliType(type) + " " + CliDevice(device));
    ScratchDir dir;
    const Conversion conversion = HostileSeries(dir, type, device, faults);
    const bool packagedT2 = type == 2 && device == 3;
    Drop records;  // which change no byte of the text
    const std::string alone = ConvertWith(conversion, 1, kTextBufferSize, true, 0, &records);
    ASSERT_TRUE(alone.starts_with("status 0, text of ")) << alone;
    ASSERT_GT(std::stoul(alone.substr(18)), 300'000u);
    EXPECT_EQ(alone.ends_with("standard output:\n"), !packagedT2);  // only packaged T2 announces
    // A small text area: every block keeps text aside, and the writer takes many chunks per block. Text
    // past the area by less than the area: a slot keeps its spill's memory for its next block.
    for (const auto& [threads, area, overlap] : {std::tuple{3, kTextBufferSize, true}, {2, 64 * 1024, true},
                                                 {2, 3 * 1024 * 1024, true}, {1, 64 * 1024, true},
                                                 {1, kTextBufferSize, false}}) {
      EXPECT_EQ(ConvertWith(conversion, threads, area, overlap), alone);
    }
    // A stop after any block ends the run there as the worker alone does.
    for (int block = 1; packagedT2 && block <= 7; ++block) {
      const std::string stopped = ConvertWith(conversion, 1, kTextBufferSize, true, block);
      std::size_t progress = 0;
      for (std::size_t at = 0; (at = stopped.find("progress ", at)) != std::string::npos; ++at) ++progress;
      EXPECT_EQ(progress, static_cast<std::size_t>(block));
      EXPECT_EQ(ConvertWith(conversion, 3, kTextBufferSize, true, block), stopped) << block;
    }
  }
}

}  // namespace
}  // namespace kestrun::test
