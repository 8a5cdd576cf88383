// The run around the decoders: blocks, series, callbacks, failures and the text buffer. Data type 9
// has no decoder, so these runs write no text of their own.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "engine/PathPieces.h"
#include "support/Conversion.h"

namespace kestrun::test {
namespace {

// A run in one line, with the paths of `dir` by their names: status and message, the callbacks in their
// order (progress, "status N", the files announced: the first before the block loop and again as it is
// opened), and the outputs it left. `onFile` runs as each file is announced.
std::string RunLine(TdcFileParser& parser, const Conversion& c, const ScratchDir& dir,
                    const std::function<void()>& onFile = {}) {
  std::string calls;
  parser.onProgress = [&](int p) { calls += " " + std::to_string(p); };
  parser.onStatus = [&](int s) { calls += " status " + std::to_string(s); };
  parser.onMessage = [&](const std::string& path) {
    calls += " " + path;
    if (onFile) onFile();
  };
  const Outputs o = Convert(parser, c);
  std::string line = std::to_string(o.status) + " " + o.message + " |" + calls + " |" +
                     (o.parsedExists ? " parsed" : "") + (o.reportExists ? " report" : "");
  const std::string prefix = dir / "";
  for (std::size_t at; (at = line.find(prefix)) != std::string::npos;) line.erase(at, prefix.size());
  return line;
}

TEST(ConversionRun, BlocksAreCutEveryMebibyteAndUnknownTypesFailEveryBlock) {
  ScratchDir dir;
  WriteFile(dir / "a.dat", std::string(3'000'000, '\0'));
  WriteFile(dir / "b.dat", std::string(2'097'152, '\0'));
  WriteFile(dir / "u.dat", std::string(2'000'000, 'x'));
  TdcFileParser parser;
  EXPECT_EQ(RunLine(parser, Conversion(dir / "a.dat", 9), dir), "0  | a.dat a.dat 34 69 100 | parsed report");
  EXPECT_EQ(parser.bytesRead, 3'000'000u);
  // Whole blocks end with an empty one; a stop asked for before the run is forgotten.
  parser.running = false;
  EXPECT_EQ(RunLine(parser, Conversion(dir / "b.dat", 9), dir), "0  | b.dat b.dat 50 100 100 | parsed report");
  EXPECT_EQ(parser.dataType, -1);
  EXPECT_EQ(parser.deviceType, -1);
  // Unknown types fail every block, but the run goes on.
  EXPECT_EQ(RunLine(parser, Conversion(dir / "u.dat", -1), dir),
            "1 Data Type Not Recognized! | u.dat u.dat 52 100 | parsed report");
  EXPECT_EQ(ReadFile(dir / "u_parsed.txt") + ReadFile(dir / "u_report.txt"), "");
  EXPECT_EQ(RunLine(parser, Conversion(dir / "u.dat", 2, -1), dir),
            "2 Device Type Not Recognized! | u.dat u.dat 52 100 | parsed report");
}

// Failures before the block loop end the run with their status and no report; the parsed file is left
// behind empty when only the input is missing.
TEST(ConversionRun, FailuresEndTheRunWithTheirStatusAndOnlyThoseInTheLoopCallBack) {
  ScratchDir dir;
  WriteFile(dir / "a.dat", std::string(100, 'x'));
  for (const char* name : {"r_1.dat", "r_2.dat", "r_3.dat"}) WriteFile(dir / name, std::string(16, 'x'));
  std::filesystem::create_directory(dir / "bin");
  WriteFile(dir / "bin/run_3.bin", std::string("abcd"));  // no *.dat beside it: no series to match
  TdcFileParser parser;
  Conversion c(dir / "a.dat");
  c.outputDir = dir / "nowhere";
  EXPECT_EQ(RunLine(parser, c, dir), "4 Could Not Open Output Directory :nowhere | status 4 |");
  EXPECT_EQ(parser.dataType, 2);  // not cleared: the block loop was never reached
  EXPECT_FALSE(parser.parsedFile.IsOpen());
  testing::internal::CaptureStderr();
  EXPECT_EQ(RunLine(parser, Conversion(dir / "bin/run_3.bin"), dir),
            "7 No Input File Found: bin/run_3.bin | status 7 | parsed");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "cannot match the path\n");
  // The second file disappears between discovery and its opening: the third is never read.
  EXPECT_EQ(RunLine(parser, Conversion(dir / "r_1.dat", 9), dir, [&] { std::filesystem::remove(dir / "r_2.dat"); }),
            "3 Could Not Open Input File: r_2.dat | r_1.dat r_1.dat 33 status 3 | parsed report");
  EXPECT_EQ(parser.dataType, -1);
#ifndef _WIN32  // no /proc there
  // A read error (not an end of file) ends the loop too, instead of being taken for the end.
  std::filesystem::create_symlink("/proc/self/mem", dir / "mem.dat");
  EXPECT_EQ(RunLine(parser, Conversion(dir / "mem.dat", 9), dir),
            "3 Could Not Read Input File: mem.dat | mem.dat mem.dat status 3 | parsed report");
#endif
  // The report comes after the loop: its failure is the final status, without a status callback.
  std::filesystem::create_directory(dir / "a_report.txt");
  EXPECT_EQ(RunLine(parser, Conversion(dir / "a.dat", 9), dir),
            "5 Could Not Open Output File: a_report.txt | a.dat a.dat 100 | parsed report");
}

TEST(ConversionRun, TextBufferIsAllocatedOnceOnlyForParsedTextAndItsFailureEndsTheRun) {
  ScratchDir dir;
  WriteFile(dir / "a.dat", std::string(100, 'x'));
  // Without parsed text nothing is allocated and an old parsed file stays as it was.
  WriteFile(dir / "a_parsed.txt", std::string("stale"));
  Conversion c(dir / "a.dat");
  c.parsed = false;
  TdcFileParser parser;
  EXPECT_EQ(Convert(parser, c).status, 0);
  EXPECT_EQ(parser.textBufferSize, 0u);
  EXPECT_EQ(ReadFile(dir / "a_parsed.txt"), "stale");
  c.parsed = true;
  c.dataType = 9;
  EXPECT_EQ(Convert(parser, c).parsed, "");  // overwritten from its first byte
  EXPECT_EQ(parser.textBufferSize, 33'554'432u);
  const char* buffer = parser.textBuffer.get();
  Convert(parser, c);
  EXPECT_EQ(parser.textBuffer.get(), buffer);

  TdcFileParser starved;
  starved.textBufferCapacity = SIZE_MAX;
  testing::internal::CaptureStdout();
  EXPECT_EQ(RunLine(starved, c, dir), "5 Out Of Memory! | status 5 | parsed report");
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "内存申请失败：std::bad_alloc\n");
  EXPECT_EQ(starved.textBuffer, nullptr);
}

TEST(OutputFiles, NamesComeFromTheChosenFilesStem) {
  TdcFileParser p;
  const std::string s(1, kPathSeparator);
  std::string names;
  for (const auto& [dir, input] : {std::pair{"/out", "/data/set.b/run_3.dat"}, {"/out/", "/data/run_3.dat"}}) {
    p.outputDir = dir;
    p.inputPath = input;
    names += p.ParsedFilePath() + " " + p.ReportFilePath() + "\n";
  }
  EXPECT_EQ(names, "/out" + s + "run_3_parsed.txt /out" + s + "run_3_report.txt\n/out/" + s + "run_3_parsed.txt /out/" +
                       s + "run_3_report.txt\n");
  // The device's name in the text headers.
  names.clear();
  for (int code : {1, 4, 8, 64, 3, 5, 0, 100, -1}) names += TdcFileParser::DeviceDisplayName(code) + std::string(",");
  EXPECT_EQ(names, "KR77A5,KR77A5,KR77A5,RB9531,QZ8B48,Unknown Type,Unknown Type,Unknown Type,Unknown Type,");
}

}  // namespace
}  // namespace kestrun::test
