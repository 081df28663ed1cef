#include "pgraphic/view/viewplatform.h"

#include <QGuiApplication>
#include <QScreen>

#include "pgraphic/device/drawing.h"

namespace pgview {

void DrawGraphic(const TPixelGraphic& image, QPainter& painter, int left, int top, int right, int bottom) {
  DrawToDC(image, painter, Rect(left, top, right, bottom));
}

namespace {
int gScreenBitsOverride = 0;
} // namespace

void SetScreenBitsPerPixelOverride(int bits) { gScreenBitsOverride = bits; }

int ScreenBitsPerPixel() {
  if (gScreenBitsOverride > 0) return gScreenBitsOverride;
  const QScreen* screen = QGuiApplication::primaryScreen();
  return screen ? screen->depth() : 24;
}

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
