// kestrun-cli: converts a file or a numbered series from the command line.
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <exception>
#include <future>
#include <new>
#include <string>
#include <thread>

#include "cli/CliOptions.h"
#include "cli/ProgressLine.h"
#include "engine/TdcFileParser.h"

namespace {

// The first INT or TERM: the run stops after its current block and keeps what it converted. A second
// one ends the process at once, by the signal itself.
// Lock-free, so safe in a handler; the two signals may be handled at once on different threads.
std::atomic<int> interrupted{0};
static_assert(std::atomic<int>::is_always_lock_free);

void OnInterrupt(int signal) {
  int none = 0;
  if (!interrupted.compare_exchange_strong(none, signal)) {
    std::signal(signal, SIG_DFL);
    std::raise(signal);
  }
}

// A plain description for a failure whose status text is empty.
std::string Describe(const kestrun::RunFailure& failure) {
  if (!failure.message.empty()) return failure.message;
  return "the conversion failed with status " + std::to_string(failure.status);
}

}  // namespace

int ConvertFromCommandLine(int argc, char** argv) {
  kestrun::cli::CliOptions options;
  if (auto exitCode = kestrun::cli::ParseCommandLine(argc, argv, options)) return *exitCode;

  kestrun::TdcFileParser parser;
  options.run.ApplyTo(parser);

  kestrun::cli::ProgressLine progress(!options.quiet && ::isatty(STDERR_FILENO));
  std::string currentFile;
  int filesOpened = -1;  // the first file is announced once before it is opened
  parser.onMessage = [&](std::string path) {
    currentFile = std::move(path);
    ++filesOpened;
  };
  parser.onProgress = [&](int percent) { progress.Update(percent, parser.bytesRead, parser.totalBytes, currentFile); };
  std::promise<void> finished;
  parser.onFinished = [&] { finished.set_value(); };

  std::signal(SIGINT, OnInterrupt);
  std::signal(SIGTERM, OnInterrupt);
  // Standard output carries only diagnostics: a reader that goes away must not end the conversion.
  std::signal(SIGPIPE, SIG_IGN);
  parser.Start();
  // A stop asked for before the run's block loop begins would be lost; keep asking until the run ends.
  auto done = finished.get_future();
  while (done.wait_for(std::chrono::milliseconds(20)) != std::future_status::ready) {
    if (interrupted != 0) parser.running = false;
  }
  parser.Wait();
  progress.Close();

  // A run that reached its block loop ends with the data type cleared; only such a run wrote outputs,
  // and a run that lost any of them gets no summary that could read as success.
  const bool converted = parser.dataType == -1 && parser.failures.empty();
  if (!options.quiet && converted) {
    std::string outputs;
    if (options.run.generateParsed) outputs = parser.ParsedFilePath();
    if (options.run.generateReport) outputs += (outputs.empty() ? "" : ", ") + parser.ReportFilePath();
    const int files = filesOpened < 0 ? 0 : filesOpened;
    std::fprintf(stderr, "kestrun-cli: %s %d file%s, %s in %.2f s%s%s\n", interrupted != 0 ? "stopped after" : "converted",
                 files, files == 1 ? "" : "s", kestrun::cli::FormatBytes(parser.bytesRead).c_str(),
                 progress.ElapsedSeconds(), outputs.empty() ? "" : " -> ", outputs.c_str());
  }
  for (const std::string& warning : parser.warnings) std::fprintf(stderr, "kestrun-cli: warning: %s\n", warning.c_str());
  for (const kestrun::RunFailure& failure : parser.failures) {
    std::fprintf(stderr, "kestrun-cli: error: %s\n", Describe(failure).c_str());
  }
  if (interrupted != 0) return 128 + interrupted;
  return parser.statusCode == 0 ? 0 : 1;
}

int main(int argc, char** argv) {
  // The run itself ends every failure in its status; this catches what happens around it (no thread
  // to be had, no memory for the command line).
  try {
    return ConvertFromCommandLine(argc, argv);
  } catch (const std::bad_alloc&) {
    std::fputs("kestrun-cli: error: Out Of Memory!\n", stderr);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "kestrun-cli: error: %s\n", e.what());
  }
  return 1;
}
