#pragma once
// Word decoders of the T2 and T3 layouts. Each decodes one word (four bytes, most significant first)
// into the block decoder's record and moves the framing state, the sync overflow sequence and the
// statistics on. Inline: they are the inner loop of the block decoders.

#include <cstdint>
#include <cstdio>
#include <initializer_list>

#include "engine/DecoderState.h"
#include "engine/Words.h"
#include "tttr/TttrBlock.h"

namespace kestrun {

namespace tttr_detail {

inline constexpr std::uint32_t kT2DataTypeHead = 0xEB90B712;
inline constexpr std::uint32_t kT3DataTypeHead = 0xEB90B713;
inline constexpr std::uint32_t kDataTypeTail = 0xEEEEDDDD;
inline constexpr std::uint32_t kStorageOverflowStart = 0xEB90B0CA;
inline constexpr std::uint32_t kBoardBits = 0x000F0000;

// A sync overflow word of value v: a step from 1023 to 0 is one more wrap; then the sequence check.
inline void TakeSyncOverflow(DecoderState& d, std::uint32_t v) {
  if (d.overflowValue == 1023 && v == 0) ++d.overflowWraps;
  d.overflowValue = static_cast<std::int32_t>(v);
  d.tttrStatistics.CheckSyncOverflow(v, d.errorTexts);
}

// Digit groups g0..g5 (bits 3..0 up to 23..20) become the characters from '0' on.
inline char Group(std::uint32_t w, int g) { return static_cast<char>(48 + ((w >> (4 * g)) & 15)); }

// An information part word of the plain layout: appends its characters for the current step.
inline TttrRecordKind TakeInfoPart(TttrDecoderFields& f, std::uint32_t w) {
  // A full sequence holds 44 characters, 38 before its last part; the guard keeps a length that was
  // set otherwise from growing past that.
  if (f.infoTextLength > 38) return TttrRecordKind::Ignored;
  char* const p = f.infoText + f.infoTextLength;
  char* q = p;
  auto groups = [&](std::initializer_list<int> list) {
    for (int g : list) *q++ = Group(w, g);
  };
  switch (f.infoTextStep) {
    case 5:
      groups({3, 2});
      *q++ = '.';
      groups({1, 0});
      break;
    case 6:
    case 9:
    case 12:
      groups({5, 4, 3, 2, 1, 0});
      break;
    case 7:
    case 10:
      groups({5, 4});
      *q++ = static_cast<char>(w & 0xFF);  // bits 7..0 as they are
      *q++ = ' ';
      break;
    case 8:
      groups({4, 3, 2});
      *q++ = '.';
      groups({1, 0});
      break;
    case 11:
      groups({5, 4, 3, 2, 1, 0});
      *q++ = '.';
      break;
    default:
      return TttrRecordKind::Ignored;
  }
  f.infoTextLength += static_cast<std::uint32_t>(q - p);
  return f.infoTextStep++ == 12 ? TttrRecordKind::InfoComplete : TttrRecordKind::InfoPart;
}

// The framing of the packaged layout, shared by T2 and T3; they differ in the event fields, the head
// word, where the data-type tail is recognised, and when the layout flag is cleared. `index` is the word's
// position among the run's packaged words, from which a package's length is found at its tail.
template <bool kT3>
inline void DecodePackagedWord(DecoderState& d, std::uint32_t w, std::uint64_t index, TttrRecord& r) {
  using K = TttrRecordKind;
  using F = TttrFrameState;
  TttrStatistics& s = d.tttrStatistics;
  const std::uint32_t top = w >> 25;
  // Most words are events of channels 0..63 inside a package: they take the short way, with the
  // fields and counts the general way below would give them.
  if (top < 64 && d.frameState == F::InPackage) [[likely]] {
    s.plainLayout = 0;
    r.kind = K::Event;
    r.channel = top;
    if constexpr (kT3) {
      r.bins = (w >> 10) & 0x7FFF;
      r.sequence = w & 1023;
    } else {
      r.bins = w & 0x1FFFFFF;
    }
    s.CountEvent(d.board, static_cast<std::int32_t>(top));
    return;
  }
  if constexpr (!kT3) {
    if ((w & ~1u) == 0xD8000000u && d.announceSerialOverflows) [[unlikely]] {
      std::fputs("Package Serial Overflow\n", stdout);
    }
    s.plainLayout = 0;
  }
  if ((w >> 29) == 4) {
    r.kind = K::Marker;
    r.mask = (w >> 25) & 15;
    s.CountMarker(r.mask);
    return;
  }
  if constexpr (kT3) {
    s.plainLayout = 0;
  } else if (w == kDataTypeTail) {
    r.kind = K::DataTypeTail;
    ++s.dataTypeTailCount;
    ++s.packageSkippedWords;
    return;
  }
  switch (d.frameState) {
    case F::InPackage:
      if (top == 100) {
        r.kind = K::PackageTail;
        d.previousFrameState = F::InPackage;
        d.frameState = F::BetweenPackages;
        s.CheckPackageTail(index, d.errorTexts);
      } else if (top == 127) {
        r.kind = K::SyncOverflow;
        r.value = w & 1023;
        TakeSyncOverflow(d, r.value);
      } else if (top == 108) {
        r.kind = K::PackageSerialOverflow;
        r.value = w & 1023;
        ++s.packageSkippedWords;
      } else {
        r.kind = K::Event;
        r.channel = top & 63;
        if constexpr (kT3) {
          r.bins = (w >> 10) & 0x7FFF;
          r.sequence = w & 1023;
        } else {
          r.bins = w & 0x1FFFFFF;
        }
        s.CountEvent(d.board, static_cast<std::int32_t>(r.channel));
      }
      return;
    case F::Outside:
      if ((w & ~kBoardBits) == (kT3 ? kT3DataTypeHead : kT2DataTypeHead)) {
        r.kind = K::DataTypeHead;
        d.previousFrameState = F::Outside;
        d.frameState = F::BetweenPackages;
        d.board = static_cast<std::int32_t>(w & kBoardBits);
        ++s.dataTypeHeadCount;
        return;
      }
      break;
    case F::StorageSerial:
      r.kind = K::StorageOverflow;
      r.serial = w;
      s.TakeStorageSerial(w, d.errorTexts);
      if (d.previousFrameState == F::Outside || d.previousFrameState == F::BetweenPackages) {
        d.frameState = d.previousFrameState;
        d.previousFrameState = F::StorageSerial;
      }
      return;
    case F::BetweenPackages:
      if (top == 96) {
        r.kind = K::PackageHead;
        r.length = (w >> 10) & 0x7FFF;
        r.serial = w & 1023;
        d.previousFrameState = F::BetweenPackages;
        d.frameState = F::InPackage;
        s.CheckPackageHead(r.length, r.serial, index, d.errorTexts);
        r.sequenceNumber = std::uint64_t{d.packageSerialWraps} * 1024 + r.serial;
        if (r.serial == 1023) ++d.packageSerialWraps;
        return;
      }
      if (kT3 && w == kDataTypeTail) {
        r.kind = K::DataTypeTail;
        ++s.dataTypeTailCount;
        return;
      }
      break;
  }
  if (w == kStorageOverflowStart) {
    r.kind = K::StorageOverflowStart;
    d.previousFrameState = d.frameState;
    d.frameState = F::StorageSerial;
  } else {
    r.kind = K::Ignored;
  }
}

// Report only: the events and sync overflows that follow (inside a package, in the packaged layout),
// counted in a loop of their own with no branch between the two kinds. Sync overflows come at random
// places (2 to 10 % of a T3 acquisition's words), where a branch on them mispredicts. Stops at the first
// word of another kind, or at a sync overflow out of sequence, and returns it for the word decoder. Every
// sync overflow taken is the one after the last, so their count gives the last value and the 1023-to-0
// wraps; the statistics come out as the word decoder's would.
template <bool kPackaged, bool kT3>
inline const std::uint8_t* SkimEventRun(DecoderState& d, const std::uint8_t* p, const std::uint8_t* end) {
  TttrStatistics& s = d.tttrStatistics;
  std::uint64_t* const counts = s.BoardEventCounters(d.board);
  const std::uint32_t last = s.previousSyncOverflow;
  if ((kPackaged && d.frameState != TttrFrameState::InPackage) || counts == nullptr || last > 1023 ||
      d.overflowValue != static_cast<std::int32_t>(last)) {
    return p;
  }
  const std::uint8_t* const start = p;
  std::uint32_t expected = 0xFE000000u | ((last + 1) & 1023);  // the next sync overflow's word
  std::uint32_t syncs = 0;
  // Against the next sync overflow, in bits 31..25 and 9..0: an event differs in bit 31, that sync
  // overflow in none, any other word in some but not bit 31.
  constexpr std::uint32_t kCompared = 0xFE0003FFu;
  auto other = [](std::uint32_t w, std::uint32_t next) { return ((w ^ next) & kCompared) - 1 < 0x7FFFFFFFu; };
  // Two words at a time, the second into the second set of counters: with one detector every word
  // counts into the same channel, and each count would wait on the last one's.
  for (; end - p >= 8; p += 8) {
    PrefetchAhead(p);
    const std::uint32_t w0 = WordAt(p);
    const std::uint32_t w1 = WordAt(p + 4);
    const std::uint32_t between = (expected + (w0 >> 31)) & kCompared;
    if (other(w0, expected) | other(w1, between)) [[unlikely]] break;
    ++counts[(w0 >> 25) & 63];  // a sync overflow's goes to channel 63, taken back below
    ++counts[TttrStatistics::kSecondSet + ((w1 >> 25) & 63)];
    syncs += (w0 >> 31) + (w1 >> 31);
    expected = (between + (w1 >> 31)) & kCompared;
  }
  // The pair with another word, or the last word, one at a time.
  for (; p != end; p += 4) {
    const std::uint32_t w = WordAt(p);
    if (other(w, expected)) break;
    ++counts[(w >> 25) & 63];
    syncs += w >> 31;
    expected = (expected + (w >> 31)) & kCompared;
  }
  counts[63] -= syncs;
  // The layout flag as the word decoder leaves it: plain T3 sets it at events only.
  if (p != start && (kPackaged || !kT3 || static_cast<std::size_t>(p - start) / 4 != syncs)) s.plainLayout = !kPackaged;
  if (syncs != 0) {
    s.syncOverflowCount += syncs;
    s.previousSyncOverflow = (last + syncs) & 1023;
    d.overflowValue = static_cast<std::int32_t>(s.previousSyncOverflow);
    d.overflowWraps += (last + syncs) >> 10;
  }
  return p;
}

// With text, without records, packaged layout: the events that follow inside a package, each counted and
// its line written by `line(q, word)`, in a loop of their own without the record and the kind tests.
// Stops at any other word, and where the area may not hold a line, for the word loop; leaves the record
// with the last event's fields, as the word loop would.
template <bool kT3, typename Line>
inline const std::uint8_t* WriteEventRun(DecoderState& d, const std::uint8_t* p, const std::uint8_t* end,
                                         TextSink& text, TttrRecord& r, Line&& line) {
  TttrStatistics& s = d.tttrStatistics;
  std::uint64_t* const counts = s.BoardEventCounters(d.board);
  if (d.frameState != TttrFrameState::InPackage || counts == nullptr) return p;
  const std::uint8_t* const start = p;
  char* q = text.pos;
  for (; p != end; p += 4) {
    const std::uint32_t w = WordAt(p);
    if ((w >> 31) != 0 || static_cast<std::size_t>(text.end - q) < kMaxLineLength) break;
    ++counts[w >> 25];
    q = line(q, w);
    *q++ = '\n';
  }
  if (p == start) return p;
  text.pos = q;
  s.plainLayout = 0;
  const std::uint32_t w = WordAt(p - 4);
  r.kind = TttrRecordKind::Event;
  r.channel = w >> 25;
  if constexpr (kT3) {
    r.bins = (w >> 10) & 0x7FFF;
    r.sequence = w & 1023;
  } else {
    r.bins = w & 0x1FFFFFF;
  }
  return p;
}

// The plain layout, shared by T2 and T3: T3 events carry bins and a sync sequence, T3 sync overflow
// words keep their bits 24..10, T3 counts its markers, and only T3 events set the layout flag.
template <bool kT3>
inline void DecodePlainWord(DecoderState& d, std::uint32_t w, TttrRecord& r) {
  using K = TttrRecordKind;
  TttrStatistics& s = d.tttrStatistics;
  if constexpr (!kT3) s.plainLayout = 1;
  const std::uint32_t first = w >> 24;
  if ((w >> 31) == 0) {
    r.kind = K::Event;
    r.channel = w >> 25;
    if constexpr (kT3) {
      r.bins = (w >> 10) & 0x7FFF;
      r.sequence = w & 1023;
      s.plainLayout = 1;
    } else {
      r.bins = w & 0x1FFFFFF;
    }
    s.CountEvent(d.board, static_cast<std::int32_t>(r.channel));
  } else if (first >= 0xFE) {
    r.kind = K::SyncOverflow;
    r.channel = 63;
    r.value = w & 1023;
    if constexpr (kT3) r.bins = (w >> 10) & 0x7FFF;
    TakeSyncOverflow(d, r.value);
  } else if ((first & ~1u) == 0xB2) {
    r.kind = K::InfoStart;
    d.infoTextStep = 5;
    d.infoTextLength = 0;
  } else if ((first & ~1u) == 0xA2) {
    r.kind = TakeInfoPart(d, w);
  } else if ((w >> 29) == 4) {
    r.kind = K::Marker;
    r.mask = (w >> 25) & 15;
    // Plain T2 markers stay out of the marker counts; reports of plain T2 runs always read that way.
    if constexpr (kT3) s.CountMarker(r.mask);
  } else {
    r.kind = K::Ignored;
  }
}

}  // namespace tttr_detail

// Packaged layout (device code 3) of T2 and T3. Always inlined: each block decoder has two word loops.
[[gnu::always_inline]] inline void DecodeT2Device3Word(DecoderState& d, const std::uint8_t* bytes, std::uint64_t index,
                                                      TttrRecord& r) {
  tttr_detail::DecodePackagedWord<false>(d, WordAt(bytes), index, r);
}
[[gnu::always_inline]] inline void DecodeT3Device3Word(DecoderState& d, const std::uint8_t* bytes, std::uint64_t index,
                                                      TttrRecord& r) {
  tttr_detail::DecodePackagedWord<true>(d, WordAt(bytes), index, r);
}

// Plain layout (every other device code) of T2 and T3.
[[gnu::always_inline]] inline void DecodeT2Word(DecoderState& d, const std::uint8_t* bytes, TttrRecord& r) {
  tttr_detail::DecodePlainWord<false>(d, WordAt(bytes), r);
}
[[gnu::always_inline]] inline void DecodeT3Word(DecoderState& d, const std::uint8_t* bytes, TttrRecord& r) {
  tttr_detail::DecodePlainWord<true>(d, WordAt(bytes), r);
}

}  // namespace kestrun
