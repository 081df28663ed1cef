// A seeded random walk through the main window, driven as a user works:
// tool buttons and menu items (only enabled ones), tab clicks, presses, drags
// and releases in the views with and without Ctrl, the popup menu, and every
// dialog answered at random (good, damaged and missing pictures; good,
// unwritable and cancelled saves; message boxes; settings and filter values).
//
// After each action: no dialog, popup, progress window or hourglass left
// behind, the window enabled and responding, no exception escaped, every
// command enabled exactly as the tab and the views' pictures say, the tilt-line
// animation armed again, no display copy beyond what a screen can use, no file
// touched that the action had no business touching. After a failed save every
// existing file is byte-identical and no stray file is left; a save that
// succeeded wrote a file that loads with the expected size (and, lossless,
// the very pixels); a load leaves the side with its parameter file's values.
//
// ZWILLO_WALK_SEED and ZWILLO_WALK_ACTIONS choose the walk of the test
// FromEnvironment (default: seed 20261208, 2000 actions); ZWILLO_WALK_VERBOSE=1
// prints every action, the message boxes and the slowest actions. The last
// actions are printed on any failure, crash or hang (watchdog:
// ZWILLO_WALK_TIMEOUT seconds per action, default 20), so a failure can be
// replayed with the printed seed and action count.
#include <array>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <set>
#include <thread>
#include <unistd.h>

#include <QCheckBox>
#include <QComboBox>
#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinter>
#include <QPointer>
#include <QProgressDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSlider>
#include <QWheelEvent>

#include "app/core/paramfile.h"
#include "app/desktop/forms/configdlg.h"
#include "app/desktop/forms/progressform.h"
#include "app/desktop/forms/splashform.h"
#include "desktop/mainform_test_util.h"
#include "pgraphic/view/filterdialogs.h"
#include "pgraphic/view/opensavedialog.h"

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/common_interface_defs.h>
#endif

using namespace desktoptest;

namespace {

// ------------------------------------------------------------ the last actions
// Kept preformatted so that a signal handler or the watchdog can write them.

constexpr int kRing = 20;
constexpr int kLine = 200;
char GRing[kRing][kLine];
std::atomic<long> GActionIndex{-1};
std::atomic<int64_t> GActionStartMs{0};
std::atomic<bool> GWalking{false};
unsigned GSeed = 0;

int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

void Note(long index, const std::string& text) {
  std::snprintf(GRing[index % kRing], kLine, "seed %u action %ld: %s\n", GSeed, index, text.c_str());
}

void WriteRing() {
  const long last = GActionIndex.load();
  char head[160];
  const int n = std::snprintf(head, sizeof head,
                              "---- random walk, seed %u, last actions (replay: ZWILLO_WALK_SEED=%u "
                              "ZWILLO_WALK_ACTIONS=%ld) ----\n",
                              GSeed, GSeed, last + 1);
  if (write(2, head, static_cast<size_t>(n)) < 0) return;
  for (long i = std::max(0L, last - kRing + 1); i <= last; ++i)
    if (write(2, GRing[i % kRing], std::strlen(GRing[i % kRing])) < 0) return;
}

extern "C" void CrashHandler(int sig) {
  if (GWalking) WriteRing();
  std::signal(sig, SIG_DFL);
  std::raise(sig);
}

// Aborts the process when one action runs longer than the limit.
class TWatchdog {
public:
  explicit TWatchdog(int seconds) : FLimitMs(int64_t{seconds} * 1000), FThread([this] { Run(); }) {}
  ~TWatchdog() {
    FStop = true;
    FThread.join();
  }

private:
  void Run() {
    while (!FStop) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      if (GWalking && NowMs() - GActionStartMs.load() > FLimitMs) {
        const char msg[] = "random walk: an action hangs (watchdog)\n";
        if (write(2, msg, sizeof msg - 1) < 0) {}
        WriteRing();
        GWalking = false;  // printed once
        std::abort();
      }
    }
  }
  int64_t FLimitMs;
  std::atomic<bool> FStop{false};
  std::thread FThread;
};

int EnvInt(const char* name, int fallback) {
  bool ok = false;
  const int v = qEnvironmentVariableIntValue(name, &ok);
  return ok ? v : fallback;
}

// ------------------------------------------------------------ files

struct TFileState {
  qint64 Size = -1;
  qint64 MTimeNs = 0;
  QByteArray Hash;  // only in a full snapshot
  bool operator==(const TFileState& o) const { return Size == o.Size && MTimeNs == o.MTimeNs && Hash == o.Hash; }
};
using TSnapshot = std::map<QString, TFileState>;

TSnapshot Snapshot(const QStringList& folders, bool withContent) {
  TSnapshot s;
  for (const QString& folder : folders) {
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System | QDir::Dirs | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
      const QFileInfo fi(it.next());
      TFileState st;
      st.Size = fi.isDir() ? -2 : fi.size();
      st.MTimeNs = fi.isDir() ? 0 : fi.lastModified().toMSecsSinceEpoch();
      if (withContent && fi.isFile()) {
        QFile f(fi.filePath());
        if (f.open(QIODevice::ReadOnly)) st.Hash = QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha1);
      }
      s[fi.filePath()] = st;
    }
  }
  return s;
}

// The differences of two snapshots, as names.
std::set<QString> Changed(const TSnapshot& a, const TSnapshot& b) {
  std::set<QString> out;
  for (const auto& [name, st] : a) {
    auto it = b.find(name);
    if (it == b.end() || !(it->second == st)) out.insert(name);
  }
  for (const auto& [name, st] : b)
    if (!a.count(name)) out.insert(name);
  return out;
}

// A side's eight alignment values, for comparing.
std::vector<int32_t> Values(const TSideAlignment& s) {
  return {s.Point.X, s.Point.Y, s.TurnPoint.X, s.TurnPoint.Y, s.Line.X1, s.Line.Y1, s.Line.X2, s.Line.Y2};
}

