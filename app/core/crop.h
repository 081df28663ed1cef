#pragma once

#include <memory>

#include "pgraphic/core/pixelgraphic.h"

// The part (left, top, width, height) of source as a new picture of the same
// colour depth and palette: the stored values (colours or palette indices)
// row by row, unchanged. The part must lie within source and not be empty;
// anything else raises EPGXYIndexOutOfRange and source stays as it is.
std::unique_ptr<TPixelGraphic> CropPicture(const TPixelGraphic& source, int left, int top, int width, int height);
