// What a user trips over with the pictures of a pair: failed loads over a
// loaded picture, crops by a slip, undo and redo of crops, turns and filters,
// a tilt line on one side only, the marching line after a load, the keys,
// and quitting with a stereo picture never saved.
#include <cstring>

#include <QMenuBar>

#include "app/core/compose.h"
#include "app/core/paramfile.h"
#include "mainform_test_util.h"
#include "pgraphic/view/opensavedialog.h"

using namespace desktoptest;

namespace {

class Edits : public MainWindowTest {
protected:
  // Answers every message box with answer (OK boxes with OK) and records it.
  void Answer(int answer) {
    platform::SetMessageBoxHook([this, answer](const std::string& text, const std::string& caption,
                                               platform::TMsgButtons buttons, platform::TMsgIcon) {
      Messages.push_back(caption + ": " + text);
      return buttons == platform::TMsgButtons::OK ? static_cast<int>(platform::mrOk) : answer;
    });
  }
  void Activate() {
    QApplication::setActiveWindow(Main.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(Main.get()));
  }
  void Drag(TPGImage* view, QPoint from, QPoint to) {
    QTest::mousePress(view->PicBox(), Qt::LeftButton, {}, from);
    QTest::mouseMove(view->PicBox(), (from + to) / 2);
    QTest::mouseMove(view->PicBox(), to);
    QTest::mouseRelease(view->PicBox(), Qt::LeftButton, {}, to);
    QApplication::processEvents();
  }
  void Key(int key, Qt::KeyboardModifiers mods = Qt::ControlModifier) {
    QTest::keyClick(Main.get(), static_cast<Qt::Key>(key), mods);
    QApplication::processEvents();
  }
  TPixelGraphic& Picture(TPGImage* view) { return *view->PixelGraphic(); }
};

} // namespace

// A file that is no picture, or a damaged one whose warning is answered
// Abbrechen, over a cropped picture with points: the error is shown, and the
// tab keeps picture, points, history and commands.
TEST_F(Edits, AFailedLoadKeepsTheTabsPicture) {
  LoadSide(0, WritePicture("l.bmp", *Gradient(120, 90)));
  LoadSide(1, WritePicture("r.bmp", *Gradient(120, 90)));
  ClickTab(0);
  Answer(platform::mrYes);
  Click("BtCut");
  Drag(Main->ImLinks(), {10, 10}, {70, 50});
  const TPixelGraphic* cropped = Main->ImLinks()->PixelGraphicNoWait();
  ASSERT_EQ(cropped->Width(), 61);
  Main->LeftSide().Point = {3, 4};
  const std::string name = Main->ImLinks()->FileName();

  QFile broken(Dir() + "/kaputt.bmp");
  ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
  broken.write("BM nonsense");
  broken.close();
  const std::string truncated = Copy(std::string(ZWILLO_TEST_DATA) + "/jpeg/truncated.jpg", "cut.jpg");
  Answer(platform::mrCancel);
  for (const std::string& file : {broken.fileName().toStdString(), truncated}) {
    SCOPED_TRACE(file);
    const size_t boxes = Messages.size();
    LoadSide(0, file);
    EXPECT_GT(Messages.size(), boxes);
    EXPECT_EQ(Main->ImLinks()->PixelGraphicNoWait(), cropped);
    EXPECT_EQ(Main->ImLinks()->FileName(), name);
    EXPECT_EQ(Main->LeftSide().Point.Y, 4);
    EXPECT_TRUE(Main->BtStereo->isEnabled());
    EXPECT_TRUE(Main->MIRueckgaengig->isEnabled());
  }
  // A load that succeeds replaces everything: the side's steps go.
  LoadSide(0, WritePicture("n.bmp", *Gradient(20, 10)));
  EXPECT_EQ(Picture(Main->ImLinks()).Width(), 20);
  EXPECT_EQ(Main->LeftSide().Point.Y, 0);
  EXPECT_FALSE(Main->MIRueckgaengig->isEnabled());
}

