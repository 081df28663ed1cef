#include "pgraphic/device/canvas.h"

#include <QFontMetrics>
#include <QImage>

#include <algorithm>
#include <cmath>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "pgraphic/device/sampling.h"

// ---------------------------------------------------------------- the list

namespace {

std::mutex& ListMutex() {
  static std::mutex m;
  return m;
}
std::vector<TPGCanvas*>& List() {
  static std::vector<TPGCanvas*> list;
  return list;
}

TColorRef FromRgb(QRgb c) { return RGBColor(qRed(c), qGreen(c), qBlue(c)); }

// The pixel area a figure may touch: its bounds grown by half the pen width
// and a pixel of rounding on every side.
TRect Grown(int left, int top, int right, int bottom, const QPen& pen) {
  const int m = pen.style() == Qt::NoPen ? 1 : static_cast<int>(std::ceil(pen.widthF() / 2)) + 2;
  return Rect(std::min(left, right) - m, std::min(top, bottom) - m, std::max(left, right) + m,
              std::max(top, bottom) + m);
}

} // namespace

// ---------------------------------------------------------------- painter

struct TPGCanvasPainter::TState {
  TPGCanvas* Canvas = nullptr;  // null once stored or abandoned
  QRect Area;                   // inside the image; may be empty
  QImage Surface;
  QImage Original;              // palette images: the surface as loaded
  QPainter Painter;
};

TPGCanvasPainter::TPGCanvasPainter(std::unique_ptr<TState> state) : FState(std::move(state)) {}
TPGCanvasPainter::TPGCanvasPainter(TPGCanvasPainter&&) noexcept = default;
TPGCanvasPainter& TPGCanvasPainter::operator=(TPGCanvasPainter&& other) noexcept {
  if (this != &other) {
    End();
    FState = std::move(other.FState);
  }
  return *this;
}
TPGCanvasPainter::~TPGCanvasPainter() { End(); }

QPainter& TPGCanvasPainter::operator*() { return FState->Painter; }

void TPGCanvasPainter::End() {
  if (FState && FState->Canvas) FState->Canvas->Store(*FState);
}

// ---------------------------------------------------------------- canvas

TPGCanvas::TPGCanvas(TPixelGraphic& image) : FImage(image) { Pen.setCapStyle(Qt::FlatCap); }

TPGCanvas::~TPGCanvas() { ReleaseDC(); }

void TPGCanvas::Acquire() {
  if (FHandleAllocated) return;
  std::lock_guard<std::mutex> lock(ListMutex());
  List().push_back(this);
  FHandleAllocated = true;
}

void TPGCanvas::ReleaseDC() {
  if (FOpen) {
    // The pixel memory is about to change: what the painter drew is dropped.
    FOpen->Painter.end();
    FOpen->Canvas = nullptr;
    FOpen = nullptr;
  }
  if (!FHandleAllocated) return;
  std::lock_guard<std::mutex> lock(ListMutex());
  std::vector<TPGCanvas*>& list = List();
  list.erase(std::remove(list.begin(), list.end(), this), list.end());
  FHandleAllocated = false;
}

TPGCanvasPainter TPGCanvas::BeginPaint() { return BeginPaint(Rect(0, 0, FImage.Width(), FImage.Height())); }

TPGCanvasPainter TPGCanvas::BeginPaint(const TRect& area) {
  if (FOpen) Store(*FOpen);
  Acquire();
  auto state = std::make_unique<TPGCanvasPainter::TState>();
  state->Canvas = this;
  state->Area = QRect(QPoint(area.Left, area.Top), QPoint(area.Right - 1, area.Bottom - 1)) &
                QRect(0, 0, FImage.Width(), FImage.Height());
  const QRect a = state->Area;
  state->Surface = QImage(std::max(1, a.width()), std::max(1, a.height()), QImage::Format_RGB32);
  if (!a.isEmpty()) {
    std::vector<int> xs(static_cast<size_t>(a.width())), ys(static_cast<size_t>(a.height()));
    for (int i = 0; i < a.width(); ++i) xs[static_cast<size_t>(i)] = a.left() + i;
    for (int j = 0; j < a.height(); ++j) ys[static_cast<size_t>(j)] = a.top() + j;
    pgdevice::Sample(FImage, xs, ys, state->Surface);
    if (FImage.BitCount() != bc24Bit) state->Original = state->Surface.copy();
  }
  QPainter& p = state->Painter;
  p.begin(&state->Surface);
  p.translate(-a.left(), -a.top());
  if (a.isEmpty()) p.setClipRect(QRect(a.left(), a.top(), 0, 0));
  p.setPen(Pen);
  p.setBrush(Brush);
  p.setFont(Font);
  p.setCompositionMode(PenMode);
  // No smoothing: every pixel drawn takes one colour, as on a palette device.
  p.setRenderHint(QPainter::TextAntialiasing, false);
  FOpen = state.get();
  return TPGCanvasPainter(std::move(state));
}

uint32_t TPGCanvas::IndexOf(TColorRef color) {
  for (int i = 0; i < FImage.PaletteCount(); ++i)
    if (FImage.PaletteData()[i] == color) return static_cast<uint32_t>(i);
  return FImage.ColorToIndex(color);
}

