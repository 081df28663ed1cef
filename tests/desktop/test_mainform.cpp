// The main window: its commands, tool bar, menus and popup menu, driven by
// object names as a user drives them.
#include "mainform_test_util.h"

#include <tuple>

#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QStatusBar>
#include <QToolBar>

#include "app/core/paramfile.h"
#include "app/desktop/forms/configdlg.h"
#include "app/desktop/program.h"
#include "app/desktop/forms/splashform.h"
#include "pgraphic/device/messagebox.h"
#include "pgraphic/formats/settings.h"
#include "platform/files.h"
#include "platform/inifile.h"

using namespace desktoptest;

namespace {

std::vector<std::string> Names(const QList<QAction*>& actions) {
  std::vector<std::string> names;
  for (QAction* a : actions) names.push_back(a->isSeparator() ? "-" : a->objectName().toStdString());
  return names;
}

} // namespace

using MainForm = MainWindowTest;

// The menus and the tool bar in their order, the toggle group, the Tags.
TEST_F(MainForm, MenusAndToolBarInDesignOrder) {
  EXPECT_EQ(Main->windowTitle(), "Zwillo 1.2 ");
  auto* datei = Main->findChild<QMenu*>("Datei1");
  ASSERT_TRUE(datei);
  EXPECT_EQ(Names(datei->actions()),
            (std::vector<std::string>{"MILaden", "-", "MIlinks", "MIRechts", "MIIn", "MIout", "MIZoom100Menu", "-",
                                      "MIberechnen", "MISpeichern", "MIStereopaarSpeichern", "MIdrucken", "-",
                                      "Einstellungen1", "-", "Beenden1"}));
  std::vector<std::string> menus;
  for (QAction* a : Main->menuBar()->actions()) menus.push_back(a->menu()->objectName().toStdString());
  EXPECT_EQ(menus, (std::vector<std::string>{"Datei1", "Bearbeiten1", "Modus1", "Hilfe1"}));
  EXPECT_EQ(Names(Main->findChild<QMenu*>("Modus1")->actions()),
            (std::vector<std::string>{"MI1", "MI2", "Mi3", "MI4", "-", "MIAutomatischAusrichten"}));
  EXPECT_EQ(Names(Main->findChild<QMenu*>("Bearbeiten1")->actions()),
            (std::vector<std::string>{"MIRueckgaengig", "MIWiederherstellen"}));
  auto* stereo = Main->findChild<QMenu*>("MIberechnenMenu");
  ASSERT_TRUE(stereo);
  // The design's seven first (the modes after them: test_stereo_modes.cpp).
  EXPECT_EQ(Names(stereo->actions().mid(0, 7)),
            (std::vector<std::string>{"RotgrnAnaglyphenbild1", "FarbAnaglyphenbild2", "StereobildfrELSA3DREVELATOR1",
                                      "FarbAnaglyphenbild1", "StereoBildlinksrechts1", "StereoBildrechtslinks1",
                                      "FieldSequentialLCD1"}));
  EXPECT_EQ(Names(Main->PopupMenu1()->actions()),
            (std::vector<std::string>{"Zoom1", "MIZoom100", "MIUserZoom", "MIBestFit", "-", "Filter1", "PI1", "PI2",
                                      "PI3", "-", "MiELSAStereo"}));
  EXPECT_EQ(Action("Hilfe2")->shortcut(), QKeySequence(Qt::Key_F1));

  // Tool bar: button, hint, image index and Tag; "-" a separator.
  struct B {
    const char* name;
    const char* hint;
    int image, tag;
  };
  const std::vector<B> bar = {{"ToolButton1", "Bild laden", 3, 0},
                              {"RotateLeft", "90° nach links drehen", 7, -90},
                              {"RotateRight", "90° nach rechts drehen", 8, 90},
                              {"BtZoomIn", "Vergrößern", 9, 1},
                              {"BtZoomOut", "Verkleinern", 10, -1},
                              {"-", "", 0, 0},
                              {"BtPan", "Bild schieben", 1, 0},
                              {"BtLock", "Identischer Punkt", 0, 0},
                              {"BtLine", "Verkantung bestimmen", 2, 0},
                              {"BtCut", "Ausschneiden", 13, 0},
                              {"BtAutoAlign", "Automatisch ausrichten", 21, 0},
                              {"BtSaveParms", "Identischen Punkt und Drehung speichern", 11, 0},
                              {"-", "", 0, 0},
                              {"BtStereo", "Rot-Grün-Anaglyphenbild", 4, 0},
                              {"BtStereoColor", "Farb-Anaglyphenbild", 15, 2},
                              {"BtElsa", "Stereobild für ELSA 3D Revelator", 20, 6},
                              {"BtMirror", "Spiegel Stereobild", 14, 1},
                              {"BtLiRe", "Stereobild links-rechts", 17, 4},
                              {"BtReLi", "Stereobild rechts-links", 18, 5},
                              {"BtLCD", "Field-Sequential LCD", 16, 3},
                              {"-", "", 0, 0},
                              {"BtSaveStereo", "Stereobild abspeichern", 6, 0},
                              {"BtSaveStereoZoom", "Stereobild mit Zoomfaktor abspeichern", 19, 1},
                              {"BtPrint", "Stereobild drucken", 5, 0}};
  const QList<QAction*> items = Main->ToolBar1()->actions();
  ASSERT_EQ(items.size(), static_cast<qsizetype>(bar.size()));
  for (size_t i = 0; i < bar.size(); ++i) {
    if (std::string(bar[i].name) == "-") {
      EXPECT_TRUE(items[i]->isSeparator()) << i;
      continue;
    }
    auto* b = qobject_cast<QToolButton*>(Main->ToolBar1()->widgetForAction(items[i]));
    ASSERT_TRUE(b) << i;
    EXPECT_EQ(b->objectName().toStdString(), bar[i].name);
    EXPECT_EQ(b->toolTip().toStdString(), bar[i].hint);
    EXPECT_EQ(b->property("ImageIndex").toInt(), bar[i].image) << bar[i].name;
    EXPECT_EQ(TagOf(b), bar[i].tag) << bar[i].name;
    EXPECT_TRUE(b->isVisible()) << bar[i].name;
    EXPECT_EQ(b->size(), QSize(27, 26));
  }
  EXPECT_EQ(Main->ToolBar1()->height(), 30);
  EXPECT_GE(Main->statusBar()->height(), 19);  // more for a font larger than the design's
  EXPECT_GE(Main->statusBar()->height(), Main->statusBar()->fontMetrics().height());

  // Menu items share the buttons' Tags.
  EXPECT_EQ(TagOf(Action("MIlinks")), -90);
  EXPECT_EQ(TagOf(Action("FieldSequentialLCD1")), 3);
  EXPECT_EQ(TagOf(Action("PI3")), 3);

  // The four mode buttons are one toggle group, pan down at start.
  EXPECT_TRUE(Find("BtPan")->isChecked());
  EXPECT_TRUE(Action("MI1")->isChecked());
  for (TPGImage* view : {Main->ImLinks(), Main->ImRechts(), Main->ImStereo()}) {
    EXPECT_EQ(view->Color(), QColor(128, 128, 128));
    EXPECT_EQ(view->PicBoxColor(), QColor(128, 128, 128));
    EXPECT_FALSE(view->UseThread());
    EXPECT_EQ(view->ZoomFactor(), 1.0L);
  }
}

