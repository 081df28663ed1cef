#pragma once

#include "pgraphic/core/pixelgraphic.h"

// Gives target an optimised palette of at most count entries for the colours
// of source: median cut for 24-bit sources, octree for palette sources; with
// addSystemColors the 16 system colours follow (count - 16 optimised colours).
void BuildOptimizedPalette(TPixelGraphic& target, TPixelGraphic& source, int count, bool addSystemColors);
