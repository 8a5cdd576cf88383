#include "engine/DecoderState.h"

namespace kestrun {

void DecoderState::WriteIttrReport(TextStream& out) {
  const IttrStatistics& s = ittrStatistics;
  using Hex = TextStream::Hex;
  out << "----------------ITTR Statistics Report---------------: \n"
      << "Header Info:\n"
      << "Version: 0x" << Hex{s.version} << "\n"
      << "Statistics Number: 0x" << Hex{s.statisticsNumber} << "=>" << s.statisticsNumber << "\n"
      << "Period: 0x" << Hex{s.statisticsPeriod} << "=>" << s.statisticsPeriod << "\n"
      << "Zero Update: 0x" << Hex{s.zeroUpdate} << "\n\n"
      << "Enabled Channles:\n";
  // Channel numbers stay in hexadecimal, as the zero update left the stream.
  for (std::uint32_t i = 0; i < 32; ++i) {
    if ((s.channelEnableLow >> i) & 1) out << Hex{i} << "\t";
  }
  out << "\n";
  for (std::uint32_t i = 0; i < 32; ++i) {
    if ((s.channelEnableHigh >> i) & 1) out << Hex{32 + i} << "\t";
  }
  out << "\n"
      << "Statistics Event OverFlow Number:" << s.overflowValues << "\n"
      << "Package Head Number:" << s.packageHeads << ",\t"
      << "Package Tail Number:" << s.packageTails << "\n\n"
      << "Calculated Statistics Overflow Serial Overflow Number:" << s.overflowValueWraps << ",\t"
      << "Calculated Package Serial Overflow Number:" << s.packageSerialWraps << "\n\n"
      << "Statistics Events:\n"
      << "Board\t Channel\t EventNumber\n";
  for (const auto& [boardKey, channels] : s.eventCounts) {
    for (const auto& [channel, count] : channels) out << boardKey << "\t" << channel << "\t" << count << "\n";
  }
  out << "\n";

  // The lead serials' own wraps must match the overflow values received: one more error, after the
  // ones the words gave.
  const bool wrapsDiffer = s.leadSerialWraps != s.overflowValues;
  if (s.errors.Empty() && !wrapsDiffer) {
    out << "Errors: None \n";
    return;
  }
  out << "Errors: " << s.errors;
  if (wrapsDiffer) {
    out << "Error " << s.errors.Count() << ": \n"
        << "Statistics Overflow Calculated: " << s.leadSerialWraps << ",\t"
        << "Statistics Overflow Actual: " << s.overflowValues << "\n";
  }
}

}  // namespace kestrun
