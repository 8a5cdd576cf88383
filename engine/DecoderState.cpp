#include "engine/DecoderState.h"

#include <new>

namespace kestrun {

void DecoderState::Reset() {
  board = 0;
  overflowValue = 0;
  overflowWraps = 0;
  ResetTttr();
  ResetT1();
  ResetIttr();
  records.Start(nullptr, 0);
}

bool DecoderState::WriteReportText(std::int32_t dataType, const TextLog::Writer& write, std::string* failure) {
  auto failed = [failure](const char* why) noexcept {
    try {
      if (failure != nullptr) *failure = why;
    } catch (const std::bad_alloc&) {
    }
    return false;
  };
  // A log that lost its text would leave breaks out of the report, which would then read as whole.
  const TttrStatistics& t = tttrStatistics;
  const bool tttr = dataType == 2 || dataType == 3;
  const bool ittr = dataType == 4 || dataType == 5;
  for (const TextLog* log : {&t.syncErrors, &t.storageOverflowSerials, &t.packageSerialErrors, &t.packageLengthErrors}) {
    if (tttr && log->Failed()) return failed(log->Failure().c_str());
  }
  if (ittr && ittrStatistics.errors.Failed()) return failed(ittrStatistics.errors.Failure().c_str());
  try {
    TextStream out(write);
    switch (dataType) {
      case 1:
        WriteT1Report(out);
        break;
      case 2:
      case 3:
        WriteTttrReport(out);
        break;
      case 4:
      case 5:
        WriteIttrReport(out);
        break;
      default:
        break;
    }
    return out.Flush() || failed(out.Failure().c_str());
  } catch (const std::bad_alloc&) {
    return failed("Could Not Allocate Memory For Report Text");
  }
}

std::string DecoderState::BuildReportText(std::int32_t dataType) {
  std::string text;
  const bool written = WriteReportText(dataType, [&text](const char* data, std::size_t size) {
    text.append(data, size);
    return true;
  });
  if (!written) text.clear();
  return text;
}

}  // namespace kestrun
