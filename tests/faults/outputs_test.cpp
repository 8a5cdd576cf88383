// Output files that cannot be written, or not completely: what the run reports, what kestrun-cli
// exits with, and that what was written before the fault stays as it was.
#ifndef _WIN32  // POSIX only: mounts, symbolic links, the shell's jobs, pipes and signals
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#endif  // _WIN32

#include <filesystem>
#include <fstream>

#include "engine/Platform.h"
#include "faults/FaultSupport.h"

extern char** environ;

namespace kestrun::faults {
namespace {

// A T2 stream whose parsed text (about 2.6 MB) is far larger than its input.
Conversion PackagedRun(const ScratchDir& dir, const std::string& name) {
  WriteFile(dir / name, BigEndian(PackagedT2(40, 2000)));
  Conversion c;
  c.input = dir / name;
  return c;
}

#ifndef _WIN32  // POSIX only: mounts, symbolic links, the shell's jobs, pipes and signals
// A tmpfs of one page mounted over a scratch directory, filled to its last byte: a full disk. Mounting
// needs root; elsewhere the test is skipped.
class FullDisk {
 public:
  FullDisk() {
    mounted_ = ::geteuid() == 0 && RunCommand("mount -t tmpfs -o size=4k tmpfs " + Quote(dir_.path().string())).exitCode == 0;
    if (!mounted_) return;
    std::ofstream filler(dir_ / "filler", std::ios::binary);
    const std::string page(4096, 'x');
    for (int i = 0; i < 16 && filler.write(page.data(), page.size()).flush(); ++i) {
    }
  }
  ~FullDisk() {
    if (mounted_) RunCommand("umount " + Quote(dir_.path().string()));
  }
  bool mounted() const { return mounted_; }
  std::string path() const { return dir_.path().string(); }

