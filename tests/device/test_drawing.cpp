#include <QImage>
#include <QPainter>
#include <QPicture>
#include <QWidget>
#include <gtest/gtest.h>

#include "device_test_util.h"
#include "pgraphic/device/drawing.h"

namespace {

constexpr QRgb kBack = 0xFF102030u;

// The documented sampling: destination pixel x of a draw into dest shows the
// image pixel returned here, or (-1, -1) outside the covered pixels.
QPoint Expected(const TPixelGraphic& g, const TRect& r, int x, int y) {
  auto axis = [](int p, int a, int b, int s) {
    const int n = std::abs(b - a);
    const int d = b >= a ? p - a : p - (b + 1);
    if (d < 0 || d >= n) return -1;
    const int i = static_cast<int>((2 * int64_t(d) + 1) * s / (2 * int64_t(n)));
    return b >= a ? i : s - 1 - i;
  };
  const int sx = axis(x, r.Left, r.Right, g.Width()), sy = axis(y, r.Top, r.Bottom, g.Height());
  return sx < 0 || sy < 0 ? QPoint(-1, -1) : QPoint(sx, sy);
}

// Every pixel of target against the sampling rule (inside clip), the
// background outside dest or outside clip.
void ExpectDrawn(const TPixelGraphic& g, const TRect& r, const QImage& target, QRect clip = QRect()) {
  if (clip.isNull()) clip = target.rect();
  int wrong = 0;
  for (int y = 0; y < target.height(); ++y)
    for (int x = 0; x < target.width(); ++x) {
      const QPoint s = Expected(g, r, x, y);
      const QRgb want = s.x() < 0 || !clip.contains(x, y) ? kBack : devtest::ToRgb(g.PixelColors(s.x(), s.y()));
      if (target.pixel(x, y) != want && ++wrong <= 3)
        ADD_FAILURE() << "bits " << g.BitCountNum() << " rect " << r.Left << "," << r.Top << "," << r.Right << ","
                      << r.Bottom << " pixel " << x << "," << y << ": " << std::hex << target.pixel(x, y)
                      << " want " << want;
    }
}

QImage Target(int w, int h) {
  QImage t(w, h, QImage::Format_RGB32);
  t.fill(kBack);
  return t;
}

const TRect kRects[] = {
    Rect(3, 2, 27, 19),   // enlarged, uneven factors
    Rect(0, 0, 5, 4),     // reduced
    Rect(-4, -3, 12, 40), // cut by the device on three sides
    Rect(26, 2, 3, 19),   // mirrored horizontally: covers 4 .. 26
    Rect(3, 19, 27, 2),   // mirrored vertically
    Rect(30, 25, 0, -1),  // mirrored both ways, cut by the device
};

} // namespace

// Pixel-exact at every colour resolution, scaled, reduced, mirrored by
// negative extents and cut by the device, on a plain image painter.
TEST(DrawToDC, SamplesEveryDepthScaledMirroredAndCut) {
  for (uint8_t bc : {bc1Bit, bc4Bit, bc8Bit, bc24Bit}) {
    TPixelGraphic g;
    devtest::FillPattern(g, 11, 7, bc);
    for (const TRect& r : kRects) {
      QImage t = Target(31, 23);
      QPainter p(&t);
      DrawToDC(g, p, r, true, SRCCOPY);
      p.end();
      ExpectDrawn(g, r, t);
    }
  }
}

// Drawing along negative extents shows exactly what drawing a mirrored copy
// shows, also where the sampling meets a pixel boundary (reduction by whole
// factors): the view mirrors tiles that way instead of copying the picture.
TEST(DrawToDC, MirroredDrawEqualsMirroredCopy) {
  TPixelGraphic g;
  devtest::FillPattern(g, 12, 8, bc24Bit);
  TPixelGraphic flipped;
  flipped.SetSize(12, 8, bc24Bit);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 12; ++x) flipped.SetPixels(x, y, g.Pixels(11 - x, 7 - y));
  for (const TRect& r : {Rect(2, 1, 8, 5), Rect(0, 0, 24, 16), Rect(1, 2, 10, 9)}) {
    QImage viaCopy = Target(26, 18), viaExtent = Target(26, 18);
    QPainter a(&viaCopy);
    DrawToDC(flipped, a, r, true, SRCCOPY);
    a.end();
    QPainter b(&viaExtent);
    DrawToDC(g, b, Rect(r.Right - 1, r.Bottom - 1, r.Left - 1, r.Top - 1), true, SRCCOPY);
    b.end();
    EXPECT_EQ(viaCopy, viaExtent) << r.Left << "," << r.Top << "," << r.Right << "," << r.Bottom;
  }
}

