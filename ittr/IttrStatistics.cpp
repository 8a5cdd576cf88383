#include "ittr/IttrState.h"

namespace kestrun {

void IttrStatistics::CheckStatisticsLead(std::uint32_t board, std::uint32_t channel, std::uint32_t serial) {
  leadBoard = board;
  leadChannel = channel;
  leadSlot_ = ((board & 0xFFF0FFFFu) == 0 && channel < 64) ? static_cast<std::int32_t>((board >> 16) * 64 + channel)
                                                          : -1;
  if (zeroUpdate == 1 && serial != ((previousLeadSerial + 1) & 0xFFFF)) {
    errors.push_back("Statistics Lead Error: Previous Serial: " + std::to_string(previousLeadSerial) + ",\t" +
                     "Current Serial: " + std::to_string(serial) + "\n");
  }
  if (previousLeadSerial > serial) ++leadSerialWraps;
  previousLeadSerial = serial;
}

void IttrStatistics::CheckOverflowValue(std::uint32_t value) {
  ++overflowValues;
  if (value != ((previousOverflowValue + 1) & 0xFFFF)) {
    errors.push_back("Statistics Overflow Value Error: Previous Overflow Value: " +
                     std::to_string(previousOverflowValue) + ",\t" + "Current Overflow Value: " +
                     std::to_string(value) + "\n");
  }
  previousOverflowValue = value;
  if (value == 0xFFFF) ++overflowValueWraps;
}

void IttrStatistics::CheckPackageSerial(std::uint32_t serial) {
  ++packageHeads;
  const auto expected = static_cast<std::uint32_t>(previousPackageSerial + 1) & 0xFFFF;
  if (serial != expected) {
    errors.push_back("Package Serial Value Error: Previous Package Serial Value: " +
                     std::to_string(previousPackageSerial) + ",\t" + "Current Package Serial Value: " +
                     std::to_string(serial) + "\n");
  }
  previousPackageSerial = static_cast<std::int32_t>(serial);
  if (serial == 0xFFFF) ++packageSerialWraps;
}

void IttrStatistics::FoldEventCounts() {
  for (std::size_t slot = 0; slot < kSlots; ++slot) {
    if (slotEvents_[slot] == slotFolded_[slot]) continue;
    slotFolded_[slot] = slotEvents_[slot];
    eventCounts[static_cast<int>((slot / 64) << 16)][static_cast<int>(slot % 64)] = slotEvents_[slot];
  }
}

}  // namespace kestrun
