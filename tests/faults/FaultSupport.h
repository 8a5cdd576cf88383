#pragma once
// Shared by the fault tests: data streams built from word lists, conversions through the engine and
// through kestrun-cli, and what they leave behind.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "engine/TdcFileParser.h"
#include "support/TestSupport.h"

namespace kestrun::faults {

using test::BigEndian;
using test::CommandResult;
using test::ReadFile;
using test::ScratchDir;
using test::WriteFile;

inline constexpr std::size_t kMiB = 1'048'576;

// A packaged T2 stream: data-type head, `packages` packages of `events` events each, data-type tail.
// Events cycle through 8 channels; a sync overflow follows every 100th event.
inline std::vector<std::uint32_t> PackagedT2(int packages, int events) {
  std::vector<std::uint32_t> words{0xEB90B712};
  std::uint32_t overflow = 0;
  for (int p = 0; p < packages; ++p) {
    std::vector<std::uint32_t> body;
    for (int e = 0; e < events; ++e) {
      body.push_back((static_cast<std::uint32_t>(e % 8) << 25) | static_cast<std::uint32_t>((p * 7919 + e) & 0x1FFFFFF));
      if (e % 100 == 99) body.push_back(0xFE000000u | (++overflow & 1023));
    }
    words.push_back(0xC0000000u | (static_cast<std::uint32_t>(body.size()) << 10) | static_cast<std::uint32_t>(p % 1024));
    words.insert(words.end(), body.begin(), body.end());
    words.push_back(0xC8000000u);
  }
  words.push_back(0xEEEEDDDD);
  return words;
}

// Packages of mostly sync overflow words (no lines without the overflow flag) with an event every
// 16th word, so that a run's text stays small while every block still carries lines and state.
inline std::vector<std::uint32_t> QuietT2(int packages) {
  std::vector<std::uint32_t> words{0xEB90B712};
  std::uint32_t overflow = 0;
  for (int p = 0; p < packages; ++p) {
    words.push_back(0xC0000000u | (1024u << 10) | static_cast<std::uint32_t>(p % 1024));
    for (std::uint32_t i = 0; i < 1024; ++i) {
      words.push_back(i % 16 == 0 ? ((i / 16 % 8) << 25) | (i * 977 + static_cast<std::uint32_t>(p))
                                  : 0xFE000000u | (++overflow & 1023));
    }
    words.push_back(0xC8000000u);
  }
  return words;
}

// T1 frames: a head word per (board, channel) of `boards` x `channels`, `bins` count words each, tails.
inline std::vector<std::uint32_t> T1Frames(int boards, int channels, int bins) {
  std::vector<std::uint32_t> words;
  for (int b = 0; b < boards; ++b) {
    for (int c = 0; c < channels; ++c) {
      words.push_back(0xEB90BA00u | (static_cast<std::uint32_t>(b) << 16) | (static_cast<std::uint32_t>(c) << 4));
      for (int i = 0; i < bins; ++i) words.push_back(static_cast<std::uint32_t>((i * 31 + b * 7 + c) % 1000));
      words.push_back(0xAAEEEEDD);
    }
  }
  return words;
}

inline std::vector<std::uint8_t> RandomBytes(std::size_t count, std::uint32_t seed) {
  std::mt19937 random(seed);
  std::vector<std::uint8_t> bytes(count);
  for (std::uint8_t& b : bytes) b = static_cast<std::uint8_t>(random());
  return bytes;
}

// The settings of one conversion, as a front end hands them over.
struct Conversion {
  std::string input;
  std::string outputDir;  // default: the input's directory
  std::int32_t dataType = 2;
  std::int32_t deviceType = 3;
  std::int32_t resolutionPs = 16;
  bool parsed = true;
  bool report = true;
  bool overflow = true;
  bool packetInfo = true;
};

inline void Configure(TdcFileParser& parser, const Conversion& c) {
  parser.inputPath = c.input;
  parser.outputDir = c.outputDir.empty() ? std::filesystem::path(c.input).parent_path().string() : c.outputDir;
  parser.generateParsed = c.parsed;
  parser.generateReport = c.report;
  parser.outputOverflow = c.overflow;
  parser.outputPacketInfo = c.packetInfo;
  parser.dataType = c.dataType;
  parser.deviceType = c.deviceType;
  parser.resolutionPs = c.resolutionPs;
  parser.rangeFirst = 0;
  parser.rangeLast = 100'000;
}

// What a run left: its final status, and the two output files ("" for one that does not exist; a
// device such as /dev/full is not read).
struct Outputs {
  std::int32_t status = 0;
  std::string message;
  bool parsedExists = false;
  bool reportExists = false;
  std::string parsed;
  std::string report;
};

inline std::string ReadRegular(const std::string& path, bool& exists) {
  std::error_code ec;
  exists = std::filesystem::exists(std::filesystem::symlink_status(path, ec));
  return std::filesystem::is_regular_file(path, ec) ? ReadFile(path) : "";
}

inline Outputs Collect(const TdcFileParser& parser) {
  Outputs o;
  o.status = parser.statusCode;
  o.message = parser.lastMessage;
  o.parsed = ReadRegular(parser.ParsedFilePath(), o.parsedExists);
  o.report = ReadRegular(parser.ReportFilePath(), o.reportExists);
  return o;
}

// Runs one conversion on the parser's worker thread and waits for its end.
inline Outputs Convert(TdcFileParser& parser, const Conversion& c) {
  Configure(parser, c);
  parser.Start();
  parser.Wait();
  return Collect(parser);
}

inline Outputs Convert(const Conversion& c) {
  TdcFileParser parser;
  return Convert(parser, c);
}

inline std::string Quote(const std::string& text) {
  std::string quoted = "'";
  for (char ch : text) quoted += ch == '\'' ? std::string("'\\''") : std::string(1, ch);
  return quoted + "'";
}

// kestrun-cli with `arguments` (already quoted), optionally behind a shell `prefix` such as a ulimit.
inline CommandResult Cli(const std::string& arguments, const std::string& prefix = "") {
  return test::RunCommand(prefix + Quote(KESTRUN_CLI) + " " + arguments);
}

inline std::string CliType(std::int32_t dataType) {
  static const char* const kTypes[] = {"", "T1", "T2", "T3", "ITTR_T", "ITTR_M"};
  return kTypes[dataType];
}

inline std::string CliDevice(std::int32_t deviceType) {
  return deviceType == 3 ? "QZ48" : deviceType == 64 ? "RB9531" : "KR77A5";
}

// The CLI arguments of a conversion (without -q).
inline std::string CliArguments(const Conversion& c) {
  std::string a = "-t " + CliType(c.dataType) + " -d " + CliDevice(c.deviceType);
  if (c.dataType <= 3) a += " -r " + std::to_string(c.resolutionPs);
  if (!c.outputDir.empty()) a += " -o " + Quote(c.outputDir);
  if (!c.parsed) a += " --no-parsed";
  if (c.report) a += " --report";
  if (c.overflow) a += " --overflow";
  if (c.packetInfo) a += " --packet-info";
  return a + " " + Quote(c.input);
}

// The names in a directory, sorted.
inline std::vector<std::string> Listing(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace kestrun::faults
