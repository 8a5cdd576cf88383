#pragma once
// The command line of kestrun-synth.

#include <optional>

#include "tools/synth/SynthOptions.h"

namespace kestrun::synth {

// Fills `options`; returns the exit status when the program should end at once (help, usage error).
std::optional<int> ParseCommandLine(int argc, char** argv, SynthOptions& options);

// "4M", "512k", "1G", "1000" (K, M and G are 1024-based); nullopt when it is not a size.
std::optional<std::uint64_t> ParseSize(const std::string& text);

}  // namespace kestrun::synth
