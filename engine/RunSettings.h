#pragma once
// The settings of one conversion run, as either front end fills them in.

#include <cstdint>
#include <optional>
#include <string>

#include "engine/TdcFileParser.h"

namespace kestrun {

struct RunSettings {
  std::string inputPath;  // absolute, UTF-8
  std::string outputDir;  // absolute, UTF-8
  bool generateParsed = true;
  bool generateReport = false;
  bool outputOverflow = false;
  bool outputPacketInfo = false;
  std::int32_t dataType = -1;
  std::int32_t deviceType = -1;
  std::int32_t resolutionPs = 0;
  std::int32_t rangeFirst = 0;
  std::int32_t rangeLast = 0;
  Hdf5Settings hdf5;

  // Copies every setting into the parser's fields; call only while no run is going on.
  void ApplyTo(TdcFileParser& parser) const {
    parser.inputPath = inputPath;
    parser.outputDir = outputDir;
    parser.generateParsed = generateParsed;
    parser.generateReport = generateReport;
    parser.outputOverflow = outputOverflow;
    parser.outputPacketInfo = outputPacketInfo;
    parser.dataType = dataType;
    parser.deviceType = deviceType;
    parser.resolutionPs = resolutionPs;
    parser.rangeFirst = rangeFirst;
    parser.rangeLast = rangeLast;
    parser.hdf5 = hdf5;
  }
};

// Settings a user may give for a run; what is not given comes from the input file's name.
struct GivenSettings {
  std::optional<std::int32_t> dataType;    // 1..5
  std::optional<std::int32_t> deviceType;  // a device code
  std::optional<std::int32_t> resolutionPs;
};
enum class MissingSetting { None, DataType, Resolution };

// Sets the data type, device and resolution of `run` from `given`, and what is not given from the
// stem of run.inputPath as the instruments name their files. Says what neither gave.
MissingSetting SettingsForInput(RunSettings& run, const GivenSettings& given);

}  // namespace kestrun
