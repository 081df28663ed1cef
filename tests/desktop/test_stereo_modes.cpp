// The stereo modes after the seven in the window: the submenu's order and
// access letters, the eye swap item, the tab caption, and each result saved,
// saved zoomed and printed.
#include "mainform_test_util.h"

#include <random>

#include <QPrinter>
#include <QToolBar>

#include "app/core/compose.h"
#include "common/pixel_test_util.h"

using namespace desktoptest;

using testutil::SameColours;

namespace {

std::unique_ptr<TPixelGraphic> Noise(int w, int h, uint32_t seed) {
  std::mt19937 rng(seed);
  auto g = std::make_unique<TPixelGraphic>();
  g->SetSize(w, h, bc24Bit);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) g->SetPixels(x, y, rng() & 0xFFFFFF);
  return g;
}

class StereoModes : public MainWindowTest {
protected:
  // A small pair of odd sizes in both views, shifted against each other.
  void SetPair() {
    Main->ImLinks()->AdoptPixelGraphic(Noise(61, 37, 1));
    Main->ImRechts()->AdoptPixelGraphic(Noise(58, 40, 2));
    Main->LeftSide().Point = {20, 10};
    Main->RightSide().Point = {17, 13};
    Main->UpdateControls();
  }
  // Alt+D, S (Stereobild berechnen), then key in the submenu.
  void MenuKeys(char key) {
    // The offscreen platform does not hand the activation back from the
    // progress window.
    QApplication::setActiveWindow(Main.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(Main.get()));
    QTest::keyClick(Main.get(), Qt::Key_D, Qt::AltModifier);
    QWidget* popup = QApplication::activePopupWidget();
    ASSERT_TRUE(popup);
    QTest::keyClick(popup, Qt::Key_S);
    popup = QApplication::activePopupWidget();
    ASSERT_TRUE(popup);
    ASSERT_EQ(popup->objectName(), "MIberechnenMenu");
    QTest::keyClick(popup, key);
    QApplication::processEvents();
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
  }
  // What the core makes of the views' pictures in mode.
  std::unique_ptr<TPixelGraphic> Expected(int mode) {
    TPixelGraphic work;
    TStereoResult r =
        ComposePictures(mode, *Main->ImLinks()->PixelGraphic(), *Main->ImRechts()->PixelGraphic(), Main->Alignment(), work);
    auto copy = std::make_unique<TPixelGraphic>();
    copy->Assign(r.Image);
    return copy;
  }
};

} // namespace

// The seven entries keep their order and letters; the nine modes and the swap
// item follow, each after a separator, with letters of their own; Alt+D, S and
// the letter computes the mode and names the tab after it.
TEST_F(StereoModes, SubmenuOrderAccessLettersAndTabCaptions) {
  auto* stereo = Main->findChild<QMenu*>("MIberechnenMenu");
  ASSERT_TRUE(stereo);
  struct TItem {
    const char* name;
    const char* caption;
    char letter;
    int tag;
  };
  const std::vector<TItem> items = {
      {"RotgrnAnaglyphenbild1", "&Rot-Grün-Anaglyphenbild", 'R', 0},
      {"FarbAnaglyphenbild2", "&Farb-Anaglyphenbild", 'F', 2},
      {"StereobildfrELSA3DREVELATOR1", "Stere&obild für ELSA 3D REVELATOR", 'O', 6},
      {"FarbAnaglyphenbild1", "&Spiegel-Stereobild", 'S', 1},
      {"StereoBildlinksrechts1", "S&tereo-Bild links-rechts", 'T', 4},
      {"StereoBildrechtslinks1", "St&ereo-Bild rechts-links", 'E', 5},
      {"FieldSequentialLCD1", "F&ield-Sequential LCD", 'I', 3},
      {"-", "", 0, 0},
      {"DuboisAnaglyphenbild1", "&Dubois-Anaglyphenbild", 'D', 7},
      {"HalbfarbAnaglyphenbild1", "&Halbfarb-Anaglyphenbild", 'H', 8},
      {"OptimiertesAnaglyphenbild1", "O&ptimiertes Anaglyphenbild", 'P', 9},
      {"GrauAnaglyphenbild1", "&Grau-Anaglyphenbild", 'G', 10},
      {"StereoBildhalbeBreite1", "Stereo-Bild links-rechts, halbe &Breite", 'B', 11},
      {"StereoBildobenunten1", "Stereo-Bild oben-&unten", 'U', 12},
      {"StereoBildobenuntenhalbeHoehe1", "Stereo-Bild oben-unten, ha&lbe Höhe", 'L', 13},
      {"StereoBildspaltenweise1", "Stereo-Bild spalten&weise verschachtelt", 'W', 14},
      {"SchachbrettStereobild1", "S&chachbrett-Stereobild", 'C', 15},
      {"-", "", 0, 0},
      {"BilderVertauschen1", "Linkes und rechtes Bild vert&auschen", 'A', 0},
  };
  const QList<QAction*> actions = stereo->actions();
  ASSERT_EQ(actions.size(), static_cast<qsizetype>(items.size()));
  for (size_t i = 0; i < items.size(); ++i) {
    QAction* a = actions[static_cast<qsizetype>(i)];
    if (items[i].letter == 0) {
      EXPECT_TRUE(a->isSeparator()) << i;
      continue;
    }
    EXPECT_EQ(a->objectName().toStdString(), items[i].name);
    EXPECT_EQ(a->text().toStdString(), items[i].caption);
    EXPECT_EQ(QKeySequence::mnemonic(a->text()), QKeySequence(Qt::ALT | Qt::Key(items[i].letter))) << items[i].name;
    EXPECT_EQ(TagOf(a), items[i].tag) << items[i].name;
  }
  EXPECT_TRUE(Action("BilderVertauschen1")->isCheckable());
  EXPECT_FALSE(Action("BilderVertauschen1")->isChecked());

  SetPair();
  for (const TItem& item : items) {
    if (item.letter == 0 || item.letter == 'A') continue;
    ClickTab(0);
    MenuKeys(item.letter);
    EXPECT_EQ(Main->LastStereoMode(), item.tag) << item.name;
    EXPECT_EQ(Main->ActivePage(), Main->TabSheet3());
    EXPECT_EQ(Main->PageControl1()->tabText(2).toStdString(), StereoModeCaption(item.tag));
    EXPECT_TRUE(SameColours(*Main->ImStereo()->PixelGraphic(), *Expected(item.tag))) << item.name;
  }
  // The ELSA mode's hand-off finds no viewer set; nothing else is reported.
  EXPECT_EQ(Messages.size(), 1u);
}

