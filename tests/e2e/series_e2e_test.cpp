// Series of every type and layout, synthesized with faults and converted with kestrun-cli by the settings
// their names give: the report's counts, event and marker rows and the injected error texts against the
// synthesizer's manifest, the text's line counts too, and the series against one file of all its bytes.
#include <gtest/gtest.h>

#include <algorithm>

#include "E2eSupport.h"

namespace kestrun::test {
namespace {

// The text after the first `label`; fails when there is none.
std::string After(const std::string& text, const std::string& label) {
  const std::size_t at = text.find(label);
  EXPECT_NE(at, std::string::npos) << "no '" << label << "' in\n" << text.substr(0, 2000);
  return at == std::string::npos ? std::string() : text.substr(at + label.size());
}

// Every line of `text` that begins with one of `prefixes`, in order, each with its line feed.
std::vector<std::string> LinesStarting(const std::string& text, const std::vector<std::string>& prefixes) {
  std::vector<std::string> found;
  for (const std::string& line : Lines(text))
    if (std::any_of(prefixes.begin(), prefixes.end(), [&](const std::string& p) { return line.starts_with(p); }))
      found.push_back(line + "\n");
  return found;
}

std::string OutputOf(const std::string& input, const std::string& suffix) {
  const std::filesystem::path p(input);
  return ReadFile((p.parent_path() / (p.stem().string() + suffix)).string());
}

using Keys = std::vector<std::pair<std::string, std::string>>;  // a label or line start, a manifest key

struct Case {
  std::string synth;         // kestrun-synth arguments
  std::string flags;         // kestrun-cli arguments besides the input
  std::string eventHeading;  // the line above the report's event rows
  Keys values;               // report labels and the manifest keys of the numbers that follow them
  std::vector<std::string> errorLines;  // how the report's lines with injected errors begin
  bool inStreamOrder = false;           // whether the report lists its errors in the order found
  bool markerRows = false;              // whether the report lists the manifest's markers, "[mask,count]"
  Keys textLines;  // how lines of the text begin, and the manifest keys of their counts ("#key": entries)
};

const Keys kTttrValues = {{"Data Type Head Number:", "data-type-heads"},
                          {"Data Type Tail Number:", "data-type-tails"},
                          {"Sync Pulse Seq Over Flow Number:", "sync-overflows"}};
const Keys kPackagedValues = {{"Marker Numbers:", "marker-masks"},
                              {"Package Head Number: ", "package-heads"},
                              {"Package Tail Number: ", "package-tails"},
                              {"Package Over Flow Number:", "package-serial-overflows"},
                              {"Storage Over Flow Number:", "storage-overflows"}};
const Keys kPackagedLines = {{"Event\t", "events"},
                             {"Package Head[serial]", "package-heads"},
                             {"Package Tail", "package-tails"},
                             {"Storage Overflow[serial] \t", "storage-overflows"}};
const std::vector<std::string> kTttrErrors = {"Sync Pulse Seq Overflow Error: ", "Package Serial Error: ",
                                              "Package Length Error, "};
const std::string kPackagedFaults = " -r 8 --size 2600K --files 3 --seed 3 --faults serial-gap,length,sync-gap:2,junk:3";
const std::string kPlainFaults = " -r 8 --size 2600K --files 3 --seed 3 --faults sync-gap:2,junk";
const std::string kInfoText = "31.1415926500N 121.4735897900E ";

const Keys kIttrValues = {{"Version: ", "version"},
                          {"Zero Update: 0x", "zero-update"},
                          {"Statistics Event OverFlow Number:", "overflow-values"},
                          {"Package Head Number:", "package-heads"},
                          {"Package Tail Number:", "package-tails"},
                          {"Calculated Statistics Overflow Serial Overflow Number:", "overflow-value-wraps"},
                          {"Calculated Package Serial Overflow Number:", "package-serial-wraps"}};
const Keys kIttrLines = {{"[Package Head, Serial: 0x", "package-heads"},
                         {"[Package Tail] ", "package-tails"},
                         {"[Statistics Serial Overflow, Value: 0x", "statistics-serial-overflow-words"},
                         {"Data Overflow, Value: 0x", "data-overflows"}};
const std::vector<std::string> kIttrErrors = {"Statistics Lead Error: ", "Statistics Overflow Value Error: ",
                                              "Package Serial Value Error: ", "Statistics Overflow Calculated: "};
const std::string kIttrFaults =
    " --size 2600K --files 4 --seed 2 --faults serial-gap,lead-gap,junk:2,overflow-gap,overflow-count";

Keys Join(Keys a, const Keys& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

const Case kCases[] = {
    {"-t T1 -d QZ48 -r 16 --size 2600K --files 3 --seed 6", "--report",
     "Board,\t Channel,\t Total Event Number,\t Max Value(MaxY@X)",
     {{"Head Number:", "head-words"}, {"\tTail Number:", "tail-words"}}, {}, false, false,
     {{"Board ", "#event"}}},  // one histogram per channel
    {"-t ITTR_T -d KR77A5 --board 3" + kIttrFaults, "--report --overflow", "Board\t Channel\t EventNumber",
     kIttrValues, kIttrErrors, true, false, kIttrLines},
    {"-t ITTR_M -d QZ48" + kIttrFaults, "--report --overflow", "Board\t Channel\t EventNumber", kIttrValues,
     kIttrErrors, true, false, kIttrLines},
    {"-t T2 -d QZ48" + kPackagedFaults, "--report --packet-info --overflow", "Board\t\t Channel\t\t Event Number",
     Join(kTttrValues, kPackagedValues), kTttrErrors, false, true,
     Join(kPackagedLines, {{"Event Overflow[overflow] \t", "sync-overflows"}, {"Marker[ marker] \t", "marker-words"}})},
    // Without overflow lines: the packaged T3 one names the latest event of its block, which differs between
    // the series and the one file.
    {"-t T3 -d QZ48" + kPackagedFaults, "--report --packet-info", "Board\t\t Channel\t\t Event Number",
     Join(kTttrValues, kPackagedValues), kTttrErrors, false, true,
     Join(kPackagedLines, {{"Marker[marker] \t", "marker-words"}})},
    // Plain T2 markers are not counted, so the report lists none.
    {"-t T2 -d KR77A5" + kPlainFaults, "--report --overflow", "Board\t\t Channel\t\t Event Number", kTttrValues,
     kTttrErrors, false, false, {{"0\t", "events"}, {"1\t63\t", "sync-overflows"}, {kInfoText, "info-texts"}}},
    {"-t T3 -d RB9531" + kPlainFaults, "--report --overflow", "Board\t\t Channel\t\t Event Number",
     Join(kTttrValues, {{"Marker Numbers:", "marker-masks"}}), kTttrErrors, false, true,
     {{"Event\t", "events"},
      {"Overflow\t1\t63\t", "sync-overflows"},
      {"Marker\t", "marker-words"},
      {kInfoText, "info-texts"}}},
};

TEST(SeriesEndToEnd, FaultySeriesConvertLikeOneFileWithTheManifestsCountsAndErrors) {
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.synth);
    ScratchDir dir;
    const Series s = Synthesize(dir, c.synth);
    ASSERT_GE(s.files.size(), 3u);
    const Manifest& m = s.manifest;

    // Converted from a file in the middle, and as one file of the first file's name in a directory of its
    // own, so that the name gives the same settings: the same report and text.
    const std::string chosen = s.files[s.files.size() / 2];
    const std::filesystem::path first(s.files.front());
    const std::string whole = (first.parent_path() / "whole" / first.filename()).string();
    std::filesystem::create_directories(first.parent_path() / "whole");
    std::string bytes;
    for (const std::string& file : s.files) bytes += ReadFile(file);
    WriteFile(whole, bytes);
    for (const std::string& input : {chosen, whole}) {
      const CommandResult r = Cli("-q " + c.flags + " " + Quote(input));
      ASSERT_EQ(r.exitCode, 0) << input << "\n" << r.err;
    }
    const std::string report = OutputOf(chosen, "_report.txt"), parsed = OutputOf(chosen, "_parsed.txt");
    EXPECT_EQ(report, OutputOf(whole, "_report.txt"));
    EXPECT_TRUE(parsed == OutputOf(whole, "_parsed.txt"));  // too long to print

    for (const auto& [label, key] : c.values) {
      const std::string rest = After(report, label);
      EXPECT_EQ(rest.substr(0, rest.find_first_of(",.\t\n")), m.One(key)) << label;
    }
    std::vector<std::string> rows = m.All("event");
    for (std::string& row : rows) std::replace(row.begin(), row.end(), ' ', '\t');
    const std::vector<std::string> table = Lines(After(report, c.eventHeading + "\n"));
    EXPECT_EQ(std::vector<std::string>(table.begin(), std::find(table.begin(), table.end(), "")), rows);
    std::vector<std::string> markers;
    for (std::string entry : c.markerRows ? m.All("marker") : std::vector<std::string>())
      markers.push_back("\t\t[" + entry.replace(entry.find(' '), 1, ",") + "]\n");
    EXPECT_EQ(LinesStarting(report, {"\t\t["}), markers);

    std::vector<std::string> errors = LinesStarting(report, c.errorLines), expected = m.Errors();
    EXPECT_EQ(expected.size(), m.Number("errors"));
    EXPECT_EQ(expected.empty(), c.errorLines.empty());
    if (!c.inStreamOrder) {
      std::sort(errors.begin(), errors.end());
      std::sort(expected.begin(), expected.end());
    }
    EXPECT_EQ(errors, expected);

    for (const auto& [start, key] : c.textLines) {
      const std::uint64_t count = key.starts_with("#") ? m.All(key.substr(1)).size() : m.Number(key);
      EXPECT_EQ(LinesStarting(parsed, {start}).size(), count) << start;
    }
  }
}

}  // namespace
}  // namespace kestrun::test