// The enabled state of every command on each tab, with and without pictures.
TEST_F(MainForm, UpdateControlsAcrossTabsAndPictures) {
  auto enabled = [this](std::initializer_list<const char*> names) {
    std::string s;
    for (const char* n : names) {
      QAction* a = Main->findChild<QAction*>(n);
      const bool on = a ? a->isEnabled() : Find(n)->isEnabled();
      s += on ? '1' : '0';
    }
    return s;
  };
  // load; stereo x7 + submenu; modes (buttons and items); save parameters;
  // rotate/zoom buttons and items; save/print.
  auto state = [&] {
    return enabled({"ToolButton1", "MILaden"}) + " " +
           enabled({"BtStereo", "BtMirror", "BtStereoColor", "BtLCD", "BtLiRe", "BtReLi", "BtElsa", "MIberechnen"}) +
           " " + enabled({"BtPan", "BtLock", "BtLine", "BtCut", "MI1", "MI2", "Mi3", "MI4"}) + " " +
           enabled({"BtSaveParms"}) + " " +
           enabled({"RotateLeft", "RotateRight", "BtZoomIn", "BtZoomOut", "MIlinks", "MIRechts", "MIIn", "MIout"}) +
           " " + enabled({"BtSaveStereo", "BtSaveStereoZoom", "MISpeichern", "BtPrint", "MIdrucken"});
  };
  const QColor buttonFace = Main->palette().color(QPalette::Button);

  // Start: left tab, nothing loaded.
  EXPECT_EQ(state(), "11 00000000 00000000 0 00000000 00000");
  // Stereo tab without pictures: loading is not offered.
  ClickTab(2);
  EXPECT_EQ(DialogsSeen, 0);
  EXPECT_EQ(state(), "00 00000000 00000000 0 00000000 00000");

  // Left picture only: back on its empty tab the dialog opens at once.
  LoadSide(0, WritePicture("a.bmp", *Gradient(40, 30)));
  EXPECT_EQ(state(), "11 00000000 11111111 1 11111111 00000");
  EXPECT_EQ(Main->ImLinks()->Color(), buttonFace);
  EXPECT_EQ(Main->ImRechts()->Color(), QColor(128, 128, 128));

  // Right tab while empty: the dialog opens at once; cancelled, the tab has nothing.
  AnswerOpenDialog("");
  ClickTab(1);
  EXPECT_EQ(DialogsSeen, 2);
  EXPECT_EQ(DialogTitle, "Rechtes Bild");
  EXPECT_EQ(Main->StatusText(), "");
  EXPECT_EQ(state(), "11 00000000 00000000 0 00000000 00000");

  // Both pictures: the stereo commands on every tab.
  LoadSide(1, WritePicture("b.bmp", *Gradient(40, 30)));
  EXPECT_EQ(state(), "11 11111111 11111111 1 11111111 00000");
  ClickTab(2);
  EXPECT_EQ(state(), "00 11111111 00000000 0 00000000 00000");

  // A stereo image: saving, printing, pan, crop, rotation and zoom on its tab.
  Click("BtStereo");
  EXPECT_EQ(Main->PageControl1()->currentWidget(), Main->TabSheet3());
  EXPECT_EQ(state(), "00 11111111 10011001 0 11111111 11111");
  EXPECT_EQ(Main->ImStereo()->Color(), buttonFace);
  ClickTab(0);
  EXPECT_EQ(state(), "11 11111111 11111111 1 11111111 00000");
  EXPECT_EQ(Main->StatusText(), "");
}

