// The selection layer and the mouse interaction of the view: the animated
// frame with its handles, the drag states, cursors and auto-scrolling.
#include <algorithm>
#include <cstdlib>

#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QImage>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QTimer>

#include "pgraphic/view/imageview.h"
#include "pgraphic/view/viewplatform.h"

namespace {

// View coordinates wrap as 32-bit numbers at a picture box billions of pixels
// wide; edges are computed in 64 bits and held within +-2^30, far off any
// screen, so that no width, handle or frame computation overflows.
int64_t Edge(int64_t v) { return std::clamp<int64_t>(v, -0x3FFFFFFF, 0x3FFFFFFF); }

// A rectangle given by Windows-style edges (right and bottom exclusive).
QRect WinRect(int64_t l, int64_t t, int64_t r, int64_t b) {
  l = Edge(l), t = Edge(t), r = Edge(r), b = Edge(b);
  return QRect(static_cast<int>(l), static_cast<int>(t), static_cast<int>(r - l), static_cast<int>(b - t));
}
int64_t Right(const QRect& r) { return int64_t{r.left()} + r.width(); }
int64_t Bottom(const QRect& r) { return int64_t{r.top()} + r.height(); }

// Half-open containment without normalising reversed rectangles.
bool PtIn(const QRect& r, QPoint p) {
  return p.x() >= r.left() && p.x() < Right(r) && p.y() >= r.top() && p.y() < Bottom(r);
}

struct THandle {
  TPGDragState State;
  Qt::CursorShape Cursor;
};

// In table order: top-left, top, top-right, left, right, bottom-left, bottom, bottom-right.
constexpr THandle kHandles[8] = {
    {dsResizeTopLeft, Qt::SizeFDiagCursor},    {dsResizeTop, Qt::SizeVerCursor},
    {dsResizeTopRight, Qt::SizeBDiagCursor},   {dsResizeLeft, Qt::SizeHorCursor},
    {dsResizeRight, Qt::SizeHorCursor},        {dsResizeBottomLeft, Qt::SizeBDiagCursor},
    {dsResizeBottom, Qt::SizeVerCursor},       {dsResizeBottomRight, Qt::SizeFDiagCursor},
};

bool LeftHandle(int i) { return i == 0 || i == 3 || i == 5; }
bool RightHandle(int i) { return i == 2 || i == 4 || i == 7; }
bool TopHandle(int i) { return i <= 2; }
bool BottomHandle(int i) { return i >= 5; }

// The sides of the frame whose handles stand inside it. Handles stand 3 to 8
// pixels outside the frame; where that is outside the picture box (a frame at
// the picture's edge) they could be neither seen nor grabbed, so that side's
// handles stand as far inside the frame instead, when the frame is large
// enough to leave room for moving it.
struct THandleSides {
  bool Left = false, Top = false, Right = false, Bottom = false;
};

THandleSides InnerHandleSides(const QRect& v, int64_t boxW, int64_t boxH) {
  constexpr int64_t kRoom = 24;
  const int64_t l = v.left(), t = v.top(), r = Right(v), b = Bottom(v);
  THandleSides s;
  if (r - l >= kRoom) {
    s.Left = l - 8 < 0;
    s.Right = r + 8 > boxW;
  }
  if (b - t >= kRoom) {
    s.Top = t - 8 < 0;
    s.Bottom = b + 8 > boxH;
  }
  return s;
}

// The handle's square (drawn), or with grab set the area that grabs it: the
// square widened to the frame, so that a press between the square and the
// frame, or on the frame's corner, takes the handle too.
QRect HandleRect(int i, const QRect& v, const THandleSides& in, bool grab = false) {
  const int64_t l = v.left(), t = v.top(), r = Right(v), b = Bottom(v);
  const int64_t mx = (l + r) / 2, my = (t + b) / 2;
  const int64_t gap = grab ? 0 : 3;
  // The span from 3 (or, grabbing, 0) to 8 pixels away from an edge of the
  // frame's low (left, top) or high side, outside the frame or inside it.
  auto span = [gap](int64_t edge, bool lowSide, bool inner, int64_t& a, int64_t& b) {
    const bool down = lowSide != inner; // the span lies below the edge
    a = down ? edge - 8 : edge + gap;
    b = down ? edge - gap : edge + 8;
  };
  int64_t x0 = mx - 2, x1 = mx + 3, y0 = my - 2, y1 = my + 3;
  if (LeftHandle(i)) span(l, true, in.Left, x0, x1);
  if (RightHandle(i)) span(r, false, in.Right, x0, x1);
  if (TopHandle(i)) span(t, true, in.Top, y0, y1);
  if (BottomHandle(i)) span(b, false, in.Bottom, y0, y1);
  return WinRect(x0, y0, x1, y1);
}

// FrameRect: a one-pixel border inside r painted with brush.
void FrameRect(QPainter& painter, const QRect& r, const QBrush& brush) {
  if (r.width() <= 0 || r.height() <= 0) return;
  painter.fillRect(QRect(r.left(), r.top(), r.width(), 1), brush);
  painter.fillRect(QRect(r.left(), r.top() + r.height() - 1, r.width(), 1), brush);
  painter.fillRect(QRect(r.left(), r.top(), 1, r.height()), brush);
  painter.fillRect(QRect(r.left() + r.width() - 1, r.top(), 1, r.height()), brush);
}

} // namespace

