#pragma once
// Input discovery: the chosen file alone, or the files of its numbered series (run_1.dat, run_2.dat,
// ...) beside it, ordered by series number.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/TdcFileParser.h"

namespace kestrun {

// Fills `files` with the files of inputPath's series at positions first..last (inclusive, from 0, in
// series-number order), or with inputPath alone when its stem does not end in "_" or "s" plus digits;
// `total` gets the sum of their sizes. Returns -1 and leaves both untouched when the path is empty or
// missing; returns -1 with both emptied when it has no directory or stem; prints "cannot match the
// path" to standard error and returns 0 with both emptied when the directory holds no *.dat entry.
std::int32_t DiscoverFiles(const std::string& inputPath, std::int32_t first, std::int32_t last,
                           std::vector<FileEntry>& files, std::uint64_t& total);

// True when the two names have the same series key: the name before its last ".", less its trailing
// digits. Exact byte comparison.
bool IsSameSeries(std::string_view a, std::string_view b);
// True when a's series number (the digits ending the path before its last ".") is smaller than b's.
// Numbers of any length compare by value; no digits counts as 0.
bool SeriesNumberLess(std::string_view a, std::string_view b);
// The size of the file in bytes, or -1 when it cannot be opened.
std::int64_t MeasureFileSize(const std::string& path);

}  // namespace kestrun