// On the stereo tab "Bild laden" is disabled and its handler does nothing.
TEST_F(MainForm, NoLoadingOnTheStereoTab) {
  ClickTab(2);
  EXPECT_FALSE(Find("ToolButton1")->isEnabled());
  EXPECT_FALSE(Action("MILaden")->isEnabled());
  Main->ToolButton1Click();
  QApplication::processEvents();
  EXPECT_EQ(DialogsSeen, 0);
  EXPECT_TRUE(Main->ImLinks()->Empty());
}

// A confirmed dialog resets the side and reads the photograph's parameter
// file; a cancelled one and a failed load leave the side alone.
TEST_F(MainForm, OpenDialogAndParameterFile) {
  const std::string photo = WritePicture("haus_l.bmp", *Gradient(50, 40));
  const std::string params = Dir().toStdString() + "/haus_l.3DF";
  TSideAlignment stored;
  stored.Point = {12, 13};
  stored.Line = {1, 2, 3, 4};
  WriteParameters(photo, stored);

  LoadSide(0, photo);
  EXPECT_EQ(DialogTitle, "Linkes Bild");
  EXPECT_EQ(Main->LeftSide().Point.X, 12);
  EXPECT_EQ(Main->LeftSide().Line.X2, 3);
  EXPECT_EQ(Main->ImLinks()->FileName(), photo);

  // Changed on disk, then the dialog cancelled: the side keeps its points
  // (they may be newer than the file), the picture stays.
  platform::WriteProfileString(params, "Parameter", "x", "0x1F");
  Main->LeftSide().Point.Y = 77;
  AnswerOpenDialog("");
  Click("ToolButton1");
  EXPECT_EQ(Main->LeftSide().Point.X, 12);
  EXPECT_EQ(Main->LeftSide().Point.Y, 77);
  EXPECT_FALSE(Main->ImLinks()->Empty());
  // Loaded again: the file's values.
  LoadSide(0, photo);
  EXPECT_EQ(Main->LeftSide().Point.X, 31);

  // The right side is untouched by the left one's file.
  EXPECT_EQ(Main->RightSide().Point.X, 0);

  // A file that cannot be loaded: the error box, the side's data stay.
  const std::string broken = Dir().toStdString() + "/kaputt.bmp";
  QFile f(QString::fromStdString(broken));
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write("BM nonsense");
  f.close();
  LoadSide(0, broken);
  ASSERT_EQ(Messages.size(), 1u);
  EXPECT_EQ(Messages[0].rfind("Zwillo: ", 0), 0u) << Messages[0];
  EXPECT_EQ(Icons[0], platform::TMsgIcon::Error);
  EXPECT_EQ(Main->LeftSide().Point.X, 31);
}

