// The stereo image leaving the program: the save commands through the save
// dialog, printing into a PDF file, and the hand-off to the stereo viewer.
#include "mainform_test_util.h"

#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QElapsedTimer>
#include <QPrinter>

#include "platform/files.h"

using namespace desktoptest;

namespace {

std::unique_ptr<TPixelGraphic> Load(const std::string& name) {
  auto g = std::make_unique<TPixelGraphic>();
  g->LoadFromFile(name);
  return g;
}

class Output : public MainWindowTest {
protected:
  // A stereo image of w x h on the stereo tab, which is made active.
  void ShowStereo(int w, int h) {
    Main->ImStereo()->AdoptPixelGraphic(Gradient(w, h));
    ClickTab(2);
    Main->UpdateControls();
  }
  // Presses a save button and answers the save dialog with name in the
  // temporary folder.
  std::string Save(const char* button, const std::string& name) {
    const std::string full = Dir().toStdString() + "/" + name;
    AnswerOpenDialog(full);
    Click(button);
    QApplication::processEvents();
    return full;
  }
  void SetViewer(const std::string& path) {
    TSettings s = Main->Settings();
    s.ELSAViewer = path;
    Main->SetSettings(s);
  }
};

}  // namespace

// Tag 1 at zoom 0.5 writes the truncated size; saving over it asks first and
// "No" leaves the file as it was; Tag 0 writes the view's own pixels.
TEST_F(Output, SaveScaledPlainAndOverwriteQuestion) {
  ShowStereo(1281, 600);
  Main->ImStereo()->SetZoomFactor(0.5L);
  const std::string scaled = Save("BtSaveStereoZoom", "scaled.bmp");
  EXPECT_TRUE(Messages.empty());  // a new name asks nothing
  auto s = Load(scaled);
  EXPECT_EQ(s->Width(), 640);
  EXPECT_EQ(s->Height(), 300);

  const QByteArray before = [&] {
    QFile f(QString::fromStdString(scaled));
    f.open(QIODevice::ReadOnly);
    return f.readAll();
  }();
  auto old = platform::SetMessageBoxHook(
      [this](const std::string& text, const std::string& caption, platform::TMsgButtons buttons, platform::TMsgIcon) {
        Messages.push_back(caption + ": " + text);
        EXPECT_EQ(buttons, platform::TMsgButtons::YesNo);
        return static_cast<int>(platform::mrNo);
      });
  Save("BtSaveStereo", "scaled.bmp");
  platform::SetMessageBoxHook(old);
  ASSERT_EQ(Messages.size(), 1u);
  EXPECT_EQ(Messages[0], "Warnung: " + scaled + "\nDiese Datei existiert bereits.\nVorhandene Datei ersetzen?");
  QFile f(QString::fromStdString(scaled));
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  EXPECT_EQ(f.readAll(), before);

  // A zoom beyond what an image may hold: the error box, and no file.
  Messages.clear();
  Main->ImStereo()->SetZoomFactor(1e12L);
  EXPECT_FALSE(platform::FileExists(Save("BtSaveStereoZoom", "huge.bmp")));
  EXPECT_EQ(Messages.size(), 1u);
  Main->ImStereo()->SetZoomFactor(1.0L);

  auto plain = Load(Save("BtSaveStereo", "plain.png"));
  TPixelGraphic& shown = *Main->ImStereo()->PixelGraphic();
  ASSERT_EQ(plain->Width(), shown.Width());
  ASSERT_EQ(plain->Height(), shown.Height());
  for (int y = 0; y < shown.Height(); ++y)
    ASSERT_EQ(std::memcmp(plain->ScanLine(y), shown.ScanLine(y), static_cast<size_t>(shown.Width()) * 3), 0) << y;
}

// The print dialog answered OK prints the active tab's picture into the PDF
// file the printer was set up with; cancelling it prints nothing.
TEST_F(Output, PrintIntoPdf) {
  ShowStereo(320, 200);
  const QString pdf = Dir() + "/print.pdf";
  Main->PrinterSetup = [&](QPrinter& printer) {
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(pdf);
  };
  OnModal([](QDialog* d) { d->reject(); });
  Click("BtPrint");
  EXPECT_FALSE(QFile::exists(pdf));

  std::string dialogName;
  OnModal([&](QDialog* d) {
    dialogName = d->objectName().toStdString();
    d->accept();
  });
  Click("BtPrint");
  EXPECT_EQ(dialogName, "PrintDialog");
  QFile f(pdf);
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  const QByteArray bytes = f.readAll();
  EXPECT_TRUE(bytes.startsWith("%PDF-"));
  // The job title in the document information, as UTF-16 big endian.
  QByteArray title;
  for (QChar c : QGuiApplication::applicationDisplayName() + " Graphic 320x200x16777216")
    title.append(char(c.unicode() >> 8)).append(char(c.unicode() & 0xff));
  EXPECT_TRUE(bytes.contains(title));
  EXPECT_TRUE(Messages.empty());
}

// No viewer, or one that is gone: the "Hinweis" box and nothing written.
TEST_F(Output, MissingViewerShowsHint) {
  QTemporaryDir tmp;
  TEnv env("XDG_RUNTIME_DIR", tmp.path().toLocal8Bit());
  ShowStereo(64, 48);
  const std::string hint = "Hinweis: ELSA Stereo Viewer nicht verfügbar.\n"
                           "Bitte überprüfen Sie Ihre Einstellungen (Menü Datei - Einstellungen...)";
  for (const std::string& viewer : {std::string(), tmp.path().toStdString() + "/deleted"}) {
    Messages.clear();
    SetViewer(viewer);
    Main->LaunchELSAViewer(*Main);
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0], hint);
    EXPECT_EQ(Icons.back(), platform::TMsgIcon::Information);
  }
  EXPECT_FALSE(QDir(tmp.path() + "/_stereo.dir").exists());
}

