#pragma once
// Carry-over fields and statistics of the T2 and T3 decoders: the record one word decodes into, the
// framing state of the packaged layout, and the counters and integrity checks that the report prints.

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "engine/TextLog.h"

namespace kestrun {

class T3FieldText;

enum class TttrRecordKind : std::uint8_t {
  DataTypeHead,
  DataTypeTail,
  StorageOverflowStart,
  StorageOverflow,
  PackageHead,
  PackageTail,
  PackageSerialOverflow,
  SyncOverflow,
  Event,
  Marker,
  InfoStart,
  InfoPart,
  InfoComplete,
  Ignored,
};

// One decoded word; only the fields of its kind are meaningful. A block decoder reuses one record.
struct TttrRecord {
  TttrRecordKind kind = TttrRecordKind::Ignored;
  std::uint32_t channel = 0;         // Event; 63 for a plain-layout sync overflow
  std::uint32_t bins = 0;            // Event; T3 plain sync overflow: bits 24..10
  std::uint32_t sequence = 0;        // T3 Event: sync pulse sequence number
  std::uint32_t mask = 0;            // Marker
  std::uint32_t value = 0;           // SyncOverflow, PackageSerialOverflow
  std::uint32_t serial = 0;          // StorageOverflow (whole word), PackageHead
  std::uint32_t length = 0;          // PackageHead
  std::uint64_t sequenceNumber = 0;  // PackageHead: serial wraps * 1024 + serial
};

// Framing of the packaged layout.
enum class TttrFrameState : std::uint8_t { Outside = 0, StorageSerial = 1, BetweenPackages = 2, InPackage = 3 };

// Counters and integrity checks of one run, accumulated over all its blocks and files. The logs hold
// their entries as the report prints them; `place` arguments say whether the text is kept and where
// a log that outgrows memory puts it.
struct TttrStatistics {
  std::map<std::int32_t, std::map<std::int32_t, std::uint64_t>> eventCounts;  // board -> channel -> events
  std::uint64_t syncOverflowCount = 0;
  std::uint32_t previousSyncOverflow = 0;
  TextLog syncErrors;
  TextLog storageOverflowSerials;  // each serial with its separator
  std::uint64_t storageOverflowCount = 0;
  std::map<std::int32_t, std::uint64_t> markerCounts;  // mask -> marker words
  std::uint32_t packageHeadCount = 0;
  std::uint32_t packageTailCount = 0;
  std::uint32_t dataTypeHeadCount = 0;
  std::uint32_t dataTypeTailCount = 0;
  std::int32_t previousPackageSerial = -1;
  std::uint64_t packageSerialOverflowCount = 0;
  TextLog packageSerialErrors;
  std::uint32_t declaredPackageLength = 0;
  // A package's events, markers and sync overflows, found at its tail from the positions of head and tail
  // less the words between them that do not count: no counter that every word would wait on.
  std::uint32_t packageWordCount = 0;
  std::uint64_t packageHeadIndex = 0;     // position of the open package's head in the run's words
  std::uint32_t packageSkippedWords = 0;  // words since that head that do not count toward its length
  std::uint32_t plainLayout = 0;  // 1 while plain-layout words are decoded
  TextLog packageLengthErrors;  // each with its "Error i" line

  // One event word of (board, channel). Counted in flat counters; FoldCounts moves them into eventCounts.
  void CountEvent(std::int32_t board, std::int32_t channel) {
    if ((static_cast<std::uint32_t>(board) & ~kBoardBits) == 0 && static_cast<std::uint32_t>(channel) < kChannels) {
      ++pendingEvents_[(static_cast<std::uint32_t>(board) >> 16) * kChannels + static_cast<std::uint32_t>(channel)];
    } else {
      ++eventCounts[board][channel];
    }
  }
  // The flat event counters of `board`'s 64 channels (held as CountEvent takes it), or null for a board
  // out of their range; FoldCounts moves them into eventCounts. A second set of the same counters lies
  // kSecondSet on, so that two words in a row of one channel need not wait on each other's count.
  static constexpr std::size_t kSecondSet = 16 * 64;
  std::uint64_t* BoardEventCounters(std::int32_t board) {
    if ((static_cast<std::uint32_t>(board) & ~kBoardBits) != 0) return nullptr;
    return &pendingEvents_[(static_cast<std::uint32_t>(board) >> 16) * kChannels];
  }
  // One counted marker word of `mask` (0..15); FoldCounts moves the counts into markerCounts.
  void CountMarker(std::uint32_t mask) {
    ++pendingMarkers_[mask & 15];
  }
  // One sync overflow word: counts it and records a break of the 0..1023 sequence.
  void CheckSyncOverflow(std::uint32_t value, const TextLogPlace& place) {
    ++syncOverflowCount;
    if (((previousSyncOverflow + 1) & 1023) != value) [[unlikely]] {
      LogSyncError(value, place);
    }
    previousSyncOverflow = value;
  }
  // One package head at word position `index`: starts the length count and records a break of the serial
  // sequence.
  void CheckPackageHead(std::uint32_t length, std::uint32_t serial, std::uint64_t index, const TextLogPlace& place);
  // One package tail at word position `index`: records a package whose word count differs from its length field.
  void CheckPackageTail(std::uint64_t index, const TextLogPlace& place);
  // One storage overflow serial word.
  void TakeStorageSerial(std::uint32_t serial, const TextLogPlace& place);
  // Start of a run: everything back to its construction value.
  void ResetTttrStatistics();
  // Moves the flat event and marker counters into eventCounts and markerCounts; call before reading them.
  void FoldCounts();

 private:
  void LogSyncError(std::uint32_t value, const TextLogPlace& place);

  static constexpr std::uint32_t kBoardBits = 0x000F0000;  // boards are held as bits 19..16 in place
  static constexpr std::uint32_t kChannels = 64;
  std::array<std::uint64_t, 2 * kSecondSet> pendingEvents_{};
  std::array<std::uint64_t, 16> pendingMarkers_{};
};

struct TttrDecoderFields {
  TttrFrameState frameState = TttrFrameState::Outside;
  TttrFrameState previousFrameState = TttrFrameState::Outside;  // the state frameState left last
  std::uint32_t packageSerialWraps = 0;                          // package heads with serial 1023
  std::uint64_t packagedWords = 0;                               // packaged-layout words decoded so far
  // Information text of the plain layout, built from a start word and eight part words.
  char infoText[64] = {};
  std::uint32_t infoTextLength = 0;
  std::uint32_t infoTextStep = 0;
  // Whether a package serial overflow word is announced on stdout; off for the states that only carry
  // or format a run's text, so that each word is announced once. Not changed by ResetTttr.
  bool announceSerialOverflows = true;
  TttrStatistics tttrStatistics;
  // The T3 line text of the resolution last written with; kept across runs, like a cache.
  std::shared_ptr<const T3FieldText> t3FieldText;

  // Returns these fields and the statistics to their construction values.
  void ResetTttr();
};

}  // namespace kestrun
