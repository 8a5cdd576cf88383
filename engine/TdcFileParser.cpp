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
  failures.clear();
  warnings.clear();
  parsedTextLost_ = false;
  stopped_ = false;
  allRead_ = false;
  firstBlock_ = {};
  decoderState.Reset();
}

void TdcFileParser::Fail(std::int32_t status, std::string message) {
  if (!failures.empty() && failures.back().status == status && failures.back().message == message) return;
  if (failures.empty()) {
    statusCode = status;
    lastMessage = message;
  }
  failures.push_back({status, std::move(message)});
}

const char* TdcFileParser::DeviceDisplayName(std::int32_t deviceCode) {
  return kestrun::DeviceDisplayName(deviceCode);
}

}  // namespace kestrun
