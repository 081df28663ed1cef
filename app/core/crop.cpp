#include "app/core/crop.h"

#include <cstring>

#include "pgraphic/core/exceptions.h"
#include "pgraphic/core/messages.h"

std::unique_ptr<TPixelGraphic> CropPicture(const TPixelGraphic& source, int left, int top, int width, int height) {
  if (source.Empty() || width <= 0 || height <= 0 || left < 0 || top < 0 ||
      int64_t{left} + width > source.Width() || int64_t{top} + height > source.Height())
    throw EPGXYIndexOutOfRange(GetMessage(msgXYIndexOutOfRange));
  auto cropped = std::make_unique<TPixelGraphic>();
  cropped->SetSize(width, height, source.BitCount());
  if (source.PaletteSize() > 0) cropped->CopyPalette(source);
  const int bits = source.BitCountNum();
  if (bits >= 8) {
    // Whole bytes per pixel: each row's span as one block.
    const size_t bytesPerPixel = static_cast<size_t>(bits / 8);
    const size_t span = bytesPerPixel * static_cast<size_t>(width);
    for (int y = 0; y < height; ++y)
      std::memcpy(cropped->ScanLine(y), source.ScanLine(top + y) + bytesPerPixel * static_cast<size_t>(left), span);
  } else {
    // 1 and 4 bit: the span need not start on a byte, so value by value.
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) cropped->SetPixels(x, y, source.Pixels(left + x, top + y));
  }
  return cropped;
}
