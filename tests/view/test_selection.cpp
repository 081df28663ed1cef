// The selection layer and the mouse: drag states, limits, handles, cursors,
// the repainted strips and auto-scrolling, driven with the mouse.
#include <QScrollBar>

#include "pgraphic/view/cursors.h"
#include "view_test_util.h"

using viewtest::Gradient;
using viewtest::MakeView;

namespace {

void Press(TPGImage& v, QPoint p, Qt::MouseButton b = Qt::LeftButton) { QTest::mousePress(v.PicBox(), b, {}, p); }
void Move(TPGImage& v, QPoint p) { QTest::mouseMove(v.PicBox(), p); }
void Release(TPGImage& v, QPoint p, Qt::MouseButton b = Qt::LeftButton) { QTest::mouseRelease(v.PicBox(), b, {}, p); }

QRect Sel(const TPGImage& v) { return v.SelectionRect(); }

// Records the regions the view's client area is painted with.
class TPaintSpy : public QObject {
public:
  QRegion Painted;
  int Count = 0;
  bool eventFilter(QObject*, QEvent* e) override {
    if (e->type() == QEvent::Paint) {
      Painted += static_cast<QPaintEvent*>(e)->region();
      ++Count;
    }
    return false;
  }
};

} // namespace

TEST(ImageViewSelection, CreateByDraggingAndByClicking) {
  auto view = MakeView(200, 200, Gradient(100, 100));
  view->SetActionMode(amCreateSelection);
  int made = 0;
  view->OnSelectionMade = [&](TObject*) { ++made; };
  Press(*view, {10, 10});
  EXPECT_EQ(view->DragState(), dsCreateSelection);
  EXPECT_TRUE(view->Selection());
  EXPECT_TRUE(view->AutoScrollActive());
  Move(*view, {7, 15});
  Move(*view, {5, 20});
  Release(*view, {5, 20});
  EXPECT_EQ(Sel(*view), QRect(5, 10, 6, 11));
  EXPECT_EQ(made, 1);
  EXPECT_EQ(view->DragState(), dsNone);
  EXPECT_FALSE(view->AutoScrollActive());
  // Pressing inside the existing selection starts a new one; a click is 1x1.
  Press(*view, {7, 12});
  Release(*view, {7, 12});
  EXPECT_EQ(Sel(*view), QRect(7, 12, 1, 1));
  EXPECT_EQ(made, 2);
  // Dragging out of the picture is not limited to it.
  Press(*view, {90, 90});
  Move(*view, {150, 130});
  Release(*view, {150, 130});
  EXPECT_EQ(Sel(*view), QRect(90, 90, 61, 41));
}

TEST(ImageViewSelection, MovingKeepsOnePixelOverThePicture) {
  auto view = MakeView(200, 200, Gradient(100, 100));
  view->SetActionMode(amMoveSelection);
  view->SetSelectionRect(40, 40, 10, 10);
  view->SetSelection(true);
  int made = 0;
  view->OnSelectionMade = [&](TObject*) { ++made; };
  Press(*view, {45, 45});
  EXPECT_EQ(view->DragState(), dsMoveSelection);
  Move(*view, {-150, 45});
  EXPECT_EQ(Sel(*view), QRect(-9, 40, 10, 10));
  Move(*view, {190, 190});
  EXPECT_EQ(Sel(*view), QRect(99, 99, 10, 10));
  Release(*view, {190, 190});
  EXPECT_EQ(made, 1);
  // Outside the selection amMoveSelection does nothing, also with the handles' offsets.
  Press(*view, {10, 10});
  EXPECT_EQ(view->DragState(), dsNone);
  Release(*view, {10, 10});
  Press(*view, {95, 95}); // where the top-left handle would be with handles
  EXPECT_EQ(view->DragState(), dsNone);
  Release(*view, {95, 95});
  EXPECT_EQ(made, 1);
}

