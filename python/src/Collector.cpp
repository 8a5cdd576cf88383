#include "python/src/Collector.h"

#include <algorithm>
#include <bit>
#include <chrono>
#include <cstdlib>
#include <cstring>

#ifdef __linux__
#include <sys/mman.h>
#endif

namespace kestrun::python {

static_assert(std::endian::native == std::endian::little, "rows are stored as NumPy's little-endian fields");

Rows& Rows::operator=(Rows&& other) noexcept {
  if (this != &other) {
    std::free(data_);
    data_ = std::exchange(other.data_, nullptr);
    size_ = std::exchange(other.size_, 0);
    capacity_ = std::exchange(other.capacity_, 0);
  }
  return *this;
}

Rows::~Rows() { std::free(data_); }

bool Rows::Reserve(std::size_t rowBytes, std::size_t rows) {
  const std::size_t needed = size_ + rowBytes * rows;
  if (needed <= capacity_) return true;
  // Large buffers are mapped by malloc, so growing and the final cut move pages, not bytes.
  const std::size_t capacity = std::max(needed, capacity_ + capacity_ / 2);
  void* grown = std::realloc(data_, capacity);
  if (grown == nullptr) return false;
  data_ = static_cast<std::uint8_t*>(grown);
  capacity_ = capacity;
#ifdef MADV_HUGEPAGE
  // Every byte of these rows is new memory; faulting it in 2 MiB pages rather than 4 KiB ones is what
  // makes a large read as fast as its decoding.
  constexpr std::uintptr_t kHuge = std::uintptr_t{1} << 21;
  const std::uintptr_t begin = (reinterpret_cast<std::uintptr_t>(data_) + kHuge - 1) & ~(kHuge - 1);
  const std::uintptr_t end = (reinterpret_cast<std::uintptr_t>(data_) + capacity_) & ~(kHuge - 1);
  if (end > begin) madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#endif
  return true;
}

std::uint8_t* Rows::Release() {
  if (data_ != nullptr && size_ < capacity_) {
    if (void* cut = std::realloc(data_, std::max<std::size_t>(size_, 1))) data_ = static_cast<std::uint8_t*>(cut);
  }
  size_ = capacity_ = 0;
  return std::exchange(data_, nullptr);
}

std::size_t EventRowBytes(std::int32_t dataType) {
  switch (dataType) {
    case 2:
      return 9;
    case 3:
      return 11;
    default:
      return 16;
  }
}

Collector::Collector(std::int32_t dataType, std::size_t chunkEvents, std::size_t expectedRows)
    : dataType_(dataType), rowBytes_(EventRowBytes(dataType)), chunkEvents_(chunkEvents) {
  if (chunkEvents_ == 0) outOfMemory_ = !filling_.events.Reserve(rowBytes_, expectedRows);
}

bool Collector::Take(const RecordChunk& chunk) {
  const std::size_t events = dataType_ == 2 ? chunk.time.size() : dataType_ == 3 ? chunk.sync.size() : chunk.intensity.size();
  const std::size_t markers = chunk.markerPosition.size();
  std::size_t e = 0, m = 0;
  for (;;) {
    if (chunkEvents_ != 0 && fillingEvents_ == chunkEvents_ && !HandOver()) return true;  // abandoned
    // A marker belongs with the event that follows it.
    std::size_t before = m;
    while (m < markers && chunk.markerPosition[m] <= eventsSeen_) ++m;
    if (m > before && !AddMarkers(chunk, before, m - before)) return false;
    if (e == events) break;
    const std::size_t n = chunkEvents_ == 0 ? events - e : std::min(events - e, chunkEvents_ - fillingEvents_);
    if (!AddEvents(chunk, e, n)) return false;
    e += n;
  }
  return true;
}

bool Collector::AddEvents(const RecordChunk& c, std::size_t first, std::size_t count) {
  // A batch gets its whole room at once; the single buffer grows as the rows come.
  const std::size_t room = chunkEvents_ != 0 ? chunkEvents_ - fillingEvents_ : count;
  if (!filling_.events.Fits(rowBytes_, room)) {
    std::lock_guard lock(roomMutex_);
    if (!filling_.events.Reserve(rowBytes_, room)) {
      outOfMemory_ = true;
      return false;
    }
  }
  std::uint8_t* p = filling_.events.End();
  const std::size_t end = first + count;
  if (dataType_ == 2) {
    for (std::size_t i = first; i < end; ++i, p += 9) {
      std::memcpy(p, &c.time[i], 8);
      p[8] = c.channel[i];
    }
  } else if (dataType_ == 3) {
    for (std::size_t i = first; i < end; ++i, p += 11) {
      std::memcpy(p, &c.sync[i], 8);
      std::memcpy(p + 8, &c.dtime[i], 2);
      p[10] = c.channel[i];
    }
  } else {
    for (std::size_t i = first; i < end; ++i, p += 16) {
      std::memcpy(p, &c.serialSynced[i], 8);
      std::memcpy(p + 8, &c.serial[i], 2);
      p[10] = c.channel[i];
      std::memcpy(p + 11, &c.intensity[i], 4);
      p[15] = c.board[i];
    }
  }
  filling_.events.Added(count * rowBytes_);
  if (chunkEvents_ == 0) eventBytes_.store(filling_.events.Bytes(), std::memory_order_relaxed);
  fillingEvents_ += count;
  eventsSeen_ += count;
  return true;
}

bool Collector::AddMarkers(const RecordChunk& c, std::size_t first, std::size_t count) {
  if (!filling_.markers.Reserve(kMarkerRowBytes, count)) {
    outOfMemory_ = true;
    return false;
  }
  std::uint8_t* p = filling_.markers.End();
  for (std::size_t i = first; i < first + count; ++i, p += kMarkerRowBytes) {
    std::memcpy(p, &c.markerPosition[i], 8);
    p[8] = c.markerMask[i];
  }
  filling_.markers.Added(count * kMarkerRowBytes);
  return true;
}

bool Collector::Prefault() {
#ifdef MADV_POPULATE_WRITE
  // Far enough ahead that the decoding thread never waits for a page; near enough that rows never
  // written (the room is sized for the input's words) cost little memory before the final cut.
  constexpr std::size_t kAhead = std::size_t{16} << 20, kStep = std::size_t{2} << 20;
  if (chunkEvents_ != 0) return false;
  std::lock_guard lock(roomMutex_);
  const std::size_t target = std::min(filling_.events.Capacity(), eventBytes_.load(std::memory_order_relaxed) + kAhead);
  if (target < prefaulted_ + kStep && target != filling_.events.Capacity()) return false;
  if (target <= prefaulted_) return false;
  // Whole pages only: the first page may hold the allocator's header and be faulted in already.
  constexpr std::uintptr_t kPage = 4096;
  const auto base = reinterpret_cast<std::uintptr_t>(filling_.events.Data());
  const std::uintptr_t begin = (base + prefaulted_ + kPage - 1) & ~(kPage - 1);
  const std::uintptr_t end = (base + target) & ~(kPage - 1);
  // Populating writes nothing: pages the decoding thread is filling keep their bytes.
  if (end > begin) madvise(reinterpret_cast<void*>(begin), end - begin, MADV_POPULATE_WRITE);
  prefaulted_ = target;
  return true;
#else
  return false;
#endif
}

bool Collector::TakeHistogram(const HistogramPiece& piece) {
  std::vector<std::uint64_t>& bins = histograms_[{piece.board, piece.channel}];
  bins.resize(piece.totalBins);
  std::copy(piece.bins.begin(), piece.bins.end(), bins.begin() + piece.firstBin);
  return true;
}

bool Collector::HandOver() {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return abandoned_ || full_.size() < kQueueDepth; });
  if (abandoned_) return false;
  full_.push_back(std::move(filling_));
  filling_ = {};
  fillingEvents_ = 0;
  changed_.notify_all();
  return true;
}

bool Collector::NextBatch(RecordBatch& batch, int waitMs) {
  std::unique_lock lock(mutex_);
  if (!changed_.wait_for(lock, std::chrono::milliseconds(waitMs), [this] { return !full_.empty(); })) return false;
  batch = std::move(full_.front());
  full_.pop_front();
  changed_.notify_all();
  return true;
}

RecordBatch Collector::TakeRest() {
  std::lock_guard lock(mutex_);
  RecordBatch rest = std::move(filling_);
  filling_ = {};
  fillingEvents_ = 0;
  return rest;
}

void Collector::Abandon() {
  std::lock_guard lock(mutex_);
  abandoned_ = true;
  full_.clear();
  changed_.notify_all();
}

}  // namespace kestrun::python
