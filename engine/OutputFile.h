#pragma once
// An output file written under a partial name beside its final name and renamed into place once it is
// complete. So the final name only ever shows a whole file (or the earlier file it replaces), two runs of
// the same outputs never mix, and a link at the final name is replaced, not followed. A killed run
// leaves one partial file, "<name>.<pid>.partial", which the next run of the same output removes.

#include <cstddef>
#include <cstdint>
#include <string>

namespace kestrun {

// How a file's lines end: LF always (data for programs), or as the system's text files have them
// (CR LF on Windows, LF elsewhere), for a file that people open in an editor.
enum class LineEnds { Lf, Platform };

class OutputFile {
 public:
  OutputFile() = default;
  ~OutputFile() { Discard(); }
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Removes the partial files of finished processes for `finalPath`, then creates this run's own.
  // False (nothing created) when the final name is a directory, too long, or the partial file cannot
  // be made.
  bool Create(const std::string& finalPath, LineEnds ends = LineEnds::Lf);
  // Creates the partial file as Create does and closes it again, for a library that writes a file by
  // its name (PartialPath); Commit and Discard then work as after Create.
  bool CreateForName(const std::string& finalPath);
  // Appends all `size` bytes (every LF as CR LF when the line ends are CR LF); false when they could not all be written, and for every write after
  // such a failure, so that the file never has a gap.
  bool Write(const char* data, std::size_t size);
  // Closes the file and renames it to its final name; false when either fails (the partial is removed).
  bool Commit();
  // Closes and removes the partial file; no-op when none is open.
  void Discard();
  bool IsOpen() const { return handle_ >= 0 || named_; }
  const std::string& FinalPath() const { return finalPath_; }
  const std::string& PartialPath() const { return partialPath_; }

 private:
  bool WriteAll(const char* data, std::size_t size);

  int handle_ = -1;
  bool named_ = false;  // created for a library that writes it by name
  bool failed_ = false;
  bool crlf_ = false;
  std::uint64_t written_ = 0;
  std::uint64_t writebackFrom_ = 0;  // written bytes before it were handed to the disk's writeback
  std::string finalPath_;
  std::string partialPath_;
};

// Held while a run puts its outputs in place: runs writing into one directory take turns, so two runs of
// the same outputs leave one run's whole set, never one's parsed file beside the other's report. Taken
// best effort (a directory that cannot be locked is not locked); a killed holder's lock goes with it.
class CommitLock {
 public:
  explicit CommitLock(const std::string& directory);
  ~CommitLock();
  CommitLock(const CommitLock&) = delete;
  CommitLock& operator=(const CommitLock&) = delete;

 private:
#ifdef _WIN32
  void* mutex_ = nullptr;
#else
  int directory_ = -1;
#endif
};

// Removes the directory entry at `path` unless it is a directory; a link goes, not its target.
void RemoveEntry(const std::string& path);
// True when both paths name one existing file, links followed (symbolic or hard links).
bool IsSameFile(const std::string& a, const std::string& b);
// True when `path` names a directory (links followed).
bool IsDirectory(const std::string& path);

}  // namespace kestrun
