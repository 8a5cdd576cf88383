// kestrun-cli: converts a file or a numbered series from the command line.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <exception>
#include <future>
#include <new>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "cli/CliOptions.h"
#include "cli/Console.h"
#include "cli/Interrupt.h"
#include "cli/ProgressLine.h"
#include "engine/InputDiscovery.h"
#include "engine/Platform.h"
#include "engine/TdcFileParser.h"

namespace {

// A plain description for a failure whose status text is empty.
std::string Describe(const kestrun::RunFailure& failure) {
  if (!failure.message.empty()) return failure.message;
  return "the conversion failed with status " + std::to_string(failure.status);
}

// One run of the series of `settings`; returns its exit status (0 or 1).
int ConvertSeries(const kestrun::RunSettings& settings, bool quiet, const kestrun::cli::ConsoleInfo& console) {
  kestrun::TdcFileParser parser;
  settings.ApplyTo(parser);

  kestrun::cli::ProgressLine progress(!quiet && console.terminal, console.ansi);
  std::string currentFile;
  int filesOpened = -1;  // the first file is announced once before it is opened
  parser.onMessage = [&](std::string path) {
    currentFile = std::move(path);
    ++filesOpened;
  };
  parser.onProgress = [&](int percent) { progress.Update(percent, parser.bytesRead, parser.totalBytes, currentFile); };
  std::promise<void> finished;
  parser.onFinished = [&] { finished.set_value(); };
  parser.Start();
  // A stop asked for before the run's block loop begins would be lost; keep asking until the run ends.
  auto done = finished.get_future();
  while (done.wait_for(std::chrono::milliseconds(20)) != std::future_status::ready) {
    if (kestrun::cli::InterruptSignal() != 0) parser.running = false;
  }
  parser.Wait();
  progress.Close();

  // A run that reached its block loop ends with the data type cleared; only such a run wrote outputs,
  // and a run that lost any of them gets no summary that could read as success.
  const bool converted = parser.dataType == -1 && parser.failures.empty();
  if (!quiet && converted) {
    std::string outputs;
    auto add = [&outputs](const std::string& path) { outputs += (outputs.empty() ? "" : ", ") + path; };
    if (settings.generateParsed) add(parser.ParsedFilePath());
    if (settings.generateReport) add(parser.ReportFilePath());
    if (settings.hdf5.generate) add(parser.Hdf5FilePath());
    const int files = filesOpened < 0 ? 0 : filesOpened;
    const bool stopped = kestrun::cli::InterruptSignal() != 0;
    std::fprintf(stderr, "kestrun-cli: %s %d file%s, %s in %.2f s%s%s\n", stopped ? "stopped after" : "converted",
                 files, files == 1 ? "" : "s", kestrun::cli::FormatBytes(parser.bytesRead).c_str(),
                 progress.ElapsedSeconds(), outputs.empty() ? "" : " -> ", outputs.c_str());
  }
  // Analysis tools take photon times that never go back; say so when these do.
  const std::uint64_t decreases = parser.decoderState.records.Totals().timeDecreases;
  if (!quiet && decreases != 0) {
    std::fprintf(stderr, "kestrun-cli: note: %llu record%s a time below the one before %s (kept in stream order)\n",
                 static_cast<unsigned long long>(decreases), decreases == 1 ? " has" : "s have",
                 decreases == 1 ? "it" : "them");
  }
  for (const std::string& warning : parser.warnings) std::fprintf(stderr, "kestrun-cli: warning: %s\n", warning.c_str());
  for (const kestrun::RunFailure& failure : parser.failures) {
    std::fprintf(stderr, "kestrun-cli: error: %s\n", Describe(failure).c_str());
  }
  return parser.statusCode == 0 ? 0 : 1;
}

// The files a run of `settings` would convert; empty when there are none to be found.
std::vector<std::string> SeriesFiles(const kestrun::RunSettings& settings) {
  std::vector<kestrun::FileEntry> files;
  std::uint64_t total = 0;
  kestrun::DiscoverFiles(settings.inputPath, settings.rangeFirst, settings.rangeLast, files, total);
  std::vector<std::string> paths;
  for (const kestrun::FileEntry& f : files) paths.push_back(f.path);
  return paths;
}

}  // namespace

int ConvertFromCommandLine(int argc, char** argv) {
  const kestrun::cli::ConsoleInfo console = kestrun::cli::PrepareConsole();
  std::vector<std::string> arguments = kestrun::Utf8Arguments(argc, argv);
  std::vector<char*> words;
  for (std::string& argument : arguments) words.push_back(argument.data());
  kestrun::cli::CliOptions options;
  if (auto exitCode = kestrun::cli::ParseCommandLine(static_cast<int>(words.size()), words.data(), options)) {
    return *exitCode;
  }
  kestrun::cli::CatchInterrupts();

  // A series named twice (by two of its files) is converted once, by the first name given.
  std::set<std::vector<std::string>> seen;
  int worst = 0;
  for (const kestrun::RunSettings& run : options.runs) {
    if (options.runs.size() > 1) {
      std::vector<std::string> files = SeriesFiles(run);
      if (!files.empty() && !seen.insert(std::move(files)).second) continue;
    }
    worst = std::max(worst, ConvertSeries(run, options.quiet, console));
    if (kestrun::cli::InterruptSignal() != 0) return 128 + kestrun::cli::InterruptSignal();
  }
  return worst;
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
