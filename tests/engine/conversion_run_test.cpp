// The run around the decoders: blocks, series, callbacks, failures, the text buffer (data type 9 has no decoder), a
// run's records and preview, and text formatted on several threads or with overlapped I/O as by the worker alone.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <numeric>
#include <sstream>

#include "engine/RunPreview.h"
#include "support/Conversion.h"

namespace kestrun::test {
namespace {

// A run in one line, paths in `dir` by their names: status and message; callbacks in order (progress in percent,
// "status N", files announced: the first before the block loop and again as it opens); outputs left; types after
// the run, bytes read; standard output. `onFile` runs at each file announced; a stop comes after block `stopAfter`.
std::string RunLine(TdcFileParser& parser, const Conversion& c, const ScratchDir& dir,
                    const std::function<void()>& onFile = {}, int stopAfter = 0) {
  std::string calls;
  int blocks = 0;
  parser.onProgress = [&](int p) {
    calls += " " + std::to_string(p) + "%";
    if (++blocks == stopAfter) parser.running = false;
  };
  parser.onStatus = [&](int s) { calls += " status " + std::to_string(s); };
  parser.onMessage = [&](const std::string& path) {
    calls += " " + path;
    if (onFile) onFile();
  };
  testing::internal::CaptureStdout();
  const Outputs o = Convert(parser, c);
  const std::string printed = testing::internal::GetCapturedStdout();
  std::string line = std::to_string(o.status) + " " + o.message + " |" + calls + " |" +
                     (o.parsedExists ? " parsed" : "") + (o.reportExists ? " report" : "") + " | type " +
                     std::to_string(parser.dataType) + "/" + std::to_string(parser.deviceType) + " read " +
                     std::to_string(parser.bytesRead) + (printed.empty() ? "" : " | " + printed);
  const std::string prefix = dir / "";
  for (std::size_t at; (at = line.find(prefix)) != std::string::npos;) line.erase(at, prefix.size());
  return line;
}

// Blocks of a mebibyte, unknown types failing every block, the text buffer made once. Failures before the block loop
// end the run without report (an empty parsed file stays if only the input is missing), only those in it call back.
TEST(ConversionRun, BlocksUnknownTypesTheTextBufferAndFailuresWithTheirStatus) {
  ScratchDir dir;
  WriteFile(dir / "a.dat", std::string(3'000'000, '\0'));
  WriteFile(dir / "b.dat", std::string(2'097'152, '\0'));
  WriteFile(dir / "u.dat", std::string(2'000'000, 'x'));
  WriteFile(dir / "a_parsed.txt", std::string("stale"));
  WriteFile(dir / "f.dat", std::string(100, 'x'));
  for (const char* name : {"r_1.dat", "r_2.dat", "r_3.dat", "o.dat"}) WriteFile(dir / name, std::string(16, 'x'));
  std::filesystem::create_directory(dir / "bin");
  WriteFile(dir / "bin/run_3.bin", std::string("abcd"));  // no *.dat beside it: no series to match
  // Without parsed text no text buffer is made and an old parsed file stays as it was; with it, it is overwritten.
  TdcFileParser parser;
  Conversion c(dir / "a.dat", 9);
  for (const bool parsed : {false, true}) {
    c.parsed = parsed;
    EXPECT_EQ(RunLine(parser, c, dir), "0  | a.dat a.dat 34% 69% 100% | parsed report | type -1/-1 read 3000000");
    EXPECT_EQ(ReadFile(dir / "a_parsed.txt") + std::to_string(parser.textBufferSize), parsed ? "33554432" : "stale0");
  }
  const char* buffer = parser.textBuffer.get();
  // Whole blocks end with an empty one; a stop asked for before the run is forgotten; the buffer is kept.
  parser.running = false;
  EXPECT_EQ(RunLine(parser, Conversion(dir / "b.dat", 9), dir),
            "0  | b.dat b.dat 50% 100% 100% | parsed report | type -1/-1 read 2097152");
  EXPECT_EQ(parser.textBuffer.get(), buffer);
  // Unknown types fail every block, but the run goes on.
  EXPECT_EQ(RunLine(parser, Conversion(dir / "u.dat", -1), dir),
            "1 Data Type Not Recognized! | u.dat u.dat 52% 100% | parsed report | type -1/-1 read 2000000");
  EXPECT_EQ(ReadFile(dir / "u_parsed.txt") + ReadFile(dir / "u_report.txt"), "");
  EXPECT_EQ(RunLine(parser, Conversion(dir / "u.dat", 2, -1), dir),
            "2 Device Type Not Recognized! | u.dat u.dat 52% 100% | parsed report | type -1/-1 read 2000000");

  c = Conversion(dir / "f.dat");
  c.outputDir = dir / "nowhere";
  // The type is not cleared: the block loop was never reached.
  EXPECT_EQ(RunLine(parser, c, dir), "4 Could Not Open Output Directory :nowhere | status 4 | | type 2/3 read 0");
  EXPECT_FALSE(parser.parsedFile.IsOpen());
  testing::internal::CaptureStderr();
  EXPECT_EQ(RunLine(parser, Conversion(dir / "bin/run_3.bin"), dir),
            "7 No Input File Found: bin/run_3.bin | status 7 | parsed | type 2/3 read 0");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "cannot match the path\n");
  // The second file disappears between discovery and its opening: the third is never read.
  EXPECT_EQ(RunLine(parser, Conversion(dir / "r_1.dat", 9), dir, [&] { std::filesystem::remove(dir / "r_2.dat"); }),
            "3 Could Not Open Input File: r_2.dat | r_1.dat r_1.dat 33% status 3 | parsed report | type -1/-1 read 16");
#ifndef _WIN32  // no /proc there
  // A read error (not an end of file) ends the loop too, instead of being taken for the end.
  std::filesystem::create_symlink("/proc/self/mem", dir / "mem.dat");
  EXPECT_EQ(RunLine(parser, Conversion(dir / "mem.dat", 9), dir),
            "3 Could Not Read Input File: mem.dat | mem.dat mem.dat status 3 | parsed report | type -1/-1 read 0");
#endif
  // The report comes after the loop: its failure is the final status, without a status callback.
  std::filesystem::create_directory(dir / "f_report.txt");
  EXPECT_EQ(RunLine(parser, Conversion(dir / "f.dat", 9), dir),
            "5 Could Not Open Output File: f_report.txt | f.dat f.dat 100% | parsed report | type -1/-1 read 100");
  // A text buffer that cannot be had ends the run before its loop.
  TdcFileParser starved;
  starved.textBufferCapacity = SIZE_MAX;
  EXPECT_EQ(RunLine(starved, Conversion(dir / "o.dat", 9), dir),
            "5 Out Of Memory! | status 5 | | type 9/3 read 0 | 内存申请失败：std::bad_alloc\n");
  EXPECT_EQ(starved.textBuffer, nullptr);
}

// The records it is given as "channel@time" and "Mmask@position", then the totals.
struct Collector : RecordSink {
  std::ostringstream seen;
  bool refuse = false;

