// The whole workflow through the window, as a user works: the sample pair
// loaded through the open dialog, the identical points clicked and the tilt
// lines drawn with the mouse, the parameters saved and read back, every mode
// computed and saved through the save dialog (each file compared with what
// zwillo-cli composes from the same alignment), and the cropped stereo image
// handed to a viewer.
#include "mainform_test_util.h"

#include <cstring>

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>

#include "app/core/paramfile.h"
#include "app/core/stereo_core.h"

using namespace desktoptest;

namespace {

// A side's alignment as text: identical point / second point / tilt line.
std::string Str(const TSideAlignment& s) {
  return std::to_string(s.Point.X) + "," + std::to_string(s.Point.Y) + " / " + std::to_string(s.TurnPoint.X) + "," +
         std::to_string(s.TurnPoint.Y) + " / " + std::to_string(s.Line.X1) + "," + std::to_string(s.Line.Y1) + "-" +
         std::to_string(s.Line.X2) + "," + std::to_string(s.Line.Y2);
}

// Empty when both pictures are alike in size, depth and every pixel, else
// what differs.
std::string Difference(TPixelGraphic& a, TPixelGraphic& b) {
  auto size = [](TPixelGraphic& g) {
    return std::to_string(g.Width()) + "x" + std::to_string(g.Height()) + "x" + std::to_string(g.BitCountNum());
  };
  if (size(a) != size(b)) return size(a) + " against " + size(b);
  const size_t bytes = (static_cast<size_t>(a.Width()) * a.BitCountNum() + 7) / 8;
  for (int y = 0; y < a.Height(); ++y)
    if (std::memcmp(a.ScanLine(y), b.ScanLine(y), bytes) != 0) return "row " + std::to_string(y) + " differs";
  return {};
}

std::unique_ptr<TPixelGraphic> Load(const QString& name) {
  auto g = std::make_unique<TPixelGraphic>();
  g->LoadFromFile(name.toStdString());
  return g;
}

class Workflow : public MainWindowTest {
protected:
  // Answers the next open or save dialog by typing name into its file-name
  // field and pressing Enter.
  void TypeIntoDialog(const QString& name) {
    OnModal([this, name](QDialog* dialog) {
      ++DialogsSeen;
      auto* edit = dialog->findChild<QLineEdit*>("fileNameEdit");
      if (!edit) {
        ADD_FAILURE() << "no file-name field";
        dialog->reject();
        return;
      }
      // Pasted whole: typed key by key, the field's completion would take
      // over the folder part while the folders are still being listed.
      edit->setText(name);
      QTest::keyClick(edit, Qt::Key_Return);
      if (dialog->isVisible()) {
        ADD_FAILURE() << "Enter did not accept " << name.toStdString();
        dialog->reject();
      }
    });
  }

  // The picture-box position that shows picture position p; the whole picture
  // is in sight at the zoom the test works at.
  QPoint BoxAt(TPGImage* view, QPoint p) {
    const QPoint b(view->ImageToViewX(p.x()), view->ImageToViewY(p.y()));
    EXPECT_EQ(view->ViewToImage(b), p) << "picture position not reachable at this zoom";
    EXPECT_TRUE(view->viewport()->rect().contains(view->PicBox()->mapTo(view->viewport(), b)));
    return b;
  }

  // A click with the mouse at picture position p; the status bar shows the
  // picture position the mouse passed over.
  void ClickAt(TPGImage* view, QPoint p) {
    const QPoint b = BoxAt(view, p);
    // The move as the window system delivers it (QTest moves a button-less
    // mouse through the cursor, which another window may cover).
    QMouseEvent hover(QEvent::MouseMove, b, view->PicBox()->mapToGlobal(b), Qt::NoButton, Qt::NoButton, {});
    QApplication::sendEvent(view->PicBox(), &hover);
    EXPECT_EQ(Main->StatusText(), QString("%1,%2").arg(p.x()).arg(p.y()));
    QTest::mouseClick(view->PicBox(), Qt::LeftButton, {}, b);
    QApplication::processEvents();
  }

  // A drag with the mouse from picture position a to b.
  void DragAt(TPGImage* view, QPoint a, QPoint b) {
    const QPoint from = BoxAt(view, a), to = BoxAt(view, b);
    QTest::mousePress(view->PicBox(), Qt::LeftButton, {}, from);
    for (int i = 1; i <= 4; ++i) QTest::mouseMove(view->PicBox(), from + (to - from) * i / 4);
    EXPECT_EQ(Main->StatusText(), QString("%1,%2").arg(b.x()).arg(b.y()));
    QTest::mouseRelease(view->PicBox(), Qt::LeftButton, {}, to);
    QApplication::processEvents();
  }
};

} // namespace

