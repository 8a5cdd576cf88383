#pragma once
// Splitting a path into directory, stem and extension, as the input discovery, the output naming and
// the front ends see it. Both '/' and, on Windows, '\' separate directories.

#include <string>
#include <string_view>

namespace kestrun {

#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

struct PathPieces {
  std::string directory;  // up to and including the last separator ("" when there is none)
  std::string stem;       // the file name before its last "."
  std::string extension;  // from the file name's last "." on ("" when there is none)
};

PathPieces SplitPath(std::string_view path);

}  // namespace kestrun
