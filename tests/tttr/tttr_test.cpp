// The T2 and T3 decoders of both layouts, in one pass or in blocks of any size, and kestrun-cli held to their bytes.
#include <gtest/gtest.h>

#include <algorithm>

#include "support/Conversion.h"
#include "tttr/T3FieldText.h"
#include "tttr/TttrHeader.h"
#include "tttr/TttrWords.h"

namespace kestrun::test {
namespace {

using u32 = std::uint32_t;
using K = TttrRecordKind;

// Words of the packaged and plain layouts.
constexpr u32 kT2Head = 0xEB90B712, kT3Head = 0xEB90B713, kTail = 0xEEEEDDDD;
constexpr u32 kStorageStart = 0xEB90B0CA, kPackageTail = 0xC8000000;
constexpr u32 PackageHead(u32 length, u32 serial) { return 0xC0000000u | length << 10 | serial; }
constexpr u32 Sync(u32 value, u32 bits24to10 = 0) { return 0xFE000000u | bits24to10 << 10 | value; }
constexpr u32 SerialOverflow(u32 value) { return 0xD8000000u | value; }
constexpr u32 Marker(u32 mask) { return 0x80000000u | mask << 25; }
constexpr u32 T2Event(u32 channel, u32 bins) { return channel << 25 | bins; }
constexpr u32 T3Event(u32 channel, u32 bins, u32 sequence) { return channel << 25 | bins << 10 | sequence; }
// An information text of the plain layout: a start word and its eight parts, and its line.
const std::vector<u32> kInfo = {0xB2000000, 0xA2001234, 0xA2123456, 0xA2AB0041, 0xA2012345,
                                0xA2987654, 0xA2200020, 0xA2111111, 0xA2FFFFFF};
const std::string kInfoLine = "12.34123456:;A 123.4598765420  111111.??????\n";  // 44 characters

enum class Layout { T2Packaged, T2Plain, T3Packaged, T3Plain };
bool IsT2(Layout layout) { return layout == Layout::T2Packaged || layout == Layout::T2Plain; }
bool IsPackaged(Layout layout) { return layout == Layout::T2Packaged || layout == Layout::T3Packaged; }

struct Flags { bool parsed = true, overflow = false, packetInfo = false; std::int32_t resolutionPs = 4; };

// `packages` groups of about 20 words of every kind of `layout` (wrapping sync overflows and serials, storage,
// markers, information texts, words that mean nothing), so that every state is open at some block boundary.
std::vector<u32> MixedStream(Layout layout, u32 packages) {
  const bool t3 = !IsT2(layout), packaged = IsPackaged(layout);
  std::vector<u32> out;
  u32 sync = 1000;
  if (packaged) out.push_back((t3 ? kT3Head : kT2Head) | 0x10000);
  for (u32 p = 0; p < packages; ++p) {
    if (p % 7 == 3) out.insert(out.end(), {kStorageStart, p * 1000});
    if (p % 13 == 5) out.insert(out.end(), kInfo.begin(), kInfo.end());
    const std::size_t head = out.size();
    if (packaged) out.push_back(PackageHead(0, (p * 3) % 1024));
    for (u32 n = p * 16; n < p * 16 + 16; ++n) {
      if (n % 5 == 0) sync = (sync + 1 + (n % 97 == 0 ? 3 : 0)) % 1024;  // now and then a break in the sequence
      const u32 event = t3 ? T3Event(n % 64, (n * 37) % 32768, n % 1024) : T2Event(n % 64, (n * 7919) % (1u << 25));
      const u32 odd = n % 2 ? SerialOverflow(n % 1000 + 2) : 0xC0000000 | n;
      out.push_back(n % 5 == 0 ? Sync(sync, n % 32768) : n % 9 == 0 ? Marker(n % 16) : n % 29 ? event : odd);
      if (n % 45 == 0) out.push_back(Sync(sync));  // a sync overflow repeated, and one followed by the next
      if (n % 45 == 25) out.push_back(Sync(sync = (sync + 1) % 1024));
    }
    if (packaged) {  // most packages declare their length right; some are one short
      out[head] |= static_cast<u32>(out.size() - head - 1 - (p % 11 == 0 ? 1 : 0)) << 10;
      out.push_back(kPackageTail);
    }
  }
  if (packaged) out.push_back(kTail);
  return out;
}

// The text of `bytes` in blocks of `blockSize` bytes (one block when 0); each block's result is checked.
std::string DecodeBytes(DecoderState& d, Layout layout, const std::vector<std::uint8_t>& bytes, const Flags& f = {},
                        std::size_t blockSize = 0) {
  d.generateParsed = f.parsed;
  d.outputOverflow = f.overflow;
  StringSink sink(4096);
  const std::size_t step = blockSize == 0 ? std::max<std::size_t>(bytes.size(), 1) : blockSize;
  TextSink& t = sink.sink();
  for (std::size_t at = 0; at < bytes.size() || at == 0; at += step) {
    const std::uint8_t* block = bytes.data() + at;
    const auto length = static_cast<std::int32_t>(std::min(step, bytes.size() - at));
    const std::uint64_t before = t.Produced();
    const std::int32_t r =
        layout == Layout::T2Packaged   ? d.DecodeT2Device3(block, length, t, f.resolutionPs, f.packetInfo)
        : layout == Layout::T3Packaged ? d.DecodeT3Device3(block, length, t, f.resolutionPs, f.packetInfo)
        : layout == Layout::T2Plain    ? d.DecodeT2(block, length, t, f.resolutionPs)
                                       : d.DecodeT3(block, length, t, f.resolutionPs);
    EXPECT_EQ(static_cast<std::uint64_t>(r), t.Produced() - before);
  }
  return sink.Text();
}

TEST(TttrHeader, ElevenLinesThatDifferInMaskWindowModeAndColumns) {
  auto header = [](const std::string& device, const std::string& window, const std::string& mode) {
    return "Device Type: " + device + "\nFirmware Version:Dummy Version\nStart Freqency Division:0\n" +
           "Window Resolution:" + window + "Start Threshold:0mV\nStop Threshold:0mV\nStop Delay: 0\nMode:" + mode;
  };
  const std::string t2 =
      header("QZ8B48", "-16ps\nMask Window:0d ns\n", "T2\nEnd By:\nFlag\tChannel\tTime(bin)\tTime(ps)\n");
  const std::string t3 =
      header("Unknown Type", "250ps\nMask Window:0ns\n", "T3\nEnd By:\nFlag\t Channel\t Time(bin)\t  Seq\t Time(ps)\n");
  StringSink small(64), large;  // smaller than the header: its lines spill one by one
  EXPECT_EQ(WriteT2Header(small.sink(), -16, "QZ8B48"), static_cast<std::int32_t>(t2.size()));
  EXPECT_EQ(WriteT3Header(large.sink(), 250, "Unknown Type"), static_cast<std::int32_t>(t3.size()));
  EXPECT_EQ(small.Text() + large.Text(), t2 + t3);
  TextSink none;  // no text area at all
  EXPECT_EQ(WriteT2Header(none, 4, "KR77A5"), -1);
}

// The lines of every word kind of the four layouts, optional lines on and off, and T2's announcements.
TEST(TttrDecoder, EveryWordKindPrintsItsLineAndSetsTheLayoutFlag) {
  const std::vector<u32> t2Packaged = {
      kT2Head | 0x10000, kStorageStart, 77, PackageHead(5, 0), T2Event(2, 100), Sync(1), SerialOverflow(0),
      Marker(5), Sync(2), T2Event(3, 0x1FFFFFF), kPackageTail, 0x12345678, kTail};
  const std::vector<u32> t3Packaged = {
      kT3Head | 0x20000, Sync(7), PackageHead(4, 0), Sync(1), T3Event(9, 7, 517), Sync(2), Marker(2),
      SerialOverflow(3), kPackageTail, kStorageStart, kStorageStart, kTail};
  // Sync overflows extend the T2 bins by 2^25 each, wraps from 1023 to 0 included.
  const std::vector<u32> t2Time = {T2Event(1, 9), Sync(1), Sync(2), T2Event(2, 100), Sync(1023), Sync(0),
                                   T2Event(4, 7), Sync(1023), Sync(0), Sync(5), T2Event(4, 0x1FFFFFF)};
  const u32 t3 = T3Event(5, 7, 5);
  // Parts without a start word are nothing, start and parts may have bit 24 set, parts after the eighth are nothing.
  const std::vector<u32> info = {0xA2001234, 0xA2123456, 0xB3000000, 0xA2001234, 0xA3123456, 0xA2AB0041,
                                 0xA2012345, 0xA2987654, 0xA2200020, 0xA2111111, 0xA2FFFFFF, 0xA2FFFFFF};
  const std::string announced = "Package Serial Overflow\n";
  const Flags all{.overflow = true, .packetInfo = true};
  struct Case { Layout type; std::vector<u32> words; Flags flags; std::string text, out = ""; std::size_t block = 0; };
  const Case cases[] = {
      // Package heads carry serial wraps * 1024 + serial; only a sync overflow from 1023 to 0 is a wrap.
      {Layout::T2Packaged,
       {kT2Head, PackageHead(0, 1023), kPackageTail, PackageHead(0, 0), kPackageTail, PackageHead(0, 1023),
        kPackageTail, PackageHead(0, 5), Sync(1023), Sync(0), Sync(0), T2Event(1, 1), SerialOverflow(9), kPackageTail},
       {.packetInfo = true},
       "Package Head[serial] \t1023\t1023\nPackage Tail \nPackage Head[serial] \t0\t1024\nPackage Tail \n"
       "Package Head[serial] \t1023\t2047\nPackage Tail \nPackage Head[serial] \t5\t2053\nEvent\t1\t1\t137438953476\n"
       "Package Serial Overflow[overflow] \t9\nPackage Tail \n"},
      {Layout::T2Packaged, t2Packaged, {},
       "Storage Overflow[serial] \t77\nEvent\t2\t100\t400\nPackage Serial Overflow[overflow] \t0\n"
       "Marker[ marker] \t5\nEvent\t3\t33554431\t402653180\n", announced},
      {Layout::T2Packaged, t2Packaged, all,
       "Storage Overflow[serial] \t77\nPackage Head[serial] \t0\t0\nEvent\t2\t100\t400\n"
       "Event Overflow[overflow] \t1\nPackage Serial Overflow[overflow] \t0\nMarker[ marker] \t5\n"
       "Event Overflow[overflow] \t2\nEvent\t3\t33554431\t402653180\nPackage Tail \n", announced},
      // Only serial overflows of values 0 and 1 are announced, outside a package and without text as well.
      {Layout::T2Packaged, {SerialOverflow(0), SerialOverflow(1), SerialOverflow(2)}, {.parsed = false}, "",
       announced + announced},
      {Layout::T3Packaged, t3Packaged, {},
       "Event\t9\t7\t517\t28\nMarker[marker] \t2\nPackage Serial Overflow[overflow] \t3\n"
       "Storage Overflow[serial] \t3952128202\n"},
      {Layout::T3Packaged, t3Packaged, all,
       "Package Head[serial]\t0\t0\nEvent Seq Overflow[channel, overflow] \t0\t1\n"  // no event yet: channel 0
       "Event\t9\t7\t517\t28\nEvent Seq Overflow[channel, overflow] \t9\t2\nMarker[marker] \t2\n"
       "Package Serial Overflow[overflow] \t3\nPackage Tail\nStorage Overflow[serial] \t3952128202\n"},
      {Layout::T2Plain, t2Time, {}, "0\t1\t36\n0\t2\t268435856\n0\t4\t137438953500\n0\t4\t275683213308\n"},
      {Layout::T2Plain, {T2Event(5, 10), Marker(3), Sync(1), 0xC0000000, T2Event(63, 0)}, {.overflow = true},
       "0\t5\t40\n1\t3\t0\n1\t63\t1\n0\t63\t134217728\n"},
      // T3 times: bins times the resolution whatever the overflows before, 64-bit; a negative resolution unsigned.
      {Layout::T3Plain, {T3Event(0, 32767, 0)}, {.resolutionPs = 1 << 20}, "Event\t0\t32767\t0\t34358689792\n"},
      {Layout::T3Plain, {T3Event(0, 1, 0)}, {.resolutionPs = -1}, "Event\t0\t1\t0\t18446744073709551615\n"},
      // Plain T3 overflow lines print their bins modulo 2^32; an information text two parts short prints nothing.
      {Layout::T3Plain,
       {t3, Marker(3), Sync(1023), Sync(0), Sync(5, 0x7FFF), 0xC0000000, t3, 0xB2000000, 0xA2000000, 0xA2000000,
        0xA2000000, 0xA2000000, 0xA2000000, 0xA2000000}, {.overflow = true, .resolutionPs = 1 << 20},
       "Event\t5\t7\t5\t7340032\nMarker\t1\t3\t0\t0\nOverflow\t1\t63\t0\t1023\nOverflow\t1\t63\t0\t0\n"
       "Overflow\t1\t63\t4293918720\t5\nEvent\t5\t7\t5\t7340032\n"},
      {Layout::T2Plain, info, {}, kInfoLine}, {Layout::T3Plain, info, {}, kInfoLine},
      // Plain blocks drop a leading head and a trailing tail, and nothing else.
      {Layout::T2Plain, {kT2Head, T2Event(1, 1), kTail}, {}, "0\t1\t4\n"},
      {Layout::T3Plain, {kT3Head, T3Event(1, 1, 1), Sync(1), kTail}, {}, "Event\t1\t1\t1\t4\n"},  // no overflow line
      // The packaged T3 overflow line names the latest event of its own block: a new block starts with channel 0.
      {Layout::T3Packaged, {kT3Head, PackageHead(0, 0), T3Event(9, 1, 1), Sync(1), Sync(2)}, {.overflow = true},
       "Event\t9\t1\t1\t4\nEvent Seq Overflow[channel, overflow] \t9\t1\n"
       "Event Seq Overflow[channel, overflow] \t0\t2\n", "", 16},
      // Outside a package (the case before left one open), and T3 announces nothing.
      {Layout::T3Packaged, {SerialOverflow(0), SerialOverflow(1)}, {}, ""},
      // 1 to 3 trailing bytes are ignored; fewer than 4 bytes decode nothing.
      {Layout::T2Plain, {T2Event(1, 1), T2Event(1, 0)}, {}, "0\t1\t4\n", "", 7},
  };
  DecoderState d;  // each case starts from Reset, which must leave nothing of the case before
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "case " << &c - cases);
    testing::internal::CaptureStdout();
    d.Reset();
    EXPECT_EQ(DecodeBytes(d, c.type, BigEndian(c.words), c.flags, c.block), c.text);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), c.out);
  }

  // The plain layout flag, from the value before: plain T2 sets it with every word decoded, but skips a leading
  // head (bit 4 of its second byte set; a T3 head is no T2 head) and a trailing tail; plain T3 sets it with
  // events only, and packaged words other than markers clear it.
  for (const auto& [layout, words, before, after] :
       {std::tuple{Layout::T2Plain, std::vector<u32>{0xEB92B712}, 0u, 0u}, {Layout::T2Plain, {0xEB82B712}, 0u, 1u},
        {Layout::T2Plain, {kT3Head}, 0u, 1u}, {Layout::T2Plain, {kTail}, 0u, 0u},
        {Layout::T2Plain, {kTail, kTail}, 0u, 1u}, {Layout::T2Plain, {kT2Head, kTail}, 0u, 0u},
        {Layout::T3Plain, {Marker(1), Sync(1)}, 0u, 0u}, {Layout::T3Plain, {T3Event(0, 0, 0)}, 0u, 1u},
        {Layout::T3Packaged, {Marker(1)}, 1u, 1u}, {Layout::T3Packaged, {0u}, 1u, 0u}}) {
    DecoderState d;
    d.tttrStatistics.plainLayout = before;
    DecodeBytes(d, layout, BigEndian(words));
    EXPECT_EQ(d.tttrStatistics.plainLayout, after) << static_cast<int>(layout) << " " << std::hex << words[0];
  }

  DecoderState longInfo;  // a length set from outside never lets the information text grow past its buffer
  longInfo.infoTextStep = 12;
  longInfo.infoTextLength = 60;
  EXPECT_EQ(DecodeBytes(longInfo, Layout::T2Plain, BigEndian({0xA2FFFFFF})), "");
  EXPECT_EQ(longInfo.infoTextLength, 60u);
}

