#pragma once
// Writes 32-bit words most significant byte first into a numbered series of files. The stream is cut
// into files of about equal size, but only where the data family says that a structure is open, so
// that packages, frames and lead words run on across file boundaries.

#include <cstdint>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

namespace kestrun::synth {

struct WrittenFile {
  std::string path;
  std::uint64_t bytes = 0;
  std::string opensInside;  // what the previous file left open; empty for the first file
};

class WordWriter {
 public:
  // Files of the series in order; `totalBytes` sets where the cuts are due.
  WordWriter(std::vector<std::string> paths, std::uint64_t totalBytes);

  void Put(std::uint32_t word);
  // True when the current file has reached its share and the next file may begin.
  bool CutDue() const { return file_ + 1 < paths_.size() && bytes_ >= nextCut_; }
  // Ends the current file here; `inside` tells what runs on into the next one.
  void Cut(std::string_view inside);
  bool OnLastFile() const { return file_ + 1 == paths_.size(); }
  std::uint64_t Bytes() const { return bytes_; }
  // Index of the file being written, from 1.
  int FileNumber() const { return static_cast<int>(file_) + 1; }
  // Flushes and closes; false with `error` set when a file could not be written.
  bool Finish(std::string& error);
  const std::vector<WrittenFile>& Files() const { return written_; }

 private:
  bool Open(std::size_t index, std::string_view inside);
  void Flush();

  std::vector<std::string> paths_;
  std::uint64_t totalBytes_;
  std::size_t file_ = 0;
  std::uint64_t bytes_ = 0;
  std::uint64_t nextCut_ = 0;
  std::ofstream out_;
  std::vector<char> buffer_;
  std::vector<WrittenFile> written_;
  std::string error_;
};

}  // namespace kestrun::synth
