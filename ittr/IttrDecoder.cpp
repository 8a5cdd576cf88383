#include <algorithm>
#include <array>
#include <climits>
#include <cstring>
#include <utility>
#include <vector>

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
// room for the 7 bytes of scratch the decimal writer may use past a number.
constexpr std::size_t kWordLineMax = 64;

// An intensity line: 10 digits and its newline, with the writers' scratch.
constexpr std::size_t kIntensityLineMax = 16;

// "count\tchannel\t" of every lead word, indexed by its count (0..15) x 64 + channel (0..63), the
// length in the last byte: the start of every lead line, made once.
constexpr std::array<std::array<char, 8>, 1024> kLeadCounts = [] {
  std::array<std::array<char, 8>, 1024> table{};
  for (int words = 0; words < 16; ++words) {
    for (int ch = 0; ch < 64; ++ch) {
      std::array<char, 8>& text = table[static_cast<std::size_t>(words * 64 + ch)];
      int n = 0;
      for (const int v : {words, ch}) {
        if (v >= 10) text[n++] = static_cast<char>('0' + v / 10);
        text[n++] = static_cast<char>('0' + v % 10);
        text[n++] = '\t';
      }
      text[7] = static_cast<char>(n);
    }
  }
  return table;
}();

// "\tserial\t" of every lead serial, its length in the last byte: 512 KiB made on first use, read in the
// serials' order.
const std::array<char, 8>* SerialTexts() {
  static const std::vector<std::array<char, 8>> texts = [] {
    std::vector<std::array<char, 8>> t(65536);
    for (std::uint32_t serial = 0; serial < 65536; ++serial) {
      t[serial][0] = '\t';
      char* end = WriteU32(t[serial].data() + 1, serial);
      *end++ = '\t';
      t[serial][7] = static_cast<char>(end - t[serial].data());
    }
    return t;
  }();
  return texts.data();
}

// The end of every package head line, "hex=>decimal] \n" of its serial, its length in the last byte: 1 MiB
// made on first use, read in the serials' order. A package head comes every few leads, and writing both
// numbers digit by digit cost as much as three leads' lines.
const std::array<char, 16>* PackageHeadEnds() {
  static const std::vector<std::array<char, 16>> ends = [] {
    std::vector<std::array<char, 16>> t(65536);
    for (std::uint32_t serial = 0; serial < 65536; ++serial) {
      char* end = WriteLiteral(WriteHex32(t[serial].data(), serial), "=>");
      end = WriteLiteral(WriteU32(end, serial), "] \n");
      t[serial][15] = static_cast<char>(end - t[serial].data());
    }
    return t;
  }();
  return ends.data();
}

// Which of the three words after a lead it announces (by its count, 0 to 3), as masks of all ones.
constexpr std::array<std::array<std::int64_t, 3>, 4> kAnnounced = {{{0, 0, 0}, {-1, 0, 0}, {-1, -1, 0}, {-1, -1, -1}}};

inline char* WriteIntensityLine(char* p, std::uint32_t intensity) { return scratch_digits::WriteLine(p, intensity); }

}  // namespace

std::int32_t DecoderState::DecodeIttr(const std::uint8_t* block, std::int32_t length, TextSink& text) {
  // Each case its own loop, so that the words of a run without text or records pay for neither.
  if (records.Active()) {
    return generateParsed ? DecodeIttrWords<true, true, false>(block, length, text)
                          : DecodeIttrWords<true, false, false>(block, length, text);
  }
  if (leadCountsVary) {
    return generateParsed ? DecodeIttrWords<false, true, true>(block, length, text)
                          : DecodeIttrWords<false, false, true>(block, length, text);
  }
  return generateParsed ? DecodeIttrWords<false, true, false>(block, length, text)
                        : DecodeIttrWords<false, false, false>(block, length, text);
}

