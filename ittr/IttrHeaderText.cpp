#include "ittr/IttrHeaderText.h"

#include "engine/Digits.h"

namespace kestrun {

namespace {
// Longest header line: the statistics number line with its automatic-stop note (66 characters).
constexpr std::size_t kLineMax = 96;
// Eight channel flags of up to 14 characters and the line end.
constexpr std::size_t kChannelLineMax = 8 * 14 + 1;
}  // namespace

bool WriteIttrHeaderText(TextSink& text, std::uint32_t modeWord, const IttrStatistics& stats) {
  if (!text.Reserve(kLineMax)) return false;
  char* p = WriteLiteral(text.pos, "Mode: 0x");
  p = WriteHex32(p, modeWord);
  text.pos = (modeWord & 1) == 0 ? WriteLiteral(p, ", ITTR_T\n") : WriteLiteral(p, ", ITTR_M\n");

  if (!text.Reserve(kLineMax)) return false;
  p = WriteLiteral(text.pos, "Version: 0x");
  p = WriteHex32(p, stats.version);
  p = WriteLiteral(p, "=>");
  p = WriteI32(p, static_cast<std::int32_t>(stats.version >> 4));
  *p++ = '.';
  p = WriteI32(p, static_cast<std::int32_t>(stats.version & 0xF));
  *p++ = '\n';
  text.pos = p;

  if (!text.Reserve(kLineMax)) return false;
  p = stats.statisticsNumber == 0 ? WriteLiteral(text.pos, "Statistics Number(Stop By Software): 0x")
                                  : WriteLiteral(text.pos, "Statistics Number(Stop by N automatically): 0x");
  p = WriteHex32(p, stats.statisticsNumber);
  p = WriteLiteral(p, "=>");
  p = WriteU32(p, stats.statisticsNumber);
  *p++ = '\n';
  text.pos = p;

  if (!text.Reserve(kLineMax)) return false;
  if (stats.statisticsPeriod == 0) {
    p = WriteLiteral(text.pos, "Statistics Period: M(Depends on Marker)\n");
  } else {
    p = WriteLiteral(text.pos, "Statistics Period: 0x");
    p = WriteHex32(p, stats.statisticsPeriod);
    p = WriteLiteral(p, "=>");
    p = WriteI32(p, static_cast<std::int32_t>(stats.statisticsPeriod));
    p = WriteLiteral(p, " us\n");
  }
  text.pos = p;

  if (!text.Reserve(kLineMax)) return false;
  p = WriteLiteral(text.pos, "Zero Update: 0x");
  p = WriteHex32(p, stats.zeroUpdate);
  text.pos = WriteLiteral(p, "\n\nChannels Enabled:\n");

  const std::uint64_t enabled = (std::uint64_t{stats.channelEnableHigh} << 32) | stats.channelEnableLow;
  for (std::int32_t first = 0; first < 64; first += 8) {
    if (!text.Reserve(kChannelLineMax)) return false;
    p = text.pos;
    for (std::int32_t i = first; i < first + 8; ++i) {
      p = WriteLiteral(p, "ch ");
      p = WriteI32(p, i);
      p = ((enabled >> i) & 1) != 0 ? WriteLiteral(p, ":True, \t") : WriteLiteral(p, ":False, \t");
    }
    *p++ = '\n';
    text.pos = p;
  }

  if (!text.Reserve(kLineMax)) return false;
  text.pos = WriteLiteral(text.pos, "\n\nWordNumber\tChannel\tSerialSynced\tSerial\tIntensity\n");
  return true;
}

}  // namespace kestrun