void WriteBytes(const QString& name, const QByteArray& bytes) {
  QFile f(name);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
  f.write(bytes);
}
QByteArray ReadBytes(const QString& name) {
  QFile f(name);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// ------------------------------------------------------------ the walk

class Walk : public MainWindowTest {
protected:
  void SetUp() override {
    MainWindowTest::SetUp();
    ASSERT_TRUE(FRoot.isValid());
    FIn = FRoot.path() + "/in";
    FOut = FRoot.path() + "/out";
    QDir().mkpath(FIn);
    QDir().mkpath(FOut + "/adir");
    QDir().mkpath(FRoot.path() + "/tmp");
    FTmpDir = std::make_unique<TEnv>("TMPDIR", (FRoot.path() + "/tmp").toLocal8Bit());
    FRuntimeDir = std::make_unique<TEnv>("XDG_RUNTIME_DIR", (FRoot.path() + "/tmp").toLocal8Bit());
    FStubViewer = FRoot.path() + "/viewer.sh";
    WriteBytes(FStubViewer, "#!/bin/sh\nexit 0\n");
    QFile(FStubViewer).setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    std::signal(SIGSEGV, CrashHandler);
    std::signal(SIGABRT, CrashHandler);
    std::signal(SIGBUS, CrashHandler);
    std::signal(SIGFPE, CrashHandler);
#if defined(__SANITIZE_ADDRESS__)
    __sanitizer_set_death_callback([] {
      if (GWalking) WriteRing();
    });
#endif
  }
  void TearDown() override {
    GWalking = false;
    MainWindowTest::TearDown();
    FTmpDir.reset();
    FRuntimeDir.reset();
  }

  // Runs a walk of n actions with seed.
  void Run(unsigned seed, int n) {
    GSeed = seed;
    FVerbose = EnvInt("ZWILLO_WALK_VERBOSE", 0) != 0;
    // The offscreen platform's notes on what it cannot do are noise here.
    static QtMessageHandler previous = qInstallMessageHandler(
        [](QtMsgType type, const QMessageLogContext& context, const QString& text) {
          if (!text.startsWith(QStringLiteral("This plugin does not support"))) previous(type, context, text);
        });
    FRng.seed(seed);
    MakePictures();
    if (HasFatalFailure()) return;
    InstallHooks();
    Activate();
    auto* answerer = new QTimer(qApp);
    answerer->setInterval(5);
    QObject::connect(answerer, &QTimer::timeout, answerer, [this] { Poll(); });
    answerer->start();
    TWatchdog watchdog(EnvInt("ZWILLO_WALK_TIMEOUT", 20));
    QElapsedTimer clock;
    clock.start();
    GWalking = true;
    for (long i = 0; i < n && !HasFailure(); ++i) {
      GActionIndex = i;
      GActionStartMs = NowMs();
      Step(i);
    }
    GWalking = false;
    answerer->stop();
    delete answerer;
    if (HasFailure()) WriteRing();
    std::printf("random walk: seed %u, %d actions, %.1f s; %d loads, %d saves written, %d failed saves, "
                "%d computations (%d with one tilt line), %d crops, %d error boxes\n",
                seed, n, clock.elapsed() / 1000.0, FLoads, FSavesWritten, FSavesFailed, FComputations, FOneLine,
                FCrops, FErrors);
    if (FVerbose) {
      for (const auto& [text, count] : FBoxTexts) std::printf("  %5d x %s\n", count, text.c_str());
      for (const auto& [ms, what] : FSlowest) std::printf("  slow: %.0f ms %s\n", ms, what.c_str());
    }
    // Quitting through the menu ends the walk cleanly (an unsaved stereo
    // picture's question answered Nein).
    FQuitting = true;
    Main->Beenden1->trigger();
    QApplication::processEvents();
    EXPECT_FALSE(Main->isVisible());
  }

  // The main window as the active window (the tilt-line animation runs only then).
  void Activate() {
    QApplication::setActiveWindow(Main.get());
    QApplication::processEvents();
  }

  // ---------------------------------------------------------- the pictures
  void MakePictures() {
    static const char* const kExt[] = {"bmp", "png", "jpg", "tif", "tga", "ppm", "pgm", "pbm"};
    for (int i = 0; i < 8; ++i) {
      const int w = Uniform(160, 640), h = Uniform(120, 480);
      TPixelGraphic g;
      g.SetSize(w, h, bc24Bit);
      const int a = Uniform(0, 255), b = Uniform(1, 7);
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
          g.SetPixels(x, y, RGBColor((x * b + a) & 255, (y * 3 + x / 7) & 255, ((x ^ y) + a) & 255));
      g.SetSaveColorResWarningAction(pgwaIgnore);
      const std::string name = (FIn + QString("/pic%1.%2").arg(i).arg(kExt[i % 8])).toStdString();
      ASSERT_NO_THROW(g.SaveToFile(name));
      FGood.push_back(name);
      // Parameter files: most of them plausible, some with extreme values.
      if (Uniform(0, 2) > 0) {
        auto v = [&](int range) -> std::string {
          switch (Uniform(0, 9)) {
            case 0: return "2147483647";
            case 1: return "-2147483648";
            case 2: return "0x7FFFFFFF";
            case 3: return "-1";
            default: return std::to_string(Uniform(0, range));
          }
        };
        const bool wild = Uniform(0, 3) == 0;
        std::string text = "[Parameter]\n";
        for (const char* key : {"x", "y", "xD", "yD", "x1", "y1", "x2", "y2"})
          text += std::string(key) + "=" + (wild ? v(w) : std::to_string(Uniform(0, std::max(w, h)))) + "\n";
        if (!wild && Uniform(0, 1) == 0) text += "xD=0\nyD=0\n";
        WriteBytes(QString::fromStdString(ParameterFileName(name)), QByteArray::fromStdString(text));
      }
    }
    // Palette pictures (4-bit system colours, 8-bit grey, black and white),
    // names with blanks and umlauts and a four-letter extension.
    const struct {
      const char* Name;
      uint8_t Bits;
      TPaletteIdent Palette;
      int Values;
    } palettes[] = {{"vier bit.bmp", bc4Bit, pSys16, 16},
                    {"grau.tif", bc8Bit, pGray256, 256},
                    {"schwarzweiß.bmp", bc1Bit, pBlackWhite, 2}};
    for (const auto& p : palettes) {
      const int w = Uniform(160, 640), h = Uniform(120, 480);
      TPixelGraphic g;
      g.SetSize(w, h, p.Bits);
      g.SetPaletteIdent(p.Palette);
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) g.SetPixels(x, y, static_cast<uint32_t>((x / 9 + y / 7) % p.Values));
      const std::string name = (FIn + "/" + QString::fromUtf8(p.Name)).toStdString();
      ASSERT_NO_THROW(g.SaveToFile(name));
      FGood.push_back(name);
    }
    {
      TPixelGraphic g;
      ASSERT_NO_THROW(g.LoadFromFile(FGood[2]));
      const std::string name = (FIn + QString::fromUtf8("/Straße Über.jpeg")).toStdString();
      ASSERT_NO_THROW(g.SaveToFile(name));
      FGood.push_back(name);
      // A photograph whose parameter file cannot be written: a folder has its name.
      const std::string blocked = (FIn + "/blockiert.png").toStdString();
      ASSERT_NO_THROW(g.SaveToFile(blocked));
      QDir().mkpath(QString::fromStdString(ParameterFileName(blocked)));
      FGood.push_back(blocked);
    }
    // Bitmaps with the later Windows headers, as ImageMagick and the BMP suite have them.
    for (const char* file : {"imagemagick/im8.bmp", "imagemagick/im24.bmp", "imagemagick/im32.bmp",
                             "bmpsuite/g/pal8v4.bmp", "bmpsuite/g/pal8v5.bmp"}) {
      const QString to = FIn + "/v" + QFileInfo(file).fileName();
      ASSERT_TRUE(QFile::copy(QString(ZWILLO_TEST_DATA) + "/" + file, to));
      FGood.push_back(to.toStdString());
    }
    // Damaged files: truncated JPEG and PNG, garbage under picture names, an empty file.
    const QByteArray jpg = ReadBytes(FIn + "/pic2.jpg"), png = ReadBytes(FIn + "/pic1.png");
    WriteBytes(FIn + "/cut.jpg", jpg.left(jpg.size() / 2));
    WriteBytes(FIn + "/cut.png", png.left(png.size() / 3));
    QByteArray garbage;
    for (int i = 0; i < 3000; ++i) garbage.append(char(Uniform(0, 255)));
    WriteBytes(FIn + "/garbage.bmp", garbage);
    WriteBytes(FIn + "/garbage.tif", "II*\0" + garbage);
    WriteBytes(FIn + "/header.bmp", QByteArray("BM") + garbage.left(60));
    WriteBytes(FIn + "/empty.png", QByteArray());
    for (const char* n : {"cut.jpg", "cut.png", "garbage.bmp", "garbage.tif", "header.bmp", "empty.png"})
      FDamaged.push_back((FIn + "/" + n).toStdString());
    // A regular file that save targets use as a folder.
    FNotADir = FRoot.path() + "/plainfile";
    WriteBytes(FNotADir, "not a folder");
  }

  // ---------------------------------------------------------- random choices
  int Uniform(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(FRng); }
  bool Chance(int percent) { return Uniform(0, 99) < percent; }
  template <class T>
  const T& Pick(const std::vector<T>& v) {
    return v[static_cast<size_t>(Uniform(0, static_cast<int>(v.size()) - 1))];
  }

  // ---------------------------------------------------------- hooks
  void InstallHooks() {
    platform::SetMessageBoxHook([this](const std::string& text, const std::string& caption,
                                       platform::TMsgButtons buttons, platform::TMsgIcon icon) {
      int answer = platform::mrOk;
      switch (buttons) {
        case platform::TMsgButtons::OK: answer = platform::mrOk; break;
        case platform::TMsgButtons::OKCancel: answer = Chance(60) ? platform::mrOk : platform::mrCancel; break;
        case platform::TMsgButtons::YesNo: answer = Chance(60) ? platform::mrYes : platform::mrNo; break;
        case platform::TMsgButtons::YesNoCancel:
          answer = Pick(std::vector<int>{platform::mrYes, platform::mrNo, platform::mrCancel});
          break;
      }
      if (icon == platform::TMsgIcon::Error) {
        ++FErrors;
        FErrorShown = true;
      }
      if (answer == platform::mrCancel || answer == platform::mrNo) FRefused = true;
      if (text == "Bild beschneiden?") {
        // Cropping shrinks the pictures for good: agreed to now and then.
        answer = Chance(25) ? platform::mrYes : platform::mrNo;
        if (answer == platform::mrYes) ++FCrops;
        // The frame asked about lies on the picture and is no slip.
        TPGImage* v = Main->ActiveView();
        const TPixelGraphic* g = v->PixelGraphicNoWait();
        const QRect frame = v->SelectionRect();
        EXPECT_TRUE(g && QRect(0, 0, g->Width(), g->Height()).contains(frame)) << "crop frame off the picture";
        EXPECT_GE(int64_t{v->ImageToViewX(frame.x() + frame.width())} - v->ImageToViewX(frame.x()), 4);
        EXPECT_GE(int64_t{v->ImageToViewY(frame.y() + frame.height())} - v->ImageToViewY(frame.y()), 4);
        if (answer == platform::mrYes) FCropFrame = frame;
      }
      if (FQuitting && buttons == platform::TMsgButtons::YesNoCancel) answer = platform::mrNo;
      FBoxes.push_back(caption + ": " + text.substr(0, 80) + " -> " + std::to_string(answer));
      ++FBoxTexts[caption + ": " + text.substr(0, 60)];
      return answer;
    });
    Main->OpenDocument = [](const std::string&) { return true; };
    Main->PrinterSetup = [this](QPrinter& printer) {
      printer.setOutputFormat(QPrinter::PdfFormat);
      printer.setOutputFileName(FRoot.path() + "/print.pdf");
    };
    // The program's own hand-off, but a viewer is started only when it is the
    // harmless stub (a path typed into the settings may name anything).
    Main->LaunchELSAViewer = [this](TMain& main) {
      const QString viewer = QString::fromStdString(main.ELSAViewer());
      if (viewer.isEmpty() || viewer == FStubViewer || !QFileInfo::exists(viewer)) TMain::RunELSAViewer(main);
    };
  }

  // ---------------------------------------------------------- dialogs
  // Polled while an action runs: answers each modal dialog once, and cancels
  // one that stays open after its answer (a save dialog given a folder name
  // shows that folder instead of closing).
  void Poll() {
    QWidget* w = QApplication::activeModalWidget();
    // A dialog being answered (the answer may wait a moment, as a user does)
    // is not counted as one that stays open.
    if (!w || !w->isVisible() || FAnswering || w == FAnsweringWidget) return;
    int& seen = FSeen[w];
    ++seen;
    if (seen == 1) {
      // A dialog object shown again (the open dialog is reused) is new to answer.
      if (auto* d = qobject_cast<QDialog*>(w))
        QObject::connect(d, &QDialog::finished, qApp, [this, w] { FSeen.erase(w); }, Qt::SingleShotConnection);
      // Answered outside this timer's handler, so that a dialog the answer
      // opens is polled too.
      FAnswering = true;
      QTimer::singleShot(0, qApp, [this, guard = QPointer<QWidget>(w)] {
        FAnswering = false;
        if (!guard || !guard->isVisible()) return;
        FAnsweringWidget = guard;
        Answer(guard);
        FAnsweringWidget = nullptr;
      });
    } else if (seen == 40) {
      FRefused = true;
      FNote += " cancel";
      if (auto* d = qobject_cast<QDialog*>(w)) d->reject();
    } else if (seen == 80) {
      ADD_FAILURE() << "a modal window does not close: " << w->metaObject()->className();
      w->hide();
    }
  }

  void Answer(QWidget* w) {
    const std::string cls = w->metaObject()->className();
    auto* dialog = qobject_cast<QDialog*>(w);
    if (auto* save = qobject_cast<TPGSaveDialog*>(w)) return AnswerSave(save);
    if (auto* open = qobject_cast<TPGOpenDialog*>(w)) return AnswerOpen(open);
    if (auto* files = qobject_cast<QFileDialog*>(w)) {
      // The settings' browse for the viewer.
      const int c = Uniform(0, 2);
      if (c == 0) return files->reject();
      Type(files, c == 1 ? FStubViewer.toStdString() : Pick(FGood));
      return static_cast<QDialog*>(files)->accept();
    }
    if (auto* config = qobject_cast<TConfigDlg*>(w)) return AnswerConfig(config);
    if (auto* filter = qobject_cast<TFilterDialogForm*>(w)) return AnswerFilter(filter);
    if (auto* print = qobject_cast<QPrintDialog*>(w)) {
      FNote += " print:";
      if (Chance(50)) {
        FNote += "ok";
        return print->accept();
      }
      FNote += "cancel";
      return print->reject();
    }
    if (auto* about = qobject_cast<TForm3*>(w)) {
      if (Chance(70) && about->BtOk && about->BtOk->isVisible())
        QTest::mouseClick(about->BtOk, Qt::LeftButton);
      else
        about->reject();
      return;
    }
    if (auto* box = qobject_cast<QMessageBox*>(w)) {
      const auto buttons = box->buttons();
      FBoxes.push_back("QMessageBox: " + box->text().toStdString());
      if (buttons.isEmpty()) return box->reject();
      return buttons[Uniform(0, static_cast<int>(buttons.size()) - 1)]->click();
    }
    if (auto* progress = qobject_cast<QProgressDialog*>(w)) {
      // Automatisch ausrichten at work: a user waits, or presses Abbrechen.
      if (Chance(30))
        if (auto* cancel = progress->findChild<QPushButton*>()) cancel->click();
      return;
    }
    FNote += " unknown modal " + cls;
    if (dialog) dialog->reject();
  }

  void Type(QFileDialog* d, const std::string& name) {
    if (auto* edit = d->findChild<QLineEdit*>("fileNameEdit"))
      edit->setText(QString::fromStdString(name));
    else
      d->selectFile(QString::fromStdString(name));
  }

  void AnswerOpen(TPGOpenDialog* d) {
    const int c = Uniform(0, 99);
    std::string name;
    if (c < 55) {
      name = Pick(FGood);
    } else if (c < 70) {
      name = Pick(FDamaged);
    } else if (c < 77) {
      name = (FIn + "/missing.jpg").toStdString();
    } else if (c < 85 && !FWritten.empty()) {
      name = Pick(FWritten);  // a stereo image saved earlier
    } else if (c < 87) {
      name = FIn.toStdString();  // a folder: the dialog shows it and stays open
    } else {
      FNote += " open:cancel";
      return d->reject();
    }
    FNote += " open:" + QFileInfo(QString::fromStdString(name)).fileName().toStdString();
    FLoadName = name;
    // Now and then the user hesitates: another file is previewed first (its
    // loader thread is stopped when the selection moves on).
    if (Chance(10)) {
      Type(d, Chance(50) ? Pick(FDamaged) : Pick(FGood));
      QTest::qWait(Uniform(150, 260));
    }
    // Sometimes the preview gets a moment to start (it starts 150 ms after
    // the selection settles) before the answer.
    if (Chance(20)) QTest::qWait(Chance(25) ? Uniform(150, 260) : Uniform(1, 40));
    Type(d, name);
    static_cast<QDialog*>(d)->accept();
  }

  void AnswerSave(TPGSaveDialog* d) {
    static const std::vector<std::string> kExt = {"bmp", "jpg", "pbm", "pgm", "png", "ppm", "tga", "tif"};
    const int c = Uniform(0, 99);
    std::string name;
    const std::string out = FOut.toStdString();
    // A scaled save of many megapixels costs seconds (minutes under the
    // sanitizer) and proves nothing more: it is cancelled. One beyond what an
    // image may hold fails at once and is kept.
    if (FCommand == "BtSaveStereoZoom" && !Main->ImStereo()->Empty()) {
      const TPixelGraphic& st = *Main->ImStereo()->PixelGraphicNoWait();
      const long double z = Main->ImStereo()->ZoomFactor();
      const long double bytes = st.Width() * z * st.Height() * z * 3;
      if (bytes > 9e6L && bytes < 4.5e9L) {
        FNote += " save:cancel(large)";
        FRefused = true;
        return d->reject();
      }
    }
    if (c < 55) {
      name = out + "/s" + std::to_string(Uniform(0, 5)) + "." + Pick(kExt);
    } else if (c < 62) {
      name = FNotADir.toStdString() + "/s." + Pick(kExt);  // below a regular file
    } else if (c < 69) {
      name = out + "/missing/s." + Pick(kExt);  // a folder that does not exist
    } else if (c < 74) {
      name = out + "/adir";  // an existing folder
    } else if (c < 80) {
      name = out + "/s" + std::to_string(Uniform(0, 5)) + (Chance(50) ? ".xyz" : ".pcx");  // no writer
    } else {
      FNote += " save:cancel";
      return d->reject();
    }
    FNote += " save:" + name.substr(FRoot.path().size());
    FSaveName = name;
    // The file type chosen first (it rewrites a typed name's extension; the
    // name typed afterwards is what counts).
    if (auto* types = d->findChild<QComboBox*>("fileTypeCombo"); types && types->count() > 0 && Chance(30)) {
      Type(d, name);
      types->setCurrentIndex(Uniform(0, types->count() - 1));
      QApplication::processEvents();
    }
    Type(d, name);
    static_cast<QDialog*>(d)->accept();
  }

  void Keys(QLineEdit* edit, const QString& text) {
    edit->setFocus();
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Backspace);
    QTest::keyClicks(edit, text);
  }

  void AnswerConfig(TConfigDlg* d) {
    static const std::vector<QString> kQuality = {"", "0", "1", "35", "80", "100", "150", "-4", "abc"};
    static const std::vector<QString> kPercent = {"", "0", "1", "10", "50", "100", "250", "500", "-3", "abc",
                                                "99999999", "2147483647", "4294967296"};
    static const std::vector<QString> kPixel = {"", "0", "1", "64", "640", "2000", "-1", "x1", "99999999",
                                              "2147483647"};
    if (Chance(50)) Keys(d->EdQuality, Pick(kQuality));
    if (Chance(30)) d->TrackBar1->setValue(Uniform(1, 100));
    if (Chance(40)) QTest::mouseClick(Chance(50) ? d->RadioButton1 : d->RadioButton2, Qt::LeftButton);
    if (Chance(50)) Keys(d->EdPercent, Pick(kPercent));
    if (Chance(50)) Keys(d->EdPixel, Pick(kPixel));
    if (Chance(30)) {
      const int c = Uniform(0, 2);
      d->EdStereo3D->setText(c == 0 ? QString() : c == 1 ? FStubViewer : FRoot.path() + "/gone/viewer");
    }
    if (Chance(30)) d->CbStereo3D->setChecked(!d->CbStereo3D->isChecked());
    if (Chance(10)) {
      // Browsing opens a file dialog of its own, answered by the next poll.
      QTest::mouseClick(d->SpeedButton1, Qt::LeftButton);
    }
    const int c = Uniform(0, 2);
    FNote += c == 0 ? " settings:ok" : " settings:cancel";
    if (c == 0)
      QTest::mouseClick(d->BitBtn1, Qt::LeftButton);
    else if (c == 1)
      QTest::mouseClick(d->BitBtn2, Qt::LeftButton);
    else
      d->reject();
  }

  void AnswerFilter(TFilterDialogForm* d) {
    // A few moves of the track bars, the preview recomputed in between now and then.
    for (int n = Uniform(1, 4); n > 0; --n) {
      for (int k = 1; k <= 3; ++k) {
        TPGTrackBar* t = d->TrackBar(k);
        if (t && t->isVisible() && Chance(60)) t->setValue(Uniform(t->minimum(), t->maximum()));
      }
      if (Chance(20)) QTest::qWait(Uniform(1, 120));
    }
    if (d->RadioButton1() && d->RadioButton1()->isVisible() && Chance(30))
      (Chance(50) ? d->RadioButton1() : d->RadioButton2())->setChecked(true);
    if (d->CheckBox() && d->CheckBox()->isVisible() && Chance(30)) d->CheckBox()->toggle();
    // The preview workers get some time now and then.
    if (Chance(30)) QTest::qWait(Uniform(1, 60));
    const bool ok = Chance(60);
    FNote += ok ? " filter:ok" : " filter:cancel";
    QTest::mouseClick(ok ? d->OKButton() : d->CancelButton(), Qt::LeftButton);
  }

  // ---------------------------------------------------------- one action
  struct TCommand {
    const char* Name;
    bool Menu;  // a menu item (triggered as the menu does), else a tool button
  };

  void Step(long i) {
    FNote.clear();
    FBoxes.clear();
    FSeen.clear();
    FErrorShown = false;
    FRefused = false;
    FSaveName.clear();
    FLoadName.clear();
    FCommand.clear();
    const std::string what = Choose();
    Note(i, what);
    QElapsedTimer t;
    t.start();
    ExecuteChosen();
    Settle();
    const double ms = t.nsecsElapsed() / 1e6;
    FSlowest.insert({ms, "action " + std::to_string(i) + ": " + what + FNote});
    if (FSlowest.size() > 5) FSlowest.erase(FSlowest.begin());
    Note(i, what + FNote + (FBoxes.empty() ? "" : " boxes:" + std::to_string(FBoxes.size())));
    if (FVerbose) {
      TPGImage* v = Main->ActiveView();
      const TPixelGraphic* g = v->PixelGraphicNoWait();
      std::printf("  [%s %dx%d zoom %.3Lf shown %.3Lf] %s", v->objectName().toStdString().c_str(), g ? g->Width() : -1,
                  g ? g->Height() : -1, v->ZoomFactor(), v->CurrentZoomFactor(), GRing[i % kRing]);
    }
    Check(what);
  }

  // Lets posted events, deferred deletes and repaints run.
  void Settle() {
    QApplication::processEvents();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QApplication::processEvents();
  }

  enum TKind { kLoad, kButton, kMenu, kTab, kDrag, kClick, kMove, kPopup, kKey, kTick, kResize, kScroll, kViewKeys,
               kWheel, kDouble };

  // The design's buttons, not the tool bar's overflow button: whether that
  // shows depends on when the bar was laid out after a resize, and the walk
  // must not depend on timing.
  std::vector<QToolButton*> EnabledButtons() {
    std::vector<QToolButton*> out;
    TMain& m = *Main;
    for (QToolButton* b : {m.ToolButton1, m.RotateLeft, m.RotateRight, m.BtZoomIn, m.BtZoomOut, m.BtPan, m.BtLock,
                           m.BtLine, m.BtCut, m.BtSaveParms, m.BtStereo, m.BtStereoColor, m.BtElsa, m.BtMirror,
                           m.BtLiRe, m.BtReLi, m.BtLCD, m.BtSaveStereo, m.BtSaveStereoZoom, m.BtPrint, m.BtAutoAlign})
      if (b->isEnabled() && !b->isHidden()) out.push_back(b);
    return out;
  }
  // A button pushed off a narrow tool bar is chosen from its overflow menu.
  static void Push(QToolButton* b) {
    if (b->isVisible())
      QTest::mouseClick(b, Qt::LeftButton);
    else
      b->click();
  }
  std::vector<QAction*> EnabledItems() {
    std::vector<QAction*> out;
    TMain& m = *Main;
    for (QAction* a : {m.MILaden, m.MIlinks, m.MIRechts, m.MIIn, m.MIout, m.MIZoom100Menu, m.MI1, m.MI2, m.Mi3, m.MIAutomatischAusrichten,
                       m.MI4, m.MISpeichern, m.MIdrucken, m.Einstellungen1, m.Hilfe2, m.MIAbout, m.MIRueckgaengig,
                       m.MIWiederherstellen})
      if (a->isEnabled() && a->isVisible()) out.push_back(a);
    // The stereo entries sit in a submenu that opens only while it is enabled.
    if (m.MIberechnen->isEnabled())
      for (QAction* a : QList<QAction*>{m.RotgrnAnaglyphenbild1, m.FarbAnaglyphenbild1, m.FarbAnaglyphenbild2,
                                        m.FieldSequentialLCD1, m.StereoBildlinksrechts1, m.StereoBildrechtslinks1,
                                        m.StereobildfrELSA3DREVELATOR1, m.BilderVertauschen1} +
                            m.MoreStereoItems())
        if (a->isEnabled() && a->isVisible()) out.push_back(a);
    return out;
  }

  // Chooses the next action and returns its description; ExecuteChosen runs it.
  std::string Choose() {
    const int c = Uniform(0, 99);
    FKind = c < 5 ? kLoad : c < 33 ? kButton : c < 46 ? kMenu : c < 55 ? kTab : c < 73 ? kDrag : c < 82 ? kClick
          : c < 84 ? kMove : c < 91 ? kPopup : c < 92 ? kKey : c < 93 ? kTick : c < 94 ? kResize : c < 95 ? kScroll
          : c < 97 ? kViewKeys : c < 99 ? kWheel : kDouble;
    FButton = nullptr;
    FItem = nullptr;
    switch (FKind) {
      case kLoad:
        // "Bild laden" on a side's tab.
        FTab = Uniform(0, 1);
        return "load on tab " + std::to_string(FTab);
      case kButton: {
        auto b = EnabledButtons();
        if (b.empty()) return "no button";
        FButton = Pick(b);
        return "button " + FButton->objectName().toStdString();
      }
      case kMenu: {
        auto a = EnabledItems();
        if (a.empty()) return "no menu item";
        FItem = Pick(a);
        return "menu " + FItem->objectName().toStdString();
      }
      case kTab:
        FTab = Uniform(0, 2);
        return "tab " + std::to_string(FTab);
      case kDrag:
      case kClick:
      case kMove: {
        FCtrl = Chance(30);
        FPoints.clear();
        const QRect r = MouseArea();
        const int moves = FKind == kDrag ? Uniform(1, 5) : FKind == kMove ? Uniform(1, 3) : 0;
        for (int k = 0; k <= moves; ++k) {
          // Moves and releases of a drag may leave the view.
          const int spill = FKind == kDrag && k > 0 && Chance(15) ? 60 : 0;
          FPoints.push_back(QPoint(Uniform(r.left() - spill, r.right() + spill), Uniform(r.top() - spill, r.bottom() + spill)));
        }
        std::string s = FKind == kDrag ? "drag" : FKind == kClick ? "click" : "move";
        if (FCtrl) s += "+ctrl";
        for (QPoint p : FPoints) s += " " + std::to_string(p.x()) + "," + std::to_string(p.y());
        return s + " mode " + Mode();
      }
      case kPopup: {
        const QRect r = MouseArea();
        FPoints = {QPoint(Uniform(r.left(), r.right()), Uniform(r.top(), r.bottom()))};
        FPopupChoice = Uniform(0, 99);
        return "popup at " + std::to_string(FPoints[0].x()) + "," + std::to_string(FPoints[0].y());
      }
      case kKey:
        return "key F1";
      case kTick:
        return "wait for the timer";
      case kViewKeys: {
        static const std::vector<std::pair<Qt::Key, const char*>> kKeys = {
            {Qt::Key_Left, "Left"},     {Qt::Key_Right, "Right"}, {Qt::Key_Up, "Up"},         {Qt::Key_Down, "Down"},
            {Qt::Key_PageUp, "PgUp"},   {Qt::Key_PageDown, "PgDn"}, {Qt::Key_Home, "Home"},   {Qt::Key_End, "End"},
            {Qt::Key_Escape, "Esc"},    {Qt::Key_Delete, "Del"},  {Qt::Key_Return, "Enter"}, {Qt::Key_Space, "Space"},
            {Qt::Key_Plus, "+"},        {Qt::Key_Minus, "-"},     {Qt::Key_A, "A"}};
        FKeys.clear();
        std::string s = "keys";
        for (int k = Uniform(1, 3); k > 0; --k) {
          const auto& key = Pick(kKeys);
          FKeys.push_back({key.first, Chance(20) ? Qt::ControlModifier : Qt::NoModifier});
          s += std::string(" ") + (FKeys.back().second ? "Ctrl+" : "") + key.second;
        }
        return s;
      }
      case kWheel:
      case kDouble: {
        const QRect r = MouseArea();
        FPoints = {QPoint(Uniform(r.left(), r.right()), Uniform(r.top(), r.bottom()))};
        FWheel = Pick(std::vector<int>{-360, -120, 120, 360});
        FCtrl = Chance(25);
        return std::string(FKind == kWheel ? "wheel " + std::to_string(FWheel) : "double-click") +
               (FCtrl ? "+ctrl" : "") + " at " + std::to_string(FPoints[0].x()) + "," +
               std::to_string(FPoints[0].y()) + " mode " + Mode();
      }
      case kResize:
        FPoints = {QPoint(Uniform(200, 1000), Uniform(150, 800))};
        return "resize to " + std::to_string(FPoints[0].x()) + "x" + std::to_string(FPoints[0].y());
      case kScroll:
        FPoints = {QPoint(Uniform(0, 1000), Uniform(0, 1000))};
        return "scroll to " + std::to_string(FPoints[0].x()) + "/" + std::to_string(FPoints[0].y()) + " permille";
    }
    return "?";
  }

  std::string Mode() const {
    return Main->BtLock->isChecked() ? "point" : Main->BtLine->isChecked() ? "line" : Main->BtCut->isChecked() ? "crop" : "pan";
  }

  // Where the mouse goes: the picture box's visible part, else the view's client area.
  QWidget* MouseTarget() const {
    TPGImage* v = Main->ActiveView();
    // A picture box without area (a 1-pixel picture at a small zoom) cannot be hit.
    const bool hit = v->PicBox()->isVisible() && !v->PicBox()->visibleRegion().isEmpty();
    return hit ? static_cast<QWidget*>(v->PicBox()) : v->viewport();
  }
  QRect MouseArea() const {
    QWidget* t = MouseTarget();
    QRect r = t->visibleRegion().boundingRect();
    if (r.isEmpty()) r = QRect(QPoint(0, 0), t->size());
    if (r.isEmpty()) r = QRect(0, 0, 10, 10);
    return r;
  }

  void ExecuteChosen() {
    switch (FKind) {
      case kLoad:
        ClickTab(FTab);
        if (Main->ToolButton1->isEnabled()) Command("ToolButton1", [&] { Push(Main->ToolButton1); });
        break;
      case kButton:
        if (FButton) Command(FButton->objectName(), [&] { Push(FButton); });
        break;
      case kMenu:
        if (FItem) Command(FItem->objectName(), [&] { FItem->trigger(); });
        break;
      case kTab:
        ClickTab(FTab);
        Settle();
        CheckLoaded();
        break;
      case kDrag:
      case kClick:
      case kMove:
        Mouse();
        break;
      case kPopup:
        Popup();
        break;
      case kKey:
        QTest::keyClick(Main.get(), Qt::Key_F1);
        break;
      case kTick:
        Activate();
        QTest::qWait(110);
        break;
      case kResize:
        Main->resize(FPoints[0].x(), FPoints[0].y());
        break;
      case kViewKeys: {
        TPGImage* v = Main->ActiveView();
        v->setFocus();
        for (const auto& [key, mods] : FKeys) QTest::keyClick(v, key, mods);
        break;
      }
      case kWheel: {
        QWidget* t = MouseTarget();
        const QPoint global = t->mapToGlobal(FPoints[0]);
        QWheelEvent wheel(FPoints[0], global, QPoint(), QPoint(0, FWheel), Qt::NoButton,
                          FCtrl ? Qt::ControlModifier : Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(t, &wheel);
        break;
      }
      case kDouble: {
        // What the window system delivers: press, release, double click, release.
        const Qt::KeyboardModifiers mods = FCtrl ? Qt::ControlModifier : Qt::NoModifier;
        QTest::mousePress(MouseTarget(), Qt::LeftButton, mods, FPoints[0]);
        QTest::mouseRelease(MouseTarget(), Qt::LeftButton, mods, FPoints[0]);
        QWidget* t = MouseTarget();
        QMouseEvent dbl(QEvent::MouseButtonDblClick, FPoints[0], t->mapToGlobal(FPoints[0]), Qt::LeftButton,
                        Qt::LeftButton, mods);
        QApplication::sendEvent(t, &dbl);
        QTest::mouseRelease(MouseTarget(), Qt::LeftButton, mods, FPoints[0]);
        break;
      }
      case kScroll: {
        // Dragging the scroll bars' thumbs.
        TPGImage* v = Main->ActiveView();
        for (auto [bar, permille] : {std::pair{v->horizontalScrollBar(), FPoints[0].x()},
                                     std::pair{v->verticalScrollBar(), FPoints[0].y()}})
          bar->setValue(bar->minimum() + static_cast<int>(int64_t{bar->maximum() - bar->minimum()} * permille / 1000));
        break;
      }
    }
  }

  void Mouse() {
    QWidget* t = MouseTarget();
    const Qt::KeyboardModifiers mods = FCtrl ? Qt::ControlModifier : Qt::NoModifier;
    if (FKind == kMove) {
      for (QPoint p : FPoints) QTest::mouseMove(t, p);
      return;
    }
    const QPoint first = FPoints.front();
    QTest::mousePress(t, Qt::LeftButton, mods, first);
    for (size_t k = 1; k < FPoints.size(); ++k) QTest::mouseMove(t, FPoints[k]);
    // The press may have changed the view (a crop answered in between is
    // impossible here, but a repaint is not): the release goes where the
    // mouse is.
    FCropFrame = QRect();
    QTest::mouseRelease(MouseTarget(), Qt::LeftButton, mods, FPoints.back());
    if (!FCropFrame.isNull() && !FErrorShown) {
      const TPixelGraphic* g = Main->ActiveView()->PixelGraphicNoWait();
      ASSERT_TRUE(g);
      EXPECT_EQ(QSize(g->Width(), g->Height()), FCropFrame.size()) << "the crop is not the frame asked about";
    }
  }

  void Popup() {
    TPGImage* view = Main->ActiveView();
    QWidget* t = MouseTarget();
    QContextMenuEvent event(QContextMenuEvent::Mouse, FPoints[0], t->mapToGlobal(FPoints[0]));
    QApplication::sendEvent(t, &event);
    QApplication::processEvents();
    QMenu* menu = Main->PopupMenu1();
    if (!menu->isVisible()) {
      ADD_FAILURE() << "the popup menu did not open";
      return;
    }
    // The enabled state the popup sets.
    const bool has = !view->Empty();
    for (QAction* a : {Main->PI1, Main->PI2, Main->PI3, Main->MIZoom100, Main->MIBestFit, Main->MIUserZoom})
      EXPECT_EQ(a->isEnabled(), has) << a->objectName().toStdString();
    EXPECT_EQ(Main->MiELSAStereo->isEnabled(), Main->LastStereoMode() == 6 && Main->ActivePage() == Main->TabSheet3());
    std::vector<QAction*> items;
    for (QAction* a : menu->actions())
      if (!a->isSeparator() && a->isEnabled() && a->isVisible()) items.push_back(a);
    if (FPopupChoice < 10 || items.empty()) {
      FNote += " escape";
      QTest::keyClick(menu, Qt::Key_Escape);
      return;
    }
    QAction* a = items[static_cast<size_t>(FPopupChoice) % items.size()];
    FNote += " item " + a->objectName().toStdString();
    Command(a->objectName(), [&] { QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(a).center()); });
  }

  // Runs a command and checks what it did to the files.
  template <class F>
  void Command(const QString& name, F&& run) {
    const bool save = name == "BtSaveStereo" || name == "BtSaveStereoZoom" || name == "MISpeichern";
    const bool parms = name == "BtSaveParms";
    static const QStringList kCompute = {"BtStereo", "BtStereoColor", "BtElsa", "BtMirror", "BtLiRe", "BtReLi", "BtLCD",
                                         "RotgrnAnaglyphenbild1", "FarbAnaglyphenbild1", "FarbAnaglyphenbild2",
                                         "FieldSequentialLCD1", "StereoBildlinksrechts1", "StereoBildrechtslinks1",
                                         "StereobildfrELSA3DREVELATOR1"};
    bool moreModes = false;
    for (QAction* a : Main->MoreStereoItems()) moreModes = moreModes || a->objectName() == name;
    if (kCompute.contains(name) || moreModes) ++FComputations;
    const QStringList folders{FIn, FOut};
    const TSnapshot before = Snapshot(folders, save);
    std::string parmImage;
    TSideAlignment side;
    if (parms) {
      const bool left = Main->ActivePage() == Main->TabSheet1();
      parmImage = (left ? Main->ImLinks() : Main->ImRechts())->FileName();
      side = left ? Main->LeftSide() : Main->RightSide();
    }
    // A load that fails must leave the tab as it was.
    TPGImage* shown = Main->ActiveView();
    const TPixelGraphic* shownPicture = shown->PixelGraphicNoWait();
    const std::string shownName = shown->FileName();
    const TSideAlignment shownSide = shown == Main->ImRechts() ? Main->RightSide() : Main->LeftSide();
    const TTiltLines lines = TiltLinesGiven(Main->Alignment());
    const bool stereoTab = Main->ActivePage() == Main->TabSheet3();
    const TPixelGraphic* stereo = Main->ImStereo()->PixelGraphicNoWait();
    const int sw = stereo ? stereo->Width() : -1, sh = stereo ? stereo->Height() : -1;
    const long double zoom = Main->ImStereo()->ZoomFactor();
    const bool scaled = name == "BtSaveStereoZoom";
    FCommand = name;

    try {
      run();
    } catch (const std::exception& e) {
      ADD_FAILURE() << "an exception escaped " << name.toStdString() << ": " << e.what();
    } catch (...) {
      ADD_FAILURE() << "an exception escaped " << name.toStdString();
    }
    Settle();
    if (name == "ToolButton1" || name == "MILaden") {
      ++FLoads;
      if ((FErrorShown || FRefused) && shownPicture && shown != Main->ImStereo()) {
        EXPECT_EQ(shown->PixelGraphicNoWait(), shownPicture) << "a failed load lost the picture";
        EXPECT_EQ(shown->FileName(), shownName);
        const TSideAlignment& now = shown == Main->ImRechts() ? Main->RightSide() : Main->LeftSide();
        EXPECT_EQ(Values(now), Values(shownSide)) << "a failed load changed the points";
      }
    }
    // A tilt line on one side only is named after the computation.
    if (kCompute.contains(name) && !FErrorShown && (lines == tlLeftOnly || lines == tlRightOnly)) {
      EXPECT_EQ(Main->StatusText().toStdString(),
                lines == tlLeftOnly ? "Verkantung nicht ausgeglichen: im rechten Bild fehlt die Verkantungslinie."
                                    : "Verkantung nicht ausgeglichen: im linken Bild fehlt die Verkantungslinie.");
      ++FOneLine;
    }
    CheckLoaded();

    const TSnapshot after = Snapshot(folders, save);
    std::set<QString> changed = Changed(before, after);
    if (parms && !FErrorShown) {
      changed.erase(QString::fromStdString(ParameterFileName(parmImage)));
      // The file holds the side's values.
      EXPECT_EQ(Values(ReadParameters(parmImage)), Values(side));
    }
    if (save && !FSaveName.empty()) {
      const QString target = QFileInfo(QString::fromStdString(FSaveName)).filePath();
      const bool written = changed.count(target) > 0;
      changed.erase(target);
      const bool expectWritten = stereoTab && stereo && !FErrorShown && !FRefused;
      if (written) {
        EXPECT_TRUE(expectWritten) << "a save that failed or was refused changed " << target.toStdString()
                                   << " (stereo tab " << stereoTab << ", width " << sw << ", error " << FErrorShown
                                   << ", refused " << FRefused << ")";
        TPixelGraphic g;
        try {
          g.LoadFromFile(FSaveName);
        } catch (const std::exception& e) {
          ADD_FAILURE() << "the saved file does not load: " << FSaveName << ": " << e.what();
        }
        const int ew = scaled ? static_cast<int>(sw * zoom) : sw, eh = scaled ? static_cast<int>(sh * zoom) : sh;
        EXPECT_EQ(g.Width(), ew) << FSaveName;
        EXPECT_EQ(g.Height(), eh) << FSaveName;
        // A lossless format given a 24-bit picture holds its very pixels.
        static const QStringList kLossless = {"bmp", "png", "tga", "ppm", "tif"};
        const TPixelGraphic* now = Main->ImStereo()->PixelGraphicNoWait();
        if (!scaled && now && now->BitCount() == bc24Bit && g.BitCount() == bc24Bit && g.Width() == now->Width() &&
            g.Height() == now->Height() && kLossless.contains(QFileInfo(target).suffix().toLower())) {
          for (int y = 0; y < g.Height(); ++y)
            if (std::memcmp(g.ScanLine(y), now->ScanLine(y), static_cast<size_t>(g.Width()) * 3) != 0) {
              ADD_FAILURE() << "the saved file differs from the picture in row " << y << ": " << FSaveName;
              break;
            }
        }
        ++FSavesWritten;
        // Saved pictures come back as photographs, while they are small.
        if (g.Width() <= 1280 && g.Height() <= 960) FWritten.push_back(FSaveName);
      } else {
        EXPECT_FALSE(expectWritten) << "a save reported no error and wrote nothing: " << FSaveName;
        ++FSavesFailed;
      }
    }
    for (const QString& c : changed) ADD_FAILURE() << name.toStdString() << " changed " << c.toStdString();
  }

  // After a load, the side of the active tab holds its photograph's parameter
  // file (a cancelled dialog keeps the points the side had).
  void CheckLoaded() {
    if (FLoadName.empty() || FErrorShown || FRefused || Main->ActivePage() == Main->TabSheet3()) return;
    const bool left = Main->ActivePage() == Main->TabSheet1();
    TPGImage* v = left ? Main->ImLinks() : Main->ImRechts();
    if (v->Empty()) return;
    EXPECT_EQ(Values(ReadParameters(v->FileName())), Values(left ? Main->LeftSide() : Main->RightSide()))
        << "after loading " << v->FileName();
  }

  // ---------------------------------------------------------- invariants
  void Check(const std::string& what) {
    SCOPED_TRACE(what);
    QWidget* modal = QApplication::activeModalWidget();
    EXPECT_EQ(modal, nullptr) << "a modal window is left open: " << (modal ? modal->metaObject()->className() : "");
    if (QWidget* popup = QApplication::activePopupWidget()) {
      ADD_FAILURE() << "a popup is left open: " << popup->objectName().toStdString();
      popup->close();
    }
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr) << "the hourglass stays";
    while (QGuiApplication::overrideCursor()) QGuiApplication::restoreOverrideCursor();
    EXPECT_TRUE(Main->isVisible());
    EXPECT_TRUE(Main->isEnabled());
    EXPECT_FALSE(Main->Form2()->isVisible()) << "the progress window stays";
    if (FKind == kDrag || FKind == kClick || FKind == kDouble) {
      EXPECT_FALSE(Main->LineDragging()) << "the tilt line still follows the mouse";
    }
    // No display copy beyond what the screen can use: an enlarged copy stays
    // within the view's bound, a reduced one within the picture.
    for (TPGImage* v : {Main->ImLinks(), Main->ImRechts(), Main->ImStereo()}) {
      const TPixelGraphic* copy = v->PaintPixelGraphic();
      const TPixelGraphic* image = v->PixelGraphicNoWait();
      if (copy && image) {
        EXPECT_LE(int64_t{copy->Width()} * copy->Height(),
                  std::max(TPGImage::MaxEnlargedPaintPixels, int64_t{image->Width()} * image->Height()))
            << v->objectName().toStdString() << " display copy " << copy->Width() << "x" << copy->Height();
      }
    }
    // A painted photograph arms the tilt-line animation: no long operation
    // may be left reported as running.
    if (Main->ActivePage() != Main->TabSheet3() && !Main->ActiveView()->Empty() &&
        !Main->ActiveView()->PicBox()->visibleRegion().isEmpty()) {
      Main->ActiveView()->PicBox()->repaint();
      EXPECT_TRUE(Main->Timer1()->isActive())
          << "the tilt-line animation stays paused; picture box " << Main->ActiveView()->PicBox()->width() << "x"
          << Main->ActiveView()->PicBox()->height() << ", picture "
          << Main->ActiveView()->PixelGraphicNoWait()->Width() << "x" << Main->ActiveView()->PixelGraphicNoWait()->Height();
    }
    // The window answers: a posted call comes back.
    bool answered = false;
    QTimer::singleShot(0, Main.get(), [&] { answered = true; });
    QApplication::processEvents();
    EXPECT_TRUE(answered);
    TMain& m = *Main;
    // The enabled state follows the tab and the views' pictures, whatever the
    // last command did (a failed load too).
    const bool left = m.ActivePage() == m.TabSheet1(), right = m.ActivePage() == m.TabSheet2();
    const bool stereoTab = !left && !right;
    const bool both = !m.ImLinks()->Empty() && !m.ImRechts()->Empty();
    const bool active = stereoTab ? !m.ImStereo()->Empty() : !m.ActiveView()->Empty();
    auto expect = [](QObject* c, bool enabled) {
      const bool is = qobject_cast<QAction*>(c) ? static_cast<QAction*>(c)->isEnabled() : static_cast<QWidget*>(c)->isEnabled();
      EXPECT_EQ(is, enabled) << c->objectName().toStdString() << " enabled";
    };
    for (QObject* c : std::initializer_list<QObject*>{m.ToolButton1, m.MILaden}) expect(c, !stereoTab);
    for (QObject* c : std::initializer_list<QObject*>{m.BtStereo, m.BtMirror, m.BtStereoColor, m.BtLCD, m.BtLiRe, m.BtReLi,
                                                      m.BtElsa, m.MIberechnen})
      expect(c, both);
    for (QObject* c : std::initializer_list<QObject*>{m.BtPan, m.BtCut, m.MI1, m.MI4, m.RotateLeft, m.RotateRight,
                                                      m.BtZoomIn, m.BtZoomOut, m.MIlinks, m.MIRechts, m.MIIn, m.MIout})
      expect(c, active);
    for (QObject* c : std::initializer_list<QObject*>{m.BtLock, m.BtLine, m.MI2, m.Mi3, m.BtSaveParms})
      expect(c, active && !stereoTab);
    for (QObject* c : std::initializer_list<QObject*>{m.BtSaveStereo, m.BtSaveStereoZoom, m.MISpeichern, m.BtPrint,
                                                      m.MIdrucken})
      expect(c, active && stereoTab);
    expect(m.MIZoom100Menu, active);
    expect(m.MIRueckgaengig, m.History().CanUndo());
    expect(m.MIWiederherstellen, m.History().CanRedo());
  }

  // Walk state.
  std::mt19937 FRng;
  QTemporaryDir FRoot;
  QString FIn, FOut, FNotADir, FStubViewer;
  std::unique_ptr<TEnv> FTmpDir;  // TMPDIR inside the walk's folder while it runs
  std::unique_ptr<TEnv> FRuntimeDir;  // and XDG_RUNTIME_DIR, where the stereo viewer's picture goes
  std::vector<std::string> FGood, FDamaged, FWritten;
  bool FVerbose = false;
  std::map<std::string, int> FBoxTexts;
  std::multimap<double, std::string> FSlowest;
  TKind FKind = kTick;
  QToolButton* FButton = nullptr;
  QAction* FItem = nullptr;
  int FTab = 0;
  bool FCtrl = false;
  std::vector<QPoint> FPoints;
  int FPopupChoice = 0;
  int FWheel = 0;
  std::vector<std::pair<Qt::Key, Qt::KeyboardModifiers>> FKeys;
  std::map<QWidget*, int> FSeen;
  bool FAnswering = false;
  std::string FNote;
  std::vector<std::string> FBoxes;
  bool FErrorShown = false, FRefused = false;
  QPointer<QWidget> FAnsweringWidget;
  std::string FSaveName, FLoadName;
  QString FCommand;
  int FLoads = 0, FSavesWritten = 0, FSavesFailed = 0, FComputations = 0, FCrops = 0, FErrors = 0;
  QRect FCropFrame;  // the frame of a crop agreed to during the action
  int FOneLine = 0;  // computations with a tilt line on one side only
  bool FQuitting = false;
};

} // namespace

