// A T1 series, synthesized and converted with kestrun-cli: report rows and histogram text against the
// synthesizer's manifest, and the series against one file of its bytes.
#include <gtest/gtest.h>

#include <cstdio>

#include "E2eSupport.h"

namespace kestrun::test {
namespace {

TEST(T1EndToEnd, SeriesConvertsLikeOneFileWithTheManifestsCountsAndEveryChannelOnce) {
  ScratchDir dir;
  const Series s = Synthesize(dir, "-t T1 -d QZ48 -r 16 --size 2600K --files 3 --seed 6");
  ASSERT_EQ(s.files.size(), 3u);
  for (std::size_t i = 1; i < s.files.size(); ++i)
    EXPECT_NE(s.manifest.All("file")[i].find(" opens inside frame of board "), std::string::npos);
  // Type, device and resolution come from the names.
  const std::string report = ExpectSeriesConvertsLikeOneFile(s, s.files[1], "--report");
  EXPECT_TRUE(report.starts_with("T1 Statistics Report: \nHead Number:" + s.manifest.One("head-words") +
                                 "\tTail Number:" + s.manifest.One("tail-words") + "\n"))
      << report;
  EXPECT_EQ(TableRows(report, "Board,\t Channel,\t Total Event Number,\t Max Value(MaxY@X)"), s.manifest.EventRows());

  const std::string parsed = ParsedOf(s.files[1]);
  EXPECT_TRUE(parsed.starts_with("Device Type: QZ8B48\nData For Channels:\n\tbrd: A chl: 0 chl: 1 chl: 3 \n"
                                 "\tbrd: B chl: 0 chl: 5 \n\tbrd: C chl: 3 \n\tbrd: D chl: 15 \n"
                                 "Window Resolution: 16ps\n\n\n"))
      << parsed.substr(0, 300);
  EXPECT_EQ(CountLinesStarting(parsed, "Device Type: "), 1u);
  // One histogram block per channel, titled with the time of its maximum, listing every bin but the last.
  const std::uint64_t bins = s.manifest.Number("bins-per-frame");
  for (const std::string& row : s.manifest.All("event")) {
    int board = 0, channel = 0, bin = 0;
    ASSERT_EQ(std::sscanf(row.c_str(), "%d %d %*u %*u@%d", &board, &channel, &bin), 3) << row;
    const std::string title = std::string("Board ") + static_cast<char>('A' + board) + ", Channel " +
                              std::to_string(channel) + ": MAX @" + std::to_string(bin * 16) + "ps";
    EXPECT_EQ(CountLinesStarting(parsed, title), 1u);
    EXPECT_EQ(TableRows(parsed, title).size(), 1 + bins - 1) << title;
  }
}

}  // namespace
}  // namespace kestrun::test
