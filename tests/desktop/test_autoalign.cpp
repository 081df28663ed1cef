// Automatisch ausrichten in the window, and the history of every alignment
// change: automatic, clicked, nudged, drawn.
#include <cstring>

#include <QKeySequence>
#include <QPushButton>

#include "app/core/autoalign.h"
#include "app/core/compose.h"
#include "mainform_test_util.h"

using namespace desktoptest;

namespace {

class AutoAlignWindow : public MainWindowTest {
protected:
  TPixelGraphic& Picture(TPGImage* view) { return *view->PixelGraphic(); }
  void Key(const QKeySequence& keys) {
    QTest::keySequence(Main.get(), keys);
    QApplication::processEvents();
  }
  static bool Same(const TSideAlignment& a, const TSideAlignment& b) {
    return a.Point.X == b.Point.X && a.Point.Y == b.Point.Y && a.TurnPoint.X == b.TurnPoint.X &&
           a.TurnPoint.Y == b.TurnPoint.Y && std::memcmp(&a.Line, &b.Line, sizeof a.Line) == 0 && a.Scale == b.Scale &&
           a.Exact.has_value() == b.Exact.has_value() && (!a.Exact || (a.Exact->X == b.Exact->X && a.Exact->Y == b.Exact->Y));
  }
  static bool Same(const TPairAlignment& a, const TPairAlignment& b) {
    return Same(a.Left, b.Left) && Same(a.Right, b.Right);
  }
};

} // namespace

// The button aligns the pair as the core does, the status bar tells what was
// found, the stereo picture is the core's for that alignment, and Ctrl+Z /
// Ctrl+Y go back to the parameter files' alignment and forth again.
TEST_F(AutoAlignWindow, AlignsComposesUndoesAndRedoes) {
  LoadSamplePair();
  const TPairAlignment fromFiles = Main->Alignment();
  ASSERT_TRUE(Main->BtAutoAlign->isEnabled());
  Click("BtAutoAlign");
  const TAutoAlignResult want = AutoAlign(Picture(Main->ImLinks()), Picture(Main->ImRechts()));
  ASSERT_EQ(want.Status, aasAligned);
  EXPECT_TRUE(Same(Main->Alignment(), want.Alignment));
  EXPECT_TRUE(Main->AlignStatusText().startsWith("Restfehler ")) << Main->AlignStatusText().toStdString();
  EXPECT_TRUE(Main->AlignStatusText().contains(QString::fromUtf8("‰"))) << Main->AlignStatusText().toStdString();
  EXPECT_EQ(Main->MIRueckgaengig->text(), QString::fromUtf8("&Rückgängig: Automatisch ausrichten (Bildpaar)"));
  EXPECT_TRUE(Messages.empty());

  Click("BtStereoColor");
  TPixelGraphic work;
  TStereoResult composed =
      ComposePictures(smColorAnaglyph, Picture(Main->ImLinks()), Picture(Main->ImRechts()), want.Alignment, work);
  const TPixelGraphic& got = Picture(Main->ImStereo());
  ASSERT_EQ(got.Width(), composed.Image->Width());
  ASSERT_EQ(got.Height(), composed.Image->Height());
  for (int y = 0; y < got.Height(); ++y)
    ASSERT_EQ(0, std::memcmp(got.ScanLine(y), composed.Image->ScanLine(y), size_t(got.Width()) * 3)) << y;

  ClickTab(0);
  Main->show();
  QApplication::setActiveWindow(Main.get());
  ASSERT_TRUE(QTest::qWaitForWindowActive(Main.get()));
  Key(QKeySequence(Qt::CTRL | Qt::Key_Z));
  EXPECT_TRUE(Same(Main->Alignment(), fromFiles));
  EXPECT_TRUE(Main->AlignStatusText().isEmpty());
  EXPECT_TRUE(Main->MIWiederherstellen->isEnabled());
  Key(QKeySequence(Qt::CTRL | Qt::Key_Y));
  EXPECT_TRUE(Same(Main->Alignment(), want.Alignment));
}