// Zoom steps and their limits, the popup's zoom items, the status text.
TEST_F(MainForm, ZoomStepsAndPopupZoom) {
  LoadSide(0, WritePicture("w.bmp", *Gradient(1600, 200)));
  TPGImage* view = Main->ImLinks();
  TSettings settings = Main->Settings();

  Click("BtZoomIn");
  EXPECT_EQ(view->Stretch(), sZoomKAR);
  EXPECT_EQ(view->StretchMode(), smFast);
  EXPECT_EQ(Main->StatusText(), "120%");
  // From 1.2 one step out is the unstretched view.
  Click("BtZoomOut");
  EXPECT_EQ(view->Stretch(), sNeverKAR);
  EXPECT_EQ(view->StretchMode(), smMedium);
  EXPECT_EQ(Main->StatusText(), "100%");

  // User zoom 490 %: a step in would reach 5.1 and is ignored.
  settings.ZoomPercent = 490;
  Main->SetSettings(settings);
  ClickItem(OpenPopup(view), "MIUserZoom");
  EXPECT_EQ(Main->PopupView(), view);
  EXPECT_EQ(Main->StatusText(), "490%");
  Click("BtZoomIn");
  EXPECT_EQ(Main->StatusText(), "490%");
  EXPECT_NEAR(static_cast<double>(view->ZoomFactor()), 4.9, 1e-12);

  // User zoom 30 %: a step out would reach 0.1 and is ignored.
  settings.ZoomPercent = 30;
  Main->SetSettings(settings);
  ClickItem(OpenPopup(view), "MIUserZoom");
  Click("BtZoomOut");
  EXPECT_EQ(Main->StatusText(), "30%");
  EXPECT_NEAR(static_cast<double>(view->ZoomFactor()), 0.3, 1e-12);

  // A constant width of 640 pixels on a 1600-pixel picture.
  settings.ZoomType = 1;
  settings.ZoomPixel = 640;
  Main->SetSettings(settings);
  ClickItem(OpenPopup(view), "MIUserZoom");
  EXPECT_EQ(view->ZoomFactor(), 0.4L);
  EXPECT_EQ(Main->StatusText(), "40%");

  ClickItem(OpenPopup(view), "MIZoom100");
  EXPECT_EQ(view->Stretch(), sZoomKAR);
  EXPECT_EQ(view->ZoomFactor(), 1.0L);
  EXPECT_EQ(Main->StatusText(), "100%");
}

