// The alignment tool: mouse input of identical points, second points and
// tilt lines on the two photograph views, the markers and the marching tilt
// lines, and the animation timer.
//
// Everything drawn over a picture is drawn by the picture box's paint hook
// from the state kept here (points, lines, drag state, animation pattern):
// a handler changes the state and repaints the pixels concerned at once.
// The picture box's coordinates are the picture's view coordinates
// (ImageToViewX/Y), so scrolling needs no correction here.
#include "app/desktop/alignmenttool.h"

#include <bit>

#include <QPainter>
#include <QPolygon>
#include <QRegion>
#include <QTimer>

#include "app/core/linedda.h"
#include "app/desktop/programcursors.h"
#include "pgraphic/device/canvas.h"
#include "pgraphic/view/imageview.h"

namespace {

bool Defined(const TStereoPoint& p) { return p.X > 0 && p.Y > 0; }

// A line is present when its four coordinates add up to more than 0 (64-bit:
// coordinates from a parameter file may be anything).
bool Present(const TStereoLine& l) {
  return static_cast<int64_t>(l.X1) + l.Y1 + l.X2 + l.Y2 > 0;
}

TPixelBox Box(const QRect& r) { return {r.left(), r.top(), r.right(), r.bottom()}; }

// The line's end points in the view's picture-box coordinates.
struct TViewLine {
  int X1, Y1, X2, Y2;
};
TViewLine ToView(const TPGImage& view, const TStereoLine& l) {
  return {view.ImageToViewX(l.X1), view.ImageToViewY(l.Y1), view.ImageToViewX(l.X2), view.ImageToViewY(l.Y2)};
}

void AddLineRegion(QRegion& region, const TViewLine& l, const QRect& visible) {
  LinePieces(l.X1, l.Y1, l.X2, l.Y2, Box(visible), [&](const TPixelBox& b) {
    region += QRect(QPoint(b.Left, b.Top), QPoint(b.Right, b.Bottom));
  });
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

TAlignmentTool::TAlignmentTool(TAlignmentToolHost& host, QObject* timerParent) : FHost(host) {
  FLineCursor = ProgramCursor(pcLine);
  FTargetCursor = ProgramCursor(pcTarget);
  FTimer = new QTimer(timerParent);
  FTimer->setObjectName(QStringLiteral("Timer1"));
  FTimer->setInterval(100);
}

TAlignmentTool::~TAlignmentTool() = default;

void TAlignmentTool::SetViews(TPGImage* left, TPGImage* right) {
  FLeft = left;
  FRight = right;
}

TSideAlignment* TAlignmentTool::SideOf(const TPGImage* view) {
  return view == FLeft ? &FPair.Left : view == FRight ? &FPair.Right : nullptr;
}

void TAlignmentTool::Changing(unsigned parts, const std::string& caption) {
  if (OnChanging) OnChanging(parts, caption);
}

void TAlignmentTool::SetSide(TEditPart part, const TSideAlignment& side, const std::string& caption) {
  Changing(part, caption);
  (part == epLeft ? FPair.Left : FPair.Right) = side;
  (part == epLeft ? FLeft : FRight)->Invalidate();
}

void TAlignmentTool::SetPair(const TPairAlignment& pair, const std::string& caption) {
  Changing(epLeft | epRight, caption);
  FPair = pair;
  FLeft->Invalidate();
  FRight->Invalidate();
}

void TAlignmentTool::RepaintLine(TPGImage* view, const TStereoLine& line, const TStereoLine* also) {
  // Only the part of the line on screen is repainted.
  const QRect visible = view->PicBox()->visibleRegion().boundingRect();
  QRegion region;
  AddLineRegion(region, ToView(*view, line), visible);
  if (also) AddLineRegion(region, ToView(*view, *also), visible);
  if (region.isEmpty()) return;
  view->PicBox()->repaint(region);
}

void TAlignmentTool::MouseDown(TPGImage*, Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y) {
  if (button == Qt::RightButton) return;
  // The press goes to the active tab's photograph.
  TPGImage* view = FHost.ActiveAlignmentView();
  if (!view) return;
  TSideAlignment& side = *SideOf(view);
  FLineView = view;
  const TStereoPoint p{view->ViewToImageX(x), view->ViewToImageY(y)};
  switch (FHost.AlignmentInput()) {
    case TAlignmentInput::Points: {
      // The Ctrl state of this very press (the event's modifiers) decides
      // between the identical point and the second point. A click that
      // changes nothing leaves no step.
      const bool second = shift.testFlag(Qt::ControlModifier);
      const TStereoPoint& before = second ? side.TurnPoint : side.Point;
      if (before.X != p.X || before.Y != p.Y ||
          (second && (side.Line.X1 | side.Line.Y1 | side.Line.X2 | side.Line.Y2) != 0))
        Changing(PartOf(view), second ? "Zweiter Punkt" : "Identischer Punkt");
      if (second) {
        side.TurnPoint = p;
        side.Line = TStereoLine{};
      } else {
        side.Point = p;
      }
      view->Invalidate();
      break;
    }
    case TAlignmentInput::Lines: {
      Changing(PartOf(view), "Verkantungslinie");
      side.TurnPoint = TStereoPoint{};
      // The XOR line and the marching pixels of the old line go; the new
      // line starts as a single point.
      FTimer->stop();
      const TStereoLine old = side.Line;
      side.Line = TStereoLine{p.X, p.Y, p.X, p.Y};
      FLineDragging = true;
      RepaintLine(view, old, &side.Line);
      break;
    }
    case TAlignmentInput::None:
      break;
  }
}

void TAlignmentTool::MouseMove(TPGImage* view, int x, int y) {
  // The picture's pixel under the mouse, in the coordinates points and lines
  // are kept in (the picture box's own differ whenever the zoom is not 1).
  FHost.ShowAlignmentPosition(view->ViewToImageX(x), view->ViewToImageY(y));
  if (!FLineDragging || !FLineView) return;
  TSideAlignment& side = *SideOf(FLineView);
  const TStereoLine old = side.Line;
  side.Line.X2 = FLineView->ViewToImageX(x);
  side.Line.Y2 = FLineView->ViewToImageY(y);
  RepaintLine(FLineView, old, &side.Line);
}

void TAlignmentTool::MouseUp() {
  if (!FLineDragging) return;
  FLineDragging = false;
  if (FLineView) FLineView->Invalidate();
}

void TAlignmentTool::Paint(TPGImage* view, QPainter& canvas) {
  const TSideAlignment& side = *SideOf(view);
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
    LineDDA(l.X1, l.Y1, l.X2, l.Y2, Box(clip), [&](int px, int py, int64_t) {
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
  if (view == FHost.ActiveAlignmentView() && Present(side.Line)) {
    const QRgb windowColour = FHost.AlignmentWindowColor().rgb();
    QPolygon dark, light;
    // The dash pattern is one bit moved on by every step of the line (from
    // bit 7 back to bit 0), so step i's pattern follows from i alone.
    const int phaseBit = std::countr_zero(static_cast<unsigned>(FAnimationPattern | 0x100));
    const TViewLine l = ToView(*view, side.Line);
    LineDDA(l.X1, l.Y1, l.X2, l.Y2, Box(clip), [&](int px, int py, int64_t i) {
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
  if (!FProgressRunning && !FTimer->isActive()) FTimer->start();
}

void TAlignmentTool::SetCursor(QCursor& cursor) const {
  switch (FHost.AlignmentInput()) {
    case TAlignmentInput::Lines:
      cursor = FLineCursor;
      break;
    case TAlignmentInput::Points:
      cursor = FTargetCursor;
      break;
    case TAlignmentInput::None:
      break;
  }
}

void TAlignmentTool::ProgressStart() {
  FProgressRunning = true;
  FTimer->stop();
}

void TAlignmentTool::ProgressEnd() {
  FProgressRunning = false;
  FTimer->start();
}

void TAlignmentTool::TimerTick() {
  FAnimationPhase = static_cast<uint8_t>(FAnimationPhase >> 2);
  if (FAnimationPhase == 0) FAnimationPhase = 128;
  DrawMarchingLines();
}

void TAlignmentTool::DrawMarchingLines() {
  if (!FHost.AlignmentWindowActive()) return;
  FTimer->stop();
  FAnimationPattern = FAnimationPhase;
  TPGImage* view = FHost.ActiveAlignmentView();
  if (view && Present(SideOf(view)->Line)) RepaintLine(view, SideOf(view)->Line);
  FTimer->start();
}

void TAlignmentTool::ResetAnimation() {
  FAnimationPhase = 128;
  FTimer->setInterval(100);
  FTimer->stop();
}
