#pragma once
// Hands every record of a run to two sinks, for a run that keeps its records and writes them to a
// file at once. The first refusal, by either, ends the records of both.

#include "engine/RecordSink.h"

namespace kestrun {

class RecordTee final : public RecordSink {
 public:
  RecordSink* first = nullptr;
  RecordSink* second = nullptr;
  bool Take(const RecordChunk& chunk) override { return first->Take(chunk) && second->Take(chunk); }
  bool TakeHistogram(const HistogramPiece& piece) override {
    return first->TakeHistogram(piece) && second->TakeHistogram(piece);
  }
  bool Finish(const RecordTotals& totals) override { return first->Finish(totals) && second->Finish(totals); }
};

}  // namespace kestrun