 private:
  ScratchDir dir_;
  bool mounted_ = false;
};

TEST(FullDisk, TextThatCannotBeWrittenNeverTakesTheFinalNameAndEveryFailureIsPrinted) {
  ScratchDir dir;
  Conversion c = PackagedRun(dir, "full.dat");
  const CommandResult whole = Cli("-q " + CliArguments(c));
  ASSERT_EQ(whole.exitCode, 0) << whole.err;
  const std::string wholeReport = ReadFile(dir / "full_report.txt");

  // A disk that fills during the run (files of the process may grow to 1 MiB; the signal that would
  // end it is ignored): the cut text is dropped, which frees the room the report then takes.
  ScratchDir limited;
  c.outputDir = limited.path().string();
  const CommandResult cut = Cli(CliArguments(c), "trap '' XFSZ; ulimit -f 2048; ");
  EXPECT_EQ(cut.exitCode, 1);
  EXPECT_EQ(cut.err, "kestrun-cli: error: Parsed Content Save Error!\nkestrun-cli: error: Incomplete Parsed File Not Kept: " +
                         (limited / "full_parsed.txt") + "\n");
  EXPECT_EQ(Listing(c.outputDir), std::vector<std::string>{"full_report.txt"});
  EXPECT_EQ(ReadFile(limited / "full_report.txt"), wholeReport);

  FullDisk full;
  if (!full.mounted()) GTEST_SKIP() << "a full disk needs root to mount a small tmpfs";
  c.outputDir = full.path();
  const Outputs o = Convert(c);
  EXPECT_EQ(o.status, 7);
  EXPECT_EQ(o.message, "Parsed Content Save Error!");
  EXPECT_EQ(Listing(c.outputDir), std::vector<std::string>{"filler"});
  const CommandResult both = Cli(CliArguments(c));
  EXPECT_EQ(both.exitCode, 1);
  EXPECT_EQ(both.err, "kestrun-cli: error: Parsed Content Save Error!\nkestrun-cli: error: Incomplete Parsed File Not Kept: " +
                          c.outputDir + "/full_parsed.txt\nkestrun-cli: error: Could Not Write Output File: " +
                          c.outputDir + "/full_report.txt\n");
  EXPECT_EQ(Listing(c.outputDir), std::vector<std::string>{"filler"});
}

TEST(OutputNames, LinksAreReplacedNotFollowedAndInputsAreNeverOutputs) {
  ScratchDir dir;
  const std::vector<std::uint8_t> data = BigEndian(PackagedT2(3, 10));
  WriteFile(dir / "b_1.dat", data);
  WriteFile(dir / "b_2.dat", data);
  WriteFile(dir / "victim", std::string("keep me"));
  const std::string original(data.begin(), data.end());
  Conversion c;
  c.input = dir / "b_1.dat";
  const Outputs clean = Convert(c);
  ASSERT_EQ(clean.status, 0);
  struct Case {
    const char* name;
    const char* target;
    bool symbolic;
    bool refused;
  };
  for (const Case& k : {Case{"b_1_parsed.txt", "b_1.dat", true, true}, Case{"b_1_report.txt", "b_2.dat", false, true},
                        Case{"b_1_parsed.txt", "victim", true, false}, Case{"b_1_report.txt", "victim", false, false}}) {
    SCOPED_TRACE(std::string(k.name) + " -> " + k.target);
    std::filesystem::remove(dir / "b_1_parsed.txt");
    std::filesystem::remove(dir / "b_1_report.txt");
    if (k.symbolic) {
      std::filesystem::create_symlink(dir / k.target, dir / k.name);
    } else {
      std::filesystem::create_hard_link(dir / k.target, dir / k.name);
    }
    const CommandResult r = Cli("-q " + CliArguments(c));
    EXPECT_EQ(r.exitCode, k.refused ? 1 : 0);
    EXPECT_EQ(r.err, k.refused ? "kestrun-cli: error: Output File Is An Input File: " + (dir / k.name) + "\n" : "");
    EXPECT_EQ(ReadFile(dir / "b_1.dat") + ReadFile(dir / "b_2.dat"), original + original);
    EXPECT_EQ(ReadFile(dir / "victim"), "keep me");
    if (!k.refused) {
      EXPECT_EQ(ReadFile(dir / "b_1_parsed.txt") + ReadFile(dir / "b_1_report.txt"), clean.parsed + clean.report);
    }
  }
}

TEST(OutputNames, ConcurrentRunsOfTheSameOutputsLeaveOneWholeResult) {
  ScratchDir dir;
  ScratchDir out;
  std::filesystem::create_directories(dir / "a");
  std::filesystem::create_directories(dir / "b");
  WriteFile(dir / "a/x_1.dat", BigEndian(PackagedT2(400, 1000)));
  WriteFile(dir / "b/x_1.dat", BigEndian(PackagedT2(300, 1200)));
  const std::string run = Quote(KESTRUN_CLI) + " -q -t T2 -d QZ48 -r 16 --report -o " + Quote(out.path().string()) + " ";
  std::string expected[2];
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(RunCommand(run + Quote(dir / (i == 0 ? "a/x_1.dat" : "b/x_1.dat"))).exitCode, 0);
    expected[i] = ReadFile(out / "x_1_parsed.txt") + ReadFile(out / "x_1_report.txt");
  }
  for (int round = 0; round < 3; ++round) {
    const CommandResult r = RunCommand(run + Quote(dir / "a/x_1.dat") + " & first=$!; " + run + Quote(dir / "b/x_1.dat") +
                                       " & second=$!; wait $first && wait $second");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    const std::string result = ReadFile(out / "x_1_parsed.txt") + ReadFile(out / "x_1_report.txt");
    EXPECT_TRUE(result == expected[0] || result == expected[1]) << "round " << round;
    EXPECT_EQ(Listing(out.path().string()), (std::vector<std::string>{"x_1_parsed.txt", "x_1_report.txt"}));
  }
}

TEST(OutputDirectory, AFileOrADirectoryThatRefusesFilesEndsTheRunWithStatusFive) {
  ScratchDir dir;
  WriteFile(dir / "a.dat", BigEndian(PackagedT2(2, 10)));
  WriteFile(dir / "file", std::string("not a directory"));
  const std::vector<std::string> before = Listing(dir.path().string());
  // Tests run as root, for whom permission bits stop no write; /proc refuses new files to everyone.
  for (const std::string& outputDir : {dir / "file", std::string("/proc/self")}) {
    Conversion c;
    c.input = dir / "a.dat";
    c.outputDir = outputDir;
    const std::string parsedPath = outputDir + "/a_parsed.txt";
    const Outputs o = Convert(c);
    EXPECT_EQ(o.status, 5);
    EXPECT_EQ(o.message, "Could Not Open Output File: " + parsedPath);
    const CommandResult cli = Cli("-q " + CliArguments(c));
    EXPECT_EQ(cli.exitCode, 1);
    EXPECT_EQ(cli.err, "kestrun-cli: error: Could Not Open Output File: " + parsedPath + "\n");

    // Without parsed text the run converts, and only the report fails.
    c.parsed = false;
    const Outputs reportOnly = Convert(c);
    EXPECT_EQ(reportOnly.status, 5);
    EXPECT_EQ(reportOnly.message, "Could Not Open Output File: " + outputDir + "/a_report.txt");
    EXPECT_EQ(Cli("-q " + CliArguments(c)).exitCode, 1);
  }
  EXPECT_EQ(ReadFile(dir / "file"), "not a directory");
  EXPECT_EQ(Listing(dir.path().string()), before);

  // A dangling link is no directory at all.
  std::filesystem::create_symlink(dir / "nowhere", dir / "dangling");
  Conversion c;
  c.input = dir / "a.dat";
  c.outputDir = dir / "dangling";
  const Outputs o = Convert(c);
  EXPECT_EQ(o.status, 4);
  EXPECT_EQ(o.message, "Could Not Open Output Directory :" + (dir / "dangling"));
}
#endif  // _WIN32

TEST(Names, BlanksNonAsciiLettersAndSeveralDotsPassThroughUnchanged) {
  ScratchDir root;
  const std::string in = root / "in dir \xC3\xA9";   // "in dir é"
  const std::string out = root / "out dir \xC3\xBC";  // "out dir ü"
  std::filesystem::create_directories(PathOf(in));
  std::filesystem::create_directories(PathOf(out));
  const std::vector<std::uint8_t> stream = BigEndian(PackagedT2(9, 40));
  const std::size_t third = stream.size() / 12 * 4;
  const std::string series = "my run.v2.final_";
  WriteFile(in + "/" + series + "1.dat", std::vector<std::uint8_t>(stream.begin(), stream.begin() + third));
  WriteFile(in + "/" + series + "2.dat", std::vector<std::uint8_t>(stream.begin() + third, stream.begin() + 2 * third));
  WriteFile(in + "/" + series + "10.dat", std::vector<std::uint8_t>(stream.begin() + 2 * third, stream.end()));
  // Not of the series: another key before the number, another extension.
  WriteFile(in + "/my run.v3.final_1.dat", RandomBytes(400, 1));
  WriteFile(in + "/" + series + "1.dat.bak", RandomBytes(400, 2));
  const std::string name = "Messung \xC2\xB5s \xE6\x97\xA5\xE6\x9C\xAC.a.b";  // "Messung µs 日本.a.b"
  WriteFile(in + "/" + name + ".dat", stream);

  Conversion whole;
  whole.input = in + "/" + name + ".dat";
  whole.outputDir = out;
  const Outputs single = Convert(whole);
  ASSERT_EQ(single.status, 0);
  EXPECT_TRUE(std::filesystem::exists(PathOf(out + "/" + name + "_parsed.txt")));

  Conversion part = whole;
  part.input = in + "/" + series + "2.dat";
  TdcFileParser parser;
  const Outputs joined = Convert(parser, part);
  EXPECT_EQ(joined.status, 0);
  ASSERT_EQ(parser.files.size(), 3u);
  EXPECT_EQ(parser.files[2].path, in + "/" + series + "10.dat");
  EXPECT_EQ(joined.parsed, single.parsed);
  EXPECT_EQ(joined.report, single.report);

  const CommandResult cli = Cli(CliArguments(part));
  EXPECT_EQ(cli.exitCode, 0) << cli.err;
  EXPECT_NE(cli.err.find("converted 3 files"), std::string::npos) << cli.err;
  EXPECT_EQ(ReadFile(out + "/" + series + "2_parsed.txt"), single.parsed);
  EXPECT_EQ(Listing(out), (std::vector<std::string>{name + "_parsed.txt", name + "_report.txt", series + "2_parsed.txt",
                                                     series + "2_report.txt"}));
}

#ifndef _WIN32  // POSIX only: mounts, symbolic links, the shell's jobs, pipes and signals
// Runs kestrun-cli with `arguments` and its standard output on a pipe that nobody reads any more;
// its exit status, or -1.
int CliWithoutStdoutReader(const std::vector<std::string>& arguments) {
  int pipeEnds[2];
  if (::pipe2(pipeEnds, O_CLOEXEC) != 0) return -1;
  ::close(pipeEnds[0]);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t pipeSignal;
  sigemptyset(&pipeSignal);
  sigaddset(&pipeSignal, SIGPIPE);
  posix_spawnattr_setsigdefault(&attributes, &pipeSignal);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
  std::vector<std::string> words = {KESTRUN_CLI};
  words.insert(words.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, KESTRUN_CLI, &actions, &attributes, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  ::close(pipeEnds[1]);
  int status = 0;
  if (spawned != 0 || ::waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

TEST(StandardOutput, AReaderThatWentAwayDoesNotEndTheConversion) {
  ScratchDir dir;
  ScratchDir piped;
  // Package serial overflow words, each of which puts a diagnostic line on standard output.
  std::vector<std::uint32_t> words{0xEB90B712};
  for (std::uint32_t p = 0; p < 500; ++p) words.insert(words.end(), {0xC0000400u | p, 0xD8000000u, 7, 0xC8000000u});
  WriteFile(dir / "a.dat", BigEndian(words));
  WriteFile(piped / "a.dat", BigEndian(words));
  Conversion c;
  c.input = dir / "a.dat";
  testing::internal::CaptureStdout();
  const Outputs expected = Convert(c);
  EXPECT_EQ(testing::internal::GetCapturedStdout().size(), 500 * std::string("Package Serial Overflow\n").size());
  ASSERT_EQ(expected.status, 0);

  EXPECT_EQ(CliWithoutStdoutReader({"-q", "-t", "T2", "-d", "QZ48", "-r", "16", "--report", "--overflow",
                                    "--packet-info", piped / "a.dat"}),
            0);
  EXPECT_EQ(ReadFile(piped / "a_parsed.txt"), expected.parsed);
  EXPECT_EQ(ReadFile(piped / "a_report.txt"), expected.report);
}
#endif  // _WIN32

TEST(Names, AnInputNameTooLongForItsOutputNamesFailsWithStatusFive) {
  ScratchDir dir;
  // 251 bytes is a valid file name; with "_parsed.txt" for ".dat" it passes the 255-byte limit.
  const std::string stem = std::string(245, 'x') + "_1";
  WriteFile(dir / (stem + ".dat"), BigEndian(PackagedT2(1, 4)));
  Conversion c;
  c.input = dir / (stem + ".dat");
  const Outputs o = Convert(c);
  EXPECT_EQ(o.status, 5);
  EXPECT_EQ(o.message, "Could Not Open Output File: " + (dir / (stem + "_parsed.txt")));
  const CommandResult cli = Cli("-q " + CliArguments(c));
  EXPECT_EQ(cli.exitCode, 1);
  EXPECT_EQ(cli.err, "kestrun-cli: error: " + o.message + "\n");
  c.parsed = false;
  const Outputs reportOnly = Convert(c);
  EXPECT_EQ(reportOnly.status, 5);
  EXPECT_EQ(reportOnly.message, "Could Not Open Output File: " + (dir / (stem + "_report.txt")));
  EXPECT_EQ(Listing(dir.path().string()), std::vector<std::string>{stem + ".dat"});
}

}  // namespace
}  // namespace kestrun::faults
