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
  int finishes = 0;
  bool refuse = false;

  bool Take(const RecordChunk& c) override {
    time.insert(time.end(), c.time.begin(), c.time.end());
    channel.insert(channel.end(), c.channel.begin(), c.channel.end());
    markerPosition.insert(markerPosition.end(), c.markerPosition.begin(), c.markerPosition.end());
    markerMask.insert(markerMask.end(), c.markerMask.begin(), c.markerMask.end());
    return !refuse;
  }
  bool Finish(const RecordTotals& t) override {
    totals = t;
    ++finishes;
    return true;
  }
};

TEST(Records, TimesThatGoBackAreCountedAndARefusedChunkFailsTheRunButNotItsText) {
  ScratchDir dir;
  // Plain T2 in two files, a chunk each: bins 100, then 50 (back), a sync overflow, bins 10 (forward), a
  // marker; then bins 9 (back) and another marker.
  WriteFile(dir / "a_1.dat", BigEndian({0x02000064, 0x04000032, 0xFE000001, 0x0200000A, 0x86000000}));
  WriteFile(dir / "a_2.dat", BigEndian({0x02000009, 0x88000000}));
  const Conversion c(dir / "a_1.dat", 2, 1);
  for (bool refuse : {false, true}) {
    TdcFileParser parser;
    Collector got;
    got.refuse = refuse;
    parser.recordSink = &got;
    const Outputs out = Convert(parser, c);
    EXPECT_EQ(out.parsed, Convert(c).parsed);
    EXPECT_EQ(std::to_string(out.status) + " " + out.message + ", finished " + std::to_string(got.finishes),
              refuse ? "7 Record Output Error!, finished 0" : "0 , finished 1");
    if (refuse) continue;
    EXPECT_EQ(got.time, (std::vector<std::uint64_t>{100, 50, (1u << 25) + 10, (1u << 25) + 9}));
    EXPECT_EQ(got.channel, (std::vector<std::uint32_t>{1, 2, 1, 1}));
    EXPECT_EQ(got.markerPosition, (std::vector<std::uint64_t>{3, 4}));
    EXPECT_EQ(got.markerMask, (std::vector<std::uint32_t>{3, 4}));
    const RecordTotals& t = got.totals;
    EXPECT_EQ(std::to_string(t.timeDecreases) + " back, " + std::to_string(t.events) + " events, " +
                  std::to_string(t.markers) + " markers",
              "2 back, 4 events, 2 markers");
  }
}

}  // namespace
}  // namespace kestrun::test
