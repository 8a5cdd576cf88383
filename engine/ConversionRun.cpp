#include <algorithm>
#include <exception>
#include <memory>
#include <new>
#include <optional>

#include "engine/DataCheck.h"
#include "engine/TdcFileParser.h"
#include "tttr/TttrHeader.h"

namespace kestrun {

namespace {

// Chunks of the text buffer that the writer takes in turn: small enough that writing overlaps most of
// a block's decoding, large enough that a write costs little.
constexpr std::size_t kChunkBytes = 1 << 20;
constexpr std::size_t kMinChunkBytes = 4096;

}  // namespace

void TdcFileParser::Run() {
  ResetRun();
  // Nothing may leave the worker: a failure to allocate, anywhere, ends the run with its status.
  try {
    RunSteps();
  } catch (const std::bad_alloc&) {
    Fail(6, "Out Of Memory!");
    if (onStatus) onStatus(6);
  } catch (const std::exception& e) {
    Fail(6, std::string("Conversion Failed: ") + e.what());
    if (onStatus) onStatus(6);
  }
  // Only a run that failed inside leaves these open.
  if (parsedFile.IsOpen()) parsedFile.Discard();
  hdf5Output_.reset();
}

void TdcFileParser::RunSteps() {
  if (!PrepareOutputs()) {
    if (onStatus) onStatus(statusCode);
    return;
  }
  // Error lists too long for memory spill beside the outputs, on the disk that has room for them; a run
  // without a report, an HDF5 file (which holds the report too) or a front end that asks for the
  // report's text has no use for their text.
  decoderState.errorTexts = {outputDir, generateReport || hdf5.generate || keepReportText};
  DiscoverInputFiles();
  if (!CreateParsedFile()) {
    if (onStatus) onStatus(statusCode);
    return;
  }
  RecordSink* sink = recordSink;
  if (hdf5Output_ && sink != nullptr) {
    recordTee_.first = sink;
    recordTee_.second = hdf5Output_.get();
    sink = &recordTee_;
  } else if (hdf5Output_) {
    sink = hdf5Output_.get();
  }
  decoderState.records.Start(sink, dataType);
  if (files.empty()) {
    Fail(7, "No Input File Found: " + inputPath);
    if (onStatus) onStatus(7);
    const CommitLock lock(outputDir);
    if (parsedFile.IsOpen() && !parsedFile.Commit()) Fail(5, "Could Not Write Output File: " + parsedPath);
    return;
  }
  running = true;
  if (onMessage && !files.front().path.empty()) onMessage(files.front().path);
  {
    const int textThreads = TextThreadsOfRun();
    std::optional<BackgroundIo> io;
    if (overlapIo && textThreads == 1) {
      io.emplace([this](const char* data, std::size_t size) { return WriteParsed(data, size); });
      io_ = &*io;
      chunkSize_ = std::min(kChunkBytes, static_cast<std::size_t>(textBufferSize) / kMaxChunks);
      chunkIndex_ = 0;
      std::fill(std::begin(chunkTickets_), std::end(chunkTickets_), 0);
    }
    struct ClearIo {
      BackgroundIo*& io;
      ~ClearIo() { io = nullptr; }
    } clearIo{io_};
    if (textThreads > 1) {
      RunParallelLoop(textThreads);
    } else {
      RunBlockLoop();
    }
    WriteT1TextIfAny();
    if (decoderState.records.Active()) {
      decoderState.FinishRecords(dataType);
      if (decoderState.records.NewFailure()) Fail(7, RecordFailureText());
    }
  }
  FinishRun();
}

void TdcFileParser::RunBlockLoop() {
  // Two block buffers when reading ahead: one being decoded while the other is filled.
  const int buffers = io_ != nullptr ? 2 : 1;
  // Kept from run to run, as the text buffer is, and left uninitialised: a block is decoded only up to
  // the bytes read into it.
  if (blockBuffers_ < buffers) {
    blockStorage_.reset();
    blockStorage_ = std::make_unique_for_overwrite<std::uint8_t[]>(static_cast<std::size_t>(kBlockSize) * buffers);
    blockBuffers_ = buffers;
  }
  auto block = [&](int i) { return blockStorage_.get() + static_cast<std::size_t>(kBlockSize) * i; };
  int current = 0;
  bool readPending = false;
  InputFile input;
  std::size_t next = 0;
  std::string currentPath;
  std::uint64_t fileBytes = 0;
  auto startRead = [&](int i) {
    io_->StartRead(input, reinterpret_cast<char*>(block(i)), kBlockSize);
    readPending = true;
  };
  for (;;) {
    if (!running || abandon_) {
      stopped_ = true;
      break;
    }
    if (!input.IsOpen()) {
      const FileEntry& file = files[next];
      const InputFile::OpenResult opened = input.Open(file.path);
      if (opened != InputFile::OpenResult::Opened) {
        FinishTextWrites();  // text of the files before that could not be written is the earlier failure
        Fail(3, (opened == InputFile::OpenResult::NotRegular ? "Input File Is Not A Regular File: "
                                                               : "Could Not Open Input File: ") +
                    file.path);
        if (onStatus) onStatus(3);
        break;
      }
      if (onMessage && !file.path.empty()) onMessage(file.path);
      currentPath = file.path;
      fileBytes = 0;
      ++next;
      if (io_ != nullptr) startRead(current);
    }
    BackgroundIo::ReadResult read;
    if (io_ != nullptr) {
      read = io_->FinishRead();
      readPending = false;
    } else {
      read = input.Read(reinterpret_cast<char*>(block(current)), kBlockSize);
    }
    if (read.failed) {
      FinishTextWrites();
      Fail(3, "Could Not Read Input File: " + currentPath);
      if (onStatus) onStatus(3);
      break;
    }
    if (io_ != nullptr && !read.endOfFile) startRead(1 - current);
    if (bytesRead == 0) firstBlock_ = ReadSignature(block(current), static_cast<std::size_t>(read.length));
    bytesRead += static_cast<std::uint64_t>(read.length);
    fileBytes += static_cast<std::uint64_t>(read.length);
    ProcessBlock(block(current), read.length);
    if (onProgress && totalBytes != 0) {
      // Files that grew since discovery would carry the share past the whole.
      onProgress(static_cast<int>(std::min<std::uint64_t>(bytesRead * 100 / totalBytes, 100)));
    }
    if (read.endOfFile) {
      input.Close();
      CheckFileSize(files[next - 1], fileBytes);
      if (next >= files.size()) {
        allRead_ = true;
        break;
      }
    } else if (io_ != nullptr) {
      current = 1 - current;
    }
  }
  if (readPending) io_->FinishRead();  // a block read ahead of a stop is dropped unseen
  FinishTextWrites();
}

void TdcFileParser::FinishTextWrites() {
  if (io_ != nullptr && !io_->FinishWrites()) {
    parsedTextLost_ = true;
    Fail(7, "Parsed Content Save Error!");
  }
}

void TdcFileParser::WriteT1TextIfAny() {
  if (dataType != 1 || !generateParsed) return;
  TextSink text = MakeTextSink();
  const std::int64_t produced = decoderState.WriteT1Text(text, resolutionPs, DeviceDisplayName(deviceType));
  const bool flushed = text.Flush();
  const bool written = io_ == nullptr || io_->FinishWrites();
  if (produced < 0 || !flushed || !written) {
    parsedTextLost_ = true;
    Fail(7, "Parsed Content Save Error!");
  } else {
    parsedBytes += text.Produced();
  }
}

void TdcFileParser::CheckFileSize(const FileEntry& file, std::uint64_t bytes) {
  if (bytes == file.size) return;
  warnings.push_back("Input File " + std::string(bytes < file.size ? "Shrank" : "Grew") + " During The Run: " +
                     file.path + " (" + std::to_string(file.size) + " bytes when the run began, " +
                     std::to_string(bytes) + " bytes read)");
}

void TdcFileParser::FinishRun() {
  const CommitLock lock(outputDir);
  if (parsedFile.IsOpen()) {
    // A parsed file that lost text is no result: it never takes the final name.
    if (parsedTextLost_) {
      parsedFile.Discard();
      Fail(7, "Incomplete Parsed File Not Kept: " + parsedPath);
    } else if (!parsedFile.Commit()) {
      Fail(5, "Could Not Write Output File: " + parsedPath);
    }
  }
  const std::string doubt = CheckDataFits(decoderState, dataType, deviceType, bytesRead, firstBlock_);
  if (!doubt.empty()) warnings.push_back(doubt);
  if (generateReport) WriteReport();
  if (hdf5Output_) FinishHdf5();
  dataType = -1;
  deviceType = -1;
}

void TdcFileParser::FinishHdf5() {
  const std::unique_ptr<Hdf5Output> output = std::move(hdf5Output_);
  if (!output->Failure().empty()) {  // its records could not all be written: reported when that happened
    output->Discard();
    return;
  }
  // Records cut short by a failure (not by a stop) would make a file that looks whole but is not.
  bool cut = !allRead_ && !stopped_;
  for (const RunFailure& f : failures) cut = cut || f.status == 1 || f.status == 2 || f.status == 3 || f.status == 6;
  if (cut) {
    output->Discard();
    Fail(7, "Incomplete HDF5 File Not Kept: " + Hdf5FilePath());
  } else if (!output->Complete(*this, stopped_)) {
    Fail(7, output->Failure());
  }
}

std::string TdcFileParser::RecordFailureText() const {
  if (hdf5Output_ && !hdf5Output_->Failure().empty()) return hdf5Output_->Failure();
  return "Record Output Error!";
}

bool TdcFileParser::ProcessBlock(const std::uint8_t* block, std::int32_t length) {
  if (dataType == -1) {
    Fail(1, "Data Type Not Recognized!");
    return false;
  }
  if (deviceType == -1) {
    Fail(2, "Device Type Not Recognized!");
    return false;
  }
  const std::int64_t produced = DecodeBlock(block, length);
  if (decoderState.records.Active()) {
    decoderState.records.Flush();  // a chunk never waits for the next block
    if (decoderState.records.NewFailure()) Fail(7, RecordFailureText());
  }
  if (produced < 0) {
    parsedTextLost_ = true;
    Fail(7, "Parsed Content Save Error!");
    return false;
  }
  parsedBytes += static_cast<std::uint64_t>(produced);
  return true;
}

std::int64_t TdcFileParser::DecodeBlock(const std::uint8_t* block, std::int32_t length) {
  TextSink text = MakeTextSink();
  bool ok = FormatBlock(decoderState, block, length, text, parsedBytes == 0 && generateParsed) >= 0 && !text.Failed();
  if (generateParsed) {
    // The block's text is handed over whole; the helper writes its last chunk while the next block is
    // decoded (waiting for it cost up to a fifth of an ITTR run into tmpfs). A write that failed meanwhile
    // fails this block; the run waits for every write before its end (FinishTextWrites).
    ok = ok && text.Flush();
    if (io_ != nullptr && io_->TakeWriteFailure()) ok = false;
  }
  return ok ? static_cast<std::int64_t>(text.Produced()) : -1;
}

std::int32_t TdcFileParser::FormatBlock(DecoderState& d, const std::uint8_t* block, std::int32_t length,
                                        TextSink& text, bool header) const {
  const char* const device = DeviceDisplayName(deviceType);
  if (header) {
    std::int32_t written = 0;
    if (dataType == 2) written = WriteT2Header(text, resolutionPs, device);
    if (dataType == 3) written = WriteT3Header(text, resolutionPs, device);
    if (written < 0) return -1;
  }
  const bool device3 = deviceType == 3;
  switch (dataType) {
    case 1:
      return d.DecodeT1(block, length, device);
    case 2:
      return device3 ? d.DecodeT2Device3(block, length, text, resolutionPs, outputPacketInfo)
                     : d.DecodeT2(block, length, text, resolutionPs);
    case 3:
      return device3 ? d.DecodeT3Device3(block, length, text, resolutionPs, outputPacketInfo)
                     : d.DecodeT3(block, length, text, resolutionPs);
    case 4:
    case 5:
      return d.DecodeIttr(block, length, text);
    default:
      return 0;
  }
}

TextSink TdcFileParser::MakeTextSink() {
  if (!generateParsed || !textBuffer) return TextSink();
  if (io_ != nullptr && chunkSize_ >= kMinChunkBytes) {
    auto handOver = [](void* self, char* data, std::size_t size) {
      return static_cast<TdcFileParser*>(self)->HandOverChunk(data, size);
    };
    return TextSink(textBuffer.get() + chunkIndex_ * chunkSize_, chunkSize_, handOver, this);
  }
  auto write = [](void* self, char* data, std::size_t size) {
    return static_cast<TdcFileParser*>(self)->WriteParsed(data, size) ? data : nullptr;
  };
  return TextSink(textBuffer.get(), textBufferSize, write, this);
}

char* TdcFileParser::HandOverChunk(char* data, std::size_t size) {
  chunkTickets_[chunkIndex_] = io_->StartWrite(data, size);
  chunkIndex_ = (chunkIndex_ + 1) % kMaxChunks;
  io_->WaitWritten(chunkTickets_[chunkIndex_]);  // the chunk to fill next must be written out first
  return textBuffer.get() + chunkIndex_ * chunkSize_;
}

}  // namespace kestrun