// ============================================================ the picture box

TPicBox::TPicBox(TPGImage* view) : QWidget(view->viewport()), FView(view) {
  setObjectName(QStringLiteral("PicBox"));
  setAutoFillBackground(false);
  setMouseTracking(true);
}

void TPicBox::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QScopedValueRollback<QPainter*> canvas(FCanvas, &painter);
  FView->DrawSelection(painter);
  if (FView->PicBoxOnPaint) FView->PicBoxOnPaint(this, painter);
}

void TPicBox::mousePressEvent(QMouseEvent* event) {
  const QPoint p = event->position().toPoint();
  FClickCandidate = event->button() == Qt::LeftButton;
  FView->PicBoxMouseDown(event->button(), p);
  if (FView->PicBoxOnMouseDown) FView->PicBoxOnMouseDown(this, event->button(), event->modifiers(), p.x(), p.y());
}

void TPicBox::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && FView->PicBoxOnDblClick) FView->PicBoxOnDblClick(this);
  mousePressEvent(event);
}

void TPicBox::mouseMoveEvent(QMouseEvent* event) {
  const QPoint p = event->position().toPoint();
  if (FView->FDragState == dsNone) FView->UpdateCursorUnderMouse();
  FView->PicBoxMouseMove(p);
  if (FView->PicBoxOnMouseMove) FView->PicBoxOnMouseMove(this, event->buttons(), event->modifiers(), p.x(), p.y());
}

void TPicBox::mouseReleaseEvent(QMouseEvent* event) {
  const QPoint p = event->position().toPoint();
  if (FView->PicBoxOnMouseUp) FView->PicBoxOnMouseUp(this, event->button(), event->modifiers(), p.x(), p.y());
  FView->PicBoxMouseUp(event->button());
  if (FClickCandidate && event->button() == Qt::LeftButton && rect().contains(p) && FView->PicBoxOnClick)
    FView->PicBoxOnClick(this);
  FClickCandidate = false;
  FView->UpdateCursorUnderMouse();
}

void TPicBox::enterEvent(QEnterEvent*) { FView->UpdateCursorUnderMouse(); }

void TPicBox::contextMenuEvent(QContextMenuEvent* event) {
  if (QMenu* menu = FView->PicBoxPopupMenu()) menu->popup(event->globalPos());
}

// ============================================================ selection rectangle

QRect TPGImage::SelectionRect() const {
  return QRect(FSelectionLeft, FSelectionTop, FSelectionWidth, FSelectionHeight);
}

QRect TPGImage::SelectionViewRect() const {
  const int l = ImageToViewX(FSelectionLeft), t = ImageToViewY(FSelectionTop);
  const int r = ImageToViewX(FSelectionLeft + FSelectionWidth), b = ImageToViewY(FSelectionTop + FSelectionHeight);
  return WinRect(l, t, r, b);
}

