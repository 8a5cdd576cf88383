#include <cstdio>
#include <filesystem>
#include <new>
#include <system_error>

#include "engine/PathPieces.h"
#include "engine/TdcFileParser.h"

namespace kestrun {

namespace {
bool Exists(const std::string& path) {
  std::error_code ec;
  return !path.empty() && std::filesystem::exists(std::filesystem::path(path), ec);
}
}  // namespace

std::string TdcFileParser::ParsedFilePath() const {
  return outputDir + kPathSeparator + SplitPath(inputPath).stem + "_parsed.txt";
}

std::string TdcFileParser::ReportFilePath() const {
  return outputDir + kPathSeparator + SplitPath(inputPath).stem + "_report.txt";
}

bool TdcFileParser::PrepareOutputs() {
  if (!Exists(inputPath)) {
    statusCode = 3;
    lastMessage = "Could Not Create OutputFile: " + inputPath;
    return false;
  }
  if (!Exists(outputDir)) {
    statusCode = 4;
    lastMessage = "Could Not Open Output Directory :" + outputDir;
    return false;
  }
  if (!generateParsed) return true;
  if (!textBuffer) {
    textBuffer.reset(new (std::nothrow) char[textBufferCapacity]);
    if (!textBuffer) {
      std::printf("内存申请失败：%s\n", std::bad_alloc().what());
      std::fflush(stdout);
      statusCode = 5;
      return false;
    }
    textBufferSize = static_cast<std::uint32_t>(textBufferCapacity);
  }
  parsedPath = ParsedFilePath();
  parsedFile.close();
  parsedFile.clear();
  // Unbuffered: each block's text goes to the file in one write, and a short write shows at once.
  parsedFile.rdbuf()->pubsetbuf(nullptr, 0);
  parsedFile.open(parsedPath, std::ios::out | std::ios::binary | std::ios::trunc);
  if (!parsedFile.is_open()) {
    statusCode = 5;
    lastMessage = "Could Not Open Output File: " + parsedPath;
    return false;
  }
  return true;
}

bool TdcFileParser::WriteParsed(const char* data, std::size_t size) {
  if (!parsedFile.is_open() || !parsedFile.good()) return false;
  parsedFile.write(data, static_cast<std::streamsize>(size));
  return parsedFile.good();
}

void TdcFileParser::WriteReport() {
  const std::string path = ReportFilePath();
  std::ofstream report(path, std::ios::out | std::ios::trunc);
  if (!report.is_open()) {
    statusCode = 5;
    lastMessage = "Could Not Open Output File: " + path;
    return;
  }
  std::string failure;
  const bool written = decoderState.WriteReportText(
      dataType,
      [&report](const char* data, std::size_t size) {
        report.write(data, static_cast<std::streamsize>(size));
        return report.good();
      },
      &failure);
  report.close();
  if (!written || report.fail()) {
    statusCode = 5;
    lastMessage = failure.empty() ? "Could Not Write Output File: " + path : failure;
  }
}

}  // namespace kestrun
