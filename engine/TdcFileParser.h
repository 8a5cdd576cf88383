#pragma once
// The conversion engine's central object. A front end assigns the settings and callbacks, calls Start,
// and may only clear `running` until onFinished has been called. One parser serves any number of runs,
// one at a time.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "engine/BackgroundIo.h"
#include "engine/DataCheck.h"
#include "engine/DecoderState.h"
#include "engine/Hdf5Output.h"
#include "engine/OutputFile.h"
#include "engine/RecordTee.h"

namespace kestrun {

inline constexpr std::int32_t kBlockSize = 1'048'576;
inline constexpr std::uint32_t kTextBufferSize = 33'554'432;

struct FileEntry {
  std::string path;         // full path of the file
  std::uint64_t size = 0;   // byte size seen at discovery
};

// One failure of a run: its status code and text.
struct RunFailure {
  std::int32_t status = 0;
  std::string message;
};

class TdcFileParser {
 public:
  TdcFileParser() = default;
  // Requests a stop of a run that is going on and waits for its worker.
  ~TdcFileParser();
  TdcFileParser(const TdcFileParser&) = delete;
  TdcFileParser& operator=(const TdcFileParser&) = delete;

  // Settings (UTF-8 byte strings for the paths; front ends make them absolute).
  std::string inputPath;
  std::string outputDir;
  std::string parsedPath;          // built by PrepareOutputs
  std::vector<FileEntry> files;    // built by DiscoverInputFiles, in conversion order
  bool generateParsed = false;
  bool generateReport = false;
  bool outputPacketInfo = false;
  bool outputOverflow = false;
  std::unique_ptr<char[]> textBuffer;  // allocated by the first run with parsed text, then kept
  std::uint32_t textBufferSize = 0;
  std::atomic<bool> running{false};    // cleared by the front end to stop the run after the current block
  OutputFile parsedFile;               // open from PrepareOutputs to the end of the run
  std::uint64_t parsedBytes = 0;
  std::uint64_t bytesRead = 0;
  std::uint64_t totalBytes = 0;
  DecoderState decoderState;
  std::int32_t resolutionPs = 0;
  std::int32_t dataType = 0;
  std::int32_t deviceType = 0;
  std::function<void(int)> onProgress;            // percentage of the input read, after every block
  std::function<void(int)> onStatus;              // status code of a failure that ends the run
  std::function<void(std::string)> onMessage;     // path of the input file about to be converted
  std::function<void()> onFinished;               // called last from the worker, when Run has returned
  // Gets every decoded record of the run (columns of T2/T3/ITTR rows, T1 histograms at the end), from
  // the worker; none when null. Must outlive the run.
  RecordSink* recordSink = nullptr;
  // Also write the records into <stem>.hdf5 in the output directory (Photon-HDF5 for T2/T3).
  Hdf5Settings hdf5;
  // Keep the report's error texts without writing a report file, for a front end that builds the
  // report itself after the run (decoderState.WriteReportText).
  bool keepReportText = false;
  // The run's first failure; `failures` lists every different failure of the run in order.
  std::int32_t statusCode = 0;
  std::string lastMessage;
  std::vector<RunFailure> failures;
  // Doubts about the data that end no run: settings that do not fit the data, files that changed.
  std::vector<std::string> warnings;
  std::int32_t rangeFirst = 0;
  std::int32_t rangeLast = 0;
  // Capacity of textBuffer when it is first allocated; tests lower it to exercise the spill path.
  std::size_t textBufferCapacity = kTextBufferSize;
  // Read ahead and write behind on a helper thread while blocks are decoded; the bytes, the block
  // sequence and the callbacks are the same either way.
  bool overlapIo = true;
  // Threads that format the parsed text of T2, T3 and ITTR blocks while the worker reads, takes the
  // statistics and writes: 0 for 4 from 4 cores (6 blocks in flight, under 80 MiB), else 1; 1 formats on
  // the worker alone. Only with overlapIo; the bytes, the block sequence and the callbacks are the same
  // either way.
  int textThreads = 0;

