#include "tools/synth/CommandLine.h"

#include <CLI/CLI.hpp>

#include <cctype>
#include <cstdio>
#include <map>

namespace kestrun::synth {

namespace {

const std::map<std::string, DataType> kTypes = {{"T1", DataType::T1},
                                                {"T2", DataType::T2},
                                                {"T3", DataType::T3},
                                                {"ITTR_T", DataType::IttrT},
                                                {"ITTR_M", DataType::IttrM}};
const std::map<std::string, Model> kModels = {
    {"KR77A5", Model::KR77A5}, {"RB9531", Model::RB9531}, {"QZ48", Model::QZ48}, {"QZ8B48", Model::QZ48}};
const std::map<std::string, FaultKind> kFaults = {
    {"serial-gap", FaultKind::SerialGap}, {"length", FaultKind::Length},         {"sync-gap", FaultKind::SyncGap},
    {"junk", FaultKind::Junk},            {"lead-gap", FaultKind::LeadGap},      {"overflow-gap", FaultKind::OverflowGap},
    {"overflow-count", FaultKind::OverflowCount}};

int UsageError(const std::string& text) {
  std::fprintf(stderr, "kestrun-synth: error: %s\n", text.c_str());
  return 2;
}

std::string Possible(const SynthOptions& o) {
  std::string names;
  for (FaultKind k : FaultsFor(o)) names += (names.empty() ? "" : ", ") + std::string(FaultName(k));
  return names.empty() ? "none" : names;
}

// "serial-gap,length:2" gives serial-gap, length, length.
std::optional<int> ParseFaults(const std::string& list, SynthOptions& o) {
  for (const std::string& item : CLI::detail::split(list, ',')) {
    if (item.empty()) continue;
    const std::size_t colon = item.find(':');
    const std::string name = item.substr(0, colon);
    int count = 1;
    if (colon != std::string::npos) {
      const std::string n = item.substr(colon + 1);
      if (n.empty() || n.size() > 4 || n.find_first_not_of("0123456789") != std::string::npos)
        return UsageError("bad fault count in '" + item + "'");
      count = std::stoi(n);
    }
    const auto it = kFaults.find(name);
    if (it == kFaults.end()) return UsageError("unknown fault '" + name + "' (known: " + Possible(o) + ")");
    bool applies = false;
    for (FaultKind k : FaultsFor(o)) applies = applies || k == it->second;
    if (!applies)
      return UsageError("fault '" + name + "' does not apply to " + TypeName(o.type) + " data of " + ModelName(o.model) +
                        " (possible: " + Possible(o) + ")");
    for (int i = 0; i < count; ++i) o.faults.push_back(it->second);
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::uint64_t> ParseSize(const std::string& text) {
  std::size_t digits = 0;
  while (digits < text.size() && std::isdigit(static_cast<unsigned char>(text[digits]))) ++digits;
  if (digits == 0 || digits > 15) return std::nullopt;
  std::uint64_t value = std::stoull(text.substr(0, digits));
  std::string unit = text.substr(digits);
  for (char& ch : unit) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
  if (unit == "K" || unit == "KB" || unit == "KIB") value <<= 10;
  else if (unit == "M" || unit == "MB" || unit == "MIB") value <<= 20;
  else if (unit == "G" || unit == "GB" || unit == "GIB") value <<= 30;
  else if (!unit.empty() && unit != "B") return std::nullopt;
  if (value > (std::uint64_t{1} << 40)) return std::nullopt;
  return value;
}

std::optional<int> ParseCommandLine(int argc, char** argv, SynthOptions& o) {
  CLI::App app("Writes realistic TDC data files of every data type and layout, for trying out and testing the "
               "converter.",
               "kestrun-synth");
  std::string type, model, size = "4M", faults;
  app.add_option("-t,--type", type, "T1, T2, T3, ITTR_T or ITTR_M")->required();
  app.add_option("-d,--device", model, "KR77A5, RB9531 or QZ48 (QZ48 writes packaged T2/T3)")->required();
  app.add_option("-r,--resolution", o.resolutionPs, "picoseconds per bin (T1, T2, T3)")->capture_default_str();
  app.add_option("--size", size, "bytes in all, at least (suffixes K, M, G)")->capture_default_str();
  app.add_option("--files", o.files, "number of files of the series")->capture_default_str()->check(CLI::Range(1, 9999));
  app.add_option("--seed", o.seed, "seed; the same seed writes the same bytes")->capture_default_str();
  app.add_option("--faults", faults, "faults to inject, comma-separated, NAME or NAME:COUNT: serial-gap, length, "
                                     "sync-gap, junk (T2/T3); serial-gap, junk, lead-gap, overflow-gap, "
                                     "overflow-count (ITTR)");
  app.add_option("--board", o.board, "board number of the stream (T2, T3, ITTR)")->capture_default_str()->check(
      CLI::Range(0, 15));
  app.add_option("-o,--output-dir", o.outputDir, "directory to write into (created if missing)")->capture_default_str();
  app.add_option("--manifest", o.manifestPath, "write what was written to this file (- for standard output)");
  app.add_option("NAME", o.name, "series name; default: the instruments' naming, from which the converter "
                                 "derives device, type and resolution");
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    // Help and version print and succeed; every other parse failure is a usage error.
    return app.exit(e) == 0 ? 0 : 2;
  }

  const auto t = kTypes.find(type);
  if (t == kTypes.end()) return UsageError("unknown data type '" + type + "' (T1, T2, T3, ITTR_T or ITTR_M)");
  o.type = t->second;
  const auto m = kModels.find(model);
  if (m == kModels.end()) return UsageError("unknown device model '" + model + "' (KR77A5, RB9531 or QZ48)");
  o.model = m->second;
  if (!IsIttr(o.type) && o.resolutionPs <= 0) return UsageError("the resolution must be above 0 ps");
  if (IsIttr(o.type) && o.resolutionPs <= 0) o.resolutionPs = 16;
  const auto bytes = ParseSize(size);
  if (!bytes) return UsageError("bad size '" + size + "' (bytes, or a number with K, M or G)");
  o.size = *bytes;
#ifdef _WIN32
  constexpr const char* kSeparators = "/\\:";
#else
  constexpr const char* kSeparators = "/";
#endif
  if (o.name.find_first_of(kSeparators) != std::string::npos || o.name == "." || o.name == "..")
    return UsageError("NAME is a file name, not a path; use -o for the directory");
  return ParseFaults(faults, o);
}

}  // namespace kestrun::synth
