#include "engine/RecordBuffer.h"

#include <algorithm>

#include "engine/DecoderState.h"

namespace kestrun {

void RecordBuffer::Start(RecordSink* sink, std::int32_t dataType) {
  // Default-initialised: the columns are written before they are read, no need to clear 1.6 MB.
  if (sink != nullptr && !columns_) columns_.reset(new Columns);
  sink_ = sink;
  dataType_ = dataType;
  rows_ = 0;
  markers_ = 0;
  handedEvents_ = 0;
  lastTime_ = 0;
  lead_ = {};
  totals_ = {};
  failed_ = false;
  failureTaken_ = false;
}

void RecordBuffer::Flush() {
  if (rows_ == 0 && markers_ == 0) return;
  if (!failed_ && sink_ != nullptr) {
    const Columns& c = *columns_;
    RecordChunk chunk;
    chunk.dataType = dataType_;
    const std::size_t n = rows_;
    switch (dataType_) {
      case 2:
        chunk.time = {c.wide, n};
        chunk.channel = {c.channel, n};
        break;
      case 3:
        chunk.sync = {c.wide, n};
        chunk.dtime = {c.narrow, n};
        chunk.channel = {c.channel, n};
        break;
      default:
        chunk.serialSynced = {c.wide, n};
        chunk.serial = {c.narrow, n};
        chunk.channel = {c.channel, n};
        chunk.intensity = {c.intensity, n};
        chunk.board = {c.board, n};
        break;
    }
    chunk.markerPosition = {c.markerPosition, markers_};
    chunk.markerMask = {c.markerMask, markers_};
    if (!sink_->Take(chunk)) failed_ = true;
  }
  handedEvents_ += rows_;
  totals_.markers += markers_;
  rows_ = 0;
  markers_ = 0;
}

void RecordBuffer::TakeHistogram(const HistogramPiece& piece) {
  if (!failed_ && sink_ != nullptr && !sink_->TakeHistogram(piece)) failed_ = true;
}

void RecordBuffer::Finish() {
  Flush();
  totals_.events = handedEvents_;
  if (!failed_ && sink_ != nullptr && !sink_->Finish(totals_)) failed_ = true;
}

void DecoderState::FinishRecords(std::int32_t dataType) {
  if (!records.Active()) return;
  if (dataType == 1) {
    // Pages hold fewer bins than kT1PageBins, or none; the bins past them are 0.
    static const std::uint64_t zeros[kT1PageBins] = {};
    for (const auto& row : channelGrid) {
      for (const auto& status : row) {
        const T1Histogram* const histogram = status->histogram.get();
        if (histogram == nullptr) continue;
        const auto total = static_cast<std::uint32_t>(status->lastBin) + 1;
        for (std::uint32_t first = 0; first < total; first += kT1PageBins) {
          const std::size_t page = first >> kT1PageShift;
          const std::uint32_t n = std::min<std::uint32_t>(kT1PageBins, total - first);
          const std::uint32_t held = std::min<std::uint32_t>(n, histogram->sizes[page]);
          HistogramPiece piece{static_cast<std::uint8_t>(status->board), static_cast<std::uint8_t>(status->channel),
                               first, total, {}};
          if (held > 0) {
            piece.bins = {histogram->pages[page], held};
            records.TakeHistogram(piece);
            piece.firstBin += held;
          }
          if (held < n) {
            piece.bins = {zeros, n - held};
            records.TakeHistogram(piece);
          }
        }
      }
    }
  }
  records.Finish();
}

}  // namespace kestrun
