#include "pgraphic/core/printing.h"

#include "pgraphic/core/intmath.h"

TPGPageRect PGPrintPageRect(int width, int height, int pageWidth, int pageHeight, int aspectX, int aspectY) {
  TPGPageRect r;
  if (width <= 0 || height <= 0 || pageWidth <= 0 || pageHeight <= 0) return r;
  if (aspectX <= 0 || aspectY <= 0) aspectX = aspectY = 1;
  const long double w = width, h = height, pw = pageWidth, ph = pageHeight, ax = aspectX, ay = aspectY;
  if (w / h >= (pw / ph) * ay / ax) {
    const int64_t fit = pg::RoundHalfEven(pw * (h / w) * ax / ay);
    r.Left = 0;
    r.Right = pageWidth;
    r.Top = static_cast<int>((pageHeight - fit) / 2);
    r.Bottom = pageHeight - r.Top;
  } else {
    const int64_t fit = pg::RoundHalfEven(ph * (w / h) * ay / ax);
    r.Top = 0;
    r.Bottom = pageHeight;
    r.Left = static_cast<int>((pageWidth - fit) / 2);
    r.Right = pageWidth - r.Left;
  }
  return r;
}