// The four strips around the frame, in view client coordinates: m pixels
// outside it, or 1 outside and m inside where the handles stand inside.
void TPGImage::InvalidateSelectionFrame(QRegion& region) const {
  const int m = FActionMode == amMoveResizeCreateSelection ? 8 : 1;
  const THandleSides in = m > 1 ? InnerHandleSides(SelectionViewRect(), FPicW, FPicH) : THandleSides();
  const QRect v = SelectionViewRect().translated(PicBoxRect().topLeft());
  const int64_t l = v.left(), t = v.top(), r = Right(v), b = Bottom(v);
  const int64_t ol = in.Left ? 1 : m, ot = in.Top ? 1 : m, orr = in.Right ? 1 : m, ob = in.Bottom ? 1 : m;
  const int64_t il = in.Left ? m : 0, it = in.Top ? m : 0, ir = in.Right ? m : 0, ib = in.Bottom ? m : 0;
  for (const QRect& s : {WinRect(l - ol, t - ot, l + il, b + ob), WinRect(l - ol, t - ot, r + orr, t + it),
                         WinRect(r - ir, t - ot, r + orr, b + ob), WinRect(l - ol, b - ib, r + orr, b + ob)})
    if (s.width() > 0 && s.height() > 0) region += s;
}

void TPGImage::SetSelectionRect(int left, int top, int width, int height) {
  if (left == FSelectionLeft && top == FSelectionTop && width == FSelectionWidth && height == FSelectionHeight) return;
  QRegion region;
  if (FSelection) InvalidateSelectionFrame(region);
  FSelectionLeft = left;
  FSelectionTop = top;
  FSelectionWidth = width;
  FSelectionHeight = height;
  if (FSelection) {
    InvalidateSelectionFrame(region);
    viewport()->update(region);
  }
  if (OnSelectionChange) OnSelectionChange(this);
  if (FSelection && !region.isEmpty()) viewport()->repaint(region);
}

void TPGImage::SetSelection(bool v) {
  if (v == FSelection) return;
  FSelection = v;
  if (v && !FAnimTimer) {
    FAnimTimer = new QTimer(this);
    FAnimTimer->setInterval(50);
    connect(FAnimTimer, &QTimer::timeout, this, &TPGImage::AnimationStep);
    FAnimTimer->start();
  } else if (!v) {
    delete FAnimTimer;
    FAnimTimer = nullptr;
  }
  FPicBox->update();
  if (OnSelectionChange) OnSelectionChange(this);
}

void TPGImage::FreePatternBrushes() {
  FPatternBrushes = {};
  FPatternsBuilt = false;
}

void TPGImage::SetSelectionColor1(const QColor& v) {
  FSelectionColor1 = v;
  FreePatternBrushes();
}

void TPGImage::SetSelectionColor2(const QColor& v) {
  FSelectionColor2 = v;
  FreePatternBrushes();
}

void TPGImage::DrawSelection(QPainter& painter) {
  if (!FSelection) return;
  const QRect v = SelectionViewRect();
  if (!FPatternsBuilt) {
    for (int i = 0; i < 8; ++i) {
      QImage bits(8, 8, QImage::Format_RGB32);
      for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
          bits.setPixel(x, y, (((y + x - i + 8) % 8) > 3 ? FSelectionColor2 : FSelectionColor1).rgb());
      FPatternBrushes[i] = QBrush(bits);
    }
    FPatternsBuilt = true;
  }
  const int p = static_cast<int>(((FAnimCounter + int64_t{v.left()} + v.top()) % 8 + 8) % 8);
  const QBrush& brush = FPatternBrushes[p];
  painter.setBrushOrigin(0, 0);
  FrameRect(painter, WinRect(int64_t{v.left()} - 1, int64_t{v.top()} - 1, Right(v) + 1, Bottom(v) + 1), brush);
  if (FActionMode == amMoveResizeCreateSelection) {
    const THandleSides in = InnerHandleSides(v, FPicW, FPicH);
    for (int i = 0; i < 8; ++i) FrameRect(painter, HandleRect(i, v, in), brush);
  }
}

void TPGImage::AnimationStep() {
  FAnimCounter = FAnimCounter >= 7 ? 0 : FAnimCounter + 1;
  if (!FSelection) return;
  // Controls lying on the picture are children painted above it, so the
  // frame never shows over them.
  QRegion region;
  InvalidateSelectionFrame(region);
  if (!region.isEmpty()) viewport()->repaint(region);
}

// ============================================================ mouse

int TPGImage::HandleAt(QPoint p) const {
  const QRect v = SelectionViewRect();
  const THandleSides in = InnerHandleSides(v, FPicW, FPicH);
  for (int i = 0; i < 8; ++i)
    if (PtIn(HandleRect(i, v, in, true), p)) return i;
  return -1;
}

