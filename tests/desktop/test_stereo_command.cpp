// The stereo command through the window: results against the core's, the
// stereo tab, the progress reports and the failure paths.
#include "mainform_test_util.h"

#include <cstring>

#include <QLabel>
#include <QProgressBar>

#include "app/core/compose.h"
#include "app/desktop/forms/progressform.h"

using namespace desktoptest;

namespace {

bool SamePixels(TPixelGraphic& a, TPixelGraphic& b) {
  if (a.Width() != b.Width() || a.Height() != b.Height() || a.BitCount() != b.BitCount()) return false;
  for (int y = 0; y < a.Height(); ++y)
    if (std::memcmp(a.ScanLine(y), b.ScanLine(y), static_cast<size_t>(a.Width()) * 3) != 0) return false;
  return true;
}

// Caps new pixel memory for the lifetime of the object.
struct TMemoryCap {
  explicit TMemoryCap(int64_t bytes) : FOld(PGMaxImageBytes) { PGMaxImageBytes = bytes; }
  ~TMemoryCap() { PGMaxImageBytes = FOld; }
  int64_t FOld;
};

// Records what the progress window shows each time it is painted.
class TProgressLog : public QObject {
public:
  explicit TProgressLog(TMain& main) : FMain(main) { main.Form2()->Panel2->installEventFilter(this); }
  std::vector<std::string> Entries;

protected:
  bool eventFilter(QObject*, QEvent* event) override {
    // Paints before the command's first report show the window as it was.
    if (event->type() == QEvent::Paint && !FMain.StatusText().isEmpty()) {
      const std::string entry = FMain.Form2()->Panel2->text().toStdString() + " " +
                                std::to_string(FMain.Form2()->ProgressBar1->value()) + " | " +
                                FMain.StatusText().toStdString();
      if (Entries.empty() || Entries.back() != entry) Entries.push_back(entry);
    }
    return false;
  }

private:
  TMain& FMain;
};

} // namespace

using StereoCommand = MainWindowTest;

// All seven modes from the sample pair (with its tilt lines) through the tool
// bar, each compared pixel for pixel with the core's result for the same
// alignment; the stereo tab carries the mode's name, the photographs stay,
// and no earlier result stays in memory.
TEST_F(StereoCommand, SevenModesMatchTheCore) {
  LoadSamplePair();
  ASSERT_FALSE(Main->ImRechts()->Empty());
  ASSERT_GT(Main->RightSide().Line.X2, 0); // the parameter files were read
  auto left = Main->ImLinks()->CopyPixelGraphic();
  auto right = Main->ImRechts()->CopyPixelGraphic();
  const struct {
    const char* button;
    int mode;
  } modes[] = {{"BtStereo", 0}, {"BtMirror", 1}, {"BtStereoColor", 2}, {"BtLCD", 3},
               {"BtLiRe", 4},   {"BtReLi", 5},   {"BtElsa", 6}};
  for (const auto& m : modes) {
    ClickTab(0);
    Click(m.button);
    EXPECT_EQ(Main->LastStereoMode(), m.mode);
    EXPECT_EQ(Main->PageControl1()->currentWidget(), Main->TabSheet3());
    EXPECT_EQ(Main->PageControl1()->tabText(2).toStdString(), StereoModeCaption(m.mode));
    EXPECT_FALSE(Main->Form2()->isVisible());
    EXPECT_EQ(Main->StatusText(), "Fertig.");
    // The previous stereo picture is not kept once the new one is shown.
    EXPECT_TRUE(Main->WorkImage().Empty()) << m.button;

    TPixelGraphic work;
    TStereoResult expected = ComposePictures(m.mode, *left, *right, Main->Alignment(), work);
    ASSERT_TRUE(expected.Image);
    EXPECT_TRUE(SamePixels(*Main->ImStereo()->PixelGraphic(), *expected.Image)) << m.button;
  }
  EXPECT_TRUE(SamePixels(*Main->ImLinks()->PixelGraphic(), *left));
  EXPECT_TRUE(SamePixels(*Main->ImRechts()->PixelGraphic(), *right));
  // Mode 6 hands its result to the viewer, which is not set here.
  EXPECT_EQ(Messages, std::vector<std::string>{"Hinweis: ELSA Stereo Viewer nicht verfügbar.\nBitte überprüfen Sie "
                                               "Ihre Einstellungen (Menü Datei - Einstellungen...)"});
}

