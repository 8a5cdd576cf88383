#include <gtest/gtest.h>

#include "tttr/TttrTesting.h"
#include "tttr/TttrWords.h"

namespace kestrun {
namespace {

using K = TttrRecordKind;
using F = TttrFrameState;
using namespace test::w;

// Feeds single words to a packaged-layout word decoder.
struct Framer {
  explicit Framer(bool t3Layout) : t3(t3Layout) {}
  bool t3;
  DecoderState d;
  TttrRecord r;
  K operator()(std::uint32_t word) {
    const auto bytes = test::BigEndian({word});
    t3 ? DecodeT3Device3Word(d, bytes.data(), r) : DecodeT2Device3Word(d, bytes.data(), r);
    return r.kind;
  }
};

TEST(PackagedFraming, InsideAPackageLookalikesAreEvents) {
  for (bool t3 : {false, true}) {
    Framer f(t3);
    EXPECT_EQ(f(t3 ? kT3Head : kT2Head), K::DataTypeHead);
    EXPECT_EQ(f(PackageHead(0, 0)), K::PackageHead);
    EXPECT_EQ(f(kStorageStart), K::Event);
    EXPECT_EQ(f.r.channel, 53u);
    EXPECT_EQ(f(PackageHead(1, 1)), K::Event);
    EXPECT_EQ(f.r.channel, 32u);
    EXPECT_EQ(f(t3 ? kT3Head : kT2Head), K::Event);
    EXPECT_EQ(f(kTail), t3 ? K::Event : K::DataTypeTail);  // T2 knows its tail everywhere
    EXPECT_EQ(f.r.channel, t3 ? 55u : 53u);
    EXPECT_EQ(f(Marker(15)), K::Marker);
    EXPECT_EQ(f.d.frameState, F::InPackage);
    EXPECT_EQ(f(kPackageTail), K::PackageTail);
    EXPECT_EQ(f.d.frameState, F::BetweenPackages);
    EXPECT_EQ(f.d.previousFrameState, F::InPackage);
  }
}

TEST(PackagedFraming, BetweenPackagesAndOutsideOnlyHeadsAndAnnouncementsCount) {
  for (bool t3 : {false, true}) {
    Framer f(t3);
    EXPECT_EQ(f(T2Event(1, 1)), K::Ignored);  // outside: events, tails and the other type's head are nothing
    EXPECT_EQ(f(kPackageTail), K::Ignored);
    EXPECT_EQ(f(t3 ? kT2Head : kT3Head), K::Ignored);
    EXPECT_EQ(f(kStorageStart), K::StorageOverflowStart);
    EXPECT_EQ(f(kT2Head), K::StorageOverflow);  // any word is the serial, and returns to where it was
    EXPECT_EQ(f.r.serial, kT2Head);
    EXPECT_EQ(f.d.frameState, F::Outside);
    EXPECT_EQ(f.d.previousFrameState, F::StorageSerial);

    EXPECT_EQ(f((t3 ? kT3Head : kT2Head) | 0x30000), K::DataTypeHead);
    EXPECT_EQ(f.d.board, 0x30000);
    EXPECT_EQ(f(t3 ? kT3Head : kT2Head), K::Ignored);  // no second head between packages
    EXPECT_EQ(f.d.board, 0x30000);
    for (std::uint32_t word : {T2Event(1, 1), Sync(1), SerialOverflow(5), kPackageTail}) EXPECT_EQ(f(word), K::Ignored);
    EXPECT_EQ(f(kTail), K::DataTypeTail);
    EXPECT_EQ(f.d.frameState, F::BetweenPackages);

    EXPECT_EQ(f(kStorageStart), K::StorageOverflowStart);
    EXPECT_EQ(f(Marker(1)), K::Marker);  // a marker is no serial: the announcement waits on
    EXPECT_EQ(f(kTail), t3 ? K::StorageOverflow : K::DataTypeTail);
    if (!t3) {
      EXPECT_EQ(f(kStorageStart), K::StorageOverflow);
    }
    EXPECT_EQ(f.d.frameState, F::BetweenPackages);
    EXPECT_EQ(f.d.tttrStatistics.storageOverflowSerials, (std::vector<std::uint32_t>{kT2Head, t3 ? kTail : kStorageStart}));
    EXPECT_EQ(f.d.tttrStatistics.storageOverflowCount, 2u);
    EXPECT_EQ(f.d.tttrStatistics.dataTypeHeadCount, 1u);
    EXPECT_EQ(f.d.tttrStatistics.dataTypeTailCount, t3 ? 1u : 2u);
  }
}

TEST(PackagedFraming, PackagesCarrySequenceNumbersAcrossSerialWraps) {
  Framer f(false);
  f(kT2Head);
  for (std::uint32_t serial : {1023u, 0u, 1023u, 5u}) {
    EXPECT_EQ(f(PackageHead(0, serial)), K::PackageHead);
    EXPECT_EQ(f(kPackageTail), K::PackageTail);
  }
  EXPECT_EQ(f.r.sequenceNumber, 2u * 1024 + 5);
  EXPECT_EQ(f.d.packageSerialWraps, 2u);
  f(PackageHead(0, 6));
  EXPECT_EQ(f(Sync(1023)), K::SyncOverflow);
  EXPECT_EQ(f(Sync(0)), K::SyncOverflow);
  EXPECT_EQ(f(Sync(0)), K::SyncOverflow);  // 0 after 0 is no wrap
  EXPECT_EQ(f.d.overflowWraps, 1u);
  EXPECT_EQ(f(SerialOverflow(9)), K::PackageSerialOverflow);
  EXPECT_EQ(f.r.value, 9u);
}

TEST(PackagedFraming, T2AnnouncesSerialOverflowWordsOnStandardOutput) {
  for (bool t3 : {false, true}) {
    Framer f(t3);
    testing::internal::CaptureStdout();
    f(SerialOverflow(0));  // outside any package, still announced
    f(SerialOverflow(1));
    f(SerialOverflow(2));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), t3 ? "" : "Package Serial Overflow\nPackage Serial Overflow\n");
  }
}

}  // namespace
}  // namespace kestrun
