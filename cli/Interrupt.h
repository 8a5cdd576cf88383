#pragma once
// Stopping a conversion from outside. The first Ctrl+C (SIGINT; Ctrl+Break on Windows) or SIGTERM asks
// the run to stop after its current block and keep what it converted; a second one ends the process at
// once (a partial output file is left, which the next run of the same outputs removes).

namespace kestrun::cli {

void CatchInterrupts();
// 0 until a stop is asked for, then the signal's number (2 for Ctrl+C), so that the exit status is 128
// plus it, as shells report a process ended by that signal.
int InterruptSignal();

}  // namespace kestrun::cli
