#include <string>
#include <string_view>

#include "engine/Digits.h"
#include "tttr/TttrState.h"

namespace kestrun {

namespace {

// Error lines are formatted into a local line; the longest is the package length one, about 140 bytes.
using Line = char[192];

std::string_view Text(const char* line, const char* end) {
  return {line, static_cast<std::size_t>(end - line)};
}

}  // namespace

void TttrStatistics::LogSyncError(std::uint32_t value, const TextLogPlace& place) {
  Line line;
  char* p = WriteLiteral(line, "Sync Pulse Seq Overflow Error: Previous Value: ");
  p = WriteU32(p, previousSyncOverflow);
  p = WriteLiteral(p, ",\tCurrent Value: ");
  p = WriteU32(p, value);
  *p++ = '\n';
  syncErrors.Append(Text(line, p), place);
}

void TttrStatistics::CheckPackageHead(std::uint32_t length, std::uint32_t serial, std::uint64_t index,
                                      const TextLogPlace& place) {
  ++packageHeadCount;
  declaredPackageLength = length;
  packageHeadIndex = index;
  packageSkippedWords = 0;
  // Computed wide so that no held value can overflow; -1 expects 0, and so does 1023.
  const std::int64_t expected = (static_cast<std::int64_t>(previousPackageSerial) + 1) % 1024;
  if (static_cast<std::int64_t>(serial) != expected) {
    Line line;
    char* p = WriteLiteral(line, "Package Serial Error: Previous Value: ");
    p = WriteI32(p, previousPackageSerial);
    p = WriteLiteral(p, ",\tCurrent Value: ");
    p = WriteU32(p, serial);
    *p++ = '\n';
    packageSerialErrors.Append(Text(line, p), place);
  }
  previousPackageSerial = static_cast<std::int32_t>(serial);
  if (serial == 1023) ++packageSerialOverflowCount;
}

void TttrStatistics::CheckPackageTail(std::uint64_t index, const TextLogPlace& place) {
  ++packageTailCount;
  // Counted modulo 2^32, as a 32-bit counter of the words would.
  packageWordCount = static_cast<std::uint32_t>(index - packageHeadIndex - 1) - packageSkippedWords;
  if (packageWordCount != declaredPackageLength) {
    Line line;
    char* p = WriteLiteral(line, "Error ");
    p = WriteU64(p, packageLengthErrors.Count());
    p = WriteLiteral(p, ": \nPackage Length Error, At Package with Serial:");
    p = WriteI32(p, previousPackageSerial);
    p = WriteLiteral(p, ",\tData Length: ");
    p = WriteU32(p, declaredPackageLength);
    p = WriteLiteral(p, ",\tActual Number: ");
    p = WriteU32(p, packageWordCount);
    *p++ = '\n';
    packageLengthErrors.Append(Text(line, p), place);
  }
}

// The report prints the serials twenty to a line, after a first line of one.
void TttrStatistics::TakeStorageSerial(std::uint32_t serial, const TextLogPlace& place) {
  char line[16];
  char* p = WriteU32(line, serial);
  p = storageOverflowSerials.Count() % 20 == 0 ? WriteLiteral(p, "\t\n") : WriteLiteral(p, "\t");
  storageOverflowSerials.Append(Text(line, p), place);
  ++storageOverflowCount;
}

void TttrStatistics::ResetTttrStatistics() { *this = TttrStatistics(); }

void TttrStatistics::FoldCounts() {
  for (std::uint32_t i = 0; i < kSecondSet; ++i) {
    // One set may hold less than nothing: the skim takes its sync overflows back from the first.
    const std::uint64_t events = pendingEvents_[i] + pendingEvents_[kSecondSet + i];
    pendingEvents_[i] = 0;
    pendingEvents_[kSecondSet + i] = 0;
    if (events == 0) continue;
    const auto board = static_cast<std::int32_t>((i / kChannels) << 16);
    const auto channel = static_cast<std::int32_t>(i % kChannels);
    eventCounts[board][channel] += events;
  }
  for (std::uint32_t mask = 0; mask < pendingMarkers_.size(); ++mask) {
    if (pendingMarkers_[mask] == 0) continue;
    markerCounts[static_cast<std::int32_t>(mask)] += pendingMarkers_[mask];
    pendingMarkers_[mask] = 0;
  }
}

void TttrDecoderFields::ResetTttr() {
  frameState = TttrFrameState::Outside;
  previousFrameState = TttrFrameState::Outside;
  packageSerialWraps = 0;
  packagedWords = 0;
  for (char& c : infoText) c = 0;
  infoTextLength = 0;
  infoTextStep = 0;
  tttrStatistics.ResetTttrStatistics();
}

}  // namespace kestrun
