// T3 block decoders: times relative to the sync pulse, with the pulse's sequence number.
#include <utility>

#include "engine/DecoderState.h"
#include "engine/Digits.h"
#include "tttr/T3FieldText.h"
#include "tttr/TttrBlock.h"
#include "engine/ScratchDigits.h"
#include "tttr/TttrWords.h"

namespace kestrun {

namespace {

using tttr_detail::kMaxLineLength;
using scratch_digits::WriteDecimal;
using K = TttrRecordKind;

// bins * resolution in unsigned 64-bit arithmetic; a negative resolution wraps around as it would in
// two's complement.
std::uint64_t T3TimePs(std::uint32_t bins, std::int32_t resolutionPs) {
  return std::uint64_t{bins} * static_cast<std::uint64_t>(static_cast<std::int64_t>(resolutionPs));
}

// (wraps * 1024 + overflow) * 1024 + sequence: the sync pulse's number since the run began.
void TakeT3Record(DecoderState& d, const TttrRecord& r, RecordBuffer::Cursor& c) {
  if (r.kind == K::Event) {
    const std::uint64_t overflows = std::uint64_t{d.overflowWraps} * 1024 +
                                    static_cast<std::uint64_t>(static_cast<std::int64_t>(d.overflowValue));
    d.records.AddT3(c, (overflows << 10) + r.sequence, r.bins, r.channel);
  } else if (r.kind == K::Marker) {
    d.records.AddMarker(c, r.mask);
  }
}

// The line text for this block's resolution, made when it changes; null without text, or when there was
// no memory for it (the lines are then written digit by digit).
const T3FieldText* FieldTextFor(DecoderState& d, std::int32_t resolutionPs) {
  if (!d.generateParsed) return nullptr;
  if (d.t3FieldText == nullptr || d.t3FieldText->ResolutionPs() != resolutionPs) {
    d.t3FieldText = T3FieldText::For(resolutionPs);
  }
  return d.t3FieldText.get();
}

// The fields by value: a record whose address went to a function out of line would be kept in memory
// by every word loop, even those that write no text.
char* WriteEventFields(char* p, std::uint32_t channel, std::uint32_t bins, std::uint32_t sequence,
                       std::int32_t resolutionPs, const T3FieldText* fields) {
  p = WriteLiteral(p, "Event\t");
  if (fields != nullptr) [[likely]] return fields->Write(p, channel, bins, sequence);
  p = WriteU32(p, channel);
  *p++ = '\t';
  p = WriteU32(p, bins);  // short numbers: the plain writer is quicker for them
  *p++ = '\t';
  p = WriteU32(p, sequence);
  *p++ = '\t';
  return WriteDecimal(p, T3TimePs(bins, resolutionPs));
}

// Inlined into both word loops, with records and without, as it was into the one loop before them.
[[gnu::always_inline]] inline bool WritePackagedLine(TextSink& text, const DecoderState& d, const TttrRecord& r, std::int32_t resolutionPs,
                       bool outputPacketInfo, const T3FieldText* fields) {
  if (!tttr_detail::PrintsPackagedLine(r.kind, outputPacketInfo, d.outputOverflow)) return true;
  if (!text.Reserve(kMaxLineLength)) return false;
  char* p = text.pos;
  switch (r.kind) {
    case K::Event:
      p = WriteEventFields(p, r.channel, r.bins, r.sequence, resolutionPs, fields);
      break;
    case K::StorageOverflow:
      p = WriteU32(WriteLiteral(p, "Storage Overflow[serial] \t"), r.serial);
      break;
    case K::PackageSerialOverflow:
      p = WriteU32(WriteLiteral(p, "Package Serial Overflow[overflow] \t"), r.value);
      break;
    case K::Marker:
      p = WriteU32(WriteLiteral(p, "Marker[marker] \t"), r.mask);
      break;
    case K::PackageHead:
      p = WriteU32(WriteLiteral(p, "Package Head[serial]\t"), r.serial);
      *p++ = '\t';
      p = WriteU64(p, r.sequenceNumber);
      break;
    case K::PackageTail:
      p = WriteLiteral(p, "Package Tail");
      break;
    default:  // SyncOverflow: the channel is the latest event's of this block, as the record keeps it
      p = WriteU32(WriteLiteral(p, "Event Seq Overflow[channel, overflow] \t"), r.channel);
      *p++ = '\t';
      p = WriteU32(p, r.value);
      break;
  }
  *p++ = '\n';
  text.pos = p;
  return true;
}

[[gnu::always_inline]] inline bool WritePlainLine(TextSink& text, const DecoderState& d, const TttrRecord& r, std::int32_t resolutionPs,
                                                  const T3FieldText* fields) {
  if (!tttr_detail::PrintsPlainLine(r.kind, d.outputOverflow)) return true;
  if (!text.Reserve(kMaxLineLength)) return false;
  char* p = text.pos;
  switch (r.kind) {
    case K::Event:
      p = WriteEventFields(p, r.channel, r.bins, r.sequence, resolutionPs, fields);
      break;
    case K::Marker:
      p = WriteLiteral(WriteU32(WriteLiteral(p, "Marker\t1\t"), r.mask), "\t0\t0");
      break;
    case K::SyncOverflow:
      p = WriteU32(WriteLiteral(p, "Overflow\t1\t63\t"), static_cast<std::uint32_t>(T3TimePs(r.bins, resolutionPs)));
      *p++ = '\t';
      p = WriteU32(p, r.value);
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

std::int32_t DecoderState::DecodeT3Device3(const std::uint8_t* block, std::int32_t length, TextSink& text,
                                           std::int32_t resolutionPs, bool outputPacketInfo) {
  const tttr_detail::WordRange words = tttr_detail::BlockWords(block, length);
  const std::uint64_t first = std::exchange(packagedWords, packagedWords + words.count);
  const T3FieldText* const fields = FieldTextFor(*this, resolutionPs);
  return tttr_detail::DecodeBlockWords(
      words, text, generateParsed, records,
      [this, &words, first](const std::uint8_t* word, TttrRecord& r) __attribute__((always_inline)) {
        DecodeT3Device3Word(*this, word, first + static_cast<std::uint64_t>(word - words.first) / 4, r);
      },
      [&](TextSink& t, const TttrRecord& r) __attribute__((always_inline)) { return WritePackagedLine(t, *this, r, resolutionPs, outputPacketInfo, fields); },
      [this](const TttrRecord& r, RecordBuffer::Cursor& c) __attribute__((always_inline)) { TakeT3Record(*this, r, c); },
      [this, fields](const std::uint8_t* p, const std::uint8_t* end, TextSink* t, TttrRecord& r) {
        if (t == nullptr) return tttr_detail::SkimEventRun<true, true>(*this, p, end);
        if (fields == nullptr) return p;
        return tttr_detail::WriteEventRun<true>(*this, p, end, *t, r, [fields](char* q, std::uint32_t w) {
          return fields->Write(WriteLiteral(q, "Event\t"), w >> 25, (w >> 10) & 0x7FFF, w & 1023);
        });
      });
}

std::int32_t DecoderState::DecodeT3(const std::uint8_t* block, std::int32_t length, TextSink& text,
                                    std::int32_t resolutionPs) {
  const T3FieldText* const fields = FieldTextFor(*this, resolutionPs);
  return tttr_detail::DecodeBlockWords(
      tttr_detail::PlainBlockWords(block, length, 0x13), text, generateParsed, records,
      [this](const std::uint8_t* word, TttrRecord& r) __attribute__((always_inline)) { DecodeT3Word(*this, word, r); },
      [&](TextSink& t, const TttrRecord& r) __attribute__((always_inline)) { return WritePlainLine(t, *this, r, resolutionPs, fields); },
      [this](const TttrRecord& r, RecordBuffer::Cursor& c) __attribute__((always_inline)) { TakeT3Record(*this, r, c); },
      [this](const std::uint8_t* p, const std::uint8_t* end, TextSink* t, TttrRecord&) {
        return t == nullptr ? tttr_detail::SkimEventRun<false, true>(*this, p, end) : p;
      });
}

}  // namespace kestrun
