#include <gtest/gtest.h>

#include "tttr/TttrTesting.h"

namespace kestrun {
namespace {

using test::Layout;
using namespace test::w;

using Texts = std::vector<std::string>;

TEST(PackageSerialCheck, ExpectsEachSerialToFollowTheLastModulo1024) {
  TttrStatistics s;
  s.CheckPackageHead(0, 0);
  EXPECT_EQ(s.packageSerialErrors, Texts{});
  TttrStatistics late;
  late.CheckPackageHead(0, 5);
  EXPECT_EQ(late.packageSerialErrors, Texts{"Package Serial Error: Previous Value: -1,\tCurrent Value: 5\n"});

  s.previousPackageSerial = 1022;
  s.CheckPackageHead(0, 1023);
  s.CheckPackageHead(0, 0);
  EXPECT_EQ(s.packageSerialErrors, Texts{});
  EXPECT_EQ(s.packageSerialOverflowCount, 1u);
  s.CheckPackageHead(7, 2);
  EXPECT_EQ(s.packageSerialErrors, Texts{"Package Serial Error: Previous Value: 0,\tCurrent Value: 2\n"});
  EXPECT_EQ(s.packageHeadCount, 4u);
  EXPECT_EQ(s.declaredPackageLength, 7u);
}

TEST(SyncOverflowCheck, ExpectsOneFirstAndThenEachValueToFollowModulo1024) {
  TttrStatistics s;
  s.CheckSyncOverflow(0);
  EXPECT_EQ(s.syncErrors, Texts{"Sync Pulse Seq Overflow Error: Previous Value: 0,\tCurrent Value: 0\n"});
  TttrStatistics ok;
  for (std::uint32_t v : {1u, 2u, 3u}) ok.CheckSyncOverflow(v);
  ok.previousSyncOverflow = 1023;
  ok.CheckSyncOverflow(0);
  EXPECT_EQ(ok.syncErrors, Texts{});
  EXPECT_EQ(ok.syncOverflowCount, 4u);
  ok.CheckSyncOverflow(1000);
  EXPECT_EQ(ok.syncErrors, Texts{"Sync Pulse Seq Overflow Error: Previous Value: 0,\tCurrent Value: 1000\n"});
}

TEST(PackageLengthCheck, CountsEventsSyncOverflowsAndMarkersButNotSerialOverflows) {
  for (Layout layout : {Layout::T2Packaged, Layout::T3Packaged}) {
    DecoderState d;
    const std::uint32_t head = layout == Layout::T2Packaged ? kT2Head : kT3Head;
    testing::internal::CaptureStdout();
    test::DecodeBytes(d, layout,
                      test::BigEndian({head, PackageHead(3, 0), 1, 2, Marker(1), kPackageTail,    //
                                       PackageHead(3, 1), 1, Sync(1), 2, kPackageTail,            //
                                       PackageHead(3, 2), 1, 2, SerialOverflow(0), kPackageTail}),
                      {.parsed = false});
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(d.tttrStatistics.packageLengthErrors,
              Texts{"Package Length Error, At Package with Serial:2,\tData Length: 3,\tActual Number: 2\n"});
    EXPECT_EQ(d.tttrStatistics.packageTailCount, 3u);
  }
}

TEST(EventCounts, FlatCountersFoldIntoTheOrderedMapsWithOddKeysKept) {
  TttrStatistics s;
  s.CountEvent(0x10000, 3);
  s.CountEvent(0x10000, 3);
  s.CountEvent(1, 3);    // a board held shifted down, as T1 holds it
  s.CountEvent(0, 64);   // outside the channels of an event word
  s.CountEvent(-1, -1);
  s.FoldCounts();
  s.CountEvent(0x10000, 3);
  s.CountMarker(4);
  s.FoldCounts();
  s.FoldCounts();  // folding twice adds nothing
  using Counts = std::map<std::int32_t, std::map<std::int32_t, std::uint64_t>>;
  EXPECT_EQ(s.eventCounts, (Counts{{-1, {{-1, 1}}}, {0, {{64, 1}}}, {1, {{3, 1}}}, {0x10000, {{3, 3}}}}));
  EXPECT_EQ(s.markerCounts, (std::map<std::int32_t, std::uint64_t>{{4, 1}}));
  EXPECT_EQ(s.packageWordCount, 7u);
}

TEST(TttrReset, EveryFieldReturnsToItsConstructionValue) {
  DecoderState d;
  const std::string fresh = d.BuildTttrReport();
  testing::internal::CaptureStdout();
  test::DecodeBytes(d, Layout::T2Packaged,
                    test::BigEndian({kT2Head | 0x50000, kStorageStart, 1, PackageHead(9, 1023), 3, Marker(2), Sync(0),
                                     SerialOverflow(0), kPackageTail, kStorageStart}));
  test::DecodeBytes(d, Layout::T2Plain, test::BigEndian({0xB2000000, 0xA2000000, 5, Marker(1)}));
  testing::internal::GetCapturedStdout();
  d.Reset();
  EXPECT_EQ(d.BuildTttrReport(), fresh);
  const TttrDecoderFields initial;
  EXPECT_EQ(d.frameState, initial.frameState);
  EXPECT_EQ(d.previousFrameState, initial.previousFrameState);
  EXPECT_EQ(d.packageSerialWraps, 0u);
  EXPECT_EQ(d.infoTextLength, 0u);
  EXPECT_EQ(d.infoTextStep, 0u);
  EXPECT_EQ(std::string(d.infoText, sizeof d.infoText), std::string(sizeof d.infoText, '\0'));
  const TttrStatistics& s = d.tttrStatistics;
  EXPECT_EQ(s.previousPackageSerial, -1);
  EXPECT_EQ(s.declaredPackageLength, 0u);
  EXPECT_EQ(s.packageWordCount, 0u);
  EXPECT_EQ(s.plainLayout, 0u);
  EXPECT_EQ(d.board, 0);
  EXPECT_EQ(d.overflowValue, 0);
}

}  // namespace
}  // namespace kestrun
