#pragma once
// The time-ordered words of a T2 or T3 measurement, shared by the packaged and the plain layout:
// photon events on four detector channels with Poisson arrivals (T2) or on a fraction of the pulses
// of an 80 MHz sync source with a fluorescence-like delay (T3), sync overflow words at every wrap of
// the 25-bit time (T2) or of the 10-bit pulse sequence (T3), and marker words of a line clock.

#include <array>
#include <cstdint>
#include <map>

#include "tools/synth/Synthesizers.h"

namespace kestrun::synth {

struct TttrItem {
  enum class Kind { Event, SyncOverflow, Marker } kind;
  std::uint32_t word;
};

class TttrSource {
 public:
  explicit TttrSource(SynthContext& c);

  // The next word of the measurement; a due sync-gap fault skips one sync overflow value.
  TttrItem Next();
  // Counts of what Next has given, as the manifest lists them; `board` as the report prints it.
  void Record(Manifest& manifest, std::int32_t board) const;

 private:
  TttrItem Overflow();
  TttrItem NextT2();
  TttrItem NextT3();
  std::uint32_t NextMarkerMask();
  int PickChannel();

  SynthContext& c_;
  const bool t3_;
  std::uint64_t period_ = 0;      // T2: time >> 25; T3: pulse >> 10, of the latest overflow
  std::uint64_t nextEvent_ = 0;   // T2: bins; T3: pulse index
  std::uint64_t nextMarker_ = 0;  // same units
  std::uint32_t skipped_ = 0;     // sync overflow values skipped by faults
  std::uint32_t lastValue_ = 0;   // latest sync overflow value written
  std::uint64_t markersWritten_ = 0;
  std::uint32_t syncBins_ = 1;    // T3: bins of one sync period

  std::array<std::uint64_t, 4> events_{};
  std::map<std::uint32_t, std::uint64_t> markers_;
  std::uint64_t syncOverflows_ = 0;
  std::uint64_t syncWraps_ = 0;
};

}  // namespace kestrun::synth
