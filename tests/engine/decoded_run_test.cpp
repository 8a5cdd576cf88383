// Runs through real decoders: what the engine must keep right whatever the decoder.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "engine/TdcFileParser.h"
#include "support/TestSupport.h"

namespace kestrun {
namespace {

using test::BigEndian;
using test::ReadFile;
using test::ScratchDir;
using test::WriteFile;

// A packaged T2 stream: data-type head, `packages` packages of `events` events each, data-type tail.
std::vector<std::uint32_t> PackagedT2(int packages, int events) {
  std::vector<std::uint32_t> words{0xEB90B712};
  for (int p = 0; p < packages; ++p) {
    words.push_back(0xC0000000u | (static_cast<std::uint32_t>(events) << 10) | static_cast<std::uint32_t>(p % 1024));
    for (int e = 0; e < events; ++e) words.push_back((static_cast<std::uint32_t>(e % 8) << 25) | static_cast<std::uint32_t>(p * 1000 + e));
    words.push_back(0xC8000000u);
  }
  words.push_back(0xEEEEDDDD);
  return words;
}

struct Outputs {
  std::int32_t status;
  std::string parsed;
  std::string report;
};

Outputs Convert(TdcFileParser& parser, const std::string& input, std::int32_t dataType, std::int32_t device) {
  parser.inputPath = input;
  parser.outputDir = std::filesystem::path(input).parent_path().string();
  parser.generateParsed = true;
  parser.generateReport = true;
  parser.outputOverflow = true;
  parser.outputPacketInfo = true;
  parser.dataType = dataType;
  parser.deviceType = device;
  parser.resolutionPs = 16;
  parser.rangeFirst = 0;
  parser.rangeLast = 1000;
  parser.Start();
  parser.Wait();
  // A parsed "file" that is a device (/dev/full) is not read back.
  const bool regular = std::filesystem::is_regular_file(parser.ParsedFilePath());
  return {parser.statusCode, regular ? ReadFile(parser.ParsedFilePath()) : "", ReadFile(parser.ReportFilePath())};
}

std::size_t Count(const std::string& text, const std::string& what) {
  std::size_t n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

TEST(DecodedRun, HeaderComesOnceInFrontOfASeries) {
  ScratchDir dir;
  const std::vector<std::uint8_t> bytes = BigEndian(PackagedT2(3, 5));
  const auto half = static_cast<std::ptrdiff_t>(bytes.size() / 2 / 4 * 4);
  WriteFile(dir / "s_1.dat", std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + half));
  WriteFile(dir / "s_2.dat", std::vector<std::uint8_t>(bytes.begin() + half, bytes.end()));
  WriteFile(dir / "one.dat", bytes);
  TdcFileParser parser;
  const Outputs series = Convert(parser, dir / "s_1.dat", 2, 3);
  EXPECT_EQ(series.status, 0);
  EXPECT_EQ(series.parsed.rfind("Device Type: QZ8B48\n", 0), 0u) << series.parsed.substr(0, 40);
  EXPECT_EQ(Count(series.parsed, "Mode:T2\n"), 1u);
  EXPECT_EQ(Count(series.parsed, "Event\t"), 15u);
  // The cut between the files changes nothing: the same bytes in one file convert alike.
  const Outputs single = Convert(parser, dir / "one.dat", 2, 3);
  EXPECT_EQ(single.parsed, series.parsed);
  EXPECT_EQ(single.report, series.report);
}

TEST(DecodedRun, EveryRunStartsFromAFreshStateWhateverRanBefore) {
  ScratchDir dir;
  WriteFile(dir / "t2.dat", BigEndian(PackagedT2(4, 7)));
  std::mt19937 random(7);
  std::vector<std::uint32_t> noise(50'000);
  for (std::uint32_t& w : noise) w = random();
  noise[100] = 0xEB9FB712;  // a T2 head of board 15
  WriteFile(dir / "noise.dat", BigEndian(noise));

  TdcFileParser parser;
  const Outputs first = Convert(parser, dir / "t2.dat", 2, 3);
  for (std::int32_t type : {2, 3, 1, 4, 5}) {
    for (std::int32_t device : {3, 1}) Convert(parser, dir / "noise.dat", type, device);
  }
  const Outputs again = Convert(parser, dir / "t2.dat", 2, 3);
  EXPECT_EQ(again.status, 0);
  EXPECT_EQ(again.parsed, first.parsed);
  EXPECT_EQ(again.report, first.report);
  TdcFileParser fresh;
  EXPECT_EQ(Convert(fresh, dir / "t2.dat", 2, 3).report, first.report);
}

TEST(DecodedRun, TextLargerThanTheBufferReachesTheFileWhole) {
  ScratchDir dir;
  WriteFile(dir / "t2.dat", BigEndian(PackagedT2(20, 300)));
  TdcFileParser roomy;
  const Outputs expected = Convert(roomy, dir / "t2.dat", 2, 3);
  TdcFileParser cramped;
  cramped.textBufferCapacity = 256;  // every block spills many times
  const Outputs spilled = Convert(cramped, dir / "t2.dat", 2, 3);
  EXPECT_EQ(spilled.status, 0);
  EXPECT_EQ(spilled.parsed.size(), expected.parsed.size());
  EXPECT_EQ(spilled.parsed, expected.parsed);
  EXPECT_EQ(cramped.parsedBytes, expected.parsed.size());
}

TEST(DecodedRun, OverlappedIoGivesTheSameBytesAndCallbacks) {
  ScratchDir dir;
  std::vector<std::uint32_t> words = PackagedT2(400, 1000);  // about 1.6 MB: two blocks and a part
  std::mt19937 random(11);
  for (int i = 0; i < 300'000; ++i) words.push_back(random());
  WriteFile(dir / "mix_1.dat", BigEndian(words));
  WriteFile(dir / "mix_2.dat", BigEndian(std::vector<std::uint32_t>(words.begin(), words.begin() + 262'144)));  // exactly 1 MiB
  for (std::int32_t type : {1, 2, 3, 4}) {
    for (std::int32_t device : {3, 64}) {
      std::vector<std::string> seen[2];
      Outputs out[2];
      for (int overlap = 0; overlap < 2; ++overlap) {
        TdcFileParser parser;
        parser.overlapIo = overlap == 1;
        parser.textBufferCapacity = 64 * 1024;  // the writer takes many chunks per block
        parser.onProgress = [&](int p) { seen[overlap].push_back("progress " + std::to_string(p)); };
        parser.onMessage = [&](std::string path) { seen[overlap].push_back(path); };
        out[overlap] = Convert(parser, dir / "mix_1.dat", type, device);
        EXPECT_EQ(out[overlap].status, 0);
      }
      EXPECT_EQ(out[1].parsed, out[0].parsed) << "type " << type << " device " << device;
      EXPECT_EQ(out[1].report, out[0].report);
      EXPECT_EQ(seen[1], seen[0]);
      EXPECT_EQ(seen[0].size(), 3u + 5u);  // three announcements; 3 blocks, then 1 MiB and the empty block
    }
  }
}

TEST(DecodedRun, AFullDiskIsAFailureAndTheReportIsStillWritten) {
  ScratchDir dir;
  WriteFile(dir / "t2.dat", BigEndian(PackagedT2(2, 3)));
  std::filesystem::create_symlink("/dev/full", dir / "t2_parsed.txt");
  TdcFileParser parser;
  const Outputs full = Convert(parser, dir / "t2.dat", 2, 3);
  EXPECT_EQ(full.status, 7);
  EXPECT_EQ(parser.lastMessage, "Parsed Content Save Error!");
  EXPECT_NE(full.report.find("Package Head Number: 2\n"), std::string::npos) << full.report;
}

}  // namespace
}  // namespace kestrun