// What a word means depends on where it stands: outside, between packages, inside one, or as the serial
// after a storage announcement. T2 knows its data-type tail everywhere, T3 only between packages.
// The T3 line text made ahead, against plain decimal: every bin value, at resolutions of both signs and both
// ends of their range (times wrap around in 64 bits, as the decoders' times do).
TEST(T3FieldText, EveryBinValueAtResolutionsOfBothEnds) {
  for (const std::int32_t resolution : {1, 16, -16, INT32_MAX, INT32_MIN}) {
    const T3FieldText table(resolution);
    char line[64];
    for (u32 bins = 0; bins < 32768; ++bins) {
      const u32 channel = bins % 128, sequence = bins % 1024;
      const std::string time = std::to_string(std::uint64_t{bins} * static_cast<std::uint64_t>(std::int64_t{resolution}));
      const std::string expected = std::to_string(channel) + '\t' + std::to_string(bins) + '\t' +
                                   std::to_string(sequence) + '\t' + time;
      ASSERT_EQ(std::string(line, table.Write(line, channel, bins, sequence)), expected) << resolution;
    }
  }
}

TEST(PackagedFraming, AWordsKindDependsOnTheFrameItStandsIn) {
  for (bool t3 : {false, true}) {
    SCOPED_TRACE(t3 ? "T3" : "T2");
    const std::uint32_t own = t3 ? kT3Head : kT2Head, other = t3 ? kT2Head : kT3Head;
    struct Step { u32 word; K kind; int channel = -1; };  // the channel of an event; -1: not checked
    const Step steps[] = {
        // Outside: events, tails and the other type's head are nothing; after a storage announcement any word
        // is the serial, and the frame returns to outside.
        {T2Event(1, 1), K::Ignored}, {kPackageTail, K::Ignored}, {other, K::Ignored},
        {kStorageStart, K::StorageOverflowStart}, {kT2Head, K::StorageOverflow},
        // Between packages: no second head, and events, overflows and package tails are nothing.
        {own | 0x30000, K::DataTypeHead}, {own, K::Ignored}, {T2Event(1, 1), K::Ignored}, {Sync(1), K::Ignored},
        {SerialOverflow(5), K::Ignored}, {kPackageTail, K::Ignored}, {kTail, K::DataTypeTail},
        // A marker is no serial: the announcement waits on.
        {kStorageStart, K::StorageOverflowStart}, {Marker(1), K::Marker},
        {kTail, t3 ? K::StorageOverflow : K::DataTypeTail}, {0x12345678, t3 ? K::Ignored : K::StorageOverflow},
        // Inside a package lookalikes are events; then between packages again.
        {PackageHead(0, 0), K::PackageHead}, {kStorageStart, K::Event, 53}, {PackageHead(1, 1), K::Event, 32},
        {own, K::Event}, {kTail, t3 ? K::Event : K::DataTypeTail, t3 ? 55 : -1}, {Marker(15), K::Marker},
        {kPackageTail, K::PackageTail}, {PackageHead(0, 1), K::PackageHead},
    };
    DecoderState d;
    TttrRecord r;
    std::uint64_t index = 0;
    for (const Step& s : steps) {
      const auto bytes = BigEndian({s.word});
      t3 ? DecodeT3Device3Word(d, bytes.data(), index++, r) : DecodeT2Device3Word(d, bytes.data(), index++, r);
      EXPECT_EQ(r.kind, s.kind) << std::hex << s.word;
      EXPECT_EQ(s.channel < 0 ? -1 : static_cast<int>(r.channel), s.channel) << std::hex << s.word;
    }
    std::string serials;
    auto append = [&](const char* p, std::size_t n) { return serials.append(p, n), true; };
    d.tttrStatistics.storageOverflowSerials.WriteTo(append);
    EXPECT_EQ(serials, std::to_string(kT2Head) + "\t\n" + std::to_string(t3 ? kTail : 0x12345678) + "\t");
    EXPECT_EQ(d.board, 0x30000);
  }
}

