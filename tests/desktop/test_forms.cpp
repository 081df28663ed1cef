// The program's small windows: progress, splash/About, window position, artwork.
#include "app/desktop/forms/form2ini.h"
#include "app/desktop/forms/progressform.h"
#include "app/desktop/forms/resources.h"
#include "app/desktop/forms/splashform.h"

#include "platform/inifile.h"

#include <QTemporaryDir>
#include <memory>

namespace {

// ---------------------------------------------------------------- splash

class SplashTest : public testing::Test {
protected:
  void TearDown() override { TForm3::SetTimerInterval(1000); }
};

TEST_F(SplashTest, StartupWaitRunsDownTheCountdownWithTheMainWindowDisabled) {
  // Showing may take longer than a tick on a loaded machine: the count starts
  // at 3 and has not run out before the wait.
  TForm3::SetTimerInterval(100);
  QWidget main;
  main.show();
  TForm3* splash = ShowSplash();
  ASSERT_TRUE(splash->isVisible());
  EXPECT_GE(splash->Countdown, 1);
  EXPECT_LE(splash->Countdown, 3);
  QPointer<TForm3> guard(splash);
  bool disabledDuringWait = false;
  QTimer::singleShot(1, &main, [&] { disabledDuringWait = !main.isEnabled(); });
  WaitForSplash(&main, splash);
  EXPECT_TRUE(disabledDuringWait);
  EXPECT_TRUE(main.isEnabled());
  EXPECT_TRUE(guard.isNull());
}

TEST_F(SplashTest, AClickOnThePictureEndsTheWaitAtOnce) {
  TForm3::SetTimerInterval(60000);
  QWidget main;
  TForm3* splash = ShowSplash();
  QTimer::singleShot(0, splash, [splash] { QTest::mouseClick(splash->Image1, Qt::LeftButton, {}, QPoint(50, 50)); });
  QElapsedTimer clock;
  clock.start();
  WaitForSplash(&main, splash);
  EXPECT_LT(clock.elapsed(), 5000);
  EXPECT_TRUE(main.isEnabled());
}

TEST_F(SplashTest, LayoutAndAboutWindow) {
  TForm3 form;
  EXPECT_EQ(form.objectName(), "Form3");
  EXPECT_EQ(form.size(), QSize(403, 332));
  EXPECT_EQ(form.Image1->geometry(), QRect(0, 0, 403, 332));
  // The OK button at its designed centre, 75 x 25 or larger with a larger font.
  EXPECT_EQ(form.BtOk->geometry().center(), QRect(136, 296, 75, 25).center());
  EXPECT_GE(form.BtOk->width(), 75);
  EXPECT_GE(form.BtOk->height(), 25);
  EXPECT_TRUE(form.windowFlags() & Qt::FramelessWindowHint);
  EXPECT_TRUE(form.windowFlags() & Qt::WindowStaysOnTopHint);
  EXPECT_EQ(form.Timer1->interval(), 1000);
  EXPECT_TRUE(form.Timer1->isActive());
  EXPECT_EQ(form.Countdown, 3);
  form.show();
  EXPECT_FALSE(form.BtOk->isVisible());  // only the About window shows it
  const QImage shot = form.grab().toImage();
  EXPECT_EQ(shot.size(), QSize(403, 332));
  EXPECT_NE(shot.pixel(200, 100), shot.pixel(10, 320));  // the picture, not a plain fill
}

TEST_F(SplashTest, AboutWindowOutlivesItsCountdownAndClosesOnOk) {
  TForm3::SetTimerInterval(2);
  bool visibleAfterCountdown = false;
  int ticksSeen = -1;
  QTimer::singleShot(0, [&] {
    auto* about = qobject_cast<TForm3*>(QApplication::activeModalWidget());
    ASSERT_NE(about, nullptr);
    EXPECT_TRUE(about->BtOk->isVisible());
    QTest::mouseClick(about->Image1, Qt::LeftButton);  // no visible effect here
    about->Countdown = 3;
    QTRY_VERIFY_WITH_TIMEOUT(!about->Timer1->isActive(), 5000);
    ticksSeen = about->Countdown;
    visibleAfterCountdown = about->isVisible();
    QTest::mouseClick(about->BtOk, Qt::LeftButton);
  });
  TForm3::ShowAbout(nullptr);  // returns when OK closed it
  EXPECT_EQ(ticksSeen, 0);
  EXPECT_TRUE(visibleAfterCountdown);
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

// ---------------------------------------------------------------- progress

TEST(ProgressWindow, SizesAndShowProgress) {
  TForm2 form;
  EXPECT_EQ(form.objectName(), "Form2");
  EXPECT_EQ(form.windowTitle(), "Berechnen Stereobild");
  // 380 x 109 with the panels 41 and 24 high for the design font, larger
  // with a larger one.
  EXPECT_GE(form.width(), 380);
  EXPECT_GE(form.height(), 109);
  EXPECT_EQ(form.Panel2->geometry(), QRect(0, 0, form.width(), form.Panel2->height()));
  EXPECT_EQ(form.Panel1->geometry(), QRect(0, form.Panel2->height(), form.width(), form.Panel1->height()));
  EXPECT_GE(form.Panel2->height(), 41);
  EXPECT_GE(form.Panel1->height(), 24);
  EXPECT_EQ(form.Panel2->frameShadow(), QFrame::Sunken);
  EXPECT_EQ(form.ProgressBar1->minimum(), 0);
  EXPECT_EQ(form.ProgressBar1->maximum(), 100);
  EXPECT_TRUE(form.windowFlags() & Qt::WindowStaysOnTopHint);
  EXPECT_FALSE(form.windowFlags() & Qt::WindowCloseButtonHint);
  form.show();
  form.ShowProgress("Stereobild berechnen", 30);
  EXPECT_EQ(form.Panel2->text(), "Stereobild berechnen");
  EXPECT_EQ(form.ProgressBar1->value(), 30);
  form.ShowProgress(QString::fromUtf8("Fertig."), 100);
  EXPECT_EQ(form.ProgressBar1->value(), 100);
  form.ShowProgress("", 250);
  EXPECT_EQ(form.ProgressBar1->value(), 100);
}

// ---------------------------------------------------------------- position

class Form2IniTest : public testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(FDir.isValid());
    FOldConfig = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", FDir.path().toUtf8());
    TForm2Ini::SetMessageHandler([this](const QString& text) { Messages << text; });
  }
  void TearDown() override {
    TForm2Ini::SetMessageHandler(nullptr);
    if (FOldConfig.isEmpty())
      qunsetenv("XDG_CONFIG_HOME");
    else
      qputenv("XDG_CONFIG_HOME", FOldConfig);
  }

