#include <climits>
#include <cstring>
#include <utility>

#include "engine/DecoderState.h"
#include "engine/Digits.h"
#include "engine/ScratchDigits.h"
#include "engine/Words.h"
#include "ittr/IttrHeaderText.h"

namespace kestrun {

namespace {

constexpr std::uint32_t kModeMask = 0xFFF0FFFF;
constexpr std::uint32_t kModeIttrT = 0xEB90B110;
constexpr std::uint32_t kModeIttrM = 0xEB90B111;
constexpr std::uint32_t kEndMarker = 0xEEEEDDDD;
constexpr std::uint32_t kOverflowMarker = 0xEB90B0CA;
// Longest line a single data word writes (a statistics serial overflow line has 52 characters), with
// room for the 3 bytes of scratch the decimal writer may use past a number.
constexpr std::size_t kWordLineMax = 64;

// v (0..99), the lead word's intensity count and channel; stores 2 bytes.
inline char* WriteBelow100(char* p, std::uint32_t v) {
  std::memcpy(p, detail::kDigitPairs + 2 * v + (v < 10 ? 1 : 0), 2);
  return p + (v < 10 ? 1 : 2);
}

}  // namespace

std::int32_t DecoderState::DecodeIttr(const std::uint8_t* block, std::int32_t length, TextSink& text) {
  return records.Active() ? DecodeIttrWords<true>(block, length, text) : DecodeIttrWords<false>(block, length, text);
}

template <bool kRecords>
std::int32_t DecoderState::DecodeIttrWords(const std::uint8_t* block, std::int32_t length, TextSink& text) {
  IttrStatistics& stats = ittrStatistics;
  const std::uint64_t before = text.Produced();
  bool writing = generateParsed;
  bool failed = false;
  // The state every word reads, and the text position, held in locals for the block: text bytes may
  // alias anything, so members would be reloaded after every line. Written back after the loop.
  IttrPosition position = ittrPosition;
  std::uint32_t remaining = remainingIntensityWords;
  std::uint64_t leadEvents = 0;  // intensity words of the current lead not yet counted
  char* pos = text.pos;
  char* end = text.end;
  // Start of a line of up to `n` bytes, or null when no text is written (or can be).
  auto line = [&](std::size_t n) -> char* {
    if (!writing) return nullptr;
    if (static_cast<std::size_t>(end - pos) < n) {
      text.pos = pos;
      if (!text.Reserve(n)) {
        writing = false;
        failed = true;
        return nullptr;
      }
      pos = text.pos;
      end = text.end;
    }
    return pos;
  };

  const std::uint8_t* const stop =
      block == nullptr || length < 4 ? block : block + (static_cast<std::uint32_t>(length) & ~3u);
  for (const std::uint8_t* p = block; p != stop; p += 4) {
    const std::uint32_t w = WordAt(p);
    const std::uint32_t nibble = w >> 28;
    // Mode words, end markers and overflow markers all start with nibble E; other data words go
    // straight to their kind.
    if (position != IttrPosition::Data || nibble == 0xE) {
      if ((w & kModeMask) == kModeIttrT || (w & kModeMask) == kModeIttrM) {
        modeWord = w;
        board = static_cast<std::int32_t>(w & 0x000F0000);
        position = IttrPosition::Header1;
        continue;
      }
      if (w == kEndMarker) {
        position = IttrPosition::Data;
        continue;
      }
      if (position <= IttrPosition::Header7) {
        switch (position) {
          case IttrPosition::Header1:
            stats.version = w >> 24;
            stats.statisticsNumber = w & 0x00FFFFFF;
            break;
          case IttrPosition::Header2:
            stats.statisticsPeriod = w;
            break;
          case IttrPosition::Header3:
            stats.channelEnableLow = w;
            break;
          case IttrPosition::Header4:
            stats.channelEnableHigh = w;
            break;
          case IttrPosition::Header5:
            stats.zeroUpdate = w;
            break;
          case IttrPosition::Header7:
            if (writing) {
              text.pos = pos;
              if (!WriteIttrHeaderText(text, modeWord, stats)) {
                writing = false;
                failed = true;
              }
              pos = text.pos;
              end = text.end;
            }
            break;
          default:
            break;
        }
        position = position == IttrPosition::Header7
                       ? IttrPosition::Data
                       : static_cast<IttrPosition>(static_cast<std::uint8_t>(position) + 1);
        continue;
      }
      if (w == kOverflowMarker) {
        position = IttrPosition::OverflowValue;
        continue;
      }
      if (position == IttrPosition::OverflowValue) {
        position = IttrPosition::Data;
        stats.CheckOverflowValue(w, errorTexts);
        if (char* q = line(kWordLineMax)) {
          q = WriteLiteral(q, "Data Overflow, Value: 0x");
          q = WriteHex32(q, w);
          q = WriteLiteral(q, "=>");
          q = WriteI32(q, static_cast<std::int32_t>(w));
          pos = WriteLiteral(q, ", \n");
        }
        continue;
      }
    }

    // Most words are the intensity words (nibbles 0 to 3) of the current lead: told apart first.
    if (nibble < 4) {
      if (remaining == 0) continue;
      --remaining;
      ++leadEvents;
      if constexpr (kRecords) records.AddIntensity(w & 0x3FFFFFFF);
      if (char* q = line(kWordLineMax)) {
        q = scratch_digits::WriteDecimal(q, w & 0x3FFFFFFF);
        *q++ = '\n';
        pos = q;
      }
      continue;
    }
    switch (nibble) {
      case 0x4:
      case 0x5:
      case 0x6:
      case 0x7: {  // statistics lead word
        const std::uint32_t words = (w >> 24) & 0xF;
        const std::uint32_t ch = (w >> 16) & 0x3F;
        const std::uint32_t serial = w & 0xFFFF;
        remaining = words;
        const std::uint64_t synced =
            ((std::uint64_t{overflowWraps} * 1024 + static_cast<std::uint64_t>(std::int64_t{overflowValue})) << 16) +
            serial;
        stats.CountEvents(std::exchange(leadEvents, 0));  // before the lead changes
        stats.CheckStatisticsLead(static_cast<std::uint32_t>(board), ch, serial, errorTexts);
        if constexpr (kRecords) records.SetIttrLead(synced, serial, ch, (static_cast<std::uint32_t>(board) >> 16) & 15);
        if (char* q = line(kWordLineMax)) {
          q = WriteBelow100(q, words);
          *q++ = '\t';
          q = WriteBelow100(q, ch);
          *q++ = '\t';
          q = scratch_digits::WriteDecimal(q, synced);
          *q++ = '\t';
          q = scratch_digits::WriteDecimal(q, serial);
          *q++ = '\t';
          pos = q;  // the line stays open for its first intensity
        }
        break;
      }
      case 0x9: {  // package head word
        const std::uint32_t serial = w & 0xFFFF;
        stats.CheckPackageSerial(serial, errorTexts);
        if (char* q = line(kWordLineMax)) {
          q = WriteLiteral(q, "[Package Head, Serial: 0x");
          q = WriteHex32(q, serial);
          q = WriteLiteral(q, "=>");
          q = WriteU32(q, serial);
          pos = WriteLiteral(q, "] \n");
        }
        break;
      }
      case 0xA:  // package tail word
        ++stats.packageTails;
        if (char* q = line(kWordLineMax)) pos = WriteLiteral(q, "[Package Tail] \n");
        break;
      case 0xF: {  // statistics serial overflow word
        const std::uint32_t value = w & 0xFFFF;
        stats.CheckOverflowValue(value, errorTexts);
        if (overflowValue == 1023 && value == 0) ++overflowWraps;
        overflowValue = static_cast<std::int32_t>(value);
        if (outputOverflow) {
          if (char* q = line(kWordLineMax)) {
            q = WriteLiteral(q, "[Statistics Serial Overflow, Value: 0x");
            q = WriteHex32(q, value);
            q = WriteLiteral(q, "=>");
            q = WriteU32(q, value);
            pos = WriteLiteral(q, "] \n");
          }
        }
        break;
      }
      default:  // nibbles 8, B, C, D and E words of no other kind carry nothing (0 to 3 went before)
        break;
    }
  }
  if (writing) text.pos = pos;
  ittrPosition = position;
  remainingIntensityWords = remaining;
  stats.CountEvents(leadEvents);
  stats.FoldEventCounts();
  if (failed) return -1;
  const std::uint64_t produced = text.Produced() - before;
  return produced > static_cast<std::uint64_t>(INT32_MAX) ? INT32_MAX : static_cast<std::int32_t>(produced);
}

}  // namespace kestrun
