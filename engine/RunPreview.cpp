#include "engine/RunPreview.h"

namespace kestrun {

void PreviewSeries::Add(std::uint64_t offset, std::uint64_t n, std::uint64_t sum) {
  while ((offset >> shift) >= kPreviewBins) {
    // Merge neighbours: the bins keep their counts and cover twice the span.
    const std::size_t half = (counts.size() + 1) / 2;
    for (std::size_t i = 0; i < half; ++i) {
      const std::size_t a = 2 * i;
      counts[i] = counts[a] + (a + 1 < counts.size() ? counts[a + 1] : 0);
      if (intensities) sums[i] = sums[a] + (a + 1 < counts.size() ? sums[a + 1] : 0);
    }
    counts.resize(half);
    if (intensities) sums.resize(half);
    width = std::uint64_t{1} << ++shift;
  }
  const auto bin = static_cast<std::size_t>(offset >> shift);
  if (bin >= counts.size()) {
    counts.resize(bin + 1);
    if (intensities) sums.resize(bin + 1);
  }
  counts[bin] += n;
  if (intensities) sums[bin] += sum;
  total += n;
}

void RunPreview::Reset(std::int32_t dataType, std::int32_t resolutionPs) {
  dataType_ = dataType;
  resolutionPs_ = resolutionPs;
  origin_ = 0;
  haveOrigin_ = false;
  finished_ = false;
  totals_ = {};
  for (auto& s : series_) s.reset();
}

PreviewSeries& RunPreview::Make(std::uint8_t board, std::uint8_t channel) {
  std::unique_ptr<PreviewSeries>& s = series_[static_cast<std::size_t>(board & 15) * 256 + channel];
  s = std::make_unique<PreviewSeries>();
  s->board = board & 15;
  s->channel = channel;
  s->intensities = dataType_ >= 4;
  return *s;
}

bool RunPreview::Take(const RecordChunk& chunk) {
  // Times before the run's first one (a clock that went back) count in the first bin.
  auto offset = [this](std::uint64_t value) { return value > origin_ ? value - origin_ : 0; };
  if (chunk.dataType == 2) {
    if (!haveOrigin_ && !chunk.time.empty()) origin_ = chunk.time[0], haveOrigin_ = true;
    for (std::size_t i = 0; i < chunk.time.size(); ++i) At(0, chunk.channel[i]).Count(offset(chunk.time[i]));
  } else if (chunk.dataType == 3) {
    for (std::size_t i = 0; i < chunk.dtime.size(); ++i) At(0, chunk.channel[i]).Count(chunk.dtime[i]);
  } else if (chunk.dataType >= 4) {
    if (!haveOrigin_ && !chunk.serialSynced.empty()) origin_ = chunk.serialSynced[0], haveOrigin_ = true;
    for (std::size_t i = 0; i < chunk.serialSynced.size(); ++i) {
      At(chunk.board[i], chunk.channel[i]).Add(offset(chunk.serialSynced[i]), 1, chunk.intensity[i]);
    }
  }
  return true;
}

bool RunPreview::TakeHistogram(const HistogramPiece& piece) {
  PreviewSeries& s = At(piece.board, piece.channel);
  for (std::size_t i = 0; i < piece.bins.size(); ++i) {
    if (piece.bins[i] != 0) s.Add(piece.firstBin + i, piece.bins[i], 0);
  }
  return true;
}

bool RunPreview::Finish(const RecordTotals& totals) {
  totals_ = totals;
  finished_ = true;
  return true;
}

std::vector<const PreviewSeries*> RunPreview::Series() const {
  std::vector<const PreviewSeries*> out;
  for (const auto& s : series_) {
    if (s) out.push_back(s.get());
  }
  return out;
}

}  // namespace kestrun
