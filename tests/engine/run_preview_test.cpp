#include <gtest/gtest.h>

#include <numeric>
#include <vector>

#include "engine/RunPreview.h"

namespace kestrun {
namespace {

// Bins merge in pairs as values grow, never losing a count; the bins stay at most kPreviewBins.
TEST(RunPreview, BinsDoubleTheirWidthAndKeepEveryCount) {
  struct Case {
    std::vector<std::uint64_t> values;
    std::uint64_t width;
    std::vector<std::uint64_t> firstBins;
    std::size_t bins;
  };
  std::vector<std::uint64_t> ramp(2048);
  std::iota(ramp.begin(), ramp.end(), 0);
  const Case cases[] = {
      {{0, 0, 1, 1023}, 1, {2, 1, 0}, 1024},       {{1024}, 2, {0, 0}, 513},         {ramp, 2, {2, 2, 2}, 1024},
      {{3, 5000, 1u << 20}, 2048, {1, 0, 1}, 513}, {{~0ull}, 1ull << 54, {0}, 1024},
  };
  for (const Case& c : cases) {
    PreviewSeries s;
    for (const std::uint64_t v : c.values) s.Add(v, 1, 0);
    EXPECT_EQ(s.width, c.width) << c.values.back();
    EXPECT_EQ(s.counts.size(), c.bins) << c.values.back();
    EXPECT_EQ(std::vector<std::uint64_t>(s.counts.begin(), s.counts.begin() + static_cast<long>(c.firstBins.size())),
              c.firstBins);
    EXPECT_EQ(std::accumulate(s.counts.begin(), s.counts.end(), std::uint64_t{0}), c.values.size());
    EXPECT_EQ(s.total, c.values.size());
  }
}

// A time before the run's first one counts in the first bin; ITTR keeps the intensities beside the
// rows, per board and channel.
TEST(RunPreview, EarlierTimesAndIttrIntensities) {
  RunPreview p;
  p.Reset(2, 16);
  const std::vector<std::uint64_t> time = {1000, 999, 1003}, serials = {7, 8, 8};
  const std::vector<std::uint8_t> channels = {1, 1, 1}, boards = {3, 3, 15};
  RecordChunk c;
  c.dataType = 2;
  c.time = time;
  c.channel = channels;
  p.Take(c);
  EXPECT_EQ(p.Series()[0]->counts, (std::vector<std::uint64_t>{2, 0, 0, 1}));

  p.Reset(4, 0);
  const std::vector<std::uint32_t> intensity = {10, 20, 30};
  c.dataType = 4;
  c.time = {};
  c.serialSynced = serials;
  c.intensity = intensity;
  c.board = boards;
  p.Take(c);
  ASSERT_EQ(p.Series().size(), 2u);
  EXPECT_EQ(p.Series()[0]->counts, (std::vector<std::uint64_t>{1, 1}));
  EXPECT_EQ(p.Series()[0]->sums, (std::vector<std::uint64_t>{10, 20}));
  EXPECT_EQ(p.Series()[1]->sums, (std::vector<std::uint64_t>{0, 30}));
}

}  // namespace
}  // namespace kestrun
