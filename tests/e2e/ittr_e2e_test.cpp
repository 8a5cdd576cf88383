// ITTR_T and ITTR_M series, synthesized and converted with kestrun-cli: header fields, counts and the
// ordered error list against the synthesizer's manifest, and a series against one file of its bytes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

#include "E2eSupport.h"

namespace kestrun::test {
namespace {

const std::vector<std::string> kErrorPrefixes = {"Statistics Lead Error: ", "Statistics Overflow Value Error: ",
                                                 "Package Serial Value Error: ", "Statistics Overflow Calculated: "};

// The channels whose bits are set in a manifest mask such as 0x60f, in the report's hexadecimal.
std::string EnabledChannels(const std::string& mask, unsigned first) {
  const unsigned long bits = std::stoul(mask, nullptr, 16);
  std::string line;
  char number[8];
  for (unsigned i = 0; i < 32; ++i)
    if (bits >> i & 1) {
      std::snprintf(number, sizeof number, "%x\t", first + i);
      line += number;
    }
  return line;
}

// The statistics period of the manifest as "0x3e8=>1000".
std::string PeriodText(const Manifest& m) {
  char text[64];
  const auto us = static_cast<unsigned long long>(m.Number("statistics-period-us"));
  std::snprintf(text, sizeof text, "0x%llx=>%llu", us, us);
  return text;
}

void ExpectCountsOfManifest(const std::string& report, const Manifest& m) {
  EXPECT_EQ(ValueAfter(report, "Version: "), m.One("version"));
  EXPECT_EQ(ValueAfter(report, "Zero Update: 0x"), m.One("zero-update"));
  EXPECT_EQ(ValueAfter(report, "Period: "), PeriodText(m));
  const std::vector<std::string> enabled = TableRows(report, "Enabled Channles:");
  ASSERT_GE(enabled.size(), 3u);
  EXPECT_EQ(enabled[2].rfind("Statistics Event OverFlow Number:", 0), 0u);
  EXPECT_EQ(enabled[0], EnabledChannels(m.One("channel-enable-low"), 0));
  EXPECT_EQ(enabled[1], EnabledChannels(m.One("channel-enable-high"), 32));
  EXPECT_EQ(ValueAfter(report, "Statistics Event OverFlow Number:"), m.One("overflow-values"));
  EXPECT_EQ(ValueAfter(report, "Package Head Number:"),
            m.One("package-heads") + ",\tPackage Tail Number:" + m.One("package-tails"));
  EXPECT_EQ(ValueAfter(report, "Calculated Statistics Overflow Serial Overflow Number:"),
            m.One("overflow-value-wraps") + ",\tCalculated Package Serial Overflow Number:" +
                m.One("package-serial-wraps"));
  EXPECT_EQ(TableRows(report, "Board\t Channel\t EventNumber"), m.EventRows());
}

// A series of each ITTR type with every fault injected, converted with the settings its names give: the
// manifest's header fields and counts, the error list in stream order, one header for the series and one
// line for every lead word of every file, and the bytes of the series in one file convert alike.
TEST(IttrEndToEnd, FaultySeriesConvertsLikeOneFileWithTheErrorListInStreamOrder) {
  for (const char* type : {"ITTR_T -d KR77A5 --board 3", "ITTR_M -d QZ48"}) {
    SCOPED_TRACE(type);
    const bool marker = std::string(type).starts_with("ITTR_M");
    ScratchDir dir;
    const Series s = Synthesize(dir, std::string("-t ") + type + " --size 2600K --files 4 --seed 2 "
                                     "--faults serial-gap,lead-gap,junk:2,overflow-gap,overflow-count");
    ASSERT_EQ(s.files.size(), 4u);
    ASSERT_GE(s.manifest.Number("lead-serial-wraps"), 1u);
    for (std::size_t i = 1; i < s.files.size(); ++i)
      EXPECT_NE(s.manifest.All("file")[i].find(" opens inside "), std::string::npos);
    const std::string report = ExpectSeriesConvertsLikeOneFile(s, s.files[2], "--report --overflow");
    ExpectCountsOfManifest(report, s.manifest);
    const std::vector<std::string> errors = s.manifest.Errors();
    ASSERT_EQ(errors.size(), 4u);
    EXPECT_EQ(LinesStarting(report, kErrorPrefixes), errors);
    std::string listed = "\n\nErrors: ";
    for (std::size_t i = 0; i < errors.size(); ++i) listed += "Error " + std::to_string(i) + ": \n" + errors[i];
    EXPECT_TRUE(report.ends_with(listed)) << report;
    const std::string board = marker ? "0\t" : "196608\t";  // board 3 in bits 19..16
    EXPECT_TRUE(TableRows(report, "Board\t Channel\t EventNumber").front().starts_with(board));

    const std::string parsed = ParsedOf(s.files[2]);
    const std::string period = marker ? "M(Depends on Marker)" : PeriodText(s.manifest) + " us";
    EXPECT_TRUE(parsed.starts_with("Mode: " + s.manifest.One("mode-word") + ", " + (marker ? "ITTR_M" : "ITTR_T") +
                                   "\nVersion: 0x21=>2.1\nStatistics Number(Stop By Software): 0x0=>0\n"
                                   "Statistics Period: " + period + "\n"))
        << parsed.substr(0, 200);
    EXPECT_EQ(CountLinesStarting(parsed, "Mode: 0x"), 1u);
    EXPECT_EQ(CountLinesStarting(parsed, "WordNumber\tChannel\tSerialSynced\tSerial\tIntensity"), 1u);
    std::uint64_t leadLines = 0;
    for (const std::string& line : Lines(parsed)) leadLines += std::count(line.begin(), line.end(), '\t') == 4;
    EXPECT_EQ(leadLines, s.manifest.Number("lead-words") + 1);  // and the column line
    EXPECT_EQ(CountLinesStarting(parsed, "[Package Head, Serial: 0x"), s.manifest.Number("package-heads"));
    EXPECT_EQ(CountLinesStarting(parsed, "[Package Tail] "), s.manifest.Number("package-tails"));
    EXPECT_EQ(CountLinesStarting(parsed, "[Statistics Serial Overflow, Value: 0x"),
              s.manifest.Number("statistics-serial-overflow-words"));
    EXPECT_EQ(CountLinesStarting(parsed, "Data Overflow, Value: 0x"), s.manifest.Number("data-overflows"));
  }
}

}  // namespace
}  // namespace kestrun::test
