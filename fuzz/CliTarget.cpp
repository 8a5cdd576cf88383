// Fuzz target of kestrun-cli's command line, its words split at NUL and newline bytes. Aborts when parsing
// ends with another status than 0 (help, version) or 2 (usage error), or accepts what a run cannot take.
#include <cstdint>
#include <string>
#include <vector>

#include "cli/CliOptions.h"
#include "engine/Codes.h"
#include "fuzz/FuzzDriver.h"

using kestrun::fuzz::Check;
constexpr std::size_t kMaxWords = 64;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<std::string> words = {"kestrun-cli", ""};
  for (std::size_t i = 0; i < size && words.size() <= kMaxWords; ++i) {
    const char c = static_cast<char>(data[i]);
    if (c == '\0' || c == '\n') words.emplace_back();
    else words.back() += c;
  }
  if (words.back().empty() || words.size() > kMaxWords) words.pop_back();
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);

  kestrun::cli::CliOptions options;
  const std::optional<int> status = kestrun::cli::ParseCommandLine(static_cast<int>(words.size()), argv.data(), options);
  if (status) {
    Check(*status == 0 || *status == 2, "exit status other than 0 or 2");
    return 0;
  }
  Check(!options.runs.empty(), "accepted without a run");
  for (const kestrun::RunSettings& r : options.runs) {
    Check(r.dataType >= kestrun::kDataTypeT1 && r.dataType <= kestrun::kDataTypeIttrM, "accepted without a data type");
    Check(r.deviceType == kestrun::kDeviceKR77A5 || r.deviceType == kestrun::kDeviceRB9531 ||
              r.deviceType == kestrun::kDeviceQZ48,
          "accepted without a device");
    Check(r.dataType > kestrun::kDataTypeT3 || r.resolutionPs > 0, "accepted without a resolution");
    Check(r.rangeFirst >= 0 && r.rangeLast >= 0, "accepted a negative range");
    Check(r.generateParsed || r.generateReport || r.hdf5.generate, "accepted with no output asked for");
    Check(!r.hdf5.generate || r.dataType != kestrun::kDataTypeT3 || r.hdf5.syncRateHz > 0,
          "accepted T3 Photon-HDF5 without a sync rate");
    Check(!r.inputPath.empty() && r.inputPath.front() == '/', "input path not absolute");
    Check(!r.outputDir.empty() && r.outputDir.front() == '/', "output directory not absolute");
  }
  return 0;
}
