#pragma once
// The command line of kestrun-cli, parsed into the settings of its conversion runs (one per series).

#include <optional>
#include <vector>

#include "engine/RunSettings.h"

namespace kestrun::cli {

struct CliOptions {
  std::vector<RunSettings> runs;  // one per INPUT, in order; output directory by default that of the input
  bool quiet = false;
};

// Parses argv into `options`, deriving what is not given from each file's name. Returns nullopt when
// the runs may go on, otherwise the exit status to end with (0 after --help/--version, 2 for a usage error,
// whose message has been printed to standard error).
std::optional<int> ParseCommandLine(int argc, char** argv, CliOptions& options);

}  // namespace kestrun::cli
