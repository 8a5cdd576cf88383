#include <gtest/gtest.h>

#include "tttr/TttrHeader.h"
#include "tttr/TttrTesting.h"

namespace kestrun {
namespace {

using test::Decode;
using test::Layout;
using test::StringSink;
using namespace test::w;

TEST(T3Header, DiffersFromT2InMaskWindowModeAndColumns) {
  StringSink sink;
  const std::string expected =
      "Device Type: Unknown Type\nFirmware Version:Dummy Version\nStart Freqency Division:0\nWindow Resolution:250ps\n"
      "Mask Window:0ns\nStart Threshold:0mV\nStop Threshold:0mV\nStop Delay: 0\nMode:T3\nEnd By:\n"
      "Flag\t Channel\t Time(bin)\t  Seq\t Time(ps)\n";
  EXPECT_EQ(WriteT3Header(sink.sink(), 250, "Unknown Type"), static_cast<std::int32_t>(expected.size()));
  EXPECT_EQ(sink.Text(), expected);
}

TEST(T3Packaged, EveryKindPrintsItsLineAndTheFlagsAddHeadsTailsAndOverflows) {
  const std::vector<std::uint32_t> words = {
      kT3Head | 0x20000, Sync(7), PackageHead(4, 0), Sync(1), T3Event(9, 7, 5), Sync(2), Marker(2),
      SerialOverflow(3), kPackageTail, kStorageStart, kStorageStart, kTail};
  testing::internal::CaptureStdout();
  EXPECT_EQ(Decode(Layout::T3Packaged, words),
            "Event\t9\t7\t5\t28\n"
            "Marker[marker] \t2\n"
            "Package Serial Overflow[overflow] \t3\n"
            "Storage Overflow[serial] \t3952128202\n");
  EXPECT_EQ(Decode(Layout::T3Packaged, words, {.overflow = true, .packetInfo = true}),
            "Package Head[serial]\t0\t0\n"
            "Event Seq Overflow[channel, overflow] \t0\t1\n"  // no event yet in this block
            "Event\t9\t7\t5\t28\n"
            "Event Seq Overflow[channel, overflow] \t9\t2\n"
            "Marker[marker] \t2\n"
            "Package Serial Overflow[overflow] \t3\n"
            "Package Tail\n"
            "Storage Overflow[serial] \t3952128202\n");
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");  // only T2 announces serial overflows there
}

TEST(T3Packaged, TheOverflowLineTakesTheChannelOfTheLatestEventOfItsBlock) {
  DecoderState d;
  const auto bytes = test::BigEndian({kT3Head, PackageHead(0, 0), T3Event(9, 1, 1), Sync(1), Sync(2)});
  EXPECT_EQ(test::DecodeBytes(d, Layout::T3Packaged, bytes, {.overflow = true}, 16),
            "Event\t9\t1\t1\t4\n"
            "Event Seq Overflow[channel, overflow] \t9\t1\n"
            "Event Seq Overflow[channel, overflow] \t0\t2\n");  // a new block starts with channel 0
}

TEST(T3Time, BinsTimesResolutionWhateverTheOverflowsBefore) {
  const std::uint32_t event = T3Event(5, 7, 5);
  EXPECT_EQ(Decode(Layout::T3Packaged, {kT3Head, PackageHead(0, 0), event, Sync(1023), Sync(0), event}),
            "Event\t5\t7\t5\t28\nEvent\t5\t7\t5\t28\n");
  EXPECT_EQ(Decode(Layout::T3Plain, {event, Sync(1023), Sync(0), event}), "Event\t5\t7\t5\t28\nEvent\t5\t7\t5\t28\n");
  // 64-bit: 32767 bins of 2^20 ps each, and a negative resolution wraps around as unsigned.
  EXPECT_EQ(Decode(Layout::T3Plain, {T3Event(0, 32767, 0)}, {.resolutionPs = 1 << 20}), "Event\t0\t32767\t0\t34358689792\n");
  EXPECT_EQ(Decode(Layout::T3Plain, {T3Event(0, 1, 0)}, {.resolutionPs = -1}), "Event\t0\t1\t0\t18446744073709551615\n");
}

TEST(T3Plain, MarkersAreCountedAndOverflowsPrintTheirBinsModulo2To32) {
  const std::vector<std::uint32_t> words = {Marker(3), Sync(1023), Sync(5, 0x7FFF), 0xC0000000};
  DecoderState d;
  EXPECT_EQ(test::DecodeBytes(d, Layout::T3Plain, test::BigEndian(words)), "Marker\t1\t3\t0\t0\n");
  EXPECT_EQ(d.tttrStatistics.syncOverflowCount, 2u);  // tested without a line
  EXPECT_EQ(d.overflowValue, 5);
  d.tttrStatistics.FoldCounts();
  EXPECT_EQ(d.tttrStatistics.markerCounts, (std::map<std::int32_t, std::uint64_t>{{3, 1}}));
  EXPECT_EQ(Decode(Layout::T3Plain, words, {.overflow = true, .resolutionPs = 1 << 20}),
            "Marker\t1\t3\t0\t0\nOverflow\t1\t63\t0\t1023\nOverflow\t1\t63\t4293918720\t5\n");
}

TEST(T3Plain, HeadAndTailDroppingAndTheLayoutFlag) {
  EXPECT_EQ(Decode(Layout::T3Plain, {kT3Head, T3Event(1, 1, 1), kTail}), "Event\t1\t1\t1\t4\n");
  EXPECT_EQ(Decode(Layout::T3Plain, {kT2Head, T3Event(1, 1, 1)}), "Event\t1\t1\t1\t4\n");  // decoded: ignored

  // Only event words set the flag: a plain T3 block without events leaves it as it was.
  DecoderState d;
  test::DecodeBytes(d, Layout::T3Plain, test::BigEndian({Marker(1), Sync(1)}));
  EXPECT_EQ(d.tttrStatistics.plainLayout, 0u);
  test::DecodeBytes(d, Layout::T3Plain, test::BigEndian({T3Event(0, 0, 0)}));
  EXPECT_EQ(d.tttrStatistics.plainLayout, 1u);
  test::DecodeBytes(d, Layout::T3Packaged, test::BigEndian({Marker(1)}));  // packaged markers leave it too
  EXPECT_EQ(d.tttrStatistics.plainLayout, 1u);
  test::DecodeBytes(d, Layout::T3Packaged, test::BigEndian({0}));
  EXPECT_EQ(d.tttrStatistics.plainLayout, 0u);
}

}  // namespace
}  // namespace kestrun