// Best fit of a 1000 x 500 picture into a 604 x 404 view: 60 %.
TEST_F(MainForm, BestFit) {
  LoadSide(0, WritePicture("fit.bmp", *Gradient(1000, 500)));
  TPGImage* view = Main->ImLinks();
  Main->resize(Main->size() + QSize(604, 404) - view->size());
  QApplication::processEvents();
  ASSERT_EQ(view->size(), QSize(604, 404));
  ClickItem(OpenPopup(view), "MIBestFit");
  EXPECT_EQ(view->Stretch(), sZoomKAR);
  EXPECT_NEAR(static_cast<double>(view->ZoomFactor()), 0.6, 1e-15);
  EXPECT_EQ(Main->StatusText(), "60%");
}

// The popup's items follow the view's picture; the viewer item only after an
// ELSA computation and only on the stereo tab.
TEST_F(MainForm, PopupItemsAndTheViewerItem) {
  QMenu* menu = OpenPopup(Main->ImLinks());
  for (const char* item : {"PI1", "PI2", "PI3", "MIZoom100", "MIBestFit", "MIUserZoom", "MiELSAStereo"})
    EXPECT_FALSE(Action(item)->isEnabled()) << item;
  EXPECT_TRUE(Action("Zoom1")->isEnabled());
  menu->close();

  LoadSamplePair();
  int launched = 0;
  Main->LaunchELSAViewer = [&](TMain&) { ++launched; };
  Click("BtStereo");
  menu = OpenPopup(Main->ImStereo());
  EXPECT_TRUE(Action("PI1")->isEnabled());
  EXPECT_FALSE(Action("MiELSAStereo")->isEnabled());
  menu->close();

  Click("BtElsa");
  EXPECT_EQ(launched, 1); // the viewer starts after an ELSA computation
  menu = OpenPopup(Main->ImStereo());
  EXPECT_TRUE(Action("MiELSAStereo")->isEnabled());
  ClickItem(menu, "MiELSAStereo");
  EXPECT_EQ(launched, 2);

  ClickTab(0);
  menu = OpenPopup(Main->ImLinks());
  EXPECT_FALSE(Action("MiELSAStereo")->isEnabled());
  menu->close();
}

// Turning a picture by 90 degrees turns the side's points and line with it:
// each stays on its detail, and a turn back restores them exactly. Points and
// lines not set stay 0; the other side is not touched.
TEST_F(MainForm, RotationTurnsThePointsWithThePicture) {
  LoadSide(0, WritePicture("r.bmp", *Gradient(30, 20)));
  TSideAlignment& side = Main->LeftSide();
  side.Point = {5, 6};
  side.Line = {1, 2, 29, 4};
  Main->RightSide().Point = {5, 6};
  const TSideAlignment start = side;
  auto colour = [&](int32_t x, int32_t y) { return Main->ImLinks()->PixelGraphic()->PixelColors(x, y); };
  const TColorRef point = colour(5, 6), lineStart = colour(1, 2), lineEnd = colour(29, 4);
  Click("RotateRight");
  TPixelGraphic* image = Main->ImLinks()->PixelGraphic();
  ASSERT_EQ(image->Width(), 20);
  ASSERT_EQ(image->Height(), 30);
  // Clockwise: the top-left pixel goes to the top-right corner.
  EXPECT_EQ(image->PixelColors(19, 0), RGBColor(0, 0, 40));
  EXPECT_EQ(colour(side.Point.X, side.Point.Y), point);
  EXPECT_EQ(colour(side.Line.X1, side.Line.Y1), lineStart);
  EXPECT_EQ(colour(side.Line.X2, side.Line.Y2), lineEnd);
  EXPECT_EQ(side.TurnPoint.X + side.TurnPoint.Y, 0);
  Click("RotateRight");
  Click("RotateRight");
  EXPECT_EQ(colour(side.Point.X, side.Point.Y), point);
  EXPECT_EQ(colour(side.Line.X2, side.Line.Y2), lineEnd);
  for (int i = 0; i < 3; ++i) Click("RotateLeft");
  EXPECT_EQ(std::tie(side.Point.X, side.Point.Y, side.Line.X1, side.Line.Y1, side.Line.X2, side.Line.Y2),
            std::tie(start.Point.X, start.Point.Y, start.Line.X1, start.Line.Y1, start.Line.X2, start.Line.Y2));
  EXPECT_EQ(colour(0, 0), RGBColor(0, 0, 40));
  Click("RotateLeft");
  EXPECT_EQ(colour(side.Point.X, side.Point.Y), point);
  EXPECT_EQ(colour(side.Line.X1, side.Line.Y1), lineStart);
  EXPECT_EQ(Main->RightSide().Point.X, 5);
}

