// Alignment input on the left and right views: the view events the main
// window binds, the tilt-line animation timer and the crop. The mouse input
// of identical points, second points and tilt lines, the markers and the
// marching tilt lines are drawn here.
//
// Everything drawn over a picture is drawn by the picture box's paint hook
// from the state kept here (points, lines, drag state, animation pattern):
// a handler changes the state and repaints the pixels concerned at once.
// The picture box's coordinates are the picture's view coordinates
// (ImageToViewX/Y), so scrolling needs no correction here.
#include <bit>
#include <cstdlib>
#include <vector>

#include <QApplication>
#include <QPainter>
#include <QPolygon>
#include <QRegion>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>

#include "app/desktop/mainform.h"
#include "pgraphic/core/pixelgraphic.h"
#include "pgraphic/device/canvas.h"
#include "platform/messagebox.h"

namespace {

bool Defined(const TStereoPoint& p) { return p.X > 0 && p.Y > 0; }

// A line is present when its four coordinates add up to more than 0 (64-bit:
// coordinates from a parameter file may be anything).
bool Present(const TStereoLine& l) {
  return static_cast<int64_t>(l.X1) + l.Y1 + l.X2 + l.Y2 > 0;
}

// The steps i (0 <= i < n) of a line whose coordinate along its longer axis,
// start + step * i, lies within lo..hi: first > last when there is none.
// Lines of a picture at a high zoom run far beyond the screen, so drawing
// and repainting visit only these steps.
struct TStepRange {
  int64_t First, Last;
};
TStepRange StepsWithin(int64_t start, int64_t step, int64_t n, int64_t lo, int64_t hi) {
  int64_t first = step > 0 ? lo - start : start - hi, last = step > 0 ? hi - start : start - lo;
  return {std::max<int64_t>(first, 0), std::min<int64_t>(last, n - 1)};
}

// The points of a line from (x1, y1) to (x2, y2), the end point excluded, in
// the order a digital differential analyser reports them: one point per step
// along the longer axis, the shorter coordinate rounded. Only the steps whose
// longer-axis coordinate lies within clip are reported, point(x, y, i) with
// the step's number i, exactly as the whole line would report them.
template <class F>
void LineDDA(int x1, int y1, int x2, int y2, const QRect& clip, F&& point) {
  const int64_t dx = static_cast<int64_t>(x2) - x1, dy = static_cast<int64_t>(y2) - y1;
  const int64_t ax = std::llabs(dx), ay = std::llabs(dy);
  const int64_t n = std::max(ax, ay);
  if (n == 0) return;
  const bool xMajor = ax >= ay;
  const int64_t major1 = xMajor ? x1 : y1, majorStep = (xMajor ? dx : dy) < 0 ? -1 : 1;
  const int64_t minorStep = (xMajor ? dy : dx) < 0 ? -1 : 1;
  const int64_t a = xMajor ? ax : ay, b = xMajor ? ay : ax; // longer and shorter extent
  const TStepRange r = StepsWithin(major1, majorStep, n, xMajor ? clip.left() : clip.top(),
                                   xMajor ? clip.right() : clip.bottom());
  if (r.First > r.Last) return;
  // The error term starts at a / 2 and loses b per step; each time it drops
  // below 0 the shorter coordinate moves and the term gains a. Before step i
  // it has moved ceil((i b - a / 2) / a) times (at least 0).
  const __int128 num = static_cast<__int128>(r.First) * b - a / 2;
  const int64_t moves = num <= 0 ? 0 : static_cast<int64_t>((num + a - 1) / a);
  int64_t err = static_cast<int64_t>(a / 2 - static_cast<__int128>(r.First) * b + static_cast<__int128>(moves) * a);
  int64_t minor = (xMajor ? y1 : x1) + minorStep * moves;
  for (int64_t i = r.First; i <= r.Last; ++i) {
    const int64_t major = major1 + majorStep * i;
    if (xMajor)
      point(static_cast<int>(major), static_cast<int>(minor), i);
    else
      point(static_cast<int>(minor), static_cast<int>(major), i);
    err -= b;
    if (err < 0) {
      minor += minorStep;
      err += a;
    }
  }
}

// The line's end points in the view's picture-box coordinates.
struct TViewLine {
  int X1, Y1, X2, Y2;
};
TViewLine ToView(const TPGImage& view, const TStereoLine& l) {
  return {view.ImageToViewX(l.X1), view.ImageToViewY(l.Y1), view.ImageToViewX(l.X2), view.ImageToViewY(l.Y2)};
}

// The pixels of a line covered by small rectangles, so that repainting a
// diagonal line does not repaint the whole rectangle it spans. Only the
// pieces near the visible rectangle are visited.
void AddLineRegion(QRegion& region, const TViewLine& l, const QRect& visible) {
  constexpr int kChunk = 24;
  const int64_t dx = static_cast<int64_t>(l.X2) - l.X1, dy = static_cast<int64_t>(l.Y2) - l.Y1;
  const int64_t extent = std::max(std::llabs(dx), std::llabs(dy));
  const int64_t n = std::max<int64_t>(1, (extent + kChunk - 1) / kChunk);
  // Piece i spans extent * i / n .. extent * (i + 1) / n along the longer
  // axis; the pieces within reach of the visible rectangle are those whose
  // offsets meet the visible range, give or take one piece.
  int64_t first = 0, last = n - 1;
  if (extent > 0) {
    const bool xMajor = std::llabs(dx) >= std::llabs(dy);
    const TStepRange r = StepsWithin(xMajor ? l.X1 : l.Y1, (xMajor ? dx : dy) < 0 ? -1 : 1, extent + 1,
                                     (xMajor ? visible.left() : visible.top()) - 2,
                                     (xMajor ? visible.right() : visible.bottom()) + 2);
    if (r.First > r.Last) return;
    first = std::max<int64_t>(0, static_cast<int64_t>(static_cast<__int128>(r.First) * n / extent) - 1);
    last = std::min<int64_t>(n - 1, static_cast<int64_t>(static_cast<__int128>(r.Last) * n / extent) + 1);
  }
  for (int64_t i = first; i <= last; ++i) {
    const int ax = static_cast<int>(l.X1 + dx * i / n), ay = static_cast<int>(l.Y1 + dy * i / n);
    const int bx = static_cast<int>(l.X1 + dx * (i + 1) / n), by = static_cast<int>(l.Y1 + dy * (i + 1) / n);
    const QRect r(QPoint(std::min(ax, bx) - 2, std::min(ay, by) - 2), QPoint(std::max(ax, bx) + 2, std::max(ay, by) + 2));
    if (r.intersects(visible)) region += r;
  }
}

// A horizontal or vertical stroke from a to b, b excluded (MoveTo/LineTo).
void Stroke(QPainter& c, const QColor& color, int x1, int y1, int x2, int y2) {
  if (y1 == y2) {
    if (x2 > x1) c.fillRect(x1, y1, x2 - x1, 1, color);
    if (x2 < x1) c.fillRect(x2 + 1, y1, x1 - x2, 1, color);
  } else {
    if (y2 > y1) c.fillRect(x1, y1, 1, y2 - y1, color);
    if (y2 < y1) c.fillRect(x1, y2 + 1, 1, y1 - y2, color);
  }
}

// A circle outline inside the bounding box (l, t, r, b), right and bottom
// exclusive, 1 pixel wide, not filled.
void Circle(QPainter& c, const QColor& color, int l, int t, int r, int b) {
  c.setBrush(Qt::NoBrush);
  c.setPen(QPen(color, 0));
  c.drawEllipse(QRect(l, t, r - l - 1, b - t - 1));
}

// The marker of an identical point (kind 1, red ring) or a second point
// (kind 2, green ring) centred at (x, y).
void DrawMarker(QPainter& c, int x, int y, int kind) {
  c.save();
  c.setRenderHint(QPainter::Antialiasing, false);
  c.setCompositionMode(QPainter::CompositionMode_SourceOver);
  const QColor black(0, 0, 0), white(255, 255, 255);
  Stroke(c, black, x - 5, y, x + 6, y);
  Stroke(c, black, x, y - 5, x, y + 6);
  Stroke(c, white, x - 5, y - 1, x - 1, y - 1);
  Stroke(c, white, x - 1, y - 1, x - 1, y - 6);
  Stroke(c, white, x + 1, y - 5, x + 1, y - 1);
  Stroke(c, white, x + 1, y - 1, x + 6, y - 1);
  Stroke(c, white, x + 5, y + 1, x + 1, y + 1);
  Stroke(c, white, x + 1, y + 1, x + 1, y + 6);
  Stroke(c, white, x - 1, y + 5, x - 1, y + 1);
  Stroke(c, white, x - 1, y + 1, x - 6, y + 1);
  Circle(c, white, x - 6, y - 6, x + 7, y + 7);
  Circle(c, kind == 1 ? QColor(255, 0, 0) : QColor(0, 128, 0), x - 7, y - 7, x + 8, y + 8);
  c.restore();
  ReleaseAllCanvasDCs();
}

} // namespace

