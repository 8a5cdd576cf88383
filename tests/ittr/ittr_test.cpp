#include <gtest/gtest.h>

#include <algorithm>

#include "support/Conversion.h"

namespace kestrun::test {
namespace {

using u32 = std::uint32_t;
constexpr u32 kEnd = 0xEEEEDDDD, kMarker = 0xEB90B0CA, kTail = 0xA0000000;
constexpr u32 Mode(u32 board, u32 m) { return 0xEB90B110u | board << 16 | m; }
constexpr u32 Lead(u32 words, u32 channel, u32 serial) { return 0x40000000u | words << 24 | channel << 16 | serial; }
constexpr u32 Head(u32 serial) { return 0x90000000u | serial; }
constexpr u32 SerialOverflow(u32 value) { return 0xF0000000u | value; }

// The text of `words` in blocks through an area of `capacity` bytes (0: failing), its length checked; the report.
std::string TextAndReport(const std::vector<u32>& words, bool overflow = true, std::size_t blockSize = 1 << 20,
                          std::size_t capacity = 1 << 20, bool parsed = true) {
  DecoderState state;
  state.generateParsed = parsed;
  state.outputOverflow = overflow;
  StringSink sink(std::max<std::size_t>(capacity, 1));
  char area[64];
  TextSink failing(area, sizeof area, [](void*, char*, std::size_t) -> char* { return nullptr; }, nullptr);
  std::int64_t returned = 0;
  const auto bytes = BigEndian(words);
  for (std::size_t at = 0; at < bytes.size(); at += blockSize) {
    returned += state.DecodeIttr(bytes.data() + at, static_cast<std::int32_t>(std::min(blockSize, bytes.size() - at)),
                                 capacity ? sink.sink() : failing);
  }
  const std::string text = sink.Text();
  return (returned == static_cast<std::int64_t>(text.size()) ? text : "results add up to " + std::to_string(returned)) +
         state.BuildIttrReport();
}

// A header's channel lines and column titles; `flags` has a 'T' per enabled channel of 0..63 (spaces ignored).
std::string Channels(std::string flags) {
  std::erase(flags, ' ');
  std::string text = "Channels Enabled:\n";
  for (int i = 0; i < 64; ++i) {
    text += "ch " + std::to_string(i) + (flags[i] == 'T' ? ":True, \t" : ":False, \t") + (i % 8 == 7 ? "\n" : "");
  }
  return text + "\n\nWordNumber\tChannel\tSerialSynced\tSerial\tIntensity\n";
}

const std::string kTitle = "----------------ITTR Statistics Report---------------: \nHeader Info:\n";

// The report's counters, up to its events (whose title this includes).
std::string Counters(int overflows, int heads, int tails, int overflowWraps, int packageWraps) {
  return "Statistics Event OverFlow Number:" + std::to_string(overflows) +
         "\nPackage Head Number:" + std::to_string(heads) + ",\tPackage Tail Number:" + std::to_string(tails) +
         "\n\nCalculated Statistics Overflow Serial Overflow Number:" + std::to_string(overflowWraps) +
         ",\tCalculated Package Serial Overflow Number:" + std::to_string(packageWraps) +
         "\n\nStatistics Events:\nBoard\t Channel\t EventNumber\n";
}

TEST(IttrDecoder, WordsGiveTheirLinesCountersAndErrors) {
  std::vector<u32> wrap = {kEnd};
  for (u32 v = 1; v <= 1023; ++v) wrap.push_back(SerialOverflow(v));
  std::vector<u32> wide = wrap;
  wrap.insert(wrap.end(), {SerialOverflow(0), SerialOverflow(1), Lead(0, 0, 5)});
  wide.insert(wide.end(), {SerialOverflow(0), SerialOverflow(700), Lead(8, 0, 5), 0, 9, 10, 9999, 10000, 10009,
                           99999999, 100000000, 0x80000000 /* carries nothing */, Lead(2, 1, 6), 5, Lead(0, 2, 7)});
  struct Case {
    std::vector<u32> words;
    std::string text;    // the whole parsed text; not checked when empty
    std::string report;  // how the report ends
    bool overflow = true;
  };
  const Case cases[] = {
      // Without a mode word the stream starts with its header (ITTR_T, stopped by software, with a period).
      {{0xA3000000, 0x80000000, 0, 0, 0xFFFFFFFF, 0, 0, Lead(1, 2, 3), 9},
       "Mode: 0x0, ITTR_T\nVersion: 0xa3=>10.3\nStatistics Number(Stop By Software): 0x0=>0\n"
       "Statistics Period: 0x80000000=>-2147483648 us\nZero Update: 0xffffffff\n\n" +
           Channels(std::string(64, '.')) + "1\t2\t3\t3\t9\n",
       "Board\t Channel\t EventNumber\n0\t2\t1\n\nErrors: None \n"},
      // An end marker abandons the header at once, a mode word restarts it (a lead word and an overflow marker
      // are its words 1 and 2): no header text is written, and the fields that arrived stay.
      {{Mode(2, 0), 0x11000007, 44, kEnd, Lead(1, 0, 1), 5, Mode(3, 1), Lead(1, 0, 2), kMarker,
        kEnd /* ends the header, not the data */, 0, 0, 0, 0, 0, 6}, "1\t0\t1\t1\t5\n",
       "Version: 0x41\nStatistics Number: 0x2=>2\nPeriod: 0xeb90b0ca=>3952128202\nZero Update: 0x0\n\n"
       "Enabled Channles:\n\n\n" + Counters(0, 0, 0, 0, 0) + "131072\t0\t1\n\nErrors: None \n"},
      // A mode word takes the next seven words as header (ITTR_M, automatic stop, marker period), none a data
      // word, its text after the open lead line; the report lists channels 16 and up in hexadecimal.
      {{kEnd, Lead(2, 1, 1), Mode(1, 1), 0x12000064, 0, 0x80000105, 0x80000001, SerialOverflow(1), kMarker, Head(1),
        kTail}, "2\t1\t1\t1\tMode: 0xeb91b111, ITTR_M\nVersion: 0x12=>1.2\n"
       "Statistics Number(Stop by N automatically): 0x64=>100\nStatistics Period: M(Depends on Marker)\n"
       "Zero Update: 0xf0000001\n\n" +
           Channels("T.T..... T....... ........ .......T T....... ........ ........ .......T") + "[Package Tail] \n",
       "Version: 0x12\nStatistics Number: 0x64=>100\nPeriod: 0x0=>0\nZero Update: 0xf0000001\n\nEnabled Channles:\n"
       "0\t2\t8\t1f\t\n20\t3f\t\n" + Counters(0, 0, 1, 0, 0) + "\nErrors: None \n"},
      // Lead words open lines for their intensities (dropped without one); a package word lands in the open line.
      {{kEnd, 7, Lead(3, 63, 9), 0x3FFFFFFF, 2, 3, 4, Lead(0, 1, 10), kTail, Lead(1, 2, 11), Head(0), 0x3FFFFFF8, kMarker,
        kMarker, 0xFFFFFFFF, Head(0xABCD), kTail, SerialOverflow(0x3FF), 0xB0000000 /* carries nothing */},
       "3\t63\t9\t9\t1073741823\n2\n3\n0\t1\t10\t10\t[Package Tail] \n1\t2\t11\t11\t[Package Head, Serial: 0x0=>0] \n"
       "1073741816\nData Overflow, Value: 0xffffffff=>-1, \n[Package Head, Serial: 0xabcd=>43981] \n[Package Tail] \n"
       "[Statistics Serial Overflow, Value: 0x3ff=>1023] \n",
       Counters(2, 2, 2, 0, 0) + "0\t2\t1\n0\t63\t3\n\nErrors: Error 0: \n"
           "Statistics Overflow Value Error: Previous Overflow Value: 0,\tCurrent Overflow Value: 4294967295\n"
           "Error 1: \n"
           "Package Serial Value Error: Previous Package Serial Value: 0,\tCurrent Package Serial Value: 43981\n"
           "Error 2: \n"
           "Statistics Overflow Value Error: Previous Overflow Value: 4294967295,\tCurrent Overflow Value: 1023\n"
           "Error 3: \nStatistics Overflow Calculated: 0,\tStatistics Overflow Actual: 2\n"},
      // With zero update 1 lead serials follow each other modulo 65536.
      {{Mode(0, 0), 0, 0, 0, 0, 1, 0, 0, Lead(0, 0, 1), Lead(0, 0, 2), Lead(0, 0, 4), Lead(0, 0, 0xFFFF), Lead(0, 0, 0),
        Lead(0, 0, 1)}, "", "Errors: Error 0: \nStatistics Lead Error: Previous Serial: 2,\tCurrent Serial: 4\n"
       "Error 1: \nStatistics Lead Error: Previous Serial: 4,\tCurrent Serial: 65535\n"
       "Error 2: \nStatistics Overflow Calculated: 1,\tStatistics Overflow Actual: 0\n"},
      // Overflow values of both kinds are checked; only serial overflow words set the synced serial's base (0).
      {{kEnd, kMarker, 1, SerialOverflow(2), SerialOverflow(0xFFFF), SerialOverflow(0), kMarker, 0x10001,
        Lead(0, 0, 1)},
       "Data Overflow, Value: 0x1=>1, \nData Overflow, Value: 0x10001=>65537, \n0\t0\t1\t1\t",
       Counters(5, 0, 0, 1, 0) + "\nErrors: Error 0: \n"
           "Statistics Overflow Value Error: Previous Overflow Value: 2,\tCurrent Overflow Value: 65535\n"
           "Error 1: \nStatistics Overflow Value Error: Previous Overflow Value: 0,\tCurrent Overflow Value: 65537\n"
           "Error 2: \nStatistics Overflow Calculated: 0,\tStatistics Overflow Actual: 5\n", false},
      // A serial overflow from 1023 to 0 wraps the synced serial ((1 * 1024 + 1) << 16 plus 5) but fails the check.
      {wrap, "0\t0\t67174405\t5\t",
       "Errors: Error 0: \nStatistics Overflow Value Error: Previous Overflow Value: 1023,\tCurrent Overflow Value: 0\n"
       "Error 1: \nStatistics Overflow Calculated: 0,\tStatistics Overflow Actual: 1025\n", false},
      // Numbers at every length the line writers tell apart: intensities and a synced serial past 10^8.
      // A word of no kind after a lead's last intensity is no lead; a lead ends the intensities of one before.
      {wide, "8\t0\t112984069\t5\t0\n9\n10\n9999\n10000\n10009\n99999999\n100000000\n"
       "2\t1\t112984070\t6\t5\n0\t2\t112984071\t7\t", "", false},
      // The whole report of a clean stream.
      {{Mode(1, 0), 0x21000010, 1000, (1u << 0) | (1u << 9) | (1u << 10), 1u << 1, 1, 0, 0, Lead(2, 5, 1), 10, 20,
        Lead(1, 10, 2), 30, Head(0), kTail}, "",
       kTitle + "Version: 0x21\nStatistics Number: 0x10=>16\nPeriod: 0x3e8=>1000\nZero Update: 0x1\n\n"
                "Enabled Channles:\n0\t9\ta\t\n21\t\n" +
           Counters(0, 1, 1, 0, 0) + "65536\t5\t2\n65536\t10\t1\n\nErrors: None \n"},
      // A faulty stream: errors in the order found, the overflow consistency last, when the report is built.
      {{kEnd, Lead(0, 0, 5), Lead(0, 0, 2), Head(3), Head(0xFFFF), Head(0), Lead(0, 0, 1), kMarker, 1}, "",
       kTitle + "Version: 0x0\nStatistics Number: 0x0=>0\nPeriod: 0x0=>0\nZero Update: 0x0\n\nEnabled Channles:\n\n\n" +
           Counters(1, 3, 0, 0, 1) + "\nErrors: Error 0: \n"
       "Package Serial Value Error: Previous Package Serial Value: -1,\tCurrent Package Serial Value: 3\n"
       "Error 1: \nPackage Serial Value Error: Previous Package Serial Value: 3,\tCurrent Package Serial Value: 65535\n"
       "Error 2: \nStatistics Overflow Calculated: 2,\tStatistics Overflow Actual: 1\n"},
  };
  for (const Case& c : cases) {
    const std::string both = TextAndReport(c.words, c.overflow);
    EXPECT_EQ(c.text.empty() ? "" : both.substr(0, both.find(kTitle)), c.text) << &c - cases;
    EXPECT_TRUE(both.ends_with(c.report)) << &c - cases << "\n" << both;
  }
}

TEST(IttrStream, BlocksFilesAndRunsChangeNothing) {
  // Everything that carries state from word to word: header words, lead words with their intensities, package
  // words, overflow markers with their values, serial overflows and mode words that restart the header.
  // Leads announce varying counts (so that later blocks take them without a branch on the count), some one
  // more than they carry, before another lead or a word of no kind, some one less (an intensity word no
  // lead announced, which has no line).
  std::vector<u32> words = {Mode(1, 0), 0x21000010, 100, 0xFF, 0, 1, 0, 0};
  for (u32 i = 1; i < 3000; ++i) {
    words.push_back(Lead(i % 5 + (i % 9 == 0 ? 1 : 0), i % 64, i & 0xFFFF));
    for (u32 k = 0; k < i % 5; ++k) words.push_back(i * 31 + k);
    if (i % 11 == 0) words.push_back(i);
    if (i % 27 == 0) words.push_back(0x80000000);
    if (i % 40 == 0) words.insert(words.end(), {kTail, Head(i / 40), SerialOverflow(i / 40)});
    if (i % 700 == 0) words.insert(words.end(), {kMarker, i});
    if (i % 1000 == 0) words.insert(words.end(), {Mode(i / 1000, 1), i, 0, i, i, 1, 0, 0});
  }
  const std::string whole = TextAndReport(words), report = whole.substr(whole.find(kTitle));
  // Blocks of one word, of two and of one word short of a page, through a text area of 200 bytes.
  for (std::size_t size : {4u, 8u, 4092u}) EXPECT_EQ(TextAndReport(words, true, size, 200), whole) << size;
  // Without text too (the first block alone in a block of 1 MiB).
  for (std::size_t size : {8u, 4092u, 1u << 20}) EXPECT_EQ(TextAndReport(words, true, size, 1, false), report) << size;

  // A file that fails to take the text (from the first header on) gives -1, and decoding goes on for the report.
  EXPECT_EQ(TextAndReport(words, true, 1 << 20, 0), "results add up to -1" + report);

  // A series of three files, cut inside the first header and between a lead word and its intensity.
  std::size_t lead = 4000;
  while (words[lead] >> 24 != 0x41) ++lead;
  ScratchDir dir;
  const std::size_t cuts[] = {0, 3, lead + 1, words.size()};
  for (int f = 0; f < 3; ++f) {
    WriteFile(dir / ("cap_" + std::to_string(f + 1) + ".dat"),
              BigEndian(std::vector<u32>(words.begin() + cuts[f], words.begin() + cuts[f + 1])));
  }
  Conversion c(dir / "cap_1.dat", 5, 1);
  TdcFileParser parser;
  const Outputs o = Convert(parser, c);
  EXPECT_TRUE(std::to_string(o.status) + " " + o.parsed + o.report == "0 " + whole);
  // A second run on the same parser starts afresh: the same report, without parsed text too.
  c.parsed = false;
  EXPECT_EQ(Convert(parser, c).report, report);
}

}  // namespace
}  // namespace kestrun::test