// The work modes set every view's action mode and keep buttons and items in step.
TEST_F(MainForm, WorkModes) {
  LoadSide(0, WritePicture("m.bmp", *Gradient(30, 20)));
  Main->ImStereo()->SetSelection(true);
  Click("BtCut");
  EXPECT_TRUE(Action("MI4")->isChecked());
  EXPECT_EQ(Main->ImRechts()->ActionMode(), amMoveResizeCreateSelection);
  EXPECT_TRUE(Main->ImStereo()->Selection()); // crop keeps selections
  Action("MI2")->trigger();
  EXPECT_TRUE(Find("BtLock")->isChecked());
  EXPECT_FALSE(Find("BtCut")->isChecked());
  EXPECT_EQ(Main->ImStereo()->ActionMode(), amNone);
  EXPECT_FALSE(Main->ImStereo()->Selection());
  Click("BtLine");
  EXPECT_TRUE(Action("Mi3")->isChecked());
  EXPECT_FALSE(Find("BtLock")->isChecked());
  Click("BtPan");
  EXPECT_TRUE(Action("MI1")->isChecked());
  EXPECT_EQ(Main->ImLinks()->ActionMode(), amMoveImage);
}

// Help opens the German HTML document; access keys reach the menus.
TEST_F(MainForm, HelpAndAccessKeys) {
  Main->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(Main.get()));
  QTest::keyClick(Main.get(), Qt::Key_F1);
  ASSERT_EQ(Opened.size(), 1u);
  EXPECT_TRUE(QString::fromStdString(Opened[0]).endsWith(".html")) << Opened[0];

  LoadSamplePair();
  // The offscreen platform does not hand activation back from a closed dialog.
  QApplication::setActiveWindow(Main.get());
  ASSERT_TRUE(QTest::qWaitForWindowActive(Main.get()));
  // Alt+D, S (Stereobild berechnen), F (Farb-Anaglyphenbild).
  QTest::keyClick(Main.get(), Qt::Key_D, Qt::AltModifier);
  QWidget* popup = QApplication::activePopupWidget();
  ASSERT_TRUE(popup);
  EXPECT_EQ(popup->objectName(), "Datei1");
  QTest::keyClick(popup, Qt::Key_S);
  popup = QApplication::activePopupWidget();
  ASSERT_TRUE(popup);
  EXPECT_EQ(popup->objectName(), "MIberechnenMenu");
  QTest::keyClick(popup, Qt::Key_F);
  QApplication::processEvents();
  EXPECT_EQ(Main->LastStereoMode(), 2);
  EXPECT_EQ(Main->PageControl1()->tabText(2), "Farb-Anaglyphenbild");

  // About shows the splash window with its OK button, modally; OK closes it.
  bool okShown = false;
  OnModal([&](QDialog* about) {
    auto* ok = about->findChild<QPushButton*>();
    okShown = ok && ok->isVisible();
    if (ok) QTest::mouseClick(ok, Qt::LeftButton);
  });
  Action("MIAbout")->trigger();
  EXPECT_TRUE(okShown);
  // Beenden closes the window (the computed picture's question answered Nein).
  platform::SetMessageBoxHook([](const std::string&, const std::string&, platform::TMsgButtons,
                                 platform::TMsgIcon) { return static_cast<int>(platform::mrNo); });
  Action("Beenden1")->trigger();
  EXPECT_FALSE(Main->isVisible());
}

