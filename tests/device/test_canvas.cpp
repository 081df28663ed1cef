#include <QPainter>
#include <gtest/gtest.h>

#include "device_test_util.h"
#include "pgraphic/device/canvas.h"

namespace {

QColor Qc(TColorRef c) { return QColor(GetRValue(c), GetGValue(c), GetBValue(c)); }

void MakeImage(TPixelGraphic& g, uint8_t bc) {
  g.SetSize(20, 12, bc);
  const TPaletteIdent idents[] = {pBlackWhite, pSys16, pSpecial252, pTrueColor};
  g.SetPaletteIdent(idents[bc]);
}

} // namespace

// What the canvas draws is in the pixels as soon as the operation returns, at
// every resolution: palette colours land on their own index, other colours on
// the nearest entry; lines leave out their end point; Changed runs.
TEST(Canvas, DrawingReachesThePixelsAtEveryDepth) {
  for (uint8_t bc : {bc1Bit, bc4Bit, bc8Bit, bc24Bit}) {
    TPixelGraphic g;
    MakeImage(g, bc);
    int changes = 0;
    g.OnChange = [&](TObject*) { ++changes; };
    TPGCanvas& c = Canvas(g);
    EXPECT_EQ(&Canvas(g), &c);
    const uint32_t last = bc == bc24Bit ? 0 : static_cast<uint32_t>(g.PaletteCount() - 1);
    const TColorRef colour = bc == bc24Bit ? RGBColor(12, 200, 99) : g.PaletteColors(static_cast<int>(last));
    c.Brush = QBrush(Qc(colour));
    c.FillRect(Rect(2, 3, 6, 5));
    c.Pen = QPen(Qc(colour));
    c.MoveTo(1, 9);
    c.LineTo(8, 9);
    const uint32_t want = bc == bc24Bit ? colour : last;
    EXPECT_EQ(g.Pixels(2, 3), want) << int(bc);
    EXPECT_EQ(g.Pixels(5, 4), want);
    EXPECT_EQ(g.Pixels(6, 4), 0u);
    EXPECT_EQ(g.Pixels(5, 5), 0u);
    EXPECT_EQ(g.Pixels(1, 9), want);
    EXPECT_EQ(g.Pixels(7, 9), want);
    EXPECT_EQ(g.Pixels(8, 9), 0u) << "end point drawn";
    EXPECT_EQ(g.Pixels(1, 8), 0u);
    EXPECT_EQ(changes, 2);
    // A colour outside the palette: the nearest entry.
    c.SetPixels(15, 1, RGBColor(250, 5, 3));
    EXPECT_EQ(g.Pixels(15, 1), bc == bc24Bit ? RGBColor(250, 5, 3) : g.ColorToIndex(RGBColor(250, 5, 3)));
    EXPECT_EQ(c.Pixels(15, 1), g.PixelColors(15, 1));
  }
}

// Two entries of one colour: a drawn pixel takes the first, and the pixels
// the drawing did not change keep theirs, even inside the area it touched.
TEST(Canvas, UntouchedPixelsKeepTheirIndex) {
  TPixelGraphic g;
  g.SetSize(8, 8, bc8Bit);
  g.SetPaletteCount(4);
  g.SetPaletteColor(0, RGBColor(0, 0, 0));
  g.SetPaletteColor(1, RGBColor(9, 9, 9));
  g.SetPaletteColor(2, RGBColor(0, 0, 0));
  g.SetPaletteColor(3, RGBColor(9, 9, 9));
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) g.SetPixels(x, y, 2);
  TPGCanvas& c = Canvas(g);
  c.Pen = QPen(QColor(9, 9, 9));
  c.Brush = QBrush(Qt::NoBrush);
  c.Rectangle(1, 1, 7, 7);
  EXPECT_EQ(g.Pixels(1, 1), 1u);
  EXPECT_EQ(g.Pixels(6, 6), 1u);
  EXPECT_EQ(g.Pixels(3, 3), 2u);
  EXPECT_EQ(g.Pixels(0, 0), 2u);
  EXPECT_EQ(g.Pixels(7, 7), 2u);
}

