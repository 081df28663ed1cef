// Stereo files in the window, as a user works with them: an MPO or JPS opened
// on either photograph tab fills both, damaged pair files leave the tabs
// alone, the sides' parameters are saved beside the pair and come back with
// it, and the aligned pair is saved as MPO or JPS exactly as zwillo-cli
// saves it.
#include "mainform_test_util.h"

#include <array>
#include <atomic>
#include <cstring>
#include <fstream>
#include <iterator>

#include <QFile>
#include <QProcess>
#include <QThread>
#include <QTabWidget>

#include "app/core/paramfile.h"
#include "app/core/stereofile.h"
#include "app/desktop/forms/progressform.h"
#include "pgraphic/formats/settings.h"

using namespace desktoptest;

namespace {

std::array<int32_t, 8> Values(const TSideAlignment& s) {
  return {s.Point.X, s.Point.Y, s.TurnPoint.X, s.TurnPoint.Y, s.Line.X1, s.Line.Y1, s.Line.X2, s.Line.Y2};
}

// Every pixel alike (and the size).
bool Same(const TPixelGraphic& a, const TPixelGraphic& b) {
  if (a.Width() != b.Width() || a.Height() != b.Height() || a.BitCount() != b.BitCount()) return false;
  const size_t bytes = (static_cast<size_t>(a.Width()) * a.BitCountNum() + 7) / 8;
  for (int y = 0; y < a.Height(); ++y)
    if (std::memcmp(a.ScanLine(y), b.ScanLine(y), bytes) != 0) return false;
  return true;
}

std::unique_ptr<TPixelGraphic> Load(const std::string& name, int index) {
  auto g = std::make_unique<TPixelGraphic>();
  g->LoadFileImage(name, index);
  return g;
}

// A picture other than Gradient's: stripes and a diagonal ramp.
std::unique_ptr<TPixelGraphic> Stripes(int w, int h) {
  auto g = std::make_unique<TPixelGraphic>();
  g->SetSize(w, h, bc24Bit);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) g->SetPixels(x, y, RGBColor((x / 8 % 2) * 200, (x + y) * 2 & 255, 90));
  return g;
}

std::string ReadAll(const std::string& name) {
  std::ifstream in(name, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}
void WriteAll(const std::string& name, const std::string& bytes) {
  std::ofstream(name, std::ios::binary | std::ios::trunc) << bytes;
}

class StereoFiles : public MainWindowTest {
protected:
  std::string Path(const char* name) const { return Dir().toStdString() + "/" + name; }

  // An MPO of two views of different sizes.
  std::string MakeMPO(const char* name) {
    SaveStereoPair(*Gradient(96, 72), *Stripes(90, 76), Path(name));
    return Path(name);
  }

  const TPixelGraphic* Shown(int side) { return (side == 0 ? Main->ImLinks() : Main->ImRechts())->PixelGraphicNoWait(); }
  QString TabTip(int side) { return Main->PageControl1()->tabToolTip(side); }

  // Both tabs show the pair of file as a fresh decode of it gives it.
  void ExpectPairShown(const std::string& file) {
    for (int side : {0, 1}) {
      ASSERT_NE(Shown(side), nullptr);
      EXPECT_TRUE(Same(*Shown(side), *Load(file, side))) << side;
      EXPECT_EQ((side == 0 ? Main->ImLinks() : Main->ImRechts())->FileName(), file);
    }
    const QString shown = QDir::toNativeSeparators(QString::fromStdString(file));
    EXPECT_EQ(TabTip(0), shown + " (links)");
    EXPECT_EQ(TabTip(1), shown + " (rechts)");
  }

  // The pair save command from the Datei menu, its dialog answered with name.
  void SavePair(const std::string& name) {
    AnswerOpenDialog(name);
    Action("MIStereopaarSpeichern")->trigger();
    QApplication::processEvents();
  }
};

} // namespace

