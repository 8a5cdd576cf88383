#include "engine/Codes.h"

#include <array>

namespace kestrun {

namespace {
constexpr std::array<std::string_view, 5> kDataTypeTexts = {"T1", "T2", "T3", "ITTR_T", "ITTR_M"};
}

std::int32_t DataTypeFromText(std::string_view text) {
  for (std::size_t i = 0; i < kDataTypeTexts.size(); ++i) {
    if (kDataTypeTexts[i] == text) return static_cast<std::int32_t>(i) + 1;
  }
  return kDataTypeUnknown;
}

std::string_view DataTypeText(std::int32_t code) {
  if (code < 1 || code > 5) return {};
  return kDataTypeTexts[static_cast<std::size_t>(code - 1)];
}

std::int32_t DeviceFromText(std::string_view text) {
  if (text == "KR77A5") return kDeviceKR77A5;
  if (text == "RB9531") return kDeviceRB9531;
  if (text == "QZ48") return kDeviceQZ48;
  return kDeviceUnknown;
}

const char* DeviceDisplayName(std::int32_t code) {
  switch (code) {
    case 1:
    case 4:
    case 8:
      return "KR77A5";
    case 64:
      return "RB9531";
    case 3:
      return "QZ8B48";
    default:
      return "Unknown Type";
  }
}

}  // namespace kestrun
