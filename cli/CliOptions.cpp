#include "cli/CliOptions.h"

#include <CLI/CLI.hpp>
#include <climits>
#include <cstdio>
#include <filesystem>

#include "engine/Codes.h"
#include "engine/NameRules.h"
#include "engine/PathPieces.h"

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

}  // namespace

std::optional<int> ParseCommandLine(int argc, char** argv, CliOptions& options) {
  CLI::App app{"Converts TDC photon-counting data files (a whole numbered series) into text.", "kestrun-cli"};
  app.set_version_flag("--version", "kestrun-cli " KESTRUN_VERSION);
  std::string type, device, range;
  std::optional<std::int32_t> resolution;
  bool noParsed = false;
  app.add_option("INPUT", options.run.inputPath, "A .dat file; its numbered series is converted with it")->required();
  app.add_option("-t,--type", type, "T1, T2, T3, ITTR_T or ITTR_M (default: from the file name)")
      ->check(CLI::IsMember({"T1", "T2", "T3", "ITTR_T", "ITTR_M"}));
  app.add_option("-d,--device", device, "KR77A5, RB9531 or QZ48 (default: from the file name)")
      ->check(CLI::IsMember({"KR77A5", "RB9531", "QZ48"}));
  app.add_option("-r,--resolution", resolution, "Picoseconds per bin (T1, T2, T3; default: from the file name)");
  app.add_option("-o,--output-dir", options.run.outputDir, "Directory for the output files (default: that of INPUT)");
  app.add_option("--range", range, "Series indexes to convert, FIRST:LAST, inclusive, from 0 (default: all)");
  app.add_flag("--no-parsed", noParsed, "Do not write <name>_parsed.txt");
  app.add_flag("--report", options.run.generateReport, "Write <name>_report.txt");
  app.add_flag("--overflow", options.run.outputOverflow, "Output Overflow: add the overflow lines");
  app.add_flag("--packet-info", options.run.outputPacketInfo, "Output Packet Info: add package head and tail lines");
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

  // An empty word would name no file, and with it no directory for the outputs.
  if (options.run.inputPath.empty()) return UsageError("INPUT is empty: name a .dat file");
  std::error_code ec;
  options.run.inputPath = std::filesystem::absolute(options.run.inputPath, ec).string();
  if (options.run.outputDir.empty()) options.run.outputDir = SplitPath(options.run.inputPath).directory;
  if (options.run.outputDir.size() > 1 && options.run.outputDir.back() == kPathSeparator) options.run.outputDir.pop_back();
  options.run.outputDir = std::filesystem::absolute(options.run.outputDir, ec).string();
  options.run.generateParsed = !noParsed;
  if (!options.run.generateParsed && !options.run.generateReport) {
    return UsageError("Please Select \"Gen Parsed File\" or \"Gen Report\"! (--no-parsed needs --report)");
  }

  const NameSettings fromName = SettingsFromName(SplitPath(options.run.inputPath).stem);
  if (!type.empty()) {
    options.run.dataType = DataTypeFromText(type);
  } else if (fromName.dataTypeIndex) {
    options.run.dataType = *fromName.dataTypeIndex + 1;
  } else {
    return UsageError("the data type is not given and the file name does not tell it; use -t");
  }
  options.run.deviceType = DeviceFromText(device.empty() ? kDeviceItems[static_cast<std::size_t>(fromName.deviceIndex)] : device);
  if (resolution) {
    options.run.resolutionPs = *resolution;
  } else if (fromName.resolutionText) {
    options.run.resolutionPs = LeadingInteger(*fromName.resolutionText);
  }
  if (options.run.dataType <= kDataTypeT3 && options.run.resolutionPs <= 0) {
    return UsageError("Resolution Not Specified! (use -r PS)");
  }

  if (!range.empty()) {
    if (!ParseRange(range, options.run.rangeFirst, options.run.rangeLast)) {
      return UsageError("--range takes FIRST:LAST, two indexes from 0, such as 0:3");
    }
  } else {
    // The whole series: the same files as 0 to its count minus one, without listing it twice.
    options.run.rangeFirst = 0;
    options.run.rangeLast = INT32_MAX;
  }
  return std::nullopt;
}

}  // namespace kestrun::cli
