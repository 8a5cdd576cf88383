#include "engine/TdcFileParser.h"

#include "engine/Codes.h"

namespace kestrun {

TdcFileParser::~TdcFileParser() {
  abandon_ = true;
  running = false;
  Wait();
}

void TdcFileParser::Start() {
  Wait();
  decoderState.generateParsed = generateParsed;
  decoderState.outputOverflow = outputOverflow;
  worker_ = std::thread([this] {
    Run();
    if (onFinished) onFinished();
  });
}

void TdcFileParser::Wait() {
  if (worker_.joinable()) worker_.join();
}

void TdcFileParser::ResetRun() {
  parsedBytes = 0;
  bytesRead = 0;
  totalBytes = 0;
  statusCode = 0;
  lastMessage.clear();
  decoderState.Reset();
}

const char* TdcFileParser::DeviceDisplayName(std::int32_t deviceCode) {
  return kestrun::DeviceDisplayName(deviceCode);
}

}  // namespace kestrun
