#include "ui/DialogUnits.h"

#include <QFontMetrics>

#include <algorithm>

namespace {
// Rounds v * base / divisor to the nearest whole number, halves away from zero.
int Scale(int v, int base, int divisor) {
  const long long product = static_cast<long long>(v) * base;
  const long long half = divisor / 2;
  return static_cast<int>(product >= 0 ? (product + half) / divisor : -((-product + half) / divisor));
}
}  // namespace

DialogUnits::DialogUnits(const QFont& font) {
  const QFontMetrics metrics(font);
  // The platform's rule: the width of the 52 letters, halved twice over 26 with rounding.
  const int letters = metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  baseX_ = std::max(1, (letters / 26 + 1) / 2);
  baseY_ = std::max(1, metrics.height());
}

int DialogUnits::X(int units) const { return Scale(units, baseX_, 4); }
int DialogUnits::Y(int units) const { return Scale(units, baseY_, 8); }

QRect DialogUnits::Rect(int x, int y, int width, int height) const {
  return QRect(X(x), Y(y), X(width), Y(height));
}