  // A main window as the program builds it: 640 x 480, centred by default.
  struct Window {
    std::unique_ptr<QWidget> Form;
    TForm2Ini* Ini;
  };
  static Window MakeWindow(QPoint designedPos = QPoint(30, 40)) {
    Window w{std::make_unique<QWidget>(), nullptr};
    w.Form->resize(640, 480);
    w.Form->move(designedPos);
    w.Ini = new TForm2Ini(w.Form.get(), "TMain");
    w.Ini->ShowDefault = sdScreenCenter;
    return w;
  }
  std::string Stored(const char* key) const {
    return platform::GetProfileString(IniName().toStdString(), "Main", key, "-");
  }
  static QString IniName() { return QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName() + ".INI"; }

  QTemporaryDir FDir;
  QByteArray FOldConfig;
  QStringList Messages;
};

TEST_F(Form2IniTest, FirstStartIsCentredThenTheBoundsComeBack) {
  {
    Window w = MakeWindow();
    w.Ini->Loaded();
    EXPECT_EQ(w.Ini->IniFile, IniName());
    EXPECT_EQ(w.Ini->IniSection, "Main");
    const QRect s = QGuiApplication::primaryScreen()->geometry();
    EXPECT_EQ(w.Form->pos(), QPoint((s.width() - 640) / 2, (s.height() - 480) / 2));
    w.Form->move(17, 23);
    w.Form->resize(500, 400);
  }  // destroyed: written
  EXPECT_TRUE(QFileInfo::exists(FDir.path() + "/zwillo/" + IniName()));
  EXPECT_EQ(Stored("Left"), "17");
  EXPECT_EQ(Stored("Top"), "23");
  EXPECT_EQ(Stored("Width"), "500");
  EXPECT_EQ(Stored("Height"), "400");
  EXPECT_EQ(Stored("State"), "0");
  Window again = MakeWindow();
  again.Form->show();  // the first show reads the position when Loaded was not called
  EXPECT_EQ(again.Form->pos(), QPoint(17, 23));
  EXPECT_EQ(again.Form->size(), QSize(500, 400));
  EXPECT_TRUE(Messages.isEmpty());
}

