#pragma once
// The command line of kestrun-cli, parsed into the settings of one conversion run.

#include <cstdint>
#include <optional>
#include <string>

namespace kestrun::cli {

struct CliOptions {
  std::string input;             // absolute
  std::string outputDir;         // absolute; default: the directory of input
  std::int32_t dataType = -1;
  std::int32_t deviceType = -1;
  std::int32_t resolutionPs = 0;
  std::int32_t rangeFirst = 0;
  std::int32_t rangeLast = 0;
  bool generateParsed = true;
  bool generateReport = false;
  bool outputOverflow = false;
  bool outputPacketInfo = false;
  bool quiet = false;
};

// Parses argv into `options`, deriving what is not given from the file name. Returns nullopt when the
// run may go on, otherwise the exit status to end with (0 after --help/--version, 2 for a usage error,
// whose message has been printed to standard error).
std::optional<int> ParseCommandLine(int argc, char** argv, CliOptions& options);

}  // namespace kestrun::cli
