#pragma once
// One conversion as a front end sets it up, run through the engine or kestrun-cli, and what it leaves.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "engine/TdcFileParser.h"
#include "support/TestSupport.h"

namespace kestrun::test {

struct Conversion {
  Conversion() = default;
  explicit Conversion(std::string in, std::int32_t type = 2, std::int32_t device = 3)
      : input(std::move(in)), dataType(type), deviceType(device) {}
  std::string input;
  std::string outputDir;  // default: the input's directory
  std::int32_t dataType = 2, deviceType = 3, resolutionPs = 16;
  std::int32_t rangeFirst = 0, rangeLast = 100'000;
  bool parsed = true, report = true, overflow = true, packetInfo = true;
};

void Configure(TdcFileParser& parser, const Conversion& c);

// What a run left: status, message, the two outputs ("" if missing; a device such as /dev/full is not read).
struct Outputs {
  std::int32_t status = 0;
  std::string message;
  bool parsedExists = false, reportExists = false;
  std::string parsed, report;
};

Outputs Collect(const TdcFileParser& parser);

// Runs one conversion on the parser's worker thread and waits for its end.
Outputs Convert(TdcFileParser& parser, const Conversion& c);
inline Outputs Convert(const Conversion& c) { TdcFileParser parser; return Convert(parser, c); }

// The kestrun-cli arguments of a conversion (without -q), and its words for a type and a device.
std::string CliArguments(const Conversion& c);
std::string CliType(std::int32_t dataType);
inline std::string CliDevice(std::int32_t device) { return device == 3 ? "QZ48" : device == 64 ? "RB9531" : "KR77A5"; }

// kestrun-cli with `arguments` (already quoted), optionally behind a shell `prefix` such as a ulimit.
inline CommandResult Cli(const std::string& arguments, const std::string& prefix = "") {
  return RunCommand(prefix + Quote(KESTRUN_CLI) + " " + arguments);
}

// A conversion failing through the engine with `status` and `message`, through kestrun-cli with 1 and it.
void ExpectFailure(const Conversion& c, std::int32_t status, const std::string& message);

std::vector<std::string> Listing(const std::string& dir);  // sorted

}  // namespace kestrun::test