void TPGImage::PicBoxMouseDown(Qt::MouseButton button, QPoint p) {
  if (button != Qt::LeftButton) return;
  const QRect v = SelectionViewRect();
  const bool inside = FSelection && PtIn(v, p);
  const TActionMode am = FActionMode;
  bool selectionDrag = false;
  // Handles standing inside the frame are found before the frame's inside;
  // elsewhere the two never overlap.
  const int handle = am == amMoveResizeCreateSelection && FSelection ? HandleAt(p) : -1;
  if (handle >= 0) {
    FDragState = kHandles[handle].State;
    FDragStart = p;
    const bool leftSide = LeftHandle(handle), rightSide = RightHandle(handle);
    const bool topSide = TopHandle(handle), bottomSide = BottomHandle(handle);
    FGrab.setX(leftSide ? ViewToImageX(p.x()) - FSelectionLeft : rightSide ? ViewToImageX(p.x()) - FSelectionWidth : 0);
    FGrab.setY(topSide ? ViewToImageY(p.y()) - FSelectionTop : bottomSide ? ViewToImageY(p.y()) - FSelectionHeight : 0);
    selectionDrag = true;
  } else if ((am == amMoveResizeCreateSelection || am == amMoveSelection || am == amMoveSelectionMoveImage) &&
             inside) {
    FDragState = dsMoveSelection;
    FDragStart = p;
    FGrab = QPoint(ViewToImageX(p.x()) - FSelectionLeft, ViewToImageY(p.y()) - FSelectionTop);
    selectionDrag = true;
  } else if ((am == amMoveImage || am == amMoveSelectionMoveImage) && Scrollable()) {
    FDragState = dsMoveImage;
    if (!QGuiApplication::overrideCursor()) {
      QCursor cursor = pgview::LibraryCursor(pgview::lcClosedHand);
      if (PicBoxOnSetCursor) PicBoxOnSetCursor(this, cursor);
      FPicBox->setCursor(cursor);
    }
    FDragStart = p;
  } else if (am == amMoveResizeCreateSelection || am == amCreateSelection) {
    FDragState = dsCreateSelection;
    SetSelection(true);
    FAnchor = ViewToImage(p);
    const QPoint a = ViewToImage(p);
    SetSelectionRect(std::min(a.x(), FAnchor.x()), std::min(a.y(), FAnchor.y()), std::abs(a.x() - FAnchor.x()) + 1,
                     std::abs(a.y() - FAnchor.y()) + 1);
    selectionDrag = true;
  }
  if (selectionDrag && !FAutoScrollTimer) {
    FAutoScrollTimer = new QTimer(this);
    FAutoScrollTimer->setInterval(50);
    connect(FAutoScrollTimer, &QTimer::timeout, this, &TPGImage::AutoScrollStep);
    FAutoScrollTimer->start();
  }
}

void TPGImage::PicBoxMouseMove(QPoint p) {
  const int ix = ViewToImageX(p.x()) - FGrab.x(), iy = ViewToImageY(p.y()) - FGrab.y();
  const int sl = FSelectionLeft, st = FSelectionTop, sw = FSelectionWidth, sh = FSelectionHeight;
  const int newLeft = std::min(ix, sl + sw - 1), newTop = std::min(iy, st + sh - 1);
  const int newWidth = std::max(ix, 1), newHeight = std::max(iy, 1);
  switch (FDragState) {
    case dsNone:
      break;
    case dsCreateSelection: {
      const QPoint a = ViewToImage(p);
      SetSelectionRect(std::min(a.x(), FAnchor.x()), std::min(a.y(), FAnchor.y()), std::abs(a.x() - FAnchor.x()) + 1,
                       std::abs(a.y() - FAnchor.y()) + 1);
      break;
    }
    case dsResizeTopLeft:
      SetSelectionRect(newLeft, newTop, sw + sl - newLeft, sh + st - newTop);
      break;
    case dsResizeTop:
      SetSelectionRect(sl, newTop, sw, sh + st - newTop);
      break;
    case dsResizeTopRight:
      SetSelectionRect(sl, newTop, newWidth, sh + st - newTop);
      break;
    case dsResizeLeft:
      SetSelectionRect(newLeft, st, sw + sl - newLeft, sh);
      break;
    case dsResizeRight:
      SetSelectionRect(sl, st, newWidth, sh);
      break;
    case dsResizeBottomLeft:
      SetSelectionRect(newLeft, st, sw + sl - newLeft, newHeight);
      break;
    case dsResizeBottom:
      SetSelectionRect(sl, st, sw, newHeight);
      break;
    case dsResizeBottomRight:
      SetSelectionRect(sl, st, newWidth, newHeight);
      break;
    case dsMoveImage: {
      const int h = HPos();
      SetHPos(h + FDragStart.x() - p.x());
      const int v = VPos();
      SetVPos(v + FDragStart.y() - p.y());
      FDragStart = QPoint(p.x() + HPos() - h, p.y() + VPos() - v);
      viewport()->repaint();
      break;
    }
    case dsMoveSelection:
      SetSelectionRect(std::min(std::max(ix, 1 - sw), FImageW - 1), std::min(std::max(iy, 1 - sh), FImageH - 1), sw, sh);
      break;
  }
}

