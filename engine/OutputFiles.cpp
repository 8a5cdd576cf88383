#include <cmath>
#include <cstdio>
#include <filesystem>
#include <new>
#include <system_error>

#include "engine/InputFile.h"
#include "engine/OutputFile.h"
#include "engine/PathPieces.h"
#include "engine/Platform.h"
#include "engine/TdcFileParser.h"

namespace kestrun {

namespace {
bool Exists(const std::string& path) {
  std::error_code ec;
  return !path.empty() && std::filesystem::exists(PathOf(path), ec);
}
}  // namespace

std::string TdcFileParser::ParsedFilePath() const {
  return outputDir + kPathSeparator + SplitPath(inputPath).stem + "_parsed.txt";
}

std::string TdcFileParser::ReportFilePath() const {
  return outputDir + kPathSeparator + SplitPath(inputPath).stem + "_report.txt";
}

std::string TdcFileParser::Hdf5FilePath() const {
  return outputDir + kPathSeparator + SplitPath(inputPath).stem + ".hdf5";
}

bool TdcFileParser::PrepareOutputs() {
  if (!Exists(inputPath)) {
    Fail(3, "Could Not Create OutputFile: " + inputPath);
    return false;
  }
  if (IsSpecialFile(inputPath)) {
    Fail(3, "Input File Is Not A Regular File: " + inputPath);
    return false;
  }
  if (!Exists(outputDir)) {
    Fail(4, "Could Not Open Output Directory :" + outputDir);
    return false;
  }
  if (hdf5.generate && !Hdf5Available()) {
    Fail(5, "HDF5 Output Is Not Available In This Build");
    return false;
  }
  if (hdf5.generate && dataType == 3 && !(hdf5.syncRateHz > 0 && hdf5.syncRateHz < HUGE_VAL)) {
    Fail(5, "Sync Rate Not Specified! (T3 data in Photon-HDF5 need the sync rate in Hz)");
    return false;
  }
  if (!generateParsed) return true;
  if (!textBuffer) {
    textBuffer.reset(new (std::nothrow) char[textBufferCapacity]);
    if (!textBuffer) {
      std::printf("内存申请失败：%s\n", std::bad_alloc().what());
      std::fflush(stdout);
      Fail(5, "Out Of Memory!");
      return false;
    }
    textBufferSize = static_cast<std::uint32_t>(textBufferCapacity);
  }
  return true;
}

bool TdcFileParser::CreateParsedFile() {
  // Checked before anything is written: an output name may be a link to, or another name of, an input.
  std::vector<std::string> outputs;
  if (generateParsed) outputs.push_back(ParsedFilePath());
  if (generateReport) outputs.push_back(ReportFilePath());
  if (hdf5.generate) outputs.push_back(Hdf5FilePath());
  for (const std::string& output : outputs) {
    bool input = IsSameFile(output, inputPath);
    for (const FileEntry& file : files) input = input || IsSameFile(output, file.path);
    if (input) {
      Fail(5, "Output File Is An Input File: " + output);
      return false;
    }
  }
  if (hdf5.generate && !CreateHdf5File()) return false;
  if (!generateParsed) return true;
  parsedPath = ParsedFilePath();
  if (!parsedFile.Create(parsedPath)) {
    Fail(5, "Could Not Open Output File: " + parsedPath);
    return false;
  }
  // The file this run replaces goes now, as a truncation would, so the disk never holds both.
  RemoveEntry(parsedPath);
  return true;
}

bool TdcFileParser::CreateHdf5File() {
  if (dataType < 1 || dataType > 5) return true;  // the run fails on its first block
  std::string failure;
  hdf5Output_ = CreateHdf5Output(Hdf5FilePath(), hdf5, dataType, resolutionPs, failure);
  if (!hdf5Output_) {
    Fail(5, failure);
    return false;
  }
  return true;
}

bool TdcFileParser::WriteParsed(const char* data, std::size_t size) { return parsedFile.Write(data, size); }

void TdcFileParser::WriteReport() {
  const std::string path = ReportFilePath();
  OutputFile report;
  if (!report.Create(path, LineEnds::Platform)) {
    Fail(5, "Could Not Open Output File: " + path);
    return;
  }
  // Streamed: the error lists of a damaged run may be far larger than memory.
  std::string failure;
  const bool written = decoderState.WriteReportText(
      dataType, [&report](const char* data, std::size_t size) { return report.Write(data, size); }, &failure);
  if (!written && !failure.empty()) {
    Fail(5, failure);
  } else if (!written || !report.Commit()) {
    Fail(5, "Could Not Write Output File: " + path);
  }
}

}  // namespace kestrun
