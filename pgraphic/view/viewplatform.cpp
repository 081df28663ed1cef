#include "pgraphic/view/viewplatform.h"

#include <algorithm>

#include <QImage>
#include <QPainter>

#include "pgraphic/core/pixelgraphic.h"

namespace pgview {

void DrawGraphic(const TPixelGraphic& image, QPainter& painter, int left, int top, int right, int bottom) {
  if (image.Empty() || left == right || top == bottom) return;
  // The covered pixels: left..right-1, or right+1..left when mirrored.
  const bool mx = right < left, my = bottom < top;
  const QRect dest = QRect(QPoint(mx ? right + 1 : left, my ? bottom + 1 : top),
                           QPoint(mx ? left : right - 1, my ? top : bottom - 1));
  QRect area = dest;
  if (painter.hasClipping()) area &= painter.clipBoundingRect().toAlignedRect();
  if (painter.device()) area &= QRect(0, 0, painter.device()->width(), painter.device()->height());
  if (area.isEmpty()) return;
  const int64_t n = dest.width(), m = dest.height(), w = image.Width(), h = image.Height();
  QImage out(area.size(), QImage::Format_RGB32);
  for (int y = area.top(); y <= area.bottom(); ++y) {
    const int64_t oy = my ? top - y : y - top;
    const int sy = static_cast<int>(oy * h / m);
    auto* line = reinterpret_cast<QRgb*>(out.scanLine(y - area.top()));
    for (int x = area.left(); x <= area.right(); ++x) {
      const int64_t ox = mx ? left - x : x - left;
      const uint32_t c = image.PixelColors(static_cast<int>(ox * w / n), sy);
      line[x - area.left()] = qRgb(GetRValue(c), GetGValue(c), GetBValue(c));
    }
  }
  painter.drawImage(area.topLeft(), out);
}

int ScreenBitsPerPixel() { return 24; }

QCursor LibraryCursor(TLibraryCursor which) {
  switch (which) {
    case lcOpenHand:
      return QCursor(Qt::OpenHandCursor);
    case lcClosedHand:
      return QCursor(Qt::ClosedHandCursor);
    case lcCrossHair:
      return QCursor(Qt::CrossCursor);
    case lcMoveArrows:
      return QCursor(Qt::SizeAllCursor);
  }
  return QCursor();
}

} // namespace pgview
