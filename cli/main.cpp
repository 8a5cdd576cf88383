// kestrun-cli: converts a file or a numbered series from the command line.
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <future>
#include <string>
#include <thread>

#include "cli/CliOptions.h"
#include "cli/ProgressLine.h"
#include "engine/TdcFileParser.h"

namespace {

volatile std::sig_atomic_t interrupted = 0;

void OnInterrupt(int) { interrupted = 1; }

// A plain description for a failure whose status text is empty.
std::string Describe(const kestrun::TdcFileParser& parser) {
  if (!parser.lastMessage.empty()) return parser.lastMessage;
  if (parser.statusCode == 5) return "the text buffer could not be allocated";
  return "the conversion failed with status " + std::to_string(parser.statusCode);
}

}  // namespace

int main(int argc, char** argv) {
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
  // Standard output carries only diagnostics: a reader that goes away must not end the conversion.
  std::signal(SIGPIPE, SIG_IGN);
  parser.Start();
  // A stop asked for before the run's block loop begins would be lost; keep asking until the run ends.
  auto done = finished.get_future();
  while (done.wait_for(std::chrono::milliseconds(20)) != std::future_status::ready) {
    if (interrupted) parser.running = false;
  }
  parser.Wait();
  progress.Close();

  // A run that reached its block loop ends with the data type cleared; only such a run wrote outputs.
  const bool converted = parser.dataType == -1;
  if (!options.quiet && converted) {
    std::string outputs;
    if (options.run.generateParsed) outputs = parser.ParsedFilePath();
    if (options.run.generateReport) outputs += (outputs.empty() ? "" : ", ") + parser.ReportFilePath();
    const int files = filesOpened < 0 ? 0 : filesOpened;
    std::fprintf(stderr, "kestrun-cli: %s %d file%s, %s in %.2f s%s%s\n", interrupted ? "stopped after" : "converted",
                 files, files == 1 ? "" : "s", kestrun::cli::FormatBytes(parser.bytesRead).c_str(),
                 progress.ElapsedSeconds(), outputs.empty() ? "" : " -> ", outputs.c_str());
  }
  if (parser.statusCode != 0) std::fprintf(stderr, "kestrun-cli: error: %s\n", Describe(parser).c_str());
  if (interrupted) return 130;
  return parser.statusCode == 0 ? 0 : 1;
}
