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

  void AddT2(std::uint64_t time, std::uint32_t channel) {
    std::size_t i = NextRow();
    columns_->wide[i] = time;
    columns_->channel[i] = static_cast<std::uint8_t>(channel);
    Order(time);
  }
  void AddT3(std::uint64_t sync, std::uint32_t dtime, std::uint32_t channel) {
    std::size_t i = NextRow();
    columns_->wide[i] = sync;
    columns_->narrow[i] = static_cast<std::uint16_t>(dtime);
    columns_->channel[i] = static_cast<std::uint8_t>(channel);
    Order(sync);
  }
  void AddMarker(std::uint32_t mask) {
    if (markers_ == kRecordChunkRows) Flush();
    columns_->markerPosition[markers_] = handedEvents_ + rows_;
    columns_->markerMask[markers_++] = static_cast<std::uint8_t>(mask);
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

 private:
  struct Columns {
    std::uint64_t wide[kRecordChunkRows];    // T2 time, T3 sync, ITTR serialSynced
    std::uint16_t narrow[kRecordChunkRows];  // T3 dtime, ITTR serial
    std::uint8_t channel[kRecordChunkRows];
    std::uint8_t board[kRecordChunkRows];
    std::uint32_t intensity[kRecordChunkRows];
    std::uint64_t markerPosition[kRecordChunkRows];
    std::uint8_t markerMask[kRecordChunkRows];
  };
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
