#include <gtest/gtest.h>

#include "tttr/TttrTesting.h"
#include "tttr/TttrWords.h"

namespace kestrun {
namespace {

using K = TttrRecordKind;
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

// What a word means depends on where it stands: outside, between packages, inside one, or as the serial
// after a storage announcement. T2 knows its data-type tail everywhere, T3 only between packages.
TEST(PackagedFraming, AWordsKindDependsOnTheFrameItStandsIn) {
  for (bool t3 : {false, true}) {
    SCOPED_TRACE(t3 ? "T3" : "T2");
    const std::uint32_t own = t3 ? kT3Head : kT2Head, other = t3 ? kT2Head : kT3Head;
    struct Step {
      std::uint32_t word;
      K kind;
      int channel = -1;  // of an event: -1 when not checked
    };
    const Step steps[] = {
        {T2Event(1, 1), K::Ignored},  // outside: events, tails and the other type's head are nothing
        {kPackageTail, K::Ignored},
        {other, K::Ignored},
        {kStorageStart, K::StorageOverflowStart},
        {kT2Head, K::StorageOverflow},  // any word is the serial, and the frame returns to outside
        {own | 0x30000, K::DataTypeHead},
        {own, K::Ignored},  // no second head between packages
        {T2Event(1, 1), K::Ignored},
        {Sync(1), K::Ignored},
        {SerialOverflow(5), K::Ignored},
        {kPackageTail, K::Ignored},
        {kTail, K::DataTypeTail},
        {kStorageStart, K::StorageOverflowStart},
        {Marker(1), K::Marker},  // a marker is no serial: the announcement waits on
        {kTail, t3 ? K::StorageOverflow : K::DataTypeTail},
        {0x12345678, t3 ? K::Ignored : K::StorageOverflow},
        {PackageHead(0, 0), K::PackageHead},  // back between packages
        {kStorageStart, K::Event, 53},        // inside a package lookalikes are events
        {PackageHead(1, 1), K::Event, 32},
        {own, K::Event},
        {kTail, t3 ? K::Event : K::DataTypeTail, t3 ? 55 : -1},
        {Marker(15), K::Marker},
        {kPackageTail, K::PackageTail},
        {PackageHead(0, 1), K::PackageHead},  // and between packages again
    };
    Framer f(t3);
    for (const Step& s : steps) {
      EXPECT_EQ(f(s.word), s.kind) << std::hex << s.word;
      if (s.channel >= 0) {
        EXPECT_EQ(f.r.channel, static_cast<std::uint32_t>(s.channel)) << std::hex << s.word;
      }
    }
    const TttrStatistics& st = f.d.tttrStatistics;
    EXPECT_EQ(st.storageOverflowSerials, (std::vector<std::uint32_t>{kT2Head, t3 ? kTail : 0x12345678}));
    EXPECT_EQ(st.storageOverflowCount, 2u);
    EXPECT_EQ(st.dataTypeHeadCount, 1u);
    EXPECT_EQ(st.dataTypeTailCount, t3 ? 1u : 3u);
    EXPECT_EQ(f.d.board, 0x30000);
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

}  // namespace
}  // namespace kestrun
