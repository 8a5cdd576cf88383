#include "cli/Console.h"

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace kestrun::cli {

ConsoleInfo PrepareConsole() {
  ConsoleInfo info;
#ifdef _WIN32
  // Paths are UTF-8 inside; the console shows them as such only with its output code page set so.
  SetConsoleOutputCP(CP_UTF8);
  const HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
  DWORD mode = 0;
  info.terminal = error != INVALID_HANDLE_VALUE && GetConsoleMode(error, &mode);
  info.ansi = info.terminal && ((mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0 ||
                                SetConsoleMode(error, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING));
#else
  info.terminal = ::isatty(STDERR_FILENO) != 0;
  info.ansi = info.terminal;
#endif
  return info;
}

}  // namespace kestrun::cli
