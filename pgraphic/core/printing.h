#pragma once

#include <cstdint>

// Where a picture goes on a printed page: the largest rectangle of the
// picture's proportions that fits the page, centred along the other axis.

struct TPGPageRect {
  int Left = 0;
  int Top = 0;
  int Right = 0;  // exclusive
  int Bottom = 0; // exclusive
  friend constexpr bool operator==(const TPGPageRect&, const TPGPageRect&) = default;
};

// width x height is the picture, pageWidth x pageHeight the page in device
// pixels; aspectX and aspectY are the relative width and height of one device
// pixel (only their ratio counts; from a printer's resolutions in dots per
// inch: aspectX = vertical resolution, aspectY = horizontal resolution).
// If width / height >= (pageWidth / pageHeight) * aspectY / aspectX the picture
// spans the page width: h = pageWidth * (height / width) * aspectX / aspectY
// rounded (ties to even), top = (pageHeight - h) div 2, bottom = pageHeight -
// top. Otherwise it spans the page height with the horizontal equivalent.
// An empty picture or page gives an empty rectangle; a non-positive aspect
// counts as square pixels.
TPGPageRect PGPrintPageRect(int width, int height, int pageWidth, int pageHeight, int aspectX, int aspectY);
