#pragma once

// Internal to the device library: reading an image's pixels into 32-bit
// Qt surfaces.

#include <cstdint>
#include <vector>

#include "pgraphic/core/pixelgraphic.h"

class QImage;

namespace pgdevice {

// The colour table of the pixel memory as 0xFFRRGGBB values, 256 entries
// (entries the table does not have are opaque black).
void ColorTable(const TPixelGraphic& image, uint32_t lut[256]);

// Fills out (Format_RGB32, srcX.size() x srcY.size()) so that pixel (i, j)
// is the colour of image pixel (srcX[i], srcY[j]); all indices must lie
// inside the image.
void Sample(const TPixelGraphic& image, const std::vector<int>& srcX, const std::vector<int>& srcY, QImage& out);

} // namespace pgdevice