// Start-up: the window waits disabled behind the splash until a click on
// its picture ends the countdown.
TEST(MainFormStart, WaitsBehindTheSplashUntilItsPictureIsClicked) {
  TForm3* splash = ShowSplash();
  bool wasDisabled = false;
  QTimer::singleShot(50, [&] {
    for (QWidget* w : QApplication::topLevelWidgets())
      if (w->objectName() == "Main") wasDisabled = !w->isEnabled();
    QTest::mouseClick(splash->Image1, Qt::LeftButton);
  });
  TMainOptions options;
  options.Splash = splash;
  options.UseWindowPosition = false;
  TMain main(options);
  EXPECT_TRUE(wasDisabled);
  EXPECT_TRUE(main.isEnabled());
  EXPECT_TRUE(main.isVisible());
}

// The program's Qt texts are German: a Yes/No box shows "Ja" and "Nein".
TEST(MainFormStart, GermanStandardButtons) {
  QApplication& app = *qApp;
  PrepareApplication(app);
  platform::SetMessageBoxHook({}); // PrepareApplication installed the Qt boxes
  QMessageBox box;
  box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
  EXPECT_EQ(box.button(QMessageBox::Yes)->text().remove('&'), "Ja");
  EXPECT_EQ(box.button(QMessageBox::No)->text().remove('&'), "Nein");
  EXPECT_EQ(QCoreApplication::applicationName(), "Zwillo");
}

// A popup filter changes the picture under the popup and is shown at once;
// the side's alignment stays. Rückgängig brings the picture before it back,
// Wiederherstellen the filtered one.
TEST_F(MainForm, PopupFilterAppliesInPlace) {
  LoadSide(0, WritePicture("f.bmp", *Gradient(40, 30)));
  Main->LeftSide().Point = {7, 8};
  OnModal([](QDialog* dialog) {
    dialog->findChild<QSlider*>("TrackBar1")->setValue(50); // red +50 %
    QTest::mouseClick(dialog->findChild<QPushButton*>("OKButton"), Qt::LeftButton);
  });
  ClickItem(OpenPopup(Main->ImLinks()), "PI2");
  EXPECT_EQ(Main->ImLinks()->PixelGraphic()->PixelColors(0, 0), RGBColor(127, 0, 40));
  EXPECT_EQ(Main->LeftSide().Point.X, 7);
  QApplication::processEvents();
  const QImage shown = Main->ImLinks()->viewport()->grab().toImage();
  const QPoint corner = Main->ImLinks()->PicBoxRect().topLeft();
  EXPECT_EQ(QColor(shown.pixel(corner)).red(), 127);
  Main->MIRueckgaengig->trigger();
  EXPECT_EQ(Main->ImLinks()->PixelGraphic()->PixelColors(0, 0), RGBColor(0, 0, 40));
  EXPECT_EQ(Main->LeftSide().Point.X, 7);
  Main->MIWiederherstellen->trigger();
  EXPECT_EQ(Main->ImLinks()->PixelGraphic()->PixelColors(0, 0), RGBColor(127, 0, 40));
}

