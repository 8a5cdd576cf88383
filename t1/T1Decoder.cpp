#include <climits>

#include "engine/DecoderState.h"
#include "engine/Words.h"

namespace kestrun {

namespace {

constexpr std::uint32_t kHeadMask = 0xFFF0FF0F;
constexpr std::uint32_t kHeadPattern = 0xEB90BA00;
constexpr std::uint32_t kTailWord = 0xAAEEEEDD;

// The channel the count words currently go to, with its maximum held in locals so the compiler can
// keep them in registers while bins are written; Store puts them back. The page of the latest count is
// kept too: counts run through consecutive bins, so most land in it.
struct T1Target {
  std::uint64_t* events = nullptr;   // slot counter, or null for boards and channels outside 0..15
  std::int32_t* firstBin = nullptr;
  T1ChannelStatus* status = nullptr;  // null outside the 4 x 16 grid
  std::uint64_t* page = nullptr;
  std::uint32_t pageStart = 0;        // first bin of the page
  std::uint32_t pageBins = 0;         // bins it holds; 0 without a page
  std::uint64_t maxCount = 0;
  std::int32_t maxBin = 0;
  std::int32_t lastBin = 0;

  // Makes the page of `bin` current, allocating or growing it as need be. Returns bin's offset in it,
  // or pageBins (0) when the bin has no place: outside the histogram or the grid, or no memory.
  std::uint32_t SelectPage(std::int32_t bin) {
    page = nullptr;
    pageBins = 0;
    if (status == nullptr || static_cast<std::uint32_t>(bin) >= std::uint32_t{kT1Bins}) return 0;
    T1Histogram* const histogram = status->EnsureHistogram();
    std::uint64_t* const bins = histogram != nullptr ? histogram->PageFor(bin) : nullptr;
    if (bins == nullptr) return 0;
    page = bins;
    pageStart = static_cast<std::uint32_t>(bin) & ~std::uint32_t{kT1PageBins - 1};
    pageBins = histogram->sizes[bin >> kT1PageShift];
    return static_cast<std::uint32_t>(bin) - pageStart;
  }

  void Store() const {
    if (status == nullptr) return;
    status->maxCount = maxCount;
    status->maxBin = maxBin;
    status->lastBin = lastBin;
  }
};

}  // namespace

std::int32_t DecoderState::DecodeT1(const std::uint8_t* block, std::int32_t length, const char* /*deviceName*/) {
  if (block == nullptr || length < 4) return 0;
  T1Target target;
  auto select = [&] {
    target = {};
    if (board < 0 || board >= kT1HeadBoards || channel < 0 || channel >= kT1Channels) return;
    const auto slot = static_cast<std::size_t>(board * kT1Channels + channel);
    t1SlotsSelected[slot / 64] |= std::uint64_t{1} << (slot % 64);
    target.events = &t1SlotEvents[slot];
    target.firstBin = &t1SlotFirstBin[slot];
    if (board >= kT1Boards) return;
    target.status = channelGrid[board][channel].get();
    target.maxCount = target.status->maxCount;
    target.maxBin = target.status->maxBin;
    target.lastBin = target.status->lastBin;
  };
  select();

  std::int32_t bin = binIndex;
  const std::uint8_t* const stop = block + (static_cast<std::uint32_t>(length) & ~3u);
  for (const std::uint8_t* p = block; p != stop; p += 4) {
    const std::uint32_t w = WordAt(p);
    if ((w & kHeadMask) == kHeadPattern) {
      target.Store();
      board = static_cast<std::int32_t>((w >> 16) & 0xF);
      channel = static_cast<std::int32_t>((w >> 4) & 0xF);
      bin = 0;
      ++t1Statistics.headNumber;
      select();
      continue;
    }
    if (w == kTailWord) {
      ++t1Statistics.tailNumber;
      continue;
    }
    if (target.events != nullptr) {
      if ((*target.events)++ == 0) *target.firstBin = bin;
    } else {
      // Only a board left by another decoder gets here; such counts have no histogram.
      if (t1Statistics.eventCounts[board][channel]++ == 0) t1Statistics.maxValues[board][channel] = {bin, 0};
    }
    std::uint32_t offset = static_cast<std::uint32_t>(bin) - target.pageStart;
    if (offset >= target.pageBins) offset = target.SelectPage(bin);
    if (offset < target.pageBins) {
      const std::uint64_t h = target.page[offset] += w;
      if (h > target.maxCount) {
        target.maxCount = h;
        target.maxBin = bin;
      }
      if (bin > target.lastBin) target.lastBin = bin;
    }
    if (bin != INT32_MAX) ++bin;
  }
  target.Store();
  binIndex = bin;
  FoldT1Slots();
  return 0;
}

}  // namespace kestrun
