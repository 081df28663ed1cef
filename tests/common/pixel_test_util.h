// Picture comparison shared by the test suites.
#pragma once

#include "pgraphic/core/pixelgraphic.h"

namespace testutil {

// Same size and the same colour in every pixel (whatever the resolutions).
inline bool SameColours(const TPixelGraphic& a, const TPixelGraphic& b) {
  if (a.Width() != b.Width() || a.Height() != b.Height()) return false;
  for (int y = 0; y < a.Height(); ++y)
    for (int x = 0; x < a.Width(); ++x)
      if (a.PixelColors(x, y) != b.PixelColors(x, y)) return false;
  return true;
}

} // namespace testutil
