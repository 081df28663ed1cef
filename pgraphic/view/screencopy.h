#pragma once

// What the view's display copy and the open dialog's thumbnail share: the
// form of a picture's copy for the screen's colour depth, and the progress
// clock drawn while such a copy is made.

#include <cstdint>

#include "pgraphic/core/pixelgraphic.h"

class QColor;
class QPainter;

// The bit count of a copy for a screen of screenBits bits per pixel: 4 below
// 8 bits, 8 at 8 bits, else 24.
uint8_t PGScreenBitCount(int screenBits);

// Gives target (sized already: sizing discards a palette) the palette of a
// copy of source for such a screen: the 16 system colours below 8 bits; at 8
// bits the one chosen for a 24-bit source (for24Bit) or a palette source
// (for8Bit): a fixed palette, the source's own (pSource, palette sources
// only), or, with pOptimized252Sys16, none yet: true is returned and the
// caller builds the optimised palette from the source.
bool PGSetScreenPalette(TPixelGraphic& target, const TPixelGraphic& source, int screenBits, TPaletteIdent for24Bit,
                        TPaletteIdent for8Bit);

// The progress clock in the 15 x 15 square at (x, y): a circle of face
// colour, the hour hand at step (one turn per 12 steps) and the minute hand
// at percent.
void PGDrawProgressClock(QPainter& painter, int x, int y, int step, int percent, const QColor& line,
                         const QColor& face);