void TPGImage::PicBoxMouseUp(Qt::MouseButton button) {
  if (button != Qt::LeftButton) return;
  const TPGDragState state = FDragState;
  // The drag is over before anyone hears of it: a handler that asks the user
  // something must not have the picture scrolling behind its question.
  delete FAutoScrollTimer;
  FAutoScrollTimer = nullptr;
  FDragState = dsNone;
  if (state >= dsMoveSelection) {
    SetSelection(true);
    if (OnSelectionMade) OnSelectionMade(this);
  }
}

void TPGImage::AutoScrollStep() {
  const QPoint q = viewport()->mapFromGlobal(QCursor::pos());
  if (q.x() < 0 && HPos() > 0) SetHPos(HPos() - 5);
  if (q.y() < 0 && VPos() > 0) SetVPos(VPos() - 5);
  if (q.x() >= FClientW && HPos() < FPicLeft + FPicW - FClientW) SetHPos(HPos() + 5);
  if (q.y() >= FClientH && VPos() < FPicTop + FPicH - FClientH) SetVPos(VPos() + 5);
}

// ============================================================ cursors

QCursor TPGImage::CursorAt(QPoint clientPos) {
  if (const QCursor* forced = QGuiApplication::overrideCursor()) return *forced;
  const QRect box = PicBoxRect();
  const bool onPicBox = FPicBox->isEnabled() && PtIn(box, clientPos);
  if (!onPicBox) {
    QCursor cursor = FViewCursor;
    if (OnSetCursor) OnSetCursor(this, cursor);
    return cursor;
  }
  QCursor cursor = FPicBoxCursor;
  const QPoint p = clientPos - box.topLeft();
  const TActionMode am = FActionMode;
  if ((am == amMoveImage || am == amMoveSelectionMoveImage) && Scrollable())
    cursor = pgview::LibraryCursor(FDragState == dsMoveImage ? pgview::lcClosedHand : pgview::lcOpenHand);
  if (am == amMoveResizeCreateSelection || am == amCreateSelection) cursor = pgview::LibraryCursor(pgview::lcCrossHair);
  if ((am == amMoveResizeCreateSelection || am == amMoveSelection || am == amMoveSelectionMoveImage) && FSelection &&
      PtIn(SelectionViewRect(), p))
    cursor = pgview::LibraryCursor(pgview::lcMoveArrows);
  if (am == amMoveResizeCreateSelection && FSelection) {
    const int h = HandleAt(p);
    if (h >= 0) cursor = QCursor(kHandles[h].Cursor);
  }
  if (PicBoxOnSetCursor) PicBoxOnSetCursor(this, cursor);
  return cursor;
}

void TPGImage::UpdateCursorUnderMouse() {
  if (QGuiApplication::overrideCursor()) return; // the application's cursor shows anyway
  const QPoint q = viewport()->mapFromGlobal(QCursor::pos());
  if (!viewport()->rect().contains(q)) return;
  const QCursor cursor = CursorAt(q);
  if (PtIn(PicBoxRect(), q))
    FPicBox->setCursor(cursor);
  else
    viewport()->setCursor(cursor);
}

void TPGImage::mouseMoveEvent(QMouseEvent* event) {
  UpdateCursorUnderMouse();
  QAbstractScrollArea::mouseMoveEvent(event);
}
