// Output files that cannot be written, or not completely: what the run reports, what kestrun-cli
// exits with, and that what was written before the fault stays as it was.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

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

TEST(FullDisk, AReportOnAFullDiskFailsAndTheParsedTextStaysWhole) {
  ScratchDir dir;
  const Conversion c = PackagedRun(dir, "full.dat");
  const Outputs whole = Convert(c);
  ASSERT_EQ(whole.status, 0);

  std::filesystem::remove(dir / "full_report.txt");
  std::filesystem::create_symlink("/dev/full", dir / "full_report.txt");
  const Outputs full = Convert(c);
  EXPECT_EQ(full.status, 5);
  EXPECT_EQ(full.message, "Could Not Write Output File: " + (dir / "full_report.txt"));
  EXPECT_EQ(full.parsed, whole.parsed);

  const CommandResult cli = Cli("-q " + CliArguments(c));
  EXPECT_EQ(cli.exitCode, 1);
  EXPECT_EQ(cli.err, "kestrun-cli: error: Could Not Write Output File: " + (dir / "full_report.txt") + "\n");
  EXPECT_EQ(cli.out, "");
  EXPECT_EQ(ReadFile(dir / "full_parsed.txt"), whole.parsed);

  // Both outputs on the full disk: the report's failure comes last and is the one reported.
  std::filesystem::remove(dir / "full_parsed.txt");
  std::filesystem::create_symlink("/dev/full", dir / "full_parsed.txt");
  EXPECT_EQ(Convert(c).status, 5);
  EXPECT_EQ(Cli("-q " + CliArguments(c)).exitCode, 1);
}

TEST(FullDisk, ADiskThatFillsDuringTheRunKeepsTheTextWrittenBeforeIt) {
  ScratchDir dir;
  ScratchDir limited;
  Conversion c = PackagedRun(dir, "fill.dat");
  const CommandResult whole = Cli("-q " + CliArguments(c));
  ASSERT_EQ(whole.exitCode, 0) << whole.err;
  const std::string wholeText = ReadFile(dir / "fill_parsed.txt");
  const std::string wholeReport = ReadFile(dir / "fill_report.txt");

  // Files of the converter may grow to 1 MiB (2048 blocks of 512 bytes); writes past that fail as on
  // a full disk (the signal that would end the process instead is ignored).
  c.outputDir = limited.path().string();
  const CommandResult cut = Cli("-q " + CliArguments(c), "trap '' XFSZ; ulimit -f 2048; ");
  EXPECT_EQ(cut.exitCode, 1);
  EXPECT_EQ(cut.err, "kestrun-cli: error: Parsed Content Save Error!\n");
  const std::string text = ReadFile(limited / "fill_parsed.txt");
  EXPECT_EQ(text.size(), kMiB);
  EXPECT_EQ(text, wholeText.substr(0, text.size()));
  // Decoding went on after the failed write, so the report covers the whole input.
  EXPECT_EQ(ReadFile(limited / "fill_report.txt"), wholeReport);
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

TEST(Names, BlanksNonAsciiLettersAndSeveralDotsPassThroughUnchanged) {
  ScratchDir root;
  const std::string in = root / "in dir \xC3\xA9";   // "in dir é"
  const std::string out = root / "out dir \xC3\xBC";  // "out dir ü"
  std::filesystem::create_directories(in);
  std::filesystem::create_directories(out);
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
  EXPECT_TRUE(std::filesystem::exists(out + "/" + name + "_parsed.txt"));

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