// A click or a twitch in crop mode asks nothing and leaves no frame; a frame
// dragged past the picture's edge is held to the picture before the question
// and crops without black padding.
TEST_F(Edits, CropsBySlipsAndPastTheEdge) {
  LoadSide(0, WritePicture("c.bmp", *Gradient(400, 300)));
  TPGImage* v = Main->ImLinks();
  Click("BtCut");
  Answer(platform::mrYes);
  Drag(v, {100, 100}, {100, 100});
  Drag(v, {200, 100}, {202, 101});
  EXPECT_TRUE(Messages.empty());
  EXPECT_FALSE(v->Selection());
  EXPECT_EQ(Picture(v).Width(), 400);

  QRect asked;
  platform::SetMessageBoxHook([&](const std::string&, const std::string&, platform::TMsgButtons, platform::TMsgIcon) {
    asked = v->SelectionRect();
    return static_cast<int>(platform::mrYes);
  });
  Drag(v, {350, 250}, {480, 390});
  EXPECT_EQ(asked, QRect(350, 250, 50, 50));
  ASSERT_EQ(Picture(v).Width(), 50);
  ASSERT_EQ(Picture(v).Height(), 50);
  EXPECT_EQ(Picture(v).Pixels(0, 0), RGBColor(350 & 255, 250, 40));
  EXPECT_EQ(Picture(v).Pixels(49, 49), RGBColor(399 & 255, 299 & 255, 40));
}

