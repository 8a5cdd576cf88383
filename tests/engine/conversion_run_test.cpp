// The run around the decoders: blocks, series, callbacks, failures and the text buffer. Data type 9
// has no decoder, so these runs write no text of their own.
#include <gtest/gtest.h>

#include <filesystem>

#include "engine/PathPieces.h"
#include "support/Conversion.h"

namespace kestrun::test {
namespace {

// The callbacks of a parser's runs, in the order they came.
struct Calls {
  std::vector<int> progress, statuses;
  std::vector<std::string> messages;
  explicit Calls(TdcFileParser& parser) {
    parser.onProgress = [this](int p) { progress.push_back(p); };
    parser.onStatus = [this](int s) { statuses.push_back(s); };
    parser.onMessage = [this](std::string m) { messages.push_back(std::move(m)); };
  }
};

TEST(ConversionRun, BlocksAreCutEveryMebibyteAndSeriesFilesFormOneStreamAnnouncedFileByFile) {
  ScratchDir dir;
  const Conversion c(dir / "a.dat", 9);
  TdcFileParser parser;
  Calls calls(parser);
  WriteFile(c.input, std::string(3'000'000, '\0'));
  EXPECT_EQ(Convert(parser, c).status, 0);
  EXPECT_EQ(calls.progress, (std::vector<int>{34, 69, 100}));
  EXPECT_EQ(parser.bytesRead, 3'000'000u);
  // Whole blocks end with an empty one; a stop asked for before the run is forgotten.
  WriteFile(c.input, std::string(2'097'152, '\0'));
  calls.progress.clear();
  parser.running = false;
  EXPECT_EQ(Convert(parser, c).status, 0);
  EXPECT_EQ(calls.progress, (std::vector<int>{50, 100, 100}));

  WriteFile(dir / "s_1.dat", std::string(10, 'a'));
  WriteFile(dir / "s_2.dat", std::string(10, 'b'));
  calls.progress.clear();
  calls.messages.clear();
  const Outputs o = Convert(parser, Conversion(dir / "s_2.dat", 9));
  EXPECT_EQ(calls.progress, (std::vector<int>{50, 100}));
  EXPECT_EQ(calls.messages, (std::vector<std::string>{dir / "s_1.dat", dir / "s_1.dat", dir / "s_2.dat"}));
  EXPECT_EQ(parser.totalBytes, 20u);
  EXPECT_EQ(calls.statuses, std::vector<int>{});
  // Outputs are named after the chosen file, whatever the files converted.
  EXPECT_EQ(parser.ParsedFilePath(), dir / "s_2_parsed.txt");
  EXPECT_TRUE(o.parsedExists && o.reportExists);
  EXPECT_EQ(parser.dataType, -1);
  EXPECT_EQ(parser.deviceType, -1);

  // Unknown types fail every block, but the run goes on.
  WriteFile(dir / "u.dat", std::string(2'000'000, 'x'));
  calls.progress.clear();
  const Outputs type = Convert(parser, Conversion(dir / "u.dat", -1));
  EXPECT_EQ(type.status, 1);
  EXPECT_EQ(type.message, "Data Type Not Recognized!");
  EXPECT_EQ(calls.progress, (std::vector<int>{52, 100}));
  EXPECT_EQ(calls.statuses, std::vector<int>{});
  EXPECT_TRUE(type.parsedExists && type.reportExists);
  EXPECT_EQ(type.parsed + type.report, "");

  const Outputs device = Convert(parser, Conversion(dir / "u.dat", 2, -1));
  EXPECT_EQ(device.status, 2);
  EXPECT_EQ(device.message, "Device Type Not Recognized!");
  EXPECT_EQ(calls.progress.size(), 4u);
}

TEST(ConversionRun, FailuresBeforeTheBlockLoopEndTheRunWithTheirStatusAndNoReport) {
  ScratchDir dir;
  WriteFile(dir / "a.dat", std::string(8, 'x'));
  WriteFile(dir / "plain-file", std::string("x"));
  std::filesystem::create_directory(dir / "bin");
  WriteFile(dir / "bin/run_3.bin", std::string("abcd"));  // no *.dat beside it: no series to match
  struct Case {
    std::string input, outputDir;
    std::int32_t status;
    std::string message, stderrText;
    bool parsedLeft;
  };
  const Case cases[] = {
      {dir / "missing.dat", dir / "nowhere", 3, "Could Not Create OutputFile: " + (dir / "missing.dat"), "", false},
      {dir / "a.dat", dir / "nowhere", 4, "Could Not Open Output Directory :" + (dir / "nowhere"), "", false},
      {dir / "a.dat", dir / "plain-file", 5, "Could Not Open Output File: " + (dir / "plain-file") + kPathSeparator + "a_parsed.txt", "",
       false},
      {dir / "bin/run_3.bin", "", 7, "No Input File Found: " + (dir / "bin/run_3.bin"), "cannot match the path\n",
       true},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.message);
    TdcFileParser parser;
    Calls calls(parser);
    Conversion c(k.input);
    c.outputDir = k.outputDir;
    testing::internal::CaptureStderr();
    const Outputs o = Convert(parser, c);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), k.stderrText);
    EXPECT_EQ(o.status, k.status);
    EXPECT_EQ(o.message, k.message);
    EXPECT_EQ(calls.statuses, std::vector<int>{k.status});
    EXPECT_EQ(o.parsedExists, k.parsedLeft);  // left behind empty when only the input is missing
    EXPECT_FALSE(o.reportExists);
    EXPECT_FALSE(parser.parsedFile.IsOpen());
    EXPECT_EQ(parser.dataType, 2);  // not cleared: the block loop was never reached
  }
}

