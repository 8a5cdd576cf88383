#pragma once
// T1 decoder state: the 4 x 16 channel histograms, the decoder position and the run's T1 statistics.

#include <array>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <memory>
#include <vector>

namespace kestrun {

inline constexpr std::int32_t kT1Boards = 4;
inline constexpr std::int32_t kT1Channels = 16;
inline constexpr std::int32_t kT1Bins = 0x100000;
inline constexpr std::int32_t kT1HeadBoards = 16;  // boards a head word can name; the grid holds 0..3

// Bins are kept in pages of up to 8192 (64 KiB). A page is allocated zero-filled when a count first
// lands in it, with 256 bins, and doubles (the new bins zero) until it holds the highest bin counted in
// it: a histogram costs memory in proportion to the bins it uses, and a run that counts a few bins
// clears a few kilobytes, not the 8 MiB of a whole channel.
inline constexpr std::int32_t kT1PageShift = 13;
inline constexpr std::int32_t kT1PageBins = 1 << kT1PageShift;
inline constexpr std::int32_t kT1Pages = kT1Bins / kT1PageBins;
inline constexpr std::int32_t kT1FirstPageBins = 256;

struct T1Histogram {
  T1Histogram() = default;
  T1Histogram(const T1Histogram&) = delete;
  T1Histogram& operator=(const T1Histogram&) = delete;
  ~T1Histogram();

  std::uint64_t* pages[kT1Pages] = {};  // null: no bin of the page has been counted
  std::uint16_t sizes[kT1Pages] = {};   // bins allocated in each page; the bins past them are 0

  // The page of bin i (0 <= i < kT1Bins), allocated or grown to hold it; null when the memory cannot be
  // had (the page then stays as it was).
  std::uint64_t* PageFor(std::int32_t i);
  // Value of bin i (0 <= i < kT1Bins).
  std::uint64_t Bin(std::int32_t i) const {
    const auto p = static_cast<std::size_t>(i >> kT1PageShift);
    const std::int32_t k = i & (kT1PageBins - 1);
    return k < sizes[p] ? pages[p][k] : 0;
  }
};

// One channel's accumulated histogram. Its page table is allocated on the first count word and released
// by Reset, so channels (and runs) that receive no counts cost no histogram memory.
struct T1ChannelStatus {
  T1ChannelStatus(std::int32_t boardIndex, std::int32_t channelIndex) : board(boardIndex), channel(channelIndex) {}

  std::int32_t board;
  std::int32_t channel;
  std::int32_t maxBin = 0;      // bin of the largest value, the first bin to reach it
  std::uint64_t maxCount = 0;   // the largest value
  std::unique_ptr<T1Histogram> histogram;  // none before the first count word
  std::int32_t lastBin = 0;     // highest bin that received a count word

  // Value of bin i (0 <= i < kT1Bins); 0 while no histogram exists.
  std::uint64_t Bin(std::int32_t i) const { return histogram ? histogram->Bin(i) : 0; }
  // The page table, allocated empty if need be; null when the memory cannot be had.
  T1Histogram* EnsureHistogram();
  // Back to the creation state.
  void Reset();
};

struct T1MaxValue {
  std::int32_t bin = 0;
  std::uint64_t value = 0;
};

struct T1Statistics {
  std::uint32_t headNumber = 0;
  std::uint32_t tailNumber = 0;
  std::map<int, std::map<int, T1MaxValue>> maxValues;       // board -> channel -> largest value and its bin
  std::map<int, std::map<int, std::uint64_t>> eventCounts;  // board -> channel -> count words received
};

struct T1DecoderFields {
  T1DecoderFields();

  std::int32_t binIndex = 0;  // bin of the next count word; stops at INT32_MAX instead of overflowing
  std::int32_t channel = 0;   // channel of the latest head word
  std::vector<std::vector<std::shared_ptr<T1ChannelStatus>>> channelGrid;  // [board][channel]
  T1Statistics t1Statistics;

  // Returns these fields and the statistics to their construction values; releases every histogram.
  void ResetT1();

  // Per-word counters for head-word boards and channels (0..15 each, slot board * 16 + channel); the
  // statistics maps are brought up to date from them after every block.
  static constexpr std::size_t kT1Slots = kT1HeadBoards * kT1Channels;
  std::array<std::uint64_t, kT1Slots> t1SlotEvents{};
  std::array<std::uint64_t, kT1Slots> t1SlotFolded{};
  std::array<std::int32_t, kT1Slots> t1SlotFirstBin{};
  // Bit per slot the decoder has selected since the last fold: no other slot's counters can have changed.
  std::array<std::uint64_t, kT1Slots / 64> t1SlotsSelected{};
  // Writes the slot counters that changed into t1Statistics' maps.
  void FoldT1Slots();
  void FoldT1Slot(std::size_t slot);
};

}  // namespace kestrun