  bool Take(const RecordChunk& c) override {
    for (std::size_t i = 0; i < c.time.size(); ++i) seen << ' ' << +c.channel[i] << '@' << c.time[i];
    for (std::size_t i = 0; i < c.markerMask.size(); ++i)
      seen << " M" << +c.markerMask[i] << '@' << c.markerPosition[i];
    return !refuse;
  }
  bool Finish(const RecordTotals& t) override {
    seen << " | " << t.timeDecreases << " back, " << t.events << " events, " << t.markers << " markers";
    return true;
  }
};

TEST(Records, TimesThatGoBackAreCountedAndARefusedChunkFailsTheRunButNotItsText) {
  ScratchDir dir;
  // Plain T2 in two files, a chunk each: bins 100, 50 (back), sync overflow, 10 (forward), marker; 9 (back), marker.
  WriteFile(dir / "a_1.dat", BigEndian({0x02000064, 0x04000032, 0xFE000001, 0x0200000A, 0x86000000}));
  WriteFile(dir / "a_2.dat", BigEndian({0x02000009, 0x88000000}));
  const Conversion c(dir / "a_1.dat", 2, 1);
  for (bool refuse : {false, true}) {
    TdcFileParser parser;
    Collector got;
    got.refuse = refuse;
    parser.recordSink = &got;
    const Outputs out = Convert(parser, c);
    EXPECT_EQ(out.parsed, Convert(c).parsed);
    EXPECT_EQ(std::to_string(out.status) + " " + out.message + ":" + got.seen.str(),
              refuse ? "7 Record Output Error!: 1@100 2@50 1@33554442 M3@3"
                     : "0 : 1@100 2@50 1@33554442 M3@3 1@33554441 M4@4 | 2 back, 4 events, 2 markers");
  }
}

// A series in one line: bin width and count, first four bins, all counts added up, its total, its intensities.
std::string Shown(const PreviewSeries& s) {
  std::ostringstream o;
  o << "width " << s.width << " bins " << s.counts.size() << ":";
  for (std::size_t i = 0; i < std::min<std::size_t>(s.counts.size(), 4); ++i) o << ' ' << s.counts[i];
  o << " all " << std::accumulate(s.counts.begin(), s.counts.end(), std::uint64_t{0}) << " total " << s.total;
  for (const std::uint64_t& sum : s.sums) o << (&sum == s.sums.data() ? " sums " : " ") << sum;
  return o.str();
}

// Bins merge in pairs as values grow, never losing a count, at most kPreviewBins of them. A time before the run's
// first counts in the first bin; ITTR keeps the intensities beside the rows, per board and channel.
TEST(RunPreview, BinsDoubleTheirWidthKeepEveryCountAndIttrKeepsIntensities) {
  std::vector<std::uint64_t> ramp(2048);
  std::iota(ramp.begin(), ramp.end(), 0);
  const std::pair<std::vector<std::uint64_t>, std::string> cases[] = {
      {{0, 0, 1, 1023}, "width 1 bins 1024: 2 1 0 0 all 4 total 4"},
      {{1024}, "width 2 bins 513: 0 0 0 0 all 1 total 1"}, {ramp, "width 2 bins 1024: 2 2 2 2 all 2048 total 2048"},
      {{3, 5000, 1u << 20}, "width 2048 bins 513: 1 0 1 0 all 3 total 3"},
      {{~0ull}, "width 18014398509481984 bins 1024: 0 0 0 0 all 1 total 1"},
  };
  for (const auto& [values, shown] : cases) {
    PreviewSeries s;
    for (const std::uint64_t v : values) s.Add(v, 1, 0);
    EXPECT_EQ(Shown(s), shown) << values.back();
  }

  RunPreview p;
  p.Reset(2, 16);
  const std::vector<std::uint64_t> time = {1000, 999, 1003}, serials = {7, 8, 8};
  const std::vector<std::uint8_t> channels = {1, 1, 1}, boards = {3, 3, 15};
  RecordChunk c;
  c.dataType = 2;
  c.time = time;
  c.channel = channels;
  p.Take(c);
  EXPECT_EQ(Shown(*p.Series()[0]), "width 1 bins 4: 2 0 0 1 all 3 total 3");
  p.Reset(4, 0);
  const std::vector<std::uint32_t> intensity = {10, 20, 30};
  c.dataType = 4;
  c.time = {};
  c.serialSynced = serials;
  c.intensity = intensity;
  c.board = boards;
  p.Take(c);
  std::string series;
  for (const PreviewSeries* s : p.Series()) series += Shown(*s) + "\n";
  EXPECT_EQ(series, "width 1 bins 2: 1 1 all 2 total 2 sums 10 20\nwidth 1 bins 2: 0 1 all 1 total 1 sums 0 30\n");
}

// A run in one text: its line (announcements once, though threads decode every block thrice), text hash, report.
std::string ConvertWith(const Conversion& c, const ScratchDir& dir, int threads, std::size_t area = kTextBufferSize,
                        bool overlap = true, int stopAfter = 0, RecordSink* records = nullptr) {
  TdcFileParser parser;
  parser.recordSink = records;
  parser.textThreads = threads;
  parser.textBufferCapacity = area;
  parser.overlapIo = overlap;
  const std::string line = RunLine(parser, c, dir, {}, stopAfter);
  const Outputs o = Collect(parser);
  return line + "\ntext of " + std::to_string(o.parsed.size()) + " bytes, hash " +
         std::to_string(std::hash<std::string>{}(o.parsed)) + "\n" + o.report + "parsed " +
         std::to_string(parser.parsedBytes) + " failures " + std::to_string(parser.failures.size()) + " warnings " +
         std::to_string(parser.warnings.size());
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
    RunPreview records;  // which change no byte of the text
    records.Reset(type, 8);
    const std::string alone = ConvertWith(conversion, dir, 1, kTextBufferSize, true, 0, &records);
    ASSERT_TRUE(alone.starts_with("0  | ")) << alone;
    ASSERT_GT(std::stoul(alone.substr(alone.find("\ntext of ") + 9)), 300'000u);
    EXPECT_EQ(alone.find("| Package Serial Overflow\n") != std::string::npos, packagedT2);  // only it announces
    // A small text area: every block keeps text aside, and the writer takes many chunks per block. Text
    // past the area by less than the area: a slot keeps its spill's memory for its next block.
    for (const auto& [threads, area, overlap] : {std::tuple{3, kTextBufferSize, true}, {2, 64 * 1024, true},
                                                 {2, 3 * 1024 * 1024, true}, {1, 64 * 1024, true},
                                                 {1, kTextBufferSize, false}}) {
      EXPECT_EQ(ConvertWith(conversion, dir, threads, area, overlap), alone);
    }
    // A stop after any block ends the run there as the worker alone does.
    for (int block = 1; packagedT2 && block <= 7; ++block) {
      const std::string stopped = ConvertWith(conversion, dir, 1, kTextBufferSize, true, block);
      EXPECT_EQ(std::count(stopped.begin(), stopped.end(), '%'), block);
      EXPECT_EQ(ConvertWith(conversion, dir, 3, kTextBufferSize, true, block), stopped) << block;
    }
  }
}

}  // namespace
}  // namespace kestrun::test
