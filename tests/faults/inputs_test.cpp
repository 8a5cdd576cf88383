// Input files that are empty, short, random, huge, or that change while the run reads them.
#include <filesystem>
#include <fstream>
#include <functional>

#include "faults/FaultSupport.h"

namespace kestrun::faults {
namespace {

struct Kind {
  std::int32_t dataType;
  std::int32_t deviceType;
};
// Every decoder: T1, packaged and plain T2 and T3, both ITTR types.
const Kind kKinds[] = {{1, 1}, {2, 3}, {2, 1}, {3, 3}, {3, 64}, {4, 1}, {5, 64}};

std::string Describe(const Kind& k) { return CliType(k.dataType) + " " + CliDevice(k.deviceType); }

TEST(Inputs, EmptyAndOneToThreeByteFilesConvertLikeNoData) {
  ScratchDir dir;
  const std::vector<std::uint8_t> head = {0xEB, 0x90, 0xB7};  // the start of a T2 head word, cut short
  for (const Kind& k : kKinds) {
    SCOPED_TRACE(Describe(k));
    Conversion c;
    c.input = dir / "short.dat";
    c.dataType = k.dataType;
    c.deviceType = k.deviceType;
    WriteFile(c.input, std::vector<std::uint8_t>{});
    const Outputs empty = Convert(c);
    EXPECT_EQ(empty.status, 0);
    EXPECT_TRUE(empty.reportExists);
    // T2 and T3 write their header even for no data; ITTR writes nothing; T1 its frame of no channels.
    if (k.dataType == 2 || k.dataType == 3) {
      EXPECT_EQ(empty.parsed.rfind("Device Type: ", 0), 0u);
    } else if (k.dataType == 1) {
      EXPECT_NE(empty.parsed.find("Window Resolution: 16ps"), std::string::npos);
    } else {
      EXPECT_EQ(empty.parsed, "");
    }
    for (std::size_t n = 1; n <= 3; ++n) {
      WriteFile(c.input, std::vector<std::uint8_t>(head.begin(), head.begin() + static_cast<std::ptrdiff_t>(n)));
      const Outputs cut = Convert(c);
      EXPECT_EQ(cut.status, 0);
      EXPECT_EQ(cut.parsed, empty.parsed) << n << " bytes";
      EXPECT_EQ(cut.report, empty.report) << n << " bytes";
    }
    const CommandResult cli = Cli("-q " + CliArguments(c));
    EXPECT_EQ(cli.exitCode, 0) << cli.err;
    EXPECT_EQ(cli.out + cli.err, "");
    EXPECT_EQ(ReadFile(dir / "short_parsed.txt"), empty.parsed);
  }

  // A series whose files are all empty has no file to convert.
  WriteFile(dir / "z_1.dat", std::string());
  WriteFile(dir / "z_2.dat", std::string());
  Conversion c;
  c.input = dir / "z_2.dat";
  const Outputs none = Convert(c);
  EXPECT_EQ(none.status, 7);
  EXPECT_EQ(none.message, "No Input File Found: " + (dir / "z_2.dat"));
  EXPECT_TRUE(none.parsedExists);
  EXPECT_FALSE(none.reportExists);
  const CommandResult cli = Cli("-q " + CliArguments(c));
  EXPECT_EQ(cli.exitCode, 1);
  EXPECT_EQ(cli.err, "kestrun-cli: error: No Input File Found: " + (dir / "z_2.dat") + "\n");
}

TEST(Inputs, RandomBytesOfEveryTypeConvertAndReportAlikeWithParsedTextOnOrOff) {
  ScratchDir dir;
  ScratchDir cliDir;
  // Two blocks, the second ending inside a word.
  const std::vector<std::uint8_t> noise = RandomBytes(kMiB + 300'003, 42);
  WriteFile(dir / "noise.dat", noise);
  WriteFile(cliDir / "noise.dat", noise);
  for (const Kind& k : kKinds) {
    SCOPED_TRACE(Describe(k));
    Conversion c;
    c.input = dir / "noise.dat";
    c.dataType = k.dataType;
    c.deviceType = k.deviceType;
    TdcFileParser parser;
    std::vector<int> progress;
    parser.onProgress = [&](int p) { progress.push_back(p); };
    const Outputs on = Convert(parser, c);
    EXPECT_EQ(on.status, 0);
    EXPECT_EQ(progress, (std::vector<int>{77, 100}));
    EXPECT_FALSE(on.report.empty());
    c.parsed = false;
    const Outputs off = Convert(c);
    EXPECT_EQ(off.status, 0);
    EXPECT_EQ(off.report, on.report);

    c.parsed = true;
    c.input = cliDir / "noise.dat";
    const CommandResult cli = Cli("-q " + CliArguments(c));
    EXPECT_EQ(cli.exitCode, 0) << cli.err;
    EXPECT_EQ(ReadFile(cliDir / "noise_parsed.txt"), on.parsed);
    EXPECT_EQ(LfText(ReadFile(cliDir / "noise_report.txt")), on.report);
  }
}

TEST(Inputs, SizesOverFourGibibytesCountInProgressWithoutBeingRead) {
  ScratchDir dir;
  const std::uint64_t size = (std::uint64_t{4} << 30) + kMiB + 3;
  {
    std::ofstream create(dir / "big.dat", std::ios::binary);
  }
  std::filesystem::resize_file(dir / "big.dat", size);  // sparse: no block of it is stored
  TdcFileParser parser;
  std::vector<int> progress;
  parser.onProgress = [&](int p) {
    progress.push_back(p);
    parser.running = false;
  };
  Conversion c;
  c.input = dir / "big.dat";
  const Outputs o = Convert(parser, c);
  EXPECT_EQ(o.status, 0);
  EXPECT_EQ(parser.totalBytes, size);
  EXPECT_EQ(parser.bytesRead, kMiB);
  // 1 MiB of 4 GiB is 0 per cent; a size cut to 32 bits (1 MiB + 3) would have given 99.
  EXPECT_EQ(progress, std::vector<int>{0});
  EXPECT_NE(o.report.find("Data Type Head Number:0\n"), std::string::npos) << o.report;
}

// The first `bytes` (up to 4 MiB) of a packaged T2 stream.
std::vector<std::uint8_t> LiveData(std::size_t bytes) {
  std::vector<std::uint8_t> data = BigEndian(QuietT2(1025));
  data.resize(bytes);
  return data;
}

// A 3 MiB packaged T2 file; `change(path)` runs in the progress callback of its first block, while
// the next block may already be read.
struct ChangedRun {
  Outputs outputs;
  std::uint64_t bytesRead = 0;
  std::vector<int> progress;
  std::vector<std::string> warnings;
};
ChangedRun ConvertChanging(const std::function<void(const std::string&)>& change) {
  ScratchDir dir;
  const std::string path = dir / "live.dat";
  WriteFile(path, LiveData(3 * kMiB));
  TdcFileParser parser;
  ChangedRun run;
  parser.onProgress = [&](int p) {
    if (run.progress.empty()) change(path);
    run.progress.push_back(p);
  };
  Conversion c;
  c.input = path;
  c.overflow = false;
  run.outputs = Convert(parser, c);
  run.bytesRead = parser.bytesRead;
  run.warnings = parser.warnings;
  return run;
}

// An undisturbed run over the first `bytes` of the same file: the run over the changing file must
// have converted exactly the bytes it read, in the same blocks.
void ExpectConvertedAsPrefix(const ChangedRun& run) {
  ScratchDir dir;
  WriteFile(dir / "live.dat", LiveData(run.bytesRead));
  Conversion c;
  c.input = dir / "live.dat";
  c.overflow = false;
  const Outputs expected = Convert(c);
  EXPECT_EQ(run.outputs.status, 0);
  EXPECT_TRUE(run.outputs.parsed == expected.parsed) << "the parsed text is not that of the bytes read";
  EXPECT_EQ(run.outputs.report, expected.report);
  EXPECT_EQ(run.progress.back(), std::min<int>(100, static_cast<int>(run.bytesRead * 100 / (3 * kMiB))));
}

TEST(Inputs, FilesThatShrinkVanishOrGrowWhileReadConvertWhatWasRead) {
  // Cut short: the reads end at the new end (or at the block read ahead of the cut).
  const ChangedRun shrunk = ConvertChanging([](const std::string& path) {
    std::filesystem::resize_file(path, kMiB + kMiB / 2);
  });
  EXPECT_GE(shrunk.bytesRead, kMiB + kMiB / 2);
  EXPECT_LE(shrunk.bytesRead, 2 * kMiB);
  ExpectConvertedAsPrefix(shrunk);
  ASSERT_EQ(shrunk.warnings.size(), 1u);
  EXPECT_EQ(shrunk.warnings[0].substr(shrunk.warnings[0].find(" (")),
            " (3145728 bytes when the run began, " + std::to_string(shrunk.bytesRead) + " bytes read)");
  // Cut below what was already read: nothing more comes.
  const ChangedRun emptied = ConvertChanging([](const std::string& path) { std::filesystem::resize_file(path, 100); });
  EXPECT_GE(emptied.bytesRead, kMiB);
  EXPECT_LE(emptied.bytesRead, 2 * kMiB);
  ExpectConvertedAsPrefix(emptied);
  // Removed while open: the open file is still read to its end.
  const ChangedRun removed = ConvertChanging([](const std::string& path) { std::filesystem::remove(path); });
  EXPECT_EQ(removed.bytesRead, 3 * kMiB);
  EXPECT_EQ(removed.progress, (std::vector<int>{33, 66, 100, 100}));
  ExpectConvertedAsPrefix(removed);
  EXPECT_EQ(removed.warnings, std::vector<std::string>{});
  // Grown: read to its new end, past the size found at discovery.
  const ChangedRun grown = ConvertChanging([](const std::string& path) {
    const std::vector<std::uint8_t> more = LiveData(3 * kMiB + kMiB / 2);
    std::ofstream(path, std::ios::binary | std::ios::app)
        .write(reinterpret_cast<const char*>(more.data()) + 3 * kMiB, static_cast<std::streamsize>(kMiB / 2));
  });
  EXPECT_EQ(grown.bytesRead, 3 * kMiB + kMiB / 2);
  ExpectConvertedAsPrefix(grown);
  EXPECT_EQ(grown.progress.back(), 100);  // never more
  ASSERT_EQ(grown.warnings.size(), 1u);
  EXPECT_EQ(grown.warnings[0].rfind("Input File Grew During The Run: ", 0), 0u) << grown.warnings[0];
}

TEST(Inputs, DataThatDoNotLookLikeTheChosenTypeGiveOneWarningAndConvertAsBefore) {
  ScratchDir dir;
  WriteFile(dir / "t2.dat", BigEndian(PackagedT2(3, 100)));
  WriteFile(dir / "ff.dat", std::vector<std::uint8_t>(4096, 0xFF));
  const std::string plain = "The data do not look like T2 data of a KR77A5 or RB9531 (plain layout): ";
  struct Case {
    const char* file;
    std::int32_t type;
    std::int32_t device;
    std::string warning;
  };
  for (const Case& k : {
           Case{"t2.dat", 2, 3, ""},
           Case{"t2.dat", 3, 3, "The data do not look like T3 data of a QZ48 (packaged layout): their marker words are "
                                "those of T2 data of a QZ48 (packaged layout)"},
           Case{"t2.dat", 2, 1, plain + "their marker words are those of T2 data of a QZ48 (packaged layout)"},
           Case{"ff.dat", 2, 1, plain + "the sync overflow sequence breaks at 1024 of 1024 sync overflow words"},
           Case{"ff.dat", 2, 3, "The data do not look like T2 data of a QZ48 (packaged layout): no package in 1024 "
                                "words; they may be of the plain layout (KR77A5 or RB9531)"},
           Case{"ff.dat", 4, 1, "The data do not look like ITTR_T data: no ITTR mode word in 1024 words"},
       }) {
    SCOPED_TRACE(std::string(k.file) + " as " + CliType(k.type) + " " + CliDevice(k.device));
    Conversion c;
    c.input = dir / k.file;
    c.dataType = k.type;
    c.deviceType = k.device;
    TdcFileParser parser;
    EXPECT_EQ(Convert(parser, c).status, 0);
    EXPECT_EQ(parser.warnings, k.warning.empty() ? std::vector<std::string>{} : std::vector<std::string>{k.warning});
  }
  Conversion c;
  c.input = dir / "ff.dat";
  c.deviceType = 1;
  EXPECT_EQ(Cli("-q " + CliArguments(c)).err,
            "kestrun-cli: warning: " + plain + "the sync overflow sequence breaks at 1024 of 1024 sync overflow words\n");
}

#ifndef _WIN32  // POSIX only: named pipes and devices
TEST(Inputs, OnlyRegularFilesAreOpenedSoNoPipeOrDeviceCanHoldTheRun) {
  ScratchDir dir;
  std::filesystem::create_directory(dir / "folder.dat");
  ASSERT_EQ(RunCommand("mkfifo " + Quote(dir / "pipe.dat")).exitCode, 0);  // no writer: opening it would block
  std::filesystem::create_symlink("/dev/zero", dir / "zero.dat");           // endless
  for (const auto& [name, message] : {std::pair<std::string, std::string>{"folder.dat", "Could Not Open Input File: "},
                                      {"pipe.dat", "Input File Is Not A Regular File: "},
                                      {"zero.dat", "Input File Is Not A Regular File: "}}) {
    Conversion c;
    c.input = dir / name;
    const Outputs o = Convert(c);
    EXPECT_EQ(o.status, 3);
    EXPECT_EQ(o.message, message + c.input);
    const CommandResult cli = Cli("-q " + CliArguments(c), "timeout 10 ");
    EXPECT_EQ(cli.exitCode, 1);
    EXPECT_EQ(cli.err, "kestrun-cli: error: " + message + c.input + "\n");
  }
}
#endif  // _WIN32

}  // namespace
}  // namespace kestrun::faults
