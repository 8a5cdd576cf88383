#pragma once
// The decoded records of a run, as typed columns: a second output of the same pass that writes the
// parsed text, for writers that keep the photons as numbers (HDF5 and the like).

#include <cstddef>
#include <cstdint>
#include <span>

namespace kestrun {

// Rows of one chunk, in stream order. Only the columns of the run's data type are filled; the others
// are empty. Events and markers are counted apart: a marker's `markerPosition` is the number of events
// of the run before it, so the two streams can be merged back in word order.
struct RecordChunk {
  std::int32_t dataType = 0;  // 2 (T2), 3 (T3), 4 (ITTR_T) or 5 (ITTR_M)

  // T2: time in bins, extended by the sync overflows ((wraps * 1024 + overflow) * 2^25 + bins).
  std::span<const std::uint64_t> time;
  // T3: sync pulse number ((wraps * 1024 + overflow) * 1024 + sequence) and bins after it.
  std::span<const std::uint64_t> sync;
  std::span<const std::uint16_t> dtime;
  // T2, T3 and ITTR.
  std::span<const std::uint8_t> channel;

  // Markers of T2 and T3.
  std::span<const std::uint64_t> markerPosition;
  std::span<const std::uint8_t> markerMask;

  // ITTR: one row per intensity word.
  std::span<const std::uint64_t> serialSynced;
  std::span<const std::uint16_t> serial;
  std::span<const std::uint32_t> intensity;
  std::span<const std::uint8_t> board;  // 0..15
};

// One piece of a T1 histogram: bins [firstBin, firstBin + bins.size()) of board (0..3) and channel
// (0..15). The pieces of a histogram come in order, the first with firstBin 0, until totalBins.
struct HistogramPiece {
  std::uint8_t board = 0;
  std::uint8_t channel = 0;
  std::uint32_t firstBin = 0;
  std::uint32_t totalBins = 0;  // the last bin that received a count, plus 1
  std::span<const std::uint64_t> bins;
};

// What the run's records add up to, handed over once at the end.
struct RecordTotals {
  std::uint64_t events = 0;   // event rows (T2, T3) or intensity rows (ITTR)
  std::uint64_t markers = 0;
  // Rows whose time is below the one before: T2 time, T3 sync, ITTR serialSynced.
  std::uint64_t timeDecreases = 0;
};

// Receives the records of a run on the run's worker thread. Each call returns false when what it was
// given could not be kept; the run then hands over nothing more, and fails with status 7 once its text
// and report are done.
class RecordSink {
 public:
  virtual ~RecordSink() = default;
  // Up to kRecordChunkRows rows per column; the spans are valid during the call only.
  virtual bool Take(const RecordChunk& chunk) = 0;
  // T1 runs: every histogram that received counts, at the end of the run.
  virtual bool TakeHistogram(const HistogramPiece& piece) {
    (void)piece;
    return true;
  }
  // Last call of a run whose records were all taken.
  virtual bool Finish(const RecordTotals& totals) {
    (void)totals;
    return true;
  }
};

inline constexpr std::size_t kRecordChunkRows = 65536;

}  // namespace kestrun
