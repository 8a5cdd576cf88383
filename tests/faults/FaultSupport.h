#pragma once
// Shared by the fault tests: the data streams they convert, and kestrun-cli's answer as one string.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "support/Conversion.h"

namespace kestrun::faults {

using namespace test;

inline constexpr std::size_t kMiB = 1'048'576;

// Every decoder (data type, device): T1, packaged and plain T2 and T3, both ITTR types.
inline constexpr std::pair<std::int32_t, std::int32_t> kKinds[] = {{1, 1},  {2, 3}, {2, 1}, {3, 3},
                                                                  {3, 64}, {4, 1}, {5, 64}};

// Packages of mostly sync overflow words (no lines without the overflow flag) with an event every
// 16th word, so that a run's text stays small while every block still carries lines and state.
inline std::vector<std::uint32_t> QuietT2(int packages) {
  std::vector<std::uint32_t> words{0xEB90B712};
  std::uint32_t overflow = 0;
  for (int p = 0; p < packages; ++p) {
    words.push_back(0xC0000000u | (1024u << 10) | static_cast<std::uint32_t>(p % 1024));
    for (std::uint32_t i = 0; i < 1024; ++i) {
      words.push_back(i % 16 == 0 ? ((i / 16 % 8) << 25) | (i * 977 + static_cast<std::uint32_t>(p))
                                  : 0xFE000000u | (++overflow & 1023));
    }
    words.push_back(0xC8000000u);
  }
  return words;
}

// A run's status and its two outputs as one string.
inline std::string Whole(const Outputs& o) { return "status " + std::to_string(o.status) + "\n" + o.parsed + o.report; }

// kestrun-cli -q converting `c`: "exit N: " and everything it printed.
inline std::string CliQuiet(const Conversion& c) {
  const CommandResult r = Cli("-q " + CliArguments(c));
  return "exit " + std::to_string(r.exitCode) + ": " + r.out + r.err;
}

}  // namespace kestrun::faults
