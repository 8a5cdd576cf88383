#pragma once
// Carry-over fields and statistics of the T1 decoders (placeholder until the decoders land).

namespace kestrun {

struct T1Statistics {};

struct T1DecoderFields {
  T1Statistics t1Statistics;
  // Returns these fields and the statistics to their construction values.
  void ResetT1() { t1Statistics = {}; }
};

}  // namespace kestrun
