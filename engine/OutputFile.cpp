#include "engine/OutputFile.h"

#include <fcntl.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <cwctype>
#include <functional>
#include <filesystem>
#include <new>
#include <string_view>
#include <system_error>

#ifdef _WIN32
#include <io.h>
#include <process.h>
#include <windows.h>
#else
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>
#endif

#include "engine/PathPieces.h"
#include "engine/Platform.h"

namespace kestrun {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kNameMax = 255;
constexpr std::string_view kPartialSuffix = ".partial";

#ifdef _WIN32
long ProcessId() { return static_cast<long>(_getpid()); }
bool ProcessAlive(long pid) {
  HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(pid));
  if (process == nullptr) return GetLastError() == ERROR_ACCESS_DENIED;
  const bool alive = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
  CloseHandle(process);
  return alive;
}
int OpenNew(const std::string& path) {
  return _wopen(PathOf(path).c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT, 0666);
}
int CloseHandleOf(int handle) { return _close(handle); }
long WriteSome(int handle, const char* data, std::size_t size) {
  return _write(handle, data, static_cast<unsigned>(size < (1u << 30) ? size : (1u << 30)));
}
#else
long ProcessId() { return static_cast<long>(::getpid()); }
bool ProcessAlive(long pid) { return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH; }
int OpenNew(const std::string& path) {
  return ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
}
int CloseHandleOf(int handle) { return ::close(handle); }
long WriteSome(int handle, const char* data, std::size_t size) { return ::write(handle, data, size); }
#endif

// Bytes written between two starts of writeback.
constexpr std::uint64_t kWritebackStep = 8u << 20;

// The leading part of a file name that leaves room for ".<pid>.partial" within the name length limit,
// cut before a UTF-8 continuation byte so that the name stays valid text.
std::string PartialBase(std::string_view name) {
  const std::size_t room = kNameMax - 1 - 20 - kPartialSuffix.size();
  if (name.size() <= room) return std::string(name);
  std::size_t cut = room;
  while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) --cut;
  return std::string(name.substr(0, cut));
}

// The process id in "<base>.<pid>.partial", or -1 when `name` is not such a name.
long PartialOwner(std::string_view name, std::string_view base) {
  if (name.size() <= base.size() + 1 + kPartialSuffix.size() || name.substr(0, base.size()) != base ||
      name[base.size()] != '.' || name.substr(name.size() - kPartialSuffix.size()) != kPartialSuffix) {
    return -1;
  }
  const std::string_view digits = name.substr(base.size() + 1, name.size() - base.size() - 1 - kPartialSuffix.size());
  if (digits.empty() || digits.size() > 9) return -1;
  long pid = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return -1;
    pid = pid * 10 + (c - '0');
  }
  return pid;
}

void RemovePartialsOfFinishedRuns(const PathPieces& pieces, const std::string& base) {
  std::error_code ec;
  const fs::path directory = PathOf(pieces.directory.empty() ? std::string(".") : pieces.directory);
  for (fs::directory_iterator it(directory, ec), end; !ec && it != end; it.increment(ec)) {
    const std::u8string name = it->path().filename().u8string();
    const long pid = PartialOwner(std::string_view(reinterpret_cast<const char*>(name.data()), name.size()), base);
    if (pid < 0 || (pid != ProcessId() && ProcessAlive(pid))) continue;
    std::error_code ignored;
    fs::remove(it->path(), ignored);
  }
}

}  // namespace

bool OutputFile::Create(const std::string& finalPath, LineEnds ends) {
  Discard();
  const PathPieces pieces = SplitPath(finalPath);
  const std::string name = pieces.stem + pieces.extension;
  std::error_code ec;
  const bool directory = fs::symlink_status(PathOf(finalPath), ec).type() == fs::file_type::directory;
  if (name.empty() || name.size() > kNameMax || directory) {
    errno = name.size() > kNameMax ? ENAMETOOLONG : EISDIR;
    return false;
  }
  const std::string base = PartialBase(name);
  RemovePartialsOfFinishedRuns(pieces, base);
  const std::string partial = pieces.directory + base + "." + std::to_string(ProcessId()) + std::string(kPartialSuffix);
  const int handle = OpenNew(partial);
  if (handle < 0) return false;
  handle_ = handle;
  failed_ = false;
  written_ = writebackFrom_ = 0;
#ifdef _WIN32
  crlf_ = ends == LineEnds::Platform;
#else
  crlf_ = false;
  (void)ends;
#endif
  finalPath_ = finalPath;
  partialPath_ = partial;
  return true;
}

