#pragma once
// The data families. Each writes a whole realistic stream of its type into the writer, injects the
// planned faults at their first chance, and records what it wrote in the manifest. Each goes on until
// the requested size is reached, the last file has begun and every fault is in.

#include "tools/synth/FaultPlan.h"
#include "tools/synth/Manifest.h"
#include "tools/synth/Random.h"
#include "tools/synth/SynthOptions.h"
#include "tools/synth/WordWriter.h"

namespace kestrun::synth {

struct SynthContext {
  const SynthOptions& options;
  WordWriter& out;
  Random& random;
  FaultPlan& faults;
  Manifest& manifest;

  bool Done() const { return out.Bytes() >= options.size && out.OnLastFile() && !faults.Pending(); }
  bool FaultDue(FaultKind kind) const { return faults.Due(kind, out.Bytes()); }
  void FaultInjected(FaultKind kind, std::string text) {
    faults.Injected(kind, out.Bytes(), out.FileNumber(), std::move(text));
  }
};

void SynthesizeTttrPackaged(SynthContext& c);  // T2/T3 of QZ48
void SynthesizeTttrPlain(SynthContext& c);     // T2/T3 of KR77A5 and RB9531
void SynthesizeT1(SynthContext& c);
void SynthesizeIttr(SynthContext& c);          // ITTR_T and ITTR_M

}  // namespace kestrun::synth
