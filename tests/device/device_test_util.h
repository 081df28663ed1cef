// Images for the device tests: a small picture at any colour resolution whose
// neighbouring pixels all differ, with a palette of distinct colours.
#pragma once

#include <QImage>

#include "pgraphic/core/pixelgraphic.h"

namespace devtest {

// A w x h image at bitCount (bc1Bit .. bc24Bit). Palette images get a palette
// of PaletteSize() distinct colours; pixel values vary along both axes.
inline void FillPattern(TPixelGraphic& g, int w, int h, uint8_t bitCount) {
  g.SetSize(w, h, bitCount);
  const int n = g.PaletteSize();
  if (n > 0) {
    g.SetPaletteCount(n);
    for (int i = 0; i < n; ++i) g.SetPaletteColor(i, RGBColor(17 * i + 3, 255 - 5 * i, (i * 97) & 255));
  }
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      if (bitCount == bc24Bit)
        g.SetPixels(x, y, RGBColor(x * 31 + 7, y * 43 + 1, (x * 7 + y * 13) & 255));
      else
        g.SetPixels(x, y, static_cast<uint32_t>(x * 3 + y * 5) % static_cast<uint32_t>(n));
    }
}

// A COLORREF as the 0xFFRRGGBB value Qt reads back from an RGB32 image.
inline QRgb ToRgb(TColorRef c) { return qRgb(GetRValue(c), GetGValue(c), GetBValue(c)); }

} // namespace devtest
