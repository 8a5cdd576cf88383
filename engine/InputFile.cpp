#include "engine/InputFile.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <filesystem>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include "engine/Platform.h"

namespace kestrun {

namespace fs = std::filesystem;

InputFile::OpenResult InputFile::Open(const std::string& path) {
  Close();
#ifdef _WIN32
  std::error_code ec;
  const fs::path p = PathOf(path);
  const fs::file_type type = fs::status(p, ec).type();
  if (type != fs::file_type::regular) {
    return ec || type == fs::file_type::directory ? OpenResult::Failed : OpenResult::NotRegular;
  }
  const int handle = _wopen(p.c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT);
  if (handle < 0) return OpenResult::Failed;
#else
  // Non-blocking, so that a pipe without a writer cannot hold the open; the type is then checked on
  // what was opened, not on the name, which may have changed in between.
  const int handle = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (handle < 0) return OpenResult::Failed;
  struct stat info {};
  if (::fstat(handle, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(handle);
    return S_ISDIR(info.st_mode) ? OpenResult::Failed : OpenResult::NotRegular;
  }
  ::fcntl(handle, F_SETFL, ::fcntl(handle, F_GETFL) & ~O_NONBLOCK);
#endif
  handle_ = handle;
  return OpenResult::Opened;
}

InputFile::ReadResult InputFile::Read(char* buffer, std::size_t size) {
  ReadResult result;
  std::size_t got = 0;
  while (got < size) {
#ifdef _WIN32
    const long n = _read(handle_, buffer + got, static_cast<unsigned>(size - got));
#else
    const long n = ::read(handle_, buffer + got, size - got);
#endif
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      result.failed = true;
      return result;
    }
    if (n == 0) {
      result.endOfFile = true;
      break;
    }
    got += static_cast<std::size_t>(n);
  }
  result.length = static_cast<std::int32_t>(got);
  return result;
}

void InputFile::Close() {
  if (handle_ < 0) return;
#ifdef _WIN32
  _close(handle_);
#else
  ::close(handle_);
#endif
  handle_ = -1;
}

bool IsSpecialFile(const std::string& path) {
  std::error_code ec;
  const fs::file_type type = fs::status(PathOf(path), ec).type();
  return !ec && type != fs::file_type::regular && type != fs::file_type::directory &&
         type != fs::file_type::not_found && type != fs::file_type::none;
}

}  // namespace kestrun
