// The records of a run, beside its parsed text. That they hold what the text shows, for every data type
// across files, blocks and chunks, the HDF5 tests check on the files kestrun-cli writes from them.
#include <gtest/gtest.h>

#include "support/Conversion.h"

namespace kestrun::test {
namespace {

struct Collector : RecordSink {
  std::vector<std::uint64_t> time, markerPosition;
  std::vector<std::uint32_t> channel, markerMask;
  RecordTotals totals;
  int takes = 0, finishes = 0, refuseFrom = -1;

  bool Take(const RecordChunk& c) override {
    time.insert(time.end(), c.time.begin(), c.time.end());
    channel.insert(channel.end(), c.channel.begin(), c.channel.end());
    markerPosition.insert(markerPosition.end(), c.markerPosition.begin(), c.markerPosition.end());
    markerMask.insert(markerMask.end(), c.markerMask.begin(), c.markerMask.end());
    return refuseFrom < 0 || ++takes < refuseFrom;
  }
  bool Finish(const RecordTotals& t) override {
    totals = t;
    ++finishes;
    return true;
  }
};

TEST(Records, TimesThatGoBackAreCountedAndARefusedChunkFailsTheRunButNotItsText) {
  ScratchDir dir;
  // Plain T2: bins 100, then 50 (back), a sync overflow, bins 10 (forward), a marker, bins 9 (back).
  WriteFile(dir / "a.dat", BigEndian({0x02000064, 0x04000032, 0xFE000001, 0x0200000A, 0x86000000, 0x02000009}));
  const Conversion c(dir / "a.dat", 2, 1);
  for (int refuse : {-1, 1}) {
    TdcFileParser parser;
    Collector got;
    got.refuseFrom = refuse;
    parser.recordSink = &got;
    const Outputs out = Convert(parser, c);
    EXPECT_EQ(out.parsed, Convert(c).parsed);
    if (refuse > 0) {
      EXPECT_EQ(out.status, 7);
      EXPECT_EQ(out.message, "Record Output Error!");
      EXPECT_EQ(got.finishes, 0);
      continue;
    }
    EXPECT_EQ(out.status, 0);
    EXPECT_EQ(got.finishes, 1);
    EXPECT_EQ(got.time, (std::vector<std::uint64_t>{100, 50, (1u << 25) + 10, (1u << 25) + 9}));
    EXPECT_EQ(got.channel, (std::vector<std::uint32_t>{1, 2, 1, 1}));
    EXPECT_EQ(got.markerPosition, std::vector<std::uint64_t>{3});
    EXPECT_EQ(got.markerMask, std::vector<std::uint32_t>{3});
    EXPECT_EQ(got.totals.timeDecreases, 2u);
    EXPECT_EQ(got.totals.events, 4u);
    EXPECT_EQ(got.totals.markers, 1u);
  }
}

}  // namespace
}  // namespace kestrun::test
