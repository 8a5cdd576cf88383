#pragma once
// Where the requested faults go: each waits for a position in the stream, spread evenly over the
// requested size, and is injected by the data family at its first chance after that position.

#include <cstdint>
#include <string>
#include <vector>

#include "tools/synth/Random.h"
#include "tools/synth/SynthOptions.h"

namespace kestrun::synth {

struct InjectedFault {
  FaultKind kind;
  std::uint64_t byte;  // offset in the whole stream of the first word the fault touched
  int file;            // file number, from 1
  std::string text;    // the error text the report shows, empty for none
};

class FaultPlan {
 public:
  FaultPlan(const std::vector<FaultKind>& faults, std::uint64_t size, Random& random);

  // True when a fault of `kind` waits and the stream has reached its position.
  bool Due(FaultKind kind, std::uint64_t byte) const;
  // Records the first waiting fault of `kind` as injected.
  void Injected(FaultKind kind, std::uint64_t byte, int file, std::string text);
  bool Pending() const { return !waiting_.empty(); }
  const std::vector<InjectedFault>& Done() const { return done_; }

 private:
  struct Waiting {
    FaultKind kind;
    std::uint64_t at;
  };
  std::vector<Waiting> waiting_;
  std::vector<InjectedFault> done_;
};

}  // namespace kestrun::synth
