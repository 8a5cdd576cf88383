#pragma once
// Gathers a run's records into rows laid out as the package's NumPy structured arrays (little-endian,
// packed): either all of them in one growing buffer, or in chunks of a fixed number of events handed
// to the reading thread through a short queue, so that memory stays flat whatever the input size.

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <utility>
#include <vector>

#include "engine/RecordSink.h"

namespace kestrun::python {

// Rows of one layout in a buffer from malloc, so that NumPy can take the memory over without a copy.
class Rows {
 public:
  Rows() = default;
  Rows(Rows&& other) noexcept { *this = std::move(other); }
  Rows& operator=(Rows&& other) noexcept;
  ~Rows();

  // Room for `rows` more rows of `rowBytes`; false when the memory cannot be had.
  bool Reserve(std::size_t rowBytes, std::size_t rows);
  bool Fits(std::size_t rowBytes, std::size_t rows) const { return size_ + rowBytes * rows <= capacity_; }
  std::uint8_t* Data() const { return data_; }
  std::size_t Capacity() const { return capacity_; }
  std::uint8_t* End() { return data_ + size_; }
  void Added(std::size_t bytes) { size_ += bytes; }
  std::size_t Bytes() const { return size_; }
  // Gives up the buffer, cut to its bytes; the caller frees it with std::free.
  std::uint8_t* Release();

 private:
  std::uint8_t* data_ = nullptr;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
};

// Bytes per row of each layout: T2 time u8 + channel u1; T3 sync u8 + dtime u2 + channel u1; ITTR
// serial_synced u8 + serial u2 + channel u1 + intensity u4 + board u1; markers position u8 + mask u1.
std::size_t EventRowBytes(std::int32_t dataType);
inline constexpr std::size_t kMarkerRowBytes = 9;

struct RecordBatch {
  Rows events;
  Rows markers;
};

class Collector final : public RecordSink {
 public:
  // chunkEvents 0: everything in one batch, with room made for `expectedRows` events at once (the
  // input's words: no layout has more event rows than words). Otherwise batches of chunkEvents events.
  Collector(std::int32_t dataType, std::size_t chunkEvents, std::size_t expectedRows);

  bool Take(const RecordChunk& chunk) override;
  bool TakeHistogram(const HistogramPiece& piece) override;

  // Reader side (chunks). Waits up to `waitMs` for a full batch; true with one, false without.
  bool NextBatch(RecordBatch& batch, int waitMs);
  // The rows gathered after the last full batch; call once the run is over.
  RecordBatch TakeRest();
  // Makes the run's remaining records go nowhere and frees a run waiting for room in the queue.
  void Abandon();
  bool OutOfMemory() const { return outOfMemory_; }
  // Reader side (all in one batch), while it waits: faults in the room a little ahead of the rows
  // written, so that the kernel clears those pages on this thread, not on the decoding one. False
  // when there is nothing to do yet.
  bool Prefault();

  std::map<std::pair<int, int>, std::vector<std::uint64_t>>& Histograms() { return histograms_; }

 private:
  bool AddEvents(const RecordChunk& chunk, std::size_t first, std::size_t count);
  bool AddMarkers(const RecordChunk& chunk, std::size_t first, std::size_t count);
  bool HandOver();

  const std::int32_t dataType_;
  const std::size_t rowBytes_;
  const std::size_t chunkEvents_;
  RecordBatch filling_;
  std::size_t fillingEvents_ = 0;
  std::uint64_t eventsSeen_ = 0;  // events taken in all, the position the next marker is counted from
  std::map<std::pair<int, int>, std::vector<std::uint64_t>> histograms_;
  bool outOfMemory_ = false;
  std::atomic<std::size_t> eventBytes_{0};  // bytes of event rows written, for Prefault
  std::size_t prefaulted_ = 0;               // bytes of the event rows' room faulted in by Prefault
  std::mutex roomMutex_;                     // the room's address may change (growth) only while held

  static constexpr std::size_t kQueueDepth = 1;  // one batch waiting, one filling: memory stays flat
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<RecordBatch> full_;
  bool abandoned_ = false;
};

}  // namespace kestrun::python