TEST(ImageViewSelection, HandlesResizeWithTheOppositeEdgeFixed) {
  auto view = MakeView(300, 300, Gradient(200, 200));
  view->SetActionMode(amMoveResizeCreateSelection);
  view->SetSelectionRect(50, 50, 20, 30);
  view->SetSelection(true);
  // Left handle: (V.Left - 8 .. V.Left - 3) x (my - 2 .. my + 3).
  Press(*view, {44, 66});
  EXPECT_EQ(view->DragState(), dsResizeLeft);
  Move(*view, {150, 66}); // past the right edge: width 1, right edge unchanged
  EXPECT_EQ(Sel(*view), QRect(69, 50, 1, 30));
  Move(*view, {30, 66});
  EXPECT_EQ(Sel(*view), QRect(36, 50, 34, 30));
  Release(*view, {30, 66});
  // Bottom-right handle (V.Right + 3 .. V.Right + 8).
  Press(*view, {70 + 4, 80 + 4});
  EXPECT_EQ(view->DragState(), dsResizeBottomRight);
  Move(*view, {10, 10});
  EXPECT_EQ(Sel(*view), QRect(36, 50, 1, 1));
  Move(*view, {110, 120});
  EXPECT_EQ(Sel(*view), QRect(36, 50, 70, 66));
  Release(*view, {110, 120});
  // Top handle: (mx - 2 .. mx + 3) x (V.Top - 8 .. V.Top - 3).
  const int mx = (36 + 106) / 2;
  Press(*view, {mx + 2, 42});
  EXPECT_EQ(view->DragState(), dsResizeTop);
  Move(*view, {mx, 500});
  EXPECT_EQ(Sel(*view), QRect(36, 115, 70, 1));
  Release(*view, {mx, 500});
  // Just outside a handle square the press creates a new selection.
  Press(*view, {36 - 2, 116 + 3 + 5});
  EXPECT_EQ(view->DragState(), dsCreateSelection);
  Release(*view, {36 - 2, 116 + 3 + 5});
}

// A handle is grabbed between its square and the frame too, and on the
// frame's corner itself (where a user aims); a little further out a new
// selection starts as before.
TEST(ImageViewSelection, HandlesAreGrabbedUpToTheFrame) {
  auto view = MakeView(300, 300, Gradient(200, 200));
  view->SetActionMode(amMoveResizeCreateSelection);
  view->SetSelectionRect(50, 50, 40, 30);
  view->SetSelection(true);
  const struct {
    QPoint At;
    TPGDragState State;
  } presses[] = {{{49, 49}, dsResizeTopLeft},     {{90, 80}, dsResizeBottomRight}, {{48, 65}, dsResizeLeft},
                 {{70, 79 + 3}, dsResizeBottom},  {{90, 42}, dsResizeTopRight},    {{70, 60}, dsMoveSelection},
                 {{49, 57}, dsCreateSelection}};
  for (const auto& p : presses) {
    Press(*view, p.At);
    EXPECT_EQ(view->DragState(), p.State) << p.At.x() << "," << p.At.y();
    Release(*view, p.At);
    view->SetSelectionRect(50, 50, 40, 30);
  }
  EXPECT_EQ(view->CursorAt(view->PicBox()->mapTo(view->viewport(), QPoint(49, 49))).shape(), Qt::SizeFDiagCursor);
}

