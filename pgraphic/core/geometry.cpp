#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <numbers>
#include <vector>

#include "pgraphic/core/pixelgraphic.h"
#include "pgraphic/core/pixelrows.h"
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
  DoProgressStart(this);
  for (int64_t y = y0; y <= y1; ++y) {
    const int64_t sy = y + shiftY;
    if (sy < 0 || sy >= source.Height()) continue;
    if (blockMove) {
      // 24 to 24 bit: the overlapping span of the row as one block.
      std::memmove(ScanLine(static_cast<int>(y)) + 3 * x0, src.Row(static_cast<int>(sy)) + 3 * (x0 + shiftX),
                   3 * count);
      continue;
    }
    out.BeginRow();
    const uint8_t* colors = src.RowBGR(static_cast<int>(sy), static_cast<int>(x0 + shiftX),
                                       static_cast<int>(x1 + shiftX), buffer.data());
    out.WriteRow(static_cast<int>(y), static_cast<int>(x0), static_cast<int>(x1), colors, nullptr);
    if (DoProgress(this, static_cast<int>(y - y0), static_cast<int>(y1 - y0))) break;
  }
  DoProgressEnd(this);
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
  DoProgressStart(this);
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
  DoProgressEnd(this);
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
  pg::TRotateRows rows(*this, source, window, turn, interpolate, destCx, destCy, srcCx, srcCy, x0, x1);
  TTargetWriter out(*this);
  std::vector<uint8_t> buffer(out.Is24() ? 0 : 3 * static_cast<size_t>(x1 - x0 + 1));
  std::vector<uint8_t> mask(static_cast<size_t>(x1 - x0 + 1));
  DoProgressStart(this);
  if (out.Is24() && rows.CanQuarterBlock()) {
    // Blocks of target rows, so that the source is read along its rows; each
    // row is stored and reported in turn, so an abort keeps exactly the rows
    // reported so far.
    constexpr int kBlock = 16;
    const size_t rowBytes = 3 * static_cast<size_t>(x1 - x0 + 1);
    std::vector<uint8_t> block(kBlock * rowBytes);
    bool aborted = false;
    for (int yb = y0; yb <= y1 && !aborted; yb += kBlock) {
      const int n = std::min(kBlock, y1 - yb + 1);
      for (int j = 0; j < n; ++j)
        std::memcpy(block.data() + j * rowBytes, ScanLine(yb + j) + 3 * static_cast<size_t>(x0), rowBytes);
      rows.QuarterBlock(yb, n, block.data(), rowBytes);
      for (int j = 0; j < n && !aborted; ++j) {
        std::memcpy(ScanLine(yb + j) + 3 * static_cast<size_t>(x0), block.data() + j * rowBytes, rowBytes);
        aborted = DoProgress(this, yb + j - y0, y1 - y0);
      }
    }
    DoProgressEnd(this);
    Changed();
    return;
  }
  for (int y = y0; y <= y1; ++y) {
    out.BeginRow();
    if (out.Is24()) {
      rows.Compute(y, ScanLine(y) + 3 * static_cast<size_t>(x0), nullptr);
    } else {
      rows.Compute(y, buffer.data(), mask.data());
      out.WriteRow(y, x0, x1, buffer.data(), mask.data());
    }
    if (DoProgress(this, y - y0, y1 - y0)) break;
  }
  DoProgressEnd(this);
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

void TPixelGraphic::MirrorHorizontal() {
  if (Empty()) return;
  DoProgressStart(this);
  for (int y = 0; y < FHeight; ++y) {
    uint8_t* row = ScanLine(y);
    switch (FBitCount) {
      case bc24Bit:
        for (int l = 0, r = FWidth - 1; l < r; ++l, --r) {
          uint8_t* a = row + 3 * static_cast<size_t>(l);
          uint8_t* b = row + 3 * static_cast<size_t>(r);
          std::swap(a[0], b[0]);
          std::swap(a[1], b[1]);
          std::swap(a[2], b[2]);
        }
        break;
      case bc8Bit:
        std::reverse(row, row + FWidth);
        break;
      default:
        for (int l = 0, r = FWidth - 1; l < r; ++l, --r) {
          const uint32_t a = Pixels(l, y), b = Pixels(r, y);
          SetPixels(l, y, b);
          SetPixels(r, y, a);
        }
        break;
    }
    if (DoProgress(this, y, FHeight - 1)) break;
  }
  DoProgressEnd(this);
  Changed();
}
