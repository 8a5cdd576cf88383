#pragma once
// The HDF5 file a run may write beside its text: Photon-HDF5 for T2/T3, a Kestrun layout of the same
// kind for T1 and ITTR. It takes the run's records as a RecordSink, is written under a partial name,
// and takes its final name only when the run is over and the file is whole.

#include <cstdint>
#include <memory>
#include <string>

#include "engine/RecordSink.h"

namespace kestrun {

class TdcFileParser;

struct Hdf5Settings {
  bool generate = false;
  bool compress = false;     // shuffle + deflate on every column
  double syncRateHz = 0;     // T3 only: the sync (laser) rate, which the data files do not hold
  std::string description;   // empty: one made from the input name and the settings
};

class Hdf5Output : public RecordSink {
 public:
  // Writes what only the end of the run knows (report, verdicts, totals, whether it was stopped),
  // closes the file and renames it into place. False after a failure of this file (its partial file
  // is removed); Failure() then says what failed.
  virtual bool Complete(TdcFileParser& parser, bool stopped) = 0;
  // Drops the file of a run that failed before its end.
  virtual void Discard() = 0;
  virtual const std::string& Failure() const = 0;
};

// Creates `finalPath` under its partial name, ready for the records of data type `dataType` (1..5) at
// `resolutionPs`. Null when the file cannot be made, or when this build has no HDF5; `failure` says why.
std::unique_ptr<Hdf5Output> CreateHdf5Output(const std::string& finalPath, const Hdf5Settings& settings,
                                             std::int32_t dataType, std::int32_t resolutionPs, std::string& failure);
// Whether this build can write HDF5 files at all.
bool Hdf5Available();

}  // namespace kestrun
