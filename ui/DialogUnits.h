#pragma once
// Dialog units to pixels, as the form's native platform converts them: a horizontal unit is a quarter
// of the font's average character width, a vertical unit an eighth of its height.

#include <QFont>
#include <QRect>

class DialogUnits {
 public:
  explicit DialogUnits(const QFont& font);
  int X(int units) const;  // horizontal units to pixels, rounded
  int Y(int units) const;  // vertical units to pixels, rounded
  QRect Rect(int x, int y, int width, int height) const;

 private:
  int baseX_ = 1;  // average character width in pixels
  int baseY_ = 1;  // character height in pixels
};