TEST_F(Form2IniTest, MaximisedKeepsTheLastNormalBoundsMinimisedComesBackMinimised) {
  {
    Window w = MakeWindow();
    w.Ini->Loaded();
    w.Form->move(11, 12);
    w.Form->resize(300, 200);
    w.Ini->WritePosition();
    w.Form->showMaximized();  // the window system gives it the whole screen
  }
  EXPECT_EQ(Stored("State"), "2");
  EXPECT_EQ(Stored("Left"), "11");
  EXPECT_EQ(Stored("Width"), "300");
  {
    Window w = MakeWindow();
    w.Ini->Loaded();
    EXPECT_TRUE(w.Form->windowState() & Qt::WindowMaximized);
    EXPECT_EQ(w.Form->normalGeometry().size(), QSize(300, 200));
    w.Form->setWindowState(Qt::WindowMinimized);
  }
  EXPECT_EQ(Stored("State"), "1");
  EXPECT_EQ(Stored("Height"), "200");
  Window w = MakeWindow();
  w.Ini->Loaded();
  EXPECT_TRUE(w.Form->windowState() & Qt::WindowMinimized);
  w.Ini->WriteIni = false;
}

// Maximised at the first start and closed so: only the state is stored. The
// next start centres the window (nothing placed yet) and maximises it.
TEST_F(Form2IniTest, MaximisedWithoutStoredPositionComesBackMaximised) {
  {
    Window w = MakeWindow();
    w.Ini->Loaded();
    w.Form->showMaximized();
  }
  EXPECT_EQ(Stored("State"), "2");
  EXPECT_EQ(Stored("Left"), "-");
  Window w = MakeWindow();
  w.Ini->WriteIni = false;
  w.Ini->Loaded();
  EXPECT_TRUE(w.Form->windowState() & Qt::WindowMaximized);
  const QRect s = QGuiApplication::primaryScreen()->geometry();
  EXPECT_EQ(w.Form->normalGeometry().size(), QSize(640, 480));
  EXPECT_EQ(w.Form->normalGeometry().topLeft(), QPoint((s.width() - 640) / 2, (s.height() - 480) / 2));
}

TEST_F(Form2IniTest, OnlyTopStoredKeepsTheDesignedLeftEdge) {
  platform::WriteProfileString(IniName().toStdString(), "Main", "Top", "77");
  platform::WriteProfileString(IniName().toStdString(), "Main", "Width", "abc");  // not an integer
  Window w = MakeWindow(QPoint(123, 45));
  w.Ini->WriteIni = false;
  w.Ini->Loaded();
  EXPECT_EQ(w.Form->pos(), QPoint(123, 77));
  EXPECT_EQ(w.Form->size(), QSize(640, 480));
}

