#include <climits>
#include <filesystem>
#include <memory>
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
  RunBlockLoop();
  FinishRun();
}

void TdcFileParser::RunBlockLoop() {
  const auto block = std::make_unique<std::uint8_t[]>(kBlockSize);  // zero-filled
  char* const bytes = reinterpret_cast<char*>(block.get());
  std::ifstream input;
  std::size_t next = 0;
  std::string currentPath;
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
    }
    input.read(bytes, kBlockSize);
    if (input.bad()) {
      statusCode = 3;
      lastMessage = "Could Not Read Input File: " + currentPath;
      if (onStatus) onStatus(statusCode);
      break;
    }
    const auto length = static_cast<std::int32_t>(input.gcount());
    bytesRead += static_cast<std::uint64_t>(length);
    ProcessBlock(block.get(), length);
    if (onProgress && totalBytes != 0) {
      const std::uint64_t percent = bytesRead * 100 / totalBytes;
      onProgress(percent > INT_MAX ? INT_MAX : static_cast<int>(percent));
    }
    if (input.eof()) {
      input.close();
      if (next >= files.size()) break;
    }
  }
}

void TdcFileParser::FinishRun() {
  if (dataType == 1 && generateParsed) {
    TextSink text = MakeTextSink();
    const std::int64_t produced = decoderState.WriteT1Text(text, resolutionPs, DeviceDisplayName(deviceType));
    if (produced < 0 || !text.Flush()) {
      statusCode = 7;
      lastMessage = "Parsed Content Save Error!";
    } else {
      parsedBytes += text.Produced();
    }
  }
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
  if (parsedBytes == 0 && generateParsed) {
    std::int32_t header = 0;
    if (dataType == 2) header = WriteT2Header(text, resolutionPs, device);
    if (dataType == 3) header = WriteT3Header(text, resolutionPs, device);
    if (header < 0) return -1;
  }
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
  if (r < 0 || text.Failed()) return -1;
  if (generateParsed && !text.Flush()) return -1;
  return static_cast<std::int64_t>(text.Produced());
}

TextSink TdcFileParser::MakeTextSink() {
  if (!generateParsed || !textBuffer) return TextSink();
  auto consume = [](void* self, const char* data, std::size_t size) {
    return static_cast<TdcFileParser*>(self)->WriteParsed(data, size);
  };
  return TextSink(textBuffer.get(), textBufferSize, consume, this);
}

}  // namespace kestrun
