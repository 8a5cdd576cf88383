// T2 and T3 series of both layouts, synthesized and converted with kestrun-cli: the report's counts
// and error texts against the synthesizer's manifest, and a series against one file of its bytes.
#include <gtest/gtest.h>

#include <algorithm>

#include "E2eSupport.h"

namespace kestrun::test {
namespace {

const std::vector<std::string> kErrorPrefixes = {"Sync Pulse Seq Overflow Error: ", "Package Serial Error: ",
                                                 "Package Length Error, "};

// The counts of the report against what the synthesizer wrote.
void ExpectCountsOfManifest(const std::string& report, const Manifest& m, bool packaged, bool plainT2) {
  EXPECT_EQ(ValueAfter(report, "Data Type Head Number:"), m.One("data-type-heads"));
  EXPECT_EQ(ValueAfter(report, "Data Type Tail Number:"), m.One("data-type-tails"));
  EXPECT_EQ(ValueAfter(report, "Sync Pulse Seq Over Flow Number:"), m.One("sync-overflows"));
  EXPECT_EQ(TableRows(report, "Board\t\t Channel\t\t Event Number"), m.EventRows());
  // Plain T2 markers are not counted by the converter; every other layout counts them per mask.
  std::vector<std::string> markers;
  for (std::string entry : plainT2 ? std::vector<std::string>() : m.All("marker"))
    markers.push_back("\t\t[" + entry.replace(entry.find(' '), 1, ",") + "]\n");
  EXPECT_EQ(ValueAfter(report, "Marker Numbers:"), std::to_string(markers.size()));
  EXPECT_EQ(LinesStarting(report, {"\t\t["}), markers);
  if (!packaged) {
    EXPECT_EQ(report.find("Package"), std::string::npos) << report;
    EXPECT_EQ(ValueAfter(report, "Storage Over Flow Number:"), "0");
    return;
  }
  EXPECT_EQ(ValueAfter(report, "Package Head Number: "), m.One("package-heads"));
  EXPECT_EQ(ValueAfter(report, "Package Tail Number: "), m.One("package-tails"));
  EXPECT_EQ(ValueAfter(report, "Package Over Flow Number:"), m.One("package-serial-overflows"));
  const std::string storage = ValueAfter(report, "Storage Over Flow Number:");
  if (m.Number("storage-overflows") == 0) {
    EXPECT_EQ(storage, "0");
    return;
  }
  EXPECT_EQ(storage, m.One("storage-overflows") + ". Values:");
  // The values, twenty to a line, between the count and the marker section.
  std::string serials = m.One("storage-overflow-serials") + " ";
  std::replace(serials.begin(), serials.end(), ' ', '\t');
  const std::size_t from = report.find(". Values:\n") + 10;
  std::string values = report.substr(from, report.find("\n\nMarker Numbers:") - from);
  std::erase(values, '\n');
  EXPECT_EQ(values, serials);
}

// A series of every type and layout with injected faults, converted with the settings its names give:
// the counts of the manifest, exactly the injected error texts, every word of every file in the text,
// T2 times that never go back, and the bytes of the series in one file convert alike.
TEST(TttrEndToEnd, FaultySeriesConvertsLikeOneFileWithTheManifestsCountsAndErrors) {
  struct Layout {
    const char* synth;
    bool packaged;
    std::string eventLine, overflowLine;  // how they begin; "" for the packaged T3 overflow line
  };
  const Layout layouts[] = {
      {"-t T2 -d QZ48", true, "Event\t", "Event Overflow[overflow] \t"},
      // It names the latest event of its block, which differs between the series and the one file.
      {"-t T3 -d QZ48", true, "Event\t", ""},
      {"-t T2 -d KR77A5", false, "0\t", "1\t63\t"},
      {"-t T3 -d RB9531", false, "Event\t", "Overflow\t1\t63\t"},
  };
  for (const Layout& l : layouts) {
    SCOPED_TRACE(l.synth);
    const bool t2 = std::string(l.synth).starts_with("-t T2");
    ScratchDir dir;
    const Series s = Synthesize(dir, std::string(l.synth) + " -r 8 --size 2600K --files 3 --seed 3 --faults " +
                                         (l.packaged ? "serial-gap,length,sync-gap:2,junk:3" : "sync-gap:2,junk"));
    ASSERT_EQ(s.files.size(), 3u);
    ASSERT_EQ(s.manifest.Number("errors"), l.packaged ? 4u : 2u);
    for (std::size_t i = 1; i < s.files.size(); ++i)
      EXPECT_NE(s.manifest.All("file")[i].find(" opens inside "), std::string::npos) << s.manifest.All("file")[i];
    const std::string report = ExpectSeriesConvertsLikeOneFile(
        s, s.files[1], "--report --packet-info" + std::string(l.overflowLine.empty() ? "" : " --overflow"));
    ExpectCountsOfManifest(report, s.manifest, l.packaged, t2 && !l.packaged);
    std::vector<std::string> errors = LinesStarting(report, kErrorPrefixes), expected = s.manifest.Errors();
    std::sort(errors.begin(), errors.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(errors, expected);

    const std::string parsed = ParsedOf(s.files[1]);
    const std::vector<std::string> events = LinesStarting(parsed, {l.eventLine});
    EXPECT_EQ(events.size(), s.manifest.Number("events"));
    if (l.packaged) {
      EXPECT_EQ(CountLinesStarting(parsed, "Package Head[serial]"), s.manifest.Number("package-heads"));
      EXPECT_EQ(CountLinesStarting(parsed, "Package Tail"), s.manifest.Number("package-tails"));
      EXPECT_EQ(CountLinesStarting(parsed, "Storage Overflow[serial] \t"), s.manifest.Number("storage-overflows"));
    } else {
      EXPECT_EQ(CountLinesStarting(parsed, "31.1415926500N 121.4735897900E "), s.manifest.Number("info-texts"));
    }
    if (!l.overflowLine.empty()) {
      EXPECT_EQ(CountLinesStarting(parsed, l.overflowLine), s.manifest.Number("sync-overflows"));
    }
    // T2 times run on across packages, blocks and files.
    std::uint64_t previous = 0;
    for (const std::string& line : t2 ? events : std::vector<std::string>()) {
      const std::uint64_t time = std::stoull(line.substr(line.rfind('\t', line.size() - 2) + 1));
      EXPECT_GE(time, previous) << line;
      previous = time;
    }
  }
}

}  // namespace
}  // namespace kestrun::test
