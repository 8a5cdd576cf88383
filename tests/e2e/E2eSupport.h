#pragma once
// Runs kestrun-synth and reads its manifest.

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

// Runs kestrun-synth with `arguments` into `dir`; the written paths and the manifest. Every series comes
// in near-equal shares of whole words, listed in the manifest with their sizes, and every file after the
// first opens inside a structure the one before left open.
inline Series Synthesize(const ScratchDir& dir, const std::string& arguments) {
  const std::string manifest = dir / "manifest.txt";
  const CommandResult r = RunCommand(Quote(kSynth) + " " + arguments + " -o " + Quote(dir.path().string()) +
                                     " --manifest " + Quote(manifest));
  EXPECT_EQ(r.exitCode, 0) << arguments << "\n" << r.err;
  Series s{Lines(r.out), Manifest(ReadFile(manifest))};
  const std::vector<std::string> listed = s.manifest.All("file");
  EXPECT_EQ(listed.size(), s.files.size()) << arguments;
  const double share = static_cast<double>(s.manifest.Number("bytes")) / static_cast<double>(s.files.size());
  std::uint64_t total = 0;
  for (std::size_t i = 0; i < s.files.size() && i < listed.size(); ++i) {
    const std::uint64_t bytes = std::filesystem::file_size(s.files[i]);
    total += bytes;
    EXPECT_EQ(bytes % 4, 0u) << s.files[i];
    EXPECT_NEAR(static_cast<double>(bytes), share, share / 2) << s.files[i];
    EXPECT_TRUE(listed[i].starts_with(s.files[i] + " " + std::to_string(bytes))) << listed[i];
    EXPECT_EQ(listed[i].find(" opens inside ") != std::string::npos, i > 0) << listed[i];
  }
  EXPECT_EQ(s.manifest.Number("bytes"), total) << arguments;
  return s;
}

}  // namespace kestrun::test