void TMain::BindAlignmentEvents() {
  for (TPGImage* view : {FImLinks, FImRechts}) {
    view->PicBoxOnMouseDown = [this, view](TObject*, Qt::MouseButton button, Qt::KeyboardModifiers shift, int x,
                                           int y) { Guarded([&] { ImPicBoxOnMouseDown(view, button, shift, x, y); }); };
    view->PicBoxOnMouseMove = [this, view](TObject*, Qt::MouseButtons, Qt::KeyboardModifiers shift, int x, int y) {
      Guarded([&] { ImPicBoxOnMouseMove(view, shift, x, y); });
    };
    view->PicBoxOnMouseUp = [this, view](TObject*, Qt::MouseButton button, Qt::KeyboardModifiers shift, int x,
                                         int y) { Guarded([&] { ImPicBoxOnMouseUp(view, button, shift, x, y); }); };
    view->PicBoxOnPaint = [this, view](TObject*, QPainter& canvas) { ImPicBoxOnPaint(view, canvas); };
    view->PicBoxOnSetCursor = [this, view](TObject*, QCursor& cursor) { ImLinksPicBoxOnSetCursor(view, cursor); };
    view->OnPixelGraphicProgressStart = [this](TObject*) { ImPixelGraphicProgressStart(); };
    view->OnPixelGraphicProgressEnd = [this](TObject*) { ImPixelGraphicProgressEnd(); };
  }
  for (TPGImage* view : {FImLinks, FImRechts, FImStereo})
    view->OnSelectionMade = [this, view](TObject*) { Guarded([&] { ImSelectionMade(view); }); };
}

