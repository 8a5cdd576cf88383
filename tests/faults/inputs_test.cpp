// Input files that are empty, short, random, huge, or that change while the run reads them; stop requests
// at every point of a run and parsers destroyed during it leave the outputs of the blocks converted so far.
#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <thread>
#include <tuple>

#include "faults/FaultSupport.h"

namespace kestrun::faults {
namespace {

// Empty files, files cut in their first word, random bytes in two blocks (the second ending inside a word).
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
    EXPECT_EQ(std::tuple(empty.status, empty.reportExists), std::tuple(0, true));
    // T1, T2 and T3 write their header even for no data, T1 its frame of no channels too; ITTR nothing.
    EXPECT_EQ(empty.parsed.starts_with("Device Type: "), type <= 3);
    EXPECT_EQ(empty.parsed.find("Window Resolution: 16ps") != std::string::npos, type == 1);
    EXPECT_EQ(empty.parsed.empty(), type >= 4);
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
    EXPECT_EQ(std::tuple(on.status, progress), std::tuple(0, std::vector<int>{77, 100}));
    EXPECT_NE(on.report, "");
    c.parsed = false;
    const Outputs off = Convert(c);
    EXPECT_EQ(std::tuple(off.status, off.report), std::tuple(0, on.report));
    c.parsed = true;
    c.input = cliDir / "noise.dat";
    EXPECT_EQ(CliQuiet(c), "exit 0: kestrun-cli: warning: " + parser.warnings.at(0) + "\n");
    EXPECT_EQ(ReadFile(cliDir / "noise_parsed.txt") + LfText(ReadFile(cliDir / "noise_report.txt")),
              on.parsed + on.report);
  }

  // A series whose files are all empty has no file to convert.
  WriteFile(dir / "z_1.dat", std::string());
  WriteFile(dir / "z_2.dat", std::string());
  const Conversion c(dir / "z_2.dat");
  ExpectFailure(c, 7, "No Input File Found: " + c.input);
  const Outputs none = Convert(c);
  EXPECT_EQ(std::tuple(none.parsedExists, none.reportExists), std::tuple(true, false));
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
  // 1 MiB of 4 GiB is 0 per cent; a size cut to 32 bits (1 MiB + 3) would have given 99.
  EXPECT_EQ(std::tuple(o.status, parser.totalBytes, parser.bytesRead, progress),
            std::tuple(0, size, std::uint64_t{kMiB}, std::vector<int>{0}));
  EXPECT_NE(o.report.find("Data Type Head Number:0\n"), std::string::npos) << o.report;
}

// The first `bytes` (up to 4 MiB) of a quiet packaged T2 stream.
std::string Stream(std::size_t bytes) {
  const std::vector<std::uint8_t> data = BigEndian(QuietT2(1025));
  return std::string(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(bytes));
}

// Converts a 3 MiB file that `change(path)` changes in the first block's progress callback (the next block
// may be read already): the run reads `least` to `most` bytes, warns that the file `changed` (unless null)
// and converts exactly those bytes, as an undisturbed run over them does; returns its progress.
std::vector<int> ConvertChanging(const std::function<void(const std::string&)>& change, std::uint64_t least,
                                 std::uint64_t most, const char* changed) {
  SCOPED_TRACE("at least " + std::to_string(least) + " bytes");
  ScratchDir dir, undisturbed;
  Conversion c(dir / "live.dat");
  c.overflow = false;
  WriteFile(c.input, Stream(3 * kMiB));
  TdcFileParser parser;
  std::vector<int> progress;
  parser.onProgress = [&](int p) {
    if (progress.empty()) change(c.input);
    progress.push_back(p);
  };
  const Outputs o = Convert(parser, c);
  const std::uint64_t bytes = parser.bytesRead;
  EXPECT_TRUE(bytes >= least && bytes <= most) << bytes << " bytes read";
  const std::string warning = "Input File " + std::string(changed ? changed : "") + " During The Run: " + c.input +
                              " (3145728 bytes when the run began, " + std::to_string(bytes) + " bytes read)";
  EXPECT_EQ(parser.warnings, changed ? std::vector{warning} : std::vector<std::string>{});
  EXPECT_EQ(progress.back(), std::min<int>(100, static_cast<int>(bytes * 100 / (3 * kMiB))));
  c.input = undisturbed / "live.dat";
  WriteFile(c.input, Stream(bytes));
  EXPECT_TRUE(Whole(o) == Whole(Convert(c))) << "not the outputs of the bytes read; report:\n" << o.report;
  return progress;
}

// Cut short, reads end at the new end (or at the block read ahead of the cut) or at once; removed while open,
// the file is still read to its end; grown, it is read past its size at discovery, progress at most 100.
TEST(Inputs, FilesThatShrinkVanishOrGrowWhileReadConvertWhatWasRead) {
  const auto cut = [](std::uintmax_t size) {
    return [size](const std::string& path) { std::filesystem::resize_file(path, size); };
  };
  ConvertChanging(cut(kMiB + kMiB / 2), kMiB + kMiB / 2, 2 * kMiB, "Shrank");
  ConvertChanging(cut(100), kMiB, 2 * kMiB, "Shrank");
  const auto remove = [](const std::string& path) { std::filesystem::remove(path); };
  EXPECT_EQ(ConvertChanging(remove, 3 * kMiB, 3 * kMiB, nullptr), (std::vector<int>{33, 66, 100, 100}));
  const auto grow = [](const std::string& path) {
    const std::string more = Stream(3 * kMiB + kMiB / 2);
    std::ofstream(path, std::ios::binary | std::ios::app).write(more.data() + 3 * kMiB, kMiB / 2);
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
    EXPECT_EQ(parser.warnings, warning.empty() ? std::vector<std::string>{} : std::vector{warning});
  }
  EXPECT_EQ(CliQuiet(Conversion(dir / "ff.dat", 2, 1)), "exit 0: kestrun-cli: warning: " + plain + broken + "\n");
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
  for (int b = 1; b <= 4; ++b) {
    ScratchDir dir;
    expected.push_back(Whole(Convert(WriteSeries(dir, kBlockEnds[b]))));
  }
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
    TdcFileParser* const running = parser.get();
    Configure(*parser, c);
    if (inCallback) {
      parser->onProgress = [&](int) {
        inBlockLoop = true;
        while (running->running) std::this_thread::yield();
      };
    }
    parser->onFinished = [&] { ++finished; };
    parser->Start();
    while (inCallback && !inBlockLoop) std::this_thread::yield();
    parser.reset();
    EXPECT_EQ(finished, 1);
    const int blocks = BlocksLeft(c, expected);
    EXPECT_TRUE(inCallback ? blocks == 1 : blocks != -1) << "attempt " << attempt << ": " << blocks << " blocks";
  }
}

}  // namespace
}  // namespace kestrun::faults
