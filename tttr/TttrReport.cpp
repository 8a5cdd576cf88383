// The TTTR statistics report: counters, continuity of the sync overflow and package serial sequences,
// events per board and channel, and the package length errors.
#include "engine/DecoderState.h"

namespace kestrun {

namespace {

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

void DecoderState::WriteTttrReport(TextStream& out) {
  TttrStatistics& s = tttrStatistics;
  s.FoldCounts();
  const bool packaged = s.plainLayout == 0;
  // The plain layout drops its head and tail words, so it reports one of each.
  if (!packaged) {
    if (s.dataTypeHeadCount == 0) s.dataTypeHeadCount = 1;
    if (s.dataTypeTailCount == 0) s.dataTypeTailCount = 1;
  }
  out << "------------------------------TTTR Statistics Report--------------------------- \n";
  out << "Data Type Head Number:" << s.dataTypeHeadCount << "\n";
  out << "Data Type Tail Number:" << s.dataTypeTailCount << "\n\n";
  out << "Sync Pulse Seq Over Flow Number:" << s.syncOverflowCount << "\n";
  if (s.syncErrors.Empty()) {
    out << "Sync Pulse Seq Over Flow Continuity: Yes\n\n";
  } else {
    out << "Sync Pulse Seq Over Flow Continuity: No\n" << s.syncErrors;
  }
  if (packaged) out << "Package Over Flow Number:" << s.packageSerialOverflowCount << "\n\n";
  out << "Storage Over Flow Number:" << s.storageOverflowCount;
  if (!s.storageOverflowSerials.Empty()) out << ". Values:\n" << s.storageOverflowSerials;
  out << "\n\n";
  out << "Marker Numbers:" << s.markerCounts.size() << "\n";
  for (const auto& [mask, count] : s.markerCounts) {
    out << MarkerLabel(mask) << "\t\t[" << mask << "," << count << "]\n";
  }
  out << "\n";
  if (packaged) {
    out << "Package Head Number: " << s.packageHeadCount << "\n";
    out << "Package Tail Number: " << s.packageTailCount << "\n\n";
    if (s.packageSerialErrors.Empty()) {
      out << "Package Serial Continuity: Yes\n\n";
    } else {
      out << "Package Serial Continuity: No\n" << s.packageSerialErrors;
    }
  }
  out << "Board\t\t Channel\t\t Event Number\n";
  for (const auto& [board, channels] : s.eventCounts) {
    for (const auto& [channel, count] : channels) out << board << "\t" << channel << "\t" << count << "\n";
  }
  out << "\n";
  if (s.packageLengthErrors.Empty()) {
    out << "Errors: None \n";
  } else {
    out << "-------------------------------------Errors------------------------\n " << s.packageLengthErrors;
  }
}

}  // namespace kestrun