// The hand-off: "ELSAVIEWER.BMP" with the stereo image in "_stereo.dir" of the
// user's runtime folder, the viewer started there without arguments, after the ELSA
// computation and from the popup menu; the second hand-off overwrites the file.
TEST_F(Output, HandOffStartsViewerInFolder) {
  QTemporaryDir tmp, bin;
  TEnv env("XDG_RUNTIME_DIR", tmp.path().toLocal8Bit());
  const QString record = bin.path() + "/record";
  const QString script = bin.path() + "/viewer.sh";
  {
    QFile f(script);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(("#!/bin/sh\n{ pwd -P; if [ -f ELSAVIEWER.BMP ]; then echo found; "
             "else echo missing; fi; echo $#; } > '" +
             record + ".tmp' && mv '" + record + ".tmp' '" + record + "'\n")
                .toLocal8Bit());
    f.close();
    f.setPermissions(f.permissions() | QFile::ExeOwner);
  }
  SetViewer(script.toStdString());
  const QString folder = tmp.path() + "/_stereo.dir";
  auto expectStarted = [&](int width) {
    EXPECT_TRUE(Messages.empty());
    auto bmp = Load((folder + "/ELSAVIEWER.BMP").toStdString());
    EXPECT_EQ(bmp->Width(), width);
    QElapsedTimer t;
    t.start();
    while (!QFile::exists(record) && t.elapsed() < 10000) QTest::qWait(20);
    QFile f(record);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromLocal8Bit(f.readAll()), QDir(folder).canonicalPath() + "\nfound\n0\n");
    QFile::remove(record);
  };
  // At the end of the ELSA computation (the viewer's start is on by default).
  LoadSamplePair();
  Click("BtElsa");
  ASSERT_EQ(Main->LastStereoMode(), 6);
  expectStarted(Main->ImStereo()->PixelGraphic()->Width());
  // From the popup menu, into the existing folder, with whatever the view holds.
  ShowStereo(96, 48);
  ClickItem(OpenPopup(Main->ImStereo()), "MiELSAStereo");
  expectStarted(96);
}

// Without $XDG_RUNTIME_DIR the hand-off folder is "_stereo.dir" in a folder of
// the user's own in the temporary folder, both made with mode 0700. A
// "_stereo.dir" that others can write into, or that is no folder of the
// user's own (a link someone planted), is refused with a message naming it:
// nothing is written there and no viewer starts.
TEST_F(Output, HandOffFolderIsPrivateAndForeignOnesAreRefused) {
  QTemporaryDir tmp;
  TEnv runtime("XDG_RUNTIME_DIR", "");
  TEnv tmpdir("TMPDIR", tmp.path().toLocal8Bit());
  const QString started = tmp.path() + "/started";
  const QString script = tmp.path() + "/viewer.sh";
  {
    QFile f(script);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(("#!/bin/sh\ntouch '" + started + "'\n").toLocal8Bit());
    f.close();
    f.setPermissions(f.permissions() | QFile::ExeOwner);
  }
  SetViewer(script.toStdString());
  ShowStereo(32, 16);
  const QString own = tmp.path() + "/zwillo-" + QString::number(getuid());
  const QString folder = own + "/_stereo.dir";
  ASSERT_EQ(Main->HandOffFolder(), folder);
  const auto privateMode = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadUser |
                           QFile::WriteUser | QFile::ExeUser;
  Main->LaunchELSAViewer(*Main);
  EXPECT_TRUE(Messages.empty());
  EXPECT_EQ(QFile::permissions(own), privateMode);
  EXPECT_EQ(QFile::permissions(folder), privateMode);
  EXPECT_EQ(Load((folder + "/ELSAVIEWER.BMP").toStdString())->Width(), 32);
  QElapsedTimer t;
  t.start();
  while (!QFile::exists(started) && t.elapsed() < 10000) QTest::qWait(20);
  ASSERT_TRUE(QFile::remove(started));

  auto refused = [&](const char* reason) {
    Messages.clear();
    Main->LaunchELSAViewer(*Main);
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_NE(Messages[0].find(reason), std::string::npos) << Messages[0];
    EXPECT_NE(Messages[0].find(folder.toStdString()), std::string::npos) << Messages[0];
    EXPECT_EQ(Icons.back(), platform::TMsgIcon::Error);
    QTest::qWait(200);
    EXPECT_FALSE(QFile::exists(started));
  };
  // Others can write into it.
  QFile::remove(folder + "/ELSAVIEWER.BMP");
  ASSERT_EQ(::chmod(folder.toLocal8Bit().constData(), 0777), 0);
  refused("Andere Benutzer können in den Ordner");
  EXPECT_FALSE(QFile::exists(folder + "/ELSAVIEWER.BMP"));
  // Not a folder of the user's own: a link to a folder elsewhere.
  QDir(folder).removeRecursively();
  QTemporaryDir elsewhere;
  ASSERT_TRUE(QFile::link(elsewhere.path(), folder));
  refused("ist kein Ordner");
  EXPECT_FALSE(QFile::exists(elsewhere.path() + "/ELSAVIEWER.BMP"));
}