TEST(ConversionRun, InputsThatCannotBeOpenedOrReadEndTheBlockLoopAndReportsThatCannotBeCreatedFailTheRun) {
  ScratchDir dir;
  for (const char* name : {"r_1.dat", "r_2.dat", "r_3.dat"}) WriteFile(dir / name, std::string(16, 'x'));
  TdcFileParser parser;
  Calls calls(parser);
  // The second file disappears between discovery and its opening.
  parser.onMessage = [&](std::string path) {
    calls.messages.push_back(path);
    std::filesystem::remove(dir / "r_2.dat");
  };
  Outputs o = Convert(parser, Conversion(dir / "r_1.dat", 9));
  EXPECT_EQ(o.status, 3);
  EXPECT_EQ(o.message, "Could Not Open Input File: " + (dir / "r_2.dat"));
  EXPECT_EQ(calls.statuses, std::vector<int>{3});
  EXPECT_EQ(calls.progress, std::vector<int>{33});  // the third file is never read
  EXPECT_TRUE(o.reportExists);
  EXPECT_EQ(parser.dataType, -1);

#ifndef _WIN32  // no /proc there
  // A read error (not an end of file) ends the loop too, instead of being taken for the end.
  std::filesystem::create_symlink("/proc/self/mem", dir / "mem.dat");
  TdcFileParser unreadable;
  Calls failed(unreadable);
  o = Convert(unreadable, Conversion(dir / "mem.dat", 9));
  EXPECT_EQ(o.status, 3);
  EXPECT_EQ(o.message, "Could Not Read Input File: " + (dir / "mem.dat"));
  EXPECT_EQ(failed.statuses, std::vector<int>{3});
  EXPECT_TRUE(failed.progress.empty());
  EXPECT_TRUE(o.reportExists);
#endif

  // The report comes after the loop: its failure is the final status, without a status callback.
  std::filesystem::create_directory(dir / "a_report.txt");
  WriteFile(dir / "a.dat", std::string(100, 'x'));
  TdcFileParser late;
  Calls none(late);
  o = Convert(late, Conversion(dir / "a.dat", 9));
  EXPECT_EQ(o.status, 5);
  EXPECT_EQ(o.message, "Could Not Open Output File: " + (dir / "a_report.txt"));
  EXPECT_EQ(none.statuses, std::vector<int>{});
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
  EXPECT_EQ(parser.textBuffer, nullptr);
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
  Calls calls(starved);
  testing::internal::CaptureStdout();
  EXPECT_EQ(Convert(starved, c).status, 5);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "内存申请失败：std::bad_alloc\n");
  EXPECT_EQ(calls.statuses, std::vector<int>{5});
  EXPECT_EQ(starved.textBuffer, nullptr);
  EXPECT_TRUE(calls.progress.empty());
}

TEST(OutputFiles, NamesComeFromTheChosenFilesStem) {
  TdcFileParser p;
  p.outputDir = "/out";
  p.inputPath = "/data/set.b/run_3.dat";
  const std::string s(1, kPathSeparator);
  EXPECT_EQ(p.ParsedFilePath() + " " + p.ReportFilePath(), "/out" + s + "run_3_parsed.txt /out" + s + "run_3_report.txt");
  p.inputPath = "/data/scan.old.dat";
  EXPECT_EQ(p.ParsedFilePath(), "/out" + s + "scan.old_parsed.txt");
  p.outputDir = "/out/";
  p.inputPath = "/data/run_3.dat";
  EXPECT_EQ(p.ParsedFilePath(), "/out/" + s + "run_3_parsed.txt");
  // The device's name in the text headers.
  std::string names;
  for (int code : {1, 4, 8, 64, 3, 5, 0, 100, -1}) names += TdcFileParser::DeviceDisplayName(code) + std::string(",");
  EXPECT_EQ(names, "KR77A5,KR77A5,KR77A5,RB9531,QZ8B48,Unknown Type,Unknown Type,Unknown Type,Unknown Type,");
}

}  // namespace
}  // namespace kestrun::test
