// T2 block decoders: absolute time tags, extended past 2^25 bins by the sync overflow count.
#include <utility>

#include "engine/DecoderState.h"
#include "engine/Digits.h"
#include "tttr/TttrBlock.h"
#include "engine/ScratchDigits.h"
#include "tttr/TttrWords.h"

namespace kestrun {

namespace {

using tttr_detail::kMaxLineLength;
using scratch_digits::WriteDecimal;
using K = TttrRecordKind;

// (wraps * 1024 + overflow) * 2^25 + bins, in unsigned 64-bit arithmetic so that any held value wraps
// around instead of overflowing.
std::uint64_t T2TimeBins(const DecoderState& d, std::uint32_t bins) {
  const std::uint64_t overflows =
      std::uint64_t{d.overflowWraps} * 1024 + static_cast<std::uint64_t>(static_cast<std::int64_t>(d.overflowValue));
  return (overflows << 25) + bins;
}

std::uint64_t T2TimePs(const DecoderState& d, std::uint32_t bins, std::int32_t resolutionPs) {
  return T2TimeBins(d, bins) * static_cast<std::uint64_t>(static_cast<std::int64_t>(resolutionPs));
}

// Every event and marker word is a record, in both layouts: the words that print an event or marker line.
void TakeT2Record(DecoderState& d, const TttrRecord& r, RecordBuffer::Cursor& c) {
  if (r.kind == K::Event) {
    d.records.AddT2(c, T2TimeBins(d, r.bins), r.channel);
  } else if (r.kind == K::Marker) {
    d.records.AddMarker(c, r.mask);
  }
}

// "Event\tchannel\tbins\ttime" of a packaged event line.
[[gnu::always_inline]] inline char* WriteEventFields(char* p, const DecoderState& d, std::uint32_t channel,
                                                     std::uint32_t bins, std::int32_t resolutionPs) {
  p = WriteLiteral(p, "Event\t");
  p = WriteU32(p, channel);
  *p++ = '\t';
  p = WriteDecimal(p, bins);
  *p++ = '\t';
  return WriteDecimal(p, T2TimePs(d, bins, resolutionPs));
}

// Inlined into both word loops, with records and without, as it was into the one loop before them.
[[gnu::always_inline]] inline bool WritePackagedLine(TextSink& text, const DecoderState& d, const TttrRecord& r, std::int32_t resolutionPs,
                       bool outputPacketInfo) {
  if (!tttr_detail::PrintsPackagedLine(r.kind, outputPacketInfo, d.outputOverflow)) return true;
  if (!text.Reserve(kMaxLineLength)) return false;
  char* p = text.pos;
  switch (r.kind) {
    case K::Event:
      p = WriteEventFields(p, d, r.channel, r.bins, resolutionPs);
      break;
    case K::StorageOverflow:
      p = WriteU32(WriteLiteral(p, "Storage Overflow[serial] \t"), r.serial);
      break;
    case K::PackageSerialOverflow:
      p = WriteU32(WriteLiteral(p, "Package Serial Overflow[overflow] \t"), r.value);
      break;
    case K::Marker:
      p = WriteU32(WriteLiteral(p, "Marker[ marker] \t"), r.mask);
      break;
    case K::PackageHead:
      p = WriteU32(WriteLiteral(p, "Package Head[serial] \t"), r.serial);
      *p++ = '\t';
      p = WriteU64(p, r.sequenceNumber);
      break;
    case K::PackageTail:
      p = WriteLiteral(p, "Package Tail ");
      break;
    default:  // SyncOverflow
      p = WriteU32(WriteLiteral(p, "Event Overflow[overflow] \t"), r.value);
      break;
  }
  *p++ = '\n';
  text.pos = p;
  return true;
}

[[gnu::always_inline]] inline bool WritePlainLine(TextSink& text, const DecoderState& d, const TttrRecord& r, std::int32_t resolutionPs) {
  if (!tttr_detail::PrintsPlainLine(r.kind, d.outputOverflow)) return true;
  if (!text.Reserve(kMaxLineLength)) return false;
  char* p = text.pos;
  switch (r.kind) {
    case K::Event:
      p = WriteU32(WriteLiteral(p, "0\t"), r.channel);
      *p++ = '\t';
      p = WriteDecimal(p, T2TimePs(d, r.bins, resolutionPs));
      break;
    case K::Marker:
      p = WriteLiteral(WriteU32(WriteLiteral(p, "1\t"), r.mask), "\t0");
      break;
    case K::SyncOverflow:
      p = WriteU32(WriteLiteral(p, "1\t63\t"), r.value);
      break;
    default:  // InfoComplete
      for (std::uint32_t i = 0; i < d.infoTextLength; ++i) *p++ = d.infoText[i];
      break;
  }
  *p++ = '\n';
  text.pos = p;
  return true;
}

}  // namespace

std::int32_t DecoderState::DecodeT2Device3(const std::uint8_t* block, std::int32_t length, TextSink& text,
                                           std::int32_t resolutionPs, bool outputPacketInfo) {
  const tttr_detail::WordRange words = tttr_detail::BlockWords(block, length);
  const std::uint64_t first = std::exchange(packagedWords, packagedWords + words.count);
  return tttr_detail::DecodeBlockWords(
      words, text, generateParsed, records,
      [this, &words, first](const std::uint8_t* word, TttrRecord& r) __attribute__((always_inline)) {
        DecodeT2Device3Word(*this, word, first + static_cast<std::uint64_t>(word - words.first) / 4, r);
      },
      [&](TextSink& t, const TttrRecord& r) __attribute__((always_inline)) { return WritePackagedLine(t, *this, r, resolutionPs, outputPacketInfo); },
      [this](const TttrRecord& r, RecordBuffer::Cursor& c) __attribute__((always_inline)) { TakeT2Record(*this, r, c); },
      [this, resolutionPs](const std::uint8_t* p, const std::uint8_t* end, TextSink* t, TttrRecord& r) {
        if (t == nullptr) return tttr_detail::SkimEventRun<true, false>(*this, p, end);
        return tttr_detail::WriteEventRun<false>(*this, p, end, *t, r, [this, resolutionPs](char* q, std::uint32_t w) {
          return WriteEventFields(q, *this, w >> 25, w & 0x1FFFFFF, resolutionPs);
        });
      });
}

std::int32_t DecoderState::DecodeT2(const std::uint8_t* block, std::int32_t length, TextSink& text,
                                    std::int32_t resolutionPs) {
  return tttr_detail::DecodeBlockWords(
      tttr_detail::PlainBlockWords(block, length, 0x12), text, generateParsed, records,
      [this](const std::uint8_t* word, TttrRecord& r) __attribute__((always_inline)) { DecodeT2Word(*this, word, r); },
      [&](TextSink& t, const TttrRecord& r) __attribute__((always_inline)) { return WritePlainLine(t, *this, r, resolutionPs); },
      [this](const TttrRecord& r, RecordBuffer::Cursor& c) __attribute__((always_inline)) { TakeT2Record(*this, r, c); },
      [this](const std::uint8_t* p, const std::uint8_t* end, TextSink* t, TttrRecord&) {
        return t == nullptr ? tttr_detail::SkimEventRun<false, false>(*this, p, end) : p;
      });
}

}  // namespace kestrun
