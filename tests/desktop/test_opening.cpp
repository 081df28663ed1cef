// Opening photographs the way Linux desktops do, and the keyboard: the
// command line, files dropped from a file manager, Ctrl+Tab and its kin, the
// arrow keys on the identical point, and a panorama far wider than the view.
#include "mainform_test_util.h"

#include <QDropEvent>
#include <QMimeData>
#include <QUrl>

#include "app/core/paramfile.h"
#include "app/desktop/program.h"

using namespace desktoptest;

namespace {

class Opening : public MainWindowTest {
protected:
  // Drops files onto the window at pos (window coordinates), as a file
  // manager does; true when the window accepted them.
  bool Drop(const QStringList& files, QPoint pos) {
    QMimeData data;
    QList<QUrl> urls;
    for (const QString& f : files) urls << QUrl::fromLocalFile(f);
    data.setUrls(urls);
    QDragEnterEvent enter(pos, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(Main.get(), &enter);
    if (!enter.isAccepted()) return false;
    QDropEvent drop(QPointF(pos), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(Main.get(), &drop);
    QApplication::processEvents();  // the files load after the drop
    QApplication::processEvents();
    return drop.isAccepted();
  }
  // The middle of a tab in the tab bar, in window coordinates.
  QPoint TabPoint(int index) {
    QTabBar* bar = Main->PageControl1()->tabBar();
    return bar->mapTo(Main.get(), bar->tabRect(index).center());
  }
  QPoint PicturePoint() { return Main->PageControl1()->mapTo(Main.get(), Main->PageControl1()->rect().center()); }
  // A key pressed while target (a widget of the window) has the focus.
  void Key(int key, Qt::KeyboardModifiers modifiers = {}, QWidget* target = nullptr) {
    if (!target) target = Main->PageControl1()->currentWidget();
    target->setFocus();
    QTest::keyClick(target, Qt::Key(key), modifiers);
    QApplication::processEvents();
  }
  void Activate() {
    Main->raise();
    Main->activateWindow();
    Main->windowHandle()->requestActivate();
    ASSERT_TRUE(QTest::qWaitFor([this] { return Main->isActiveWindow(); }));
  }
};

} // namespace

// "zwillo LEFT RIGHT": both photographs with their parameter files, the left
// tab shown; "zwillo LEFT" only the left one; a file that cannot be read
// gives the usual error box and leaves the other tab alone.
TEST_F(Opening, CommandLineOpensLeftAndRight) {
  EXPECT_EQ(CommandLineFiles({"zwillo", "a.jpg", "/x/b.jpg"}),
            (QStringList{QDir::current().absoluteFilePath("a.jpg"), "/x/b.jpg"}));
  Copy(SamplePath("szene_l.3DF"), "szene_l.3DF");
  const QString left = QString::fromStdString(Copy(SamplePath("szene_l.jpg"), "szene_l.jpg"));
  const QString right = QString::fromStdString(Copy(SamplePath("szene_r.jpg"), "szene_r.jpg"));
  Main->OpenFiles({left, right}, Main->TabSheet1());
  EXPECT_EQ(Main->ImLinks()->FileName(), left.toStdString());
  EXPECT_EQ(Main->ImRechts()->FileName(), right.toStdString());
  EXPECT_EQ(Main->LeftSide().Point.X, ReadParameters(left.toStdString()).Point.X);
  EXPECT_GT(Main->LeftSide().Point.X, 0);
  EXPECT_EQ(Main->PageControl1()->currentWidget(), Main->TabSheet1());
  EXPECT_TRUE(Main->BtStereo->isEnabled());
  EXPECT_EQ(DialogsSeen, 0);
  EXPECT_TRUE(Messages.empty());

  const std::string missing = Dir().toStdString() + "/fehlt.jpg";
  Main->OpenFiles({left, QString::fromStdString(missing)}, Main->TabSheet1());
  ASSERT_EQ(Messages.size(), 1u);
  EXPECT_EQ(Messages[0], "Zwillo: Die Datei \"" + missing + "\" kann nicht geöffnet werden. Datei oder Ordner nicht gefunden");
  EXPECT_FALSE(Main->ImLinks()->Empty());
}

// One file dropped on a photograph tab (its tab in the tab bar, or the shown
// one) loads there; on "Stereobild" into the empty photograph tab, and not at
// all when neither is empty; two files load as left and right in their order.
TEST_F(Opening, DroppedFilesLoadWhereTheyAreDropped) {
  const QString a = QString::fromStdString(WritePicture("a.bmp", *Gradient(30, 20)));
  const QString b = QString::fromStdString(WritePicture("b.bmp", *Gradient(40, 20)));
  EXPECT_FALSE(Drop({}, PicturePoint()));
  EXPECT_TRUE(Drop({a}, TabPoint(1)));
  EXPECT_EQ(Main->ImRechts()->PixelGraphic()->Width(), 30);
  EXPECT_TRUE(Main->ImLinks()->Empty());
  EXPECT_EQ(Main->PageControl1()->currentWidget(), Main->TabSheet2());
  ClickTab(2);
  EXPECT_TRUE(Drop({b}, PicturePoint()));  // the left tab is the empty one
  EXPECT_EQ(Main->ImLinks()->PixelGraphic()->Width(), 40);
  ClickTab(2);
  EXPECT_FALSE(Drop({a}, PicturePoint()));  // nowhere to go
  EXPECT_TRUE(Drop({b, a}, TabPoint(2)));
  EXPECT_EQ(Main->ImLinks()->PixelGraphic()->Width(), 40);
  EXPECT_EQ(Main->ImRechts()->PixelGraphic()->Width(), 30);
  EXPECT_EQ(DialogsSeen, 0);
  EXPECT_TRUE(Messages.empty());
}

// Ctrl+Tab, Ctrl+Shift+Tab, Ctrl+PgDown and Ctrl+PgUp change the tab with the
// focus anywhere in the window; an empty photograph tab reached this way
// opens the load dialog as a click does, which offers that side's own last
// file (none yet), not the other side's.
TEST_F(Opening, ControlTabChangesTheTabFromAnywhere) {
  LoadSide(0, WritePicture("l.bmp", *Gradient(30, 20)));
  const int dialogs = DialogsSeen;
  Activate();
  QString offered = "?";
  OnModal([&](QDialog* d) {
    ++DialogsSeen;
    DialogTitle = d->windowTitle().toStdString();
    offered = d->findChild<QLineEdit*>("fileNameEdit")->text();
    d->reject();
  });
  Key(Qt::Key_Tab, Qt::ControlModifier, Main->ImLinks()->viewport());
  EXPECT_EQ(Main->PageControl1()->currentIndex(), 1);
  EXPECT_EQ(DialogsSeen, dialogs + 1);
  EXPECT_EQ(DialogTitle, "Rechtes Bild");
  EXPECT_EQ(offered, "");
  Activate();  // back from the dialog
  Key(Qt::Key_PageDown, Qt::ControlModifier);
  EXPECT_EQ(Main->PageControl1()->currentIndex(), 2);
  Key(Qt::Key_Tab, Qt::ControlModifier, Main.get());  // wraps around
  EXPECT_EQ(Main->PageControl1()->currentIndex(), 0);
  Key(Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier, Main->PageControl1()->tabBar());
  EXPECT_EQ(Main->PageControl1()->currentIndex(), 2);
  AnswerOpenDialog("");
  Key(Qt::Key_PageUp, Qt::ControlModifier);
  EXPECT_EQ(Main->PageControl1()->currentIndex(), 1);
  EXPECT_EQ(DialogsSeen, dialogs + 2);
}

// In "Identischen Punkt definieren" the arrow keys move the shown
// photograph's identical point by one pixel, with Shift by ten, the status
// bar following; it stays on the picture. Other modes leave it alone.
TEST_F(Opening, ArrowKeysNudgeTheIdenticalPoint) {
  LoadSide(0, WritePicture("n.bmp", *Gradient(60, 40)));
  Activate();
  Main->LeftSide().Point = {20, 10};
  Key(Qt::Key_Right);  // pan mode: nothing
  EXPECT_EQ(Main->LeftSide().Point.X, 20);
  Click("BtLock");
  Key(Qt::Key_Right);
  Key(Qt::Key_Down, Qt::ShiftModifier);
  EXPECT_EQ(Main->LeftSide().Point.X, 21);
  EXPECT_EQ(Main->LeftSide().Point.Y, 20);
  EXPECT_EQ(Main->StatusText(), "21,20");
  for (int i = 0; i < 4; ++i) Key(Qt::Key_Left, Qt::ShiftModifier);
  Key(Qt::Key_Up, Qt::ShiftModifier);
  Key(Qt::Key_Up, Qt::ShiftModifier);
  Key(Qt::Key_Up, Qt::ShiftModifier);
  EXPECT_EQ(Main->LeftSide().Point.X, 1);
  EXPECT_EQ(Main->LeftSide().Point.Y, 1);
  Main->RightSide().Point = {};
  EXPECT_EQ(Main->RightSide().Point.X, 0);
}

// A panorama of 60,000 x 50 pixels (8 bit): a click far right sets the
// identical point at the pixel clicked.
TEST_F(Opening, IdenticalPointOnAVeryWidePicture) {
  auto strip = std::make_unique<TPixelGraphic>();
  strip->SetSize(60000, 50, bc8Bit);
  LoadSide(0, WritePicture("pano.bmp", *strip));
  Click("BtLock");
  TPGImage* view = Main->ImLinks();
  view->SetStretch(sZoomKAR);
  view->SetZoomFactor(2);
  QTest::mouseClick(view->PicBox(), Qt::LeftButton, {}, QPoint(100002, 21));
  EXPECT_EQ(Main->LeftSide().Point.X, 50001);
  EXPECT_EQ(Main->LeftSide().Point.Y, 10);
}
