#pragma once
// The one object every block decoder and report builder works on. Each decoder family keeps its own
// carry-over fields and statistics in a base (tttr/, t1/, ittr/); the fields they share live here.
// Nothing in it is reset between the blocks or files of a run; Reset() starts a run afresh.

#include <cstdint>
#include <string>

#include "engine/RecordBuffer.h"
#include "engine/TextLog.h"
#include "engine/TextSink.h"
#include "ittr/IttrState.h"
#include "t1/T1State.h"
#include "tttr/TttrState.h"

namespace kestrun {

struct DecoderState : TttrDecoderFields, T1DecoderFields, IttrDecoderFields {
  // Board of the latest head or mode word: T2/T3 and ITTR keep bits 19..16 in place, T1 shifts them down.
  std::int32_t board = 0;
  // Latest sync overflow (T2/T3) or statistics serial overflow (ITTR) value, and its 1023-to-0 wraps.
  std::int32_t overflowValue = 0;
  std::uint32_t overflowWraps = 0;
  // Copies of the run's flags, made by Start; the decoders read these.
  bool generateParsed = false;
  bool outputOverflow = false;
  // Whether the report's error logs keep their text, and where they put it once it outgrows memory.
  // A setting of the run, like the flags.
  TextLogPlace errorTexts;
  // The run's records, when it has a sink (started by the run after Reset, which turns them off).
  RecordBuffer records;

  // Returns every field to its construction value, except the two flag copies and errorTexts; no records.
  void Reset();

  // Block decoders: take one block of 0..1,048,576 bytes; write text into `text` only when
  // generateParsed is set; return the bytes of text produced (0 or more) or a negative value when the
  // text could not be written.
  std::int32_t DecodeT1(const std::uint8_t* block, std::int32_t length, const char* deviceName);
  std::int32_t DecodeT2Device3(const std::uint8_t* block, std::int32_t length, TextSink& text,
                               std::int32_t resolutionPs, bool outputPacketInfo);
  std::int32_t DecodeT2(const std::uint8_t* block, std::int32_t length, TextSink& text, std::int32_t resolutionPs);
  std::int32_t DecodeT3Device3(const std::uint8_t* block, std::int32_t length, TextSink& text,
                               std::int32_t resolutionPs, bool outputPacketInfo);
  std::int32_t DecodeT3(const std::uint8_t* block, std::int32_t length, TextSink& text, std::int32_t resolutionPs);
  std::int32_t DecodeIttr(const std::uint8_t* block, std::int32_t length, TextSink& text);
  template <bool kRecords, bool kText, bool kVaryingCounts>
  std::int32_t DecodeIttrWords(const std::uint8_t* block, std::int32_t length, TextSink& text);

  // End of a run with records: T1 histograms, the rows still held and the totals go to the sink.
  void FinishRecords(std::int32_t dataType);

  // End of a T1 run: the histogram text. Returns the bytes produced, 0 when none could be written.
  std::int64_t WriteT1Text(TextSink& text, std::int32_t resolutionPs, const char* deviceName);

  // The report of data type code `dataType` (nothing for other codes), streamed to `write` in pieces.
  // False when `write` returned false, or when the report's text could not be had (an error log
  // failed, or memory ran out); in that case `*failure` (if given) says why, and nothing was written
  // when an error log had failed. Throws nothing that `write` does not throw.
  bool WriteReportText(std::int32_t dataType, const TextLog::Writer& write, std::string* failure = nullptr);
  // The same report as one string; empty when it could not be had.
  std::string BuildReportText(std::int32_t dataType);
  std::string BuildT1Report() { return BuildReportText(1); }
  std::string BuildTttrReport() { return BuildReportText(2); }
  std::string BuildIttrReport() { return BuildReportText(4); }

  // Report writers, one per family.
  void WriteT1Report(TextStream& out);
  void WriteTttrReport(TextStream& out);
  void WriteIttrReport(TextStream& out);
};

}  // namespace kestrun
