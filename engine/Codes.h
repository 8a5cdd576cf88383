#pragma once
// Data type and device codes with their texts, shared by the engine and both front ends.

#include <cstdint>
#include <string_view>

namespace kestrun {

enum DataTypeCode : std::int32_t {
  kDataTypeUnknown = -1,
  kDataTypeT1 = 1,
  kDataTypeT2 = 2,
  kDataTypeT3 = 3,
  kDataTypeIttrT = 4,
  kDataTypeIttrM = 5,
};

inline constexpr std::int32_t kDeviceUnknown = -1;
inline constexpr std::int32_t kDeviceKR77A5 = 1;
inline constexpr std::int32_t kDeviceRB9531 = 64;
inline constexpr std::int32_t kDeviceQZ48 = 3;  // the packaged T2/T3 layout

// "T1".."ITTR_M" to 1..5; any other text -1.
std::int32_t DataTypeFromText(std::string_view text);
// 1..5 to "T1".."ITTR_M"; any other code "".
std::string_view DataTypeText(std::int32_t code);
// "KR77A5" 1, "RB9531" 64, "QZ48" 3; any other text -1.
std::int32_t DeviceFromText(std::string_view text);
// 1, 4, 8 "KR77A5"; 64 "RB9531"; 3 "QZ8B48"; anything else "Unknown Type".
const char* DeviceDisplayName(std::int32_t code);

}  // namespace kestrun
