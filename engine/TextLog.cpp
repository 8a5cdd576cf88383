#include "engine/TextLog.h"

#include <algorithm>
#include <filesystem>
#include <limits>
#include <memory>
#include <new>
#include <system_error>
#include <utility>

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <atomic>
#include <chrono>
#else
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#endif

#include "engine/Platform.h"

namespace kestrun {

namespace fs = std::filesystem;

namespace {

constexpr char kWriteFailed[] = "Could Not Write Temporary File: ";
constexpr char kReadFailed[] = "Could Not Read Temporary File: ";
constexpr char kOutOfMemory[] = "Could Not Allocate Memory For Report Text";
// One system call moves at most this much.
constexpr std::size_t kIoMax = std::size_t{1} << 30;


// Message texts are set where an allocation may fail; then the message stays as it was.
void SetMessage(std::string& target, const char* prefix, const std::string& subject) noexcept {
  try {
    target = prefix + subject;
  } catch (...) {
  }
}

#ifdef _WIN32

HANDLE HandleOf(std::intptr_t file) { return reinterpret_cast<HANDLE>(file); }

// A file of a fresh name that the system deletes when its handle is closed, also by a crash.
std::intptr_t OpenTemporary(const fs::path& directory) {
  static std::atomic<unsigned> serial{0};
  for (int attempt = 0; attempt < 64; ++attempt) {
    const std::wstring name = L"kestrun-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(serial++) +
                              L"-" + std::to_wstring(std::chrono::steady_clock::now().time_since_epoch().count()) +
                              L".tmp";
    const HANDLE h = CreateFileW((directory / name).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                 FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (h != INVALID_HANDLE_VALUE) return reinterpret_cast<std::intptr_t>(h);
    if (GetLastError() != ERROR_FILE_EXISTS) return -1;
  }
  return -1;
}

void CloseTemporary(std::intptr_t file) { CloseHandle(HandleOf(file)); }

// Positioned transfers: reads never move the place where the next write goes.
bool TransferAt(std::intptr_t file, char* data, std::size_t size, std::uint64_t offset, bool write) {
  while (size > 0) {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    const auto n = static_cast<DWORD>(std::min(size, kIoMax));
    DWORD done = 0;
    const BOOL ok = write ? WriteFile(HandleOf(file), data, n, &done, &at) : ReadFile(HandleOf(file), data, n, &done, &at);
    if (!ok || done == 0) return false;
    data += done;
    size -= done;
    offset += done;
  }
  return true;
}

#else

// O_TMPFILE leaves no name behind at all; where the file system refuses it, a named file is unlinked at
// once.
std::intptr_t OpenTemporary(const fs::path& directory) {
#ifdef O_TMPFILE
  const int fd = ::open(directory.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  if (fd >= 0) return fd;
#endif
  std::string name = (directory / "kestrun-XXXXXX").string();
  const int named = ::mkostemp(name.data(), O_CLOEXEC);
  if (named < 0) return -1;
  ::unlink(name.c_str());
  return named;
}

void CloseTemporary(std::intptr_t file) { ::close(static_cast<int>(file)); }

bool TransferAt(std::intptr_t file, char* data, std::size_t size, std::uint64_t offset, bool write) {
  const int fd = static_cast<int>(file);
  while (size > 0) {
    if (offset > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max()) - size) return false;
    const std::size_t n = std::min(size, kIoMax);
    const ssize_t done = write ? ::pwrite(fd, data, n, static_cast<off_t>(offset))
                               : ::pread(fd, data, n, static_cast<off_t>(offset));
    if (done < 0 && errno == EINTR) continue;
    if (done <= 0) return false;
    data += done;
    size -= static_cast<std::size_t>(done);
    offset += static_cast<std::uint64_t>(done);
  }
  return true;
}

#endif

}  // namespace

TextLog::~TextLog() { CloseFile(); }

TextLog::TextLog(const TextLog& other) : count_(other.count_) {
  if (other.failed_) {
    Fail("", other.failure_);
    return;
  }
  try {
    directory_ = other.directory_;
    std::string why;
    const bool copied =
        other.WriteTo([this](const char* data, std::size_t size) { return Store(data, size, TextLogPlace{directory_}); }, &why);
    if (!copied && !failed_) Fail(why.empty() ? kOutOfMemory : "", why);
  } catch (...) {
    Fail(kOutOfMemory, "");
  }
}

TextLog& TextLog::operator=(const TextLog& other) {
  if (this != &other) *this = TextLog(other);
  return *this;
}

TextLog::TextLog(TextLog&& other) noexcept
    : memory_(std::move(other.memory_)),
      file_(std::exchange(other.file_, -1)),
      fileBytes_(std::exchange(other.fileBytes_, 0)),
      count_(std::exchange(other.count_, 0)),
      directory_(std::move(other.directory_)),
      failure_(std::move(other.failure_)),
      failed_(std::exchange(other.failed_, false)) {
  other.memory_.clear();
  other.failure_.clear();
}

TextLog& TextLog::operator=(TextLog&& other) noexcept {
  if (this != &other) {
    CloseFile();
    memory_ = std::move(other.memory_);
    file_ = std::exchange(other.file_, -1);
    fileBytes_ = std::exchange(other.fileBytes_, 0);
    count_ = std::exchange(other.count_, 0);
    directory_ = std::move(other.directory_);
    failure_ = std::move(other.failure_);
    failed_ = std::exchange(other.failed_, false);
    other.memory_.clear();
    other.failure_.clear();
  }
  return *this;
}

void TextLog::Append(std::string_view text, const TextLogPlace& place) {
  ++count_;
  if (failed_ || !place.keepText) return;
  try {
    Store(text.data(), text.size(), place);
  } catch (...) {
    Fail(kOutOfMemory, "");
  }
}

bool TextLog::Store(const char* data, std::size_t size, const TextLogPlace& place) {
  if (size <= kMemoryBytes - memory_.size()) {
    memory_.append(data, size);
    return true;
  }
  if (file_ == -1) {
    std::error_code ec;
    const fs::path directory = place.directory.empty() ? fs::temp_directory_path(ec) : PathOf(place.directory);
    directory_ = Utf8Of(directory);
    file_ = ec ? -1 : OpenTemporary(directory);
    if (file_ == -1) {
      Fail(kWriteFailed, directory_);
      return false;
    }
  }
  if (!Spill(memory_.data(), memory_.size())) return false;
  memory_.clear();
  if (size > kMemoryBytes) return Spill(data, size);
  memory_.append(data, size);
  return true;
}

bool TextLog::Spill(const char* data, std::size_t size) {
  if (!TransferAt(file_, const_cast<char*>(data), size, fileBytes_, true)) {
    Fail(kWriteFailed, directory_);
    return false;
  }
  fileBytes_ += size;
  return true;
}

void TextLog::Fail(const char* prefix, const std::string& subject) noexcept {
  failed_ = true;
  std::string().swap(memory_);
  CloseFile();
  fileBytes_ = 0;
  SetMessage(failure_, prefix, subject);
}

void TextLog::CloseFile() noexcept {
  if (file_ != -1) CloseTemporary(file_);
  file_ = -1;
}

bool TextLog::WriteTo(const Writer& write, std::string* failure) const {
  if (failed_) {
    if (failure != nullptr) SetMessage(*failure, "", failure_);
    return false;
  }
  if (fileBytes_ > 0) {
    const auto chunk = static_cast<std::size_t>(std::min<std::uint64_t>(fileBytes_, kMemoryBytes));
    const std::unique_ptr<char[]> buffer(new (std::nothrow) char[chunk]);
    for (std::uint64_t at = 0; at < fileBytes_;) {
      const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(fileBytes_ - at, chunk));
      if (!buffer || !TransferAt(file_, buffer.get(), n, at, false)) {
        if (failure != nullptr) {
          if (buffer) {
            SetMessage(*failure, kReadFailed, directory_);
          } else {
            SetMessage(*failure, kOutOfMemory, std::string());
          }
        }
        return false;
      }
      if (!write(buffer.get(), n)) return false;
      at += n;
    }
  }
  return memory_.empty() || write(memory_.data(), memory_.size());
}

void TextLog::Clear() {
  CloseFile();
  std::string().swap(memory_);
  fileBytes_ = 0;
  count_ = 0;
  directory_.clear();
  failure_.clear();
  failed_ = false;
}

TextStream& TextStream::operator<<(const TextLog& log) {
  if (Flush()) ok_ = log.WriteTo(write_, &failure_);
  return *this;
}

bool TextStream::Flush() {
  if (ok_ && !staging_.empty()) {
    ok_ = write_(staging_.data(), staging_.size());
    staging_.clear();
  }
  return ok_;
}

}  // namespace kestrun
