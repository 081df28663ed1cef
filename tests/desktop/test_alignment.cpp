// Alignment by mouse in the left and right views: identical and second
// points, tilt lines, markers and marching lines read back from the screen,
// and the crop.
#include <algorithm>

#include <QElapsedTimer>
#include <QScrollBar>

#include "mainform_test_util.h"

using namespace desktoptest;

namespace {

class Alignment : public MainWindowTest {
protected:
  // Both sides loaded with 400 x 300 gradients, the window shown and active.
  void LoadPair() {
    auto g = Gradient(400, 300);
    LoadSide(0, WritePicture("l.bmp", *g));
    LoadSide(1, WritePicture("r.bmp", *g));
    ClickTab(0);
    Activate();
  }
  void Activate() {
    Main->show();
    QApplication::setActiveWindow(Main.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(Main.get()));
  }
  QWidget* Box(TPGImage* view) { return view->PicBox(); }
  QImage Screen(TPGImage* view) { return view->viewport()->grab().toImage(); }
  QRgb At(TPGImage* view, QPoint boxPos) {
    return Screen(view).pixel(Box(view)->mapTo(view->viewport(), boxPos)) & 0xFFFFFF;
  }
  // The 16 pixels of row y from x on as D (dark) and W (window colour).
  std::string Dashes(TPGImage* view, int x, int y) {
    const QRgb window = Main->palette().color(QPalette::Window).rgb() & 0xFFFFFF;
    std::string out;
    for (int i = x; i < x + 16; ++i) {
      const QRgb c = At(view, QPoint(i, y));
      out += c == 0 ? 'D' : c == window ? 'W' : '?';
    }
    return out;
  }
  // Answers the next message boxes with answer and records them.
  void Answer(int answer) {
    platform::SetMessageBoxHook([this, answer](const std::string& text, const std::string& caption,
                                               platform::TMsgButtons, platform::TMsgIcon) {
      Messages.push_back(caption + ": " + text);
      return answer;
    });
  }
  // A selection dragged with the mouse in crop mode.
  void DragSelection(TPGImage* view, QPoint from, QPoint to) {
    QTest::mousePress(Box(view), Qt::LeftButton, {}, from);
    QTest::mouseMove(Box(view), (from + to) / 2);
    QTest::mouseMove(Box(view), to);
    QTest::mouseRelease(Box(view), Qt::LeftButton, {}, to);
    QApplication::processEvents();
  }
};

} // namespace

// A click sets the active side's identical point, at x = 0 too (not defined,
// so no marker); Ctrl + click sets the second point and clears only that
// side's line; a press in tilt-line mode clears only that side's second point.
TEST_F(Alignment, PointsLinesAndTheirClearing) {
  LoadPair();
  Click("BtLock");
  EXPECT_EQ(Main->ImLinks()->CursorAt(QPoint(10, 10)).hotSpot(), QPoint(15, 15));
  QTest::mouseClick(Box(Main->ImLinks()), Qt::LeftButton, {}, QPoint(0, 20));
  EXPECT_EQ(Main->LeftSide().Point.X, 0);
  EXPECT_EQ(Main->LeftSide().Point.Y, 20);
  EXPECT_EQ(At(Main->ImLinks(), QPoint(0, 20)), qRgb(0, 20, 40) & 0xFFFFFF) << "no marker for x = 0";

  Main->LeftSide().Line = {1, 2, 3, 4};
  Main->RightSide().Line = {5, 6, 7, 8};
  QTest::mouseClick(Box(Main->ImLinks()), Qt::LeftButton, Qt::ControlModifier, QPoint(60, 70));
  EXPECT_EQ(Main->LeftSide().TurnPoint.X, 60);
  EXPECT_EQ(Main->LeftSide().TurnPoint.Y, 70);
  EXPECT_EQ(Main->LeftSide().Line.X1 + Main->LeftSide().Line.Y2, 0);
  EXPECT_EQ(Main->LeftSide().Point.Y, 20) << "Ctrl + click keeps the identical point";
  EXPECT_EQ(Main->RightSide().Line.X1, 5);

  ClickTab(1);
  QTest::mouseClick(Box(Main->ImRechts()), Qt::LeftButton, Qt::ControlModifier, QPoint(9, 9));
  Click("BtLine");
  EXPECT_EQ(Main->ImRechts()->CursorAt(QPoint(10, 10)).hotSpot(), QPoint(7, 6));
  QTest::mouseClick(Box(Main->ImRechts()), Qt::LeftButton, {}, QPoint(30, 30));
  EXPECT_EQ(Main->RightSide().TurnPoint.X, 0);
  EXPECT_EQ(Main->LeftSide().TurnPoint.X, 60);
  // A right press is the popup's and changes nothing.
  Main->ImPicBoxOnMouseDown(Main->ImRechts(), Qt::RightButton, {}, 90, 90);
  EXPECT_EQ(Main->RightSide().Line.X1, 30);
}

