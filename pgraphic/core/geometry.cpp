#include "pgraphic/core/pixelgraphic.h"

// Placeholders for the geometry and filter operations (replaced by the real
// implementations).
void TPixelGraphic::CopyRect(int destX, int destY, TPixelGraphic& source, int srcY, int srcX, int height, int width) {
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const int tx = destX + x, ty = destY + y, sx = srcX + x, sy = srcY + y;
      if (tx < 0 || ty < 0 || tx >= Width() || ty >= Height()) continue;
      if (sx < 0 || sy < 0 || sx >= source.Width() || sy >= source.Height()) continue;
      SetPixelColors(tx, ty, source.PixelColors(sx, sy));
    }
  Changed();
}
void TPixelGraphic::StretchCopy(int, int, TPixelGraphic&, int, int, int, int, int, int) {
  throw EPixelGraphic("StretchCopy not available");
}
void TPixelGraphic::StretchFrom(TPixelGraphic& source) {
  StretchCopy(0, 0, source, source.Height(), source.Width(), 0, 0, Height(), Width());
}
void TPixelGraphic::Rotate(int, int, TPixelGraphic&, int, int, int, int, int, int, long double) {
  throw EPixelGraphic("Rotate not available");
}
void TPixelGraphic::RotateFrom(bool, TPixelGraphic&, long double) { throw EPixelGraphic("RotateFrom not available"); }
void TPixelGraphic::MirrorHorizontal() { throw EPixelGraphic("MirrorHorizontal not available"); }
void TPixelGraphic::ApplyFilter(TPGFilter&, TPixelGraphic&) { throw EPixelGraphic("ApplyFilter not available"); }
