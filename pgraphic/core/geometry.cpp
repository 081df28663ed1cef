#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <numbers>
#include <vector>

#include "pgraphic/core/pixelgraphic.h"
#include "pgraphic/core/pixelrows.h"
#include "pgraphic/core/progressbracket.h"
#include "pgraphic/core/resample.h"
#include "pgraphic/core/rotation.h"
#include "pgraphic/core/threadpool.h"

using pg::TSourcePixels;
using pg::TTargetWriter;

// ============================================================ CopyRect

void TPixelGraphic::CopyRect(int destX, int destY, TPixelGraphic& source, int srcY, int srcX, int height, int width) {
  if (Empty() || source.Empty()) return;
  const int64_t shiftX = static_cast<int64_t>(srcX) - destX;
  const int64_t shiftY = static_cast<int64_t>(srcY) - destY;
  const int64_t y0 = std::max<int64_t>(destY, 0);
  const int64_t y1 = std::min<int64_t>(static_cast<int64_t>(destY) + height - 1, FHeight - 1);
  // Columns inside the target whose source column lies inside the source.
  const int64_t x0 = std::max<int64_t>({destX, 0, -shiftX});
  const int64_t x1 =
      std::min<int64_t>({static_cast<int64_t>(destX) + width - 1, FWidth - 1, source.Width() - 1 - shiftX});
  if (x0 > x1) {
    Changed();
    return;
  }
  const TSourcePixels src(source);
  TTargetWriter out(*this);
  const bool blockMove = out.Is24() && src.Is24();
  const size_t count = static_cast<size_t>(x1 - x0 + 1);
  std::vector<uint8_t> buffer(blockMove ? 0 : 3 * count);
  TPGProgressBracket progress(*this, this);
  if (blockMove && y0 <= y1) {
    // 24 to 24 bit: the overlapping span of each row as one block, without
    // progress reports, on the library's threads (in row order within one
    // image, where a row may read one written before).
    pg::TRowLoop loop;
    loop.Target = this;
    loop.First = static_cast<int>(y0);
    loop.Last = static_cast<int>(y1);
    loop.Offset = 3 * static_cast<size_t>(x0);
    loop.Bytes = 3 * count;
    loop.Sequential = &source == this;
    const int sourceHeight = source.Height();
    pg::RunRows(loop, [&]() -> pg::TRowsFunction {
      return [&src, shiftX, shiftY, x0, count, sourceHeight](int y, int, uint8_t* row, ptrdiff_t, uint8_t*) {
        const int64_t sy = y + shiftY;
        if (sy >= 0 && sy < sourceHeight)
          std::memmove(row, src.Row(static_cast<int>(sy)) + 3 * (x0 + shiftX), 3 * count);
      };
    });
  }
  for (int64_t y = y0; y <= y1 && !blockMove; ++y) {
    const int64_t sy = y + shiftY;
    if (sy < 0 || sy >= source.Height()) continue;
    out.BeginRow();
    const uint8_t* colors = src.RowBGR(static_cast<int>(sy), static_cast<int>(x0 + shiftX),
                                       static_cast<int>(x1 + shiftX), buffer.data());
    out.WriteRow(static_cast<int>(y), static_cast<int>(x0), static_cast<int>(x1), colors, nullptr);
    if (DoProgress(this, static_cast<int>(y - y0), static_cast<int>(y1 - y0))) break;
  }
  progress.End();
  Changed();
}

// ============================================================ StretchCopy

