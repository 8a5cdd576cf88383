#include <gtest/gtest.h>

#include <filesystem>

#include "engine/TdcFileParser.h"
#include "support/TestSupport.h"

namespace kestrun {
namespace {

using test::ReadFile;
using test::ScratchDir;
using test::WriteFile;

// A parser set up for one run over `input` into `dir`, with its callbacks recorded.
struct RecordedRun {
  std::vector<int> progress;
  std::vector<int> statuses;
  std::vector<std::string> messages;
  TdcFileParser parser;  // last: destroyed first, waiting for a worker that still records into the above

  std::int32_t dataType;
  std::int32_t deviceType = 3;

  RecordedRun(const std::string& input, const std::string& outputDir, std::int32_t type = 9) : dataType(type) {
    parser.inputPath = input;
    parser.outputDir = outputDir;
    parser.generateParsed = true;
    parser.generateReport = true;
    parser.resolutionPs = 16;
    parser.rangeFirst = 0;
    parser.rangeLast = 100;
    parser.onProgress = [this](int p) { progress.push_back(p); };
    parser.onStatus = [this](int s) { statuses.push_back(s); };
    parser.onMessage = [this](std::string m) { messages.push_back(std::move(m)); };
  }
  // Assigns the codes as a front end does for every run (a run that reaches its block loop clears them).
  void Run() {
    parser.dataType = dataType;
    parser.deviceType = deviceType;
    parser.decoderState.generateParsed = parser.generateParsed;
    parser.decoderState.outputOverflow = parser.outputOverflow;
    parser.Run();
  }
};

TEST(ConversionRun, BlocksAreCutEveryMebibyteWithAFinalEmptyBlock) {
  ScratchDir dir;
  WriteFile(dir / "a.dat", std::string(3'000'000, '\0'));
  RecordedRun run(dir / "a.dat", dir.path().string());
  run.Run();
  EXPECT_EQ(run.progress, (std::vector<int>{34, 69, 100}));
  EXPECT_EQ(run.parser.bytesRead, 3'000'000u);

  WriteFile(dir / "a.dat", std::string(2'097'152, '\0'));
  run.progress.clear();
  run.Run();
  EXPECT_EQ(run.progress, (std::vector<int>{50, 100, 100}));
  EXPECT_EQ(run.statuses, std::vector<int>{});
  EXPECT_EQ(run.parser.statusCode, 0);
}

TEST(ConversionRun, SeriesFilesFormOneStreamAnnouncedFileByFile) {
  ScratchDir dir;
  WriteFile(dir / "s_1.dat", std::string(10, 'a'));
  WriteFile(dir / "s_2.dat", std::string(10, 'b'));
  RecordedRun run(dir / "s_2.dat", dir.path().string());
  run.Run();
  EXPECT_EQ(run.progress, (std::vector<int>{50, 100}));
  EXPECT_EQ(run.messages, (std::vector<std::string>{dir / "s_1.dat", dir / "s_1.dat", dir / "s_2.dat"}));
  EXPECT_EQ(run.parser.totalBytes, 20u);
  // Outputs are named after the chosen file, whatever the files converted.
  EXPECT_TRUE(std::filesystem::exists(dir / "s_2_parsed.txt"));
  EXPECT_TRUE(std::filesystem::exists(dir / "s_2_report.txt"));
  EXPECT_EQ(run.parser.dataType, -1);
  EXPECT_EQ(run.parser.deviceType, -1);
}

TEST(ConversionRun, UnknownTypesFailEveryBlockButTheRunGoesOn) {
  ScratchDir dir;
  WriteFile(dir / "a.dat", std::string(2'000'000, 'x'));
  RecordedRun run(dir / "a.dat", dir.path().string(), -1);
  run.Run();
  EXPECT_EQ(run.parser.statusCode, 1);
  EXPECT_EQ(run.parser.lastMessage, "Data Type Not Recognized!");
  EXPECT_EQ(run.statuses, std::vector<int>{});
  EXPECT_EQ(run.progress.back(), 100);
  EXPECT_EQ(ReadFile(dir / "a_parsed.txt"), "");
  EXPECT_TRUE(std::filesystem::exists(dir / "a_report.txt"));
  EXPECT_EQ(ReadFile(dir / "a_report.txt"), "");

  RecordedRun device(dir / "a.dat", dir.path().string(), 2);
  device.deviceType = -1;
  device.Run();
  EXPECT_EQ(device.parser.statusCode, 2);
  EXPECT_EQ(device.parser.lastMessage, "Device Type Not Recognized!");
  EXPECT_EQ(device.progress.size(), 2u);
}

TEST(ConversionRun, FailuresBeforeTheBlockLoopEndTheRunWithTheirStatus) {
  ScratchDir dir;
  WriteFile(dir / "a.dat", std::string(8, 'x'));
  {
    RecordedRun both(dir / "missing.dat", dir / "nowhere", 2);
    both.Run();
    EXPECT_EQ(both.parser.statusCode, 3);
    EXPECT_EQ(both.parser.lastMessage, "Could Not Create OutputFile: " + (dir / "missing.dat"));
    EXPECT_EQ(both.statuses, std::vector<int>{3});
    EXPECT_EQ(both.parser.dataType, 2);  // not cleared: the block loop was never reached
  }
  {
    RecordedRun noDir(dir / "a.dat", dir / "nowhere");
    noDir.Run();
    EXPECT_EQ(noDir.parser.statusCode, 4);
    EXPECT_EQ(noDir.parser.lastMessage, "Could Not Open Output Directory :" + (dir / "nowhere"));
    EXPECT_EQ(noDir.statuses, std::vector<int>{4});
  }
  {
    WriteFile(dir / "plain-file", std::string("x"));  // an output "directory" that is a file
    RecordedRun notDir(dir / "a.dat", dir / "plain-file");
    notDir.Run();
    EXPECT_EQ(notDir.parser.statusCode, 5);
    EXPECT_EQ(notDir.parser.lastMessage, "Could Not Open Output File: " + (dir / "plain-file") + "/a_parsed.txt");
    EXPECT_EQ(notDir.statuses, std::vector<int>{5});
  }
  {
    ScratchDir empty;
    WriteFile(empty / "run_3.bin", std::string("abcd"));
    RecordedRun none(empty / "run_3.bin", empty.path().string(), 2);
    testing::internal::CaptureStderr();
    none.Run();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "cannot match the path\n");
    EXPECT_EQ(none.parser.statusCode, 7);
    EXPECT_EQ(none.parser.lastMessage, "No Input File Found: " + (empty / "run_3.bin"));
    EXPECT_EQ(none.statuses, std::vector<int>{7});
    EXPECT_TRUE(std::filesystem::exists(empty / "run_3_parsed.txt"));  // left behind, empty
    EXPECT_FALSE(std::filesystem::exists(empty / "run_3_report.txt"));
    EXPECT_EQ(none.parser.dataType, 2);
    EXPECT_FALSE(none.parser.parsedFile.is_open());
  }
}

TEST(ConversionRun, InputFilesThatCannotBeOpenedOrReadEndTheBlockLoop) {
  ScratchDir dir;
  for (const char* name : {"r_1.dat", "r_2.dat", "r_3.dat"}) WriteFile(dir / name, std::string(16, 'x'));
  RecordedRun run(dir / "r_1.dat", dir.path().string());
  // The second file disappears between discovery and its opening.
  run.parser.onMessage = [&](std::string path) {
    run.messages.push_back(path);
    std::filesystem::remove(dir / "r_2.dat");
  };
  run.Run();
  EXPECT_EQ(run.parser.statusCode, 3);
  EXPECT_EQ(run.parser.lastMessage, "Could Not Open Input File: " + (dir / "r_2.dat"));
  EXPECT_EQ(run.statuses, std::vector<int>{3});
  EXPECT_EQ(run.progress, std::vector<int>{33});  // the third file is never read
  EXPECT_TRUE(std::filesystem::exists(dir / "r_1_report.txt"));
  EXPECT_EQ(run.parser.dataType, -1);

  // A read error (not an end of file) ends the loop too, instead of being taken for the end.
  std::filesystem::create_symlink("/proc/self/mem", dir / "mem.dat");
  RecordedRun unreadable(dir / "mem.dat", dir.path().string());
  unreadable.Run();
  EXPECT_EQ(unreadable.parser.statusCode, 3);
  EXPECT_EQ(unreadable.parser.lastMessage, "Could Not Read Input File: " + (dir / "mem.dat"));
  EXPECT_EQ(unreadable.statuses, std::vector<int>{3});
  EXPECT_TRUE(unreadable.progress.empty());
  EXPECT_TRUE(std::filesystem::exists(dir / "mem_report.txt"));
}

TEST(ConversionRun, StopEndsTheLoopAfterTheCurrentBlockAndStillWritesTheReport) {
  ScratchDir dir;
  WriteFile(dir / "a.dat", std::string(3'000'000, 'x'));
  RecordedRun run(dir / "a.dat", dir.path().string());
  run.parser.onProgress = [&](int p) {
    run.progress.push_back(p);
    if (run.progress.size() == 2) run.parser.running = false;
  };
  run.Run();
  EXPECT_EQ(run.progress, (std::vector<int>{34, 69}));
  EXPECT_EQ(run.parser.statusCode, 0);
  EXPECT_TRUE(std::filesystem::exists(dir / "a_report.txt"));
  EXPECT_EQ(run.parser.dataType, -1);

  // A stop asked for before the run starts is forgotten: the block loop sets the flag anew.
  run.progress.clear();
  run.parser.onProgress = [&](int p) { run.progress.push_back(p); };
  run.parser.running = false;
  run.Run();
  EXPECT_EQ(run.progress, (std::vector<int>{34, 69, 100}));
}

TEST(ConversionRun, WorkerThreadReportsItsEndAndDestructionWaitsForIt) {
  ScratchDir dir;
  WriteFile(dir / "a.dat", std::string(5'000'000, 'x'));
  std::atomic<int> finished{0};
  {
    RecordedRun run(dir / "a.dat", dir.path().string());
    run.parser.onFinished = [&] { ++finished; };
    run.parser.Start();
    run.parser.Wait();
    EXPECT_EQ(finished, 1);
    EXPECT_EQ(run.progress.back(), 100);
    run.parser.dataType = 9;
    run.parser.deviceType = 3;
    run.parser.Start();  // a second run on the same parser, destroyed while it may still go on
  }
  EXPECT_EQ(finished, 2);
}

TEST(ConversionRun, ParsedTextOffAllocatesNothingAndLeavesAStaleParsedFile) {
  ScratchDir dir;
  WriteFile(dir / "a.dat", std::string(100, 'x'));
  WriteFile(dir / "a_parsed.txt", std::string("stale"));
  RecordedRun run(dir / "a.dat", dir.path().string(), 2);
  run.parser.generateParsed = false;
  run.Run();
  EXPECT_EQ(run.parser.statusCode, 0);
  EXPECT_EQ(run.parser.textBuffer, nullptr);
  EXPECT_EQ(run.parser.textBufferSize, 0u);
  EXPECT_EQ(ReadFile(dir / "a_parsed.txt"), "stale");
  EXPECT_TRUE(std::filesystem::exists(dir / "a_report.txt"));
}

TEST(ConversionRun, TextBufferIsAllocatedOnceAndItsFailureEndsTheRun) {
  ScratchDir dir;
  WriteFile(dir / "a.dat", std::string(100, 'x'));
  WriteFile(dir / "a_parsed.txt", std::string("old text, overwritten from its first byte"));
  RecordedRun run(dir / "a.dat", dir.path().string());
  run.Run();
  EXPECT_EQ(run.parser.textBufferSize, 33'554'432u);
  const char* buffer = run.parser.textBuffer.get();
  EXPECT_EQ(ReadFile(dir / "a_parsed.txt"), "");
  run.Run();
  EXPECT_EQ(run.parser.textBuffer.get(), buffer);

  RecordedRun starved(dir / "a.dat", dir.path().string());
  starved.parser.textBufferCapacity = SIZE_MAX;
  testing::internal::CaptureStdout();
  starved.Run();
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "内存申请失败：std::bad_alloc\n");
  EXPECT_EQ(starved.parser.statusCode, 5);
  EXPECT_EQ(starved.statuses, std::vector<int>{5});
  EXPECT_EQ(starved.parser.textBuffer, nullptr);
  EXPECT_TRUE(starved.progress.empty());
}

