#include "tools/synth/SynthOptions.h"

#include <filesystem>

#include "engine/Platform.h"

namespace kestrun::synth {

const char* TypeName(DataType type) {
  switch (type) {
    case DataType::T1: return "T1";
    case DataType::T2: return "T2";
    case DataType::T3: return "T3";
    case DataType::IttrT: return "ITTR_T";
    case DataType::IttrM: return "ITTR_M";
  }
  return "";
}

const char* ModelName(Model model) {
  switch (model) {
    case Model::KR77A5: return "KR77A5";
    case Model::RB9531: return "RB9531";
    case Model::QZ48: return "QZ48";
  }
  return "";
}

const char* FaultName(FaultKind kind) {
  switch (kind) {
    case FaultKind::SerialGap: return "serial-gap";
    case FaultKind::Length: return "length";
    case FaultKind::SyncGap: return "sync-gap";
    case FaultKind::Junk: return "junk";
    case FaultKind::LeadGap: return "lead-gap";
    case FaultKind::OverflowGap: return "overflow-gap";
    case FaultKind::OverflowCount: return "overflow-count";
  }
  return "";
}

bool IsTttr(DataType type) { return type == DataType::T2 || type == DataType::T3; }
bool IsIttr(DataType type) { return type == DataType::IttrT || type == DataType::IttrM; }
bool IsPackaged(const SynthOptions& o) { return IsTttr(o.type) && o.model == Model::QZ48; }

std::vector<FaultKind> FaultsFor(const SynthOptions& o) {
  using F = FaultKind;
  if (IsPackaged(o)) return {F::SerialGap, F::Length, F::SyncGap, F::Junk};
  if (IsTttr(o.type)) return {F::SyncGap, F::Junk};
  if (IsIttr(o.type)) return {F::SerialGap, F::Junk, F::LeadGap, F::OverflowGap, F::OverflowCount};
  return {};  // T1 frames carry no integrity information
}

std::string DefaultName(const SynthOptions& o) {
  const std::string seed = "seed" + std::to_string(o.seed);
  const std::string count = "n" + std::to_string(o.files);
  const std::string resolution = std::to_string(o.resolutionPs) + "ps";
  const std::string typePieces = IsIttr(o.type) ? std::string(o.type == DataType::IttrT ? "ITTR_T" : "ITTR_M")
                                                : std::string(TypeName(o.type)) + "_" + resolution;
  if (o.model == Model::RB9531) return std::string("RB9531_") + typePieces + "_synth_" + seed + "_" + count;
  return std::string(ModelName(o.model)) + "_synth_" + typePieces + "_" + seed + "_b" + std::to_string(o.board) + "_" +
         count;
}

std::vector<std::string> SeriesPaths(const SynthOptions& o) {
  const std::string name = o.name.empty() ? DefaultName(o) : o.name;
  const std::filesystem::path dir = PathOf(o.outputDir);
  std::vector<std::string> paths;
  if (o.files == 1 && !o.name.empty()) {
    paths.push_back(Utf8Of(dir / PathOf(name + ".dat")));
    return paths;
  }
  for (int i = 1; i <= o.files; ++i) paths.push_back(Utf8Of(dir / PathOf(name + "_" + std::to_string(i) + ".dat")));
  return paths;
}

}  // namespace kestrun::synth