// Ctrl+Z undoes crops and turns with the alignment they changed, on the tab
// they happened on; Ctrl+Y and Ctrl+Shift+Z redo them. The menu names the step.
TEST_F(Edits, UndoAndRedoOfCropsAndTurns) {
  LoadSide(0, WritePicture("u.bmp", *Gradient(200, 100)));
  LoadSide(1, WritePicture("w.bmp", *Gradient(60, 40)));
  ClickTab(0);
  Activate();
  Main->LeftSide().Point = {30, 40};
  Main->RightSide().Point = {7, 8};
  EXPECT_FALSE(Main->MIRueckgaengig->isEnabled());
  Answer(platform::mrYes);
  Click("BtCut");
  Drag(Main->ImLinks(), {20, 10}, {119, 59});
  ASSERT_EQ(Picture(Main->ImLinks()).Width(), 100);
  EXPECT_EQ(Main->LeftSide().Point.X, 0);
  EXPECT_EQ(Main->MIRueckgaengig->text(), "&Rückgängig: Beschneiden (Linkes Bild)");
  ClickTab(1);
  Click("RotateRight");
  EXPECT_EQ(Main->RightSide().Point.X, 40 - 1 - 8);

  Key(Qt::Key_Z); // the turn of the right picture
  EXPECT_EQ(Main->ActivePage(), Main->TabSheet2());
  EXPECT_EQ(Picture(Main->ImRechts()).Width(), 60);
  EXPECT_EQ(Main->RightSide().Point.X, 7);
  Key(Qt::Key_Z); // the crop, shown on its own tab
  EXPECT_EQ(Main->ActivePage(), Main->TabSheet1());
  EXPECT_EQ(Picture(Main->ImLinks()).Width(), 200);
  EXPECT_EQ(Picture(Main->ImLinks()).Pixels(150, 90), RGBColor(150, 90, 40));
  EXPECT_EQ(Main->LeftSide().Point.X, 30);
  EXPECT_FALSE(Main->MIRueckgaengig->isEnabled());
  EXPECT_EQ(Main->MIWiederherstellen->text(), "&Wiederherstellen: Beschneiden (Linkes Bild)");
  Key(Qt::Key_Y);
  EXPECT_EQ(Picture(Main->ImLinks()).Width(), 100);
  EXPECT_EQ(Main->LeftSide().Point.X, 0);
  Key(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_EQ(Picture(Main->ImRechts()).Width(), 40);
  EXPECT_EQ(Main->RightSide().Point.X, 40 - 1 - 8);
  // A new edit drops what could be redone.
  Key(Qt::Key_Z);
  Click("RotateLeft");
  EXPECT_FALSE(Main->MIWiederherstellen->isEnabled());
}

// The history keeps the newest steps within its memory budget, always the
// last one; a new picture of a part drops that part's steps only.
TEST(EditHistory, MemoryBudgetAndForgettingAPart) {
  auto picture = [](int w) {
    auto p = std::make_unique<TPixelGraphic>();
    p->SetSize(w, 100, bc24Bit);
    return p;
  };
  TEditHistory history(250 * 300, 10);
  for (int i = 0; i < 4; ++i) history.Push(std::make_unique<TPictureStep>(epLeft, "a", picture(100)));
  EXPECT_EQ(history.UndoCount(), 2u); // 2 x 30000 bytes within 75000
  history.Push(std::make_unique<TPictureStep>(epRight, "b", picture(1000)));
  EXPECT_EQ(history.UndoCount(), 1u); // larger than the budget, kept alone
  EXPECT_EQ(history.Bytes(), 300000);

  TEditHistory pair;
  pair.Push(std::make_unique<TPictureStep>(epLeft, "a", picture(10)));
  pair.Push(std::make_unique<TPictureStep>(epRight, "b", picture(10)));
  pair.Push(std::make_unique<TTurnStep>(epLeft, "c", 90));
  pair.Forget(epRight);
  ASSERT_EQ(pair.UndoCount(), 2u);
  EXPECT_EQ(pair.NextUndo()->Caption(), "c");
  EXPECT_EQ(pair.Bytes(), 3200); // rows of 30 bytes padded to 32
}

// A tilt line on one photograph only turns nothing; the status bar says
// which line is missing.
TEST_F(Edits, OneTiltLineIsNotCompensatedAndNamed) {
  LoadSamplePair();
  Main->RightSide().Line = {};
  Click("BtStereoColor");
  EXPECT_EQ(Main->StatusText(), "Verkantung nicht ausgeglichen: im rechten Bild fehlt die Verkantungslinie.");
  TPairAlignment flat = Main->Alignment();
  flat.Left.Line = {};
  TPixelGraphic work;
  TStereoResult want =
      ComposePictures(smColorAnaglyph, Picture(Main->ImLinks()), Picture(Main->ImRechts()), flat, work);
  const TPixelGraphic& got = Picture(Main->ImStereo());
  ASSERT_EQ(got.Width(), want.Image->Width());
  for (int y = 0; y < got.Height(); y += 7)
    ASSERT_EQ(0, std::memcmp(got.ScanLine(y), want.Image->ScanLine(y), size_t(got.Width()) * 3)) << y;
}

// A photograph whose parameter file has a tilt line shows the line as soon
// as it is loaded, also while another window is active.
TEST_F(Edits, TheTiltLineIsPaintedAfterALoad) {
  const std::string photo = WritePicture("t.bmp", *Gradient(200, 100));
  TSideAlignment side;
  side.Line = {10, 50, 190, 50};
  WriteParameters(photo, side);
  QWidget other;
  other.show();
  QApplication::setActiveWindow(&other);
  LoadSide(0, photo);
  QApplication::processEvents();
  ASSERT_FALSE(Main->isActiveWindow());
  const QImage shown = Main->ImLinks()->viewport()->grab().toImage();
  int onLine = 0;
  for (int x = 20; x < 180; ++x) {
    const QPoint at = Main->ImLinks()->PicBox()->mapTo(Main->ImLinks()->viewport(), QPoint(x, 50));
    onLine += (shown.pixel(at) & 0xFFFFFF) != (qRgb(x & 255, 50, 40) & 0xFFFFFF);
  }
  EXPECT_EQ(onLine, 160);
}

// The status bar shows the picture's pixel under the mouse at any zoom; the
// menus show and obey the usual keys.
TEST_F(Edits, PictureCoordinatesAndKeys) {
  LoadSide(0, WritePicture("k.bmp", *Gradient(400, 300)));
  Activate();
  TPGImage* v = Main->ImLinks();
  v->SetStretch(sZoomKAR);
  v->SetZoomFactor(2.0L);
  QApplication::processEvents();
  QMouseEvent hover(QEvent::MouseMove, QPointF(161, 81), v->PicBox()->mapToGlobal(QPointF(161, 81)), Qt::NoButton,
                    Qt::NoButton, {});
  QApplication::sendEvent(v->PicBox(), &hover);
  EXPECT_EQ(Main->StatusText(), "80,40");

  const std::pair<const char*, QKeySequence> keys[] = {
      {"MILaden", QKeySequence("Ctrl+O")}, {"MISpeichern", QKeySequence("Ctrl+S")},
      {"MIdrucken", QKeySequence("Ctrl+P")}, {"Beenden1", QKeySequence("Ctrl+Q")},
      {"MIIn", QKeySequence("Ctrl++")},    {"MIout", QKeySequence("Ctrl+-")},
      {"MIZoom100Menu", QKeySequence("Ctrl+0")}, {"MIRueckgaengig", QKeySequence("Ctrl+Z")},
      {"MIWiederherstellen", QKeySequence("Ctrl+Y")}};
  for (const auto& [name, key] : keys) EXPECT_EQ(Action(name)->shortcut(), key) << name;
  Key(Qt::Key_0);
  EXPECT_EQ(v->CurrentZoomFactor(), 1.0L);
  Key(Qt::Key_Plus);
  EXPECT_EQ(Main->StatusText(), "120%");
  Key(Qt::Key_Minus);
  Key(Qt::Key_Minus);
  EXPECT_EQ(Main->StatusText(), "80%");
  const int dialogs = DialogsSeen;
  AnswerOpenDialog("");
  Key(Qt::Key_O);
  EXPECT_EQ(DialogsSeen, dialogs + 1);
}

// Quitting with a computed stereo picture never saved asks: Abbrechen stays,
// Ja saves it first (and stays when the save is cancelled), Nein quits.
// After a save nothing is asked.
TEST_F(Edits, QuittingAsksAboutAnUnsavedStereoPicture) {
  LoadSide(0, WritePicture("q1.bmp", *Gradient(40, 30)));
  LoadSide(1, WritePicture("q2.bmp", *Gradient(40, 30)));
  Click("BtStereo");
  ASSERT_TRUE(Main->StereoUnsaved());
  Answer(platform::mrCancel);
  Main->Beenden1->trigger();
  EXPECT_TRUE(Main->isVisible());
  EXPECT_EQ(Messages.back(), "Zwillo: Das Stereobild wurde nicht gespeichert.\nVor dem Beenden speichern?");
  Answer(platform::mrYes);
  OnModal([](QDialog* d) { d->reject(); });
  Main->Beenden1->trigger();
  EXPECT_TRUE(Main->isVisible());
  const std::string out = Dir().toStdString() + "/out.bmp";
  OnModal([out](QDialog* d) {
    static_cast<QFileDialog*>(d)->findChild<QLineEdit*>("fileNameEdit")->setText(QString::fromStdString(out));
    d->accept();
  });
  Main->Beenden1->trigger();
  EXPECT_FALSE(Main->isVisible());
  EXPECT_TRUE(QFileInfo::exists(QString::fromStdString(out)));
  EXPECT_FALSE(Main->StereoUnsaved());

  // Saved, then edited: asked again; Nein quits.
  Main->show();
  ClickTab(2);
  Click("RotateRight");
  EXPECT_TRUE(Main->StereoUnsaved());
  const size_t asked = Messages.size();
  Answer(platform::mrNo);
  Main->Beenden1->trigger();
  EXPECT_EQ(Messages.size(), asked + 1);
  EXPECT_FALSE(Main->isVisible());
}
