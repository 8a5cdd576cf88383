// Stop requests at every point of a run, and parsers destroyed while their run goes on: the outputs
// are always those of the blocks converted up to the stop, whole and in order.
#include <algorithm>
#include <atomic>
#include <memory>
#include <thread>

#include "faults/FaultSupport.h"

namespace kestrun::faults {
namespace {

// A series of two files of 1 MiB + 64 KiB each, cut inside a package: blocks of 1 MiB, 64 KiB, 1 MiB, 64 KiB.
constexpr std::size_t kFileBytes = kMiB + 65'536;
constexpr std::size_t kBlockEnds[] = {0, kMiB, kFileBytes, kFileBytes + kMiB, 2 * kFileBytes};

// Writes the series into `dir` as far as its first `bytes` go; returns its conversion.
Conversion WriteSeries(const ScratchDir& dir, std::size_t bytes) {
  static const std::vector<std::uint8_t> stream = BigEndian(QuietT2(550));
  for (std::size_t f = 0; f < 2; ++f) {
    const auto start = static_cast<std::ptrdiff_t>(std::min(bytes, f * kFileBytes));
    const auto end = static_cast<std::ptrdiff_t>(std::min(bytes, (f + 1) * kFileBytes));
    WriteFile(dir / ("s_" + std::to_string(f + 1) + ".dat"),
              std::vector<std::uint8_t>(stream.begin() + start, stream.begin() + end));
  }
  Conversion c(dir / "s_1.dat");
  c.overflow = false;
  return c;
}

// The parsed text and report of an undisturbed run over the first b blocks, for b = 0..4. No block at all:
// no header either, and the report of a run that saw nothing.
std::vector<std::string> ExpectedByBlocks() {
  std::vector<std::string> expected = {DecoderState().BuildReportText(2)};
  for (int b = 1; b <= 4; ++b) {
    ScratchDir dir;
    const Outputs o = Convert(WriteSeries(dir, kBlockEnds[b]));
    EXPECT_EQ(o.status, 0);
    expected.push_back(o.parsed + o.report);
  }
  return expected;
}

// How many blocks the outputs that `c` left on disk are of, or -1.
int BlocksLeft(const Conversion& c, const std::vector<std::string>& expected) {
  TdcFileParser reader;
  Configure(reader, c);
  const Outputs o = Collect(reader);
  const auto found = std::find(expected.begin(), expected.end(), o.parsed + o.report);
  return found == expected.end() ? -1 : static_cast<int>(found - expected.begin());
}

TEST(Stop, AtEveryCallbackOrByDestroyingTheParserTheRunEndsAfterItsCurrentBlock) {
  const std::vector<std::string> expected = ExpectedByBlocks();
  ScratchDir dir;
  const Conversion c = WriteSeries(dir, kBlockEnds[4]);
  // A run calls back: message (the first file, before the loop), message (it is opened), progress 47, 50,
  // message (the second file), progress 97, 100. Blocks converted when the stop comes at each call: the
  // announcement before the loop stops it before any block, an opened file's after that file's first block.
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
    EXPECT_EQ(BlocksLeft(c, expected), blocksAtStop[at]);
    EXPECT_EQ(parser.bytesRead, kBlockEnds[blocksAtStop[at]]);
    EXPECT_EQ(parser.dataType, -1);
  }

  // Destroyed while the worker is inside its first progress callback, which returns once the
  // destructor has asked for the stop: exactly that block is converted.
  std::atomic<int> finished{0};
  std::atomic<bool> inBlockLoop{false};
  auto parser = std::make_unique<TdcFileParser>();
  TdcFileParser* const running = parser.get();
  Configure(*parser, c);
  parser->onProgress = [&](int) {
    inBlockLoop = true;
    while (running->running) std::this_thread::yield();
  };
  parser->onFinished = [&] { ++finished; };
  parser->Start();
  while (!inBlockLoop) std::this_thread::yield();
  parser.reset();
  EXPECT_EQ(finished, 1);
  EXPECT_EQ(BlocksLeft(c, expected), 1);

  // Destroyed at once, wherever the worker is: the run ends cleanly with any number of blocks done.
  for (int attempt = 0; attempt < 5; ++attempt) {
    finished = 0;
    {
      TdcFileParser quick;
      Configure(quick, c);
      quick.onFinished = [&] { ++finished; };
      quick.Start();
    }
    EXPECT_EQ(finished, 1);
    EXPECT_NE(BlocksLeft(c, expected), -1) << "attempt " << attempt;
  }
}

}  // namespace
}  // namespace kestrun::faults
