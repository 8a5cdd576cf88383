#include "cli/CliOptions.h"

#include <CLI/CLI.hpp>
#include <climits>
#include <cmath>
#include <cstdio>
#include <filesystem>

#include "engine/Codes.h"
#include "engine/PathPieces.h"
#include "engine/Platform.h"

namespace kestrun::cli {

namespace {

int UsageError(const std::string& message) {
  std::fprintf(stderr, "kestrun-cli: error: %s\n", message.c_str());
  std::fprintf(stderr, "Run with --help for more information.\n");
  return 2;
}

// "FIRST:LAST" with two integers; false for anything else.
bool ParseRange(const std::string& text, std::int32_t& first, std::int32_t& last) {
  const std::size_t colon = text.find(':');
  if (colon == std::string::npos) return false;
  try {
    std::size_t used = 0;
    const std::string a = text.substr(0, colon), b = text.substr(colon + 1);
    const long x = std::stol(a, &used);
    if (used != a.size()) return false;
    const long y = std::stol(b, &used);
    if (used != b.size()) return false;
    if (x < 0 || y < 0 || x > INT_MAX || y > INT_MAX) return false;
    first = static_cast<std::int32_t>(x);
    last = static_cast<std::int32_t>(y);
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

// A directory without its trailing separator (either one on Windows), short of a root: "/" and "C:\"
// stay as they are, as "C:" would name the working directory of drive C.
std::string WithoutTrailingSeparator(std::string dir) {
  const bool separator = dir.size() > 1 && (dir.back() == '/' || dir.back() == kPathSeparator);
  if (separator && dir[dir.size() - 2] != ':') dir.pop_back();
  return dir;
}

}  // namespace

std::optional<int> ParseCommandLine(int argc, char** argv, CliOptions& options) {
  CLI::App app{"Converts TDC photon-counting data files (a whole numbered series) into text and Photon-HDF5.",
               "kestrun-cli"};
  app.set_version_flag("--version", "kestrun-cli " KESTRUN_VERSION);
  RunSettings common;
  std::vector<std::string> inputs;
  std::string type, device, range;
  std::optional<std::int32_t> resolution;
  std::optional<double> syncRate;
  bool noParsed = false;
  app.add_option("INPUT", inputs, "A .dat file; its numbered series is converted with it (several: one run each)")
      ->required();
  app.add_option("-t,--type", type, "T1, T2, T3, ITTR_T or ITTR_M (default: from the file name)")
      ->check(CLI::IsMember({"T1", "T2", "T3", "ITTR_T", "ITTR_M"}));
  app.add_option("-d,--device", device, "KR77A5, RB9531 or QZ48 (default: from the file name)")
      ->check(CLI::IsMember({"KR77A5", "RB9531", "QZ48"}));
  app.add_option("-r,--resolution", resolution, "Picoseconds per bin (T1, T2, T3; default: from the file name)");
  app.add_option("-o,--output-dir", common.outputDir, "Directory for the output files (default: that of INPUT)");
  app.add_option("--range", range, "Series indexes to convert, FIRST:LAST, inclusive, from 0 (default: all)");
  app.add_flag("--no-parsed", noParsed, "Do not write <name>_parsed.txt");
  app.add_flag("--report", common.generateReport, "Write <name>_report.txt");
  app.add_flag("--overflow", common.outputOverflow, "Output Overflow: add the overflow lines");
  app.add_flag("--packet-info", common.outputPacketInfo, "Output Packet Info: add package head and tail lines");
  app.add_flag("--hdf5", common.hdf5.generate, "Write <name>.hdf5: Photon-HDF5 for T2/T3, histograms or intensities for T1/ITTR");
  app.add_flag("--hdf5-compress", common.hdf5.compress, "Write the HDF5 file compressed (shuffle + deflate); implies --hdf5");
  app.add_option("--sync-rate", syncRate, "Sync (laser) rate in Hz: the timestamp unit of T3 data in Photon-HDF5");
  app.add_option("--description", common.hdf5.description, "Description stored in the HDF5 file (default: made from the input)");
  app.add_flag("-q,--quiet", options.quiet, "No progress display and no summary");
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    return UsageError(e.what());
  }

  common.generateParsed = !noParsed;
  if (common.hdf5.compress) common.hdf5.generate = true;
  if (!common.generateParsed && !common.generateReport && !common.hdf5.generate) {
    return UsageError("Please Select \"Gen Parsed File\" or \"Gen Report\"! (--no-parsed needs --report or --hdf5)");
  }
  if (syncRate) {
    if (!(*syncRate > 0 && std::isfinite(*syncRate))) return UsageError("--sync-rate takes a rate in Hz above 0, such as 40e6");
    common.hdf5.syncRateHz = *syncRate;
  }
  if (!range.empty()) {
    if (!ParseRange(range, common.rangeFirst, common.rangeLast)) {
      return UsageError("--range takes FIRST:LAST, two indexes from 0, such as 0:3");
    }
  } else {
    // The whole series: the same files as 0 to its count minus one, without listing it twice.
    common.rangeFirst = 0;
    common.rangeLast = INT32_MAX;
  }
  std::error_code ec;
  std::string outputDir = common.outputDir;
  if (!outputDir.empty()) {
    outputDir = Utf8Of(std::filesystem::absolute(PathOf(WithoutTrailingSeparator(outputDir)), ec));
  }

  options.runs.clear();
  for (const std::string& input : inputs) {
    RunSettings run = common;
    // An empty word would name no file, and with it no directory for the outputs.
    if (input.empty()) return UsageError("INPUT is empty: name a .dat file");
    run.inputPath = Utf8Of(std::filesystem::absolute(PathOf(input), ec));
    run.outputDir = outputDir;
    if (run.outputDir.empty()) {
      const std::string directory = WithoutTrailingSeparator(SplitPath(run.inputPath).directory);
      run.outputDir = Utf8Of(std::filesystem::absolute(PathOf(directory), ec));
    }
    const std::string named = inputs.size() > 1 ? " (" + input + ")" : "";
    GivenSettings given;
    if (!type.empty()) given.dataType = DataTypeFromText(type);
    if (!device.empty()) given.deviceType = DeviceFromText(device);
    given.resolutionPs = resolution;
    switch (SettingsForInput(run, given)) {
      case MissingSetting::DataType:
        return UsageError("the data type is not given and the file name does not tell it; use -t" + named);
      case MissingSetting::Resolution:
        return UsageError("Resolution Not Specified! (use -r PS)" + named);
      case MissingSetting::None:
        break;
    }
    if (run.hdf5.generate && run.dataType == kDataTypeT3 && run.hdf5.syncRateHz <= 0) {
      return UsageError("T3 data in Photon-HDF5 need the sync rate: add --sync-rate HZ (the laser's repetition rate)" +
                        named);
    }
    options.runs.push_back(std::move(run));
  }
  return std::nullopt;
}

}  // namespace kestrun::cli
