#pragma once
// Helpers shared by the tests: big-endian words, a text sink into a string, files, and shell commands.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/TextSink.h"

namespace kestrun::test {

#ifdef _WIN32
// Beside the test program are kestrun-cli and kestrun-synth: the build's own paths are Linux paths.
std::string ProgramDir();
#define KESTRUN_BIN_DIR (::kestrun::test::ProgramDir())
#define KESTRUN_CLI (::kestrun::test::ProgramDir() + "/kestrun-cli.exe")
#endif

// The bytes of `words`, each most significant byte first, as the instruments write them.
std::vector<std::uint8_t> BigEndian(const std::vector<std::uint32_t>& words);
// A packaged T2 stream of `packages` packages of `events` events (8 channels, a sync overflow per 100).
std::vector<std::uint32_t> PackagedT2(int packages, int events);
std::vector<std::uint8_t> RandomBytes(std::size_t count, std::uint32_t seed);

// A text area of `capacity` bytes whose spilled and flushed text collects in Text().
class StringSink {
 public:
  explicit StringSink(std::size_t capacity = 1 << 20);
  TextSink& sink() { return sink_; }
  std::string Text();  // everything written so far, pending text included

 private:
  std::vector<char> buffer_;
  std::string collected_;
  TextSink sink_;
};

// A fresh directory under the system's temporary directory, removed with its contents at the end.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::string operator/(const std::string& name) const;  // the UTF-8 path of `name` in it

 private:
  std::filesystem::path path_;
};

void WriteFile(const std::string& path, const std::string& bytes);
inline void WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  WriteFile(path, std::string(bytes.begin(), bytes.end()));
}
// `stream` cut into as many files as `paths`, at whole words, the last taking the rest.
void WriteSplit(const std::vector<std::string>& paths, const std::vector<std::uint8_t>& stream);
std::string ReadFile(const std::string& path);
// A report's text with LF line ends; on Windows, where its lines end in CR LF, fails on an LF alone.
std::string LfText(const std::string& platformText);

// A shell command line's exit status (or -1), with standard output and error captured.
struct CommandResult {
  int exitCode = -1;
  std::string out;
  std::string err;
};
CommandResult RunCommand(const std::string& commandLine);
// `text` as one word of a command line: in single quotes for the POSIX shell, double for cmd.exe.
std::string Quote(const std::string& text);

}  // namespace kestrun::test
