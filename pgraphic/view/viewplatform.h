#pragma once

// What the view needs of the device library, in one place: drawing an image
// onto a painter, the screen's colour depth and the library cursors.

#include <QCursor>

class QPainter;
class TPixelGraphic;

namespace pgview {

// Draws image stretched into the destination given as Windows-style edges;
// a negative extent (right < left, bottom < top) mirrors.
void DrawGraphic(const TPixelGraphic& image, QPainter& painter, int left, int top, int right, int bottom);

// Bits per pixel of the screen (the library-wide override included).
int ScreenBitsPerPixel();

enum TLibraryCursor { lcOpenHand, lcClosedHand, lcCrossHair, lcMoveArrows };
QCursor LibraryCursor(TLibraryCursor which);

} // namespace pgview
