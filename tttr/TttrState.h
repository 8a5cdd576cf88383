#pragma once
// Carry-over fields and statistics of the Tttr decoders (placeholder until the decoders land).

namespace kestrun {

struct TttrStatistics {};

struct TttrDecoderFields {
  TttrStatistics tttrStatistics;
  // Returns these fields and the statistics to their construction values.
  void ResetTttr() { tttrStatistics = {}; }
};

}  // namespace kestrun
