#include <algorithm>
#include <string_view>
#include <utility>

#include "engine/Digits.h"
#include "ittr/IttrState.h"

namespace kestrun {

namespace {

// An error under its "Error i" line: `first` and `second` follow their labels.
void LogError(TextLog& log, std::string_view label1, std::int64_t first, std::string_view label2, std::uint32_t second,
              const TextLogPlace& place) {
  char line[256];
  char* p = WriteLiteral(line, "Error ");
  p = WriteU64(p, log.Count());
  p = WriteLiteral(p, ": \n");
  p = std::copy(label1.begin(), label1.end(), p);
  p = WriteI64(p, first);
  p = WriteLiteral(p, ",\t");
  p = std::copy(label2.begin(), label2.end(), p);
  p = WriteU32(p, second);
  *p++ = '\n';
  log.Append(std::string_view(line, static_cast<std::size_t>(p - line)), place);
}

}  // namespace

void IttrStatistics::LogLeadError(std::uint32_t serial, const TextLogPlace& place) {
  LogError(errors, "Statistics Lead Error: Previous Serial: ", previousLeadSerial, "Current Serial: ", serial, place);
}

void IttrStatistics::CheckOverflowValue(std::uint32_t value, const TextLogPlace& place) {
  ++overflowValues;
  if (value != ((previousOverflowValue + 1) & 0xFFFF)) {
    LogError(errors, "Statistics Overflow Value Error: Previous Overflow Value: ", previousOverflowValue,
             "Current Overflow Value: ", value, place);
  }
  previousOverflowValue = value;
  if (value == 0xFFFF) ++overflowValueWraps;
}

void IttrStatistics::CheckPackageSerial(std::uint32_t serial, const TextLogPlace& place) {
  ++packageHeads;
  const auto expected = static_cast<std::uint32_t>(previousPackageSerial + 1) & 0xFFFF;
  if (serial != expected) {
    LogError(errors, "Package Serial Value Error: Previous Package Serial Value: ", previousPackageSerial,
             "Current Package Serial Value: ", serial, place);
  }
  previousPackageSerial = static_cast<std::int32_t>(serial);
  if (serial == 0xFFFF) ++packageSerialWraps;
}

void IttrStatistics::FoldEventCounts() {
  // A look at every slot costs less once a block than marking the slots counted at every lead word.
  for (std::size_t slot = 0; slot < kSlots; ++slot) {
    if (slotEvents_[slot] == slotFolded_[slot]) continue;
    slotFolded_[slot] = slotEvents_[slot];
    eventCounts[static_cast<int>((slot / 64) << 16)][static_cast<int>(slot % 64)] = slotEvents_[slot];
  }
}

}  // namespace kestrun