template <bool kRecords, bool kText, bool kVaryingCounts>
std::int32_t DecoderState::DecodeIttrWords(const std::uint8_t* block, std::int32_t length, TextSink& text) {
  IttrStatistics& stats = ittrStatistics;
  const std::uint64_t before = text.Produced();
  bool failed = false;
  // The state every word reads, and the text position, held in locals for the block: text bytes may
  // alias anything, so members would be reloaded after every line. Written back after the loop.
  IttrPosition position = ittrPosition;
  std::uint32_t remaining = remainingIntensityWords;
  std::uint32_t slot = stats.leadSlot;  // where the current lead's intensity words count
  std::uint64_t leadEvents = 0;  // intensity words of the current lead not yet counted
  // When the leads of a block announce different counts, the next block takes intensities without a
  // branch on the count (kVaryingCounts); when all announce the same, the branches predict it and cost
  // nothing, which beats waiting on each lead's count for the next lead's place.
  std::uint32_t countsSeen = 0;  // bit n: a lead announced n
  // A lead's serial synced with the overflow values is this plus its serial.
  const auto SyncedBase = [&] {
    return (std::uint64_t{overflowWraps} * 1024 + static_cast<std::uint64_t>(std::int64_t{overflowValue})) << 16;
  };
  std::uint64_t syncedBase = SyncedBase();
  const std::array<char, 8>* const serialTexts = kText ? SerialTexts() : nullptr;
  const std::array<char, 16>* const packageHeadEnds = kText ? PackageHeadEnds() : nullptr;
  char* pos = text.pos;
  char* end = text.end;
  // Once the text has failed, pos and end are null, so that the one test of the room sends every line here.
  auto fail = [&] {
    failed = true;
    pos = end = nullptr;
  };
  // Start of a line of up to `n` bytes, or null when no text is written (or can be).
  auto line = [&](std::size_t n) -> char* {
    if constexpr (!kText) return nullptr;
    if (static_cast<std::size_t>(end - pos) < n) [[unlikely]] {
      if (failed) return nullptr;
      text.pos = pos;
      if (!text.Reserve(n)) {
        fail();
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
            if (kText && !failed) {
              text.pos = pos;
              if (WriteIttrHeaderText(text, modeWord, stats)) {
                pos = text.pos;
                end = text.end;
              } else {
                fail();
              }
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
      if (char* q = line(kWordLineMax)) pos = WriteIntensityLine(q, w & 0x3FFFFFFF);
      continue;
    }
    switch (nibble) {
      case 0x4:
      case 0x5:
      case 0x6:
      case 0x7: {  // statistics lead word, and the leads that follow it at once
        for (std::uint32_t lead = w;;) {
          const std::uint32_t words = (lead >> 24) & 0xF;
          const std::uint32_t ch = (lead >> 16) & 0x3F;
          const std::uint32_t serial = lead & 0xFFFF;
          const std::uint64_t synced = syncedBase + serial;
          if constexpr (!kRecords) {
            countsSeen |= 1u << words;
          }
          stats.CountEvents(slot, std::exchange(leadEvents, 0));  // before the lead changes
          slot = IttrStatistics::Slot(static_cast<std::uint32_t>(board), ch);
          stats.CheckLeadSerial(serial, errorTexts);
          if constexpr (kRecords) records.SetIttrLead(synced, serial, ch, (static_cast<std::uint32_t>(board) >> 16) & 15);
          // The lead's line stays open for its first intensity. The intensity words that follow in this
          // block are taken with it, without the word loop's tests; the first word of any other kind ends
          // them, and the loop goes on from it. With room for all their lines, as there is but near the end
          // of the area, no line needs a test of its own.
          const auto leadText = [&](char* q) {
            std::memcpy(q, kLeadCounts[words * 64 + ch].data(), 8);
            q += kLeadCounts[words * 64 + ch][7];
            q = scratch_digits::WriteDecimal(q, synced);
            std::memcpy(q, serialTexts[serial].data(), 8);
            return q + serialTexts[serial][7];
          };
          // Takes the intensity words that follow, at most `inBlock`, one by one.
          const auto take = [&]<bool kRoomy>(std::uint32_t inBlock) {
            std::uint32_t n = 0;
            for (; n < inBlock; ++n) {
              const std::uint32_t intensity = WordAt(p + 4);
              if (intensity >> 30 != 0) break;
              p += 4;
              if constexpr (kRecords) records.AddIntensity(intensity);
              if constexpr (kRoomy) {
                pos = WriteIntensityLine(pos, intensity);
              } else if (char* q = line(kIntensityLineMax)) {
                pos = WriteIntensityLine(q, intensity);
              }
            }
            return n;
          };
          // A lead announcing at most three, with three words left in the block: the three words after it,
          // those it does not announce as 0, to be taken without a branch on the count.
          const bool upToThree = kVaryingCounts && words <= 3 && stop - p >= 16;
          std::uint32_t v1 = 0, v2 = 0, v3 = 0;
          if (upToThree) {
            const std::array<std::int64_t, 3>& m = kAnnounced[words];
            v1 = static_cast<std::uint32_t>(WordAt(p + 4) & m[0]);
            v2 = static_cast<std::uint32_t>(WordAt(p + 8) & m[1]);
            v3 = static_cast<std::uint32_t>(WordAt(p + 12) & m[2]);
          }
          std::uint32_t taken;
          if (upToThree && (v1 | v2 | v3) >> 30 == 0 &&  // all announced are intensity words
              (!kText || static_cast<std::size_t>(end - pos) >= kWordLineMax + 3 * kIntensityLineMax)) {
            if constexpr (kText) {
              // All three lines are written, and the text ends after the announced ones. Masks, not
              // conditions: the compiler made each condition a branch.
              const std::array<std::int64_t, 3>& m = kAnnounced[words];
              char* const q0 = leadText(pos);
              char* const q1 = WriteIntensityLine(q0, v1);
              char* const q2 = WriteIntensityLine(q1, v2);
              char* const q3 = WriteIntensityLine(q2, v3);
              pos = q0 + ((q1 - q0) & m[0]) + ((q2 - q1) & m[1]) + ((q3 - q2) & m[2]);
            }
            taken = words;
            p += 4 * words;
          } else {
            const std::uint32_t inBlock =
                std::min(words, static_cast<std::uint32_t>(static_cast<std::size_t>(stop - p) / 4 - 1));
            if (kText && static_cast<std::size_t>(end - pos) >= kWordLineMax + inBlock * kIntensityLineMax) {
              pos = leadText(pos);
              taken = take.template operator()<true>(inBlock);
            } else {
              if (char* q = line(kWordLineMax)) pos = leadText(q);
              taken = take.template operator()<false>(inBlock);
            }
          }
          remaining = words - taken;
          leadEvents = taken;
          // A lead word right after this one's last intensity is taken here too, without the word loop's
          // tests: most leads follow each other so.
          if (remaining != 0 || stop - p < 8) break;
          lead = WordAt(p + 4);
          if ((lead >> 28) - 4 > 3) break;  // not a lead word
          p += 4;
        }
        break;
      }
      case 0x9: {  // package head word
        const std::uint32_t serial = w & 0xFFFF;
        stats.CheckPackageSerial(serial, errorTexts);
        if (char* q = line(kWordLineMax)) {
          q = WriteLiteral(q, "[Package Head, Serial: 0x");
          std::memcpy(q, packageHeadEnds[serial].data(), 16);
          pos = q + packageHeadEnds[serial][15];
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
        syncedBase = SyncedBase();
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
  if (kText && !failed) text.pos = pos;
  ittrPosition = position;
  remainingIntensityWords = remaining;
  stats.CountEvents(slot, leadEvents);
  stats.leadSlot = slot;
  if (countsSeen != 0) leadCountsVary = (countsSeen & (countsSeen - 1)) != 0;  // a block with leads seen
  stats.FoldEventCounts();
  if (failed) return -1;
  const std::uint64_t produced = text.Produced() - before;
  return produced > static_cast<std::uint64_t>(INT32_MAX) ? INT32_MAX : static_cast<std::int32_t>(produced);
}

}  // namespace kestrun