// The swap item (Alt+D, S, A) exchanges the pictures for every stereo command,
// the tool bar's too; the tab keeps the mode's name.
TEST_F(StereoModes, EyeSwapItem) {
  SetPair();
  MenuKeys('A');
  EXPECT_TRUE(Action("BilderVertauschen1")->isChecked());
  Click("BtLiRe");
  EXPECT_EQ(Main->LastStereoMode(), smLeftRight);
  EXPECT_EQ(Main->PageControl1()->tabText(2), "Stereobild links-rechts");
  EXPECT_TRUE(SameColours(*Main->ImStereo()->PixelGraphic(), *Expected(smRightLeft)));
  Action("DuboisAnaglyphenbild1")->trigger();
  EXPECT_TRUE(SameColours(*Main->ImStereo()->PixelGraphic(), *Expected(smDubois | smSwapEyes)));
  EXPECT_FALSE(SameColours(*Main->ImStereo()->PixelGraphic(), *Expected(smDubois)));

  MenuKeys('A');
  EXPECT_FALSE(Action("BilderVertauschen1")->isChecked());
  Click("BtLiRe");
  EXPECT_TRUE(SameColours(*Main->ImStereo()->PixelGraphic(), *Expected(smLeftRight)));
}

// Every new mode's result is saved with its pixels, saved at the view's zoom
// with the truncated size, and printed.
TEST_F(StereoModes, SaveZoomedSaveAndPrintEveryNewMode) {
  SetPair();
  const QString pdf = Dir() + "/print.pdf";
  Main->PrinterSetup = [&](QPrinter& printer) {
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(pdf);
  };
  for (QAction* item : Main->MoreStereoItems()) {
    const std::string what = item->objectName().toStdString();
    item->trigger();
    const TPixelGraphic& shown = *Main->ImStereo()->PixelGraphic();
    const std::string plain = Dir().toStdString() + "/" + what + ".png";
    AnswerOpenDialog(plain);
    Click("BtSaveStereo");
    TPixelGraphic saved;
    saved.LoadFromFile(plain);
    EXPECT_TRUE(SameColours(saved, shown)) << what;

    Main->ImStereo()->SetZoomFactor(0.5L);
    const std::string zoomed = Dir().toStdString() + "/" + what + "_half.bmp";
    AnswerOpenDialog(zoomed);
    Click("BtSaveStereoZoom");
    TPixelGraphic half;
    half.LoadFromFile(zoomed);
    EXPECT_EQ(half.Width(), shown.Width() / 2) << what;
    EXPECT_EQ(half.Height(), shown.Height() / 2) << what;

    QFile::remove(pdf);
    OnModal([](QDialog* d) { d->accept(); });
    Click("BtPrint");
    QFile f(pdf);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly)) << what;
    EXPECT_TRUE(f.readAll().startsWith("%PDF-")) << what;
  }
  EXPECT_TRUE(Messages.empty());
}
