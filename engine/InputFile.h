#pragma once
// An input data file opened for reading in blocks. Only regular files are opened: a pipe, a device or
// a socket could block the run in open() or read() forever.

#include <cstddef>
#include <cstdint>
#include <string>

namespace kestrun {

class InputFile {
 public:
  struct ReadResult {
    std::int32_t length = 0;  // bytes read
    bool endOfFile = false;   // the read reached the end of the file
    bool failed = false;      // the read failed before the end of the file
  };
  enum class OpenResult { Opened, NotRegular, Failed };

  InputFile() = default;
  ~InputFile() { Close(); }
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  // Opens `path` (UTF-8) for reading, refusing anything but a regular file without blocking.
  OpenResult Open(const std::string& path);
  // Reads up to `size` bytes, fewer only at the end of the file.
  ReadResult Read(char* buffer, std::size_t size);
  void Close();
  bool IsOpen() const { return handle_ >= 0; }

 private:
  int handle_ = -1;
};

// True when `path` names something other than a regular file or a directory (links followed).
bool IsSpecialFile(const std::string& path);

}  // namespace kestrun