void TPixelGraphic::StretchCopy(int destX, int destY, TPixelGraphic& source, int srcH, int srcW, int srcY, int srcX,
                                int dstH, int dstW) {
  if (srcW == dstW && srcH == dstH) {
    CopyRect(destX, destY, source, srcY, srcX, dstH, dstW);
    return;
  }
  if (Empty() || source.Empty()) return;
  const pg::TStretchAxis axisX(FStretchMode, srcW, srcX, dstW, source.Width());
  const pg::TStretchAxis axisY(FStretchMode, srcH, srcY, dstH, source.Height());
  const int64_t x0 = std::max<int64_t>(destX, 0);
  const int64_t x1 = std::min<int64_t>(static_cast<int64_t>(destX) + dstW - 1, FWidth - 1);
  const int64_t y0 = std::max<int64_t>(destY, 0);
  const int64_t y1 = std::min<int64_t>(static_cast<int64_t>(destY) + dstH - 1, FHeight - 1);
  TTargetWriter out(*this);
  TPGProgressBracket progress(*this, this);
  if (x0 <= x1 && y0 <= y1 && out.Is24()) {
    // 24-bit targets: the rows on the library's threads.
    pg::TRowLoop loop;
    loop.Target = this;
    loop.First = static_cast<int>(y0);
    loop.Last = static_cast<int>(y1);
    loop.Offset = 3 * static_cast<size_t>(x0);
    loop.Bytes = 3 * static_cast<size_t>(x1 - x0 + 1);
    // Columns whose record is out of range keep the target's pixels.
    loop.KeepUntouched = !axisX.AllInRange(x0 - destX, x1 - destX);
    loop.Sequential = &source == this;
    const int t0 = static_cast<int>(x0 - destX), t1 = static_cast<int>(x1 - destX);
    pg::RunRows(
        loop,
        [&]() -> pg::TRowsFunction {
          auto rows = std::make_shared<pg::TStretchRows>(source, axisX, axisY, t0, t1);
          return [rows, destY](int y, int, uint8_t* out, ptrdiff_t, uint8_t* written) {
            if (rows->SetRow(static_cast<int64_t>(y) - destY))
              rows->Compute(out);
            else
              written[0] = 0;
          };
        },
        pg::ProgressReport(*this, loop.First, loop.Last));
  } else if (x0 <= x1 && y0 <= y1) {
    // Palette targets are written in row order: the dithering carries errors
    // from row to row and the colour cache keeps the first colour of a cell.
    pg::TStretchRows rows(source, axisX, axisY, static_cast<int>(x0 - destX), static_cast<int>(x1 - destX));
    std::vector<uint8_t> buffer(3 * static_cast<size_t>(x1 - x0 + 1));
    for (int64_t y = y0; y <= y1; ++y) {
      if (!rows.SetRow(y - destY)) continue;
      out.BeginRow();
      rows.Compute(buffer.data());
      out.WriteRow(static_cast<int>(y), static_cast<int>(x0), static_cast<int>(x1), buffer.data(), rows.ColumnMask());
      if (DoProgress(this, static_cast<int>(y - y0), static_cast<int>(y1 - y0))) break;
    }
  }
  progress.End();
  Changed();
}

void TPixelGraphic::StretchFrom(TPixelGraphic& source) {
  StretchCopy(0, 0, source, source.Height(), source.Width(), 0, 0, Height(), Width());
}

// ============================================================ Rotate

