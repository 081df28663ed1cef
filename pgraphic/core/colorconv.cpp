#include "pgraphic/core/messages.h"
#include "pgraphic/core/pixelgraphic.h"

// Nearest palette entry by squared RGB distance, the lowest index on ties.
uint32_t TPixelGraphic::ColorToIndexUncached(TColorRef color) {
  uint32_t result = 0;
  switch (FPaletteIdent) {
    case pNone:
      throw EPGNoPalette(GetMessage(msgNoPalette));
    case pTrueColor:
      result = color;
      break;
    default: {
      int best = -1;
      const int r = static_cast<int>(GetRValue(color)), g = static_cast<int>(GetGValue(color)),
                b = static_cast<int>(GetBValue(color));
      for (int i = 0; i < PaletteCount(); ++i) {
        const TColorRef p = FPalette[static_cast<size_t>(i)];
        const int dr = r - static_cast<int>(GetRValue(p)), dg = g - static_cast<int>(GetGValue(p)),
                  db = b - static_cast<int>(GetBValue(p));
        const int d = dr * dr + dg * dg + db * db;
        if (best < 0 || d < best) {
          best = d;
          result = static_cast<uint32_t>(i);
        }
      }
    }
  }
  FMemoColor = color;
  FMemoResult = result;
  FMemoValid = true;
  return result;
}

// Placeholder dithering: nearest entry, no error diffusion (replaced by the
// full implementation).
void TPixelGraphic::BeginDither() { FDitherActive = true; }
void TPixelGraphic::NextDitherRow() {}
void TPixelGraphic::DitherPixel(int x, int y, int r, int g, int b) {
  SetPixels(x, y, ColorToIndex(RGBColor(static_cast<unsigned>(r), static_cast<unsigned>(g), static_cast<unsigned>(b))));
}
void TPixelGraphic::EndDither() { FDitherActive = false; }
