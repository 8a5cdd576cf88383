// Inputs that are empty, short, random, foreign, huge, or that change while read; stops at every point of a run
// and parsers destroyed during it. Runs that cannot read their input or write their outputs, or not completely:
// their status, kestrun-cli's exit, and what was written before; output names; what a run touches on disk.
#ifndef _WIN32  // POSIX only: mounts, symbolic links, the shell's jobs, pipes, signals and inotify
#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <map>
#endif  // _WIN32

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <thread>

#include "engine/Platform.h"
#include "support/Conversion.h"

namespace kestrun::test {
namespace {

constexpr std::size_t kMiB = 1'048'576;

// Every decoder (data type, device): T1, packaged and plain T2 and T3, both ITTR types.
constexpr std::pair<std::int32_t, std::int32_t> kKinds[] = {{1, 1}, {2, 3}, {2, 1}, {3, 3}, {3, 64}, {4, 1}, {5, 64}};

// Packages of mostly sync overflow words (no lines without the overflow flag) with an event every
// 16th word, so that a run's text stays small while every block still carries lines and state.
std::vector<std::uint32_t> QuietT2(std::uint32_t packages) {
  std::vector<std::uint32_t> words{0xEB90B712};
  for (std::uint32_t p = 0, overflow = 0; p < packages; ++p) {
    words.push_back(0xC0000000u | (1024u << 10) | p % 1024);
    for (std::uint32_t i = 0; i < 1024; ++i)
      words.push_back(i % 16 == 0 ? ((i / 16 % 8) << 25) | (i * 977 + p) : 0xFE000000u | (++overflow & 1023));
    words.push_back(0xC8000000u);
  }
  return words;
}

// A run's status and its two outputs as one string.
std::string Whole(const Outputs& o) { return "status " + std::to_string(o.status) + "\n" + o.parsed + o.report; }

// kestrun-cli -q converting `c`: "exit N: " and everything it printed.
std::string CliQuiet(const Conversion& c) {
  const CommandResult r = Cli("-q " + CliArguments(c));
  return "exit " + std::to_string(r.exitCode) + ": " + r.out + r.err;
}

// Empty files, files cut in their first word, random bytes in two blocks (the second ending inside a word).
TEST(Inputs, EmptyShortRandomAndForeignFilesOfEveryTypeConvertAlikeThroughTheEngineAndKestrunCli) {
  ScratchDir dir;
  WriteFile(dir / "noise.dat", RandomBytes(kMiB + 300'003, 42));
  for (const auto& [type, device] : kKinds) {
    SCOPED_TRACE(CliType(type) + " " + CliDevice(device));
    Conversion c(dir / "short.dat", type, device);
    WriteFile(c.input, std::string());
    const Outputs empty = Convert(c);
    // T1, T2 and T3 write their header even for no data, T1 its frame of no channels too; ITTR nothing.
    EXPECT_EQ(std::tuple(empty.status, empty.reportExists, empty.parsed.starts_with("Device Type: "),
                         empty.parsed.find("Window Resolution: 16ps") != std::string::npos, empty.parsed.empty()),
              std::tuple(0, true, type <= 3, type == 1, type >= 4));
    for (std::size_t n = 1; n <= 3; ++n) {
      WriteFile(c.input, std::string("\xEB\x90\xB7", n));  // the start of a T2 head word
      EXPECT_EQ(Whole(Convert(c)), Whole(empty)) << n << " bytes";
    }
    std::filesystem::remove(dir / "short_parsed.txt");
    EXPECT_EQ(CliQuiet(c), "exit 0: ");
    EXPECT_EQ(ReadFile(dir / "short_parsed.txt"), empty.parsed);

    // Random bytes: progress per block, the same report without parsed text.
    c.input = dir / "noise.dat";
    TdcFileParser parser;
    std::vector<int> progress;
    parser.onProgress = [&](int p) { progress.push_back(p); };
    const Outputs on = Convert(parser, c);
    EXPECT_EQ(std::tuple(on.status, progress, on.report.empty()), std::tuple(0, std::vector<int>{77, 100}, false));
    EXPECT_EQ(CliQuiet(c), "exit 0: kestrun-cli: warning: " + parser.warnings.at(0) + "\n");
    EXPECT_EQ(ReadFile(dir / "noise_parsed.txt") + LfText(ReadFile(dir / "noise_report.txt")), on.parsed + on.report);
    c.parsed = false;
    const Outputs off = Convert(c);
    EXPECT_EQ(std::tuple(off.status, off.report), std::tuple(0, on.report));
  }

  // Data that do not look like the chosen type: one warning, converted as before.
  WriteFile(dir / "t2.dat", BigEndian(PackagedT2(3, 100)));
  WriteFile(dir / "ff.dat", std::vector<std::uint8_t>(4096, 0xFF));
  const std::string plain = "The data do not look like T2 data of a KR77A5 or RB9531 (plain layout): ";
  const std::string packaged = "their marker words are those of T2 data of a QZ48 (packaged layout)";
  const std::tuple<const char*, std::int32_t, std::int32_t, std::string> cases[] = {
      {"t2.dat", 2, 3, ""},
      {"t2.dat", 3, 3, "The data do not look like T3 data of a QZ48 (packaged layout): " + packaged},
      {"t2.dat", 2, 1, plain + packaged},
      {"ff.dat", 2, 1, plain + "the sync overflow sequence breaks at 1024 of 1024 sync overflow words"},
      {"ff.dat", 2, 3, "The data do not look like T2 data of a QZ48 (packaged layout): no package in 1024 "
                       "words; they may be of the plain layout (KR77A5 or RB9531)"},
      {"ff.dat", 4, 1, "The data do not look like ITTR_T data: no ITTR mode word in 1024 words"},
  };
  for (const auto& [file, type, device, warning] : cases) {
    SCOPED_TRACE(std::string(file) + " as " + CliType(type) + " " + CliDevice(device));
    TdcFileParser parser;
    EXPECT_EQ(Convert(parser, Conversion(dir / file, type, device)).status, 0);
    EXPECT_EQ(parser.warnings, warning.empty() ? std::vector<std::string>{} : std::vector{warning});
  }

}

// The first `bytes` (up to 4 MiB) of a quiet packaged T2 stream.
std::string Stream(std::size_t bytes) {
  const std::vector<std::uint8_t> data = BigEndian(QuietT2(1025));
  return std::string(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(bytes));
}

// Converts a 3 MiB file that the first block's progress callback cuts or extends to `size` bytes, or removes if 0
// (the next block may be read already): the run reads `least` to `most` bytes, warns that the file `changed`
// (unless empty) and converts exactly those bytes, as an undisturbed run over them does; returns its progress.
std::vector<int> ConvertChanging(std::uint64_t size, std::uint64_t least, std::uint64_t most,
                                 const std::string& changed) {
  SCOPED_TRACE(std::to_string(size) + " bytes");
  ScratchDir dir, undisturbed;
  Conversion c(dir / "live.dat");
  c.overflow = false;
  WriteFile(c.input, Stream(3 * kMiB));
  TdcFileParser parser;
  std::vector<int> progress;
  parser.onProgress = [&](int p) {
    if (progress.empty() && size == 0) std::filesystem::remove(c.input);
    if (progress.empty() && size > 0 && size < 3 * kMiB) std::filesystem::resize_file(c.input, size);
    if (progress.empty() && size > 3 * kMiB)
      std::ofstream(c.input, std::ios::binary | std::ios::app) << Stream(size).substr(3 * kMiB);
    progress.push_back(p);
  };
  const Outputs o = Convert(parser, c);
  const std::uint64_t bytes = parser.bytesRead;
  EXPECT_TRUE(bytes >= least && bytes <= most) << bytes << " bytes read";
  EXPECT_EQ(parser.warnings, changed.empty() ? std::vector<std::string>{}
                                             : std::vector{"Input File " + changed + " During The Run: " + c.input +
                                                           " (3145728 bytes when the run began, " +
                                                           std::to_string(bytes) + " bytes read)"});
  EXPECT_EQ(progress.back(), std::min<int>(100, static_cast<int>(bytes * 100 / (3 * kMiB))));
  c.input = undisturbed / "live.dat";
  WriteFile(c.input, Stream(bytes));
  EXPECT_TRUE(Whole(o) == Whole(Convert(c))) << "not the outputs of the bytes read; report:\n" << o.report;
  return progress;
}

// Sizes over 4 GiB count in progress without being read. Cut short, reads end at the new end (or at the block read
// ahead of the cut) or at once; removed while open, the file is still read to its end; grown, it is read past
// its size at discovery, progress at most 100.
TEST(Inputs, SizesOverFourGibibytesCountAndFilesThatShrinkVanishOrGrowWhileReadConvertWhatWasRead) {
  ScratchDir dir;
  const std::uint64_t size = (std::uint64_t{4} << 30) + kMiB + 3;
  std::ofstream(dir / "big.dat", std::ios::binary).close();
  std::filesystem::resize_file(dir / "big.dat", size);  // sparse: no block of it is stored
  TdcFileParser parser;
  std::vector<int> progress;
  parser.onProgress = [&](int p) {
    progress.push_back(p);
    parser.running = false;
  };
  const Outputs o = Convert(parser, Conversion(dir / "big.dat"));
  // 1 MiB of 4 GiB is 0 per cent; a size cut to 32 bits (1 MiB + 3) would have given 99.
  EXPECT_EQ(std::tuple(o.status, parser.totalBytes, parser.bytesRead, progress),
            std::tuple(0, size, std::uint64_t{kMiB}, std::vector<int>{0}));
  EXPECT_NE(o.report.find("Data Type Head Number:0\n"), std::string::npos) << o.report;

  ConvertChanging(kMiB + kMiB / 2, kMiB + kMiB / 2, 2 * kMiB, "Shrank");
  ConvertChanging(100, kMiB, 2 * kMiB, "Shrank");
  EXPECT_EQ(ConvertChanging(0, 3 * kMiB, 3 * kMiB, ""), (std::vector<int>{33, 66, 100, 100}));
  ConvertChanging(3 * kMiB + kMiB / 2, 3 * kMiB + kMiB / 2, 3 * kMiB + kMiB / 2, "Grew");
}

// A series of two files of 1 MiB + 64 KiB each, cut inside a package: blocks of 1 MiB, 64 KiB, 1 MiB, 64 KiB.
constexpr std::size_t kFileBytes = kMiB + 65'536;
constexpr std::size_t kBlockEnds[] = {0, kMiB, kFileBytes, kFileBytes + kMiB, 2 * kFileBytes};

// Writes the series into `dir` as far as its first `bytes` go; returns its conversion.
Conversion WriteSeries(const ScratchDir& dir, std::size_t bytes) {
  const std::string stream = Stream(bytes);
  WriteFile(dir / "s_1.dat", stream.substr(0, kFileBytes));
  WriteFile(dir / "s_2.dat", stream.substr(std::min(bytes, kFileBytes)));
  Conversion c(dir / "s_1.dat");
  c.overflow = false;
  return c;
}

// How many blocks the outputs that `c` left on disk are of, or -1.
int BlocksLeft(const Conversion& c, const std::vector<std::string>& expected) {
  TdcFileParser reader;
  Configure(reader, c);
  const auto found = std::find(expected.begin(), expected.end(), Whole(Collect(reader)));
  return found == expected.end() ? -1 : static_cast<int>(found - expected.begin());
}

TEST(Stop, AtEveryCallbackOrByDestroyingTheParserTheRunEndsAfterItsCurrentBlock) {
  // The outputs of undisturbed runs over the first 0..4 blocks; no block at all: a report of nothing.
  std::vector<std::string> expected = {"status 0\n" + DecoderState().BuildReportText(2)};
  for (int b = 1; b <= 4; ++b) expected.push_back(Whole(Convert(WriteSeries(ScratchDir(), kBlockEnds[b]))));
  ScratchDir dir;
  const Conversion c = WriteSeries(dir, kBlockEnds[4]);
  // The calls back of a run: message (first file, before the loop), message (opened), progress 47, 50, message
  // (second file), progress 97, 100; a stop at an opened file's message comes after its first block.
  const int blocksAtStop[] = {0, 1, 1, 2, 3, 3, 4};
  for (std::size_t at = 0; at < std::size(blocksAtStop); ++at) {
    SCOPED_TRACE("stop at call " + std::to_string(at));
    TdcFileParser parser;
    std::size_t call = 0;
    auto stopAt = [&] {
      if (call++ == at) parser.running = false;
    };
    parser.onMessage = [&](std::string) { stopAt(); };
    parser.onProgress = [&](int) { stopAt(); };
    EXPECT_EQ(Convert(parser, c).status, 0);
    EXPECT_EQ(std::tuple(BlocksLeft(c, expected), parser.bytesRead, parser.dataType),
              std::tuple(blocksAtStop[at], std::uint64_t{kBlockEnds[blocksAtStop[at]]}, -1));
  }

  // Destroyed while the worker waits in its first progress callback for the stop: exactly that block is
  // converted. Destroyed at once, wherever the worker is: whole outputs of any number of blocks.
  for (int attempt = 0; attempt < 6; ++attempt) {
    const bool inCallback = attempt == 0;
    std::atomic<int> finished{0};
    std::atomic<bool> inBlockLoop{false};
    auto parser = std::make_unique<TdcFileParser>();
    Configure(*parser, c);
    parser->onProgress = [&, running = parser.get()](int) {
      inBlockLoop = true;
      while (inCallback && running->running) std::this_thread::yield();
    };
    parser->onFinished = [&] { ++finished; };
    parser->Start();
    while (inCallback && !inBlockLoop) std::this_thread::yield();
    parser.reset();
    EXPECT_EQ(finished, 1);
    const int blocks = BlocksLeft(c, expected);
    EXPECT_TRUE(inCallback ? blocks == 1 : blocks != -1) << "attempt " << attempt << ": " << blocks << " blocks";
  }
}

TEST(Failures, EachEndsTheRunWithItsStatusAndTextAndKestrunCliWithOne) {
  ScratchDir dir;
  WriteFile(dir / "a.dat", BigEndian(PackagedT2(2, 10)));
  WriteFile(dir / "file", std::string("not a directory"));
  // 251 bytes is a valid file name; with "_parsed.txt" for ".dat" it passes the 255-byte limit.
  const std::string stem = dir / (std::string(245, 'x') + "_1");
  WriteFile(stem + ".dat", BigEndian(PackagedT2(1, 4)));
  const std::string noDir = "Could Not Open Output Directory :", noFile = "Could Not Open Output File: ";
  std::vector<std::tuple<std::string, std::string, std::int32_t, std::string>> cases = {
      {dir / "gone.dat", "", 3, "Could Not Create OutputFile: " + (dir / "gone.dat")},
      {dir / "a.dat", dir / "nowhere", 4, noDir + (dir / "nowhere")},
      {stem + ".dat", "", 5, noFile + stem + "_parsed.txt"},
  };
#ifndef _WIN32  // POSIX only: named pipes, devices, symbolic links, /proc
  std::filesystem::create_directories(dir / "sub/folder.dat");  // opened as input: its empty outputs stay in sub
  ASSERT_EQ(RunCommand("mkfifo " + Quote(dir / "pipe.dat")).exitCode, 0);  // no writer: opening it would block
  std::filesystem::create_symlink("/dev/zero", dir / "zero.dat");           // endless
  std::filesystem::create_symlink(dir / "nowhere", dir / "dangling");      // no directory at all
  // Tests run as root, for whom permission bits stop no write; /proc refuses new files to everyone.
  cases.insert(cases.end(), {{dir / "pipe.dat", "", 3, "Input File Is Not A Regular File: " + (dir / "pipe.dat")},
                             {dir / "zero.dat", "", 3, "Input File Is Not A Regular File: " + (dir / "zero.dat")},
                             {dir / "sub/folder.dat", "", 3, "Could Not Open Input File: " + (dir / "sub/folder.dat")},
                             {dir / "a.dat", dir / "dangling", 4, noDir + (dir / "dangling")},
                             {dir / "a.dat", dir / "file", 5, noFile + dir / "file/a_parsed.txt"},
                             {dir / "a.dat", "/proc/self", 5, noFile + "/proc/self/a_parsed.txt"}});
#endif  // _WIN32
  const std::vector<std::string> before = Listing(dir.path().string());
  for (const auto& [input, outputDir, status, message] : cases) {
    Conversion c(input);
    c.outputDir = outputDir;
    ExpectFailure(c, status, message);
  }
  EXPECT_EQ(ReadFile(dir / "file"), "not a directory");
  EXPECT_EQ(Listing(dir.path().string()), before);
}

// Blanks, non-ASCII letters and several dots pass through unchanged; no input name (stems ".", "..", one with
// a backslash or a line break, "." again behind "..") leads the outputs out of their directory.
TEST(Names, PassThroughUnchangedAndNeverLeadTheOutputsOutOfTheirDirectory) {
  ScratchDir root;
  const std::string in = root / "in dir \xC3\xA9";   // "in dir é"
  const std::string out = root / "out dir \xC3\xBC";  // "out dir ü"
  for (const std::string& dir : {in + "/sub", out}) std::filesystem::create_directories(PathOf(dir));
  const std::vector<std::uint8_t> stream = BigEndian(PackagedT2(9, 40));
  const std::string series = in + "/my run.v2.final_";
  WriteSplit({series + "1.dat", series + "2.dat", series + "10.dat"}, stream);
  // Not of the series: another key before the number, another extension.
  WriteFile(in + "/my run.v3.final_1.dat", RandomBytes(400, 1));
  WriteFile(series + "1.dat.bak", RandomBytes(400, 2));
  const std::string name = "Messung \xC2\xB5s \xE6\x97\xA5\xE6\x9C\xAC.a.b";  // "Messung µs 日本.a.b"
  WriteFile(in + "/" + name + ".dat", stream);
  Conversion whole(in + "/" + name + ".dat");
  whole.outputDir = out;
  const Outputs single = Convert(whole);
  ASSERT_EQ(single.status, 0);
  // The series, converted from its middle file, is the whole stream in number order.
  Conversion part = whole;
  part.input = series + "2.dat";
  EXPECT_EQ(Whole(Convert(part)), Whole(single));
  EXPECT_EQ(CliQuiet(part), "exit 0: ");
  EXPECT_EQ(ReadFile(out + "/my run.v2.final_2_parsed.txt"), single.parsed);
  std::vector<std::string> listing = {name + "_parsed.txt", name + "_report.txt", "my run.v2.final_2_parsed.txt",
                                      "my run.v2.final_2_report.txt"};
#ifndef _WIN32  // POSIX only: backslashes and line breaks in names
  for (const std::string odd : {"..dat", "...dat", "a\\b.dat", "line\nbreak.dat", "sub/../..dat"}) {
    WriteFile(in + "/" + odd, BigEndian(PackagedT2(1, 3)));
    part.input = in + "/" + odd;
    EXPECT_EQ(Convert(part).status, 0) << odd;
  }
  listing.insert(listing.end(), {".._parsed.txt", ".._report.txt", "._parsed.txt", "._report.txt", "a\\b_parsed.txt",
                                 "a\\b_report.txt", "line\nbreak_parsed.txt", "line\nbreak_report.txt"});
  std::sort(listing.begin(), listing.end());
#endif  // _WIN32
  EXPECT_EQ(Listing(out), listing);
  EXPECT_EQ(Listing(root.path().string()), (std::vector<std::string>{"in dir \xC3\xA9", "out dir \xC3\xBC"}));
}

#ifndef _WIN32  // POSIX only: mounts, symbolic links, the shell's jobs, pipes, signals and inotify
TEST(FullDisk, TextThatCannotBeWrittenNeverTakesTheFinalNameAndEveryFailureIsPrinted) {
  ScratchDir dir;
  Conversion c(dir / "full.dat");
  // Its parsed text (1.5 MB) is far larger than it, and one block: the chunk that crosses 1 MiB is its last,
  // whose write fails after the block has ended.
  WriteFile(c.input, BigEndian(PackagedT2(23, 2000)));
  const std::string wholeReport = Convert(c).report;
  const std::string cutText = "kestrun-cli: error: Parsed Content Save Error!\n"
                              "kestrun-cli: error: Incomplete Parsed File Not Kept: ";

  // A disk that fills during the run (files may grow to 1 MiB; the signal that would end the process is
  // ignored): the cut text is dropped, which frees the room the report then takes.
  ScratchDir limited;
  c.outputDir = limited.path().string();
  const CommandResult cut = Cli(CliArguments(c), "trap '' XFSZ; ulimit -f 2048; ");
  EXPECT_EQ(std::tuple(cut.exitCode, cut.err), std::tuple(1, cutText + (limited / "full_parsed.txt") + "\n"));
  EXPECT_EQ(Listing(c.outputDir), std::vector<std::string>{"full_report.txt"});
  EXPECT_EQ(ReadFile(limited / "full_report.txt"), wholeReport);

  // A tmpfs of one page filled to its last byte: a full disk. Mounting needs root.
  ScratchDir full;
  c.outputDir = full.path().string();
  if (::geteuid() != 0 || RunCommand("mount -t tmpfs -o size=4k tmpfs " + Quote(c.outputDir)).exitCode != 0)
    GTEST_SKIP() << "a full disk needs root to mount a small tmpfs";
  const std::shared_ptr<void> unmount(nullptr, [&c](void*) { RunCommand("umount " + Quote(c.outputDir)); });
  RunCommand("dd if=/dev/zero bs=4096 count=16 of=" + Quote(full / "filler"));
  for (const int threads : {1, 2}) {  // the worker alone, and formatters whose text a helper writes
    TdcFileParser parser;
    parser.textThreads = threads;
    const Outputs o = Convert(parser, c);
    EXPECT_EQ(std::tuple(o.status, o.message), std::tuple(7, "Parsed Content Save Error!")) << threads;
    EXPECT_EQ(Listing(c.outputDir), std::vector<std::string>{"filler"});
  }
  const CommandResult both = Cli(CliArguments(c));
  EXPECT_EQ(std::tuple(both.exitCode, both.err), std::tuple(1, cutText + c.outputDir + "/full_parsed.txt\n" +
                                                                "kestrun-cli: error: Could Not Write Output File: " +
                                                                c.outputDir + "/full_report.txt\n"));
  EXPECT_EQ(Listing(c.outputDir), std::vector<std::string>{"filler"});
}

TEST(OutputNames, LinksAreReplacedNotFollowedInputsAreNeverOutputsAndConcurrentRunsLeaveOneWholeResult) {
  ScratchDir dir;
  const std::vector<std::uint8_t> data = BigEndian(PackagedT2(3, 10));
  WriteFile(dir / "b_1.dat", data);
  WriteFile(dir / "b_2.dat", data);
  WriteFile(dir / "victim", std::string("keep me"));
  const std::string input(data.begin(), data.end()), untouched = input + input + "keep me";
  const Conversion c(dir / "b_1.dat");
  const Outputs clean = Convert(c);
  ASSERT_EQ(clean.status, 0);
  // An output name, the file it links to, whether symbolically, whether the run refuses it as an input.
  const std::tuple<const char*, const char*, bool, bool> cases[] = {{"b_1_parsed.txt", "b_1.dat", true, true},
                                                                    {"b_1_report.txt", "b_2.dat", false, true},
                                                                    {"b_1_parsed.txt", "victim", true, false},
                                                                    {"b_1_report.txt", "victim", false, false}};
  for (const auto& [name, target, symbolic, refused] : cases) {
    SCOPED_TRACE(std::string(name) + " -> " + target);
    for (const char* output : {"b_1_parsed.txt", "b_1_report.txt"}) std::filesystem::remove(dir / output);
    if (symbolic) std::filesystem::create_symlink(dir / target, dir / name);
    if (!symbolic) std::filesystem::create_hard_link(dir / target, dir / name);
    EXPECT_EQ(CliQuiet(c), refused ? "exit 1: kestrun-cli: error: Output File Is An Input File: " + (dir / name) + "\n"
                                   : "exit 0: ");
    EXPECT_EQ(ReadFile(dir / "b_1.dat") + ReadFile(dir / "b_2.dat") + ReadFile(dir / "victim"), untouched);
    const std::string written = refused ? "" : ReadFile(dir / "b_1_parsed.txt") + ReadFile(dir / "b_1_report.txt");
    EXPECT_EQ(written, refused ? "" : clean.parsed + clean.report);
  }

  // Concurrent runs of the same outputs leave one whole result.
  ScratchDir other, out;
  const std::string a = dir / "x_1.dat", b = other / "x_1.dat";
  WriteFile(a, BigEndian(PackagedT2(400, 1000)));
  WriteFile(b, BigEndian(PackagedT2(300, 1200)));
  const std::string run =
      Quote(KESTRUN_CLI) + " -q -t T2 -d QZ48 -r 16 --report -o " + Quote(out.path().string()) + " ";
  const auto result = [&out] { return ReadFile(out / "x_1_parsed.txt") + ReadFile(out / "x_1_report.txt"); };
  EXPECT_EQ(RunCommand(run + Quote(a)).exitCode, 0);
  const std::string fromA = result();
  EXPECT_EQ(RunCommand(run + Quote(b)).exitCode, 0);
  const std::string fromB = result();
  for (int round = 0; round < 3; ++round) {
    const CommandResult r =
        RunCommand(run + Quote(a) + " & first=$!; " + run + Quote(b) + " & second=$!; wait $first && wait $second");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(result() == fromA || result() == fromB) << "round " << round;
    EXPECT_EQ(Listing(out.path().string()), (std::vector<std::string>{"x_1_parsed.txt", "x_1_report.txt"}));
  }
}

TEST(StandardOutput, AReaderThatWentAwayDoesNotEndTheConversion) {
  ScratchDir dir, piped;
  // Package serial overflow words, each of which puts a diagnostic line on standard output.
  std::vector<std::uint32_t> words{0xEB90B712};
  for (std::uint32_t p = 0; p < 500; ++p) words.insert(words.end(), {0xC0000400u | p, 0xD8000000u, 7, 0xC8000000u});
  WriteFile(dir / "a.dat", BigEndian(words));
  WriteFile(piped / "a.dat", BigEndian(words));
  testing::internal::CaptureStdout();
  const Outputs expected = Convert(Conversion(dir / "a.dat"));
  EXPECT_EQ(testing::internal::GetCapturedStdout().size(), 500 * std::string("Package Serial Overflow\n").size());
  ASSERT_EQ(expected.status, 0);

  // Standard output on a pipe nobody reads any more, with SIGPIPE at its default: the program must ignore it.
  int pipeEnds[2];
  ASSERT_EQ(::pipe(pipeEnds), 0);
  ::close(pipeEnds[0]);
  const auto previous = std::signal(SIGPIPE, SIG_DFL);
  const CommandResult r = RunCommand("(" + Quote(KESTRUN_CLI) + " -q " + CliArguments(Conversion(piped / "a.dat")) +
                                     " >&" + std::to_string(pipeEnds[1]) + ")");
  std::signal(SIGPIPE, previous);
  ::close(pipeEnds[1]);
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(ReadFile(piped / "a_parsed.txt") + ReadFile(piped / "a_report.txt"), expected.parsed + expected.report);
}

constexpr std::uint32_t kReadOnly = IN_OPEN | IN_ACCESS | IN_CLOSE_NOWRITE | IN_ISDIR;

// Watched through inotify, runs of every decoder cause no file system event (listed as "dir/name mask") but reads
// outside the sentinel directory and writes of their outputs (or of the partial names they are written under first).
TEST(Security, RunsWriteTheirTwoOutputsOnlyReadTheirInputsAndFollowNoPathInTheData) {
  ScratchDir root;
  const std::string in = root / "in", out = root / "out", sentinel = root / "sentinel";
  for (const std::string& dir : {in, out, sentinel + "/sub"}) std::filesystem::create_directories(dir);
  WriteFile(sentinel + "/target.dat", BigEndian(PackagedT2(1, 5)));
  // Paths as the bytes of the data, between words of every layout.
  std::string paths;
  for (const std::string& p : {sentinel + "/target.dat", sentinel + "/sub/made_parsed.txt", std::string("../sentinel"),
                               "file://" + sentinel, sentinel + "/"})
    paths += p + std::string(4 - p.size() % 4, '\0');
  std::string data;
  // T1 frames: head word, counts, tail word.
  const std::vector<std::uint32_t> t1 = {0xEB90BA00u, 3, 1, 4, 0xAAEEEEDD, 0xEB90BA10u, 1, 5, 9, 0xAAEEEEDD};
  for (const std::vector<std::uint32_t>& words : {QuietT2(80), PackagedT2(2, 10), t1}) {
    const std::vector<std::uint8_t> bytes = BigEndian(words);
    data += std::string(bytes.begin(), bytes.end()) + paths;
  }
  WriteSplit({in + "/r_1.dat", in + "/r_2.dat", in + "/r_3.dat"}, std::vector<std::uint8_t>(data.begin(), data.end()));
  WriteFile(in + "/notes.txt", std::string("not converted"));

  const int fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  EXPECT_GE(fd, 0);
  std::map<int, std::string> watched;
  for (const std::string& dir : {root.path().string(), in, out, sentinel, sentinel + "/sub"})
    watched[inotify_add_watch(fd, dir.c_str(), IN_ALL_EVENTS)] = dir;
  EXPECT_EQ(watched.count(-1), 0u);
  Conversion c(in + "/r_2.dat");
  c.outputDir = out;
  for (const auto& [type, device] : kKinds) {
    c.dataType = type;
    c.deviceType = device;
    TdcFileParser parser;
    EXPECT_EQ(Convert(parser, c).status, 0);
    EXPECT_EQ(parser.files.size(), 3u);
  }
  const std::string outputs[] = {out + "/r_2_parsed.txt", out + "/r_2_report.txt"};
  std::vector<std::string> events;
  alignas(inotify_event) char buffer[65536];
  ssize_t n = 0;
  while ((n = ::read(fd, buffer, sizeof buffer)) > 0) {
    for (ssize_t at = 0; at < n;) {
      const auto* e = reinterpret_cast<const inotify_event*>(buffer + at);
      at += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
      EXPECT_EQ(e->mask & IN_Q_OVERFLOW, 0u) << "events were lost";
      const std::string path = watched[e->wd] + "/" + (e->len > 0 ? e->name : "");
      const bool output = std::any_of(std::begin(outputs), std::end(outputs), [&](const std::string& o) {
        return path == o || (path.starts_with(o + ".") && path.ends_with(".partial"));
      });
      if (path.starts_with(sentinel) || ((e->mask & ~kReadOnly) != 0 && !output))
        events.push_back(path + " " + std::to_string(e->mask));
    }
  }
  EXPECT_TRUE(n < 0 && errno == EAGAIN);
  ::close(fd);
  EXPECT_EQ(events, std::vector<std::string>{});
  EXPECT_EQ(Listing(out), (std::vector<std::string>{"r_2_parsed.txt", "r_2_report.txt"}));
}
#endif  // _WIN32

}  // namespace
}  // namespace kestrun::test