// Hand changes are steps too: a click, a run of arrow keys (one step), a
// drawn tilt line; a click on the point where it already is adds none.
TEST_F(AutoAlignWindow, HandChangesAreUndoneStepByStep) {
  LoadSide(0, WritePicture("l.bmp", *Gradient(200, 150)));
  LoadSide(1, WritePicture("r.bmp", *Gradient(200, 150)));
  ClickTab(0);
  Main->show();
  QApplication::setActiveWindow(Main.get());
  ASSERT_TRUE(QTest::qWaitForWindowActive(Main.get()));
  TPGImage* view = Main->ImLinks();
  Click("BtLock");
  QTest::mouseClick(view->PicBox(), Qt::LeftButton, {}, {40, 30});
  const TStereoPoint clicked = Main->LeftSide().Point;
  ASSERT_GT(clicked.X, 0);
  QTest::mouseClick(view->PicBox(), Qt::LeftButton, {}, {40, 30});
  EXPECT_EQ(Main->History().UndoCount(), 1u);
  for (int i = 0; i < 3; ++i) Key(QKeySequence(Qt::Key_Right));
  EXPECT_EQ(Main->LeftSide().Point.X, clicked.X + 3);
  EXPECT_EQ(Main->History().UndoCount(), 2u);

  Click("BtLine");
  QTest::mousePress(view->PicBox(), Qt::LeftButton, {}, {10, 100});
  QTest::mouseMove(view->PicBox(), {150, 110});
  QTest::mouseRelease(view->PicBox(), Qt::LeftButton, {}, {150, 110});
  QApplication::processEvents();
  EXPECT_NE(Main->LeftSide().Line.X2, 0);
  EXPECT_EQ(Main->MIRueckgaengig->text(), QString::fromUtf8("&Rückgängig: Verkantungslinie (Linkes Bild)"));

  Main->MIRueckgaengig->trigger();
  EXPECT_EQ(Main->LeftSide().Line.X2, 0);
  Main->MIRueckgaengig->trigger();
  EXPECT_EQ(Main->LeftSide().Point.X, clicked.X);
  Main->MIRueckgaengig->trigger();
  EXPECT_EQ(Main->LeftSide().Point.X, 0);
  EXPECT_FALSE(Main->MIRueckgaengig->isEnabled());
  Main->MIWiederherstellen->trigger();
  Main->MIWiederherstellen->trigger();
  EXPECT_EQ(Main->LeftSide().Point.X, clicked.X + 3);
}

// With one photograph there is nothing to align; pictures with nothing in
// common are said to be so and keep their alignment; Abbrechen in the
// progress dialog changes nothing.
TEST_F(AutoAlignWindow, SlipsLeaveTheAlignmentAsItWas) {
  LoadSide(0, WritePicture("l.bmp", *Gradient(400, 300)));
  EXPECT_FALSE(Main->BtAutoAlign->isEnabled());
  EXPECT_FALSE(Main->MIAutomatischAusrichten->isEnabled());
  LoadSide(1, WritePicture("r.bmp", *Gradient(400, 300)));
  Main->LeftSide().Point = {7, 8};
  const TPairAlignment before = Main->Alignment();
  Click("BtAutoAlign");
  ASSERT_EQ(Messages.size(), 1u);
  EXPECT_NE(Messages[0].find(AutoAlignMessage(aasTooLittleInCommon, true)), std::string::npos) << Messages[0];
  EXPECT_TRUE(Same(Main->Alignment(), before));
  EXPECT_FALSE(Main->MIRueckgaengig->isEnabled());

  // A pair large enough that the alignment is still running when the
  // dialog's first Abbrechen arrives.
  LoadSamplePair();
  for (TPGImage* view : {Main->ImLinks(), Main->ImRechts()}) {
    auto big = std::make_unique<TPixelGraphic>();
    big->SetSize(4800, 3600, bc24Bit);
    big->StretchFrom(Picture(view));
    view->ExchangePixelGraphic(std::move(big));
  }
  const TPairAlignment loaded = Main->Alignment();
  OnModal([](QDialog* dialog) {
    if (auto* button = dialog->findChild<QPushButton*>()) QTest::mouseClick(button, Qt::LeftButton);
  });
  Click("BtAutoAlign");
  EXPECT_EQ(Main->StatusText(), "Abgebrochen.");
  EXPECT_TRUE(Same(Main->Alignment(), loaded));
  EXPECT_FALSE(Main->MIRueckgaengig->isEnabled());
}
