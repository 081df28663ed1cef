#include "pgraphic/device/drawing.h"
#include "pgraphic/device/sampling.h"

#include <QImage>
#include <QPaintEngine>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace pgdevice {

void ColorTable(const TPixelGraphic& image, uint32_t lut[256]) {
  const std::vector<uint8_t>& info = image.BitmapInfo();
  const int entries = info.size() > 40 ? static_cast<int>((info.size() - 40) / 4) : 0;
  for (int i = 0; i < 256; ++i) {
    if (i < entries) {
      const uint8_t* e = info.data() + 40 + 4 * i;
      lut[i] = 0xFF000000u | (uint32_t(e[2]) << 16) | (uint32_t(e[1]) << 8) | e[0];
    } else {
      lut[i] = 0xFF000000u;
    }
  }
}

void Sample(const TPixelGraphic& image, const std::vector<int>& srcX, const std::vector<int>& srcY, QImage& out) {
  const int w = static_cast<int>(srcX.size());
  const int h = static_cast<int>(srcY.size());
  const uint8_t bitCount = image.BitCount();
  uint32_t lut[256];
  if (bitCount != bc24Bit) ColorTable(image, lut);
  std::vector<int> offset(static_cast<size_t>(w));
  // Byte offsets for 24 bit, pixel columns otherwise.
  const int step = bitCount == bc24Bit ? 3 : 1;
  for (int i = 0; i < w; ++i) offset[static_cast<size_t>(i)] = step * srcX[static_cast<size_t>(i)];
  const int* off = offset.data();
  int prevSy = -1;
  uint32_t* prevRow = nullptr;
  for (int j = 0; j < h; ++j) {
    uint32_t* o = reinterpret_cast<uint32_t*>(out.scanLine(j));
    const int sy = srcY[static_cast<size_t>(j)];
    if (sy == prevSy) {
      std::memcpy(o, prevRow, 4 * static_cast<size_t>(w));
      continue;
    }
    const uint8_t* row = image.ScanLine(sy);
    switch (bitCount) {
      case bc24Bit:
        // One 4-byte load per pixel (the pixel memory has slack after its
        // last byte): blue, green, red, x is 0xxxRRGGBB little-endian.
        for (int i = 0; i < w; ++i) {
          uint32_t v;
          std::memcpy(&v, row + off[i], 4);
          o[i] = v | 0xFF000000u;
        }
        break;
      case bc8Bit:
        for (int i = 0; i < w; ++i) o[i] = lut[row[off[i]]];
        break;
      case bc4Bit:
        for (int i = 0; i < w; ++i) {
          const int x = off[i];
          o[i] = lut[(x & 1) ? (row[x >> 1] & 0x0F) : (row[x >> 1] >> 4)];
        }
        break;
      default:
        for (int i = 0; i < w; ++i) {
          const int x = off[i];
          o[i] = lut[(row[x >> 3] >> (7 - (x & 7))) & 1];
        }
        break;
    }
    prevSy = sy;
    prevRow = o;
  }
}

} // namespace pgdevice