// The walk CI runs (and the long runs, with other seeds and lengths).
TEST_F(Walk, FromEnvironment) {
  Run(static_cast<unsigned>(EnvInt("ZWILLO_WALK_SEED", 20261208)), EnvInt("ZWILLO_WALK_ACTIONS", 2000));
}

// Seeds that found faults, each with the length that reproduces it.

// A best fit of a 1 x 12 stereo picture (zoom 31.7) kept for the next
// computation's 1280 x 480 picture: the display copy was 40533 x 15200.
TEST_F(Walk, Seed1ZoomKeptForLargePicture) { Run(1, 389); }

// A missing file chosen for the right side emptied the view, and the commands
// needing both pictures stayed enabled (the load ended before the enabled
// state was refreshed).
TEST_F(Walk, Seed20261208FailedLoadKeepsCommands) { Run(20261208, 15); }

// A zoom that makes the picture box billions of pixels wide: the picture
// box's coordinates wrap as 32-bit numbers, and the selection frame and its
// handles were computed with overflowing signed arithmetic (a sanitizer
// report in a walk with seed 3).
TEST_F(Walk, SelectionAtAWrappingZoom) {
  InstallHooks();
  auto g = Gradient(400, 300);
  LoadSide(0, WritePicture("pic.bmp", *g));
  Click("BtCut");
  TPGImage* v = Main->ImLinks();
  for (long double zoom : {21474836.47L, 5368709.12L, 715827882.0L, 10737418.0L}) {
    v->SetStretch(sZoomKAR);
    v->SetZoomFactor(zoom);
    for (QRect r : {QRect(10, 10, 300, 200), QRect(0, 0, 400, 300), QRect(1, 2, 3, 4), QRect(199, 149, 200, 150)}) {
      v->SetSelectionRect(r.x(), r.y(), r.width(), r.height());
      v->SetSelection(true);
      QApplication::processEvents();
      for (QPoint p : {QPoint(5, 5), QPoint(200, 100)}) {
        QTest::mousePress(v->PicBox(), Qt::LeftButton, {}, p);
        QTest::mouseMove(v->PicBox(), p + QPoint(30, 20));
        QTest::mouseRelease(v->PicBox(), Qt::LeftButton, {}, p + QPoint(30, 20));
      }
      v->repaint();
    }
  }
  EXPECT_FALSE(v->Empty());
}
