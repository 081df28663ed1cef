#include "pgraphic/view/screencopy.h"

#include <cmath>

#include <QPainter>

uint8_t PGScreenBitCount(int screenBits) {
  if (screenBits < 8) return bc4Bit;
  return screenBits == 8 ? bc8Bit : bc24Bit;
}

bool PGSetScreenPalette(TPixelGraphic& target, const TPixelGraphic& source, int screenBits, TPaletteIdent for24Bit,
                        TPaletteIdent for8Bit) {
  if (screenBits < 8) {
    target.SetPaletteIdent(pSys16);
    return false;
  }
  if (screenBits > 8) return false;
  const TPaletteIdent ident = source.BitCount() == bc24Bit ? for24Bit : for8Bit;
  if (ident == pOptimized252Sys16) return true;
  if (ident == pSource && source.BitCount() != bc24Bit)
    target.CopyPalette(source);
  else
    target.SetPaletteIdent(ident);
  return false;
}

void PGDrawProgressClock(QPainter& painter, int x, int y, int step, int percent, const QColor& line,
                         const QColor& face) {
  const long double pi = 3.14159265358979323846264338327950288L;
  const long double a = percent * pi * 0.02L;
  const long double b = ((step - 1) * 2 * pi + a) / 12;
  const int hx = static_cast<int>(std::nearbyint(std::sin(b) * 6)), hy = static_cast<int>(std::nearbyint(std::cos(b) * 6));
  const int mx = static_cast<int>(std::nearbyint(std::sin(a) * 7)), my = static_cast<int>(std::nearbyint(std::cos(a) * 7));
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing, false);
  painter.setPen(QPen(line, 0));
  painter.setBrush(face);
  painter.drawEllipse(QRect(x, y, 14, 14));
  painter.drawLine(x + 7, y + 7, x + 7 + hx, y + 7 - hy);
  painter.drawLine(x + 7, y + 7, x + 7 + mx, y + 7 - my);
  painter.restore();
}