// A clip rectangle and a translated painter: only the clip changes, and the
// sampling follows the logical coordinates.
TEST(DrawToDC, HonoursClipAndTranslation) {
  TPixelGraphic g;
  devtest::FillPattern(g, 13, 9, bc24Bit);
  const TRect r = Rect(25, 1, 2, 20);
  QImage t = Target(31, 23);
  QPainter p(&t);
  p.setClipRect(QRect(5, 4, 9, 6));
  DrawToDC(g, p, r);
  p.end();
  ExpectDrawn(g, r, t, QRect(5, 4, 9, 6));

  QImage moved = Target(31, 23);
  QPainter q(&moved);
  q.translate(4, -3);
  DrawToDC(g, q, Rect(r.Left - 4, r.Top + 3, r.Right - 4, r.Bottom + 3));
  q.end();
  ExpectDrawn(g, r, moved);
}

// A painter with a scaling transform takes the transformed path: at an
// integer scale of 2 every sampled pixel becomes a 2 x 2 block, upright and
// mirrored like the direct path (4-bit rows are expanded on the way).
TEST(DrawToDC, TransformedPainterDrawsUprightAndMirrored) {
  for (uint8_t bc : {bc1Bit, bc4Bit, bc8Bit, bc24Bit}) {
    TPixelGraphic g;
    devtest::FillPattern(g, 6, 5, bc);
    for (const TRect& r : {Rect(1, 2, 7, 7), Rect(7, 7, 1, 2)}) {
      QImage big = Target(20, 20);
      QPainter p(&big);
      p.scale(2, 2);
      DrawToDC(g, p, r);
      p.end();
      QImage ref = Target(10, 10);
      QPainter q(&ref);
      DrawToDC(g, q, r);
      q.end();
      EXPECT_EQ(big, ref.scaled(20, 20)) << "bits " << g.BitCountNum();
    }
  }
}

// XOR drawing twice restores the destination; an empty image or an empty
// destination draws nothing.
TEST(DrawToDC, XorTwiceRestoresAndEmptyDrawsNothing) {
  TPixelGraphic g;
  devtest::FillPattern(g, 5, 5, bc8Bit);
  QImage t = Target(12, 12);
  QPainter p(&t);
  DrawToDC(g, p, Rect(1, 1, 11, 11), true, SRCINVERT);
  p.end();
  EXPECT_EQ(t.pixel(1, 1), (kBack ^ devtest::ToRgb(g.PixelColors(0, 0))) | 0xFF000000u);
  p.begin(&t);
  DrawToDC(g, p, Rect(1, 1, 11, 11), true, SRCINVERT);
  TPixelGraphic empty;
  DrawToDC(empty, p, Rect(0, 0, 12, 12));
  DrawToDC(g, p, Rect(0, 0, 0, 12));
  p.end();
  EXPECT_EQ(t, Target(12, 12));
}

// A widget painted inside a parent, for a paint region of two strips (the
// region lies in the parent's coordinates): inside the strips the picture
// appears at the widget's place, outside them nothing is drawn.
TEST(DrawToDC, WidgetPaintRegionInsideParent) {
  struct TPicture : QWidget {
    TPixelGraphic* Image = nullptr;
    using QWidget::QWidget;
    void paintEvent(QPaintEvent*) override {
      QPainter p(this);
      DrawToDC(*Image, p, Rect(0, 0, width(), height()));
    }
  };
  TPixelGraphic g;
  devtest::FillPattern(g, 15, 10, bc24Bit);
  QWidget top;
  top.resize(60, 50);
  auto* pic = new TPicture(&top);
  pic->Image = &g;
  pic->setGeometry(13, 17, 30, 20);
  QImage shot(60, 50, QImage::Format_RGB32);
  shot.fill(kBack);
  const QRegion strips = QRegion(10, 20, 40, 3) + QRegion(20, 30, 5, 10);
  top.render(&shot, strips.boundingRect().topLeft(), strips, QWidget::DrawChildren);
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 30; ++x) {
      const QRgb want = strips.contains(QPoint(13 + x, 17 + y)) ? devtest::ToRgb(g.PixelColors(x / 2, y / 2)) : kBack;
      ASSERT_EQ(shot.pixel(13 + x, 17 + y), want) << x << "," << y;
    }
}
