#pragma once

#include <cstdint>

#include "pgraphic/core/pixelgraphic.h"

class QPainter;
class QImage;

// A rectangle the Windows way: Right and Bottom are exclusive edges, so
// Right - Left is the width. A destination whose Right < Left (or Bottom < Top)
// is drawn mirrored: it covers the pixels Right + 1 .. Left, with source
// column 0 at Left (likewise vertically).
struct TRect {
  int Left = 0;
  int Top = 0;
  int Right = 0;
  int Bottom = 0;
  constexpr int Width() const { return Right - Left; }
  constexpr int Height() const { return Bottom - Top; }
  friend constexpr bool operator==(const TRect&, const TRect&) = default;
};

constexpr TRect Rect(int left, int top, int right, int bottom) { return TRect{left, top, right, bottom}; }

// Raster operations of a draw, with the values of the Windows ROP codes.
enum TPGRop : uint32_t {
  SRCCOPY = 0x00CC0020,    // destination := source
  SRCPAINT = 0x00EE0086,   // destination := source OR destination
  SRCAND = 0x008800C6,     // destination := source AND destination
  SRCINVERT = 0x00660046,  // destination := source XOR destination
  NOTSRCCOPY = 0x00330008, // destination := NOT source
};

// Draws the whole image into dest on the painter, without smoothing (every
// destination pixel shows one source pixel), palette images through their
// colour table.
//
// Sampling: destination pixel d (0-based, counted from Left, or from Top)
// of a destination n pixels wide shows source column ((2d + 1) * W) div (2n),
// W the image width; rows likewise with the height. This is the pixel whose
// area holds the destination pixel's centre.
//
// On a raster painter with at most an integer translation, only the visible
// part of dest (device, clip and paint region) is sampled, into a buffer of
// that size, which is then copied 1:1; the image is never converted whole.
// Other painters (printers, PDF, transformed painters) get the image's rows
// through a QImage with a flipping transform.
//
// forceBackground is kept for the palette realisation of palette displays,
// which Linux displays do not have: it has no effect. rop picks the raster
// operation; on painters that cannot combine (PDF, printers) every rop draws
// as SRCCOPY. An empty image or an empty dest draws nothing.
void DrawToDC(const TPixelGraphic& image, QPainter& painter, const TRect& dest, bool forceBackground = true,
              uint32_t rop = SRCCOPY);

// The graphic drawing slot: DrawToDC with the background flag set.
void StretchDraw(QPainter& painter, const TRect& dest, const TPixelGraphic& image, uint32_t rop = SRCCOPY);
// The image at its own size with its top-left corner at (x, y).
void Draw(QPainter& painter, int x, int y, const TPixelGraphic& image, uint32_t rop = SRCCOPY);

// A top-down 32-bit copy of the image (0xFFRRGGBB), palette images through
// their colour table. For tests and hand-overs to Qt; drawing does not use it.
QImage ToQImage(const TPixelGraphic& image);
