#pragma once
// The one-line progress display on standard error and the closing summary line.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

namespace kestrun::cli {

class ProgressLine {
 public:
  // `ansi`: the console takes ANSI sequences; without them a shorter line is blanked with spaces.
  ProgressLine(bool live, bool ansi) : live_(live), ansi_(ansi), start_(std::chrono::steady_clock::now()) {}
  // Redraws the line (at most ten times a second, and always at 100 %) when the display is live.
  void Update(int percent, std::uint64_t bytesDone, std::uint64_t bytesTotal, const std::string& file);
  // Ends the live line so that later output starts on a line of its own.
  void Close();
  double ElapsedSeconds() const;

 private:
  bool live_;
  bool ansi_;
  bool drawn_ = false;
  std::size_t width_ = 0;  // bytes of the line drawn last
  std::chrono::steady_clock::time_point start_;
  std::chrono::steady_clock::time_point lastDraw_{};
};

// "12.3 MB"-style size.
std::string FormatBytes(std::uint64_t bytes);

}  // namespace kestrun::cli
