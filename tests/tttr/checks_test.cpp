#include <gtest/gtest.h>

#include "tttr/TttrTesting.h"

namespace kestrun {
namespace {

using test::Layout;
using namespace test::w;

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

// Every field a run moves goes back, so that the next run of the same parser starts fresh.
TEST(TttrReset, EveryFieldReturnsToItsConstructionValue) {
  DecoderState d;
  const std::string fresh = d.BuildTttrReport();
  testing::internal::CaptureStdout();
  test::DecodeBytes(d, Layout::T2Packaged,
                    test::BigEndian({kT2Head | 0x50000, kStorageStart, 1, PackageHead(9, 1023), 3, Marker(2),
                                     Sync(1023), Sync(0), SerialOverflow(0), kPackageTail, kStorageStart}));
  test::DecodeBytes(d, Layout::T2Plain, test::BigEndian({0xB2000000, 0xA2000000, 5, Marker(1)}));
  testing::internal::GetCapturedStdout();
  d.Reset();
  EXPECT_EQ(d.BuildTttrReport(), fresh);
  const DecoderState initial;
  EXPECT_EQ(d.frameState, initial.frameState);
  EXPECT_EQ(d.previousFrameState, initial.previousFrameState);
  EXPECT_EQ(d.packageSerialWraps, 0u);
  EXPECT_EQ(d.infoTextLength, 0u);
  EXPECT_EQ(d.infoTextStep, 0u);
  EXPECT_EQ(std::string(d.infoText, sizeof d.infoText), std::string(sizeof d.infoText, '\0'));
  EXPECT_EQ(d.board, 0);
  EXPECT_EQ(d.overflowValue, 0);
  EXPECT_EQ(d.overflowWraps, 0u);
  const TttrStatistics& s = d.tttrStatistics;
  EXPECT_EQ(s.previousPackageSerial, -1);
  EXPECT_EQ(s.declaredPackageLength, 0u);
  EXPECT_EQ(s.packageWordCount, 0u);
  EXPECT_EQ(s.plainLayout, 0u);
}

}  // namespace
}  // namespace kestrun
