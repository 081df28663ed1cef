#include "app/desktop/programcursors.h"

#include <QBitmap>
#include <QImage>

namespace {

// Draws black pixels with a white outline into a 32 x 32 cursor: the bitmap
// holds the black pixels, the mask the black and the outline pixels.
class TCursorArt {
public:
  TCursorArt() : FInk(32, 32, QImage::Format_Mono), FMask(32, 32, QImage::Format_Mono) {
    FInk.fill(0);
    FMask.fill(0);
  }
  void Dot(int x, int y) {
    if (x < 0 || y < 0 || x > 31 || y > 31) return;
    FInk.setPixel(x, y, 1);
    for (int dy = -1; dy <= 1; ++dy)
      for (int dx = -1; dx <= 1; ++dx)
        if (x + dx >= 0 && y + dy >= 0 && x + dx < 32 && y + dy < 32) FMask.setPixel(x + dx, y + dy, 1);
  }
  void HLine(int x1, int x2, int y) {
    for (int x = x1; x <= x2; ++x) Dot(x, y);
  }
  void VLine(int x, int y1, int y2) {
    for (int y = y1; y <= y2; ++y) Dot(x, y);
  }
  QCursor Make(int hotX, int hotY) const {
    return QCursor(QBitmap::fromImage(FInk), QBitmap::fromImage(FMask), hotX, hotY);
  }

private:
  QImage FInk, FMask;
};

QCursor MakeLineCursor() {
  TCursorArt art;
  // Small cross centred on the hot spot.
  art.HLine(2, 12, 6);
  art.VLine(7, 1, 11);
  // The diagonal stroke below and right of it.
  for (int i = 0; i < 12; ++i) art.Dot(14 + i, 13 + i);
  return art.Make(7, 6);
}

QCursor MakeTargetCursor() {
  TCursorArt art;
  // Cross-hair with an open centre.
  art.HLine(3, 11, 15);
  art.HLine(19, 27, 15);
  art.VLine(15, 3, 11);
  art.VLine(15, 19, 27);
  // Four corner marks.
  art.HLine(7, 10, 7);
  art.VLine(7, 7, 10);
  art.HLine(20, 23, 7);
  art.VLine(23, 7, 10);
  art.HLine(7, 10, 23);
  art.VLine(7, 20, 23);
  art.HLine(20, 23, 23);
  art.VLine(23, 20, 23);
  return art.Make(15, 15);
}

} // namespace

QCursor ProgramCursor(TProgramCursor which) { return which == pcLine ? MakeLineCursor() : MakeTargetCursor(); }
