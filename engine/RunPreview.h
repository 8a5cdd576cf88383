#pragma once
// What a run's records look like, gathered during the run for a front end to draw: per board and
// channel, counts in at most kPreviewBins bins. A bin's width doubles (pairs merge) whenever a value
// falls past the last bin, so memory stays bounded however long the run. No second read of the input,
// no drawing here.

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/RecordSink.h"

namespace kestrun {

inline constexpr std::size_t kPreviewBins = 1024;

// One board and channel. Bin i holds values [origin + i * width, origin + (i + 1) * width) of the
// run's axis: T1 histogram bins, T2 time bins, T3 dtime bins, ITTR synced statistics serials.
struct PreviewSeries {
  std::uint8_t board = 0;
  std::uint8_t channel = 0;
  std::uint64_t width = 1;  // a power of two: 1 << shift
  unsigned shift = 0;
  std::vector<std::uint64_t> counts;  // events (T2, T3), bin contents (T1), intensity rows (ITTR)
  std::vector<std::uint64_t> sums;    // ITTR only: the intensities of each bin's rows, added up
  bool intensities = false;           // ITTR: `sums` is kept beside `counts`
  std::uint64_t total = 0;            // all counts

  // Counts `n` at `offset` from the origin (and `sum` for ITTR), widening the bins when needed.
  void Add(std::uint64_t offset, std::uint64_t n, std::uint64_t sum);
  // One event at `offset`: Add, short of its checks when the bin exists.
  void Count(std::uint64_t offset) {
    const std::uint64_t bin = offset >> shift;
    if (bin < counts.size()) {
      ++counts[bin];
      ++total;
    } else {
      Add(offset, 1, 0);
    }
  }
};

class RunPreview final : public RecordSink {
 public:
  // Empties the preview for a run of data type `dataType` (1..5) at `resolutionPs`.
  void Reset(std::int32_t dataType, std::int32_t resolutionPs);

  bool Take(const RecordChunk& chunk) override;
  bool TakeHistogram(const HistogramPiece& piece) override;
  bool Finish(const RecordTotals& totals) override;

  std::int32_t dataType() const { return dataType_; }
  std::int32_t resolutionPs() const { return resolutionPs_; }
  // First T2 time or ITTR synced serial of the run: value 0 of the series' axis (0 for T1 and T3).
  std::uint64_t origin() const { return origin_; }
  // The series that received anything, ordered by board, then channel.
  std::vector<const PreviewSeries*> Series() const;
  // Whether the run handed over its totals (it read its records to the end).
  bool finished() const { return finished_; }
  const RecordTotals& totals() const { return totals_; }

 private:
  PreviewSeries& At(std::uint8_t board, std::uint8_t channel) {
    PreviewSeries* s = series_[static_cast<std::size_t>(board & 15) * 256 + channel].get();
    return s != nullptr ? *s : Make(board, channel);
  }
  PreviewSeries& Make(std::uint8_t board, std::uint8_t channel);

  std::int32_t dataType_ = 0;
  std::int32_t resolutionPs_ = 0;
  std::uint64_t origin_ = 0;
  bool haveOrigin_ = false;
  bool finished_ = false;
  RecordTotals totals_;
  // Boards 0..15 by channels 0..255; made on the first count of each.
  std::array<std::unique_ptr<PreviewSeries>, 16 * 256> series_;
};

}  // namespace kestrun
