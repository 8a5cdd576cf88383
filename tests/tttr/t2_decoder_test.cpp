#include <gtest/gtest.h>

#include "tttr/TttrTesting.h"
#include "tttr/TttrHeader.h"

namespace kestrun {
namespace {

using test::Decode;
using test::Flags;
using test::Layout;
using test::StringSink;
using namespace test::w;

TEST(T2Header, ElevenLinesWithTheDeviceAndResolution) {
  StringSink sink(64);  // smaller than the header: its lines spill one by one
  const std::string expected =
      "Device Type: QZ8B48\nFirmware Version:Dummy Version\nStart Freqency Division:0\nWindow Resolution:-16ps\n"
      "Mask Window:0d ns\nStart Threshold:0mV\nStop Threshold:0mV\nStop Delay: 0\nMode:T2\nEnd By:\n"
      "Flag\tChannel\tTime(bin)\tTime(ps)\n";
  EXPECT_EQ(WriteT2Header(sink.sink(), -16, "QZ8B48"), static_cast<std::int32_t>(expected.size()));
  EXPECT_EQ(sink.Text(), expected);

  TextSink none;  // no text area at all
  EXPECT_EQ(WriteT2Header(none, 4, "KR77A5"), -1);
}

TEST(T2Packaged, EveryKindPrintsItsLineAndTheFlagsAddHeadsTailsAndOverflows) {
  const std::vector<std::uint32_t> words = {
      kT2Head | 0x10000, kStorageStart, 77, PackageHead(5, 0), T2Event(2, 100), Sync(1), SerialOverflow(0),
      Marker(5), Sync(2), T2Event(3, 5), kPackageTail, 0x12345678, kTail};
  testing::internal::CaptureStdout();
  EXPECT_EQ(Decode(Layout::T2Packaged, words),
            "Storage Overflow[serial] \t77\n"
            "Event\t2\t100\t400\n"
            "Package Serial Overflow[overflow] \t0\n"
            "Marker[ marker] \t5\n"
            "Event\t3\t5\t268435476\n");
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Package Serial Overflow\n");

  testing::internal::CaptureStdout();
  EXPECT_EQ(Decode(Layout::T2Packaged, words, {.overflow = true, .packetInfo = true}),
            "Storage Overflow[serial] \t77\n"
            "Package Head[serial] \t0\t0\n"
            "Event\t2\t100\t400\n"
            "Event Overflow[overflow] \t1\n"
            "Package Serial Overflow[overflow] \t0\n"
            "Marker[ marker] \t5\n"
            "Event Overflow[overflow] \t2\n"
            "Event\t3\t5\t268435476\n"
            "Package Tail \n");
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Package Serial Overflow\n");

  DecoderState d;
  testing::internal::CaptureStdout();
  EXPECT_EQ(test::DecodeBytes(d, Layout::T2Packaged, test::BigEndian(words), {.parsed = false}), "");
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Package Serial Overflow\n");
  EXPECT_EQ(d.tttrStatistics.packageHeadCount, 1u);  // counted and tested without any line
  EXPECT_EQ(d.tttrStatistics.syncOverflowCount, 2u);
  EXPECT_EQ(d.overflowValue, 2);
}

TEST(T2Time, SyncOverflowsExtendTheBinsInBothLayouts) {
  for (Layout layout : {Layout::T2Packaged, Layout::T2Plain}) {
    const bool packaged = layout == Layout::T2Packaged;
    std::vector<std::uint32_t> words = {T2Event(1, 9), Sync(1), Sync(2), T2Event(2, 100), Sync(1023), Sync(0),
                                        T2Event(4, 7), Sync(1023), Sync(0), Sync(5), T2Event(4, 0x1FFFFFF)};
    if (packaged) words.insert(words.begin(), {kT2Head, PackageHead(0, 0)});
    const std::string prefix = packaged ? "Event\t" : "0\t";
    auto line = [&](int channel, int bins, const char* ps) {
      return prefix + std::to_string(channel) + "\t" + (packaged ? std::to_string(bins) + "\t" : "") + ps + "\n";
    };
    EXPECT_EQ(Decode(layout, words),
              line(1, 9, "36") + line(2, 100, "268435856") + line(4, 7, "137438953500") +
                  line(4, 0x1FFFFFF, "275683213308"))
        << packaged;
  }
}

TEST(T2Plain, EventsMarkersAndOverflowsPrintThreeFields) {
  const std::vector<std::uint32_t> words = {T2Event(5, 10), Marker(3), Sync(1), 0xC0000000, T2Event(63, 0)};
  EXPECT_EQ(Decode(Layout::T2Plain, words), "0\t5\t40\n1\t3\t0\n0\t63\t134217728\n");
  EXPECT_EQ(Decode(Layout::T2Plain, words, {.overflow = true}), "0\t5\t40\n1\t3\t0\n1\t63\t1\n0\t63\t134217728\n");

  DecoderState d;
  test::DecodeBytes(d, Layout::T2Plain, test::BigEndian(words));
  EXPECT_TRUE(d.tttrStatistics.markerCounts.empty());  // plain T2 markers stay uncounted
  EXPECT_EQ(d.tttrStatistics.plainLayout, 1u);
}

TEST(T2Plain, EveryBlockDropsALeadingHeadAndATrailingTail) {
  auto layoutAfter = [](const std::vector<std::uint32_t>& words) {
    DecoderState d;
    EXPECT_EQ(test::DecodeBytes(d, Layout::T2Plain, test::BigEndian(words)), "");
    return d.tttrStatistics.plainLayout;  // set by every word that is decoded
  };
  EXPECT_EQ(layoutAfter({0xEB92B712}), 0u);   // bit 4 of the second byte set: the head, skipped
  EXPECT_EQ(layoutAfter({0xEB82B712}), 1u);   // not the head: decoded, and ignored
  EXPECT_EQ(layoutAfter({0xEB90B713}), 1u);   // the T3 head is no T2 head
  EXPECT_EQ(layoutAfter({kTail}), 0u);
  EXPECT_EQ(layoutAfter({kTail, kTail}), 1u);
  EXPECT_EQ(layoutAfter({kT2Head, kTail}), 0u);
  EXPECT_EQ(Decode(Layout::T2Plain, {kT2Head, T2Event(1, 1), kTail}), "0\t1\t4\n");

  DecoderState d;  // 1 to 3 trailing bytes are ignored; fewer than 4 bytes decode nothing
  EXPECT_EQ(test::DecodeBytes(d, Layout::T2Plain, {0x02, 0, 0, 1, 0x02, 0, 0}), "0\t1\t4\n");
  EXPECT_EQ(test::DecodeBytes(d, Layout::T2Plain, {0x02, 0, 0}), "");
}

TEST(T2Plain, InformationTextIsOneLineOf44Characters) {
  const std::vector<std::uint32_t> words = {0xB3000000, 0xA2001234, 0xA3123456, 0xA2AB0041, 0xA2012345,
                                            0xA2987654, 0xA2200020, 0xA2111111, 0xA2FFFFFF, 0xA2FFFFFF};
  const std::string text = "12.34123456:;A 123.4598765420  111111.??????";
  ASSERT_EQ(text.size(), 44u);
  EXPECT_EQ(Decode(Layout::T2Plain, words), text + "\n");
  EXPECT_EQ(Decode(Layout::T3Plain, words), text + "\n");
  EXPECT_EQ(Decode(Layout::T2Plain, {0xA2001234, 0xA2123456}), "");  // no start word: nothing

  DecoderState d;  // a length set from outside never lets the text grow past its buffer
  d.infoTextStep = 12;
  d.infoTextLength = 60;
  EXPECT_EQ(test::DecodeBytes(d, Layout::T2Plain, test::BigEndian({0xA2FFFFFF})), "");
  EXPECT_EQ(d.infoTextLength, 60u);
}

}  // namespace
}  // namespace kestrun
