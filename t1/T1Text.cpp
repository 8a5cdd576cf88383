#include <algorithm>
#include <cstring>

#include "engine/DecoderState.h"
#include "engine/Digits.h"

namespace kestrun {

namespace {

// Longest histogram line: an 11-character time, a tab, a 20-character count and a line end.
constexpr std::size_t kBinLineMax = 11 + 1 + 20 + 1;
constexpr std::size_t kShortLineMax = 96;

// Time of bin i at the given resolution, wrapping like the 32-bit product it is printed as.
std::int32_t BinTime(std::int32_t bin, std::int32_t resolutionPs) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(bin) * static_cast<std::uint32_t>(resolutionPs));
}

// Text of any length, in as many pieces as the area needs.
bool PutText(TextSink& text, const char* s, std::size_t n) {
  while (n > 0) {
    if (!text.Reserve(1)) return false;
    const std::size_t k = std::min(n, text.Room());
    std::memcpy(text.pos, s, k);
    text.pos += k;
    s += k;
    n -= k;
  }
  return true;
}

bool WriteHistogram(TextSink& text, const T1ChannelStatus& status, std::int32_t resolutionPs) {
  if (!text.Reserve(kShortLineMax)) return false;
  char* p = text.pos;
  p = WriteLiteral(p, "Board ");
  *p++ = static_cast<char>('A' + status.board);
  p = WriteLiteral(p, ", Channel ");
  p = WriteI32(p, status.channel);
  p = WriteLiteral(p, ": MAX @");
  p = WriteI32(p, BinTime(status.maxBin, resolutionPs));
  p = WriteLiteral(p, "ps\nTime(ps)\tCount\n");
  text.pos = p;

  // Page by page: bins past what a page holds are 0.
  const T1Histogram* const histogram = status.histogram.get();
  std::uint32_t time = 0;
  for (std::int32_t start = 0; start < status.lastBin; start += kT1PageBins) {
    const std::size_t index = static_cast<std::size_t>(start >> kT1PageShift);
    const std::uint64_t* const page = histogram != nullptr ? histogram->pages[index] : nullptr;
    const std::int32_t held = histogram != nullptr ? histogram->sizes[index] : 0;
    const std::int32_t n = std::min(kT1PageBins, status.lastBin - start);
    for (std::int32_t k = 0; k < n; ++k, time += static_cast<std::uint32_t>(resolutionPs)) {
      if (!text.Reserve(kBinLineMax)) return false;
      p = WriteI32(text.pos, static_cast<std::int32_t>(time));
      *p++ = '\t';
      p = WriteI64(p, static_cast<std::int64_t>(k < held ? page[k] : 0));
      *p++ = '\n';
      text.pos = p;
    }
  }
  if (!text.Reserve(2)) return false;
  text.pos = WriteLiteral(text.pos, "\n\n");
  return true;
}

}  // namespace

std::int64_t DecoderState::WriteT1Text(TextSink& text, std::int32_t resolutionPs, const char* deviceName) {
  if (!generateParsed) return 0;
  const std::uint64_t before = text.Produced();
  const char* const device = deviceName != nullptr ? deviceName : "";
  if (!PutText(text, "Device Type: ", 13) || !PutText(text, device, std::strlen(device)) ||
      !PutText(text, "\nData For Channels:", 19)) {
    return 0;
  }
  for (const auto& boardRow : channelGrid) {
    bool boardOpened = false;
    for (const auto& status : boardRow) {
      if (status->lastBin <= 0) continue;
      if (!text.Reserve(kShortLineMax)) return 0;
      char* p = text.pos;
      if (!boardOpened) {
        p = WriteLiteral(p, "\n\tbrd: ");
        *p++ = static_cast<char>('A' + status->board);
        *p++ = ' ';
        boardOpened = true;
      }
      p = WriteLiteral(p, "chl: ");
      p = WriteI32(p, status->channel);
      *p++ = ' ';
      text.pos = p;
    }
  }
  if (!text.Reserve(kShortLineMax)) return 0;
  char* p = WriteLiteral(text.pos, "\nWindow Resolution: ");
  p = WriteI32(p, resolutionPs);
  text.pos = WriteLiteral(p, "ps\n\n\n");

  for (const auto& boardRow : channelGrid) {
    for (const auto& status : boardRow) {
      if (status->maxBin != 0 && !WriteHistogram(text, *status, resolutionPs)) return 0;
    }
  }
  return static_cast<std::int64_t>(text.Produced() - before);
}

}  // namespace kestrun
