// What the Windows and the Linux builds write differently, and the paths Windows users give: drive
// letters with either separator, no drive letter, network shares, any letters, ".DAT" in capitals.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "engine/PathPieces.h"
#include "engine/Platform.h"
#include "support/Conversion.h"

namespace kestrun::test {
namespace {

TEST(Platform, TheReportEndsItsLinesAsTheSystemsTextFilesDoAndTheParsedTextInLf) {
  ScratchDir dir;
  WriteFile(dir / "run_1.dat", BigEndian(PackagedT2(3, 120)));
  Conversion c;
  c.input = dir / "run_1.dat";
  const Outputs o = Convert(c);
  ASSERT_EQ(o.status, 0);
  const std::string raw = ReadFile(dir / "run_1_report.txt");
  EXPECT_GT(Count(raw, "\n"), 20u);
#ifdef _WIN32
  EXPECT_EQ(Count(raw, "\r\n"), Count(raw, "\n"));
#else
  EXPECT_EQ(Count(raw, "\r"), 0u);
#endif
  EXPECT_EQ(Count(o.parsed, "\r"), 0u);
  EXPECT_EQ(Cli("-q " + CliArguments(c)).exitCode, 0);
  EXPECT_EQ(ReadFile(dir / "run_1_report.txt"), raw);
}

#ifdef _WIN32
TEST(Platform, SplitPathTakesBothSeparatorsDrivesAndShares) {
  const std::pair<const char*, PathPieces> cases[] = {
      {"C:\\data\\run_1.dat", {"C:\\data\\", "run_1", ".dat"}},
      {"C:/data/run_1.DAT", {"C:/data/", "run_1", ".DAT"}},
      {"C:run_1.dat", {"C:", "run_1", ".dat"}},
      {"\\\\server\\share\\run_1.dat", {"\\\\server\\share\\", "run_1", ".dat"}},
      {"\\data/run_1.dat", {"\\data/", "run_1", ".dat"}},
  };
  for (const auto& [path, want] : cases) {
    const PathPieces got = SplitPath(path);
    EXPECT_EQ(got.directory + "|" + got.stem + "|" + got.extension,
              want.directory + "|" + want.stem + "|" + want.extension);
  }
}

// One stream in three files named with Greek, Chinese and accented letters and ".dat" in any case,
// converted from its middle file through every form of its path, by the engine and by kestrun-cli.
TEST(Platform, EveryFormOfAWindowsPathConvertsTheWholeSeriesUnderAnyLetters) {
  ScratchDir root;
  const std::string in = root / "Messdaten \xCE\xB1\xCE\xB2 \xE6\x95\xB0\xE6\x8D\xAE";  // "Messdaten αβ 数据"
  const std::string out = root / "\xC3\xA9t\xC3\xA9";                                   // "été"
  std::filesystem::create_directories(PathOf(in));
  std::filesystem::create_directories(PathOf(out));
  const std::vector<std::uint8_t> stream = BigEndian(PackagedT2(9, 40));
  const std::size_t third = stream.size() / 12 * 4;
  const std::string stem = "Lauf \xC3\xA9 \xE6\x95\xB0_";  // "Lauf é 数_"
  WriteFile(in + "\\" + stem + "1.DAT", std::vector<std::uint8_t>(stream.begin(), stream.begin() + third));
  WriteFile(in + "\\" + stem + "2.dat",
            std::vector<std::uint8_t>(stream.begin() + third, stream.begin() + 2 * third));
  WriteFile(in + "\\" + stem + "3.Dat", std::vector<std::uint8_t>(stream.begin() + 2 * third, stream.end()));
  WriteFile(root / "whole.dat", stream);
  Conversion whole;
  whole.input = root / "whole.dat";
  const Outputs expected = Convert(whole);
  ASSERT_EQ(expected.status, 0);

  const std::string backslashes = in + "\\" + stem + "2.dat";
  ASSERT_EQ(backslashes.substr(1, 2), ":\\");
  std::string slashes = backslashes;
  std::replace(slashes.begin(), slashes.end(), '\\', '/');
  // A path without its drive letter names one on the drive of the working directory.
  const std::filesystem::path workingDir = std::filesystem::current_path();
  std::filesystem::current_path(root.path());
  for (const std::string& path : {backslashes, slashes, backslashes.substr(2)}) {
    SCOPED_TRACE(path);
    Conversion c;
    c.input = path;
    c.outputDir = out;
    TdcFileParser parser;
    const Outputs o = Convert(parser, c);
    EXPECT_EQ(o.status, 0) << o.message;
    EXPECT_EQ(parser.files.size(), 3u);
    EXPECT_TRUE(o.parsed == expected.parsed);
    EXPECT_EQ(o.report, expected.report);

    std::filesystem::remove(PathOf(out + "\\" + stem + "2_parsed.txt"));
    const CommandResult r = Cli(CliArguments(c));
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.err.find("converted 3 files"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(out + "\\" + stem + "2_report.txt"), std::string::npos) << r.err;
    EXPECT_TRUE(ReadFile(out + "\\" + stem + "2_parsed.txt") == expected.parsed);
  }
  std::filesystem::current_path(workingDir);
}
#endif

}  // namespace
}  // namespace kestrun::test
