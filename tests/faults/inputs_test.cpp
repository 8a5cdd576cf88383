// Input files that are empty, short, random, huge, or that change while the run reads them.
#include <filesystem>
#include <fstream>
#include <functional>
#include <tuple>

#include "faults/FaultSupport.h"

namespace kestrun::faults {
namespace {

// Empty files, files cut inside their first word, and random bytes in two blocks, the second ending inside
// a word: for every type, the same outputs from the engine and kestrun-cli.
TEST(Inputs, EmptyShortAndRandomFilesOfEveryTypeConvertAlikeThroughTheEngineAndKestrunCli) {
  ScratchDir dir, cliDir;
  const std::vector<std::uint8_t> noise = RandomBytes(kMiB + 300'003, 42);
  WriteFile(dir / "noise.dat", noise);
  WriteFile(cliDir / "noise.dat", noise);
  for (const auto& [type, device] : kKinds) {
    SCOPED_TRACE(CliType(type) + " " + CliDevice(device));
    Conversion c(dir / "short.dat", type, device);
    WriteFile(c.input, std::string());
    const Outputs empty = Convert(c);
    EXPECT_EQ(empty.status, 0);
    EXPECT_TRUE(empty.reportExists);
    // T2 and T3 write their header even for no data; ITTR writes nothing; T1 its frame of no channels.
    if (type == 2 || type == 3) {
      EXPECT_EQ(empty.parsed.rfind("Device Type: ", 0), 0u);
    } else if (type == 1) {
      EXPECT_NE(empty.parsed.find("Window Resolution: 16ps"), std::string::npos);
    } else {
      EXPECT_EQ(empty.parsed, "");
    }
    for (std::size_t n = 1; n <= 3; ++n) {
      WriteFile(c.input, std::string("\xEB\x90\xB7", n));  // the start of a T2 head word
      const Outputs cut = Convert(c);
      EXPECT_EQ(cut.status, 0);
      EXPECT_EQ(cut.parsed + cut.report, empty.parsed + empty.report) << n << " bytes";
    }
    std::filesystem::remove(dir / "short_parsed.txt");
    const CommandResult cli = Cli("-q " + CliArguments(c));
    EXPECT_EQ(cli.exitCode, 0) << cli.err;
    EXPECT_EQ(cli.out + cli.err, "");
    EXPECT_EQ(ReadFile(dir / "short_parsed.txt"), empty.parsed);

    // Random bytes: progress per block, the same report without parsed text.
    c.input = dir / "noise.dat";
    TdcFileParser parser;
    std::vector<int> progress;
    parser.onProgress = [&](int p) { progress.push_back(p); };
    const Outputs on = Convert(parser, c);
    EXPECT_EQ(on.status, 0);
    EXPECT_EQ(progress, (std::vector<int>{77, 100}));
    c.parsed = false;
    const Outputs off = Convert(c);
    EXPECT_EQ(off.status, 0);
    EXPECT_EQ(off.report, on.report);
    EXPECT_NE(on.report, "");
    c.parsed = true;
    c.input = cliDir / "noise.dat";
    EXPECT_EQ(Cli("-q " + CliArguments(c)).exitCode, 0);
    EXPECT_EQ(ReadFile(cliDir / "noise_parsed.txt") + LfText(ReadFile(cliDir / "noise_report.txt")),
              on.parsed + on.report);
  }

  // A series whose files are all empty has no file to convert.
  WriteFile(dir / "z_1.dat", std::string());
  WriteFile(dir / "z_2.dat", std::string());
  const Conversion c(dir / "z_2.dat");
  ExpectFailure(c, 7, "No Input File Found: " + c.input);
  const Outputs none = Convert(c);
  EXPECT_TRUE(none.parsedExists);
  EXPECT_FALSE(none.reportExists);
}

TEST(Inputs, SizesOverFourGibibytesCountInProgressWithoutBeingRead) {
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

// Converts a 3 MiB packaged T2 file whose `change(path)` runs in the progress callback of its first
// block, while the next block may already be read. The run must read `least` to `most` bytes, warn that
// the file `changed` (unless null) and convert exactly the bytes it read, in the same blocks, as an
// undisturbed run over them does; returns its progress.
std::vector<int> ConvertChanging(const std::function<void(const std::string&)>& change, std::uint64_t least,
                                 std::uint64_t most, const char* changed) {
  SCOPED_TRACE("at least " + std::to_string(least) + " bytes");
  ScratchDir dir, undisturbed;
  Conversion c(dir / "live.dat");
  c.overflow = false;
  WriteFile(c.input, LiveData(3 * kMiB));
  TdcFileParser parser;
  std::vector<int> progress;
  parser.onProgress = [&](int p) {
    if (progress.empty()) change(c.input);
    progress.push_back(p);
  };
  const Outputs o = Convert(parser, c);
  const std::uint64_t bytes = parser.bytesRead;
  EXPECT_GE(bytes, least);
  EXPECT_LE(bytes, most);
  std::vector<std::string> warnings;
  if (changed) {
    warnings.push_back("Input File " + std::string(changed) + " During The Run: " + c.input +
                       " (3145728 bytes when the run began, " + std::to_string(bytes) + " bytes read)");
  }
  EXPECT_EQ(parser.warnings, warnings);
  EXPECT_EQ(progress.back(), std::min<int>(100, static_cast<int>(bytes * 100 / (3 * kMiB))));
  c.input = undisturbed / "live.dat";
  WriteFile(c.input, LiveData(bytes));
  const Outputs expected = Convert(c);
  EXPECT_EQ(o.status, 0);
  EXPECT_TRUE(o.parsed == expected.parsed) << "the parsed text is not that of the bytes read";
  EXPECT_EQ(o.report, expected.report);
  return progress;
}

// Cut short, the reads end at the new end (or at the block read ahead of the cut); cut below what was read,
// nothing more comes; removed while open, the open file is still read to its end; grown, it is read to its
// new end, past the size found at discovery, and progress never goes over 100.
TEST(Inputs, FilesThatShrinkVanishOrGrowWhileReadConvertWhatWasRead) {
  const auto cut = [](std::uintmax_t size) {
    return [size](const std::string& path) { std::filesystem::resize_file(path, size); };
  };
  ConvertChanging(cut(kMiB + kMiB / 2), kMiB + kMiB / 2, 2 * kMiB, "Shrank");
  ConvertChanging(cut(100), kMiB, 2 * kMiB, "Shrank");
  const auto remove = [](const std::string& path) { std::filesystem::remove(path); };
  EXPECT_EQ(ConvertChanging(remove, 3 * kMiB, 3 * kMiB, nullptr), (std::vector<int>{33, 66, 100, 100}));
  const auto grow = [](const std::string& path) {
    const std::vector<std::uint8_t> more = LiveData(3 * kMiB + kMiB / 2);
    std::ofstream(path, std::ios::binary | std::ios::app)
        .write(reinterpret_cast<const char*>(more.data()) + 3 * kMiB, static_cast<std::streamsize>(kMiB / 2));
  };
  ConvertChanging(grow, 3 * kMiB + kMiB / 2, 3 * kMiB + kMiB / 2, "Grew");
}

TEST(Inputs, DataThatDoNotLookLikeTheChosenTypeGiveOneWarningAndConvertAsBefore) {
  ScratchDir dir;
  WriteFile(dir / "t2.dat", BigEndian(PackagedT2(3, 100)));
  WriteFile(dir / "ff.dat", std::vector<std::uint8_t>(4096, 0xFF));
  const std::string plain = "The data do not look like T2 data of a KR77A5 or RB9531 (plain layout): ";
  const std::string broken = "the sync overflow sequence breaks at 1024 of 1024 sync overflow words";
  const std::string packaged = "their marker words are those of T2 data of a QZ48 (packaged layout)";
  const std::tuple<const char*, std::int32_t, std::int32_t, std::string> cases[] = {
      {"t2.dat", 2, 3, ""},
      {"t2.dat", 3, 3, "The data do not look like T3 data of a QZ48 (packaged layout): " + packaged},
      {"t2.dat", 2, 1, plain + packaged},
      {"ff.dat", 2, 1, plain + broken},
      {"ff.dat", 2, 3, "The data do not look like T2 data of a QZ48 (packaged layout): no package in 1024 "
                       "words; they may be of the plain layout (KR77A5 or RB9531)"},
      {"ff.dat", 4, 1, "The data do not look like ITTR_T data: no ITTR mode word in 1024 words"},
  };
  for (const auto& [file, type, device, warning] : cases) {
    SCOPED_TRACE(std::string(file) + " as " + CliType(type) + " " + CliDevice(device));
    TdcFileParser parser;
    EXPECT_EQ(Convert(parser, Conversion(dir / file, type, device)).status, 0);
    EXPECT_EQ(parser.warnings, warning.empty() ? std::vector<std::string>{} : std::vector<std::string>{warning});
  }
  const CommandResult cli = Cli("-q " + CliArguments(Conversion(dir / "ff.dat", 2, 1)));
  EXPECT_EQ(cli.err, "kestrun-cli: warning: " + plain + broken + "\n");
}

}  // namespace
}  // namespace kestrun::faults
