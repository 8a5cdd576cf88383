#include <gtest/gtest.h>

#include "tttr/TttrTesting.h"

namespace kestrun {
namespace {

using test::Layout;
using namespace test::w;

const std::string kTitle = "------------------------------TTTR Statistics Report--------------------------- \n";

std::string ReportOf(Layout layout, const std::vector<std::uint32_t>& words) {
  DecoderState d;
  test::DecodeBytes(d, layout, test::BigEndian(words), {.parsed = false});
  return d.BuildReportText(layout == Layout::T2Packaged || layout == Layout::T2Plain ? 2 : 3);
}

TEST(TttrReport, PackagedRunWithEveryListFilled) {
  std::vector<std::uint32_t> words = {kT2Head | 0x10000};
  for (std::uint32_t i = 0; i < 45; ++i) words.insert(words.end(), {kStorageStart, 100 + i});
  words.insert(words.end(), {PackageHead(2, 0), T2Event(2, 1), Sync(1), Marker(1), kPackageTail,  //
                             PackageHead(1, 1), Marker(2), kPackageTail,                          //
                             PackageHead(5, 3), T2Event(7, 1), T2Event(2, 5), Marker(3), Marker(4), Marker(8),
                             Sync(3), kPackageTail, kTail});
  auto serials = [](int first, int last) {
    std::string text;
    for (int i = first; i <= last; ++i) text += std::to_string(i) + "\t";
    return text;
  };
  // Lines of 1, 20, 20 and 4 values.
  const std::string values = serials(100, 100) + "\n" + serials(101, 120) + "\n" + serials(121, 140) + "\n" + serials(141, 144);
  EXPECT_EQ(ReportOf(Layout::T2Packaged, words),
            kTitle +
                "Data Type Head Number:1\nData Type Tail Number:1\n\n"
                "Sync Pulse Seq Over Flow Number:2\n"
                "Sync Pulse Seq Over Flow Continuity: No\n"
                "Sync Pulse Seq Overflow Error: Previous Value: 1,\tCurrent Value: 3\n"
                "Package Over Flow Number:0\n\n"
                "Storage Over Flow Number:45. Values:\n" +
                values +
                "\n\n"
                "Marker Numbers:5\n"
                "\t[M1, number]: \n\t\t[1,1]\n"
                "\t[M2, number]: \n\t\t[2,1]\n"
                "\t\t[3,1]\n"
                "\t[M3, number]: \n\t\t[4,1]\n"
                "\t[M4, number]: \n\t\t[8,1]\n"
                "\n"
                "Package Head Number: 3\nPackage Tail Number: 3\n\n"
                "Package Serial Continuity: No\n"
                "Package Serial Error: Previous Value: 1,\tCurrent Value: 3\n"
                "Board\t\t Channel\t\t Event Number\n"
                "65536\t2\t2\n65536\t7\t1\n"
                "\n"
                "-------------------------------------Errors------------------------\n "
                "Error 0: \nPackage Length Error, At Package with Serial:0,\tData Length: 2,\tActual Number: 3\n"
                "Error 1: \nPackage Length Error, At Package with Serial:3,\tData Length: 5,\tActual Number: 6\n");
}

TEST(TttrReport, PlainRunsReportOneHeadAndTailAndNoPackages) {
  const std::vector<std::uint32_t> words = {T3Event(1, 5, 0), T3Event(4, 5, 0), T3Event(1, 6, 0), Marker(1), Sync(1),
                                            Sync(2)};
  const std::string tail =
      "Sync Pulse Seq Over Flow Number:2\n"
      "Sync Pulse Seq Over Flow Continuity: Yes\n\n"
      "Storage Over Flow Number:0\n\n";
  const std::string boards = "\nBoard\t\t Channel\t\t Event Number\n0\t1\t2\n0\t4\t1\n\nErrors: None \n";
  const std::string head = kTitle + "Data Type Head Number:1\nData Type Tail Number:1\n\n";
  EXPECT_EQ(ReportOf(Layout::T3Plain, words), head + tail + "Marker Numbers:1\n\t[M1, number]: \n\t\t[1,1]\n" + boards);
  EXPECT_EQ(ReportOf(Layout::T2Plain, words), head + tail + "Marker Numbers:0\n" + boards);  // markers uncounted
}

TEST(TttrReport, AnEmptyRunAndACleanPackagedRun) {
  EXPECT_EQ(ReportOf(Layout::T3Packaged, {}),
            kTitle +
                "Data Type Head Number:0\nData Type Tail Number:0\n\n"
                "Sync Pulse Seq Over Flow Number:0\nSync Pulse Seq Over Flow Continuity: Yes\n\n"
                "Package Over Flow Number:0\n\n"
                "Storage Over Flow Number:0\n\n"
                "Marker Numbers:0\n\n"
                "Package Head Number: 0\nPackage Tail Number: 0\n\n"
                "Package Serial Continuity: Yes\n\n"
                "Board\t\t Channel\t\t Event Number\n\n"
                "Errors: None \n");
  const std::string clean = ReportOf(Layout::T3Packaged, {kT3Head, PackageHead(1, 0), Sync(1), kPackageTail,
                                                           PackageHead(1, 1), Sync(2), kPackageTail,
                                                           PackageHead(1, 2), Sync(3), kPackageTail, kTail});
  EXPECT_NE(clean.find("Sync Pulse Seq Over Flow Number:3\nSync Pulse Seq Over Flow Continuity: Yes\n\n"),
            std::string::npos);
  EXPECT_NE(clean.find("Package Serial Continuity: Yes\n\n"), std::string::npos);
  EXPECT_NE(clean.find("Errors: None \n"), std::string::npos);
}

}  // namespace
}  // namespace kestrun
