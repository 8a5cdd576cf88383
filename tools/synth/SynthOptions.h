#pragma once
// What one kestrun-synth run is asked to write.

#include <cstdint>
#include <string>
#include <vector>

namespace kestrun::synth {

enum class DataType { T1, T2, T3, IttrT, IttrM };
enum class Model { KR77A5, RB9531, QZ48 };

// Integrity faults that can be injected; each shows as one error text of the report (junk as none).
enum class FaultKind { SerialGap, Length, SyncGap, Junk, LeadGap, OverflowGap, OverflowCount };

struct SynthOptions {
  DataType type = DataType::T2;
  Model model = Model::QZ48;
  std::int32_t resolutionPs = 16;
  std::uint64_t size = 4u << 20;  // bytes in all, at least
  int files = 1;
  std::uint64_t seed = 1;
  int board = 0;  // board number of the data-type head or mode word
  std::vector<FaultKind> faults;
  std::string outputDir = ".";
  std::string name;  // empty: the instruments' default naming
  std::string manifestPath;  // "-" for standard output
};

const char* TypeName(DataType type);   // "T1" .. "ITTR_M"
const char* ModelName(Model model);    // "KR77A5", "RB9531", "QZ48"
const char* FaultName(FaultKind kind); // "serial-gap" ..
// Packaged T2/T3 words are written for QZ48 only.
bool IsPackaged(const SynthOptions& o);
bool IsTttr(DataType type);
bool IsIttr(DataType type);

// The faults that the data family of `o` can carry, in the order of FaultKind.
std::vector<FaultKind> FaultsFor(const SynthOptions& o);

// File paths of the series: DIR/NAME_1.dat .. DIR/NAME_N.dat, or DIR/NAME.dat for one file with a
// given NAME. The default NAME follows the instruments' naming (see DefaultName).
std::vector<std::string> SeriesPaths(const SynthOptions& o);

// Seven underscore-separated pieces (six for RB9531) to which the series number adds the last one,
// so that the name rules of the front ends read the device, the type and the resolution from it.
std::string DefaultName(const SynthOptions& o);

}  // namespace kestrun::synth
