#pragma once
// Runs kestrun-synth and kestrun-cli, reads the synthesizer's manifest and picks the report apart.

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "support/Conversion.h"

namespace kestrun::test {

inline const std::string kSynth = std::string(KESTRUN_BIN_DIR) + "/kestrun-synth";

inline std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  for (std::size_t start = 0, end = 0; start < text.size(); start = end + 1) {
    end = std::min(text.find('\n', start), text.size());
    lines.push_back(text.substr(start, end - start));
  }
  return lines;
}

// "key: value" lines of a manifest; a key may repeat (event, marker, file, error).
class Manifest {
 public:
  explicit Manifest(const std::string& text) {
    for (const std::string& line : Lines(text)) {
      const std::size_t colon = line.find(": ");
      if (colon != std::string::npos) entries_.emplace(line.substr(0, colon), line.substr(colon + 2));
    }
  }
  std::vector<std::string> All(const std::string& key) const {
    std::vector<std::string> values;
    for (auto [it, end] = entries_.equal_range(key); it != end; ++it) values.push_back(it->second);
    return values;
  }
  std::string One(const std::string& key) const {
    const auto values = All(key);
    EXPECT_EQ(values.size(), 1u) << "manifest key " << key;
    return values.empty() ? std::string() : values.front();
  }
  std::uint64_t Number(const std::string& key) const { return std::stoull("0" + One(key)); }
  // The report's event table as the manifest predicts it: "board\tchannel\tcount[\tmax@bin]".
  std::vector<std::string> EventRows() const {
    std::vector<std::string> rows = All("event");
    for (std::string& row : rows) std::replace(row.begin(), row.end(), ' ', '\t');
    return rows;
  }
  // The error texts the report must show, each with its closing line feed (escaped as \t and \n).
  std::vector<std::string> Errors() const {
    std::vector<std::string> texts;
    for (const std::string& escaped : All("error")) {
      std::string text;
      for (std::size_t i = 0; i < escaped.size(); ++i) {
        const char c = escaped[i] == '\\' && i + 1 < escaped.size() ? escaped[++i] : '\0';
        text += c == '\0' ? escaped[i] : c == 't' ? '\t' : c == 'n' ? '\n' : c;
      }
      texts.push_back(text);
    }
    return texts;
  }

 private:
  std::multimap<std::string, std::string> entries_;
};

struct Series {
  std::vector<std::string> files;  // in series order
  Manifest manifest;
};

// Runs kestrun-synth with `arguments` into `dir`; the written paths and the manifest.
inline Series Synthesize(const ScratchDir& dir, const std::string& arguments) {
  const std::string manifest = dir / "manifest.txt";
  const CommandResult r = RunCommand(Quote(kSynth) + " " + arguments + " -o " + Quote(dir.path().string()) +
                                     " --manifest " + Quote(manifest));
  EXPECT_EQ(r.exitCode, 0) << arguments << "\n" << r.err;
  return {Lines(r.out), Manifest(ReadFile(manifest))};
}

// Runs kestrun-cli quietly with `arguments` on `input`; expects success.
inline void CliConvert(const std::string& arguments, const std::string& input) {
  const CommandResult r = Cli("-q " + arguments + " " + Quote(input));
  EXPECT_EQ(r.exitCode, 0) << arguments << " " << input << "\n" << r.err;
}

// <dir>/<stem>_report.txt and _parsed.txt of a converted input path.
inline std::string OutputOf(const std::string& input, const std::string& suffix) {
  const std::filesystem::path p(input);
  return ReadFile((p.parent_path() / (p.stem().string() + suffix)).string());
}
inline std::string ReportOf(const std::string& input) { return OutputOf(input, "_report.txt"); }
inline std::string ParsedOf(const std::string& input) { return OutputOf(input, "_parsed.txt"); }

// Converts the series from its file `chosen`, and all its bytes in one file of the first file's name in
// a directory of its own (so that the name gives the same settings); expects the same report and text.
// Returns the chosen file's report.
inline std::string ExpectSeriesConvertsLikeOneFile(const Series& s, const std::string& chosen,
                                                   const std::string& arguments) {
  const std::filesystem::path first(s.files.front());
  const std::filesystem::path whole = first.parent_path() / "whole" / first.filename();
  std::filesystem::create_directories(whole.parent_path());
  std::string bytes;
  for (const std::string& file : s.files) bytes += ReadFile(file);
  WriteFile(whole.string(), bytes);
  CliConvert(arguments, chosen);
  CliConvert(arguments, whole.string());
  const std::string report = ReportOf(chosen);
  EXPECT_EQ(report, ReportOf(whole.string()));
  EXPECT_TRUE(ParsedOf(chosen) == ParsedOf(whole.string()));  // too long to print
  return report;
}

// The lines after the line `heading` up to the next empty line or the end.
inline std::vector<std::string> TableRows(const std::string& report, const std::string& heading) {
  const std::vector<std::string> lines = Lines(report);
  auto row = std::find(lines.begin(), lines.end(), heading);
  EXPECT_NE(row, lines.end()) << "no line '" << heading << "' in\n" << report;
  if (row != lines.end()) ++row;
  return {row, std::find(row, lines.end(), std::string())};
}

// The rest of the first line that begins with `label`.
inline std::string ValueAfter(const std::string& report, const std::string& label) {
  for (const std::string& line : Lines(report))
    if (line.starts_with(label)) return line.substr(label.size());
  ADD_FAILURE() << "no line '" << label << "' in\n" << report;
  return {};
}

// Every line of `text` that begins with one of `prefixes`, in order, each with its line feed.
inline std::vector<std::string> LinesStarting(const std::string& text, const std::vector<std::string>& prefixes) {
  std::vector<std::string> found;
  for (const std::string& line : Lines(text))
    if (std::any_of(prefixes.begin(), prefixes.end(), [&](const std::string& p) { return line.starts_with(p); }))
      found.push_back(line + "\n");
  return found;
}

inline std::size_t CountLinesStarting(const std::string& text, const std::string& prefix) {
  return Count("\n" + text, "\n" + prefix);
}

}  // namespace kestrun::test
