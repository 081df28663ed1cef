#pragma once

#include <QBrush>
#include <QFont>
#include <QPainter>
#include <QPen>
#include <QPoint>
#include <QString>

#include <memory>

#include "pgraphic/core/pixelgraphic.h"
#include "pgraphic/device/drawing.h"

class TPGCanvas;

// An open drawing on a canvas: a painter in image coordinates (x right, y
// down, (0, 0) the top-left pixel) over a 32-bit surface holding the part of
// the image being drawn. When the handle ends (or is ended), what was drawn
// is stored into the image's pixels (palette images: each colour of the
// palette becomes its own index, other colours the nearest entry; pixels left
// untouched keep their index) and the image's Changed runs. So a Pixels read
// after the drawing sees it. Resizing the image or changing its palette while
// the handle is open abandons the drawing.
class TPGCanvasPainter {
public:
  TPGCanvasPainter(TPGCanvasPainter&&) noexcept;
  TPGCanvasPainter& operator=(TPGCanvasPainter&&) noexcept;
  ~TPGCanvasPainter();

  QPainter& operator*();
  QPainter* operator->() { return &**this; }
  // Stores the drawing now (the destructor then does nothing).
  void End();

private:
  friend class TPGCanvas;
  struct TState;
  explicit TPGCanvasPainter(std::unique_ptr<TState> state);
  std::unique_ptr<TState> FState;
};

// The canvas of an image: draws with Qt into the image's pixels. Every
// drawing operation takes the part of the image it touches onto a 32-bit
// surface, draws there and stores the result back before it returns, so the
// image never lags behind the drawing. While the canvas has drawn and has not
// been released since, it holds a "device context" (HandleAllocated) and is
// listed library-wide; the image releases it before it reallocates its pixels
// or changes its palette.
class TPGCanvas : public TPGCanvasLink {
public:
  explicit TPGCanvas(TPixelGraphic& image);
  ~TPGCanvas() override;
  TPGCanvas(const TPGCanvas&) = delete;
  TPGCanvas& operator=(const TPGCanvas&) = delete;

  TPixelGraphic& Image() const { return FImage; }

  // Drawing state, with the platform canvas's defaults: a black pen one pixel
  // wide, a solid white brush, the application font in black, copy mode SRCCOPY.
  QPen Pen{QColor(0, 0, 0), 1};
  QBrush Brush{QColor(255, 255, 255)};
  QFont Font;
  QColor FontColor{0, 0, 0};
  // How the pen and brush combine with the pixels (CompositionMode_SourceOver
  // draws; RasterOp_SourceXorDestination inverts, as a XOR pen does).
  QPainter::CompositionMode PenMode = QPainter::CompositionMode_SourceOver;
  uint32_t CopyMode = SRCCOPY;  // rop of Draw and StretchDraw
  QPoint PenPos;

  void MoveTo(int x, int y) { PenPos = QPoint(x, y); }
  // A line from the pen position to (x, y), the end point excluded (with
  // pens up to one pixel wide); the pen position moves there.
  void LineTo(int x, int y);
  // Outline with the pen, interior with the brush; right and bottom exclusive.
  void Rectangle(int left, int top, int right, int bottom);
  void Ellipse(int left, int top, int right, int bottom);
  // The brush alone over left..right-1, top..bottom-1.
  void FillRect(const TRect& r);
  // Text with its cell's top-left corner at (x, y), on the brush colour
  // unless the brush is Qt::NoBrush.
  void TextOut(int x, int y, const QString& text);
  void Draw(int x, int y, const TPixelGraphic& graphic);
  void StretchDraw(const TRect& r, const TPixelGraphic& graphic);
  // Pixel colours (COLORREF); outside the image: the image's rule.
  TColorRef Pixels(int x, int y) const { return FImage.PixelColors(x, y); }
  void SetPixels(int x, int y, TColorRef color);

  // Any other drawing: a painter over area (the whole image by default),
  // set up with Pen, Brush, Font and PenMode.
  TPGCanvasPainter BeginPaint(const TRect& area);
  TPGCanvasPainter BeginPaint();

  bool HandleAllocated() const { return FHandleAllocated; }
  // Leaves the list of canvases holding a device context; an open painter
  // is abandoned.
  void ReleaseDC() override;

private:
  friend class TPGCanvasPainter;
  void Acquire();
  // Index for a colour: its own palette entry when it has one, else nearest.
  uint32_t IndexOf(TColorRef color);
  void Store(TPGCanvasPainter::TState& state);

  TPixelGraphic& FImage;
  bool FHandleAllocated = false;
  TPGCanvasPainter::TState* FOpen = nullptr;
};

// The image's canvas, created (and attached to the image) on first use.
TPGCanvas& Canvas(TPixelGraphic& image);
// The image's canvas, if any, releases its device context.
void ReleaseCanvasDC(TPixelGraphic& image);
// Every canvas holding a device context releases it.
void ReleaseAllCanvasDCs();
// The number of canvases holding a device context.
int CanvasDCCount();
