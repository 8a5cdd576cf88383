// kestrun-synth: writes sample data files of every data type and device layout, with an optional
// manifest of what they hold, and injects integrity faults on request.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>

#include "engine/Platform.h"
#include "tools/synth/CommandLine.h"
#include "tools/synth/FaultPlan.h"
#include "tools/synth/Manifest.h"
#include "tools/synth/Random.h"
#include "tools/synth/Synthesizers.h"
#include "tools/synth/WordWriter.h"

namespace {

using namespace kestrun::synth;

int Fail(const std::string& text) {
  std::fprintf(stderr, "kestrun-synth: error: %s\n", text.c_str());
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  SynthOptions options;
  std::vector<std::string> arguments = kestrun::Utf8Arguments(argc, argv);
  std::vector<char*> words;
  for (std::string& argument : arguments) words.push_back(argument.data());
  if (auto exitCode = ParseCommandLine(static_cast<int>(words.size()), words.data(), options)) return *exitCode;

  std::error_code ec;
  std::filesystem::create_directories(kestrun::PathOf(options.outputDir), ec);
  if (ec) return Fail("cannot create directory " + options.outputDir + ": " + ec.message());

  WordWriter out(SeriesPaths(options), options.size);
  Random random(options.seed);
  // Fault positions draw from their own stream, so a seed writes the same data up to the first fault.
  Random planRandom(options.seed ^ 0x6B65737472756E00ull);
  FaultPlan faults(options.faults, options.size, planRandom);
  Manifest manifest;
  SynthContext context{options, out, random, faults, manifest};
  switch (options.type) {
    case DataType::T1: SynthesizeT1(context); break;
    case DataType::T2:
    case DataType::T3: IsPackaged(options) ? SynthesizeTttrPackaged(context) : SynthesizeTttrPlain(context); break;
    case DataType::IttrT:
    case DataType::IttrM: SynthesizeIttr(context); break;
  }
  std::string error;
  if (!out.Finish(error)) return Fail(error);

  if (options.manifestPath == "-") {
    manifest.Write(std::cout, options, out.Files(), faults.Done());
  } else {
    for (const WrittenFile& f : out.Files()) std::cout << f.path << "\n";
    if (!options.manifestPath.empty()) {
      std::ofstream file(kestrun::PathOf(options.manifestPath), std::ios::binary | std::ios::trunc);
      manifest.Write(file, options, out.Files(), faults.Done());
      file.close();
      if (!file) return Fail("cannot write " + options.manifestPath);
    }
  }
  std::cout.flush();
  return std::cout ? 0 : 1;
}
