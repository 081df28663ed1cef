#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "pgraphic/core/pixelgraphic.h"

// Row-wise access shared by the bulk operations (copy, stretch, rotation,
// filters): reading source colours exactly as PixelColors reads them, and
// writing colours into a target of any resolution exactly as the pixel-wise
// path would (direct bytes for 24 bit, error diffusion or nearest palette
// entry otherwise). Rows are handled as 3-byte blue, green, red triples, the
// layout of a 24-bit row, so 24-bit images need no conversion at all.
namespace pg {

// Read access to the colours of an image, without per-pixel range checks:
// callers clip to the image first.
class TSourcePixels {
public:
  explicit TSourcePixels(const TPixelGraphic& src)
      : FBitCount(src.BitCount()), FBits(src.Bits()), FHeight(src.Height()),
        FBytesPerRow(static_cast<size_t>(src.BytesPerRow())) {
    // A raw value beyond the palette reads as entry 0 (or black without a
    // palette), as PixelColors does.
    const int count = src.PaletteCount();
    const TColorRef fallback = count > 0 ? src.PaletteData()[0] : 0;
    for (int i = 0; i < 256; ++i) {
      const TColorRef c = i < count ? src.PaletteData()[i] : fallback;
      FLut[i] = c;
      FLutBGR[3 * i + 0] = static_cast<uint8_t>(GetBValue(c));
      FLutBGR[3 * i + 1] = static_cast<uint8_t>(GetGValue(c));
      FLutBGR[3 * i + 2] = static_cast<uint8_t>(GetRValue(c));
    }
  }

  bool Is24() const { return FBitCount == bc24Bit; }
  const uint8_t* Row(int y) const { return FBits + static_cast<size_t>(FHeight - 1 - y) * FBytesPerRow; }

  // Colour of pixel (x, y), which must lie inside the image.
  TColorRef Color(int x, int y) const {
    const uint8_t* row = Row(y);
    switch (FBitCount) {
      case bc24Bit: {
        const uint8_t* p = row + 3 * static_cast<size_t>(x);
        return static_cast<uint32_t>(p[2]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[0]) << 16);
      }
      case bc8Bit:
        return FLut[row[x]];
      case bc4Bit:
        return FLut[(x & 1) ? (row[x >> 1] & 0x0F) : (row[x >> 1] >> 4)];
      default:
        return FLut[(row[x >> 3] >> (7 - (x & 7))) & 1];
    }
  }

  // Blue, green, red bytes of pixel (x, y) (inside the image).
  const uint8_t* BGR(int x, int y) const {
    const uint8_t* row = Row(y);
    switch (FBitCount) {
      case bc24Bit:
        return row + 3 * static_cast<size_t>(x);
      case bc8Bit:
        return FLutBGR + 3 * row[x];
      case bc4Bit:
        return FLutBGR + 3 * ((x & 1) ? (row[x >> 1] & 0x0F) : (row[x >> 1] >> 4));
      default:
        return FLutBGR + 3 * ((row[x >> 3] >> (7 - (x & 7))) & 1);
    }
  }

  // Address of the colours of row y from column x0 on, as blue, green, red
  // triples: the row itself for 24 bit, else the columns x0..x1 unpacked into
  // buffer (3 * (x1 - x0 + 1) bytes); the result is indexed from x0.
  const uint8_t* RowBGR(int y, int x0, int x1, uint8_t* buffer) const {
    const uint8_t* row = Row(y);
    if (FBitCount == bc24Bit) return row + 3 * static_cast<size_t>(x0);
    uint8_t* out = buffer;
    switch (FBitCount) {
      case bc8Bit:
        for (int x = x0; x <= x1; ++x, out += 3) std::memcpy(out, FLutBGR + 3 * row[x], 3);
        break;
      case bc4Bit:
        for (int x = x0; x <= x1; ++x, out += 3)
          std::memcpy(out, FLutBGR + 3 * ((x & 1) ? (row[x >> 1] & 0x0F) : (row[x >> 1] >> 4)), 3);
        break;
      default:
        for (int x = x0; x <= x1; ++x, out += 3)
          std::memcpy(out, FLutBGR + 3 * ((row[x >> 3] >> (7 - (x & 7))) & 1), 3);
        break;
    }
    return buffer;
  }

private:
  uint8_t FBitCount;
  const uint8_t* FBits;
  int FHeight;
  size_t FBytesPerRow;
  TColorRef FLut[256];
  uint8_t FLutBGR[3 * 256];
};

// Writes colours into a target image the way every bulk operation does: a
// 24-bit target stores them directly; a palette target with Dither set goes
// through error diffusion (set up here, torn down in the destructor whatever
// happens); otherwise each colour becomes its nearest palette entry.
class TTargetWriter {
public:
  explicit TTargetWriter(TPixelGraphic& target)
      : FTarget(target), FIs24(target.BitCount() == bc24Bit), FDither(!FIs24 && target.Dither()) {
    if (FDither)
      target.BeginDither();
    else
      target.EndDither();
  }
  ~TTargetWriter() {
    if (FDither) FTarget.EndDither();
  }
  TTargetWriter(const TTargetWriter&) = delete;
  TTargetWriter& operator=(const TTargetWriter&) = delete;

  bool Is24() const { return FIs24; }
  bool Dithering() const { return FDither; }

  // To be called before the pixels of each target row are written.
  void BeginRow() {
    if (FDither) FTarget.NextDitherRow();
  }

  // Writes the colours bgr (3 bytes per column, indexed from x0) into columns
  // x0..x1 of row y. With a mask (indexed from x0) only columns whose mask
  // byte is non-zero are written. Palette targets are visited in serpentine
  // order: even rows left to right, odd rows right to left.
  void WriteRow(int y, int x0, int x1, const uint8_t* bgr, const uint8_t* mask) {
    if (x0 > x1) return;
    if (FIs24) {
      uint8_t* row = FTarget.ScanLine(y) + 3 * static_cast<size_t>(x0);
      if (!mask) {
        std::memcpy(row, bgr, 3 * static_cast<size_t>(x1 - x0 + 1));
      } else {
        for (int i = 0; i <= x1 - x0; ++i)
          if (mask[i]) std::memcpy(row + 3 * static_cast<size_t>(i), bgr + 3 * static_cast<size_t>(i), 3);
      }
      return;
    }
    // Palette targets in serpentine order, also without dithering: the colour
    // cache keeps, for every cell, the entry found for the first colour of it.
    if ((y & 1) == 0) {
      for (int x = x0; x <= x1; ++x) WritePalette(x, y, bgr + 3 * static_cast<size_t>(x - x0), mask, x - x0);
    } else {
      for (int x = x1; x >= x0; --x) WritePalette(x, y, bgr + 3 * static_cast<size_t>(x - x0), mask, x - x0);
    }
  }

private:
  void WritePalette(int x, int y, const uint8_t* p, const uint8_t* mask, int i) {
    if (mask && !mask[i]) return;
    if (FDither)
      FTarget.DitherPixel(x, y, p[2], p[1], p[0]);
    else
      FTarget.SetPixels(x, y, FTarget.ColorToIndex(RGBColor(p[2], p[1], p[0])));
  }

  TPixelGraphic& FTarget;
  bool FIs24;
  bool FDither;
};

} // namespace pg
