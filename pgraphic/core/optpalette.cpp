#include "pgraphic/core/colorconv.h"

// Placeholder until the median cut and octree land: the system palette.
void BuildOptimizedPalette(TPixelGraphic& target, TPixelGraphic&, int count, bool) {
  target.SetPaletteIdent(pSys16);
  if (target.PaletteCount() > count) target.SetPaletteCount(count < 0 ? 0 : count);
}
