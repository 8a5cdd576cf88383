#include <gtest/gtest.h>

#include "tests/ittr/IttrTestSupport.h"

namespace kestrun::test {
namespace {

// One line of eight channel flags; `flags` holds 'T' for an enabled channel.
std::string ChannelLine(int first, const char* flags) {
  std::string line;
  for (int i = 0; i < 8; ++i)
    line += "ch " + std::to_string(first + i) + (flags[i] == 'T' ? ":True, \t" : ":False, \t");
  return line + "\n";
}

const std::string kColumns = "\n\nWordNumber\tChannel\tSerialSynced\tSerial\tIntensity\n";

TEST(IttrHeader, IttrMWithAutomaticStopAndMarkerPeriod) {
  const auto r = DecodeIttrWords(Header(Mode(1, 1), 0x12000064, 0, 0x80000105, 0x80000001, 1));
  EXPECT_EQ(r.state->board, 65536);
  EXPECT_EQ(r.state->ittrPosition, IttrPosition::Data);
  EXPECT_EQ(r.text,
            "Mode: 0xeb91b111, ITTR_M\n"
            "Version: 0x12=>1.2\n"
            "Statistics Number(Stop by N automatically): 0x64=>100\n"
            "Statistics Period: M(Depends on Marker)\n"
            "Zero Update: 0x1\n\n"
            "Channels Enabled:\n" +
                ChannelLine(0, "T.T.....") + ChannelLine(8, "T.......") + ChannelLine(16, "........") +
                ChannelLine(24, ".......T") + ChannelLine(32, "T.......") + ChannelLine(40, "........") +
                ChannelLine(48, "........") + ChannelLine(56, ".......T") + kColumns);
  EXPECT_EQ(r.returned, static_cast<std::int64_t>(r.text.size()));
}

TEST(IttrHeader, IttrTStoppedBySoftwareWithAPeriod) {
  const auto r = DecodeIttrWords(Header(Mode(0, 0), 0xA3000000, 0x80000000, 0, 0, 0xFFFFFFFF));
  EXPECT_EQ(r.text.substr(0, r.text.find("Channels")),
            "Mode: 0xeb90b110, ITTR_T\n"
            "Version: 0xa3=>10.3\n"
            "Statistics Number(Stop By Software): 0x0=>0\n"
            "Statistics Period: 0x80000000=>-2147483648 us\n"
            "Zero Update: 0xffffffff\n\n");
}

TEST(IttrHeader, AStreamWithoutModeWordStartsWithItsHeader) {
  const auto r = DecodeIttrWords({0x01000000, 5, 0, 0, 0, 0, 0, Lead(1, 2, 3), 9});
  EXPECT_EQ(r.text.substr(0, 40), "Mode: 0x0, ITTR_T\nVersion: 0x1=>0.1\nStat");
  EXPECT_EQ(r.text.substr(r.text.size() - kColumns.size() - 10), kColumns + "1\t2\t3\t3\t9\n");
}

TEST(IttrHeader, EndMarkerAbandonsTheHeaderAndModeWordRestartsIt) {
  const auto r = DecodeIttrWords({Mode(2, 0), 0x11000007, 44, kEnd, Lead(1, 0, 1), 5, Mode(3, 1), Lead(1, 0, 2),
                                  kOverflowMarker, kEnd /* ends the header, not the data */, 0, 0, 0, 0, 0, 6});
  const IttrStatistics& s = r.state->ittrStatistics;
  // After the second mode word the lead word and the overflow marker are header words 1 and 2; the end
  // marker returns to the data at once. No header text is written, and the fields that arrived stay.
  EXPECT_EQ(s.version, 0x41u);
  EXPECT_EQ(s.statisticsNumber, 2u);
  EXPECT_EQ(s.statisticsPeriod, kOverflowMarker);
  EXPECT_EQ(s.channelEnableLow, 0u);
  EXPECT_EQ(r.state->board, 3 << 16);
  EXPECT_EQ(r.text, "1\t0\t1\t1\t5\n");
  EXPECT_EQ(s.eventCounts.at(2 << 16).at(0), 1u);
  EXPECT_EQ(r.state->ittrPosition, IttrPosition::Data);
}

TEST(IttrHeader, ModeWordInsideTheDataTakesTheNextSevenWordsAsHeader) {
  const auto r = DecodeIttrWords(
      Join({{kEnd, Lead(0, 1, 1)},
            {Mode(0, 1), Lead(1, 2, 3), kOverflowMarker, PackageHead(1), kPackageTail, SerialOverflow(4), 0, 0},
            {kPackageTail}}));
  const IttrStatistics& s = r.state->ittrStatistics;
  EXPECT_EQ(s.version, 0x41u);
  EXPECT_EQ(s.statisticsNumber, 0x020003u);
  EXPECT_EQ(s.statisticsPeriod, kOverflowMarker);
  EXPECT_EQ(s.zeroUpdate, SerialOverflow(4));
  EXPECT_EQ(s.packageHeads + s.packageTails + s.overflowValues, 1u);
  // The open lead line runs into the header text.
  EXPECT_EQ(r.text.substr(0, 33), "0\t1\t1\t1\tMode: 0xeb90b111, ITTR_M\n");
  EXPECT_EQ(r.text.substr(r.text.size() - 17), "\n[Package Tail] \n");
}

TEST(IttrData, LeadWordsOpenLinesForTheirIntensities) {
  const auto r = DecodeIttrWords(
      {kEnd, 7, Lead(3, 63, 9), 0x3FFFFFFF, 2, 3, 4, Lead(0, 1, 10), kPackageTail, Lead(1, 2, 11), PackageHead(0), 8});
  EXPECT_EQ(r.text,
            "3\t63\t9\t9\t1073741823\n2\n3\n"
            "0\t1\t10\t10\t[Package Tail] \n"
            "1\t2\t11\t11\t[Package Head, Serial: 0x0=>0] \n8\n");
  const auto& counts = r.state->ittrStatistics.eventCounts;
  ASSERT_EQ(counts.size(), 1u);
  EXPECT_EQ(counts.at(0).size(), 2u);
  EXPECT_EQ(counts.at(0).at(63), 3u);
  EXPECT_EQ(counts.at(0).at(2), 1u);
}

TEST(IttrData, SyncedSerialCountsOverflowValuesAndTheirWraps) {
  DecoderState state;
  state.ittrPosition = IttrPosition::Data;
  state.generateParsed = true;
  state.overflowValue = 2;
  StringSink sink;
  auto bytes = BigEndian({0x43050007});
  state.DecodeIttr(bytes.data(), 4, sink.sink());
  state.overflowWraps = 3;
  state.overflowValue = 1000;
  bytes = BigEndian({Lead(0, 0, 0xFFFF)});
  state.DecodeIttr(bytes.data(), 4, sink.sink());
  EXPECT_EQ(sink.Text(), "3\t5\t131079\t7\t0\t0\t266928127\t65535\t");  // ((3 * 1024 + 1000) << 16) + 65535
}

TEST(IttrData, OverflowPackageAndSerialOverflowLines) {
  const std::vector<std::uint32_t> words = {
      kEnd,         kOverflowMarker,       kOverflowMarker, 0xFFFFFFFF, PackageHead(0xABCD),
      kPackageTail, SerialOverflow(0x3FF), 0xB0000000,      0x80000000};
  EXPECT_EQ(DecodeIttrWords(words).text,
            "Data Overflow, Value: 0xffffffff=>-1, \n"
            "[Package Head, Serial: 0xabcd=>43981] \n"
            "[Package Tail] \n"
            "[Statistics Serial Overflow, Value: 0x3ff=>1023] \n");
  const auto quiet = DecodeIttrWords(words, 1 << 20, true, false);
  EXPECT_EQ(quiet.text.find("Statistics Serial"), std::string::npos);
  EXPECT_EQ(quiet.state->overflowValue, 1023);
}

TEST(IttrChecks, LeadSerialsFollowEachOtherModulo65536) {
  const auto r = DecodeIttrWords(
      Join({Header(Mode(0, 0), 0, 0, 0, 0, 1),
            {Lead(0, 0, 1), Lead(0, 0, 2), Lead(0, 0, 4), Lead(0, 0, 0xFFFF), Lead(0, 0, 0), Lead(0, 0, 1)}}));
  const IttrStatistics& s = r.state->ittrStatistics;
  EXPECT_EQ(s.errors,
            (std::vector<std::string>{"Statistics Lead Error: Previous Serial: 2,\tCurrent Serial: 4\n",
                                      "Statistics Lead Error: Previous Serial: 4,\tCurrent Serial: 65535\n"}));
  EXPECT_EQ(s.leadSerialWraps, 1u);
  // Without zero update 1 nothing is checked, but decreases still count.
  const auto off = DecodeIttrWords({kEnd, Lead(0, 0, 9), Lead(0, 0, 3), Lead(0, 0, 2), Lead(0, 0, 7)});
  EXPECT_TRUE(off.state->ittrStatistics.errors.empty());
  EXPECT_EQ(off.state->ittrStatistics.leadSerialWraps, 2u);
}

TEST(IttrChecks, OverflowValuesOfBothKinds) {
  const auto r = DecodeIttrWords({kEnd, kOverflowMarker, 1, SerialOverflow(2), SerialOverflow(0xFFFF),
                                  SerialOverflow(0), kOverflowMarker, 0x10001});
  const IttrStatistics& s = r.state->ittrStatistics;
  EXPECT_EQ(s.errors,
            (std::vector<std::string>{
                "Statistics Overflow Value Error: Previous Overflow Value: 2,\tCurrent Overflow Value: 65535\n",
                "Statistics Overflow Value Error: Previous Overflow Value: 0,\tCurrent Overflow Value: 65537\n"}));
  EXPECT_EQ(s.overflowValues, 5u);
  EXPECT_EQ(s.overflowValueWraps, 1u);
  EXPECT_EQ(r.state->overflowValue, 0);  // only serial overflow words set it
  EXPECT_EQ(r.state->overflowWraps, 0u);
}

TEST(IttrChecks, SerialOverflowFrom1023To0WrapsButFailsTheCheck) {
  std::vector<std::uint32_t> words = {kEnd};
  for (std::uint32_t v = 1; v <= 1023; ++v) words.push_back(SerialOverflow(v));
  words.push_back(SerialOverflow(0));
  words.push_back(Lead(0, 0, 5));
  const auto r = DecodeIttrWords(words);
  EXPECT_EQ(r.state->overflowWraps, 1u);
  EXPECT_EQ(r.state->ittrStatistics.errors,
            std::vector<std::string>{
                "Statistics Overflow Value Error: Previous Overflow Value: 1023,\tCurrent Overflow Value: 0\n"});
  EXPECT_NE(r.text.find("0\t0\t67108869\t5\t"), std::string::npos);  // (1 * 1024 + 0) << 16 plus 5
}

TEST(IttrStream, BlockSizesAndParsedTextDoNotChangeTheOutcome) {
  std::vector<std::uint32_t> words = Header(Mode(1, 0), 0x21000010, 100, 0xFF, 0, 1);
  for (std::uint32_t i = 1; i < 3000; ++i) {
    words.push_back(Lead(i % 5, i % 64, i & 0xFFFF));
    for (std::uint32_t k = 0; k < i % 5; ++k) words.push_back(i * 31 + k);
    if (i % 40 == 0) words.insert(words.end(), {kPackageTail, PackageHead(i / 40), SerialOverflow(i / 40)});
    if (i % 700 == 0) words.insert(words.end(), {kOverflowMarker, i});
    if (i % 1000 == 0) {
      const auto header = Header(Mode(i / 1000, 1), i, 0, i, i, 1);
      words.insert(words.end(), header.begin(), header.end());
    }
  }
  const auto whole = DecodeIttrWords(words);
  const std::string report = whole.state->BuildIttrReport();
  for (std::size_t size : {std::size_t{4}, std::size_t{8}, std::size_t{4092}}) {
    const auto split = DecodeIttrWords(words, size, true, true, 200);
    EXPECT_EQ(split.text, whole.text) << size;
    EXPECT_EQ(split.returned, static_cast<std::int64_t>(whole.text.size())) << size;
    EXPECT_EQ(split.state->BuildIttrReport(), report) << size;
  }
  const auto silent = DecodeIttrWords(words, 4092, false);
  EXPECT_EQ(silent.text, "");
  EXPECT_EQ(silent.returned, 0);
  EXPECT_EQ(silent.state->BuildIttrReport(), report);
}

TEST(IttrStream, AFailingFileGivesMinusOneAndTheHeaderFieldsStillArrive) {
  std::vector<std::uint32_t> words;
  for (int i = 0; i < 50; ++i) {
    const auto h = Header(Mode(0, i & 1), 0x10000000u + static_cast<std::uint32_t>(i), 0, ~0u, 0, 0);
    words.insert(words.end(), h.begin(), h.end());
  }
  DecoderState state;
  state.generateParsed = true;
  std::vector<char> area(200);
  TextSink sink(
      area.data(), area.size(), [](void*, char*, std::size_t) -> char* { return nullptr; }, nullptr);
  const auto bytes = BigEndian(words);
  EXPECT_EQ(state.DecodeIttr(bytes.data(), static_cast<std::int32_t>(bytes.size()), sink), -1);
  EXPECT_EQ(state.ittrStatistics.version, 0x10u);
  EXPECT_EQ(state.ittrStatistics.statisticsNumber, 49u);
}

}  // namespace
}  // namespace kestrun::test
