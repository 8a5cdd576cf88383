#include "support/Conversion.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "engine/Platform.h"

namespace kestrun::test {

void Configure(TdcFileParser& parser, const Conversion& c) {
  parser.inputPath = c.input;
  parser.outputDir = c.outputDir.empty() ? Utf8Of(PathOf(c.input).parent_path()) : c.outputDir;
  parser.generateParsed = c.parsed;
  parser.generateReport = c.report;
  parser.outputOverflow = c.overflow;
  parser.outputPacketInfo = c.packetInfo;
  parser.dataType = c.dataType;
  parser.deviceType = c.deviceType;
  parser.resolutionPs = c.resolutionPs;
  parser.rangeFirst = c.rangeFirst;
  parser.rangeLast = c.rangeLast;
}

static std::string ReadRegular(const std::string& path, bool& exists) {
  std::error_code ec;
  exists = std::filesystem::exists(std::filesystem::symlink_status(PathOf(path), ec));
  return std::filesystem::is_regular_file(PathOf(path), ec) ? ReadFile(path) : "";
}

Outputs Collect(const TdcFileParser& parser) {
  Outputs o;
  o.status = parser.statusCode;
  o.message = parser.lastMessage;
  o.parsed = ReadRegular(parser.ParsedFilePath(), o.parsedExists);
  o.report = LfText(ReadRegular(parser.ReportFilePath(), o.reportExists));
  return o;
}

Outputs Convert(TdcFileParser& parser, const Conversion& c) {
  Configure(parser, c);
  parser.Start();
  parser.Wait();
  return Collect(parser);
}

std::string CliType(std::int32_t dataType) {
  static const char* const kTypes[] = {"", "T1", "T2", "T3", "ITTR_T", "ITTR_M"};
  return dataType >= 1 && dataType <= 5 ? kTypes[dataType] : "";
}

std::string CliArguments(const Conversion& c) {
  std::string a = "-t " + CliType(c.dataType) + " -d " + CliDevice(c.deviceType);
  if (c.dataType <= 3) a += " -r " + std::to_string(c.resolutionPs);
  if (!c.outputDir.empty()) a += " -o " + Quote(c.outputDir);
  if (c.rangeFirst != 0 || c.rangeLast != 100'000) {
    a += " --range " + std::to_string(c.rangeFirst) + ":" + std::to_string(c.rangeLast);
  }
  if (!c.parsed) a += " --no-parsed";
  if (c.report) a += " --report";
  if (c.overflow) a += " --overflow";
  if (c.packetInfo) a += " --packet-info";
  return a + " " + Quote(c.input);
}

void ExpectFailure(const Conversion& c, std::int32_t status, const std::string& message) {
  const Outputs o = Convert(c);
  EXPECT_EQ(o.status, status) << c.input;
  EXPECT_EQ(o.message, message);
  const CommandResult cli = Cli("-q " + CliArguments(c));
  EXPECT_EQ(cli.exitCode, 1) << c.input;
  EXPECT_EQ(cli.out + cli.err, "kestrun-cli: error: " + message + "\n");
}

std::vector<std::string> Listing(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(PathOf(dir))) {
    names.push_back(Utf8Of(entry.path().filename()));
  }
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace kestrun::test
