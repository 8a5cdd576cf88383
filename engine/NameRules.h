#pragma once
// What an instrument's file name says about its settings, and the small text rules both front ends
// share. Names such as QZ48x_a_T2_16ps_..._h (eight pieces) or RB9531_T3_4ps_d_e_f_g (seven pieces).

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrun {

// The items of the two lists, in list order; indexes below refer to them.
inline constexpr std::array<const char*, 5> kDataTypeItems = {"T1", "T2", "T3", "ITTR_T", "ITTR_M"};
inline constexpr std::array<const char*, 3> kDeviceItems = {"KR77A5", "RB9531", "QZ48"};

// The pieces of `text` between delimiter characters; runs of delimiters count as one, no empty pieces.
std::vector<std::string> SplitText(std::string_view text, std::string_view delimiters);

// Leading integer of a text: blanks skipped, optional sign, digits up to the first other character;
// 0 without digits, clamped to the int range ("25ps" gives 25).
std::int32_t LeadingInteger(std::string_view text);

struct NameSettings {
  int deviceIndex = 1;                         // always decided
  bool showPacketInfo = false;                 // only QZ48 names of eight or more pieces
  std::optional<bool> resolutionEnabled;       // false for eight or more pieces; unset: unchanged
  std::optional<int> dataTypeIndex;            // when the name's type piece selects one
  std::optional<std::string> resolutionText;   // when the name's rule sets the resolution field
};

// The settings a file stem (name without directory and extension) decides.
NameSettings SettingsFromName(std::string_view stem);

}  // namespace kestrun