TEST_F(Workflow, LoadAlignComputeSaveAndHandOff) {
  QTemporaryDir tmp; // the temporary folder of this test: the hand-off lands here
  ASSERT_TRUE(tmp.isValid());
  TEnv runtime("XDG_RUNTIME_DIR", tmp.path().toLocal8Bit());
  const QString dir = Dir();
  const QString left = QString::fromStdString(Copy(SamplePath("szene_l.jpg"), "szene_l.jpg"));
  const QString right = QString::fromStdString(Copy(SamplePath("szene_r.jpg"), "szene_r.jpg"));
  platform::SetMessageBoxHook([this](const std::string& text, const std::string& caption, platform::TMsgButtons,
                                     platform::TMsgIcon) {
    Messages.push_back(caption + ": " + text);
    return static_cast<int>(text == "Bild beschneiden?" ? platform::mrYes : platform::mrOk);
  });
  Main->show();
  QApplication::setActiveWindow(Main.get());
  ASSERT_TRUE(QTest::qWaitForWindowActive(Main.get()));
  TPGImage* const views[2] = {Main->ImLinks(), Main->ImRechts()};

  // 1. Both photographs through the open dialog: "Bild laden" on the left
  // tab, the right tab opens it at once while empty. Each view is zoomed out
  // until the whole photograph is in sight.
  TypeIntoDialog(left);
  Click("ToolButton1");
  TypeIntoDialog(right);
  ClickTab(1);
  ASSERT_EQ(DialogsSeen, 2);
  ASSERT_EQ(Main->ImLinks()->FileName(), left.toStdString());
  ASSERT_EQ(Main->ImRechts()->FileName(), right.toStdString());
  for (int side : {0, 1}) {
    ClickTab(side);
    ASSERT_EQ(views[side]->PixelGraphic()->Width(), 1200);
    for (int i = 0; i < 3; ++i) Click("BtZoomOut");
    QApplication::processEvents();
    ASSERT_EQ(views[side]->PicBox()->size(), QSize(480, 360));
  }

  // 2. The identical points clicked, then the tilt lines drawn (picture
  // positions: multiples of 5 show on whole picture-box pixels at zoom 0.4).
  TSideAlignment want[2];
  want[0].Point = {185, 225};
  want[1].Point = {150, 220};
  want[0].Line = {5, 355, 1190, 355};
  want[1].Line = {5, 340, 1190, 370};
  Click("BtLock");
  for (int side : {0, 1}) {
    ClickTab(side);
    ClickAt(views[side], {want[side].Point.X, want[side].Point.Y});
  }
  Click("BtLine");
  for (int side : {0, 1}) {
    ClickTab(side);
    const TStereoLine& l = want[side].Line;
    DragAt(views[side], {l.X1, l.Y1}, {l.X2, l.Y2});
  }
  EXPECT_EQ(Str(Main->LeftSide()), Str(want[0]));
  EXPECT_EQ(Str(Main->RightSide()), Str(want[1]));

  // 3. The parameters of each side saved beside its photograph.
  for (int side : {0, 1}) {
    ClickTab(side);
    Click("BtSaveParms");
  }
  EXPECT_TRUE(QFile::exists(dir + "/szene_l.3DF"));
  EXPECT_TRUE(QFile::exists(dir + "/szene_r.3DF"));

  // 4. Every mode through its tool button, saved through the save dialog and
  // compared with what zwillo-cli composes from the same photographs and
  // alignment (started for all modes at once, running meanwhile).
  EXPECT_EQ(Str(ReadParameters(left.toStdString())), Str(want[0]));
  auto point = [](const TStereoPoint& p) { return QString("%1,%2").arg(p.X).arg(p.Y); };
  auto line = [](const TStereoLine& l) { return QString("%1,%2,%3,%4").arg(l.X1).arg(l.Y1).arg(l.X2).arg(l.Y2); };
  std::vector<std::unique_ptr<QProcess>> cli;
  for (int mode = 0; mode < 7; ++mode) {
    cli.push_back(std::make_unique<QProcess>());
    cli.back()->start(ZWILLO_CLI, {"compose", left, right, dir + QString("/cli%1.png").arg(mode), "--mode",
                                   QString::number(mode), "--no-params", "--left-point", point(want[0].Point),
                                   "--right-point", point(want[1].Point), "--left-line", line(want[0].Line),
                                   "--right-line", line(want[1].Line)});
  }
  int launched = 0;
  Main->LaunchELSAViewer = [&](TMain&) { ++launched; };
  const char* buttons[] = {"BtStereo", "BtMirror", "BtStereoColor", "BtLCD", "BtLiRe", "BtReLi", "BtElsa"};
  for (int mode = 0; mode < 7; ++mode) {
    SCOPED_TRACE(buttons[mode]);
    Click(buttons[mode]);
    ASSERT_EQ(Main->LastStereoMode(), mode);
    ASSERT_EQ(Main->PageControl1()->currentWidget(), Main->TabSheet3());
    const QString saved = dir + QString("/mode%1.png").arg(mode);
    TypeIntoDialog(saved);
    Click("BtSaveStereo");
    QProcess& composer = *cli[static_cast<size_t>(mode)];
    if (composer.state() != QProcess::NotRunning) composer.waitForFinished(120000);
    ASSERT_EQ(composer.exitStatus(), QProcess::NormalExit);
    ASSERT_EQ(composer.exitCode(), 0) << composer.readAllStandardError().toStdString();
    EXPECT_EQ(Difference(*Load(saved), *Load(dir + QString("/cli%1.png").arg(mode))), "");
  }
  EXPECT_EQ(launched, 1);

  // 5. The right photograph loaded again: its parameter file brings back
  // what was clicked and drawn.
  ClickTab(1);
  Main->RightSide() = {};
  TypeIntoDialog(right);
  Click("ToolButton1");
  EXPECT_EQ(DialogsSeen, 2 + 7 + 1);
  EXPECT_EQ(Str(Main->RightSide()), Str(want[1]));
  EXPECT_EQ(Str(Main->LeftSide()), Str(want[0]));

  // 6. The stereo view cropped, then handed to the viewer from the popup menu.
  ClickTab(2);
  TPGImage* stereo = Main->ImStereo();
  auto whole = stereo->CopyPixelGraphic();
  Click("BtCut");
  const QPoint from(40, 30), to(300, 200);
  QTest::mousePress(stereo->PicBox(), Qt::LeftButton, {}, from);
  QTest::mouseMove(stereo->PicBox(), (from + to) / 2);
  QTest::mouseMove(stereo->PicBox(), to);
  QTest::mouseRelease(stereo->PicBox(), Qt::LeftButton, {}, to);
  QApplication::processEvents();
  TPixelGraphic& cropped = *stereo->PixelGraphic();
  const QPoint corner = stereo->ViewToImage(from), size = stereo->ViewToImage(to) - corner;
  EXPECT_NEAR(cropped.Width(), size.x(), 1);
  EXPECT_NEAR(cropped.Height(), size.y(), 1);
  const size_t pixel = static_cast<size_t>(cropped.BitCountNum()) / 8;
  for (int y = 0; y < cropped.Height(); ++y)
    ASSERT_EQ(std::memcmp(cropped.ScanLine(y), whole->ScanLine(corner.y() + y) + corner.x() * pixel,
                          cropped.Width() * pixel),
              0)
        << "row " << y << " is not the stereo image's from the selection's corner";

  const QString record = tmp.path() + "/record";
  TEnv recordName("ZWILLO_STUB_RECORD", record.toLocal8Bit());
  TSettings settings = Main->Settings();
  settings.ELSAViewer = ZWILLO_STUB_VIEWER;
  Main->SetSettings(settings);
  Main->LaunchELSAViewer = &TMain::RunELSAViewer;
  ClickItem(OpenPopup(stereo), "MiELSAStereo");
  QElapsedTimer wait;
  wait.start();
  while (!QFile::exists(record) && wait.elapsed() < 20000) QTest::qWait(20);
  QFile f(record);
  ASSERT_TRUE(f.open(QIODevice::ReadOnly)) << "the viewer did not start";
  const QStringList lines = QString::fromLocal8Bit(f.readAll()).split('\n');
  ASSERT_GE(lines.size(), 4);
  const QString folder = tmp.path() + "/_stereo.dir";
  EXPECT_EQ(Main->HandOffFolder(), folder);
  EXPECT_EQ(lines[0], QDir(folder).canonicalPath());
  EXPECT_EQ(lines[1], "found");
  EXPECT_EQ(lines[2].toLongLong(), QFileInfo(folder + "/ELSAVIEWER.BMP").size());
  EXPECT_EQ(lines[3], "0");
  EXPECT_EQ(Difference(*Load(folder + "/ELSAVIEWER.BMP"), cropped), "");

  EXPECT_EQ(Messages, std::vector<std::string>{"Bereich markiert: Bild beschneiden?"});
}