TEST_F(Form2IniTest, DefaultPlacementsAndProgramFolder) {
  const QRect s = QGuiApplication::primaryScreen()->geometry();
  Window w = MakeWindow(QPoint(50, 60));
  w.Ini->WriteIni = false;
  w.Ini->ShowDefault = sdTopRight;
  w.Ini->UseWinDir = false;
  w.Ini->Loaded();
  EXPECT_EQ(w.Form->pos(), QPoint(s.width() - 640, 0));
  EXPECT_EQ(w.Ini->IniFile, QCoreApplication::applicationDirPath() + "/" + IniName());
  Window d = MakeWindow(QPoint(50, 60));
  d.Ini->WriteIni = false;
  d.Ini->ShowDefault = sdDesigned;
  d.Ini->Loaded();
  EXPECT_EQ(d.Form->pos(), QPoint(50, 60));
}

TEST_F(Form2IniTest, NonWindowOwnerShowsTheMessageAndNeverWrites) {
  QWidget window;
  auto* child = new QWidget(&window);
  QObject plain;
  auto* a = new TForm2Ini(child);
  auto* b = new TForm2Ini(&plain);
  EXPECT_FALSE(a->Attached());
  EXPECT_FALSE(b->Attached());
  ASSERT_EQ(Messages.size(), 2);
  EXPECT_EQ(Messages[0], "Please use Pos2Ini only in Forms!");
  a->Loaded();
  delete a;
  delete b;
  EXPECT_FALSE(QDir(FDir.path() + "/zwillo").exists());
  EXPECT_EQ(Messages.size(), 2);
}

TEST_F(Form2IniTest, AFailedWriteAtDestructionIsShownNotThrown) {
  Window w = MakeWindow();
  w.Ini->IniFile = FDir.path() + "/missing-folder/x.INI";
  w.Ini->Loaded();
  w.Form.reset();
  ASSERT_EQ(Messages.size(), 1);
  EXPECT_TRUE(Messages[0].startsWith("nach ")) << Messages[0].toStdString();
  EXPECT_TRUE(Messages[0].endsWith("kann nicht geschrieben werden"));
}

// ---------------------------------------------------------------- artwork

TEST(Artwork, EveryToolImageHasANormalAndADisabledVariantAndTheyDiffer) {
  QList<QImage> seen;
  for (int i = 0; i < ToolIconCount; ++i) {
    SCOPED_TRACE(i);
    const QIcon icon = ToolIcon(i);
    ASSERT_FALSE(icon.isNull());
    const QImage normal = icon.pixmap(QSize(20, 20), 1.0, QIcon::Normal).toImage();
    const QImage disabled = icon.pixmap(QSize(20, 20), 1.0, QIcon::Disabled).toImage();
    ASSERT_EQ(normal.size(), QSize(20, 20));
    EXPECT_NE(normal, disabled);
    int opaque = 0;
    for (int y = 0; y < 20; ++y)
      for (int x = 0; x < 20; ++x) opaque += qAlpha(normal.pixel(x, y)) > 128;
    EXPECT_GT(opaque, 20);  // a drawing, not an empty image
    for (const QImage& other : seen) EXPECT_NE(normal, other);
    seen << normal;
    EXPECT_EQ(ToolPixmap(i, false, 2).toImage().size(), QSize(40, 40));
  }
  EXPECT_TRUE(ToolIcon(-1).isNull());
  EXPECT_TRUE(ToolIcon(ToolIconCount).isNull());
  EXPECT_FALSE(WindowIcon().isNull());
  EXPECT_EQ(SplashPicture().size(), QSize(403, 332));
}

TEST(Artwork, TheHelpDocumentIsFoundAndEveryPictureItShowsExists) {
  const QString help = HelpFilePath();
  ASSERT_TRUE(QFileInfo(help).isFile()) << help.toStdString();
  QFile file(help);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QString html = QString::fromUtf8(file.readAll());
  static const QRegularExpression img(R"re(<img src="([^"]+)")re");
  int pictures = 0;
  for (auto it = img.globalMatch(html); it.hasNext(); ++pictures) {
    const QString src = it.next().captured(1);
    const QImage picture(QFileInfo(help).absolutePath() + "/" + src);
    EXPECT_FALSE(picture.isNull()) << src.toStdString();
  }
  EXPECT_GE(pictures, 7);  // at least one per stereo mode
}

} // namespace
