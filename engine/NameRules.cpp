#include "engine/NameRules.h"

#include <climits>

namespace kestrun {

namespace {

std::optional<int> TimeTypeIndex(const std::string& piece) {
  if (piece == "T1") return 0;
  if (piece == "T2") return 1;
  if (piece == "T3") return 2;
  return std::nullopt;
}

// "16ps" gives "16"; a piece of fewer than two characters gives "".
std::string LessUnit(const std::string& piece) { return piece.size() < 2 ? std::string() : piece.substr(0, piece.size() - 2); }

void ApplyTimeRule(const std::string& typePiece, const std::string& resolutionPiece, NameSettings& s) {
  if (auto index = TimeTypeIndex(typePiece)) {
    s.dataTypeIndex = index;
    s.resolutionText = LessUnit(resolutionPiece);
  }
}

// Eight-piece names: type piece 2, resolution piece 3; ITTR joins them ("ITTRT", "ITTRM").
void ApplyRuleA(const std::vector<std::string>& pieces, NameSettings& s) {
  if (pieces[2] == "ITTR") {
    const std::string joined = pieces[2] + pieces[3];
    if (joined == "ITTRT") s.dataTypeIndex = 3;
    if (joined == "ITTRM") s.dataTypeIndex = 4;
    s.resolutionText = std::string();
    return;
  }
  ApplyTimeRule(pieces[2], pieces[3], s);
}

}  // namespace

std::vector<std::string> SplitText(std::string_view text, std::string_view delimiters) {
  std::vector<std::string> pieces;
  std::size_t start = text.find_first_not_of(delimiters);
  while (start != std::string_view::npos) {
    const std::size_t stop = text.find_first_of(delimiters, start);
    pieces.emplace_back(text.substr(start, stop == std::string_view::npos ? std::string_view::npos : stop - start));
    start = stop == std::string_view::npos ? stop : text.find_first_not_of(delimiters, stop);
  }
  return pieces;
}

std::int32_t LeadingInteger(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  long long value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > static_cast<long long>(INT_MAX) + 1) value = static_cast<long long>(INT_MAX) + 1;
  }
  if (negative) value = -value;
  if (value > INT_MAX) value = INT_MAX;
  return static_cast<std::int32_t>(value);
}

NameSettings SettingsFromName(std::string_view stem) {
  const std::vector<std::string> pieces = SplitText(stem, "_");
  NameSettings s;
  if (pieces.size() >= 8) {
    const bool qz48 = pieces[0].starts_with("QZ48");
    s.deviceIndex = qz48 ? 2 : 0;
    s.showPacketInfo = qz48;
    s.resolutionEnabled = false;
    if (pieces.size() == 8) ApplyRuleA(pieces, s);
    return s;
  }
  if (pieces.size() == 7 && pieces[0].starts_with("RB9531")) ApplyTimeRule(pieces[1], pieces[2], s);
  s.deviceIndex = 1;
  return s;
}

}  // namespace kestrun
