#pragma once
// File names and command lines are UTF-8 text everywhere in Kestrun. On Windows they cross to the system
// through its wide-character functions, as the narrow ones take the ANSI code page, which cannot name
// every file.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace kestrun {

// The path named by UTF-8 text, and the UTF-8 text of a path.
std::filesystem::path PathOf(const std::string& utf8);
std::string Utf8Of(const std::filesystem::path& path);

// The program's arguments in UTF-8 (on Windows read from the wide command line, argv being ANSI).
std::vector<std::string> Utf8Arguments(int argc, char** argv);

// Has the system start writing `length` bytes of file `handle` at `offset` (0: to its end) to the disk
// now, without waiting: the disk works while the run decodes, instead of taking gigabytes at the end,
// and dirty memory stays small. Where there is no such call the system's own writeback does it later.
void StartWriteback(int handle, std::uint64_t offset, std::uint64_t length);

}  // namespace kestrun