// The progress window and the status bar show the reports in order while the
// command runs; the last one, "Fertig.", is written into both and left to the
// event loop, since the progress window is hidden right after it.
TEST_F(StereoCommand, ProgressReportsInOrder) {
  LoadSamplePair();
  TProgressLog log(*Main);
  auto finished = [this] {
    EXPECT_EQ(Main->Form2()->Panel2->text(), "Fertig.");
    EXPECT_EQ(Main->Form2()->ProgressBar1->value(), 100);
    EXPECT_EQ(Main->StatusText(), "Fertig.");
  };
  Click("BtStereo"); // with the tilt lines of the parameter files
  EXPECT_EQ(log.Entries, (std::vector<std::string>{
                             "Verkantung ausgleichen 0 | Verkantung ausgleichen",
                             "Stereobild berechnen 30 | Stereobild berechnen",
                             "Stereobild berechnen 60 | Stereobild berechnen",
                             "Stereobild berechnen 80 | Stereobild berechnen",
                         }));
  finished();
  log.Entries.clear();
  ClickTab(0); // clears the status text
  Main->RightSide().Line = {};
  Main->LeftSide().Line = {};
  Click("BtElsa");
  EXPECT_EQ(log.Entries, (std::vector<std::string>{"Stereobild berechnen 0 | Stereobild berechnen"}));
  finished();
}

// A failed tilt compensation leaves the last mode; a failed worker takes the
// new one. Either way the progress window closes, the hourglass goes and the
// error is shown; a failed ELSA computation hands nothing to the viewer (the
// stereo view still holds the earlier picture), a successful one does.
TEST_F(StereoCommand, FailuresInTiltAndComposition) {
  LoadSamplePair();
  int launched = 0;
  Main->LaunchELSAViewer = [&](TMain&) { ++launched; };
  Click("BtLiRe");
  ASSERT_EQ(Main->LastStereoMode(), 4);
  auto before = Main->ImStereo()->CopyPixelGraphic();
  const int64_t photo = int64_t(1200) * 900 * 3;

  ClickTab(0);
  {
    TMemoryCap cap(photo / 2); // the turned copy cannot be made
    Click("BtStereo");
  }
  EXPECT_EQ(Main->LastStereoMode(), 4);
  EXPECT_EQ(Main->PageControl1()->tabText(2), "Stereobild links-rechts");
  ASSERT_EQ(Messages.size(), 1u);
  EXPECT_FALSE(Main->Form2()->isVisible());
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
  EXPECT_EQ(Main->PageControl1()->currentWidget(), Main->TabSheet1());

  {
    TMemoryCap cap(photo + photo / 2); // the turn fits, the mirror pair does not
    Click("BtMirror");
  }
  EXPECT_EQ(Main->LastStereoMode(), 1);
  EXPECT_EQ(Main->PageControl1()->tabText(2), "Spiegel-Stereobild");
  EXPECT_EQ(Messages.size(), 2u);
  EXPECT_EQ(Main->PageControl1()->currentWidget(), Main->TabSheet1());
  EXPECT_TRUE(SamePixels(*Main->ImStereo()->PixelGraphic(), *before));
  EXPECT_EQ(launched, 0);

  {
    TMemoryCap cap(photo + photo / 2);
    Click("BtElsa");
  }
  EXPECT_EQ(Main->LastStereoMode(), 6);
  EXPECT_EQ(Messages.size(), 3u);
  EXPECT_EQ(launched, 0);
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
  ClickTab(0);
  Click("BtElsa");
  EXPECT_EQ(launched, 1);
  EXPECT_EQ(Messages.size(), 3u);
}

// Points far outside the pictures give a negative common width: the library
// refuses the size, and the command reports it after taking the mode.
TEST_F(StereoCommand, NegativeCommonAreaIsReported) {
  LoadSide(0, WritePicture("l.bmp", *Gradient(40, 30)));
  LoadSide(1, WritePicture("r.bmp", *Gradient(40, 30)));
  Main->RightSide().Point = {5000, 1};
  Main->LeftSide().Point = {1, 1};
  Click("BtStereoColor");
  EXPECT_EQ(Main->LastStereoMode(), 2);
  ASSERT_EQ(Messages.size(), 1u);
  EXPECT_TRUE(Main->ImStereo()->Empty());
}
