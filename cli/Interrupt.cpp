#include "cli/Interrupt.h"

#include <atomic>
#include <csignal>

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#endif

namespace kestrun::cli {

namespace {

// Lock-free, so safe in a handler; two stops may be handled at once on different threads.
std::atomic<int> interrupted{0};
static_assert(std::atomic<int>::is_always_lock_free);

#ifdef _WIN32
// Console events arrive on a thread of their own; returning TRUE keeps the process alive.
BOOL WINAPI OnConsoleEvent(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
  int none = 0;
  if (!interrupted.compare_exchange_strong(none, SIGINT)) TerminateProcess(GetCurrentProcess(), 128 + SIGINT);
  return TRUE;
}
#else
void OnSignal(int signal) {
  int none = 0;
  if (!interrupted.compare_exchange_strong(none, signal)) {
    std::signal(signal, SIG_DFL);
    std::raise(signal);
  }
}
#endif

}  // namespace

void CatchInterrupts() {
#ifdef _WIN32
  // A console program started in a process group of its own has Ctrl+C turned off; turn it back on.
  SetConsoleCtrlHandler(nullptr, FALSE);
  SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
#else
  std::signal(SIGINT, OnSignal);
  std::signal(SIGTERM, OnSignal);
  // Standard output carries only diagnostics: a reader that goes away must not end the conversion.
  std::signal(SIGPIPE, SIG_IGN);
#endif
}

int InterruptSignal() { return interrupted.load(); }

}  // namespace kestrun::cli