void TPGCanvas::Store(TPGCanvasPainter::TState& state) {
  state.Painter.end();
  state.Canvas = nullptr;
  if (FOpen == &state) FOpen = nullptr;
  const QRect a = state.Area;
  if (a.isEmpty()) return;
  if (FImage.BitCount() == bc24Bit) {
    for (int j = 0; j < a.height(); ++j) {
      const QRgb* in = reinterpret_cast<const QRgb*>(state.Surface.constScanLine(j));
      uint8_t* o = FImage.ScanLine(a.top() + j) + 3 * static_cast<size_t>(a.left());
      for (int i = 0; i < a.width(); ++i, o += 3) {
        o[0] = static_cast<uint8_t>(qBlue(in[i]));
        o[1] = static_cast<uint8_t>(qGreen(in[i]));
        o[2] = static_cast<uint8_t>(qRed(in[i]));
      }
    }
  } else {
    // Only pixels the drawing changed are mapped back, so untouched pixels
    // keep their index even where two entries share a colour.
    std::unordered_map<QRgb, uint32_t> index;
    for (int j = 0; j < a.height(); ++j) {
      const QRgb* in = reinterpret_cast<const QRgb*>(state.Surface.constScanLine(j));
      const QRgb* was = reinterpret_cast<const QRgb*>(state.Original.constScanLine(j));
      for (int i = 0; i < a.width(); ++i) {
        if (in[i] == was[i]) continue;
        auto it = index.find(in[i]);
        if (it == index.end()) it = index.emplace(in[i], IndexOf(FromRgb(in[i]))).first;
        FImage.SetPixels(a.left() + i, a.top() + j, it->second);
      }
    }
  }
  FImage.Changed();
}

void TPGCanvas::LineTo(int x, int y) {
  const QPoint from = PenPos;
  PenPos = QPoint(x, y);
  if (from == PenPos) return;
  TPGCanvasPainter p = BeginPaint(Grown(from.x(), from.y(), x, y, Pen));
  if (Pen.widthF() <= 1) {
    // A flat cap leaves out the end point of thin lines.
    QPen pen = Pen;
    pen.setCapStyle(Qt::FlatCap);
    p->setPen(pen);
  }
  p->drawLine(from, PenPos);
}

void TPGCanvas::Rectangle(int left, int top, int right, int bottom) {
  if (right - left < 1 || bottom - top < 1) return;
  TPGCanvasPainter p = BeginPaint(Grown(left, top, right, bottom, Pen));
  if (Pen.style() == Qt::NoPen)
    p->fillRect(QRect(left, top, right - left, bottom - top), Brush);
  else
    p->drawRect(QRect(left, top, right - left - 1, bottom - top - 1));
}

void TPGCanvas::Ellipse(int left, int top, int right, int bottom) {
  if (right - left < 1 || bottom - top < 1) return;
  TPGCanvasPainter p = BeginPaint(Grown(left, top, right, bottom, Pen));
  p->drawEllipse(QRect(left, top, right - left - 1, bottom - top - 1));
}

void TPGCanvas::FillRect(const TRect& r) {
  if (r.Width() < 1 || r.Height() < 1) return;
  TPGCanvasPainter p = BeginPaint(r);
  p->fillRect(QRect(r.Left, r.Top, r.Width(), r.Height()), Brush);
}

void TPGCanvas::TextOut(int x, int y, const QString& text) {
  const QFontMetrics fm(Font);
  const QRect cell(x, y, fm.horizontalAdvance(text), fm.height());
  const QRect ink = fm.boundingRect(text).translated(x, y + fm.ascent()) | cell;
  TPGCanvasPainter p = BeginPaint(Rect(ink.left() - 1, ink.top() - 1, ink.right() + 2, ink.bottom() + 2));
  if (Brush.style() != Qt::NoBrush) p->fillRect(cell, Brush.color());
  p->setPen(FontColor);
  p->drawText(x, y + fm.ascent(), text);
}

void TPGCanvas::Draw(int x, int y, const TPixelGraphic& graphic) {
  StretchDraw(Rect(x, y, x + graphic.Width(), y + graphic.Height()), graphic);
}

void TPGCanvas::StretchDraw(const TRect& r, const TPixelGraphic& graphic) {
  if (graphic.Empty() || r.Width() == 0 || r.Height() == 0) return;
  const TRect covered = Rect(std::min(r.Left, r.Right + 1), std::min(r.Top, r.Bottom + 1),
                             std::max(r.Right, r.Left + 1), std::max(r.Bottom, r.Top + 1));
  TPGCanvasPainter p = BeginPaint(covered);
  DrawToDC(graphic, *p, r, true, CopyMode);
}

void TPGCanvas::SetPixels(int x, int y, TColorRef color) {
  Acquire();
  if (FOpen) Store(*FOpen);
  FImage.SetPixels(x, y, FImage.BitCount() == bc24Bit ? (color & 0xFFFFFFu) : IndexOf(color & 0xFFFFFFu));
  FImage.Changed();
}

// ---------------------------------------------------------------- library-wide

TPGCanvas& Canvas(TPixelGraphic& image) {
  if (auto* canvas = dynamic_cast<TPGCanvas*>(image.CanvasLink())) return *canvas;
  auto canvas = std::make_unique<TPGCanvas>(image);
  TPGCanvas& result = *canvas;
  image.SetCanvasLink(std::move(canvas));
  return result;
}

void ReleaseCanvasDC(TPixelGraphic& image) { image.ReleaseCanvasDC(); }

void ReleaseAllCanvasDCs() {
  for (;;) {
    TPGCanvas* canvas;
    {
      std::lock_guard<std::mutex> lock(ListMutex());
      if (List().empty()) return;
      canvas = List().back();
    }
    canvas->ReleaseDC();
  }
}

int CanvasDCCount() {
  std::lock_guard<std::mutex> lock(ListMutex());
  return static_cast<int>(List().size());
}
