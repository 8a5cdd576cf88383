#pragma once
// What a synthesizer run wrote, in the terms of the converter's report: the counts the report prints
// and the error texts the injected faults must produce. Written as "key: value" lines.

#include <cstdint>
#include <map>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "tools/synth/FaultPlan.h"
#include "tools/synth/SynthOptions.h"
#include "tools/synth/WordWriter.h"

namespace kestrun::synth {

class Manifest {
 public:
  // A fact of the data family, printed as "key: value" in the order added.
  void Add(const std::string& key, const std::string& value) { facts_.emplace_back(key, value); }
  void Add(const std::string& key, std::uint64_t value) { Add(key, std::to_string(value)); }
  // One row of the report's event table: board as the report prints it, channel, count (and, for T1,
  // "MAX@BIN").
  void AddEvents(std::int32_t board, std::int32_t channel, std::uint64_t count, const std::string& extra = {});
  // An error text the report shows that no single injected fault owns (the ITTR consistency test).
  void AddExpectedError(std::string text) { extraErrors_.push_back(std::move(text)); }

  void Write(std::ostream& out, const SynthOptions& options, const std::vector<WrittenFile>& files,
             const std::vector<InjectedFault>& faults) const;

 private:
  std::vector<std::pair<std::string, std::string>> facts_;
  std::vector<std::string> events_;
  std::uint64_t totalEvents_ = 0;
  std::vector<std::string> extraErrors_;
};

// The text with tab, line feed and backslash written as \t, \n and \\ so that it fits on one line.
std::string Escape(const std::string& text);

}  // namespace kestrun::synth
