#include <string>

#include "tttr/TttrState.h"

namespace kestrun {

void TttrStatistics::CheckSyncOverflow(std::uint32_t value) {
  ++syncOverflowCount;
  ++packageWordCount;
  if (((previousSyncOverflow + 1) & 1023) != value) {
    syncErrors.push_back("Sync Pulse Seq Overflow Error: Previous Value: " + std::to_string(previousSyncOverflow) +
                         ",\tCurrent Value: " + std::to_string(value) + "\n");
  }
  previousSyncOverflow = value;
}

void TttrStatistics::CheckPackageHead(std::uint32_t length, std::uint32_t serial) {
  ++packageHeadCount;
  declaredPackageLength = length;
  packageWordCount = 0;
  // Computed wide so that no held value can overflow; -1 expects 0, and so does 1023.
  const std::int64_t expected = (static_cast<std::int64_t>(previousPackageSerial) + 1) % 1024;
  if (static_cast<std::int64_t>(serial) != expected) {
    packageSerialErrors.push_back("Package Serial Error: Previous Value: " + std::to_string(previousPackageSerial) +
                                  ",\tCurrent Value: " + std::to_string(serial) + "\n");
  }
  previousPackageSerial = static_cast<std::int32_t>(serial);
  if (serial == 1023) ++packageSerialOverflowCount;
}

void TttrStatistics::CheckPackageTail() {
  ++packageTailCount;
  if (packageWordCount != declaredPackageLength) {
    packageLengthErrors.push_back("Package Length Error, At Package with Serial:" +
                                  std::to_string(previousPackageSerial) + ",\tData Length: " +
                                  std::to_string(declaredPackageLength) + ",\tActual Number: " +
                                  std::to_string(packageWordCount) + "\n");
  }
}

void TttrStatistics::ResetTttrStatistics() { *this = TttrStatistics(); }

void TttrStatistics::FoldCounts() {
  for (std::uint32_t i = 0; i < pendingEvents_.size(); ++i) {
    if (pendingEvents_[i] == 0) continue;
    const auto board = static_cast<std::int32_t>((i / kChannels) << 16);
    const auto channel = static_cast<std::int32_t>(i % kChannels);
    eventCounts[board][channel] += pendingEvents_[i];
    pendingEvents_[i] = 0;
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
  for (char& c : infoText) c = 0;
  infoTextLength = 0;
  infoTextStep = 0;
  tttrStatistics.ResetTttrStatistics();
}

}  // namespace kestrun