// A painter handle over a part of the image: drawn pixels arrive when it
// ends; outside the part nothing changes.
TEST(Canvas, PainterHandleStoresWhenItEnds) {
  TPixelGraphic g;
  g.SetSize(10, 10, bc4Bit);
  g.SetPaletteIdent(pSys16);
  TPGCanvas& c = Canvas(g);
  {
    TPGCanvasPainter p = c.BeginPaint(Rect(2, 2, 6, 6));
    p->fillRect(QRect(0, 0, 10, 10), QColor(255, 255, 255));
  }
  const uint32_t white = g.ColorToIndex(RGBColor(255, 255, 255));
  EXPECT_EQ(g.Pixels(2, 2), white);
  EXPECT_EQ(g.Pixels(5, 5), white);
  EXPECT_EQ(g.Pixels(6, 5), 0u);
  EXPECT_EQ(g.Pixels(1, 2), 0u);
}

// Canvases hold a device context from their first drawing until released;
// resizing or changing the palette releases the image's own canvas (and
// drops a drawing still open), other canvases keep theirs.
TEST(Canvas, ResizeAndPaletteChangesRelease) {
  ReleaseAllCanvasDCs();
  TPixelGraphic a, b;
  MakeImage(a, bc8Bit);
  MakeImage(b, bc24Bit);
  Canvas(a).FillRect(Rect(0, 0, 2, 2));
  Canvas(b).FillRect(Rect(0, 0, 2, 2));
  EXPECT_TRUE(Canvas(a).HandleAllocated());
  EXPECT_EQ(CanvasDCCount(), 2);
  b.SetSize(30, 30, bc24Bit);
  EXPECT_FALSE(Canvas(b).HandleAllocated());
  EXPECT_TRUE(Canvas(a).HandleAllocated());
  a.SetPaletteColor(0, RGBColor(1, 2, 3));
  EXPECT_EQ(CanvasDCCount(), 0);

  {
    TPGCanvasPainter p = Canvas(b).BeginPaint();
    p->fillRect(QRect(0, 0, 30, 30), QColor(255, 0, 0));
    b.SetSize(5, 5, bc24Bit);  // the drawing is dropped, not stored into the new pixels
  }
  EXPECT_EQ(b.Pixels(4, 4), 0u);
  {
    auto dying = std::make_unique<TPixelGraphic>();
    MakeImage(*dying, bc4Bit);
    TPGCanvasPainter p = Canvas(*dying).BeginPaint();
    dying.reset();  // the image and its canvas go first
  }
  Canvas(a).FillRect(Rect(0, 0, 2, 2));
  Canvas(b).FillRect(Rect(0, 0, 2, 2));
  ReleaseAllCanvasDCs();
  EXPECT_EQ(CanvasDCCount(), 0);
}

// Drawing one image into another through the canvas (StretchDraw, mirrored).
TEST(Canvas, StretchDrawIntoAPaletteImage) {
  TPixelGraphic src;
  src.SetSize(2, 1, bc24Bit);
  src.SetPixels(0, 0, RGBColor(255, 0, 0));
  src.SetPixels(1, 0, RGBColor(0, 0, 255));
  TPixelGraphic g;
  MakeImage(g, bc4Bit);
  Canvas(g).StretchDraw(Rect(8, 0, 0, 2), src);  // mirrored: pixels 1..8
  const uint32_t red = g.ColorToIndex(RGBColor(255, 0, 0)), blue = g.ColorToIndex(RGBColor(0, 0, 255));
  EXPECT_EQ(g.Pixels(8, 0), red);
  EXPECT_EQ(g.Pixels(5, 1), red);
  EXPECT_EQ(g.Pixels(4, 1), blue);
  EXPECT_EQ(g.Pixels(1, 0), blue);
  EXPECT_EQ(g.Pixels(0, 0), 0u);
  EXPECT_EQ(g.Pixels(1, 2), 0u);
}
