#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>

#ifdef _WIN32
#include <process.h>
#include <windows.h>
#else
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "engine/Platform.h"

namespace kestrun::test {

std::vector<std::uint8_t> BigEndian(const std::vector<std::uint32_t>& words) {
  std::vector<std::uint8_t> bytes;
  for (std::uint32_t w : words)
    for (int shift = 24; shift >= 0; shift -= 8) bytes.push_back(static_cast<std::uint8_t>(w >> shift));
  return bytes;
}

std::vector<std::uint32_t> PackagedT2(int packages, int events) {
  std::vector<std::uint32_t> words{0xEB90B712};
  std::uint32_t overflow = 0;
  for (int p = 0; p < packages; ++p) {
    std::vector<std::uint32_t> body;
    for (int e = 0; e < events; ++e) {
      body.push_back((static_cast<std::uint32_t>(e % 8) << 25) | static_cast<std::uint32_t>((p * 7919 + e) & 0x1FFFFFF));
      if (e % 100 == 99) body.push_back(0xFE000000u | (++overflow & 1023));
    }
    words.push_back(0xC0000000u | (static_cast<std::uint32_t>(body.size()) << 10) | static_cast<std::uint32_t>(p % 1024));
    words.insert(words.end(), body.begin(), body.end());
    words.push_back(0xC8000000u);
  }
  words.push_back(0xEEEEDDDD);
  return words;
}

std::vector<std::uint8_t> RandomBytes(std::size_t count, std::uint32_t seed) {
  std::vector<std::uint8_t> bytes(count);
  std::generate(bytes.begin(), bytes.end(), std::mt19937(seed));  // each byte the low byte of a draw
  return bytes;
}

StringSink::StringSink(std::size_t capacity) : buffer_(capacity) {
  auto collect = [](void* self, char* data, std::size_t size) {
    static_cast<std::string*>(self)->append(data, size);
    return data;
  };
  sink_ = TextSink(buffer_.data(), buffer_.size(), collect, &collected_);
}

std::string StringSink::Text() {
  sink_.Flush();
  return collected_;
}

ScratchDir::ScratchDir() {
  static std::atomic<int> counter{0};
  path_ = std::filesystem::temp_directory_path() /
          ("kestrun-test-" + std::to_string(getpid()) + "-" + std::to_string(counter++));
  std::filesystem::remove_all(path_);
  std::filesystem::create_directories(path_);
}

ScratchDir::~ScratchDir() {
  std::error_code ec;
  std::filesystem::permissions(path_, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ec);
  std::filesystem::remove_all(path_, ec);
}

std::string ScratchDir::operator/(const std::string& name) const { return Utf8Of(path_ / PathOf(name)); }

void WriteSplit(const std::vector<std::string>& paths, const std::vector<std::uint8_t>& stream) {
  const std::size_t share = stream.size() / 4 / paths.size() * 4;
  for (std::size_t i = 0; i < paths.size(); ++i) {
    const auto at = [&](std::size_t file) { return stream.begin() + static_cast<std::ptrdiff_t>(file * share); };
    WriteFile(paths[i], std::vector<std::uint8_t>(at(i), i + 1 == paths.size() ? stream.end() : at(i + 1)));
  }
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(PathOf(path), std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(PathOf(path), std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

#ifdef _WIN32
std::string ProgramDir() {
  std::wstring path(32768, L'\0');
  path.resize(GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
  return Utf8Of(std::filesystem::path(path).parent_path());
}
#endif

std::string LfText(const std::string& platformText) {
#ifdef _WIN32
  std::string text;
  for (std::size_t i = 0; i < platformText.size(); ++i) {
    if (platformText[i] == '\n' && (i == 0 || platformText[i - 1] != '\r')) ADD_FAILURE() << "LF alone at byte " << i;
    if (platformText[i] != '\r' || platformText[i + 1] != '\n') text += platformText[i];  // [size()] is '\0'
  }
  return text;
#else
  return platformText;
#endif
}

std::string Quote(const std::string& text) {
#ifdef _WIN32
  return "\"" + text + "\"";  // Windows names cannot hold a double quote
#else
  std::string quoted = "'";
  for (char ch : text) quoted += ch == '\'' ? std::string("'\\''") : std::string(1, ch);
  return quoted + "'";
#endif
}

CommandResult RunCommand(const std::string& commandLine) {
  ScratchDir captures;
  const std::string out = captures / "out";
  const std::string err = captures / "err";
  CommandResult result;
#ifdef _WIN32
  // cmd.exe drops the first and the last quote of a line that starts with one: the outer pair.
  const std::string full = "\"" + commandLine + " >" + Quote(out) + " 2>" + Quote(err) + "\"";
  // Under a loaded Wine, cmd.exe now and then fails to start a program that is there and says 9009
  // ("not found"); a program truly missing still fails every try.
  for (int attempt = 0; attempt < 3; ++attempt) {
    result.exitCode = _wsystem(PathOf(full).c_str());
    if (result.exitCode != 9009) break;
    Sleep(200);
  }
#else
  const std::string full = commandLine + " >" + Quote(out) + " 2>" + Quote(err);
  const int status = std::system(full.c_str());
  if (status != -1 && WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
#endif
  result.out = ReadFile(out);
  result.err = ReadFile(err);
#ifdef _WIN32
  // Console text is in text mode, CR LF; the tests compare it as LF text.
  for (std::string* text : {&result.out, &result.err}) {
    for (std::size_t at = text->find("\r\n"); at != std::string::npos; at = text->find("\r\n", at)) text->erase(at, 1);
  }
#endif
  return result;
}

}  // namespace kestrun::test
