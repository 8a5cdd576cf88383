#pragma once
// The word loop shared by the four T2/T3 block decoders, and the word range of a plain-layout block.

#include <climits>
#include <cstddef>
#include <cstdint>

#include "engine/RecordBuffer.h"
#include "engine/TextSink.h"
#include "tttr/TttrState.h"

namespace kestrun::tttr_detail {

// Every T2/T3 line, with the 7 bytes of scratch its numbers may use past it, is shorter than this; each
// line reserves it before it is written.
inline constexpr std::size_t kMaxLineLength = 64;

// Which records print a line: in the packaged layout every kind with a line but heads, tails and sync
// overflows, which need their flag; in the plain layout events, markers, information texts, and sync
// overflows with their flag.
inline bool PrintsPackagedLine(TttrRecordKind kind, bool outputPacketInfo, bool outputOverflow) {
  switch (kind) {
    case TttrRecordKind::Event:
    case TttrRecordKind::StorageOverflow:
    case TttrRecordKind::PackageSerialOverflow:
    case TttrRecordKind::Marker:
      return true;
    case TttrRecordKind::PackageHead:
    case TttrRecordKind::PackageTail:
      return outputPacketInfo;
    case TttrRecordKind::SyncOverflow:
      return outputOverflow;
    default:
      return false;
  }
}
inline bool PrintsPlainLine(TttrRecordKind kind, bool outputOverflow) {
  return kind == TttrRecordKind::Event || kind == TttrRecordKind::Marker || kind == TttrRecordKind::InfoComplete ||
         (kind == TttrRecordKind::SyncOverflow && outputOverflow);
}

// The word loop without text asks for the bytes this far ahead of the word it decodes: left to the
// hardware alone they came late, most of all in a run, where the reading thread has just filled the
// block on the other core. The address is only a hint, computed as an integer, so it may lie past the
// block.
inline constexpr std::uintptr_t kPrefetchBytes = 2048;
inline void PrefetchAhead(const std::uint8_t* p) {
  __builtin_prefetch(reinterpret_cast<const void*>(reinterpret_cast<std::uintptr_t>(p) + kPrefetchBytes));
}

struct WordRange {
  const std::uint8_t* first = nullptr;
  std::size_t count = 0;
};

// All whole words of a block; 1 to 3 trailing bytes are ignored.
inline WordRange BlockWords(const std::uint8_t* block, std::int32_t length) {
  if (block == nullptr || length < 4) return {};
  return {block, static_cast<std::size_t>(length) / 4};
}

// A plain-layout block without the data-type head at its start (the head's last byte is 0x12 for T2,
// 0x13 for T3; bit 4 of its second byte must be set) and without the data-type tail at its end.
inline WordRange PlainBlockWords(const std::uint8_t* block, std::int32_t length, std::uint8_t headLast) {
  WordRange words = BlockWords(block, length);
  if (words.count == 0) return words;
  const std::uint8_t* p = words.first;
  if (p[0] == 0xEB && (p[1] & 0x90) == 0x90 && p[2] == 0xB7 && p[3] == headLast) {
    words.first += 4;
    --words.count;
  }
  if (words.count != 0) {
    const std::uint8_t* last = words.first + 4 * (words.count - 1);
    if (last[0] == 0xEE && last[1] == 0xEE && last[2] == 0xDD && last[3] == 0xDD) --words.count;
  }
  return words;
}

// The skim of a layout without one: takes no word.
struct NoSkim {
  const std::uint8_t* operator()(const std::uint8_t* p, const std::uint8_t*, TextSink*, TttrRecord&) const { return p; }
};

// Decodes every word with `decode(bytes, record)`, hands it to `take(record)` when kRecords, and, when
// `withText`, writes its line with `write(text, record)`, which answers false when the text area could
// not take the line. The words after such a failure are still decoded, so the statistics and records
// stay whole, but write no more text. Without records, the words are first offered to
// `skim(p, end, text, record)`, which takes the common words from p on in a loop of its own (into the
// statistics, and with their lines into `text` unless it is null) and returns the first it left.
// Returns the bytes of text produced, or -1 when a line was lost.
template <bool kRecords, typename Decode, typename Write, typename Take, typename Skim>
std::int32_t DecodeWords(WordRange words, TextSink& text, bool withText, Decode&& decode, Write&& write,
                         Take&& take, Skim&& skim) {
  const std::uint64_t before = text.Produced();
  TttrRecord record;  // starts every block with channel, bins and sequence 0
  const std::uint8_t* p = words.first;
  const std::uint8_t* const end = words.first + 4 * words.count;
  bool lost = false;
  if (withText) {
    for (; p != end; p += 4) {
      if constexpr (!kRecords) {
        p = skim(p, end, &text, record);
        if (p == end) break;
      }
      decode(p, record);
      if constexpr (kRecords) take(record);
      if (!write(text, record)) {
        lost = true;
        p += 4;
        break;
      }
    }
  }
  for (; p != end; p += 4) {
    if constexpr (!kRecords) {
      p = skim(p, end, nullptr, record);
      if (p == end) break;
    }
    PrefetchAhead(p);
    decode(p, record);
    if constexpr (kRecords) take(record);
  }
  const std::uint64_t produced = text.Produced() - before;
  if (lost || produced > static_cast<std::uint64_t>(INT32_MAX)) return -1;
  return static_cast<std::int32_t>(produced);
}

// The records variant out of line: the text path's function then stays as compact, and is inlined
// and scheduled, as if records did not exist. Flattened, with the records' cursor in locals for the
// block: `take(record, cursor)` then costs a few stores per row.
template <typename Decode, typename Write, typename Take>
[[gnu::noinline, gnu::flatten]] std::int32_t DecodeWordsWithRecords(WordRange words, TextSink& text, bool withText,
                                                                   Decode& decode, Write& write, Take& take,
                                                                   RecordBuffer& records) {
  RecordBuffer::Cursor cursor = records.Open();
  const std::int32_t produced =
      DecodeWords<true>(words, text, withText, decode, write, [&](const TttrRecord& r) { take(r, cursor); }, NoSkim{});
  records.Close(cursor);
  return produced;
}

// DecodeWords with the records of the run, if it has any: the choice is made once per block.
template <typename Decode, typename Write, typename Take, typename Skim = NoSkim>
std::int32_t DecodeBlockWords(WordRange words, TextSink& text, bool withText, RecordBuffer& records, Decode&& decode,
                              Write&& write, Take&& take, Skim&& skim = {}) {
  if (records.Active()) return DecodeWordsWithRecords(words, text, withText, decode, write, take, records);
  return DecodeWords<false>(words, text, withText, decode, write, [](const TttrRecord&) {}, skim);
}

}  // namespace kestrun::tttr_detail
