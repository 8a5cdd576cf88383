#include "support/TestSupport.h"

#include <sys/wait.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace kestrun::test {

std::vector<std::uint8_t> BigEndian(const std::vector<std::uint32_t>& words) {
  std::vector<std::uint8_t> bytes;
  bytes.reserve(words.size() * 4);
  for (std::uint32_t w : words) {
    bytes.push_back(static_cast<std::uint8_t>(w >> 24));
    bytes.push_back(static_cast<std::uint8_t>(w >> 16));
    bytes.push_back(static_cast<std::uint8_t>(w >> 8));
    bytes.push_back(static_cast<std::uint8_t>(w));
  }
  return bytes;
}

std::vector<std::uint8_t> BigEndian(std::initializer_list<std::uint32_t> words) {
  return BigEndian(std::vector<std::uint32_t>(words));
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
          ("kestrun-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
  std::filesystem::remove_all(path_);
  std::filesystem::create_directories(path_);
}

ScratchDir::~ScratchDir() {
  std::error_code ec;
  std::filesystem::permissions(path_, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ec);
  std::filesystem::remove_all(path_, ec);
}

void WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

CommandResult RunCommand(const std::string& commandLine) {
  ScratchDir captures;
  const std::string out = captures / "out";
  const std::string err = captures / "err";
  const std::string full = commandLine + " >'" + out + "' 2>'" + err + "'";
  const int status = std::system(full.c_str());
  CommandResult result;
  if (status != -1 && WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
  result.out = ReadFile(out);
  result.err = ReadFile(err);
  return result;
}

}  // namespace kestrun::test