// A frame at the picture's edge would have its handles outside the picture
// box, unseen and out of reach: that side's handles stand inside the frame,
// where they are drawn, grabbed before the inside, and repainted with the frame.
TEST(ImageViewSelection, HandlesAtThePicturesEdgeStandInside) {
  auto view = MakeView(300, 300, Gradient(100, 80));
  view->SetActionMode(amMoveResizeCreateSelection);
  view->SetSelectionColor1(QColor(0, 0, 255));
  view->SetSelectionColor2(QColor(0, 0, 255));
  view->SetSelectionRect(0, 0, 100, 80);
  view->SetSelection(true);
  QApplication::processEvents();
  const QImage shown = viewtest::Rendered(*view);
  EXPECT_EQ(shown.pixel(3, 3), qRgb(0, 0, 255));       // top-left handle square, inside
  EXPECT_EQ(shown.pixel(96, 76), qRgb(0, 0, 255));     // bottom-right
  EXPECT_EQ(shown.pixel(5, 5), viewtest::Rgb(RGBColor(5, 5, 7)));
  Press(*view, {2, 2});
  EXPECT_EQ(view->DragState(), dsResizeTopLeft);
  Move(*view, {20, 10});
  Release(*view, {20, 10});
  EXPECT_EQ(Sel(*view), QRect(18, 8, 82, 72)); // the edge keeps its distance to the mouse
  // Away from the edges the handles stand outside again.
  Press(*view, {15, 5});
  EXPECT_EQ(view->DragState(), dsResizeTopLeft);
  Release(*view, {15, 5});
  Press(*view, {95, 75});
  EXPECT_EQ(view->DragState(), dsResizeBottomRight);
  Move(*view, {60, 50});
  Release(*view, {60, 50});
  EXPECT_EQ(Sel(*view), QRect(18, 8, 47, 47));
  Press(*view, {40, 30});
  EXPECT_EQ(view->DragState(), dsMoveSelection);
  Release(*view, {40, 30});
  // Moved off the edge, the inner handles' pixels are repainted.
  view->SetSelectionRect(0, 0, 60, 60);
  QApplication::processEvents();
  view->SetSelectionRect(20, 15, 60, 50);
  EXPECT_EQ(viewtest::Rendered(*view).pixel(3, 3), viewtest::Rgb(RGBColor(3, 3, 7)));
}

// The auto-scroll ends with the drag, before the handler of the finished
// selection runs (it may ask the user something).
TEST(ImageViewSelection, AutoScrollStopsBeforeTheSelectionIsReported) {
  auto view = MakeView(100, 100, Gradient(400, 400));
  view->SetActionMode(amCreateSelection);
  bool scrolling = true;
  TPGDragState state = dsCreateSelection;
  view->OnSelectionMade = [&](TObject*) {
    scrolling = view->AutoScrollActive();
    state = view->DragState();
  };
  Press(*view, {50, 50});
  Move(*view, {90, 90});
  Release(*view, {90, 90});
  EXPECT_FALSE(scrolling);
  EXPECT_EQ(state, dsNone);
}

TEST(ImageViewSelection, RightButtonAndAmNoneDoNothing) {
  auto view = MakeView(200, 200, Gradient(100, 100));
  view->SetActionMode(amCreateSelection);
  int made = 0, changes = 0;
  view->OnSelectionMade = [&](TObject*) { ++made; };
  view->OnSelectionChange = [&](TObject*) { ++changes; };
  Press(*view, {10, 10}, Qt::RightButton);
  EXPECT_EQ(view->DragState(), dsNone);
  Release(*view, {10, 10}, Qt::RightButton);
  view->SetActionMode(amNone);
  Press(*view, {10, 10});
  Release(*view, {10, 10});
  EXPECT_EQ(made, 0);
  EXPECT_EQ(changes, 0);
  // Setting Selection twice and an unchanged rectangle fire once / never.
  view->SetSelection(true);
  view->SetSelection(true);
  view->SetSelectionRect(0, 0, 1, 1);
  EXPECT_EQ(changes, 1);
  EXPECT_TRUE(view->AnimationActive());
  view->SetSelection(false);
  EXPECT_FALSE(view->AnimationActive());
}

TEST(ImageViewSelection, ChainedHandlersRunInDispatcherOrder) {
  auto view = MakeView(200, 200, Gradient(100, 100));
  view->SetActionMode(amCreateSelection);
  std::string log;
  view->PicBoxOnMouseDown = [&](TObject* s, Qt::MouseButton, Qt::KeyboardModifiers, int x, int y) {
    log += "down(" + std::to_string(x) + "," + std::to_string(y) + ")" + (view->Selection() ? "+" : "-") + " ";
    EXPECT_EQ(s, static_cast<TObject*>(view->PicBox()));
  };
  view->PicBoxOnMouseUp = [&](TObject*, Qt::MouseButton, Qt::KeyboardModifiers, int, int) {
    log += std::string("up") + (view->DragState() == dsNone ? "-" : "+") + " ";
  };
  view->OnSelectionMade = [&](TObject*) { log += "made "; };
  Press(*view, {3, 4});
  Release(*view, {3, 4});
  // The view's own handling comes first on press, last on release.
  EXPECT_EQ(log, "down(3,4)+ up+ made ");
}

