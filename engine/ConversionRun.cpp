#include <climits>
#include <filesystem>
#include <memory>
#include <optional>
#include <system_error>

#include "engine/TdcFileParser.h"
#include "tttr/TttrHeader.h"

namespace kestrun {

namespace {

bool OpenInput(std::ifstream& input, const std::string& path) {
  std::error_code ec;
  if (std::filesystem::is_directory(std::filesystem::path(path), ec)) return false;
  input.open(path, std::ios::in | std::ios::binary);
  return input.is_open();
}

BackgroundIo::ReadResult ReadBlock(std::ifstream& input, char* buffer) {
  input.read(buffer, kBlockSize);
  BackgroundIo::ReadResult result;
  result.failed = input.bad();
  result.length = result.failed ? 0 : static_cast<std::int32_t>(input.gcount());
  result.endOfFile = input.eof();
  return result;
}

// Chunks of the text buffer that the writer takes in turn: small enough that writing overlaps most of
// a block's decoding, large enough that a write costs little.
constexpr std::size_t kChunkBytes = 1 << 20;
constexpr std::size_t kMinChunkBytes = 4096;

}  // namespace

void TdcFileParser::Run() {
  ResetRun();
  if (!PrepareOutputs()) {
    if (onStatus) onStatus(statusCode);
    return;
  }
  DiscoverInputFiles();
  if (files.empty()) {
    statusCode = 7;
    lastMessage = "No Input File Found: " + inputPath;
    if (onStatus) onStatus(statusCode);
    if (parsedFile.is_open()) parsedFile.close();
    return;
  }
  running = true;
  if (onMessage && !files.front().path.empty()) onMessage(files.front().path);
  {
    std::optional<BackgroundIo> io;
    if (overlapIo) {
      io.emplace([this](const char* data, std::size_t size) { return WriteParsed(data, size); });
      io_ = &*io;
      chunkSize_ = std::min(kChunkBytes, static_cast<std::size_t>(textBufferSize) / kMaxChunks);
      chunkIndex_ = 0;
      std::fill(std::begin(chunkTickets_), std::end(chunkTickets_), 0);
    }
    RunBlockLoop();
    WriteT1TextIfAny();
    io_ = nullptr;
  }
  FinishRun();
}

void TdcFileParser::RunBlockLoop() {
  // Two block buffers when reading ahead: one being decoded while the other is filled.
  const int buffers = io_ != nullptr ? 2 : 1;
  const auto storage = std::make_unique<std::uint8_t[]>(static_cast<std::size_t>(kBlockSize) * buffers);  // zero-filled
  auto block = [&](int i) { return storage.get() + static_cast<std::size_t>(kBlockSize) * i; };
  int current = 0;
  bool readPending = false;
  std::ifstream input;
  std::size_t next = 0;
  std::string currentPath;
  auto startRead = [&](int i) {
    io_->StartRead(input, reinterpret_cast<char*>(block(i)), kBlockSize);
    readPending = true;
  };
  for (;;) {
    if (!running || abandon_) break;
    if (!input.is_open()) {
      const FileEntry& file = files[next];
      if (!OpenInput(input, file.path)) {
        statusCode = 3;
        lastMessage = "Could Not Open Input File: " + file.path;
        if (onStatus) onStatus(statusCode);
        break;
      }
      if (onMessage && !file.path.empty()) onMessage(file.path);
      currentPath = file.path;
      ++next;
      if (io_ != nullptr) startRead(current);
    }
    BackgroundIo::ReadResult read;
    if (io_ != nullptr) {
      read = io_->FinishRead();
      readPending = false;
    } else {
      read = ReadBlock(input, reinterpret_cast<char*>(block(current)));
    }
    if (read.failed) {
      statusCode = 3;
      lastMessage = "Could Not Read Input File: " + currentPath;
      if (onStatus) onStatus(statusCode);
      break;
    }
    if (io_ != nullptr && !read.endOfFile) startRead(1 - current);
    bytesRead += static_cast<std::uint64_t>(read.length);
    ProcessBlock(block(current), read.length);
    if (onProgress && totalBytes != 0) {
      const std::uint64_t percent = bytesRead * 100 / totalBytes;
      onProgress(percent > INT_MAX ? INT_MAX : static_cast<int>(percent));
    }
    if (read.endOfFile) {
      input.close();
      if (next >= files.size()) break;
    } else if (io_ != nullptr) {
      current = 1 - current;
    }
  }
  if (readPending) io_->FinishRead();  // a block read ahead of a stop is dropped unseen
}

void TdcFileParser::WriteT1TextIfAny() {
  if (dataType != 1 || !generateParsed) return;
  TextSink text = MakeTextSink();
  const std::int64_t produced = decoderState.WriteT1Text(text, resolutionPs, DeviceDisplayName(deviceType));
  const bool flushed = text.Flush();
  const bool written = io_ == nullptr || io_->FinishWrites();
  if (produced < 0 || !flushed || !written) {
    statusCode = 7;
    lastMessage = "Parsed Content Save Error!";
  } else {
    parsedBytes += text.Produced();
  }
}

void TdcFileParser::FinishRun() {
  if (parsedFile.is_open()) parsedFile.close();
  if (generateReport) WriteReport();
  dataType = -1;
  deviceType = -1;
}

bool TdcFileParser::ProcessBlock(const std::uint8_t* block, std::int32_t length) {
  if (dataType == -1) {
    statusCode = 1;
    lastMessage = "Data Type Not Recognized!";
    return false;
  }
  if (deviceType == -1) {
    statusCode = 2;
    lastMessage = "Device Type Not Recognized!";
    return false;
  }
  const std::int64_t produced = DecodeBlock(block, length);
  if (produced < 0) {
    statusCode = 7;
    lastMessage = "Parsed Content Save Error!";
    return false;
  }
  parsedBytes += static_cast<std::uint64_t>(produced);
  return true;
}

std::int64_t TdcFileParser::DecodeBlock(const std::uint8_t* block, std::int32_t length) {
  TextSink text = MakeTextSink();
  const char* const device = DeviceDisplayName(deviceType);
  bool ok = true;
  if (parsedBytes == 0 && generateParsed) {
    std::int32_t header = 0;
    if (dataType == 2) header = WriteT2Header(text, resolutionPs, device);
    if (dataType == 3) header = WriteT3Header(text, resolutionPs, device);
    ok = header >= 0;
  }
  if (ok) {
    DecoderState& d = decoderState;
    const bool device3 = deviceType == 3;
    std::int32_t r = 0;
    switch (dataType) {
      case 1:
        r = d.DecodeT1(block, length, device);
        break;
      case 2:
        r = device3 ? d.DecodeT2Device3(block, length, text, resolutionPs, outputPacketInfo)
                    : d.DecodeT2(block, length, text, resolutionPs);
        break;
      case 3:
        r = device3 ? d.DecodeT3Device3(block, length, text, resolutionPs, outputPacketInfo)
                    : d.DecodeT3(block, length, text, resolutionPs);
        break;
      case 4:
      case 5:
        r = d.DecodeIttr(block, length, text);
        break;
      default:
        break;
    }
    ok = r >= 0 && !text.Failed();
  }
  if (generateParsed) {
    // The block's text is written, and the writes are over, before the block counts as done.
    ok = ok && text.Flush();
    if (io_ != nullptr && !io_->FinishWrites()) ok = false;
  }
  return ok ? static_cast<std::int64_t>(text.Produced()) : -1;
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
