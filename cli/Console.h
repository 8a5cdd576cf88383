#pragma once
// The console kestrun-cli writes its progress to: whether standard error is one, and whether it takes
// ANSI control sequences (a Windows console before Windows 10 does not; it shows them as text).

namespace kestrun::cli {

struct ConsoleInfo {
  bool terminal = false;  // standard error is an interactive console or terminal
  bool ansi = false;      // ... and it takes ANSI control sequences
};

// Sets the console up for UTF-8 text and, on Windows, for ANSI sequences where it can take them.
ConsoleInfo PrepareConsole();

}  // namespace kestrun::cli