namespace {

using pgdevice::ColorTable;
using pgdevice::Sample;

// Destination pixel d of an extent of n pixels shows source pixel
// ((2d + 1) * s) div (2n): the source pixel under the destination pixel's centre.
inline int SourceIndex(int64_t d, int64_t n, int64_t s) { return static_cast<int>(((2 * d + 1) * s) / (2 * n)); }

// The pixels a destination extent covers, as a half-open range [lo, hi).
// A negative extent from start covers start + extent + 1 .. start.
void Covered(int start, int end, int& lo, int& hi) {
  if (end >= start) {
    lo = start;
    hi = end;
  } else {
    lo = end + 1;
    hi = start + 1;
  }
}

QPainter::CompositionMode ModeFor(uint32_t rop) {
  switch (rop) {
    case SRCPAINT:
      return QPainter::RasterOp_SourceOrDestination;
    case SRCAND:
      return QPainter::RasterOp_SourceAndDestination;
    case SRCINVERT:
      return QPainter::RasterOp_SourceXorDestination;
    case NOTSRCCOPY:
      return QPainter::RasterOp_NotSource;
    default:
      return QPainter::CompositionMode_Source;
  }
}

// A 32-bit image over the sampling memory of the drawing thread, which is
// kept and reused, so a paint allocates nothing once the largest part drawn
// has been seen.
QImage SampleBuffer(int w, int h) {
  thread_local std::vector<uint32_t> memory;
  const size_t n = static_cast<size_t>(w) * static_cast<size_t>(h);
  if (memory.size() < n) memory.resize(n);
  return QImage(reinterpret_cast<uchar*>(memory.data()), w, h, 4 * w, QImage::Format_RGB32);
}

// Samples the destination pixels of part (logical coordinates, inside the
// destination) and copies them 1:1.
void DrawPart(const TPixelGraphic& image, QPainter& painter, const TRect& dest, const QRect& part) {
  const int dw = std::abs(dest.Width()), dh = std::abs(dest.Height());
  const int sw = image.Width(), sh = image.Height();
  std::vector<int> srcX(static_cast<size_t>(part.width()));
  std::vector<int> srcY(static_cast<size_t>(part.height()));
  // A negative extent draws the mirrored picture: destination pixel d from
  // the covered area's own left (top) edge shows what a mirrored copy of the
  // picture would show there, source pixel W - 1 - SourceIndex(d). Drawing
  // mirrored and drawing a mirrored copy therefore give the same pixels.
  for (int i = 0; i < part.width(); ++i) {
    const int x = part.left() + i;
    srcX[static_cast<size_t>(i)] =
        dest.Right >= dest.Left ? SourceIndex(x - dest.Left, dw, sw) : sw - 1 - SourceIndex(x - (dest.Right + 1), dw, sw);
  }
  for (int j = 0; j < part.height(); ++j) {
    const int y = part.top() + j;
    srcY[static_cast<size_t>(j)] = dest.Bottom >= dest.Top ? SourceIndex(y - dest.Top, dh, sh)
                                                           : sh - 1 - SourceIndex(y - (dest.Bottom + 1), dh, sh);
  }
  QImage buffer = SampleBuffer(part.width(), part.height());
  Sample(image, srcX, srcY, buffer);
  painter.drawImage(part.topLeft(), buffer);
}

// Raster painters with at most an integer translation: sample only what can
// be seen. Returns false when the painter does not qualify.
bool DrawSampled(const TPixelGraphic& image, QPainter& painter, const TRect& dest, uint32_t rop) {
  QPaintEngine* engine = painter.paintEngine();
  QPaintDevice* device = painter.device();
  if (!engine || !device || engine->type() != QPaintEngine::Raster) return false;
  if (device->devicePixelRatioF() != 1.0) return false;
  const QTransform combined = painter.combinedTransform();
  const QTransform toDevice = painter.deviceTransform();
  if (combined.type() > QTransform::TxTranslate || toDevice.type() > QTransform::TxTranslate) return false;
  const double dx = combined.dx(), dy = combined.dy();
  const double ddx = toDevice.dx(), ddy = toDevice.dy();
  if (dx != std::floor(dx) || dy != std::floor(dy) || ddx != std::floor(ddx) || ddy != std::floor(ddy)) return false;

  int x0, x1, y0, y1;
  Covered(dest.Left, dest.Right, x0, x1);
  Covered(dest.Top, dest.Bottom, y0, y1);
  // The destination, cut to the device (in logical coordinates) and the clip.
  QRect visible = QRect(QPoint(x0, y0), QPoint(x1 - 1, y1 - 1));
  visible &= QRect(-static_cast<int>(dx), -static_cast<int>(dy), device->width(), device->height());
  if (painter.hasClipping()) visible &= painter.clipBoundingRect().toAlignedRect();
  if (visible.isEmpty()) return true;

  const QPainter::CompositionMode mode = painter.compositionMode();
  painter.setCompositionMode(ModeFor(rop));
  // The paint region is in the coordinates of the device underneath, which a
  // widget's painter reaches through deviceTransform. Its rectangles (the
  // strips a moving selection frame repaints, for instance) are drawn one by
  // one; a region of many pieces is drawn as its bounding rectangle.
  const QRegion system = engine->systemClip();
  if (system.isEmpty()) {
    DrawPart(image, painter, dest, visible);
  } else {
    const QRegion parts = system.translated(-static_cast<int>(ddx), -static_cast<int>(ddy)) & visible;
    if (parts.rectCount() > 16) {
      DrawPart(image, painter, dest, parts.boundingRect());
    } else {
      for (const QRect& part : parts) DrawPart(image, painter, dest, part);
    }
  }
  painter.setCompositionMode(mode);
  return true;
}

// The image's rows as a QImage without copying where Qt has a format for
// them (1, 8, 24 bit); 4-bit rows are expanded to 8 bit. The rows come
// bottom-up, so the result shows the picture upside down.
QImage RowsImage(const TPixelGraphic& image) {
  const int w = image.Width(), h = image.Height(), bpr = image.BytesPerRow();
  const uchar* bits = image.Bits();
  QImage rows;
  switch (image.BitCount()) {
    case bc24Bit:
      return QImage(bits, w, h, bpr, QImage::Format_BGR888);
    case bc8Bit:
      rows = QImage(bits, w, h, bpr, QImage::Format_Indexed8);
      break;
    case bc1Bit:
      rows = QImage(bits, w, h, bpr, QImage::Format_Mono);
      break;
    default: {
      rows = QImage(w, h, QImage::Format_Indexed8);
      for (int r = 0; r < h; ++r) {
        const uint8_t* in = bits + static_cast<size_t>(r) * static_cast<size_t>(bpr);
        uchar* o = rows.scanLine(r);
        for (int x = 0; x < w; ++x) o[x] = (x & 1) ? (in[x >> 1] & 0x0F) : (in[x >> 1] >> 4);
      }
      break;
    }
  }
  uint32_t lut[256];
  ColorTable(image, lut);
  QList<QRgb> table(image.PaletteSize());
  for (int i = 0; i < image.PaletteSize(); ++i) table[i] = lut[i];
  rows.setColorTable(table);
  return rows;
}

// Any painter: the rows drawn with a transform that flips them upright and
// maps them onto dest (mirrored along negative extents), without smoothing.
void DrawTransformed(const TPixelGraphic& image, QPainter& painter, const TRect& dest, uint32_t rop) {
  QImage rows = RowsImage(image);
  // A recording keeps the QImage it is given, which must then not point
  // into pixel memory that may change or go before the recording is played.
  if (painter.paintEngine()->type() == QPaintEngine::Picture) rows = rows.copy();
  const double sx = static_cast<double>(dest.Width()) / image.Width();
  const double sy = static_cast<double>(dest.Height()) / image.Height();
  // A negative extent covers the pixels up to and including its start.
  const double ox = dest.Width() < 0 ? dest.Left + 1 : dest.Left;
  const double oy = dest.Height() < 0 ? dest.Top + 1 : dest.Top;
  painter.save();
  painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
  if (rop != SRCCOPY && painter.paintEngine()->hasFeature(QPaintEngine::RasterOpModes))
    painter.setCompositionMode(ModeFor(rop));
  // Stored row r (0 = bottom) is logical row H - 1 - r: y' = oy + (H - r) * sy.
  painter.setWorldTransform(QTransform(sx, 0, 0, -sy, ox, oy + image.Height() * sy), true);
  painter.drawImage(QPointF(0, 0), rows);
  painter.restore();
}

} // namespace

