// The header lines in front of a T2 or T3 parsed file.
#include "tttr/TttrHeader.h"

#include <cstring>

#include "engine/Digits.h"

namespace kestrun {

namespace {

// Writes one line of fixed text; false when the text area cannot take it.
template <std::size_t N>
bool Line(TextSink& text, const char (&line)[N]) {
  if (!text.Reserve(N - 1)) return false;
  text.pos = WriteLiteral(text.pos, line);
  return true;
}

// The lines both headers share; the mask window line, the mode and the column line differ.
std::int32_t WriteHeader(TextSink& text, std::int32_t resolutionPs, const char* deviceName, bool t3) {
  const std::uint64_t before = text.Produced();
  const char* const name = deviceName != nullptr ? deviceName : "";
  const std::size_t nameLength = std::strlen(name);
  if (!text.Reserve(sizeof("Device Type: \n") - 1 + nameLength)) return -1;
  char* p = WriteLiteral(text.pos, "Device Type: ");
  std::memcpy(p, name, nameLength);
  text.pos = WriteLiteral(p + nameLength, "\n");
  if (!Line(text, "Firmware Version:Dummy Version\n") || !Line(text, "Start Freqency Division:0\n")) return -1;
  if (!text.Reserve(sizeof("Window Resolution:-2147483648ps\n") - 1)) return -1;
  text.pos = WriteLiteral(WriteI32(WriteLiteral(text.pos, "Window Resolution:"), resolutionPs), "ps\n");
  if (!(t3 ? Line(text, "Mask Window:0ns\n") : Line(text, "Mask Window:0d ns\n")) ||
      !Line(text, "Start Threshold:0mV\n") || !Line(text, "Stop Threshold:0mV\n") || !Line(text, "Stop Delay: 0\n") ||
      !(t3 ? Line(text, "Mode:T3\n") : Line(text, "Mode:T2\n")) || !Line(text, "End By:\n") ||
      !(t3 ? Line(text, "Flag\t Channel\t Time(bin)\t  Seq\t Time(ps)\n")
           : Line(text, "Flag\tChannel\tTime(bin)\tTime(ps)\n"))) {
    return -1;
  }
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
