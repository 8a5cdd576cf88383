#include "t1/T1State.h"

#include <bit>
#include <cstring>
#include <new>
#include <utility>

namespace kestrun {

T1Histogram::~T1Histogram() {
  for (std::uint64_t* page : pages) std::free(page);
}

std::uint64_t* T1Histogram::PageFor(std::int32_t i) {
  const auto p = static_cast<std::size_t>(i >> kT1PageShift);
  const std::int32_t k = i & (kT1PageBins - 1);
  const std::int32_t size = sizes[p];
  if (k < size) return pages[p];
  std::int32_t grown = size == 0 ? kT1FirstPageBins : size;
  while (grown <= k) grown *= 2;
  auto* const page = static_cast<std::uint64_t*>(std::realloc(pages[p], static_cast<std::size_t>(grown) * sizeof(std::uint64_t)));
  if (page == nullptr) return nullptr;
  std::memset(page + size, 0, static_cast<std::size_t>(grown - size) * sizeof(std::uint64_t));
  pages[p] = page;
  sizes[p] = static_cast<std::uint16_t>(grown);
  return page;
}

T1Histogram* T1ChannelStatus::EnsureHistogram() {
  if (!histogram) histogram.reset(new (std::nothrow) T1Histogram());
  return histogram.get();
}

void T1ChannelStatus::Reset() {
  maxBin = 0;
  maxCount = 0;
  histogram.reset();
  lastBin = 0;
}

T1DecoderFields::T1DecoderFields() {
  channelGrid.resize(kT1Boards);
  for (std::int32_t b = 0; b < kT1Boards; ++b) {
    channelGrid[b].reserve(kT1Channels);
    for (std::int32_t ch = 0; ch < kT1Channels; ++ch) channelGrid[b].push_back(std::make_shared<T1ChannelStatus>(b, ch));
  }
}

void T1DecoderFields::ResetT1() {
  binIndex = 0;
  channel = 0;
  for (auto& boardRow : channelGrid) {
    for (auto& status : boardRow) status->Reset();
  }
  t1Statistics = {};
  t1SlotEvents.fill(0);
  t1SlotFolded.fill(0);
  t1SlotFirstBin.fill(0);
  t1SlotsSelected.fill(0);
}

void T1DecoderFields::FoldT1Slots() {
  for (std::size_t word = 0; word < t1SlotsSelected.size(); ++word) {
    for (std::uint64_t bits = std::exchange(t1SlotsSelected[word], 0); bits != 0; bits &= bits - 1) {
      FoldT1Slot(word * 64 + static_cast<std::size_t>(std::countr_zero(bits)));
    }
  }
}

void T1DecoderFields::FoldT1Slot(std::size_t slot) {
  if (t1SlotEvents[slot] == t1SlotFolded[slot]) return;
  t1SlotFolded[slot] = t1SlotEvents[slot];
  const int b = static_cast<int>(slot / kT1Channels);
  const int ch = static_cast<int>(slot % kT1Channels);
  t1Statistics.eventCounts[b][ch] = t1SlotEvents[slot];
  // The largest value follows the channel's own maximum; until a count makes a bin non-zero it stays
  // (first bin, 0), as it was created by the channel's first count word.
  T1MaxValue max{t1SlotFirstBin[slot], 0};
  if (b < kT1Boards) {
    const T1ChannelStatus& status = *channelGrid[b][ch];
    if (status.maxCount > 0) max = {status.maxBin, status.maxCount};
  }
  t1Statistics.maxValues[b][ch] = max;
}

}  // namespace kestrun
