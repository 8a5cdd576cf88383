// kestrun-synth and kestrun-cli together: the converter's report and text must agree with the manifest of
// what the synthesizer wrote (faults included), and a series must convert like one file of all its bytes.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>

#include "support/Conversion.h"

namespace kestrun::test {
namespace {

namespace fs = std::filesystem;
using Strings = std::vector<std::string>;
const std::string kSynth = Quote(std::string(KESTRUN_BIN_DIR) + "/kestrun-synth") + " ";

Strings Lines(const std::string& text) {
  Strings lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// Every line of `text` that begins with one of `prefixes`, in order, each with its line feed.
Strings LinesStarting(const std::string& text, const Strings& prefixes) {
  Strings found;
  for (const std::string& line : Lines(text))
    if (std::any_of(prefixes.begin(), prefixes.end(), [&](const std::string& p) { return line.starts_with(p); }))
      found.push_back(line + "\n");
  return found;
}

// The text after the first `label`; fails when there is none.
std::string After(const std::string& text, const std::string& label) {
  const std::size_t at = text.find(label);
  EXPECT_NE(at, std::string::npos) << "no '" << label << "' in\n" << text.substr(0, 2000);
  return at == std::string::npos ? std::string() : text.substr(at + label.size());
}

// "key: value" lines of a manifest; a key may repeat (file, event, marker, error).
struct Manifest {
  std::string text;
  Strings All(const std::string& key) const {
    Strings values = LinesStarting(text, {key + ": "});
    for (std::string& v : values) v = v.substr(key.size() + 2, v.size() - key.size() - 3);
    return values;
  }
  std::string One(const std::string& key) const {
    const Strings values = All(key);
    EXPECT_EQ(values.size(), 1u) << "manifest key " << key;
    return values.empty() ? std::string() : values.front();
  }
  std::uint64_t Number(const std::string& key) const { return std::stoull("0" + One(key)); }
  // The error texts the report must show, each with its line feed (escaped as \t and \n), sorted.
  Strings Errors() const {
    Strings texts = All("error");
    for (std::string& text : texts)
      for (const auto& [escaped, plain] : {std::pair{"\\t", "\t"}, std::pair{"\\n", "\n"}})
        for (std::size_t at = text.find(escaped); at != std::string::npos; at = text.find(escaped, at))
          text.replace(at, 2, plain);
    std::sort(texts.begin(), texts.end());
    return texts;
  }
};

struct Series { Strings files; Manifest manifest; };  // files in series order

// kestrun-synth with `arguments` into `dir`: near-equal shares of whole words, listed in the manifest, each
// file after the first opening inside a structure the one before left open.
Series Synthesize(const ScratchDir& dir, const std::string& arguments) {
  const std::string manifest = dir / "manifest.txt";
  const CommandResult r = RunCommand(kSynth + arguments + " -o " + Quote(dir.path().string()) + " --manifest " +
                                     Quote(manifest));
  EXPECT_EQ(r.exitCode, 0) << arguments << "\n" << r.err;
  Series s{Lines(r.out), {ReadFile(manifest)}};
  const Strings listed = s.manifest.All("file");
  EXPECT_EQ(listed.size(), s.files.size()) << arguments;
  const double share = static_cast<double>(s.manifest.Number("bytes")) / static_cast<double>(s.files.size());
  std::uint64_t total = 0;
  for (std::size_t i = 0; i < s.files.size() && i < listed.size(); ++i) {
    const std::uint64_t bytes = fs::file_size(s.files[i]);
    total += bytes;
    EXPECT_EQ(bytes % 4, 0u) << s.files[i];
    EXPECT_NEAR(static_cast<double>(bytes), share, share / 2) << s.files[i];
    EXPECT_TRUE(listed[i].starts_with(s.files[i] + " " + std::to_string(bytes))) << listed[i];
    EXPECT_EQ(listed[i].find(" opens inside ") != std::string::npos, i > 0) << listed[i];
  }
  EXPECT_EQ(s.manifest.Number("bytes"), total) << arguments;
  return s;
}

// A seed writes the same bytes again, another others; a usage error exits with 2, says why, writes nothing.
TEST(Synth, SeedsAndUsageErrors) {
  ScratchDir a, b, c, dir;
  const std::string args = "-t T3 -d QZ48 --size 300K --files 2 --faults length,junk --seed ";
  const Series first = Synthesize(a, args + "9 run"), again = Synthesize(b, args + "9 run");
  const Series other = Synthesize(c, args + "10 run");
  ASSERT_EQ(first.files.size(), 2u);
  for (std::size_t i = 0; i < first.files.size(); ++i) {
    EXPECT_EQ(fs::path(first.files[i]).filename(), "run_" + std::to_string(i + 1) + ".dat");
    EXPECT_TRUE(ReadFile(first.files[i]) == ReadFile(again.files[i]));
    EXPECT_FALSE(ReadFile(first.files[i]) == ReadFile(other.files[i]));
  }
  EXPECT_EQ(first.manifest.Errors(), again.manifest.Errors());
  const std::pair<const char*, const char*> cases[] = {
      {"-t T1 -d KR77A5 --faults junk", "fault 'junk' does not apply to T1 data of KR77A5 (possible: none)"},
      {"-t T2 -d RB9531 --faults serial-gap",
       "fault 'serial-gap' does not apply to T2 data of RB9531 (possible: sync-gap, junk)"},
      {"-t T4 -d QZ48", "unknown data type 'T4' (T1, T2, T3, ITTR_T or ITTR_M)"},
      {"-t T2 -d QZ49", "unknown device model 'QZ49' (KR77A5, RB9531 or QZ48)"},
      {"-t T2 -d QZ48 -r 0", "the resolution must be above 0 ps"},
      {"-t T2 -d QZ48 --size 3X", "bad size '3X' (bytes, or a number with K, M or G)"},
      {"-t T2 -d QZ48 --faults gap", "unknown fault 'gap' (known: serial-gap, length, sync-gap, junk)"},
      {"-t T2 -d QZ48 sub/name", "NAME is a file name, not a path; use -o for the directory"},
      {"-t T2 -d QZ48 --files 0", nullptr},  // the option parser's own text
  };
  for (const auto& [arguments, message] : cases) {
    const CommandResult r = RunCommand(kSynth + arguments + " -o " + Quote(dir.path().string()));
    EXPECT_EQ(r.exitCode, 2) << arguments;
    EXPECT_EQ(r.err, message ? "kestrun-synth: error: " + std::string(message) + "\n"
                             : "--files: Value 0 not in range 1 to 9999\nRun with --help for more information.\n");
  }
  EXPECT_TRUE(fs::is_empty(dir.path()));
}

using Keys = std::vector<std::pair<std::string, std::string>>;  // a label or line start, a manifest key
Keys operator+(Keys a, const Keys& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// One series to convert and what to hold against its manifest.
struct Case {
  std::string synth;         // kestrun-synth arguments
  std::string eventHeading;  // the line above the report's event rows
  Keys values;               // report labels, and the manifest keys of the numbers after them
  Strings errorLines;        // how the report's lines with the injected errors begin
  Keys textLines;  // how lines of the text begin, and the manifest keys of their counts ("#key": its entries)
  std::string flags = "--report --overflow --packet-info";
};

const std::string kTttrHeading = "Board\t\t Channel\t\t Event Number", kIttrHeading = "Board\t Channel\t EventNumber";
const Keys kTttrValues = {{"Data Type Head Number:", "data-type-heads"}, {"Data Type Tail Number:", "data-type-tails"},
                          {"Sync Pulse Seq Over Flow Number:", "sync-overflows"}};
const Keys kPackagedValues =
    kTttrValues + Keys{{"Marker Numbers:", "marker-masks"}, {"Package Head Number: ", "package-heads"},
                       {"Package Tail Number: ", "package-tails"}, {"Storage Over Flow Number:", "storage-overflows"},
                       {"Package Over Flow Number:", "package-serial-overflows"}};
const Strings kTttrErrors = {"Sync Pulse Seq Overflow Error: ", "Package Serial Error: ", "Package Length Error, "};
const std::string kPackaged = " -r 8 --size 2600K --files 3 --seed 3 --faults serial-gap,length,sync-gap:2,junk:3";
const std::string kPlain = " -r 8 --size 2600K --files 3 --seed 3 --faults sync-gap:2,junk";
const std::string kInfoText = "31.1415926500N 121.4735897900E ";

const Keys kIttrValues = {{"Version: ", "version"}, {"Zero Update: 0x", "zero-update"},
                          {"Statistics Event OverFlow Number:", "overflow-values"},
                          {"Package Head Number:", "package-heads"}, {"Package Tail Number:", "package-tails"},
                          {"Calculated Statistics Overflow Serial Overflow Number:", "overflow-value-wraps"},
                          {"Calculated Package Serial Overflow Number:", "package-serial-wraps"}};
// Lines the report does not count.
const Keys kIttrLines = {{"[Statistics Serial Overflow, Value: 0x", "statistics-serial-overflow-words"},
                         {"Data Overflow, Value: 0x", "data-overflows"}};
const Strings kIttrErrors = {"Statistics Lead Error: ", "Statistics Overflow Value Error: ",
                             "Package Serial Value Error: ", "Statistics Overflow Calculated: "};
const std::string kIttr =
    " --size 2600K --files 4 --seed 2 --faults serial-gap,lead-gap,junk:2,overflow-gap,overflow-count";

// Every event has its line in the text, however long the series.
const Case kSeries[] = {
    // One histogram for each channel.
    {"-t T1 -d QZ48 -r 16 --size 2600K --files 3 --seed 6",
     "Board,\t Channel,\t Total Event Number,\t Max Value(MaxY@X)",
     {{"Head Number:", "head-words"}, {"\tTail Number:", "tail-words"}}, {}, {{"Board ", "#event"}}},
    {"-t ITTR_T -d KR77A5 --board 3" + kIttr, kIttrHeading, kIttrValues, kIttrErrors, kIttrLines},
    {"-t ITTR_M -d QZ48" + kIttr, kIttrHeading, kIttrValues, kIttrErrors, kIttrLines},
    {"-t T2 -d QZ48" + kPackaged, kTttrHeading, kPackagedValues, kTttrErrors, {{"Event\t", "events"}}},
    // Without overflow lines: the packaged T3 one names the latest event of its block, which differs
    // between the series and the one file.
    {"-t T3 -d QZ48" + kPackaged, kTttrHeading, kPackagedValues, kTttrErrors, {{"Event\t", "events"}},
     "--report --packet-info"},
    // Plain T2 markers are not counted: the report lists none.
    {"-t T2 -d KR77A5" + kPlain, kTttrHeading, kTttrValues, kTttrErrors,
     {{"0\t", "events"}, {kInfoText, "info-texts"}}},
    {"-t T3 -d RB9531" + kPlain, kTttrHeading, kTttrValues + Keys{{"Marker Numbers:", "marker-masks"}}, kTttrErrors,
     {{"Event\t", "events"}, {kInfoText, "info-texts"}}},
};

TEST(SeriesEndToEnd, FaultySeriesConvertLikeOneFileWithTheManifestsCountsAndErrors) {
  for (const Case& c : kSeries) {
    SCOPED_TRACE(c.synth);
    ScratchDir dir;
    const Series s = Synthesize(dir, c.synth);
    ASSERT_GE(s.files.size(), 3u);
    const Manifest& m = s.manifest;

    // From a file in the middle, and as one file named as the first in a directory of its own: the same.
    const fs::path whole = dir / "whole";
    fs::create_directory(whole);
    std::string bytes;
    for (const std::string& file : s.files) bytes += ReadFile(file);
    WriteFile((whole / fs::path(s.files.front()).filename()).string(), bytes);
    auto convert = [&](const fs::path& input) {  // its report and text
      const CommandResult r = Cli("-q " + c.flags + " " + Quote(input.string()));
      EXPECT_EQ(r.exitCode, 0) << input << "\n" << r.err;
      const std::string stem = (input.parent_path() / input.stem()).string();
      return std::pair{LfText(ReadFile(stem + "_report.txt")), ReadFile(stem + "_parsed.txt")};
    };
    const auto [report, parsed] = convert(s.files[s.files.size() / 2]);
    const auto [wholeReport, wholeParsed] = convert(whole / fs::path(s.files.front()).filename());
    EXPECT_EQ(report, wholeReport);
    EXPECT_TRUE(parsed == wholeParsed);  // too long to print

    bool markers = false;  // a report that counts markers lists them by mask
    for (const auto& [label, key] : c.values) {
      const std::string rest = After(report, label);
      EXPECT_EQ(rest.substr(0, rest.find_first_of(",.\t\n")), m.One(key)) << label;
      markers |= key == "marker-masks";
    }
    Strings rows = m.All("event"), listed;
    for (std::string& row : rows) std::replace(row.begin(), row.end(), ' ', '\t');
    const Strings table = Lines(After(report, c.eventHeading + "\n"));
    EXPECT_EQ(Strings(table.begin(), std::find(table.begin(), table.end(), "")), rows);
    for (std::string entry : markers ? m.All("marker") : Strings())
      listed.push_back("\t\t[" + entry.replace(entry.find(' '), 1, ",") + "]\n");
    EXPECT_EQ(LinesStarting(report, {"\t\t["}), listed);

    // The injected errors and no others (every fault case has some); the order is the report's sections'.
    Strings errors = LinesStarting(report, c.errorLines);
    std::sort(errors.begin(), errors.end());
    EXPECT_EQ(errors, m.Errors());
    EXPECT_EQ(errors.empty(), c.errorLines.empty());
    for (const auto& [start, key] : c.textLines) {
      const std::uint64_t count = key.starts_with("#") ? m.All(key.substr(1)).size() : m.Number(key);
      EXPECT_EQ(LinesStarting(parsed, {start}).size(), count) << start;
    }
  }
}

}  // namespace
}  // namespace kestrun::test