void TMain::RepaintLine(TPGImage* view, const TStereoLine& line, const TStereoLine* also) {
  // Only the part of the line on screen is repainted.
  const QRect visible = view->PicBox()->visibleRegion().boundingRect();
  QRegion region;
  AddLineRegion(region, ToView(*view, line), visible);
  if (also) AddLineRegion(region, ToView(*view, *also), visible);
  if (region.isEmpty()) return;
  view->PicBox()->repaint(region);
}

void TMain::ImPicBoxOnMouseDown(TPGImage*, Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y) {
  if (button == Qt::RightButton) return;
  const bool left = ActivePage() == FTabSheet1;
  TPGImage* view = left ? FImLinks : FImRechts;
  TSideAlignment& side = left ? FAlignment.Left : FAlignment.Right;
  FLineView = view;
  const TStereoPoint p{view->ViewToImageX(x), view->ViewToImageY(y)};
  if (BtLock->isChecked()) {
    // The Ctrl state of this very press (the event's modifiers) decides
    // between the identical point and the second point.
    const bool second = shift.testFlag(Qt::ControlModifier);
    const TStereoPoint& before = second ? side.TurnPoint : side.Point;
    if (before.X != p.X || before.Y != p.Y || (second && (side.Line.X1 | side.Line.Y1 | side.Line.X2 | side.Line.Y2) != 0))
      AlignmentChanging(PartOf(view), second ? "Zweiter Punkt" : "Identischer Punkt");
    if (second) {
      side.TurnPoint = p;
      side.Line = TStereoLine{};
    } else {
      side.Point = p;
    }
    view->Invalidate();
  } else if (BtLine->isChecked()) {
    AlignmentChanging(PartOf(view), "Verkantungslinie");
    side.TurnPoint = TStereoPoint{};
    // The XOR line and the marching pixels of the old line go; the new line
    // starts as a single point.
    FTimer1->stop();
    const TStereoLine old = side.Line;
    side.Line = TStereoLine{p.X, p.Y, p.X, p.Y};
    FLineDragging = true;
    RepaintLine(view, old, &side.Line);
  }
}

