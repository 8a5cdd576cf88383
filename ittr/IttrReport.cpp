#include <sstream>

#include "engine/DecoderState.h"

namespace kestrun {

std::string DecoderState::BuildIttrReport() {
  IttrStatistics& s = ittrStatistics;
  std::ostringstream out;
  out << "----------------ITTR Statistics Report---------------: \n"
      << "Header Info:\n"
      << "Version: 0x" << std::hex << s.version << "\n"
      << "Statistics Number: 0x" << s.statisticsNumber << "=>" << std::dec << s.statisticsNumber << "\n"
      << "Period: 0x" << std::hex << s.statisticsPeriod << "=>" << std::dec << s.statisticsPeriod << "\n"
      << "Zero Update: 0x" << std::hex << s.zeroUpdate << "\n\n"
      << "Enabled Channles:\n";
  // Channel numbers stay in hexadecimal, as the zero update left the stream.
  for (std::uint32_t i = 0; i < 32; ++i) {
    if ((s.channelEnableLow >> i) & 1) out << i << "\t";
  }
  out << "\n";
  for (std::uint32_t i = 0; i < 32; ++i) {
    if ((s.channelEnableHigh >> i) & 1) out << 32 + i << "\t";
  }
  out << "\n"
      << "Statistics Event OverFlow Number:" << std::dec << s.overflowValues << "\n"
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

  // The lead serials' own wraps must match the overflow values received.
  if (s.leadSerialWraps != s.overflowValues) {
    s.errors.push_back("Statistics Overflow Calculated: " + std::to_string(s.leadSerialWraps) + ",\t" +
                       "Statistics Overflow Actual: " + std::to_string(s.overflowValues) + "\n");
  }
  if (s.errors.empty()) {
    out << "Errors: None \n";
  } else {
    out << "Errors: ";
    for (std::size_t i = 0; i < s.errors.size(); ++i) out << "Error " << i << ": \n" << s.errors[i];
  }
  return out.str();
}

}  // namespace kestrun
