#pragma once
// A check that the data look like the data type and device chosen for them: a wrong guess decodes
// without failing, into text and a report that mean nothing.

#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/DecoderState.h"

namespace kestrun {

// The marker words found in a stretch of data: data-type heads of T2 and T3, package heads and tails
// (packaged layout only), ITTR mode words, T1 head words. Each appears only in data of its own kind.
struct DataSignature {
  std::uint64_t words = 0;
  std::uint64_t t2Heads = 0;
  std::uint64_t t3Heads = 0;
  std::uint64_t packageWords = 0;
  std::uint64_t ittrModes = 0;
  std::uint64_t t1Heads = 0;
};

// Counts the marker words of `length` bytes of data words.
DataSignature ReadSignature(const std::uint8_t* data, std::size_t length);

// One sentence saying what does not fit and what the data look like instead; empty when nothing is
// amiss. `start` is the signature of the run's first block, `state` the statistics after the whole run.
std::string CheckDataFits(const DecoderState& state, std::int32_t dataType, std::int32_t deviceType,
                          std::uint64_t bytesRead, const DataSignature& start);

}  // namespace kestrun
