#include "pgraphic/view/viewplatform.h"

#include "pgraphic/device/drawing.h"
#include "pgraphic/device/screen.h"
#include "pgraphic/view/cursors.h"

namespace pgview {

void DrawGraphic(const TPixelGraphic& image, QPainter& painter, int left, int top, int right, int bottom) {
  DrawToDC(image, painter, Rect(left, top, right, bottom));
}

int ScreenBitsPerPixel() { return ::ScreenBitsPerPixel(); }

QCursor LibraryCursor(TLibraryCursor which) {
  switch (which) {
    case lcOpenHand:
      return PGCursor(pgcOpenHand);
    case lcClosedHand:
      return PGCursor(pgcClosedHand);
    case lcCrossHair:
      return PGCursor(pgcCrossHair);
    case lcMoveArrows:
      return PGCursor(pgcMoveArrows);
  }
  return QCursor();
}

} // namespace pgview
