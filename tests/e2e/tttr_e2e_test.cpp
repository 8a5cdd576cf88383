// T2 and T3 series of both layouts, synthesized and converted with kestrun-cli: the report's counts
// and error texts against the synthesizer's manifest, and a series against one file of its bytes.
#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>

#include "E2eSupport.h"

namespace kestrun::test {
namespace {

struct Layout {
  const char* type;
  const char* model;
  bool packaged;
};

void PrintTo(const Layout& l, std::ostream* os) { *os << l.type << " " << l.model; }

class TttrEndToEnd : public ::testing::TestWithParam<Layout> {
 protected:
  // "-t <type> -d <model> <extra>", as both kestrun-synth and kestrun-cli take them.
  std::string SynthArgs(const std::string& extra) const {
    return std::string("-t ") + GetParam().type + " -d " + GetParam().model + " " + extra;
  }
  bool T2() const { return std::string(GetParam().type) == "T2"; }
  bool PlainT2() const { return !GetParam().packaged && T2(); }
  // How a sync overflow line begins (with "Output Overflow"); the packaged T3 one is not used here.
  std::string OverflowLine() const {
    if (GetParam().packaged) return T2() ? "Event Overflow[overflow] \t" : "Event Seq Overflow[channel, overflow] \t";
    return T2() ? "1\t63\t" : "Overflow\t1\t63\t";
  }
};

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

TEST_P(TttrEndToEnd, InjectedFaultsAppearAsTheirErrorTextsAndCountsMatchTheManifest) {
  ScratchDir dir;
  const std::string faults = GetParam().packaged ? "serial-gap,length,sync-gap:2,junk" : "sync-gap:2,junk";
  const Series s = Synthesize(dir, SynthArgs("--size 1536K --files 3 --seed 3 --faults " + faults));
  ASSERT_EQ(s.files.size(), 3u);
  ASSERT_EQ(s.manifest.Number("errors"), GetParam().packaged ? 4u : 2u);
  // Device, type and resolution come from the synthesizer's file names.
  CliConvert("--report --no-parsed", s.files[1]);
  const std::string report = ReportOf(s.files[1]);

  ExpectCountsOfManifest(report, s.manifest, GetParam().packaged, PlainT2());
  std::vector<std::string> errors = LinesStarting(report, kErrorPrefixes), expected = s.manifest.Errors();
  std::sort(errors.begin(), errors.end());
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(errors, expected);
  EXPECT_NE(report.find("Sync Pulse Seq Over Flow Continuity: No\n"), std::string::npos);
  if (GetParam().packaged) {
    EXPECT_NE(report.find("Package Serial Continuity: No\n"), std::string::npos);
    EXPECT_NE(report.find("-------------------------------------Errors------------------------\n Error 0: \n"
                          "Package Length Error"),
              std::string::npos)
        << report;
  } else {
    EXPECT_NE(report.find("\nErrors: None \n"), std::string::npos);
  }
}

// A clean series with junk between the structures: continuity, no errors, one header and every word of
// every file in the text, T2 times that never go back, and the bytes of the series in one file convert alike.
TEST_P(TttrEndToEnd, CleanSeriesConvertsLikeOneFileWithEveryWordInItsText) {
  ScratchDir dir;
  const Series s = Synthesize(dir, SynthArgs("-r 8 --size 2600K --files 3 --seed 5 --faults ") +
                                       (GetParam().packaged ? "junk:3" : "junk"));
  ASSERT_EQ(s.files.size(), 3u);
  for (std::size_t i = 1; i < s.files.size(); ++i)
    EXPECT_NE(s.manifest.All("file")[i].find(" opens inside "), std::string::npos) << s.manifest.All("file")[i];
  // The packaged T3 overflow line names the latest event of its block, which differs between the two.
  const bool blockDependent = GetParam().packaged && !T2();
  ExpectSeriesConvertsLikeOneFile(s, s.files[2],
                                  SynthArgs("-r 8 --report --packet-info") + (blockDependent ? "" : " --overflow"));
  const std::string report = ReportOf(s.files[2]);
  const std::string parsed = ParsedOf(s.files[2]);
  ExpectCountsOfManifest(report, s.manifest, GetParam().packaged, PlainT2());
  EXPECT_EQ(LinesStarting(report, kErrorPrefixes), std::vector<std::string>());
  EXPECT_NE(report.find("Sync Pulse Seq Over Flow Continuity: Yes\n\n"), std::string::npos);
  EXPECT_EQ(report.find("Package Serial Continuity: Yes\n\n") != std::string::npos, GetParam().packaged);
  EXPECT_TRUE(report.ends_with("\nErrors: None \n")) << report;

  EXPECT_EQ(CountLinesStarting(parsed, "Device Type: "), 1u);
  EXPECT_EQ(CountLinesStarting(parsed, "Flag\t"), 1u);
  const std::vector<std::string> events = LinesStarting(parsed, {PlainT2() ? "0\t" : "Event\t"});
  EXPECT_EQ(events.size(), s.manifest.Number("events"));
  if (GetParam().packaged) {
    EXPECT_EQ(CountLinesStarting(parsed, "Package Head[serial]"), s.manifest.Number("package-heads"));
    EXPECT_EQ(CountLinesStarting(parsed, "Package Tail"), s.manifest.Number("package-tails"));
    EXPECT_EQ(CountLinesStarting(parsed, "Storage Overflow[serial] \t"), s.manifest.Number("storage-overflows"));
  } else {
    EXPECT_EQ(CountLinesStarting(parsed, "31.1415926500N 121.4735897900E "), s.manifest.Number("info-texts"));
  }
  if (!blockDependent) {
    EXPECT_EQ(CountLinesStarting(parsed, OverflowLine()), s.manifest.Number("sync-overflows"));
  }
  // T2 times run on across packages, blocks and files.
  std::uint64_t previous = 0;
  for (const std::string& line : T2() ? events : std::vector<std::string>()) {
    const std::uint64_t time = std::stoull(line.substr(line.rfind('\t', line.size() - 2) + 1));
    EXPECT_GE(time, previous) << line;
    previous = time;
  }
}

INSTANTIATE_TEST_SUITE_P(Layouts, TttrEndToEnd,
                         ::testing::Values(Layout{"T2", "QZ48", true}, Layout{"T3", "QZ48", true},
                                           Layout{"T2", "KR77A5", false}, Layout{"T3", "RB9531", false}),
                         [](const auto& info) {
                           return std::string(info.param.type) + (info.param.packaged ? "Packaged" : "Plain") +
                                  info.param.model;
                         });

}  // namespace
}  // namespace kestrun::test