TEST_F(StereoFiles, APairFileOnEitherTabFillsBothWithTheirParameterFiles) {
  const std::string mpo = MakeMPO("haus.mpo");
  TSideAlignment left, right;
  left.Point = {40, 30};
  left.Line = {2, 60, 90, 61};
  right.Point = {35, 33};
  right.TurnPoint = {80, 20};
  WritePairParameters(mpo, false, left);
  WritePairParameters(mpo, true, right);
  // A photograph of its own on the left tab, turned: a step to undo.
  LoadSide(0, WritePicture("eins.png", *Gradient(40, 30)));
  Click("RotateRight");
  ASSERT_TRUE(Action("MIRueckgaengig")->isEnabled());
  EXPECT_EQ(TabTip(0), QString::fromStdString(Path("eins.png")));

  // The MPO on the right tab (empty: its dialog opens at once).
  LoadSide(1, mpo);
  EXPECT_EQ(DialogTitle, "Rechtes Bild");
  ExpectPairShown(mpo);
  EXPECT_EQ(Main->PageControl1()->currentWidget(), Main->TabSheet2());
  EXPECT_EQ(Values(Main->LeftSide()), Values(left));
  EXPECT_EQ(Values(Main->RightSide()), Values(right));
  EXPECT_FALSE(Action("MIRueckgaengig")->isEnabled()) << "the replaced photograph's turn is gone";
  EXPECT_TRUE(Find("BtStereo")->isEnabled());

  // A JPS by "Bild laden" on the left tab: both tabs again; it has no
  // parameter files, so no points.
  SaveStereoPair(*Stripes(64, 48), *Gradient(64, 48), Path("karte.jps"));
  LoadSide(0, Path("karte.jps"));
  ExpectPairShown(Path("karte.jps"));
  EXPECT_EQ(Values(Main->LeftSide()), Values(TSideAlignment{}));
  EXPECT_EQ(Values(Main->RightSide()), Values(TSideAlignment{}));
  EXPECT_TRUE(Messages.empty()) << Messages.front();
}

TEST_F(StereoFiles, DamagedPairFiles) {
  const std::string good = MakeMPO("gut.mpo");
  const std::string bytes = ReadAll(good);
  const size_t second = bytes.find("\xFF\xD8\xFF", 2);
  ASSERT_NE(second, std::string::npos);
  // A question from a thread other than the window's is answered Cancel
  // unseen, as the program's message boxes do; the window's are answered OK.
  std::atomic<int> unattended{0};
  platform::SetMessageBoxHook([&](const std::string& text, const std::string& caption, platform::TMsgButtons,
                                  platform::TMsgIcon) {
    if (QThread::currentThread() != qApp->thread()) return ++unattended, static_cast<int>(platform::mrCancel);
    Messages.push_back(caption + ": " + text);
    return static_cast<int>(platform::mrOk);
  });

  // The right view's headers destroyed: an error box, and both tabs keep
  // their photographs, names, points and edits.
  std::string broken = bytes;
  std::memset(&broken[second + 2], 0, 400);
  WriteAll(Path("kaputt.mpo"), broken);
  ASSERT_TRUE(HoldsStereoPair(Path("kaputt.mpo")));
  const std::string one = WritePicture("eins.png", *Gradient(40, 30));
  const std::string two = WritePicture("zwei.png", *Stripes(44, 30));
  LoadSide(0, one);
  LoadSide(1, two);
  Click("RotateLeft");
  Main->LeftSide().Point = {7, 8};
  const TPixelGraphic* const before[2] = {Shown(0), Shown(1)};
  Messages.clear();
  LoadSide(1, Path("kaputt.mpo"));
  ASSERT_FALSE(Messages.empty());
  EXPECT_EQ(Messages.back().rfind("Zwillo: ", 0), 0u) << Messages.back();
  EXPECT_EQ(Shown(0), before[0]);
  EXPECT_EQ(Shown(1), before[1]);
  EXPECT_EQ(Main->ImLinks()->FileName(), one);
  EXPECT_EQ(Main->ImRechts()->FileName(), two);
  EXPECT_EQ(TabTip(1), QString::fromStdString(two));
  EXPECT_EQ(Main->LeftSide().Point.X, 7);
  EXPECT_TRUE(Action("MIRueckgaengig")->isEnabled());

  // The right view cut short: its decoder's warning cannot be asked on the
  // thread that decodes it, so the pair is read again where it is asked, and
  // it loads.
  WriteAll(Path("kurz.mpo"), bytes.substr(0, bytes.size() - 200));
  unattended = 0;
  Messages.clear();
  LoadSide(1, Path("kurz.mpo"));
  EXPECT_EQ(unattended.load(), 1);
  ASSERT_EQ(Messages.size(), 1u);
  EXPECT_EQ(Messages[0].rfind("JPG ", 0), 0u) << Messages[0];
  ExpectPairShown(Path("kurz.mpo"));
}

