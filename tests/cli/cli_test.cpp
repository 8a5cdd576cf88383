// kestrun-cli as its users call it: usage errors, settings from the file name, whole series, signals;
// on Windows the paths its users give (drive letters with either separator, shares, any letters).
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <tuple>

#include "engine/PathPieces.h"
#include "engine/Platform.h"
#include "support/Conversion.h"

namespace kestrun::test {
namespace {

TEST(Cli, UsageErrorsExitWithTwoAndSayWhatIsMissing) {
  ScratchDir dir;
  const std::string input = Quote(dir / "abc.dat");
  WriteFile(dir / "abc.dat", std::string(8, 'x'));
  // Standard error in full where it ends in a line feed or the run succeeds, else a piece of it.
  const std::tuple<std::string, int, std::string, std::string> cases[] = {
      {input, 2, "", "kestrun-cli: error: the data type is not given"},
      {"-t T3 " + input, 2, "", "Resolution Not Specified!"},
      {"-t ITTR_T --no-parsed " + input, 2, "", "Please Select \"Gen Parsed File\" or \"Gen Report\"!"},
      {"-t T4 -r 5 " + input, 2, "", ""},
      {"-t T2 -r 5 -d QZ8B48 " + input, 2, "", ""},
      {"-t T2 -r 5 --range 3 " + input, 2, "", ""},
      {"-t T2 -r 5 --range a:b " + input, 2, "", ""},
      {"", 2, "", ""},
      {"-t T2 -r 5 " + Quote(""), 2, "",
       "kestrun-cli: error: INPUT is empty: name a .dat file\nRun with --help for more information.\n"},
      {"--version", 0, "kestrun-cli 3.0.0.2\n", ""},
      {"-q -t ITTR_M --report " + input, 0, "", ""},  // what was missing given: converted quietly
  };
  for (const auto& [arguments, exitCode, out, error] : cases) {
    const CommandResult r = Cli(arguments);
    EXPECT_EQ(std::tie(r.exitCode, r.out), std::tie(exitCode, out)) << arguments;
    EXPECT_TRUE(exitCode == 0 || error.ends_with("\n") ? r.err == error : r.err.find(error) != std::string::npos)
        << r.err;
  }
  EXPECT_EQ(Listing(dir.path().string()), (std::vector<std::string>{"abc.dat", "abc_parsed.txt", "abc_report.txt"}));
}
TEST(Cli, SettingsComeFromTheFileNameAndTheWholeSeriesIsConverted) {
  ScratchDir dir, out;
  const std::string stem = "QZ48x_lab_T2_16ps_a_b_c";
  for (int i = 1; i <= 4; ++i) WriteFile(dir / (stem + "_" + std::to_string(i) + ".dat"), std::string(12, 'x'));
  const auto summary = [](CommandResult r) {  // its exit status and standard error, the seconds left out
    const std::size_t in = r.err.find(" in "), s = r.err.find(" s", in);
    if (s != std::string::npos) r.err.erase(in, s + 2 - in);
    return std::to_string(r.exitCode) + " " + r.err;
  };
  // Eight pieces starting with QZ48: type T2, 16 ps and device QZ48 all come from the name.
  const std::string input = Quote(dir / (stem + "_2.dat")), parsed = out / (stem + "_2_parsed.txt");
  EXPECT_EQ(summary(Cli("--report -o " + Quote(out.path().string() + "/") + " " + input)),
            "0 kestrun-cli: converted 4 files, 0.0 kB -> " + parsed + ", " + (out / (stem + "_2_report.txt")) + "\n");
  EXPECT_EQ(ReadFile(parsed).rfind("Device Type: QZ8B48\n", 0), 0u);
  EXPECT_EQ(summary(Cli("--range 2:2 -o " + Quote(out.path().string()) + " " + input)),
            "0 kestrun-cli: converted 1 file, 0.0 kB -> " + parsed + "\n");

  // Relative paths are taken from the working directory.
  const std::filesystem::path workingDir = std::filesystem::current_path();
  std::filesystem::current_path(dir.path());
  const CommandResult relative = Cli("-q -t T1 -r 8 --range 0:0 " + stem + "_1.dat");
  std::filesystem::current_path(workingDir);
  EXPECT_EQ(relative.exitCode, 0) << relative.err;
  EXPECT_TRUE(std::filesystem::exists(dir / (stem + "_1_parsed.txt")));
}

#ifndef _WIN32  // signals and the shell's jobs; Ctrl+C on Windows: under_wine.sh
TEST(Cli, InterruptStopsAfterTheCurrentBlockAndKeepsWhatWasConverted) {
  ScratchDir dir;
  // 64 GiB of zeros that take no disk and give no text: only a signal ends the conversion in time.
  ASSERT_EQ(RunCommand("truncate -s 64G " + Quote(dir / "live.dat")).exitCode, 0);
  // Signalled once its partial file is there, its handlers then in place (a script's job starts ignoring INT).
  const std::string cli = Quote(KESTRUN_CLI) + " -q -t T3 -d QZ48 -r 4 --report " + Quote(dir / "live.dat") +
                          " & cli=$!; for i in $(seq 600); do [ -e " + Quote(dir / "live_parsed.txt.") +
                          "$cli.partial ] && break; sleep 0.05; done; ";
  // A first INT or TERM stops after the current block and keeps both outputs whole.
  for (const std::string signal : {"INT", "TERM"}) {
    const CommandResult r = RunCommand(cli + "kill -" + signal + " $cli; wait $cli");
    EXPECT_EQ(r.exitCode, signal == "INT" ? 130 : 143) << r.err;
    EXPECT_NE(ReadFile(dir / "live_report.txt").find("Errors: None"), std::string::npos);
    const std::string parsed = ReadFile(dir / "live_parsed.txt");  // empty when stopped before the first block
    EXPECT_TRUE(parsed.empty() || parsed.rfind("Device Type: QZ8B48\n", 0) == 0) << parsed.substr(0, 100);
    std::filesystem::remove(dir / "live_report.txt");
  }
  // A second signal (both pending while it is stopped), or KILL, ends it at once, leaving its partial file,
  // which the next run of the same outputs removes.
  for (const std::string signals : {"-INT $cli; kill -TERM $cli", "-KILL $cli"}) {
    const CommandResult r = RunCommand(cli + "kill -STOP $cli; kill " + signals + "; kill -CONT $cli; wait $cli");
    EXPECT_TRUE(signals[1] == 'I' ? r.exitCode == 130 || r.exitCode == 143 : r.exitCode == 137) << r.exitCode;
    const std::vector<std::string> left = Listing(dir.path().string());
    ASSERT_EQ(left.size(), 2u);
    EXPECT_EQ(left[1].rfind("live_parsed.txt.", 0), 0u) << left[1];
  }
  EXPECT_EQ(RunCommand(cli + "kill $cli; wait $cli").exitCode, 143);
  EXPECT_EQ(Listing(dir.path().string()), (std::vector<std::string>{"live.dat", "live_parsed.txt", "live_report.txt"}));
}
#else  // Windows: reports end their lines in CR LF there, which LfText checks line by line
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
