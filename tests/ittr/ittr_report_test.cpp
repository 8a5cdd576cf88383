#include <gtest/gtest.h>

#include "support/Conversion.h"
#include "tests/ittr/IttrTestSupport.h"

namespace kestrun::test {
namespace {

const std::string kTitle = "----------------ITTR Statistics Report---------------: \nHeader Info:\n";

TEST(IttrReport, WholeReportWithoutErrors) {
  const auto r =
      DecodeIttrWords(Join({Header(Mode(1, 0), 0x21000010, 1000, (1u << 0) | (1u << 9) | (1u << 10), 1u << 1, 1),
                            {Lead(2, 5, 1), 10, 20, Lead(1, 10, 2), 30, PackageHead(0), kPackageTail}}));
  EXPECT_EQ(
      r.state->BuildIttrReport(),
      kTitle +
          "Version: 0x21\n"
          "Statistics Number: 0x10=>16\n"
          "Period: 0x3e8=>1000\n"
          "Zero Update: 0x1\n\n"
          "Enabled Channles:\n"
          "0\t9\ta\t\n"
          "21\t\n"
          "Statistics Event OverFlow Number:0\n"
          "Package Head Number:1,\tPackage Tail Number:1\n\n"
          "Calculated Statistics Overflow Serial Overflow Number:0,\tCalculated Package Serial Overflow Number:0\n\n"
          "Statistics Events:\n"
          "Board\t Channel\t EventNumber\n"
          "65536\t5\t2\n65536\t10\t1\n"
          "\n"
          "Errors: None \n");
}

TEST(IttrReport, ErrorsComeInOrderFoundThenTheOverflowConsistency) {
  const auto r = DecodeIttrWords({kEnd, Lead(0, 0, 5), Lead(0, 0, 2), PackageHead(3), PackageHead(0xFFFF),
                                  PackageHead(0), Lead(0, 0, 1), kOverflowMarker, 1});
  EXPECT_EQ(
      r.state->BuildIttrReport(),
      kTitle +
          "Version: 0x0\n"
          "Statistics Number: 0x0=>0\n"
          "Period: 0x0=>0\n"
          "Zero Update: 0x0\n\n"
          "Enabled Channles:\n"
          "\n"
          "\n"
          "Statistics Event OverFlow Number:1\n"
          "Package Head Number:3,\tPackage Tail Number:0\n\n"
          "Calculated Statistics Overflow Serial Overflow Number:0,\tCalculated Package Serial Overflow Number:1\n\n"
          "Statistics Events:\n"
          "Board\t Channel\t EventNumber\n"
          "\n"
          "Errors: Error 0: \n"
          "Package Serial Value Error: Previous Package Serial Value: -1,\tCurrent Package Serial Value: 3\n"
          "Error 1: \n"
          "Package Serial Value Error: Previous Package Serial Value: 3,\tCurrent Package Serial Value: 65535\n"
          "Error 2: \n"
          "Statistics Overflow Calculated: 2,\tStatistics Overflow Actual: 1\n");
  const auto balanced =
      DecodeIttrWords({kEnd, Lead(0, 0, 5), Lead(0, 0, 2), Lead(0, 0, 1), kOverflowMarker, 1, SerialOverflow(0xFFFF)});
  const std::string report = balanced.state->BuildIttrReport();
  EXPECT_NE(report.find("Statistics Event OverFlow Number:2\n"), std::string::npos);
  EXPECT_NE(report.find("Calculated Statistics Overflow Serial Overflow Number:1,\t"), std::string::npos);
  EXPECT_EQ(report.find("Statistics Overflow Calculated"), std::string::npos);
}

std::vector<std::uint32_t> Stream() {
  std::vector<std::uint32_t> words = Header(Mode(2, 1), 0x31000000, 0, 0xF, 0, 1);
  for (std::uint32_t i = 1; i < 5000; ++i) {
    words.push_back(Lead(i % 4, i % 7, i & 0xFFFF));
    for (std::uint32_t k = 0; k < i % 4; ++k) words.push_back(i + k);
    if (i % 100 == 0) words.insert(words.end(), {PackageHead(i / 100 - 1), kPackageTail, SerialOverflow(i / 100)});
  }
  return words;
}

TEST(IttrRun, StateRunsOnAcrossFilesOfASeriesAndEveryRunStartsAfresh) {
  ScratchDir dir;
  const auto words = Stream();
  // The header and a lead word with its intensities are cut by the file boundaries.
  WriteFile(dir / "cap_1.dat", BigEndian(std::vector<std::uint32_t>(words.begin(), words.begin() + 3)));
  WriteFile(dir / "cap_2.dat", BigEndian(std::vector<std::uint32_t>(words.begin() + 3, words.begin() + 4001)));
  WriteFile(dir / "cap_3.dat", BigEndian(std::vector<std::uint32_t>(words.begin() + 4001, words.end())));
  Conversion c;
  c.input = dir / "cap_1.dat";
  c.dataType = 5;
  c.deviceType = 1;
  TdcFileParser parser;
  const Outputs o = Convert(parser, c);
  const auto whole = DecodeIttrWords(words);
  EXPECT_EQ(o.status, 0);
  EXPECT_TRUE(o.parsed == whole.text);
  EXPECT_EQ(o.report, whole.state->BuildIttrReport());
  // A second run on the same parser starts afresh: the same report, also without parsed text.
  c.parsed = false;
  EXPECT_EQ(Convert(parser, c).report, o.report);
  for (const auto& row : parser.decoderState.channelGrid) {
    for (const auto& st : row) EXPECT_EQ(st->histogram, nullptr);
  }
}

}  // namespace
}  // namespace kestrun::test