const std::string kTitle = "------------------------------TTTR Statistics Report--------------------------- \n";

// Counted without text in two blocks from Reset (of a shared `d`), with a report between them that changes nothing.
std::string ReportOf(DecoderState& d, Layout layout, const std::vector<u32>& words) {
  d.Reset();
  const auto bytes = BigEndian(words);
  const auto half = bytes.begin() + static_cast<std::ptrdiff_t>(words.size() / 2 * 4);
  DecodeBytes(d, layout, {bytes.begin(), half}, {.parsed = false});
  d.BuildReportText(IsT2(layout) ? 2 : 3);
  DecodeBytes(d, layout, {half, bytes.end()}, {.parsed = false});
  return d.BuildReportText(IsT2(layout) ? 2 : 3);
}

// Package lengths count events, sync overflows and markers, not serial overflows; storage serials go twenty to
// a line; markers are listed by mask (plain T2 counts none). Serials start at 0 and sync overflows at 1, each
// next one modulo 1024: a full turn of both is as clean as no run, and wrong first values are errors.
TEST(TttrReport, EveryListFilledPlainRunsAndSequencesThatWrapAt1024) {
  std::vector<u32> packaged = {kT2Head | 0x10000}, turn = {kT3Head};
  for (u32 i = 0; i < 45; ++i) packaged.insert(packaged.end(), {kStorageStart, 100 + i});
  packaged.insert(packaged.end(), {PackageHead(2, 0), T2Event(2, 1), Sync(1), Marker(1), kPackageTail,  //
                                   PackageHead(1, 1), Marker(2), SerialOverflow(5), kPackageTail,       //
                                   PackageHead(5, 3), T2Event(7, 1), T2Event(2, 5), Marker(3), Marker(4), Marker(8),
                                   Sync(3), kPackageTail, kTail});
  std::vector<u32> t3Packaged = packaged;
  t3Packaged.front() = kT3Head | 0x10000;
  std::string values = "100\t\n";
  for (int i = 101; i <= 144; ++i) values += std::to_string(i) + (i % 20 == 0 ? "\t\n" : "\t");
  const std::string packagedReport =
      kTitle + "Data Type Head Number:1\nData Type Tail Number:1\n\n"
               "Sync Pulse Seq Over Flow Number:2\nSync Pulse Seq Over Flow Continuity: No\n"
               "Sync Pulse Seq Overflow Error: Previous Value: 1,\tCurrent Value: 3\nPackage Over Flow Number:0\n\n"
               "Storage Over Flow Number:45. Values:\n" + values + "\n\nMarker Numbers:5\n"
               "\t[M1, number]: \n\t\t[1,1]\n\t[M2, number]: \n\t\t[2,1]\n\t\t[3,1]\n"
               "\t[M3, number]: \n\t\t[4,1]\n\t[M4, number]: \n\t\t[8,1]\n\n"
               "Package Head Number: 3\nPackage Tail Number: 3\n\n"
               "Package Serial Continuity: No\nPackage Serial Error: Previous Value: 1,\tCurrent Value: 3\n"
               "Board\t\t Channel\t\t Event Number\n65536\t2\t2\n65536\t7\t1\n\n"
               "-------------------------------------Errors------------------------\n "
               "Error 0: \nPackage Length Error, At Package with Serial:0,\tData Length: 2,\tActual Number: 3\n"
               "Error 1: \nPackage Length Error, At Package with Serial:3,\tData Length: 5,\tActual Number: 6\n";
  const std::vector<u32> plain = {T3Event(1, 5, 0), T3Event(4, 5, 0), T3Event(1, 6, 0), Marker(1), Sync(1), Sync(2)};
  const std::string head = kTitle + "Data Type Head Number:1\nData Type Tail Number:1\n\n"
                                    "Sync Pulse Seq Over Flow Number:2\nSync Pulse Seq Over Flow Continuity: Yes\n\n"
                                    "Storage Over Flow Number:0\n\n";
  const std::string boards = "\nBoard\t\t Channel\t\t Event Number\n0\t1\t2\n0\t4\t1\n\nErrors: None \n";
  for (u32 i = 0; i <= 1024; ++i) {
    turn.insert(turn.end(), {PackageHead(1, i % 1024), Sync((i + 1) % 1024), kPackageTail});
  }
  auto bare = [](std::string heads, std::string syncs, std::string serialOverflows, std::string packages,
                 std::string syncErrors = "", std::string serialErrors = "") {  // and the errors of each sequence
    auto continuity = [](const std::string& errors) { return errors.empty() ? "Yes\n\n" : "No\n" + errors; };
    return kTitle + "Data Type Head Number:" + heads + "\nData Type Tail Number:0\n\nSync Pulse Seq Over Flow Number:" +
           syncs + "\nSync Pulse Seq Over Flow Continuity: " + continuity(syncErrors) + "Package Over Flow Number:" +
           serialOverflows + "\n\nStorage Over Flow Number:0\n\nMarker Numbers:0\n\nPackage Head Number: " + packages +
           "\nPackage Tail Number: " + packages + "\n\nPackage Serial Continuity: " + continuity(serialErrors) +
           "Board\t\t Channel\t\t Event Number\n\nErrors: None \n";
  };
  const std::tuple<Layout, std::vector<u32>, std::string> cases[] = {
      {Layout::T2Packaged, packaged, packagedReport}, {Layout::T3Packaged, t3Packaged, packagedReport},
      {Layout::T3Plain, plain, head + "Marker Numbers:1\n\t[M1, number]: \n\t\t[1,1]\n" + boards},
      {Layout::T2Plain, plain, head + "Marker Numbers:0\n" + boards},
      {Layout::T3Packaged, {}, bare("0", "0", "0", "0")}, {Layout::T3Packaged, turn, bare("1", "1025", "1", "1025")},
      {Layout::T3Packaged, {kT3Head, PackageHead(2, 5), Sync(0), Sync(1000), kPackageTail},  // wrong first values
       bare("1", "2", "0", "1", "Sync Pulse Seq Overflow Error: Previous Value: 0,\tCurrent Value: 0\nSync Pulse Seq "
            "Overflow Error: Previous Value: 0,\tCurrent Value: 1000\n",
            "Package Serial Error: Previous Value: -1,\tCurrent Value: 5\n")},
  };
  DecoderState d;
  for (const auto& [layout, words, report] : cases) {
    EXPECT_EQ(ReportOf(d, layout, words), report) << static_cast<int>(layout) << " " << words.size();
  }
  // A T2 data-type tail inside a package is no word of its length.
  EXPECT_EQ(ReportOf(d, Layout::T2Packaged, {kT2Head, PackageHead(1, 0), kTail, T2Event(1, 1), kPackageTail})
                .find("Length Error"), std::string::npos);
}

