#include <gtest/gtest.h>

#include <filesystem>

#include "support/TestSupport.h"

namespace kestrun {
namespace {

using test::CommandResult;
using test::ReadFile;
using test::RunCommand;
using test::ScratchDir;
using test::WriteFile;

CommandResult Cli(const std::string& arguments) { return RunCommand(std::string("'") + KESTRUN_CLI + "' " + arguments); }

TEST(Cli, UsageErrorsExitWithTwoAndSayWhatIsMissing) {
  ScratchDir dir;
  WriteFile(dir / "abc.dat", std::string(8, 'x'));
  const std::string input = " '" + (dir / "abc.dat") + "'";

  CommandResult noType = Cli(input);
  EXPECT_EQ(noType.exitCode, 2);
  EXPECT_NE(noType.err.find("kestrun-cli: error: the data type is not given"), std::string::npos) << noType.err;

  CommandResult noResolution = Cli("-t T3" + input);
  EXPECT_EQ(noResolution.exitCode, 2);
  EXPECT_NE(noResolution.err.find("Resolution Not Specified!"), std::string::npos);

  CommandResult nothingToWrite = Cli("-t ITTR_T --no-parsed" + input);
  EXPECT_EQ(nothingToWrite.exitCode, 2);
  EXPECT_NE(nothingToWrite.err.find("Please Select \"Gen Parsed File\" or \"Gen Report\"!"), std::string::npos);

  EXPECT_EQ(Cli("-t T4 -r 5" + input).exitCode, 2);
  EXPECT_EQ(Cli("-t T2 -r 5 -d QZ8B48" + input).exitCode, 2);
  EXPECT_EQ(Cli("-t T2 -r 5 --range 3" + input).exitCode, 2);
  EXPECT_EQ(Cli("-t T2 -r 5 --range a:b" + input).exitCode, 2);
  EXPECT_EQ(Cli("").exitCode, 2);
  for (const CommandResult& r : {noType, noResolution, nothingToWrite}) EXPECT_EQ(r.out, "");

  CommandResult version = Cli("--version");
  EXPECT_EQ(version.exitCode, 0);
  EXPECT_EQ(version.out, "kestrun-cli 3.0.0.2\n");
}

TEST(Cli, ExitStatusFollowsTheRunsFinalStatus) {
  ScratchDir dir;
  WriteFile(dir / "abc.dat", std::string(8, 'x'));
  CommandResult ok = Cli("-q -t ITTR_M --report '" + (dir / "abc.dat") + "'");
  EXPECT_EQ(ok.exitCode, 0);
  EXPECT_EQ(ok.err, "");
  EXPECT_EQ(ok.out, "");
  EXPECT_TRUE(std::filesystem::exists(dir / "abc_parsed.txt"));
  EXPECT_TRUE(std::filesystem::exists(dir / "abc_report.txt"));

  CommandResult missing = Cli("-q -t T2 -r 4 '" + (dir / "gone.dat") + "'");
  EXPECT_EQ(missing.exitCode, 1);
  EXPECT_EQ(missing.err, "kestrun-cli: error: Could Not Create OutputFile: " + (dir / "gone.dat") + "\n");

  // A disk that is full: the parsed text cannot be written.
  WriteFile(dir / "full.dat", std::vector<std::uint8_t>{0xEB, 0x90, 0xB7, 0x12, 0xC0, 0x00, 0x04, 0x00, 0x02, 0x00, 0x00, 0x05});
  std::filesystem::create_symlink("/dev/full", dir / "full_parsed.txt");
  CommandResult full = Cli("-q -t T2 -d QZ48 -r 4 --report '" + (dir / "full.dat") + "'");
  EXPECT_EQ(full.exitCode, 1);
  EXPECT_EQ(full.err, "kestrun-cli: error: Parsed Content Save Error!\n");
  EXPECT_NE(ReadFile(dir / "full_report.txt").find("Package Head Number: 1\n"), std::string::npos);

  CommandResult noDir = Cli("-q -t T2 -r 4 -o '" + (dir / "nowhere") + "' '" + (dir / "abc.dat") + "'");
  EXPECT_EQ(noDir.exitCode, 1);
  EXPECT_EQ(noDir.err, "kestrun-cli: error: Could Not Open Output Directory :" + (dir / "nowhere") + "\n");
}

TEST(Cli, SettingsComeFromTheFileNameAndTheWholeSeriesIsConverted) {
  ScratchDir dir;
  ScratchDir out;
  const std::string stem = "QZ48x_lab_T2_16ps_a_b_c";
  for (int i = 1; i <= 4; ++i) WriteFile(dir / (stem + "_" + std::to_string(i) + ".dat"), std::string(12, 'x'));
  // Eight pieces starting with QZ48: type T2, 16 ps and device QZ48 all come from the name.
  CommandResult all = Cli("--report -o '" + out.path().string() + "/' '" + (dir / (stem + "_2.dat")) + "'");
  EXPECT_EQ(all.exitCode, 0) << all.err;
  EXPECT_NE(all.err.find("kestrun-cli: converted 4 files, 0.0 kB in "), std::string::npos) << all.err;
  EXPECT_NE(all.err.find(" -> " + (out / (stem + "_2_parsed.txt")) + ", " + (out / (stem + "_2_report.txt"))),
            std::string::npos)
      << all.err;

  CommandResult some = Cli("--range 1:2 -o '" + out.path().string() + "' '" + (dir / (stem + "_2.dat")) + "'");
  EXPECT_EQ(some.exitCode, 0) << some.err;
  EXPECT_NE(some.err.find("converted 2 files"), std::string::npos) << some.err;
  EXPECT_EQ(some.err.find("_report.txt"), std::string::npos);  // no report asked for

  // Relative paths are taken from the working directory.
  CommandResult relative = RunCommand("cd '" + dir.path().string() + "' && '" + KESTRUN_CLI + "' -q -t T1 -r 8 --range 0:0 " + stem + "_1.dat");
  EXPECT_EQ(relative.exitCode, 0) << relative.err;
  EXPECT_TRUE(std::filesystem::exists(dir / (stem + "_1_parsed.txt")));
}

TEST(Cli, InterruptStopsAfterTheCurrentBlockAndKeepsWhatWasConverted) {
  ScratchDir dir;
  const std::string fifo = dir / "live.dat";
  WriteFile(dir / "other.dat", std::string("x"));
  ASSERT_EQ(RunCommand("mkfifo '" + fifo + "'").exitCode, 0);
  // An acquisition that never ends: only the interrupt can end the conversion. The writer outlives
  // readers that come and go, and the whole script is bounded in time.
  const std::string script = "trap '' PIPE\n"
                             "(while :; do head -c 1048576 /dev/zero 2>/dev/null; sleep 0.02; done) > '" + fifo + "' & writer=$!\n"
                             "timeout 20 '" + std::string(KESTRUN_CLI) + "' -q -t T3 -r 4 --report '" + fifo + "' & cli=$!\n"
                             "sleep 0.5; kill -INT $cli; wait $cli; code=$?; kill $writer; exit $code\n";
  WriteFile(dir / "interrupt.sh", script);
  CommandResult r = RunCommand("bash '" + (dir / "interrupt.sh") + "'");
  EXPECT_EQ(r.exitCode, 130) << r.err;
  EXPECT_TRUE(std::filesystem::exists(dir / "live_report.txt"));
}

}  // namespace
}  // namespace kestrun
