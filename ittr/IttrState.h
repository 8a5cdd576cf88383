#pragma once
// Carry-over fields and statistics of the Ittr decoders (placeholder until the decoders land).

namespace kestrun {

struct IttrStatistics {};

struct IttrDecoderFields {
  IttrStatistics ittrStatistics;
  // Returns these fields and the statistics to their construction values.
  void ResetIttr() { ittrStatistics = {}; }
};

}  // namespace kestrun
