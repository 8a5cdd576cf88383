// Fuzz target of a whole conversion: TdcFileParser::Run over a series of 1 to 4 files with settings the
// input chooses, on a fresh parser or one kept from input to input, as a front end runs them. Aborts on a
// status the situation does not allow, files left but the outputs, or a successful run's text, byte count
// or report differing from the block decoders fed the same blocks directly.
// Input: four settings bytes, a 2-byte size per file (low byte first), then the files' bytes in turn.
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/Codes.h"
#include "engine/NameRules.h"
#include "engine/PathPieces.h"
#include "engine/RunSettings.h"
#include "engine/TdcFileParser.h"
#include "fuzz/FuzzDriver.h"

namespace {

namespace fs = std::filesystem;
using namespace kestrun;
using fuzz::Check;

// Names of the files, %d their number: the name rules' eight- and seven-piece names, series marked by "_"
// or "s", zero-padded numbers, ".DAT", dots in the stem, and names that make no series.
struct NamePattern { const char* pattern; bool series; };
constexpr NamePattern kNames[] = {
    {"QZ48A_lab_T2_16ps_a_b_c_%d.dat", true}, {"RB9531_T3_4ps_a_b_c_%d.dat", true}, {"KR_x_T1_25ps_a_b_c_%d.dat", true},
    {"KR_x_ITTR_M_a_b_c_%d.dat", true},       {"run_%d.dat", true},                  {"tests%d.dat", true},
    {"scan_%03d.DAT", true},                  {"run.v2_%d.dat", true},               {"x_s%d.dat", true},
    {"shot_%d_a.dat", false},                 {"m.%d.dat", false},                   {"RB9531_T2_2ps_a_b_c_%d.x.dat", false},
};
// Numbers of files 1 to 4: series order is 1, 2, 9, 10, unlike the order of their names.
constexpr int kNumbers[] = {1, 10, 2, 9};

constexpr std::int32_t kTypes[] = {1, 2, 3, 4, 5, 2, 3, -1};
constexpr std::int32_t kDevices[] = {kDeviceKR77A5, kDeviceRB9531, kDeviceQZ48, -1};
constexpr std::int32_t kResolutions[] = {16, 4, 25, 1, 0, -1, INT32_MAX, 333};
constexpr std::int32_t kRanges[][2] = {{0, INT32_MAX}, {0, 0}, {1, INT32_MAX}, {0, 1}, {1, 2}, {2, 1}, {3, 3}, {0, 100000}};
constexpr std::size_t kCapacities[] = {4096, 16384, 65536, 1 << 20};
enum OutputChoice { kBesideInput, kSubdirectory, kMissingDirectory, kTrailingSeparator };

struct Settings : RunSettings {
  bool overlapIo = false, fromName = false, freshParser = false;
  int capacityIndex = 0, output = kBesideInput;
};

struct InputFile { std::string name; int number; std::string bytes; };

// Made once per process, in memory-backed storage where there is some, and removed with the process's
// statics (a handler given to atexit while the path was being made would run after the path is gone).
struct Scratch {
  fs::path path;
  ~Scratch() {
    std::error_code ec;
    fs::remove_all(path, ec);
  }
};
const fs::path& ScratchDir() {
  static const Scratch dir = [] {
    std::error_code ec;
    const fs::path d = (fs::is_directory("/dev/shm", ec) ? fs::path("/dev/shm") : fs::temp_directory_path()) /
                       ("kestrun-fuzz-run-" + std::to_string(::getpid()));
    fs::remove_all(d, ec);
    fs::create_directories(d);
    return Scratch{d};
  }();
  return dir.path;
}

std::string Read(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

Settings ReadSettings(const std::uint8_t* b) {
  Settings s;
  s.dataType = kTypes[b[0] & 7];
  s.deviceType = kDevices[(b[0] >> 3) & 3];
  s.resolutionPs = kResolutions[b[0] >> 5];
  s.generateParsed = b[1] & 1;
  s.generateReport = b[1] & 2;
  s.outputOverflow = b[1] & 4;
  s.outputPacketInfo = b[1] & 8;
  // One input in eight: its thread costs more than the rest of a small run.
  s.overlapIo = (b[1] & 16) && (b[1] & 64) && (b[3] & 128);
  s.fromName = b[1] & 32;
  s.rangeFirst = kRanges[b[3] & 7][0];
  s.rangeLast = kRanges[b[3] & 7][1];
  s.capacityIndex = (b[3] >> 3) & 3;
  // One input in 32, with the smallest text area: a fresh parser's first-run allocations cost most.
  s.freshParser = (b[1] >> 6) == 3 && (b[3] >> 7) != 0 && s.capacityIndex == 0;
  s.output = (b[3] >> 5) & 3;
  return s;
}

void ConvertAndCheck(const std::uint8_t* data, std::size_t size) {
  if (size < 4) return;
  Settings s = ReadSettings(data);
  const NamePattern& pattern = kNames[(data[2] & 15) % std::size(kNames)];
  const std::size_t count = 1 + (data[2] >> 6);
  const std::size_t chosen = ((data[2] >> 4) & 3) % count;
  std::vector<InputFile> files(count);
  for (std::size_t i = 0, at = std::min(4 + 2 * count, size); i < count; ++i) {
    char name[64];
    std::snprintf(name, sizeof name, pattern.pattern, kNumbers[i]);
    const std::size_t sizeAt = 4 + 2 * i, wanted = sizeAt + 1 < size ? data[sizeAt] | data[sizeAt + 1] << 8 : 0;
    const std::size_t n = std::min(wanted, size - at);
    files[i] = {name, kNumbers[i], std::string(reinterpret_cast<const char*>(data + at), n)};
    at += n;
  }

  const fs::path& dir = ScratchDir();
  std::error_code ec;
  for (const InputFile& f : files) std::ofstream(dir / f.name, std::ios::binary) << f.bytes;
  s.outputDir = dir.string();
  if (s.output == kSubdirectory || s.output == kMissingDirectory) s.outputDir += "/out";
  if (s.output == kSubdirectory) fs::create_directory(s.outputDir);
  if (s.output == kTrailingSeparator) s.outputDir += "/";
  s.inputPath = (dir / files[chosen].name).string();
  const std::string stem = SplitPath(s.inputPath).stem;
  if (s.fromName) {  // the type, device and resolution the name decides, as the front ends take them
    const NameSettings n = SettingsFromName(stem);
    if (n.dataTypeIndex) s.dataType = *n.dataTypeIndex + 1;
    s.deviceType = DeviceFromText(kDeviceItems[static_cast<std::size_t>(n.deviceIndex)]);
    if (n.resolutionText) s.resolutionPs = LeadingInteger(*n.resolutionText);
  }

  // The chosen file alone, or the non-empty files of its series in number order, cut to the range.
  std::vector<const InputFile*> converted;
  if (!pattern.series) {
    converted.push_back(&files[chosen]);
  } else {
    for (const InputFile& f : files) converted.push_back(&f);
    std::erase_if(converted, [](const InputFile* f) { return f->bytes.empty(); });
    std::sort(converted.begin(), converted.end(), [](auto* a, auto* b) { return a->number < b->number; });
    const auto first = std::min<std::size_t>(static_cast<std::size_t>(s.rangeFirst), converted.size());
    const auto last = std::min<std::size_t>(static_cast<std::size_t>(s.rangeLast) + 1u, converted.size());
    converted = std::vector<const InputFile*>(converted.begin() + first, converted.begin() + std::max(first, last));
  }
  // The failures the situation allows; none means the run must succeed.
  std::set<std::int32_t> failures;
  if (s.output == kMissingDirectory) failures.insert(4);
  if (converted.empty()) failures.insert(7);
  if (!converted.empty() && s.dataType == -1) failures.insert(1);
  if (!converted.empty() && s.deviceType == -1) failures.insert(2);
  const bool success = failures.empty();
  // What the block decoders make of the files, each one block (under 64 KiB, as the run reads them).
  std::vector<std::string_view> blocks;
  for (const InputFile* f : converted) blocks.push_back(f->bytes);
  static DecoderState direct;
  const auto [text, report] =
      success ? fuzz::DecodeChecked(direct, {s.dataType, s.deviceType, s.resolutionPs, s.outputPacketInfo},
                                    s.generateParsed, s.outputOverflow, 4096, blocks)
              : std::pair<std::string, std::string>();

  static std::unique_ptr<TdcFileParser> kept[std::size(kCapacities)];
  std::unique_ptr<TdcFileParser> fresh;
  std::unique_ptr<TdcFileParser>& slot = s.freshParser ? fresh : kept[s.capacityIndex];
  if (!slot) {
    slot = std::make_unique<TdcFileParser>();
    slot->textBufferCapacity = kCapacities[s.capacityIndex];
  }
  TdcFileParser& parser = *slot;
  s.ApplyTo(parser);
  parser.overlapIo = s.overlapIo;
  // The copies Start makes for the decoders.
  parser.decoderState.generateParsed = s.generateParsed;
  parser.decoderState.outputOverflow = s.outputOverflow;
  parser.Run();

  const fs::path outDir = s.output == kSubdirectory ? dir / "out" : dir;
  const fs::path parsedPath = outDir / (stem + "_parsed.txt"), reportPath = outDir / (stem + "_report.txt");
  if (success) {
    Check(parser.statusCode == 0, "the run failed");
    Check(fs::exists(parsedPath) == s.generateParsed, "parsed file present unless parsed text is off");
    Check(fs::exists(reportPath) == s.generateReport, "report present unless not asked for");
    if (s.generateParsed) {
      Check(parser.parsedBytes == fs::file_size(parsedPath, ec), "parsed bytes differ from the file's size");
      Check(Read(parsedPath) == text, "parsed text differs from the decoders' text");
    }
    if (s.generateReport) Check(Read(reportPath) == report, "report differs from the decoders' report");
  } else {
    Check(failures.count(parser.statusCode) == 1, "status not one the settings and files allow");
  }
  // Nothing but the inputs and the two outputs, whatever the outcome; all removed for the next input.
  std::set<fs::path> allowed = {dir / "out", parsedPath, reportPath};
  for (const InputFile& f : files) allowed.insert(dir / f.name);
  for (const auto& entry : fs::recursive_directory_iterator(dir, ec))
    Check(allowed.count(entry.path()) == 1, "a file other than the outputs was left");
  for (const auto& entry : fs::directory_iterator(dir, ec)) fs::remove_all(entry.path(), ec);
  // Freed as the parser's next run would: libFuzzer takes memory that outlives an input for a leak.
  parser.decoderState.Reset();
  parser.files.clear();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  ConvertAndCheck(data, size);
  return 0;
}
