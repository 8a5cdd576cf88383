#include "engine/DecoderState.h"
#include "engine/Digits.h"

namespace kestrun {

void DecoderState::WriteT1Report(TextStream& out) {
  const T1Statistics& s = t1Statistics;
  out << "T1 Statistics Report: \nHead Number:" << s.headNumber << "\tTail Number:" << s.tailNumber
      << "\nBoard,\t Channel,\t Total Event Number,\t Max Value(MaxY@X)\n";

  // Longest row: two 11-character numbers, a 20-character count, a 20-character value, an
  // 11-character bin, four separators and the line end.
  char row[96];
  for (const auto& [board, channels] : s.eventCounts) {
    const auto boardMax = s.maxValues.find(board);
    for (const auto& [channel, events] : channels) {
      T1MaxValue max;
      if (boardMax != s.maxValues.end()) {
        const auto found = boardMax->second.find(channel);
        if (found != boardMax->second.end()) max = found->second;
      }
      char* p = WriteI32(row, board);
      *p++ = '\t';
      p = WriteI32(p, channel);
      *p++ = '\t';
      p = WriteU64(p, events);
      *p++ = '\t';
      p = WriteU64(p, max.value);
      *p++ = '@';
      p = WriteI32(p, max.bin);
      *p++ = '\n';
      out << std::string_view(row, static_cast<std::size_t>(p - row));
    }
  }
}

}  // namespace kestrun