TEST_F(StereoFiles, SideParametersAreSavedBesideThePairAndComeBackWithIt) {
  const std::string mpo = MakeMPO("haus.mpo");
  LoadSide(0, mpo);
  TSideAlignment want[2];
  want[0].Point = {50, 40};
  want[0].Line = {3, 10, 80, 12};
  want[1].Point = {45, 41};
  want[1].Line = {4, 11, 85, 9};
  for (int side : {0, 1}) {
    ClickTab(side);
    (side == 0 ? Main->LeftSide() : Main->RightSide()) = want[side];
    Click("BtSaveParms");
  }
  EXPECT_TRUE(QFile::exists(QString::fromStdString(Path("haus_l.3DF"))));
  EXPECT_TRUE(QFile::exists(QString::fromStdString(Path("haus_r.3DF"))));
  EXPECT_FALSE(QFile::exists(QString::fromStdString(Path("haus.3DF"))));

  // Loaded again from the right tab: both sides come back.
  Main->Alignment() = {};
  LoadSide(1, mpo);
  EXPECT_EQ(Values(Main->LeftSide()), Values(want[0]));
  EXPECT_EQ(Values(Main->RightSide()), Values(want[1]));

  // A photograph of its own on the left: its own file from now on; the
  // right side still belongs to the pair.
  LoadSide(0, WritePicture("eins.png", *Gradient(40, 30)));
  EXPECT_EQ(Main->ParameterFileOf(Main->ImLinks()), Path("eins.3DF"));
  EXPECT_EQ(Main->ParameterFileOf(Main->ImRechts()), Path("haus_r.3DF"));
}

TEST_F(StereoFiles, TheAlignedPairIsSavedAsTheCommandLineSavesIt) {
  QAction* command = Action("MIStereopaarSpeichern");
  const std::string left = WritePicture("l.png", *Gradient(120, 90));
  const std::string right = WritePicture("r.png", *Stripes(110, 96));
  LoadSide(0, left);
  EXPECT_FALSE(command->isEnabled());
  LoadSide(1, right);
  ClickTab(2);
  EXPECT_TRUE(command->isEnabled());
  TPairAlignment& a = Main->Alignment();
  a.Left.Point = {60, 50};
  a.Right.Point = {52, 47};
  a.Left.Line = {5, 40, 115, 40};
  a.Right.Line = {5, 38, 105, 45};

  // Chosen with the keys (Alt+D, A: a letter of its own in the menu). The
  // type chosen by default (MPO) supplies the missing extension; a JPS by its
  // typed name; a typed extension of another type keeps it and gets the
  // chosen type's behind it.
  QString letters;
  for (QAction* item : Main->findChild<QMenu*>("Datei1")->actions()) {
    const qsizetype amp = item->text().indexOf('&');
    if (amp >= 0) letters += item->text().at(amp + 1).toLower();
  }
  for (QChar c : letters) EXPECT_EQ(letters.count(c), 1) << letters.toStdString();
  EXPECT_TRUE(letters.contains('a'));
  QApplication::setActiveWindow(Main.get());
  ASSERT_TRUE(QTest::qWaitForWindowActive(Main.get()));
  QTest::keyClick(Main.get(), Qt::Key_D, Qt::AltModifier);
  ASSERT_TRUE(QApplication::activePopupWidget());
  AnswerOpenDialog(Path("paar"));
  QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_A);
  QApplication::processEvents();
  EXPECT_EQ(DialogTitle, "Stereopaar speichern");
  SavePair(Path("paar.jps"));
  SavePair(Path("paar.png"));
  EXPECT_TRUE(QFile::exists(QString::fromStdString(Path("paar.png.mpo"))));
  EXPECT_FALSE(QFile::exists(QString::fromStdString(Path("paar.png"))));
  EXPECT_TRUE(Messages.empty()) << Messages.front();
  EXPECT_FALSE(Main->Form2()->isVisible());

  for (const char* name : {"paar.mpo", "paar.jps"}) {
    SCOPED_TRACE(name);
    const std::string cliOut = Path("cli_") + name;
    QProcess cli;
    cli.start(ZWILLO_CLI, {"compose", QString::fromStdString(left), QString::fromStdString(right),
                           QString::fromStdString(cliOut), "--no-params", "--quality", QString::number(PGJPEGQuality),
                           "--left-point", "60,50", "--right-point", "52,47", "--left-line", "5,40,115,40",
                           "--right-line", "5,38,105,45"});
    ASSERT_TRUE(cli.waitForFinished(120000));
    ASSERT_EQ(cli.exitCode(), 0) << cli.readAllStandardError().toStdString();
    for (int side : {0, 1}) EXPECT_TRUE(Same(*Load(Path(name), side), *Load(cliOut, side))) << side;
  }
  // The views are the two halves of the left-right image before encoding.
  const TStereoPair views = AlignedPair(*Main->ImLinks()->PixelGraphic(), *Main->ImRechts()->PixelGraphic(), a);
  EXPECT_EQ(Load(Path("paar.mpo"), 1)->Width(), views.Right->Width());
}