// The markers pixel for pixel at zoom 1, and at zoom 2 scrolled to (100, 50)
// the point (300, 200) centred at view position (500, 350).
TEST_F(Alignment, MarkersOnScreen) {
  LoadPair();
  Main->LeftSide().Point = {30, 40};
  Main->LeftSide().TurnPoint = {100, 120};
  Main->ImLinks()->Invalidate();
  QApplication::processEvents();
  TPGImage* v = Main->ImLinks();
  const QRgb black = 0, white = 0xFFFFFF;
  for (int d = -5; d <= 5; ++d) {
    EXPECT_EQ(At(v, QPoint(30 + d, 40)), black) << d;
    EXPECT_EQ(At(v, QPoint(30, 40 + d)), black) << d;
  }
  EXPECT_NE(At(v, QPoint(36, 40)), black);
  // The white outline around the arms.
  for (QPoint p : {QPoint(25, 39), QPoint(28, 39), QPoint(29, 35), QPoint(31, 36), QPoint(35, 39), QPoint(35, 41),
                   QPoint(31, 45), QPoint(29, 44), QPoint(25, 41)})
    EXPECT_EQ(At(v, p), white) << p.x() << "," << p.y();
  // The rings: red for the identical point, dark green for the second point.
  EXPECT_EQ(At(v, QPoint(30, 33)), 0xFF0000u);
  EXPECT_EQ(At(v, QPoint(23, 40)), 0xFF0000u);
  EXPECT_EQ(At(v, QPoint(30, 34)), white);
  EXPECT_EQ(At(v, QPoint(100, 113)), 0x008000u);
  EXPECT_EQ(At(v, QPoint(107, 120)), 0x008000u);

  auto big = Gradient(1000, 800);
  v->AdoptPixelGraphic(std::move(big));
  v->SetStretch(sZoomKAR);
  v->SetZoomFactor(2.0L);
  v->horizontalScrollBar()->setValue(100);
  v->verticalScrollBar()->setValue(50);
  Main->LeftSide().Point = {300, 200};
  Main->LeftSide().TurnPoint = {};
  v->Invalidate();
  QApplication::processEvents();
  const QImage screen = Screen(v);
  EXPECT_EQ(Box(v)->mapTo(v->viewport(), QPoint(600, 400)), QPoint(500, 350));
  EXPECT_EQ(screen.pixel(500, 350) & 0xFFFFFF, black);
  EXPECT_EQ(screen.pixel(493, 350) & 0xFFFFFF, 0xFF0000u);
  EXPECT_EQ(screen.pixel(496, 349) & 0xFFFFFF, white);
}

