#include "engine/PathPieces.h"

namespace kestrun {

namespace {
bool IsSeparator(char c) {
#ifdef _WIN32
  return c == '/' || c == '\\' || c == ':';
#else
  return c == '/';
#endif
}
}  // namespace

PathPieces SplitPath(std::string_view path) {
  std::size_t nameStart = path.size();
  while (nameStart > 0 && !IsSeparator(path[nameStart - 1])) --nameStart;
  const std::string_view name = path.substr(nameStart);
  const std::size_t dot = name.rfind('.');
  PathPieces pieces;
  pieces.directory = std::string(path.substr(0, nameStart));
  pieces.stem = std::string(dot == std::string_view::npos ? name : name.substr(0, dot));
  if (dot != std::string_view::npos) pieces.extension = std::string(name.substr(dot));
  return pieces;
}

}  // namespace kestrun