TEST(ImageViewSelection, DraggingThePictureScrollsAndNeverMakesASelection) {
  auto view = MakeView(100, 100, Gradient(400, 300));
  int made = 0;
  view->OnSelectionMade = [&](TObject*) { ++made; };
  QCursor seen;
  view->PicBoxOnSetCursor = [&](TObject*, QCursor& c) { seen = c; };
  Press(*view, {50, 50});
  EXPECT_EQ(view->DragState(), dsMoveImage);
  EXPECT_EQ(seen.hotSpot(), PGCursorHotSpot(pgcClosedHand));
  EXPECT_EQ(view->PicBox()->cursor().hotSpot(), PGCursorHotSpot(pgcClosedHand));
  Move(*view, {30, 40});
  EXPECT_EQ(view->horizontalScrollBar()->value(), 20);
  EXPECT_EQ(view->verticalScrollBar()->value(), 10);
  // The picture box moved with the scroll position, so the same mouse point
  // in picture-box coordinates is now 20/10 further: nothing more scrolls.
  Move(*view, {50, 50});
  EXPECT_EQ(view->horizontalScrollBar()->value(), 20);
  Move(*view, {-500, 50}); // clamped at the range
  EXPECT_EQ(view->horizontalScrollBar()->value(), view->horizontalScrollBar()->maximum());
  Release(*view, {-500, 50});
  EXPECT_EQ(made, 0);
  EXPECT_FALSE(view->Selection());
  // A picture that fits does nothing on a click.
  view->AdoptPixelGraphic(Gradient(50, 50));
  Press(*view, {10, 10});
  EXPECT_EQ(view->DragState(), dsNone);
  Release(*view, {10, 10});
}

TEST(ImageViewSelection, CursorRules) {
  auto view = MakeView(300, 300, Gradient(200, 200));
  view->SetPicBoxCursor(QCursor(Qt::PointingHandCursor));
  const QPoint origin = view->PicBoxRect().topLeft();
  auto at = [&](QPoint p) { return view->CursorAt(origin + p).shape(); };
  EXPECT_EQ(at({10, 10}), Qt::PointingHandCursor); // amMoveImage, picture fits
  view->SetActionMode(amMoveResizeCreateSelection);
  view->SetSelectionRect(50, 50, 20, 20);
  view->SetSelection(true);
  auto hotSpotAt = [&](QPoint p) { return view->CursorAt(origin + p).hotSpot(); };
  EXPECT_EQ(hotSpotAt({10, 10}), PGCursorHotSpot(pgcCrossHair));
  EXPECT_EQ(hotSpotAt({55, 55}), PGCursorHotSpot(pgcMoveArrows)); // inside the selection
  EXPECT_EQ(at({44, 44}), Qt::SizeFDiagCursor);
  EXPECT_EQ(at({74, 44}), Qt::SizeBDiagCursor);
  EXPECT_EQ(at({60, 44}), Qt::SizeVerCursor);
  EXPECT_EQ(at({44, 60}), Qt::SizeHorCursor);
  view->SetViewCursor(QCursor(Qt::IBeamCursor));
  int viewEvents = 0, boxEvents = 0;
  view->OnSetCursor = [&](TObject*, QCursor& c) {
    ++viewEvents;
    c = QCursor(Qt::WhatsThisCursor);
  };
  view->PicBoxOnSetCursor = [&](TObject*, QCursor&) { ++boxEvents; };
  EXPECT_EQ(view->CursorAt(QPoint(250, 250)).shape(), Qt::WhatsThisCursor);
  at({1, 1});
  EXPECT_EQ(viewEvents, 1);
  EXPECT_EQ(boxEvents, 1);
  // A forced application cursor wins and no event runs.
  QGuiApplication::setOverrideCursor(Qt::WaitCursor);
  EXPECT_EQ(at({55, 55}), Qt::WaitCursor);
  QGuiApplication::restoreOverrideCursor();
  EXPECT_EQ(viewEvents + boxEvents, 2);
}

