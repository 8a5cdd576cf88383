// The paths Windows users give: drive letters with either separator, no drive letter, network shares,
// any letters, ".DAT" in capitals. (Reports end their lines in CR LF there: LfText checks every one.)
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "engine/PathPieces.h"
#include "engine/Platform.h"
#include "support/Conversion.h"

namespace kestrun::test {
namespace {

#ifdef _WIN32
TEST(Platform, SplitPathTakesBothSeparatorsDrivesAndShares) {
  const std::pair<const char*, const char*> cases[] = {
      {"C:\\data\\run_1.dat", "C:\\data\\|run_1|.dat"}, {"C:/data/run_1.DAT", "C:/data/|run_1|.DAT"},
      {"C:run_1.dat", "C:|run_1|.dat"}, {"\\\\server\\share\\run_1.dat", "\\\\server\\share\\|run_1|.dat"},
      {"\\data/run_1.dat", "\\data/|run_1|.dat"},
  };
  for (const auto& [path, want] : cases) {
    const PathPieces got = SplitPath(path);
    EXPECT_EQ(got.directory + "|" + got.stem + "|" + got.extension, want);
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
  const std::string stem = "Lauf \xC3\xA9 \xE6\x95\xB0_";  // "Lauf é 数_"
  WriteSplit({in + "\\" + stem + "1.DAT", in + "\\" + stem + "2.dat", in + "\\" + stem + "3.Dat"}, stream);
  WriteFile(root / "whole.dat", stream);
  const Outputs expected = Convert(Conversion(root / "whole.dat"));
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
    Conversion c(path);
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