TEST_F(StereoFiles, ASavedPairReplacesAFileOnlyWhenTheUserSaysSo) {
  LoadSide(0, WritePicture("l.png", *Gradient(60, 40)));
  LoadSide(1, WritePicture("r.png", *Stripes(60, 40)));
  const std::string target = Path("alt.mpo");
  WriteAll(target, "alt");
  int asked = 0;
  int answer = platform::mrNo;
  platform::SetMessageBoxHook([&](const std::string& text, const std::string& caption, platform::TMsgButtons,
                                  platform::TMsgIcon) {
    Messages.push_back(caption + ": " + text);
    if (text.find("Diese Datei existiert bereits.") != std::string::npos) ++asked;
    return answer;
  });

  // Nein, then a cancelled dialog, then a folder that does not exist: the
  // old file stays, nothing else appears.
  SavePair(target);
  SavePair("");
  SavePair(Path("fehlt/neu.mpo"));
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(ReadAll(target), "alt");
  EXPECT_EQ(Messages.size(), 2u);
  EXPECT_EQ(Messages.back().rfind("Zwillo: ", 0), 0u) << Messages.back();
  EXPECT_EQ(QDir(Dir()).entryList({"*.mpo*"}, QDir::Files), QStringList{"alt.mpo"});
  EXPECT_FALSE(QFile::exists(QString::fromStdString(Path("fehlt"))));

  // Ja: replaced by the pair.
  answer = platform::mrYes;
  SavePair(target);
  EXPECT_TRUE(HoldsStereoPair(target));

  // No common area (points from a parameter file far outside the picture):
  // said before any dialog.
  Main->LeftSide().Point = {500, 20};
  Main->RightSide().Point = {10, 20};
  const int dialogs = DialogsSeen;
  Action("MIStereopaarSpeichern")->trigger();
  EXPECT_EQ(Messages.back(), "Zwillo: Kein Stereopaar: der gemeinsame Bereich ist leer.");
  EXPECT_EQ(DialogsSeen, dialogs);
}

// One stereo file on the command line or dropped on any tab is the whole
// pair, as "Bild laden..." takes it.
TEST_F(StereoFiles, OneStereoFileFromTheDesktopFillsBothTabs) {
  const std::string mpo = MakeMPO("karte.mpo");
  Main->OpenFiles({QString::fromStdString(mpo)}, Main->TabSheet3());
  ExpectPairShown(mpo);
  EXPECT_EQ(Main->PageControl1()->currentWidget(), Main->TabSheet1());
  EXPECT_EQ(DialogsSeen, 0);
  EXPECT_TRUE(Messages.empty());
}
