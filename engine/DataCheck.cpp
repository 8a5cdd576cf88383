#include "engine/DataCheck.h"

#include "engine/Codes.h"
#include "engine/Words.h"

namespace kestrun {

namespace {

// Too few words say nothing either way.
constexpr std::uint64_t kMinWords = 256;

enum class Kind { None, T2, T3, PackagedT2, PackagedT3, Ittr, T1 };

Kind KindOf(const DataSignature& s) {
  const std::uint64_t tttr = s.t2Heads > s.t3Heads ? s.t2Heads : s.t3Heads;
  if (tttr == 0 && s.ittrModes == 0 && s.t1Heads == 0) return Kind::None;
  if (s.ittrModes >= tttr && s.ittrModes >= s.t1Heads) return Kind::Ittr;
  if (s.t1Heads >= tttr) return Kind::T1;
  // Package heads and tails are ignored words in the plain layout, so they mark the packaged one.
  const bool packaged = s.packageWords >= 2;
  if (s.t2Heads > s.t3Heads) return packaged ? Kind::PackagedT2 : Kind::T2;
  return packaged ? Kind::PackagedT3 : Kind::T3;
}

Kind ChosenKind(std::int32_t dataType, bool packaged) {
  switch (dataType) {
    case kDataTypeT1:
      return Kind::T1;
    case kDataTypeT2:
      return packaged ? Kind::PackagedT2 : Kind::T2;
    case kDataTypeT3:
      return packaged ? Kind::PackagedT3 : Kind::T3;
    case kDataTypeIttrT:
    case kDataTypeIttrM:
      return Kind::Ittr;
    default:
      return Kind::None;
  }
}

const char* Description(Kind kind) {
  switch (kind) {
    case Kind::T2:
      return "T2 data of a KR77A5 or RB9531 (plain layout)";
    case Kind::T3:
      return "T3 data of a KR77A5 or RB9531 (plain layout)";
    case Kind::PackagedT2:
      return "T2 data of a QZ48 (packaged layout)";
    case Kind::PackagedT3:
      return "T3 data of a QZ48 (packaged layout)";
    case Kind::Ittr:
      return "ITTR data";
    case Kind::T1:
      return "T1 data";
    default:
      return "";
  }
}

std::string Share(std::uint64_t part, std::uint64_t whole) {
  return std::to_string(part) + " of " + std::to_string(whole);
}

// What in the run's own statistics says that the chosen kind does not fit; empty when nothing does.
std::string Misfit(const DecoderState& state, std::int32_t dataType, bool packaged, std::uint64_t words) {
  if (dataType == kDataTypeT2 || dataType == kDataTypeT3) {
    const TttrStatistics& s = state.tttrStatistics;
    if (packaged && s.packageHeadCount == 0) {
      return "no package in " + std::to_string(words) + " words; they may be of the plain layout (KR77A5 or RB9531)";
    }
    if (s.syncOverflowCount >= 16 && s.syncErrors.Count() * 2 > s.syncOverflowCount) {
      return "the sync overflow sequence breaks at " + Share(s.syncErrors.Count(), s.syncOverflowCount) +
             " sync overflow words";
    }
    if (packaged && s.packageHeadCount >= 16 && s.packageSerialErrors.Count() * 2 > s.packageHeadCount) {
      return "the package serial breaks at " + Share(s.packageSerialErrors.Count(), s.packageHeadCount) +
             " package heads";
    }
  } else if (dataType == kDataTypeIttrT || dataType == kDataTypeIttrM) {
    const IttrStatistics& s = state.ittrStatistics;
    if (state.modeWord == 0) return "no ITTR mode word in " + std::to_string(words) + " words";
    if (s.errors.Count() * 8 > words) {
      return std::to_string(s.errors.Count()) + " errors in " + std::to_string(words) + " words";
    }
  } else if (dataType == kDataTypeT1) {
    if (state.t1Statistics.headNumber == 0) return "no T1 head word in " + std::to_string(words) + " words";
  }
  return "";
}

}  // namespace

DataSignature ReadSignature(const std::uint8_t* data, std::size_t length) {
  DataSignature s;
  s.words = length / 4;
  for (std::size_t i = 0; i + 4 <= length; i += 4) {
    const std::uint32_t w = WordAt(data + i);
    s.packageWords += (w >> 25) == 96 || (w >> 25) == 100;
    if ((w >> 20) != 0xEB9) continue;  // every marker word starts so
    const std::uint32_t unboarded = w & 0xFFF0FFFF;
    s.t2Heads += unboarded == 0xEB90B712;
    s.t3Heads += unboarded == 0xEB90B713;
    s.ittrModes += unboarded == 0xEB90B110 || unboarded == 0xEB90B111;
    s.t1Heads += (w & 0xFFF0FF0F) == 0xEB90BA00;
  }
  return s;
}

std::string CheckDataFits(const DecoderState& state, std::int32_t dataType, std::int32_t deviceType,
                          std::uint64_t bytesRead, const DataSignature& start) {
  const std::uint64_t words = bytesRead / 4;
  if (words < kMinWords || DataTypeText(dataType).empty()) return "";
  const bool packaged = deviceType == kDeviceQZ48;
  const Kind chosen = ChosenKind(dataType, packaged);
  const Kind seen = KindOf(start);
  std::string doubt;
  if (seen != chosen && seen != Kind::None) {
    doubt = std::string("their marker words are those of ") + Description(seen);
  } else {
    doubt = Misfit(state, dataType, packaged, words);
  }
  if (doubt.empty()) return "";
  const std::string what = chosen == Kind::Ittr ? std::string(DataTypeText(dataType)) + " data" : Description(chosen);
  return "The data do not look like " + what + ": " + doubt;
}

}  // namespace kestrun
