// The header lines in front of a T2 or T3 parsed file.
#include "tttr/TttrHeader.h"

#include <cstring>

#include "engine/Digits.h"

namespace kestrun {

namespace {

constexpr std::size_t kFixedLineLength = 64;  // every line but the device line, number included

// Reserves a fixed line's room; false when the text area cannot take it.
bool Room(TextSink& text) { return text.Reserve(kFixedLineLength); }

// The lines both headers share; the mask window line, the mode and the column line differ.
std::int32_t WriteHeader(TextSink& text, std::int32_t resolutionPs, const char* deviceName, bool t3) {
  const std::uint64_t before = text.Produced();
  const char* const name = deviceName != nullptr ? deviceName : "";
  const std::size_t nameLength = std::strlen(name);
  if (!text.Reserve(nameLength + kFixedLineLength)) return -1;
  char* p = WriteLiteral(text.pos, "Device Type: ");
  std::memcpy(p, name, nameLength);
  text.pos = WriteLiteral(p + nameLength, "\n");
  if (!Room(text)) return -1;
  text.pos = WriteLiteral(text.pos, "Firmware Version:Dummy Version\n");
  if (!Room(text)) return -1;
  text.pos = WriteLiteral(text.pos, "Start Freqency Division:0\n");
  if (!Room(text)) return -1;
  text.pos = WriteLiteral(WriteI32(WriteLiteral(text.pos, "Window Resolution:"), resolutionPs), "ps\n");
  if (!Room(text)) return -1;
  text.pos = t3 ? WriteLiteral(text.pos, "Mask Window:0ns\n") : WriteLiteral(text.pos, "Mask Window:0d ns\n");
  if (!Room(text)) return -1;
  text.pos = WriteLiteral(text.pos, "Start Threshold:0mV\n");
  if (!Room(text)) return -1;
  text.pos = WriteLiteral(text.pos, "Stop Threshold:0mV\n");
  if (!Room(text)) return -1;
  text.pos = WriteLiteral(text.pos, "Stop Delay: 0\n");
  if (!Room(text)) return -1;
  text.pos = t3 ? WriteLiteral(text.pos, "Mode:T3\n") : WriteLiteral(text.pos, "Mode:T2\n");
  if (!Room(text)) return -1;
  text.pos = WriteLiteral(text.pos, "End By:\n");
  if (!Room(text)) return -1;
  text.pos = t3 ? WriteLiteral(text.pos, "Flag\t Channel\t Time(bin)\t  Seq\t Time(ps)\n")
                : WriteLiteral(text.pos, "Flag\tChannel\tTime(bin)\tTime(ps)\n");
  return static_cast<std::int32_t>(text.Produced() - before);
}

}  // namespace

std::int32_t WriteT2Header(TextSink& text, std::int32_t resolutionPs, const char* deviceName) {
  return WriteHeader(text, resolutionPs, deviceName, false);
}

std::int32_t WriteT3Header(TextSink& text, std::int32_t resolutionPs, const char* deviceName) {
  return WriteHeader(text, resolutionPs, deviceName, true);
}

}  // namespace kestrun
