#include "engine/InputDiscovery.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "engine/PathPieces.h"
#include "engine/Platform.h"

namespace kestrun {

namespace fs = std::filesystem;

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::string_view BeforeLastDot(std::string_view s) {
  const std::size_t dot = s.rfind('.');
  return dot == std::string_view::npos ? s : s.substr(0, dot);
}

std::string_view TrailingDigits(std::string_view s) {
  std::size_t start = s.size();
  while (start > 0 && IsDigit(s[start - 1])) --start;
  return s.substr(start);
}

// A stem such as run_12 or tests3: ends in "_" or "s" followed by nothing but digits.
bool IsSeriesStem(std::string_view stem) {
  const std::size_t mark = stem.find_last_of("_s");
  if (mark == std::string_view::npos) return false;
  return std::all_of(stem.begin() + static_cast<std::ptrdiff_t>(mark) + 1, stem.end(), IsDigit);
}

bool HasDatExtension(std::string_view name) {
  if (name.size() < 4) return false;
  const std::string_view ext = name.substr(name.size() - 4);
  return ext[0] == '.' && (ext[1] | 0x20) == 'd' && (ext[2] | 0x20) == 'a' && (ext[3] | 0x20) == 't';
}

bool SeriesOrderLess(const FileEntry& a, const FileEntry& b) {
  if (SeriesNumberLess(a.path, b.path)) return true;
  if (SeriesNumberLess(b.path, a.path)) return false;
  return a.path < b.path;
}

}  // namespace

bool IsSameSeries(std::string_view a, std::string_view b) {
  auto key = [](std::string_view name) {
    name = BeforeLastDot(name);
    return name.substr(0, name.size() - TrailingDigits(name).size());
  };
  return key(a) == key(b);
}

bool SeriesNumberLess(std::string_view a, std::string_view b) {
  auto number = [](std::string_view path) {
    std::string_view digits = TrailingDigits(BeforeLastDot(path));
    while (!digits.empty() && digits.front() == '0') digits.remove_prefix(1);
    return digits;
  };
  const std::string_view x = number(a);
  const std::string_view y = number(b);
  if (x.size() != y.size()) return x.size() < y.size();
  return x < y;
}

std::int64_t MeasureFileSize(const std::string& path) {
  // Only regular files have a size; opening a pipe or a device to measure it could block.
  std::error_code ec;
  if (!fs::is_regular_file(PathOf(path), ec)) return -1;
  const std::uintmax_t size = fs::file_size(PathOf(path), ec);
  return ec ? -1 : static_cast<std::int64_t>(size);
}

std::int32_t DiscoverFiles(const std::string& inputPath, std::int32_t first, std::int32_t last,
                           std::vector<FileEntry>& files, std::uint64_t& total) {
  std::error_code ec;
  if (inputPath.empty() || !fs::exists(PathOf(inputPath), ec)) return -1;
  files.clear();
  total = 0;
  const PathPieces pieces = SplitPath(inputPath);
  if (pieces.directory.empty() || pieces.stem.empty()) return -1;
  const std::string chosenName = pieces.stem + pieces.extension;

  // The directory's *.dat entries, whatever their kind, as the search pattern would match them.
  std::vector<fs::directory_entry> entries;
  for (fs::directory_iterator it(PathOf(pieces.directory), ec), end; !ec && it != end; it.increment(ec)) {
    if (HasDatExtension(Utf8Of(it->path().filename()))) entries.push_back(*it);
  }
  if (entries.empty()) {
    std::fputs("cannot match the path\n", stderr);
    return 0;
  }

  if (!IsSeriesStem(pieces.stem)) {
    const std::int64_t size = MeasureFileSize(inputPath);
    files.push_back({inputPath, static_cast<std::uint64_t>(size)});
    total += static_cast<std::uint64_t>(size);
    return 0;
  }

  std::vector<FileEntry> series;
  for (const fs::directory_entry& entry : entries) {
    const std::string name = Utf8Of(entry.path().filename());
    if (!entry.is_regular_file(ec)) continue;  // directories, devices, pipes: never read as data
    const std::uintmax_t size = entry.file_size(ec);
    if (ec || size == 0) continue;
    if (!IsSameSeries(name, chosenName)) continue;
    series.push_back({pieces.directory + name, static_cast<std::uint64_t>(size)});
  }
  std::sort(series.begin(), series.end(), SeriesOrderLess);
  for (std::size_t i = 0; i < series.size(); ++i) {
    const auto position = static_cast<std::int64_t>(i);
    if (position < first || position > last) continue;
    total += series[i].size;
    files.push_back(std::move(series[i]));
  }
  return 0;
}

std::int32_t TdcFileParser::DiscoverInputFiles() {
  return DiscoverFiles(inputPath, rangeFirst, rangeLast, files, totalBytes);
}

}  // namespace kestrun
