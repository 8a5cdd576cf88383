#include <gtest/gtest.h>

#include "tttr/TttrTesting.h"

namespace kestrun {
namespace {

using test::Layout;
using namespace test::w;

const std::string kTitle = "------------------------------TTTR Statistics Report--------------------------- \n";

// Counted without any text, in two blocks with a report between them, which must change nothing: the
// counts it folds in are neither lost nor counted twice.
std::string ReportOf(Layout layout, const std::vector<std::uint32_t>& words) {
  DecoderState d;
  const auto bytes = test::BigEndian(words);
  const auto half = bytes.begin() + static_cast<std::ptrdiff_t>(words.size() / 2 * 4);
  test::DecodeBytes(d, layout, {bytes.begin(), half}, {.parsed = false});
  d.BuildReportText(test::IsT2(layout) ? 2 : 3);
  test::DecodeBytes(d, layout, {half, bytes.end()}, {.parsed = false});
  return d.BuildReportText(test::IsT2(layout) ? 2 : 3);
}

// Whatever a run leaves behind is gone after Reset: an open package, the board, sync overflows and their
// wraps, package serials and their wraps, a half-built information text, the layout flag and every counter.
// The next run of the same parser decodes and reports like a fresh one.
TEST(TttrReset, TheNextRunDecodesAndReportsLikeAFreshOne) {
  DecoderState used, fresh;
  test::DecodeBytes(used, Layout::T2Packaged,
                    test::BigEndian({kT2Head | 0x50000, kStorageStart, 1, PackageHead(0, 1023), kPackageTail,
                                     PackageHead(9, 3), Sync(1023), Sync(0), Sync(1), 3, Marker(2)}));
  test::DecodeBytes(used, Layout::T2Plain, test::BigEndian({0xB2000000, 0xA2000000}));
  used.Reset();
  const std::pair<Layout, std::vector<std::uint32_t>> runs[] = {
      {Layout::T3Plain, {Marker(1)}},  // sets no layout flag: the report's form is the flag's
      {Layout::T2Plain,
       {0xA2123456, 0xA2AB0041, 0xA2012345, 0xA2987654, 0xA2200020, 0xA2111111, 0xA2FFFFFF, T2Event(1, 1)}},
      {Layout::T2Packaged, {T2Event(1, 1), kT2Head, PackageHead(0, 0), Sync(1), T2Event(1, 1), kPackageTail}},
  };
  for (const auto& [layout, words] : runs) {
    const test::Flags f{.overflow = true, .packetInfo = true};
    EXPECT_EQ(test::DecodeBytes(used, layout, test::BigEndian(words), f),
              test::DecodeBytes(fresh, layout, test::BigEndian(words), f));
    EXPECT_EQ(used.BuildTttrReport(), fresh.BuildTttrReport()) << static_cast<int>(layout);
  }
}

// Package lengths count events, sync overflows and markers, never serial overflows; storage serials
// go twenty to a line; markers are listed by mask.
TEST(TttrReport, PackagedRunWithEveryListFilled) {
  for (Layout layout : {Layout::T2Packaged, Layout::T3Packaged}) {
    SCOPED_TRACE(static_cast<int>(layout));
    std::vector<std::uint32_t> words = {(layout == Layout::T2Packaged ? kT2Head : kT3Head) | 0x10000};
    for (std::uint32_t i = 0; i < 45; ++i) words.insert(words.end(), {kStorageStart, 100 + i});
    words.insert(words.end(), {PackageHead(2, 0), T2Event(2, 1), Sync(1), Marker(1), kPackageTail,  //
                               PackageHead(1, 1), Marker(2), SerialOverflow(5), kPackageTail,       //
                               PackageHead(5, 3), T2Event(7, 1), T2Event(2, 5), Marker(3), Marker(4), Marker(8),
                               Sync(3), kPackageTail, kTail});
    std::string values = "100\t\n";
    for (int i = 101; i <= 144; ++i) values += std::to_string(i) + (i % 20 == 0 ? "\t\n" : "\t");
    EXPECT_EQ(ReportOf(layout, words),
              kTitle +
                  "Data Type Head Number:1\nData Type Tail Number:1\n\n"
                  "Sync Pulse Seq Over Flow Number:2\nSync Pulse Seq Over Flow Continuity: No\n"
                  "Sync Pulse Seq Overflow Error: Previous Value: 1,\tCurrent Value: 3\n"
                  "Package Over Flow Number:0\n\n"
                  "Storage Over Flow Number:45. Values:\n" + values + "\n\n"
                  "Marker Numbers:5\n"
                  "\t[M1, number]: \n\t\t[1,1]\n\t[M2, number]: \n\t\t[2,1]\n\t\t[3,1]\n"
                  "\t[M3, number]: \n\t\t[4,1]\n\t[M4, number]: \n\t\t[8,1]\n\n"
                  "Package Head Number: 3\nPackage Tail Number: 3\n\n"
                  "Package Serial Continuity: No\nPackage Serial Error: Previous Value: 1,\tCurrent Value: 3\n"
                  "Board\t\t Channel\t\t Event Number\n65536\t2\t2\n65536\t7\t1\n\n"
                  "-------------------------------------Errors------------------------\n "
                  "Error 0: \nPackage Length Error, At Package with Serial:0,\tData Length: 2,\tActual Number: 3\n"
                  "Error 1: \nPackage Length Error, At Package with Serial:3,\tData Length: 5,\tActual Number: 6\n");
  }
}

TEST(TttrReport, PlainRunsReportOneHeadAndTailAndNoPackages) {
  const std::vector<std::uint32_t> words = {T3Event(1, 5, 0), T3Event(4, 5, 0), T3Event(1, 6, 0), Marker(1), Sync(1),
                                            Sync(2)};
  const std::string head = kTitle + "Data Type Head Number:1\nData Type Tail Number:1\n\n"
                                    "Sync Pulse Seq Over Flow Number:2\nSync Pulse Seq Over Flow Continuity: Yes\n\n"
                                    "Storage Over Flow Number:0\n\n";
  const std::string boards = "\nBoard\t\t Channel\t\t Event Number\n0\t1\t2\n0\t4\t1\n\nErrors: None \n";
  EXPECT_EQ(ReportOf(Layout::T3Plain, words), head + "Marker Numbers:1\n\t[M1, number]: \n\t\t[1,1]\n" + boards);
  EXPECT_EQ(ReportOf(Layout::T2Plain, words), head + "Marker Numbers:0\n" + boards);  // plain T2 markers uncounted
}

// Package serials start at 0 and sync overflows at 1, and each next one follows modulo 1024: a run over
// a full turn of both is as clean as an empty one, and wrong first values are errors.
TEST(TttrReport, SequencesStartAtTheirFirstValueAndWrapAt1024) {
  auto clean = [](const std::string& heads, const std::string& packages, const std::string& serialOverflows) {
    return kTitle + "Data Type Head Number:" + heads + "\nData Type Tail Number:0\n\n" +
           "Sync Pulse Seq Over Flow Number:" + packages + "\nSync Pulse Seq Over Flow Continuity: Yes\n\n" +
           "Package Over Flow Number:" + serialOverflows + "\n\nStorage Over Flow Number:0\n\nMarker Numbers:0\n\n" +
           "Package Head Number: " + packages + "\nPackage Tail Number: " + packages + "\n\n" +
           "Package Serial Continuity: Yes\n\nBoard\t\t Channel\t\t Event Number\n\nErrors: None \n";
  };
  EXPECT_EQ(ReportOf(Layout::T3Packaged, {}), clean("0", "0", "0"));
  std::vector<std::uint32_t> turn = {kT3Head};
  for (std::uint32_t i = 0; i <= 1024; ++i) {
    turn.insert(turn.end(), {PackageHead(1, i % 1024), Sync((i + 1) % 1024), kPackageTail});
  }
  EXPECT_EQ(ReportOf(Layout::T3Packaged, turn), clean("1", "1025", "1"));

  const std::string wrong =
      ReportOf(Layout::T3Packaged, {kT3Head, PackageHead(2, 5), Sync(0), Sync(1000), kPackageTail});
  EXPECT_NE(wrong.find("Sync Pulse Seq Overflow Error: Previous Value: 0,\tCurrent Value: 0\n"
                       "Sync Pulse Seq Overflow Error: Previous Value: 0,\tCurrent Value: 1000\n"),
            std::string::npos)
      << wrong;
  EXPECT_NE(wrong.find("Package Serial Error: Previous Value: -1,\tCurrent Value: 5\n"), std::string::npos);
}

}  // namespace
}  // namespace kestrun