void DrawToDC(const TPixelGraphic& image, QPainter& painter, const TRect& dest, bool /*forceBackground*/,
              uint32_t rop) {
  if (image.Empty() || !painter.isActive()) return;
  if (dest.Width() == 0 || dest.Height() == 0) return;
  if (DrawSampled(image, painter, dest, rop)) return;
  DrawTransformed(image, painter, dest, rop);
}

void StretchDraw(QPainter& painter, const TRect& dest, const TPixelGraphic& image, uint32_t rop) {
  DrawToDC(image, painter, dest, true, rop);
}

void Draw(QPainter& painter, int x, int y, const TPixelGraphic& image, uint32_t rop) {
  DrawToDC(image, painter, Rect(x, y, x + image.Width(), y + image.Height()), true, rop);
}

QImage ToQImage(const TPixelGraphic& image) {
  if (image.Empty()) return QImage();
  QImage out(image.Width(), image.Height(), QImage::Format_RGB32);
  std::vector<int> srcX(static_cast<size_t>(image.Width())), srcY(static_cast<size_t>(image.Height()));
  for (int i = 0; i < image.Width(); ++i) srcX[static_cast<size_t>(i)] = i;
  for (int j = 0; j < image.Height(); ++j) srcY[static_cast<size_t>(j)] = j;
  Sample(image, srcX, srcY, out);
  return out;
}