void TMain::ImPicBoxOnMouseMove(TPGImage* view, Qt::KeyboardModifiers, int x, int y) {
  // The picture's pixel under the mouse, in the coordinates points and lines
  // are kept in (the picture box's own differ whenever the zoom is not 1).
  ShowProgress(std::to_string(view->ViewToImageX(x)) + "," + std::to_string(view->ViewToImageY(y)), 0);
  if (!FLineDragging || !FLineView) return;
  TSideAlignment& side = FLineView == FImLinks ? FAlignment.Left : FAlignment.Right;
  const TStereoLine old = side.Line;
  side.Line.X2 = FLineView->ViewToImageX(x);
  side.Line.Y2 = FLineView->ViewToImageY(y);
  RepaintLine(FLineView, old, &side.Line);
}

void TMain::ImPicBoxOnMouseUp(TPGImage*, Qt::MouseButton, Qt::KeyboardModifiers, int, int) {
  if (!FLineDragging) return;
  FLineDragging = false;
  if (FLineView) FLineView->Invalidate();
}

void TMain::ImPicBoxOnPaint(TPGImage* view, QPainter& canvas) {
  const TSideAlignment& side = view == FImLinks ? FAlignment.Left : FAlignment.Right;
  // Markers: identical point (kind 1) under the second point (kind 2).
  if (Defined(side.Point)) DrawMarker(canvas, view->ImageToViewX(side.Point.X), view->ImageToViewY(side.Point.Y), 1);
  if (Defined(side.TurnPoint))
    DrawMarker(canvas, view->ImageToViewX(side.TurnPoint.X), view->ImageToViewY(side.TurnPoint.Y), 2);

  // Points outside the area being painted are left out.
  const QRect clip =
      canvas.hasClipping() ? canvas.clipBoundingRect().toAlignedRect() : QRect(QPoint(0, 0), view->PicBox()->size());
  if (FLineDragging && view == FLineView) {
    // The line being dragged, white XOR 1 pixel wide: drawn over the picture
    // it stays readable on any background.
    QPolygon points;
    const TViewLine l = ToView(*view, side.Line);
    LineDDA(l.X1, l.Y1, l.X2, l.Y2, clip, [&](int px, int py, int64_t) {
      if (clip.contains(px, py)) points << QPoint(px, py);
    });
    canvas.save();
    canvas.setRenderHint(QPainter::Antialiasing, false);
    canvas.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
    canvas.setPen(QPen(QColor(255, 255, 255), 0));
    canvas.drawPoints(points);
    canvas.restore();
    return;
  }

  // The line of the active tab's side, in the animation's current dashes:
  // drawn by every paint, so that it shows at once after a load or a
  // repaint, also while another window is active (the dashes then stand
  // still: the animation runs only in the active window).
  const bool activeSide = (view == FImLinks && ActivePage() == FTabSheet1) ||
                          (view == FImRechts && ActivePage() == FTabSheet2);
  if (activeSide && Present(side.Line)) {
    const QRgb windowColour = palette().color(QPalette::Window).rgb();
    QPolygon dark, light;
    // The dash pattern is one bit moved on by every step of the line (from
    // bit 7 back to bit 0), so step i's pattern follows from i alone.
    const int phaseBit = std::countr_zero(static_cast<unsigned>(FAnimationPattern | 0x100));
    const TViewLine l = ToView(*view, side.Line);
    LineDDA(l.X1, l.Y1, l.X2, l.Y2, clip, [&](int px, int py, int64_t i) {
      const unsigned pattern = 1u << ((phaseBit + i + 1) % 8);
      if (clip.contains(px, py)) ((pattern & 0xE0) != 0 ? light : dark) << QPoint(px, py);
    });
    canvas.save();
    canvas.setRenderHint(QPainter::Antialiasing, false);
    canvas.setCompositionMode(QPainter::CompositionMode_Source);
    canvas.setPen(QPen(QColor(windowColour), 0));
    canvas.drawPoints(light);
    canvas.setPen(QPen(QColor(0, 0, 0), 0));
    canvas.drawPoints(dark);
    canvas.restore();
    ReleaseAllCanvasDCs();
  }
  // Every repaint arms the animation again (not while a view reports progress).
  if (!FProgressRunning && !FTimer1->isActive()) FTimer1->start();
}