  // Copies the two decoder flags and runs Run on a new worker thread; returns at once.
  // Waits first for the worker of an earlier run, which must have been told to stop or have finished.
  void Start();
  // Waits until the worker of the latest Start has returned (no-op without one).
  void Wait();
  // The whole conversion run, on the calling thread. Records every failure in statusCode/lastMessage.
  void Run();
  // Start of every run: counters, status and the whole decoder state back to their initial values.
  void ResetRun();
  std::string GetLastMessage() const { return lastMessage; }
  static const char* DeviceDisplayName(std::int32_t deviceCode);

  // Checks the paths and provides the text buffer. False after recording a failure (status 3, 4 or 5).
  bool PrepareOutputs();
  // Refuses outputs that are input files of the run, then creates the parsed file under its partial
  // name and removes the one it replaces. False after recording a failure (status 5).
  bool CreateParsedFile();
  // Lists the input files of the run into `files` and sums their sizes; -1 for an unusable path.
  std::int32_t DiscoverInputFiles();
  // Decodes one block and writes its text; false after recording a failure (status 1, 2 or 7).
  bool ProcessBlock(const std::uint8_t* block, std::int32_t length);
  // Header (first block of a run) plus the block's text, written to parsedFile; the byte count or -1.
  std::int64_t DecodeBlock(const std::uint8_t* block, std::int32_t length);
  // Decodes one block of the run's type on `d`, its text (after the header when `header`) into `text`;
  // the block decoder's result, or -1 when the header could not be written. Safe on any thread.
  std::int32_t FormatBlock(DecoderState& d, const std::uint8_t* block, std::int32_t length, TextSink& text,
                           bool header) const;
  // Creates and fills the report file; on failure status 5 and its text.
  void WriteReport();
  // Records a failure: the first one sets statusCode and lastMessage; a repeat of the latest is not listed again.
  void Fail(std::int32_t status, std::string message);

  std::string ParsedFilePath() const;  // outputDir + separator + stem + "_parsed.txt"
  std::string ReportFilePath() const;  // outputDir + separator + stem + "_report.txt"
  std::string Hdf5FilePath() const;    // outputDir + separator + stem + ".hdf5"

 private:
  void RunSteps();
  void RunBlockLoop();
  int TextThreadsOfRun() const;
  void RunParallelLoop(int threads);
  void CheckFileSize(const FileEntry& file, std::uint64_t bytes);
  void WriteT1TextIfAny();
  // Waits until the helper has written all the text handed to it; its failure loses the run's text.
  void FinishTextWrites();
  void FinishRun();
  void FinishHdf5();
  bool CreateHdf5File();
  std::string RecordFailureText() const;
  TextSink MakeTextSink();
  bool WriteParsed(const char* data, std::size_t size);
  char* HandOverChunk(char* data, std::size_t size);

  // While a run overlaps its I/O: the helper thread, and the text buffer cut into chunks that are
  // filled in turn while the chunks before them are being written.
  static constexpr std::size_t kMaxChunks = 4;
  BackgroundIo* io_ = nullptr;
  std::size_t chunkSize_ = 0;
  std::size_t chunkIndex_ = 0;
  std::uint64_t chunkTickets_[kMaxChunks] = {};

  std::unique_ptr<std::uint8_t[]> blockStorage_;  // the block buffers, kept for the next run
  int blockBuffers_ = 0;
  std::unique_ptr<Hdf5Output> hdf5Output_;  // open from CreateParsedFile to the end of the run
  RecordTee recordTee_;                      // when the run has both a record sink and an HDF5 file
  bool stopped_ = false;                     // the block loop ended on a stop
  bool allRead_ = false;                     // the block loop read every file to its end
  bool parsedTextLost_ = false;  // some text of the run could not be written
  DataSignature firstBlock_;     // what the run's first block looks like
  std::thread worker_;
  std::atomic<bool> abandon_{false};  // set by the destructor: stops a run even before its block loop
};

}  // namespace kestrun
