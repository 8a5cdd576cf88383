// Stop requests at every point of a run, and parsers destroyed while their run goes on: the outputs
// are always those of the blocks converted up to the stop, whole and in order.
#include <atomic>
#include <filesystem>
#include <map>
#include <memory>
#include <thread>

#include "faults/FaultSupport.h"

namespace kestrun::faults {
namespace {

// A series of two files of 1 MiB + 64 KiB each, cut inside a package: blocks of 1 MiB, 64 KiB,
// 1 MiB, 64 KiB. `Write(dir, bytes)` writes the series as far as its first `bytes` go.
class TwoFileSeries {
 public:
  static constexpr std::size_t kFileBytes = kMiB + 65'536;

  TwoFileSeries() : stream_(BigEndian(QuietT2(550))) { stream_.resize(2 * kFileBytes); }

  void Write(const std::string& dir, std::size_t bytes) const {
    for (int f = 0; f < 2; ++f) {
      const std::size_t start = f * kFileBytes;
      const std::size_t length = bytes > start ? std::min(bytes - start, kFileBytes) : 0;
      WriteFile(dir + "/s_" + std::to_string(f + 1) + ".dat",
                std::vector<std::uint8_t>(stream_.begin() + start, stream_.begin() + start + length));
    }
  }
  static std::size_t BytesOfBlocks(int blocks) {
    static constexpr std::size_t kEnds[] = {0, kMiB, kFileBytes, kFileBytes + kMiB, 2 * kFileBytes};
    return kEnds[blocks];
  }

 private:
  std::vector<std::uint8_t> stream_;
};

Conversion SeriesRun(const ScratchDir& dir) {
  Conversion c;
  c.input = dir / "s_1.dat";
  c.overflow = false;
  return c;
}

// The outputs of an undisturbed run over the first b blocks, for b = 0..4.
std::map<int, Outputs> ExpectedByBlocks(const TwoFileSeries& series) {
  std::map<int, Outputs> expected;
  // No block at all: no header either, and the report of a run that saw nothing.
  expected[0].report = DecoderState().BuildReportText(2);
  for (int b = 1; b <= 4; ++b) {
    ScratchDir dir;
    series.Write(dir.path().string(), TwoFileSeries::BytesOfBlocks(b));
    expected[b] = Convert(SeriesRun(dir));
    EXPECT_EQ(expected[b].status, 0);
  }
  return expected;
}

// Which of the expected outputs `o` is, or -1.
int BlocksOf(const Outputs& o, const std::map<int, Outputs>& expected) {
  for (const auto& [blocks, e] : expected) {
    if (o.parsed == e.parsed && o.report == e.report) return blocks;
  }
  return -1;
}

TEST(Stop, AtEveryCallbackTheRunEndsAfterItsCurrentBlock) {
  const TwoFileSeries series;
  const std::map<int, Outputs> expected = ExpectedByBlocks(series);
  ScratchDir dir;
  series.Write(dir.path().string(), 2 * TwoFileSeries::kFileBytes);
  const Conversion c = SeriesRun(dir);

  // The callbacks of an undisturbed run: the first file announced before the loop, then every file
  // as it is opened, and progress after every block.
  std::vector<std::string> calls;
  {
    TdcFileParser parser;
    parser.onMessage = [&](std::string) { calls.push_back("message"); };
    parser.onProgress = [&](int p) { calls.push_back(std::to_string(p)); };
    ASSERT_EQ(Convert(parser, c).status, 0);
  }
  ASSERT_EQ(calls, (std::vector<std::string>{"message", "message", "47", "50", "message", "97", "100"}));
  // Blocks converted when the stop comes at each call: the announcement before the loop stops it
  // before any block, an opened file's announcement after that file's first block.
  const std::vector<int> blocksAtStop = {0, 1, 1, 2, 3, 3, 4};

  for (std::size_t at = 0; at < calls.size(); ++at) {
    SCOPED_TRACE("stop at call " + std::to_string(at));
    TdcFileParser parser;
    std::size_t call = 0;
    std::vector<int> progress;
    auto stopAt = [&] {
      if (call++ == at) parser.running = false;
    };
    parser.onMessage = [&](std::string) { stopAt(); };
    parser.onProgress = [&](int p) {
      progress.push_back(p);
      stopAt();
    };
    const Outputs o = Convert(parser, c);
    EXPECT_EQ(o.status, 0);
    EXPECT_EQ(BlocksOf(o, expected), blocksAtStop[at]);
    EXPECT_EQ(progress.size(), static_cast<std::size_t>(blocksAtStop[at]));
    EXPECT_EQ(parser.bytesRead, TwoFileSeries::BytesOfBlocks(blocksAtStop[at]));
    EXPECT_EQ(parser.dataType, -1);
  }
}

TEST(Stop, DestroyingAParserDuringItsRunStopsItAndKeepsWhatItWrote) {
  const TwoFileSeries series;
  const std::map<int, Outputs> expected = ExpectedByBlocks(series);
  ScratchDir dir;
  series.Write(dir.path().string(), 2 * TwoFileSeries::kFileBytes);
  const Conversion c = SeriesRun(dir);

  // Destroyed while the worker is inside its first progress callback, which returns once the
  // destructor has asked for the stop: exactly that block is converted.
  {
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
    TdcFileParser reader;
    Configure(reader, c);
    EXPECT_EQ(BlocksOf(Collect(reader), expected), 1);
  }
  // Destroyed at once, wherever the worker is: the run ends cleanly with any number of blocks done.
  for (int attempt = 0; attempt < 5; ++attempt) {
    std::atomic<int> finished{0};
    {
      TdcFileParser parser;
      Configure(parser, c);
      parser.onFinished = [&] { ++finished; };
      parser.Start();
    }
    EXPECT_EQ(finished, 1);
    TdcFileParser reader;
    Configure(reader, c);
    EXPECT_NE(BlocksOf(Collect(reader), expected), -1) << "attempt " << attempt;
  }
}

}  // namespace
}  // namespace kestrun::faults
