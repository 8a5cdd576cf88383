#include <gtest/gtest.h>

#include <filesystem>
#include <tuple>

#include "support/Conversion.h"

namespace kestrun::test {
namespace {

TEST(Cli, UsageErrorsExitWithTwoAndSayWhatIsMissing) {
  ScratchDir dir;
  const std::string input = Quote(dir / "abc.dat");
  WriteFile(dir / "abc.dat", std::string(8, 'x'));
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
  };
  for (const auto& [arguments, exitCode, out, error] : cases) {
    const CommandResult r = Cli(arguments);
    EXPECT_EQ(r.exitCode, exitCode) << arguments;
    EXPECT_EQ(r.out, out) << arguments;
    EXPECT_TRUE(error.ends_with("\n") ? r.err == error : r.err.find(error) != std::string::npos) << r.err;
  }
  // The same file with what was missing: converted quietly.
  const CommandResult ok = Cli("-q -t ITTR_M --report " + input);
  EXPECT_EQ(ok.exitCode, 0);
  EXPECT_EQ(ok.out + ok.err, "");
  EXPECT_EQ(Listing(dir.path().string()), (std::vector<std::string>{"abc.dat", "abc_parsed.txt", "abc_report.txt"}));
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

  const CommandResult some = Cli("--range 2:2 -o " + Quote(out.path().string()) + " " + Quote(dir / (stem + "_2.dat")));
  EXPECT_EQ(some.exitCode, 0) << some.err;
  EXPECT_NE(some.err.find("kestrun-cli: converted 1 file, "), std::string::npos) << some.err;
  EXPECT_EQ(some.err.find("_report.txt"), std::string::npos);  // no report asked for

  // Relative paths are taken from the working directory.
#ifdef _WIN32
  const std::string cd = "cd /d ";  // cmd.exe changes the drive only when told
#else
  const std::string cd = "cd ";
#endif
  const CommandResult relative = RunCommand(cd + Quote(dir.path().string()) + " && " + Quote(KESTRUN_CLI) +
                                            " -q -t T1 -r 8 --range 0:0 " + stem + "_1.dat");
  EXPECT_EQ(relative.exitCode, 0) << relative.err;
  EXPECT_TRUE(std::filesystem::exists(dir / (stem + "_1_parsed.txt")));
}

#ifndef _WIN32  // signals and the shell's jobs; Ctrl+C on Windows: under_wine.sh
TEST(Cli, InterruptStopsAfterTheCurrentBlockAndKeepsWhatWasConverted) {
  ScratchDir dir;
  // 64 GiB of zeros that take no disk and give no text: only a signal ends the conversion in time.
  ASSERT_EQ(RunCommand("truncate -s 64G " + Quote(dir / "live.dat")).exitCode, 0);
  // Signalled once its partial text file is there: its handlers are in place (a background job of a
  // script starts with SIGINT ignored), however slowly it starts.
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
  // A second signal, or KILL, ends it at once: its partial file is left, which the next run of the same
  // outputs removes. (Stopped, so that both signals are pending when it goes on.)
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
#endif  // _WIN32

}  // namespace
}  // namespace kestrun::test
