#include "engine/ScratchDigits.h"

namespace kestrun::scratch_digits {

namespace {
constexpr std::array<char, 10000 * 4> MakeDigitGroups() {
  std::array<char, 10000 * 4> groups{};
  for (int i = 0; i < 10000; ++i) {
    groups[4 * i] = static_cast<char>('0' + i / 1000);
    groups[4 * i + 1] = static_cast<char>('0' + i / 100 % 10);
    groups[4 * i + 2] = static_cast<char>('0' + i / 10 % 10);
    groups[4 * i + 3] = static_cast<char>('0' + i % 10);
  }
  return groups;
}

constexpr std::array<std::array<char, 8>, 10000> MakeShortNumbers() {
  std::array<std::array<char, 8>, 10000> numbers{};
  for (int i = 0; i < 10000; ++i) {
    char digits[4];
    int n = 0;
    for (int v = i; n == 0 || v > 0; v /= 10) digits[n++] = static_cast<char>('0' + v % 10);
    for (int k = 0; k < n; ++k) numbers[i][k] = digits[n - 1 - k];
    numbers[i][n] = '\n';
    numbers[i][7] = static_cast<char>(n);
  }
  return numbers;
}
}  // namespace

constexpr std::array<std::array<char, 8>, 10000> kShortNumbers = MakeShortNumbers();
constexpr std::array<char, 10000 * 4> kDigitGroups = MakeDigitGroups();

}  // namespace kestrun::scratch_digits