TEST(ImageViewSelection, ChangesRepaintOnlyTheFrameStripsAtOnce) {
  auto view = MakeView(300, 300, Gradient(200, 200));
  view->SetActionMode(amMoveSelection);
  view->SetSelectionRect(10, 10, 20, 20);
  view->SetSelection(true);
  QApplication::processEvents();
  TPaintSpy spy;
  view->viewport()->installEventFilter(&spy);
  view->SetSelectionRect(100, 100, 10, 10);
  // Painted before returning, and only 1-pixel strips around old and new frame.
  EXPECT_GE(spy.Count, 1);
  const QRegion expected = QRegion(9, 9, 22, 22).subtracted(QRegion(10, 10, 20, 20)) +
                           QRegion(99, 99, 12, 12).subtracted(QRegion(100, 100, 10, 10));
  EXPECT_EQ(spy.Painted, expected);
  // With handles the strips are 8 pixels wide.
  view->SetActionMode(amMoveResizeCreateSelection);
  QApplication::processEvents(); // the mode change repaints the whole view
  spy.Painted = QRegion();
  view->SetSelectionRect(100, 100, 11, 10);
  EXPECT_EQ(spy.Painted, QRegion(92, 92, 27, 26).subtracted(QRegion(100, 100, 10, 10)));
  view->viewport()->removeEventFilter(&spy);
}

TEST(ImageViewSelection, FrameIsDrawnWithTheAnimatedPattern) {
  auto view = MakeView(100, 100, Gradient(60, 60));
  view->SetSelectionColor1(QColor(0, 0, 255));
  view->SetSelectionColor2(QColor(0, 255, 0));
  view->SetSelectionRect(20, 20, 10, 10);
  view->SetSelection(true);
  auto frameColours = [&] {
    const QImage img = viewtest::Rendered(*view);
    std::string s;
    for (int x = 19; x <= 30; ++x) s += img.pixel(x, 19) == qRgb(0, 0, 255) ? 'b' : img.pixel(x, 19) == qRgb(0, 255, 0) ? 'g' : '?';
    return s;
  };
  const std::string before = frameColours();
  EXPECT_EQ(before.find('?'), std::string::npos) << before;
  EXPECT_NE(before.find("bbbb"), std::string::npos) << before;
  EXPECT_NE(before.find("gggg"), std::string::npos) << before;
  view->AnimationStep();
  const std::string after = frameColours();
  EXPECT_NE(before, after);
  // Inside the frame the picture is untouched.
  EXPECT_EQ(viewtest::Rendered(*view).pixel(25, 25), viewtest::Rgb(RGBColor(25, 25, 7)));
}

TEST(ImageViewSelection, AutoScrollFollowsTheCursorOutsideTheView) {
  auto view = MakeView(100, 100, Gradient(400, 400));
  view->SetActionMode(amCreateSelection);
  Press(*view, {50, 50});
  QCursor::setPos(view->viewport()->mapToGlobal(QPoint(150, 50)));
  view->AutoScrollStep();
  EXPECT_EQ(view->horizontalScrollBar()->value(), 5);
  EXPECT_EQ(view->verticalScrollBar()->value(), 0);
  QCursor::setPos(view->viewport()->mapToGlobal(QPoint(-10, -10)));
  view->AutoScrollStep();
  EXPECT_EQ(view->horizontalScrollBar()->value(), 0);
  EXPECT_EQ(view->verticalScrollBar()->value(), 0);
  Release(*view, {50, 50});
}
