#pragma once
// Column buffers the word decoders append their records to, handed to the run's RecordSink whenever
// they are full and after every block, so that a run of any length holds one chunk at a time.

#include <cstdint>
#include <memory>

#include "engine/RecordSink.h"

namespace kestrun {

class RecordBuffer {
 public:
  // Starts a run's records: counters back to 0; without a sink the run has no records (and the
  // decoders skip them altogether).
  void Start(RecordSink* sink, std::int32_t dataType);
  bool Active() const { return sink_ != nullptr; }

  struct Columns;
  // What adding a row changes, held by a T2/T3 decoder in locals for a whole block: the stores to the
  // columns (a byte store may alias anything) then cannot make it reload them from memory every row.
  struct Cursor {
    Columns* columns;
    std::size_t rows;
    std::uint64_t lastTime;
    std::uint64_t decreases;
  };
  Cursor Open() { return {columns_.get(), rows_, lastTime_, 0}; }
  void Close(const Cursor& c) {
    rows_ = c.rows;
    lastTime_ = c.lastTime;
    totals_.timeDecreases += c.decreases;
  }

  void AddT2(Cursor& c, std::uint64_t time, std::uint32_t channel) {
    const std::size_t i = NextRow(c);
    c.columns->wide[i] = time;
    c.columns->channel[i] = static_cast<std::uint8_t>(channel);
    Order(c, time);
  }
  void AddT3(Cursor& c, std::uint64_t sync, std::uint32_t dtime, std::uint32_t channel) {
    const std::size_t i = NextRow(c);
    c.columns->wide[i] = sync;
    c.columns->narrow[i] = static_cast<std::uint16_t>(dtime);
    c.columns->channel[i] = static_cast<std::uint8_t>(channel);
    Order(c, sync);
  }
  void AddMarker(Cursor& c, std::uint32_t mask) {
    if (markers_ == kRecordChunkRows) FlushFrom(c);
    c.columns->markerPosition[markers_] = handedEvents_ + c.rows;
    c.columns->markerMask[markers_++] = static_cast<std::uint8_t>(mask);
  }
  // The ITTR lead word that the following intensity rows belong to; kept across blocks and files.
  void SetIttrLead(std::uint64_t serialSynced, std::uint32_t serial, std::uint32_t channel, std::uint32_t board) {
    lead_ = {serialSynced, static_cast<std::uint16_t>(serial), static_cast<std::uint8_t>(channel),
             static_cast<std::uint8_t>(board)};
  }
  void AddIntensity(std::uint32_t intensity) {
    std::size_t i = NextRow();
    columns_->wide[i] = lead_.serialSynced;
    columns_->narrow[i] = lead_.serial;
    columns_->channel[i] = lead_.channel;
    columns_->board[i] = lead_.board;
    columns_->intensity[i] = intensity;
    Order(lead_.serialSynced);
  }

  // Hands the rows held over to the sink (none after a failure of the sink).
  void Flush();
  // One piece of a T1 histogram, straight to the sink.
  void TakeHistogram(const HistogramPiece& piece);
  // Flushes and hands the totals over.
  void Finish();
  // True once after the sink refused something: the run records the failure then.
  bool NewFailure() {
    const bool fresh = failed_ && !failureTaken_;
    failureTaken_ = failed_;
    return fresh;
  }
  const RecordTotals& Totals() const { return totals_; }

  struct Columns {
    std::uint64_t wide[kRecordChunkRows];    // T2 time, T3 sync, ITTR serialSynced
    std::uint16_t narrow[kRecordChunkRows];  // T3 dtime, ITTR serial
    std::uint8_t channel[kRecordChunkRows];
    std::uint8_t board[kRecordChunkRows];
    std::uint32_t intensity[kRecordChunkRows];
    std::uint64_t markerPosition[kRecordChunkRows];
    std::uint8_t markerMask[kRecordChunkRows];
  };
 private:
  struct Lead {
    std::uint64_t serialSynced = 0;
    std::uint16_t serial = 0;
    std::uint8_t channel = 0;
    std::uint8_t board = 0;
  };

  std::size_t NextRow() {
    if (rows_ == kRecordChunkRows) Flush();
    return rows_++;
  }
  void Order(std::uint64_t time) {
    if (time < lastTime_) ++totals_.timeDecreases;
    lastTime_ = time;
  }
  std::size_t NextRow(Cursor& c) {
    if (c.rows == kRecordChunkRows) FlushFrom(c);
    return c.rows++;
  }
  static void Order(Cursor& c, std::uint64_t time) {
    c.decreases += time < c.lastTime;
    c.lastTime = time;
  }
  void FlushFrom(Cursor& c) {
    Close(c);
    Flush();
    c = Open();
  }

  RecordSink* sink_ = nullptr;
  std::int32_t dataType_ = 0;
  std::unique_ptr<Columns> columns_;  // allocated by the first run with a sink, then kept
  std::size_t rows_ = 0;
  std::size_t markers_ = 0;
  std::uint64_t handedEvents_ = 0;  // event rows of earlier chunks
  std::uint64_t lastTime_ = 0;
  Lead lead_;
  RecordTotals totals_;
  bool failed_ = false;
  bool failureTaken_ = false;
};

}  // namespace kestrun