void TPixelGraphic::Rotate(int destCx, int destCy, TPixelGraphic& source, int srcH, int srcW, int srcTop, int srcLeft,
                           int srcCy, int srcCx, long double angle) {
  if (Empty() || source.Empty()) return;
  const pg::TTurn turn(angle);
  if (!std::isfinite(turn.Cos) || !std::isfinite(turn.Sin)) return;
  const long double c = turn.Cos, s = turn.Sin;

  // Target range: the box around the four mapped corners of the source rectangle.
  long double minX = 0, maxX = 0, minY = 0, maxY = 0;
  const int64_t us[2] = {srcLeft, static_cast<int64_t>(srcLeft) + srcW};
  const int64_t vs[2] = {srcTop, static_cast<int64_t>(srcTop) + srcH};
  for (int i = 0; i < 4; ++i) {
    const long double du = static_cast<long double>(us[i & 1] - srcCx);
    const long double dv = static_cast<long double>(vs[i >> 1] - srcCy);
    const long double X = du * c - dv * s + destCx;
    const long double Y = du * s + dv * c + destCy;
    if (i == 0 || X < minX) minX = X;
    if (i == 0 || X > maxX) maxX = X;
    if (i == 0 || Y < minY) minY = Y;
    if (i == 0 || Y > maxY) maxY = Y;
  }
  const long double fx0 = std::max(std::floor(minX), 0.0L), fx1 = std::min(std::ceil(maxX), FWidth - 1.0L);
  const long double fy0 = std::max(std::floor(minY), 0.0L), fy1 = std::min(std::ceil(maxY), FHeight - 1.0L);
  if (fx0 > fx1 || fy0 > fy1) return;
  const int x0 = static_cast<int>(fx0), x1 = static_cast<int>(fx1);
  const int y0 = static_cast<int>(fy0), y1 = static_cast<int>(fy1);

  pg::TRotateWindow window;
  window.Left = std::max<int64_t>(srcLeft, 0);
  window.Right = std::min<int64_t>(static_cast<int64_t>(srcLeft) + srcW - 1, source.Width() - 1);
  window.Top = std::max<int64_t>(srcTop, 0);
  window.Bottom = std::min<int64_t>(static_cast<int64_t>(srcTop) + srcH - 1, source.Height() - 1);

  // A whole multiple of 90 degrees is copied pixel for pixel.
  const bool interpolate = FInterpolate && !turn.Quarter;
  const pg::TRotateRows rows(*this, source, window, turn, interpolate, destCx, destCy, srcCx, srcCy, x0, x1);
  TTargetWriter out(*this);
  TPGProgressBracket progress(*this, this);
  if (out.Is24()) {
    // 24-bit targets: the rows on the library's threads. Pixels no source
    // pixel reaches keep their value.
    pg::TRowLoop loop;
    loop.Target = this;
    loop.First = y0;
    loop.Last = y1;
    loop.Offset = 3 * static_cast<size_t>(x0);
    loop.Bytes = 3 * static_cast<size_t>(x1 - x0 + 1);
    loop.KeepUntouched = true;
    loop.Sequential = &source == this;
    // Quarter turns compute blocks of rows, so that the source is read along
    // its rows.
    const bool quarterBlocks = rows.CanQuarterBlock();
    loop.Batch = quarterBlocks ? 16 : 1;
    pg::RunRows(
        loop,
        [&]() -> pg::TRowsFunction {
          return [&rows, quarterBlocks](int y, int count, uint8_t* row, ptrdiff_t stride, uint8_t*) {
            if (quarterBlocks)
              rows.QuarterBlock(y, count, row, stride);
            else
              rows.Compute(y, row, nullptr);
          };
        },
        pg::ProgressReport(*this, y0, y1));
  } else {
    // Palette targets are written in row order: the dithering carries errors
    // from row to row and the colour cache keeps the first colour of a cell.
    std::vector<uint8_t> buffer(3 * static_cast<size_t>(x1 - x0 + 1));
    std::vector<uint8_t> mask(static_cast<size_t>(x1 - x0 + 1));
    for (int y = y0; y <= y1; ++y) {
      out.BeginRow();
      rows.Compute(y, buffer.data(), mask.data());
      out.WriteRow(y, x0, x1, buffer.data(), mask.data());
      if (DoProgress(this, y - y0, y1 - y0)) break;
    }
  }
  progress.End();
  Changed();
}

