#pragma once

#include "pgraphic/core/pixelgraphic.h"

// Gives target an optimised palette of at most count entries for the colours
// of source: median cut for 24-bit sources, octree for palette sources; with
// addSystemColors the 16 system colours follow (count - 16 optimised colours).
void BuildOptimizedPalette(TPixelGraphic& target, TPixelGraphic& source, int count, bool addSystemColors);

// Converts source into target at another colour resolution: target gets
// source's size at bitCount (bc1Bit .. bc24Bit) and the palette, which is a
// standard palette ident, or pOptimized252Sys16 for an optimised palette
// computed from source (2 colours at 1 bit, 16 at 4 bit, 252 plus the 16
// system colours at 8 bit; ignored at 24 bit). Then source is copied in with
// colour conversion (error diffusion when target's Dither is set) and target's
// palette ident is detected again. target keeps its other settings (Dither,
// progress events), which the caller sets beforehand.
void ConvertColorResolution(TPixelGraphic& target, TPixelGraphic& source, uint8_t bitCount, TPaletteIdent palette);
