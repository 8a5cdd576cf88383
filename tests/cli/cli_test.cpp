#include <gtest/gtest.h>

#include <filesystem>

#include "support/Conversion.h"

namespace kestrun::test {
namespace {

TEST(Cli, UsageErrorsExitWithTwoAndSayWhatIsMissing) {
  ScratchDir dir;
  WriteFile(dir / "abc.dat", std::string(8, 'x'));
  const std::pair<std::string, std::string> cases[] = {
      {"", "kestrun-cli: error: the data type is not given"},
      {"-t T3", "Resolution Not Specified!"},
      {"-t ITTR_T --no-parsed", "Please Select \"Gen Parsed File\" or \"Gen Report\"!"},
      {"-t T4 -r 5", ""},
      {"-t T2 -r 5 -d QZ8B48", ""},
      {"-t T2 -r 5 --range 3", ""},
      {"-t T2 -r 5 --range a:b", ""},
  };
  for (const auto& [arguments, error] : cases) {
    const CommandResult r = Cli(arguments + " " + Quote(dir / "abc.dat"));
    EXPECT_EQ(r.exitCode, 2) << arguments;
    EXPECT_NE(r.err.find(error), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "") << arguments;
  }
  EXPECT_EQ(Cli("").exitCode, 2);
  const CommandResult version = Cli("--version");
  EXPECT_EQ(version.exitCode, 0);
  EXPECT_EQ(version.out, "kestrun-cli 3.0.0.2\n");
}

TEST(Cli, ExitStatusFollowsTheRunsFinalStatus) {
  ScratchDir dir;
  WriteFile(dir / "abc.dat", std::string(8, 'x'));
  const CommandResult ok = Cli("-q -t ITTR_M --report " + Quote(dir / "abc.dat"));
  EXPECT_EQ(ok.exitCode, 0);
  EXPECT_EQ(ok.out + ok.err, "");
  EXPECT_EQ(Listing(dir.path().string()), (std::vector<std::string>{"abc.dat", "abc_parsed.txt", "abc_report.txt"}));

  const CommandResult missing = Cli("-q -t T2 -r 4 " + Quote(dir / "gone.dat"));
  EXPECT_EQ(missing.exitCode, 1);
  EXPECT_EQ(missing.out + missing.err, "kestrun-cli: error: Could Not Create OutputFile: " + (dir / "gone.dat") + "\n");
  const CommandResult noDir = Cli("-q -t T2 -r 4 -o " + Quote(dir / "nowhere") + " " + Quote(dir / "abc.dat"));
  EXPECT_EQ(noDir.exitCode, 1);
  EXPECT_EQ(noDir.err, "kestrun-cli: error: Could Not Open Output Directory :" + (dir / "nowhere") + "\n");
}

TEST(Cli, SettingsComeFromTheFileNameAndTheWholeSeriesIsConverted) {
  ScratchDir dir;
  ScratchDir out;
  const std::string stem = "QZ48x_lab_T2_16ps_a_b_c";
  for (int i = 1; i <= 4; ++i) WriteFile(dir / (stem + "_" + std::to_string(i) + ".dat"), std::string(12, 'x'));
  // Eight pieces starting with QZ48: type T2, 16 ps and device QZ48 all come from the name.
  const CommandResult all =
      Cli("--report -o " + Quote(out.path().string() + "/") + " " + Quote(dir / (stem + "_2.dat")));
  EXPECT_EQ(all.exitCode, 0) << all.err;
  EXPECT_NE(all.err.find("kestrun-cli: converted 4 files, 0.0 kB in "), std::string::npos) << all.err;
  EXPECT_NE(all.err.find(" -> " + (out / (stem + "_2_parsed.txt")) + ", " + (out / (stem + "_2_report.txt"))),
            std::string::npos)
      << all.err;
  EXPECT_EQ(ReadFile(out / (stem + "_2_parsed.txt")).rfind("Device Type: QZ8B48\n", 0), 0u);

  const CommandResult some = Cli("--range 1:2 -o " + Quote(out.path().string()) + " " + Quote(dir / (stem + "_2.dat")));
  EXPECT_EQ(some.exitCode, 0) << some.err;
  EXPECT_NE(some.err.find("converted 2 files"), std::string::npos) << some.err;
  EXPECT_EQ(some.err.find("_report.txt"), std::string::npos);  // no report asked for

  // Relative paths are taken from the working directory.
  const CommandResult relative = RunCommand("cd " + Quote(dir.path().string()) + " && " + Quote(KESTRUN_CLI) +
                                            " -q -t T1 -r 8 --range 0:0 " + stem + "_1.dat");
  EXPECT_EQ(relative.exitCode, 0) << relative.err;
  EXPECT_TRUE(std::filesystem::exists(dir / (stem + "_1_parsed.txt")));
}

TEST(Cli, InterruptStopsAfterTheCurrentBlockAndKeepsWhatWasConverted) {
  ScratchDir dir;
  const std::string fifo = dir / "live.dat";
  WriteFile(dir / "other.dat", std::string("x"));
  ASSERT_EQ(RunCommand("mkfifo " + Quote(fifo)).exitCode, 0);
  // An acquisition that never ends: only the interrupt can end the conversion. The writer outlives
  // readers that come and go, and the whole script is bounded in time.
  std::string script = "trap '' PIPE\n";
  script += "(while :; do head -c 1048576 /dev/zero 2>/dev/null; sleep 0.02; done) > " + Quote(fifo) + " & writer=$!\n";
  script += "timeout 20 " + Quote(KESTRUN_CLI) + " -q -t T3 -r 4 --report " + Quote(fifo) + " & cli=$!\n";
  script += "sleep 0.5; kill -INT $cli; wait $cli; code=$?; kill $writer; exit $code\n";
  WriteFile(dir / "interrupt.sh", script);
  const CommandResult r = RunCommand("bash " + Quote(dir / "interrupt.sh"));
  EXPECT_EQ(r.exitCode, 130) << r.err;
  EXPECT_TRUE(std::filesystem::exists(dir / "live_report.txt"));
}

}  // namespace
}  // namespace kestrun::test