void TPixelGraphic::RotateFrom(bool resize, TPixelGraphic& source, long double angle) {
  BeginUpdate();
  try {
    const pg::TTurn turn(angle);
    const int64_t W = source.Width(), H = source.Height();
    if (resize) {
      int64_t newW = 0, newH = 0;
      pg::RotatedBounds(turn, W, H, newW, newH);
      SetSize(static_cast<int32_t>(newW), static_cast<int32_t>(newH), FBitCount);
    }
    int destCx = FWidth / 2, destCy = FHeight / 2;
    const int srcCx = static_cast<int>(W / 2), srcCy = static_cast<int>(H / 2);
    if (turn.Quarter) {
      // Quarter and half turns land every source pixel on exactly one target
      // pixel: along a reversed axis of even length the centre pixel W div 2
      // is the upper of the two middle pixels, so its image is one pixel
      // before the target's centre.
      const int evenW = (W % 2 == 0) ? 1 : 0, evenH = (H % 2 == 0) ? 1 : 0;
      switch (turn.Quadrant) {
        case 1: destCx -= evenH; break;
        case 2: destCx -= evenW; destCy -= evenH; break;
        case 3: destCy -= evenW; break;
        default: break;
      }
    }
    Rotate(destCx, destCy, source, source.Height(), source.Width(), 0, 0, srcCy, srcCx, angle);
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

// ============================================================ MirrorHorizontal

namespace {

// Pixel x of a packed row of 1 or 4 bits per pixel, and its writer.
inline uint32_t PackedPixel(const uint8_t* row, int x, int bits) {
  if (bits == 4) return (x & 1) ? (row[x >> 1] & 0x0F) : (row[x >> 1] >> 4);
  return (row[x >> 3] >> (7 - (x & 7))) & 1;
}
inline void SetPackedPixel(uint8_t* row, int x, int bits, uint32_t v) {
  if (bits == 4) {
    uint8_t& b = row[x >> 1];
    b = (x & 1) ? static_cast<uint8_t>((b & 0xF0) | v) : static_cast<uint8_t>((b & 0x0F) | (v << 4));
  } else {
    const uint8_t m = static_cast<uint8_t>(0x80 >> (x & 7));
    row[x >> 3] = v ? static_cast<uint8_t>(row[x >> 3] | m) : static_cast<uint8_t>(row[x >> 3] & ~m);
  }
}

// Row src mirrored into dst (which may be src itself), width pixels of
// bits bits; bits of dst beyond the pixels stay as they are.
void MirrorRow(const uint8_t* src, uint8_t* dst, int width, int bits) {
  switch (bits) {
    case 24:
      if (src == dst) {
        for (int l = 0, r = width - 1; l < r; ++l, --r) {
          uint8_t* a = dst + 3 * static_cast<size_t>(l);
          uint8_t* b = dst + 3 * static_cast<size_t>(r);
          std::swap(a[0], b[0]);
          std::swap(a[1], b[1]);
          std::swap(a[2], b[2]);
        }
      } else {
        for (int x = 0; x < width; ++x) std::memcpy(dst + 3 * static_cast<size_t>(x), src + 3 * static_cast<size_t>(width - 1 - x), 3);
      }
      break;
    case 8:
      if (src == dst)
        std::reverse(dst, dst + width);
      else
        std::reverse_copy(src, src + width, dst);
      break;
    default:
      for (int l = 0, r = width - 1; l <= r; ++l, --r) {
        const uint32_t a = PackedPixel(src, l, bits), b = PackedPixel(src, r, bits);
        SetPackedPixel(dst, l, bits, b);
        SetPackedPixel(dst, r, bits, a);
      }
      break;
  }
}

} // namespace

void TPixelGraphic::MirrorHorizontal() {
  if (Empty()) return;
  TPGProgressBracket progress(*this, this);
  // Each row is mirrored in itself: the rows go to the library's threads.
  const int bits = BitCountNum();
  pg::TRowLoop loop;
  loop.Target = this;
  loop.First = 0;
  loop.Last = FHeight - 1;
  loop.Bytes = static_cast<size_t>((static_cast<int64_t>(bits) * FWidth + 7) / 8);
  // A row computed elsewhere keeps the bits after its last pixel.
  loop.KeepUntouched = bits < 8;
  pg::RunRows(
      loop,
      [&]() -> pg::TRowsFunction {
        return [this, bits](int y, int, uint8_t* row, ptrdiff_t, uint8_t*) {
          MirrorRow(ScanLine(y), row, FWidth, bits);
        };
      },
      pg::ProgressReport(*this, 0, FHeight - 1));
  progress.End();
  Changed();
}
