#include "cli/ProgressLine.h"

#include <cstdio>

#include "engine/PathPieces.h"

namespace kestrun::cli {

std::string FormatBytes(std::uint64_t bytes) {
  char text[32];
  if (bytes < 1000 * 1000) {
    std::snprintf(text, sizeof text, "%.1f kB", static_cast<double>(bytes) / 1e3);
  } else if (bytes < 1000ull * 1000 * 1000) {
    std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / 1e6);
  } else {
    std::snprintf(text, sizeof text, "%.2f GB", static_cast<double>(bytes) / 1e9);
  }
  return text;
}

double ProgressLine::ElapsedSeconds() const {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
}

void ProgressLine::Update(int percent, std::uint64_t bytesDone, std::uint64_t bytesTotal, const std::string& file) {
  if (!live_) return;
  const auto now = std::chrono::steady_clock::now();
  if (percent < 100 && drawn_ && now - lastDraw_ < std::chrono::milliseconds(100)) return;
  lastDraw_ = now;
  drawn_ = true;
  const double seconds = ElapsedSeconds();
  const double rate = seconds > 0 ? static_cast<double>(bytesDone) / seconds : 0.0;
  const PathPieces name = SplitPath(file);
  char line[160];
  const int length = std::snprintf(line, sizeof line, "%3d%%  %s of %s  %s/s  ", percent, FormatBytes(bytesDone).c_str(),
                                   FormatBytes(bytesTotal).c_str(), FormatBytes(static_cast<std::uint64_t>(rate)).c_str());
  const std::size_t width = static_cast<std::size_t>(length) + name.stem.size() + name.extension.size();
  // Erasing the rest of the line: an ANSI sequence, or spaces over what the last line had beyond this one.
  const std::string blank = ansi_ ? "" : std::string(width_ > width ? width_ - width : 0, ' ');
  width_ = width;
  std::fprintf(stderr, "\r%s%s%s%s%s", ansi_ ? "\033[K" : "", line, name.stem.c_str(), name.extension.c_str(), blank.c_str());
  std::fflush(stderr);
}

void ProgressLine::Close() {
  if (drawn_) std::fputs("\n", stderr);
  drawn_ = false;
  width_ = 0;
}

}  // namespace kestrun::cli