// Dragging draws the line XOR white over the picture; after the release each
// animation step draws dashes of 5 black and 3 window-coloured pixels that
// move by 2 pixels per step, on the active side only.
TEST_F(Alignment, TiltLineXorAndMarchingLines) {
  LoadPair();
  Main->RightSide().Line = {10, 10, 100, 10};
  Click("BtLine");
  TPGImage* v = Main->ImLinks();
  QTest::mousePress(Box(v), Qt::LeftButton, {}, QPoint(10, 100));
  QTest::mouseMove(Box(v), QPoint(120, 100));
  QTest::mouseMove(Box(v), QPoint(200, 100));
  EXPECT_TRUE(Main->LineDragging());
  EXPECT_EQ(Main->StatusText(), "200,100");
  EXPECT_EQ(At(v, QPoint(50, 100)), qRgb(255 - 50, 255 - 100, 255 - 40) & 0xFFFFFF);
  EXPECT_EQ(At(v, QPoint(150, 100)), qRgb(255 - 150, 255 - 100, 255 - 40) & 0xFFFFFF);
  EXPECT_EQ(At(v, QPoint(200, 100)), qRgb(200, 100, 40) & 0xFFFFFF) << "end point excluded";
  EXPECT_EQ(At(v, QPoint(150, 101)), qRgb(150, 101, 40) & 0xFFFFFF);
  QTest::mouseRelease(Box(v), Qt::LeftButton, {}, QPoint(200, 100));
  QApplication::processEvents();
  EXPECT_FALSE(Main->LineDragging());
  EXPECT_EQ(Main->LeftSide().Line.X1, 10);
  EXPECT_EQ(Main->LeftSide().Line.X2, 200);
  const QRgb window = Main->palette().color(QPalette::Window).rgb() & 0xFFFFFF;
  // The XOR line is gone; the dashes are there at once.
  const QRgb released = At(v, QPoint(50, 100));
  EXPECT_TRUE(released == 0 || released == window) << std::hex << released;
  EXPECT_TRUE(Main->Timer1()->isActive());

  // Phase 128 -> 32: from x = 10 the pattern runs W W D D D D D W, repeating.
  Main->Timer1Timer();
  EXPECT_EQ(Main->AnimationPhase(), 32);
  const std::string expected = "WWDDDDDWWWDDDDDW";
  EXPECT_EQ(Dashes(v, 10, 100), expected);
  EXPECT_EQ(At(v, QPoint(200, 100)), qRgb(200, 100, 40) & 0xFFFFFF);
  // Next step (phase 8): the dashes moved by 2.
  Main->Timer1Timer();
  EXPECT_EQ(Dashes(v, 12, 100), expected);
  // The right side's line is not animated while the left tab is active.
  EXPECT_EQ(At(Main->ImRechts(), QPoint(50, 10)), qRgb(50, 10, 40) & 0xFFFFFF);
  // Progress pauses the animation; a repaint meanwhile does not restart it.
  Main->ImPixelGraphicProgressStart();
  v->repaint();
  EXPECT_FALSE(Main->Timer1()->isActive());
  Main->ImPixelGraphicProgressEnd();
  EXPECT_TRUE(Main->Timer1()->isActive());
}

// A tilt line from a parameter file may run billions of pixels beyond the
// screen: only its visible part is rasterised, with the dashes the whole line
// would have there, and each repaint stays quick.
TEST_F(Alignment, LineFarBeyondTheScreen) {
  LoadPair();
  Main->LeftSide().Line = {10, 100, 2000000000, 100};
  Main->Timer1Timer();
  ASSERT_EQ(Main->AnimationPhase(), 32);
  TPGImage* v = Main->ImLinks();
  const QRgb window = Main->palette().color(QPalette::Window).rgb() & 0xFFFFFF;
  QElapsedTimer clock;
  clock.start();
  EXPECT_EQ(Dashes(v, 10, 100), "WWDDDDDWWWDDDDDW");
  // A steep line from far below the picture up to (200, 0): the shorter
  // coordinate moved half-way, far off screen, so the visible steps are in
  // column 200; step i = 2000000000 - y, its dash bit (5 + i + 1) mod 8.
  Main->LeftSide().Line = {201, 2000000000, 200, 0};
  v->repaint();
  for (int y = 1; y < 300; y += 7) {
    const int bit = ((6 - y) % 8 + 8) % 8;
    EXPECT_EQ(At(v, QPoint(200, y)), bit >= 5 ? window : 0) << y;
    EXPECT_EQ(At(v, QPoint(201, y)), qRgb(201, y, 40) & 0xFFFFFF) << y;
  }
  EXPECT_LT(clock.elapsed(), 2000);
}