// Every layout, every state open at some block boundary: hostile block sizes give the bytes of one pass. And
// kestrun-cli held to the decoders' bytes: every device and flag over two files cut inside a package.
TEST(TttrStream, BlockSizesAndSeriesFilesGiveTheBytesOfOnePass) {
  ScratchDir dir;
  for (const Layout layout : {Layout::T2Packaged, Layout::T2Plain, Layout::T3Packaged, Layout::T3Plain}) {
    SCOPED_TRACE(static_cast<int>(layout));
    // The packaged T3 overflow line names the latest event of its own block, so it is left out there.
    const Flags flags{.overflow = layout != Layout::T3Packaged, .packetInfo = true};
    const auto bytes = BigEndian(MixedStream(layout, 300));
    DecoderState one;
    std::string whole = DecodeBytes(one, layout, bytes, flags);
    whole += one.BuildTttrReport();
    // The stream breaks the sequences, its packages their lengths, and its plain information texts decode.
    ASSERT_NE(whole.find("Continuity: No"), std::string::npos);
    ASSERT_NE(whole.find(IsPackaged(layout) ? "Error 0" : "\n" + kInfoLine), std::string::npos);
    for (std::size_t blockSize : {4u, 8u, 4092u, 1u << 20}) {
      DecoderState text, counted;  // without text, packaged runs of events and sync overflows count on their own
      const std::string lines = DecodeBytes(text, layout, bytes, flags, blockSize);
      EXPECT_EQ(lines + text.BuildTttrReport(), whole) << blockSize;
      DecodeBytes(counted, layout, bytes, {.parsed = false}, blockSize);
      EXPECT_EQ(counted.BuildTttrReport(), text.BuildTttrReport()) << blockSize;
      EXPECT_EQ(std::pair(counted.overflowValue, counted.overflowWraps), std::pair(text.overflowValue, text.overflowWraps));
    }

    const std::vector<u32> words = MixedStream(layout, 40);
    std::size_t at = words.size() * 5 / 8;  // past the middle; packaged: after a head-like word, in a package
    while (IsPackaged(layout) && words[at - 1] >> 26 != 0x30) ++at;
    WriteFile(dir / "pkg_0.dat", BigEndian({words.begin(), words.begin() + static_cast<std::ptrdiff_t>(at)}));
    WriteFile(dir / "pkg_1.dat", BigEndian({words.begin() + static_cast<std::ptrdiff_t>(at), words.end()}));
    const std::int32_t device = IsPackaged(layout) ? 3 : IsT2(layout) ? 1 : 64;  // ParallelText has 2/64 and 3/1
    StringSink header;
    (IsT2(layout) ? WriteT2Header : WriteT3Header)(header.sink(), 8, TdcFileParser::DeviceDisplayName(device));
    for (int cliFlags = 0; cliFlags < 8; ++cliFlags) {
      Conversion c(dir / "pkg_1.dat", IsT2(layout) ? 2 : 3, device);
      c.resolutionPs = 8;
      c.report = (cliFlags & 1) != 0;
      c.overflow = (cliFlags & 2) != 0;
      c.packetInfo = (cliFlags & 4) != 0;
      std::filesystem::remove(dir / "pkg_1_report.txt");
      const CommandResult r = Cli("-q " + CliArguments(c));
      ASSERT_EQ(r.exitCode, 0) << CliArguments(c) << "\n" << r.err;
      DecoderState d;
      const Flags f{.overflow = c.overflow, .packetInfo = c.packetInfo, .resolutionPs = 8};
      const std::string text = header.Text() + DecodeBytes(d, layout, BigEndian(words), f, at * 4);
      EXPECT_EQ(ReadFile(dir / "pkg_1_parsed.txt"), text) << cliFlags;
      EXPECT_EQ(std::filesystem::exists(dir / "pkg_1_report.txt"), c.report) << cliFlags;
      EXPECT_EQ(LfText(ReadFile(dir / "pkg_1_report.txt")), c.report ? d.BuildTttrReport() : "") << cliFlags;
    }
  }
}

}  // namespace
}  // namespace kestrun::test