// The settings file read at start holds from the first command on.
TEST_F(MainForm, StartReadsTheSettingsFile) {
  const uint8_t oldQuality = PGJPEGQuality;
  platform::WriteProfileString(SettingsFileName, "Settings", "JPEG", "33");
  platform::WriteProfileString(SettingsFileName, "Settings", "ZoomPercent", "50");
  LoadProgramSettings(*Main);
  EXPECT_EQ(PGJPEGQuality, 33);
  LoadSide(0, WritePicture("s.bmp", *Gradient(100, 80)));
  ClickItem(OpenPopup(Main->ImLinks()), "MIUserZoom");
  EXPECT_EQ(Main->ImLinks()->ZoomFactor(), 0.5L);
  EXPECT_EQ(Main->StatusText(), "50%");
  PGJPEGQuality = oldQuality;
}

// "Einstellungen..." opens the settings dialog; its OK takes the values over
// at once (the JPEG quality of the next save) and Cancel keeps them.
TEST_F(MainForm, SettingsCommandTakesOverOKAndKeepsOnCancel) {
  const uint8_t oldQuality = PGJPEGQuality;
  OnModal([](QDialog* dialog) {
    auto* quality = dialog->findChild<QLineEdit*>("EdQuality");
    quality->selectAll();
    QTest::keyClicks(quality, "61");
    QTest::mouseClick(dialog->findChild<QPushButton*>("BitBtn1"), Qt::LeftButton);
  });
  Main->findChild<QAction*>("Einstellungen1")->trigger();
  EXPECT_EQ(PGJPEGQuality, 61);
  EXPECT_EQ(Main->Settings().JPEGQuality, 61);
  EXPECT_EQ(platform::GetProfileString(SettingsFileName, "Settings", "JPEG", ""), "61");

  OnModal([](QDialog* dialog) {
    auto* quality = dialog->findChild<QLineEdit*>("EdQuality");
    quality->selectAll();
    QTest::keyClicks(quality, "20");
    QTest::keyClick(dialog, Qt::Key_Escape);
  });
  Main->findChild<QAction*>("Einstellungen1")->trigger();
  EXPECT_EQ(PGJPEGQuality, 61);
  EXPECT_EQ(Main->Settings().JPEGQuality, 61);
  PGJPEGQuality = oldQuality;
}

// One settings dialog for the window's lifetime: after an OK whose file could
// not be written, the values taken over stay in force when the dialog is
// opened again and cancelled (nothing is read from the file again).
TEST_F(MainForm, SettingsDialogIsCreatedOnceAndCancelKeepsValuesAFailedWriteLeft) {
  const uint8_t oldQuality = PGJPEGQuality;
  platform::WriteProfileString(SettingsFileName, "Settings", "JPEG", "80");
  LoadProgramSettings(*Main);
  TConfigDlg* dialog = Main->ConfigDlg();
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(dialog->parent(), Main.get());
  // The configuration folder becomes a file: writing fails.
  const QString folder = QString::fromStdString(platform::WindowsDirectory());
  ASSERT_TRUE(QDir(folder).removeRecursively());
  QFile blocker(folder);
  ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
  blocker.close();
  OnModal([](QDialog* d) {
    auto* quality = d->findChild<QLineEdit*>("EdQuality");
    quality->selectAll();
    QTest::keyClicks(quality, "55");
    QTest::mouseClick(d->findChild<QPushButton*>("BitBtn1"), Qt::LeftButton);
  });
  Action("Einstellungen1")->trigger();
  ASSERT_EQ(Messages.size(), 1u);
  EXPECT_NE(Messages[0].find("kann nicht geschrieben werden"), std::string::npos) << Messages[0];
  EXPECT_EQ(PGJPEGQuality, 55);

  QString shown;
  OnModal([&](QDialog* d) {
    shown = d->findChild<QLineEdit*>("EdQuality")->text();
    QTest::mouseClick(d->findChild<QPushButton*>("BitBtn2"), Qt::LeftButton);
  });
  Action("Einstellungen1")->trigger();
  EXPECT_EQ(Main->ConfigDlg(), dialog);
  EXPECT_EQ(shown, "55");
  EXPECT_EQ(PGJPEGQuality, 55);
  EXPECT_EQ(Main->Settings().JPEGQuality, 55);
  QFile::remove(folder);
  PGJPEGQuality = oldQuality;
}
