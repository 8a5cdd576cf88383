#pragma once
// Runs kestrun-synth and kestrun-cli, reads the synthesizer's manifest and picks the report apart.

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "support/TestSupport.h"

namespace kestrun::test {

inline const std::string kSynth = std::string(KESTRUN_BIN_DIR) + "/kestrun-synth";

inline std::string Quote(const std::string& text) { return "'" + text + "'"; }

// "key: value" lines of a manifest; a key may repeat (event, marker, file, error).
class Manifest {
 public:
  Manifest() = default;
  explicit Manifest(const std::string& text) {
    std::size_t start = 0;
    while (start < text.size()) {
      std::size_t end = text.find('\n', start);
      if (end == std::string::npos) end = text.size();
      const std::string line = text.substr(start, end - start);
      const std::size_t colon = line.find(": ");
      if (colon != std::string::npos) entries_.emplace(line.substr(0, colon), line.substr(colon + 2));
      start = end + 1;
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
    std::vector<std::string> rows;
    for (std::string row : All("event")) {
      for (char& c : row) c = c == ' ' ? '\t' : c;
      rows.push_back(row);
    }
    return rows;
  }
  // The error texts the report must show, each with its closing line feed.
  std::vector<std::string> Errors() const {
    std::vector<std::string> texts;
    for (const std::string& escaped : All("error")) {
      std::string text;
      for (std::size_t i = 0; i < escaped.size(); ++i) {
        if (escaped[i] == '\\' && i + 1 < escaped.size()) {
          const char c = escaped[++i];
          text += c == 't' ? '\t' : c == 'n' ? '\n' : c;
        } else {
          text += escaped[i];
        }
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
  std::string first() const { return files.empty() ? std::string() : files.front(); }
};

// Runs kestrun-synth with `arguments` into `dir`; the written paths and the manifest.
inline Series Synthesize(const ScratchDir& dir, const std::string& arguments) {
  const std::string manifestPath = dir / "manifest.txt";
  const CommandResult r = RunCommand(Quote(kSynth) + " " + arguments + " -o " + Quote(dir.path().string()) +
                                     " --manifest " + Quote(manifestPath));
  EXPECT_EQ(r.exitCode, 0) << arguments << "\n" << r.err;
  Series series;
  std::size_t start = 0;
  while (start < r.out.size()) {
    const std::size_t end = r.out.find('\n', start);
    series.files.push_back(r.out.substr(start, end - start));
    start = end == std::string::npos ? r.out.size() : end + 1;
  }
  series.manifest = Manifest(ReadFile(manifestPath));
  return series;
}

// Runs kestrun-cli quietly with `arguments` on `input`; expects success.
inline CommandResult Convert(const std::string& arguments, const std::string& input) {
  const CommandResult r = RunCommand(Quote(KESTRUN_CLI) + " -q " + arguments + " " + Quote(input));
  EXPECT_EQ(r.exitCode, 0) << arguments << " " << input << "\n" << r.err;
  return r;
}

// <dir>/<stem>_report.txt and _parsed.txt of a converted input path.
inline std::string OutputOf(const std::string& input, const std::string& suffix) {
  const std::filesystem::path p(input);
  return (p.parent_path() / (p.stem().string() + suffix)).string();
}
inline std::string ReportOf(const std::string& input) { return ReadFile(OutputOf(input, "_report.txt")); }
inline std::string ParsedOf(const std::string& input) { return ReadFile(OutputOf(input, "_parsed.txt")); }

// The bytes of the whole series in one file `path` (no series number in its name).
inline void Concatenate(const Series& series, const std::string& path) {
  std::string bytes;
  for (const std::string& file : series.files) bytes += ReadFile(file);
  WriteFile(path, bytes);
}

inline std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

// The lines after the line `heading` up to the next empty line or the end.
inline std::vector<std::string> TableRows(const std::string& report, const std::string& heading) {
  std::vector<std::string> rows;
  bool inside = false;
  for (const std::string& line : Lines(report)) {
    if (inside && line.empty()) break;
    if (inside) rows.push_back(line);
    if (line == heading) inside = true;
  }
  EXPECT_TRUE(inside) << "no line '" << heading << "' in\n" << report;
  return rows;
}

// The rest of the first line that begins with `label`.
inline std::string ValueAfter(const std::string& report, const std::string& label) {
  for (const std::string& line : Lines(report))
    if (line.rfind(label, 0) == 0) return line.substr(label.size());
  ADD_FAILURE() << "no line '" << label << "' in\n" << report;
  return {};
}

// Every line of `text` that begins with one of `prefixes`, in order, each with its line feed.
inline std::vector<std::string> LinesStarting(const std::string& text, const std::vector<std::string>& prefixes) {
  std::vector<std::string> found;
  for (const std::string& line : Lines(text))
    for (const std::string& prefix : prefixes)
      if (line.rfind(prefix, 0) == 0) {
        found.push_back(line + "\n");
        break;
      }
  return found;
}

inline std::size_t CountLinesStarting(const std::string& text, const std::string& prefix) {
  return LinesStarting(text, {prefix}).size();
}

}  // namespace kestrun::test