// "Nein" keeps everything; "Ja" crops the view's picture, resets only that
// side's alignment; the stereo view's crop changes only the stereo picture.
TEST_F(Alignment, Crop) {
  LoadPair();
  Main->LeftSide().Point = {50, 60};
  Main->RightSide().Point = {70, 80};
  Click("BtCut");
  TPGImage* v = Main->ImLinks();
  Answer(platform::mrNo);
  DragSelection(v, QPoint(20, 30), QPoint(120, 80));
  ASSERT_EQ(Messages.size(), 1u);
  EXPECT_EQ(Messages[0], "Bereich markiert: Bild beschneiden?");
  EXPECT_TRUE(v->Selection());
  EXPECT_EQ(v->PixelGraphicNoWait()->Width(), 400);
  EXPECT_EQ(Main->LeftSide().Point.X, 50);

  Answer(platform::mrYes);
  DragSelection(v, QPoint(200, 150), QPoint(300, 200));
  ASSERT_EQ(Messages.size(), 2u);
  const TPixelGraphic* cropped = v->PixelGraphicNoWait();
  const int w = cropped->Width(), h = cropped->Height();
  EXPECT_NEAR(w, 100, 1);
  EXPECT_NEAR(h, 50, 1);
  EXPECT_FALSE(v->Selection());
  EXPECT_EQ(cropped->Pixels(0, 0), RGBColor(200, 150, 40));
  EXPECT_EQ(cropped->Pixels(w - 1, h - 1), RGBColor(200 + w - 1, 150 + h - 1, 40));
  EXPECT_EQ(Main->LeftSide().Point.X, 0);
  EXPECT_EQ(Main->RightSide().Point.X, 70);

  auto stereo = Gradient(300, 200);
  Main->ImStereo()->AdoptPixelGraphic(std::move(stereo));
  ClickTab(2);
  DragSelection(Main->ImStereo(), QPoint(10, 10), QPoint(60, 40));
  EXPECT_NEAR(Main->ImStereo()->PixelGraphicNoWait()->Width(), 50, 1);
  EXPECT_EQ(Main->ImRechts()->PixelGraphicNoWait()->Width(), 400);
  EXPECT_EQ(Main->RightSide().Point.X, 70);
}

// The tilt line follows the mouse on a 24-megapixel picture within 2 ms a move.
TEST_F(Alignment, TiltLineSpeedOn24Megapixels) {
  LoadPair();
  TPGImage* v = Main->ImLinks();
  v->AdoptPixelGraphic(Gradient(6000, 4000));
  QApplication::processEvents();
  Click("BtLine");
  QTest::mousePress(Box(v), Qt::LeftButton, {}, QPoint(5, 5));
  std::vector<double> ms;
  for (int i = 0; i < 40; ++i) {
    QElapsedTimer t;
    t.start();
    QTest::mouseMove(Box(v), QPoint(300 + i * 3, 200 + (i % 7) * 20));
    ms.push_back(t.nsecsElapsed() / 1e6);
  }
  QTest::mouseRelease(Box(v), Qt::LeftButton, {}, QPoint(400, 300));
  std::sort(ms.begin(), ms.end());
  // One animation step of a line across the whole picture.
  Main->LeftSide().Line = {1, 1, 5999, 3999};
  std::vector<double> tick;
  for (int i = 0; i < 20; ++i) {
    QElapsedTimer t;
    t.start();
    Main->Timer1Timer();
    tick.push_back(t.nsecsElapsed() / 1e6);
  }
  std::sort(tick.begin(), tick.end());
  std::printf("tilt-line move on 6000 x 4000: median %.3f ms, max %.3f ms; marching step median %.3f ms\n",
              ms[ms.size() / 2], ms.back(), tick[tick.size() / 2]);
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
  EXPECT_LT(ms[ms.size() / 2], 2.0);
  EXPECT_LT(tick[tick.size() / 2], 1.0);
#endif
}