TEST(ConversionRun, ReportThatCannotBeCreatedIsAFailure) {
  ScratchDir dir;
  WriteFile(dir / "a.dat", std::string(100, 'x'));
  std::filesystem::create_directory(dir / "a_report.txt");
  RecordedRun run(dir / "a.dat", dir.path().string());
  run.Run();
  EXPECT_EQ(run.parser.statusCode, 5);
  EXPECT_EQ(run.parser.lastMessage, "Could Not Open Output File: " + (dir / "a_report.txt"));
  EXPECT_EQ(run.statuses, std::vector<int>{});  // the run is ending; front ends read the final status
}

TEST(OutputFiles, NamesComeFromTheChosenFilesStem) {
  TdcFileParser p;
  p.outputDir = "/out";
  p.inputPath = "/data/set.b/run_3.dat";
  EXPECT_EQ(p.ParsedFilePath(), "/out/run_3_parsed.txt");
  EXPECT_EQ(p.ReportFilePath(), "/out/run_3_report.txt");
  p.inputPath = "/data/scan.old.dat";
  EXPECT_EQ(p.ParsedFilePath(), "/out/scan.old_parsed.txt");
  p.outputDir = "/out/";
  p.inputPath = "/data/run_3.dat";
  EXPECT_EQ(p.ParsedFilePath(), "/out//run_3_parsed.txt");
  EXPECT_STREQ(TdcFileParser::DeviceDisplayName(8), "KR77A5");
  EXPECT_STREQ(TdcFileParser::DeviceDisplayName(64), "RB9531");
  EXPECT_STREQ(TdcFileParser::DeviceDisplayName(3), "QZ8B48");
  for (int code : {5, 0, 100, -1}) EXPECT_STREQ(TdcFileParser::DeviceDisplayName(code), "Unknown Type");
}

}  // namespace
}  // namespace kestrun
