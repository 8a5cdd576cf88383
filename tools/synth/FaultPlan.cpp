#include "tools/synth/FaultPlan.h"

namespace kestrun::synth {

FaultPlan::FaultPlan(const std::vector<FaultKind>& faults, std::uint64_t size, Random& random) {
  const std::uint64_t slots = faults.size() + 1;
  for (std::size_t i = 0; i < faults.size(); ++i) {
    // Evenly spread, each moved by up to a fifth of its slot so that seeds differ.
    const std::uint64_t slot = size / slots;
    const std::uint64_t at = slot * (i + 1) - slot / 10 + random.Below(slot / 5 + 1);
    waiting_.push_back({faults[i], at});
  }
}

bool FaultPlan::Due(FaultKind kind, std::uint64_t byte) const {
  for (const Waiting& w : waiting_)
    if (w.kind == kind && byte >= w.at) return true;
  return false;
}

void FaultPlan::Injected(FaultKind kind, std::uint64_t byte, int file, std::string text) {
  for (auto it = waiting_.begin(); it != waiting_.end(); ++it) {
    if (it->kind != kind) continue;
    waiting_.erase(it);
    done_.push_back({kind, byte, file, std::move(text)});
    return;
  }
}

}  // namespace kestrun::synth