void TMain::ImLinksPicBoxOnSetCursor(TPGImage*, QCursor& cursor) {
  if (BtLine->isChecked())
    cursor = FLineCursor;
  else if (BtLock->isChecked())
    cursor = FTargetCursor;
}

void TMain::ImPixelGraphicProgressStart() {
  FProgressRunning = true;
  FTimer1->stop();
}

void TMain::ImPixelGraphicProgressEnd() {
  FProgressRunning = false;
  FTimer1->start();
}

void TMain::ImSelectionMade(TPGImage* view) {
  TPixelGraphic* src = view->PixelGraphicNoWait();
  if (!src) return;
  // Only the part of the frame on the picture is cut out: a frame dragged
  // into the grey around it is held to the picture, and shown so before the
  // question.
  const QRect frame = view->SelectionRect().intersected(QRect(0, 0, src->Width(), src->Height()));
  // A frame of a few screen pixels is a slip (a click, a twitch), no crop:
  // it goes without a question.
  constexpr int kMinCropPixels = 4;
  const int64_t shownW = int64_t{view->ImageToViewX(frame.x() + frame.width())} - view->ImageToViewX(frame.x());
  const int64_t shownH = int64_t{view->ImageToViewY(frame.y() + frame.height())} - view->ImageToViewY(frame.y());
  if (frame.isEmpty() || shownW < kMinCropPixels || shownH < kMinCropPixels) {
    view->SetSelection(false);
    return;
  }
  if (frame != view->SelectionRect()) view->SetSelectionRect(frame.x(), frame.y(), frame.width(), frame.height());
  if (platform::MessageBox("Bild beschneiden?", "Bereich markiert", platform::TMsgButtons::YesNo,
                           platform::TMsgIcon::Question) != platform::mrYes)
    return;
  const int w = frame.width(), h = frame.height();
  const int left = frame.x(), top = frame.y();
  // The new picture is built aside; a failure leaves the view as it was.
  auto cropped = std::make_unique<TPixelGraphic>();
  cropped->SetSize(w, h, src->BitCount());
  if (src->PaletteSize() > 0) cropped->CopyPalette(*src);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) cropped->SetPixels(x, y, src->Pixels(left + x, top + y));
  view->SetSelection(false);
  std::unique_ptr<TPixelGraphic> before = view->ExchangePixelGraphic(std::move(cropped));
  TSideAlignment* side = view == FImLinks ? &FAlignment.Left : view == FImRechts ? &FAlignment.Right : nullptr;
  PictureEdited(view, std::make_unique<TPictureStep>(PartOf(view), "Beschneiden", std::move(before), side));
  if (side) *side = TSideAlignment{};
  view->Invalidate();
}

void TMain::Timer1Timer() {
  FAnimationPhase = static_cast<uint8_t>(FAnimationPhase >> 2);
  if (FAnimationPhase == 0) FAnimationPhase = 128;
  DrawMarchingLines();
}

void TMain::DrawMarchingLines() {
  if (!isActiveWindow()) return;
  FTimer1->stop();
  FAnimationPattern = FAnimationPhase;
  if (ActivePage() == FTabSheet1 && Present(FAlignment.Left.Line)) RepaintLine(FImLinks, FAlignment.Left.Line);
  if (ActivePage() == FTabSheet2 && Present(FAlignment.Right.Line)) RepaintLine(FImRechts, FAlignment.Right.Line);
  FTimer1->start();
}
