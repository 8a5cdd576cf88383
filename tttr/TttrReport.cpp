// The TTTR statistics report: counters, continuity of the sync overflow and package serial sequences,
// events per board and channel, and the package length errors.
#include <string>

#include "engine/DecoderState.h"

namespace kestrun {

namespace {

void AppendAll(std::string& out, const std::vector<std::string>& texts) {
  for (const std::string& t : texts) out += t;
}

// Label lines of the single-bit marker masks.
const char* MarkerLabel(std::int32_t mask) {
  switch (mask) {
    case 1:
      return "\t[M1, number]: \n";
    case 2:
      return "\t[M2, number]: \n";
    case 4:
      return "\t[M3, number]: \n";
    case 8:
      return "\t[M4, number]: \n";
    default:
      return "";
  }
}

}  // namespace

std::string DecoderState::BuildTttrReport() {
  TttrStatistics& s = tttrStatistics;
  s.FoldCounts();
  const bool packaged = s.plainLayout == 0;
  // The plain layout drops its head and tail words, so it reports one of each.
  if (!packaged) {
    if (s.dataTypeHeadCount == 0) s.dataTypeHeadCount = 1;
    if (s.dataTypeTailCount == 0) s.dataTypeTailCount = 1;
  }
  using std::to_string;
  std::string out = "------------------------------TTTR Statistics Report--------------------------- \n";
  out += "Data Type Head Number:" + to_string(s.dataTypeHeadCount) + "\n";
  out += "Data Type Tail Number:" + to_string(s.dataTypeTailCount) + "\n\n";
  out += "Sync Pulse Seq Over Flow Number:" + to_string(s.syncOverflowCount) + "\n";
  if (s.syncErrors.empty()) {
    out += "Sync Pulse Seq Over Flow Continuity: Yes\n\n";
  } else {
    out += "Sync Pulse Seq Over Flow Continuity: No\n";
    AppendAll(out, s.syncErrors);
  }
  if (packaged) out += "Package Over Flow Number:" + to_string(s.packageSerialOverflowCount) + "\n\n";
  out += "Storage Over Flow Number:" + to_string(s.storageOverflowCount);
  if (!s.storageOverflowSerials.empty()) {
    out += ". Values:\n";
    for (std::size_t i = 0; i < s.storageOverflowSerials.size(); ++i) {
      out += to_string(s.storageOverflowSerials[i]);
      out += i % 20 == 0 ? "\t\n" : "\t";
    }
  }
  out += "\n\n";
  out += "Marker Numbers:" + to_string(s.markerCounts.size()) + "\n";
  for (const auto& [mask, count] : s.markerCounts) {
    out += MarkerLabel(mask);
    out += "\t\t[" + to_string(mask) + "," + to_string(count) + "]\n";
  }
  out += "\n";
  if (packaged) {
    out += "Package Head Number: " + to_string(s.packageHeadCount) + "\n";
    out += "Package Tail Number: " + to_string(s.packageTailCount) + "\n\n";
    if (s.packageSerialErrors.empty()) {
      out += "Package Serial Continuity: Yes\n\n";
    } else {
      out += "Package Serial Continuity: No\n";
      AppendAll(out, s.packageSerialErrors);
    }
  }
  out += "Board\t\t Channel\t\t Event Number\n";
  for (const auto& [board, channels] : s.eventCounts) {
    for (const auto& [channel, count] : channels) {
      out += to_string(board) + "\t" + to_string(channel) + "\t" + to_string(count) + "\n";
    }
  }
  out += "\n";
  if (s.packageLengthErrors.empty()) {
    out += "Errors: None \n";
  } else {
    out += "-------------------------------------Errors------------------------\n ";
    for (std::size_t i = 0; i < s.packageLengthErrors.size(); ++i) {
      out += "Error " + to_string(i) + ": \n" + s.packageLengthErrors[i];
    }
  }
  return out;
}

}  // namespace kestrun
