#pragma once
// ITTR decoder state: where the next word belongs, the open statistics lead, and the run's statistics
// with the three continuity checks.

#include <array>
#include <cstdint>
#include <map>
#include <string>

#include "engine/TextLog.h"

namespace kestrun {

// Where the next ITTR word belongs: one of the seven header words after a mode word, the data, or the
// value that follows an overflow marker.
enum class IttrPosition : std::uint8_t {
  Header1 = 1,
  Header2,
  Header3,
  Header4,
  Header5,
  Header6,
  Header7,
  Data,
  OverflowValue,
};

struct IttrStatistics {
  std::uint32_t version = 0;
  std::uint32_t statisticsNumber = 0;
  std::uint32_t statisticsPeriod = 0;
  std::uint32_t channelEnableLow = 0;
  std::uint32_t channelEnableHigh = 0;
  std::uint32_t zeroUpdate = 0;
  std::map<int, std::map<int, std::uint64_t>> eventCounts;  // board key -> channel -> intensity words
  std::uint32_t previousLeadSerial = 0;
  std::uint32_t leadSlot = 0;  // the count slot (below) of the current lead
  std::uint64_t leadSerialWraps = 0;
  std::uint32_t previousOverflowValue = 0;
  std::uint64_t overflowValueWraps = 0;
  std::uint64_t overflowValues = 0;
  std::uint32_t packageHeads = 0;
  std::uint32_t packageTails = 0;
  std::int32_t previousPackageSerial = -1;
  std::uint64_t packageSerialWraps = 0;
  TextLog errors;  // each with its "Error i" line

  // The checks record their breaks in `errors`, which keeps its text as `place` says.
  // The count slot of board key `board` (n x 65,536, n = 0..15, as mode words give it) and channel
  // `channel` (0..63).
  static std::uint32_t Slot(std::uint32_t board, std::uint32_t channel) {
    return ((board >> 16) & 15) * 64 + (channel & 63);
  }
  // Serial of a statistics lead word: with zeroUpdate 1 it must follow the previous one.
  void CheckLeadSerial(std::uint32_t serial, const TextLogPlace& place) {
    if (zeroUpdate == 1 && serial != ((previousLeadSerial + 1) & 0xFFFF)) [[unlikely]] {
      LogLeadError(serial, place);
    }
    leadSerialWraps += previousLeadSerial > serial ? 1 : 0;
    previousLeadSerial = serial;
  }
  // Overflow value (after an overflow marker, or of a statistics serial overflow word): must follow the
  // previous one modulo 65,536.
  void CheckOverflowValue(std::uint32_t value, const TextLogPlace& place);
  // Package head serial: must follow the previous one modulo 65,536, starting from 0.
  void CheckPackageSerial(std::uint32_t serial, const TextLogPlace& place);
  // `n` intensity words for count slot `slot`.
  void CountEvents(std::uint32_t slot, std::uint64_t n) { slotEvents_[slot & (kSlots - 1)] += n; }
  // Brings eventCounts up to date with the counts kept per word (called after every block).
  void FoldEventCounts();

 private:
  // Intensity counts of board keys n * 65,536 (n = 0..15) and channels 0..63 are kept flat, slot
  // n * 64 + channel, so that no map is searched per word.
  static constexpr std::size_t kSlots = 16 * 64;
  std::array<std::uint64_t, kSlots> slotEvents_{};
  std::array<std::uint64_t, kSlots> slotFolded_{};  // the counts eventCounts holds
  void LogLeadError(std::uint32_t serial, const TextLogPlace& place);
};

struct IttrDecoderFields {
  IttrPosition ittrPosition = IttrPosition::Header1;
  std::uint32_t modeWord = 0;
  std::uint32_t remainingIntensityWords = 0;  // intensity words still expected after the latest lead word
  bool leadCountsVary = false;  // the last block's leads announced varying counts: for speed only
  IttrStatistics ittrStatistics;

  // Returns these fields and the statistics to their construction values.
  void ResetIttr() {
    ittrPosition = IttrPosition::Header1;
    modeWord = 0;
    remainingIntensityWords = 0;
    ittrStatistics = {};
  }
};

}  // namespace kestrun