bool OutputFile::CreateForName(const std::string& finalPath) {
  if (!Create(finalPath)) return false;
  const bool closed = CloseHandleOf(handle_) == 0;
  handle_ = -1;
  named_ = true;
  if (!closed) Discard();
  return closed;
}

bool OutputFile::Write(const char* data, std::size_t size) {
  if (handle_ < 0 || failed_) return false;
  if (crlf_) {
    // Every line with its CR LF, gathered so that a piece of text still goes out in few writes.
    std::string lines;
    try {
      lines.reserve(size + size / 16);
      for (std::size_t start = 0; start < size;) {
        const char* end = static_cast<const char*>(std::memchr(data + start, '\n', size - start));
        const std::size_t stop = end ? static_cast<std::size_t>(end - data) : size;
        lines.append(data + start, stop - start);
        if (end) lines.append("\r\n");
        start = stop + 1;
      }
    } catch (const std::bad_alloc&) {
      failed_ = true;
      return false;
    }
    return WriteAll(lines.data(), lines.size());
  }
  return WriteAll(data, size);
}

bool OutputFile::WriteAll(const char* data, std::size_t size) {
  while (size > 0) {
    const long written = WriteSome(handle_, data, size);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      failed_ = true;
      return false;
    }
    data += written;
    size -= static_cast<std::size_t>(written);
    written_ += static_cast<std::uint64_t>(written);
  }
  if (written_ - writebackFrom_ >= kWritebackStep) {
    StartWriteback(handle_, writebackFrom_, written_ - writebackFrom_);
    writebackFrom_ = written_;
  }
  return true;
}

bool OutputFile::Commit() {
  if (!IsOpen()) return false;
  const bool closed = (named_ || CloseHandleOf(handle_) == 0) && !failed_;
  handle_ = -1;
  named_ = false;
  std::error_code ec;
  if (closed) fs::rename(PathOf(partialPath_), PathOf(finalPath_), ec);
  if (!closed || ec) {
    fs::remove(PathOf(partialPath_), ec);
    return false;
  }
  return true;
}

void OutputFile::Discard() {
  if (!IsOpen()) return;
  if (!named_) CloseHandleOf(handle_);
  handle_ = -1;
  named_ = false;
  std::error_code ec;
  fs::remove(PathOf(partialPath_), ec);
}

#ifdef _WIN32
CommitLock::CommitLock(const std::string& directory) {
  // A mutex named after the directory: Windows has no lock on a directory itself.
  std::error_code ec;
  std::wstring key = fs::absolute(PathOf(directory), ec).lexically_normal().wstring();
  for (wchar_t& c : key) c = c == L'\\' ? L'/' : static_cast<wchar_t>(towlower(c));
  const std::wstring name = L"Local\\kestrun-outputs-" + std::to_wstring(std::hash<std::wstring>{}(key));
  HANDLE mutex = CreateMutexW(nullptr, FALSE, name.c_str());
  if (mutex == nullptr) return;
  const DWORD waited = WaitForSingleObject(mutex, INFINITE);
  if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED) {
    CloseHandle(mutex);
    return;
  }
  mutex_ = mutex;
}
CommitLock::~CommitLock() {
  if (mutex_ == nullptr) return;
  ReleaseMutex(static_cast<HANDLE>(mutex_));
  CloseHandle(static_cast<HANDLE>(mutex_));
}
#else
CommitLock::CommitLock(const std::string& directory) {
  const int fd = ::open(directory.empty() ? "." : directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  int locked;
  do {
    locked = ::flock(fd, LOCK_EX);
  } while (locked != 0 && errno == EINTR);
  if (locked != 0) {
    ::close(fd);
    return;
  }
  directory_ = fd;
}
CommitLock::~CommitLock() {
  if (directory_ >= 0) ::close(directory_);
}
#endif

void RemoveEntry(const std::string& path) {
  std::error_code ec;
  const fs::path p = PathOf(path);
  if (fs::symlink_status(p, ec).type() == fs::file_type::directory) return;
  fs::remove(p, ec);
}

bool IsSameFile(const std::string& a, const std::string& b) {
  std::error_code ec;
  return fs::equivalent(PathOf(a), PathOf(b), ec) && !ec;
}

bool IsDirectory(const std::string& path) {
  std::error_code ec;
  return fs::is_directory(PathOf(path), ec);
}

}  // namespace kestrun
