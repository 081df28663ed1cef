// The previewing open and save dialogs, driven as a user drives them: files
// picked by name or from the list, the type changed in its list, OK or Escape.
#include <functional>

#include "common/caption_test_util.h"
#include "common/file_test_util.h"
#include "pgraphic/core/messages.h"
#include "pgraphic/formats/registry.h"
#include "pgraphic/view/opensavedialog.h"
#include "platform/messagebox.h"
#include "view_test_util.h"

using testutil::TScratchFolder;
using viewtest::Gradient;
using viewtest::TScreenDepth;

namespace {

bool WaitUntil(const std::function<bool()>& cond, int ms = 10000) {
  QElapsedTimer t;
  t.start();
  while (!cond()) {
    if (t.elapsed() > ms) return false;
    QTest::qWait(5);
  }
  return true;
}

QLineEdit* NameEdit(QFileDialog& d) { return d.findChild<QLineEdit*>("fileNameEdit"); }
QComboBox* TypeCombo(QFileDialog& d) { return d.findChild<QComboBox*>("fileTypeCombo"); }

// Runs Execute with script acting on the shown dialog; a script that returns
// without closing the dialog (a failed check) leaves it by Escape.
bool RunDialogWith(TPGOpenDialog& dlg, const std::function<void()>& script) {
  QTimer::singleShot(0, &dlg, [&] {
    script();
    if (dlg.isVisible()) dlg.reject();
  });
  return dlg.Execute();
}

// The name put into the file-name field over what it held, as a paste does.
void TypeName(QFileDialog& d, const QString& name) {
  QLineEdit* edit = NameEdit(d);
  edit->selectAll();
  edit->insert(name);
}

// A type picked from the type list (1-based, as FilterIndex counts).
void ChooseType(QFileDialog& d, int index) {
  QComboBox* combo = TypeCombo(d);
  combo->setCurrentIndex(index - 1);
  emit combo->activated(index - 1);
  emit combo->textActivated(combo->itemText(index - 1));
}

// The thumbnail of the named file, once loaded.
bool WaitThumbnail(TPGOpenDialog& dlg) {
  return WaitUntil([&] { return dlg.Thumbnail() != nullptr; });
}

void Save(std::unique_ptr<TPixelGraphic> g, const std::string& path) { g->SaveToFile(path); }

// The library's messages in German for the lifetime of the object.
struct TGerman {
  TGerman() { MessageLanguage = 1; }
  ~TGerman() { MessageLanguage = 0; }
};

} // namespace

TEST(OpenSaveDialog, ThumbnailSizeKeepsTheAspectRatioAndAtLeastOnePixel) {
  int w = 0, h = 0;
  TCreateOpenSaveDialogPaintPGThread::ReducedSize(500, 300, 136, 116, w, h);
  EXPECT_EQ(w, 136);
  EXPECT_EQ(h, 81);
  TCreateOpenSaveDialogPaintPGThread::ReducedSize(1000, 1, 136, 116, w, h);
  EXPECT_EQ(w, 136);
  EXPECT_EQ(h, 1);
  TCreateOpenSaveDialogPaintPGThread::ReducedSize(1, 1000, 136, 116, w, h);
  EXPECT_EQ(w, 1);
  EXPECT_EQ(h, 116);
  TCreateOpenSaveDialogPaintPGThread::ReducedSize(100, 50, 136, 116, w, h); // fits: unchanged
  EXPECT_EQ(w, 100);
  EXPECT_EQ(h, 50);
}

TEST(OpenSaveDialog, PanelSitsRightOfTheFileDialogAtItsDialogUnits) {
  TPGOpenDialog dlg;
  const QRect thumb = dlg.MapDialogRect(QRect(192, 20, 92, 85));
  const int origin = dlg.MapDialogRect(QRect(191, 0, 0, 0)).left();
  EXPECT_EQ(dlg.PreviewArea()->geometry(), thumb.translated(-origin, 0));
  EXPECT_EQ(dlg.ThumbnailMaxWidth(), thumb.width() - 4);
  EXPECT_EQ(dlg.InfoArea()->geometry(), dlg.MapDialogRect(QRect(193, 110, 92, 33)).translated(-origin, 0));
  QWidget* panel = dlg.PreviewArea()->parentWidget();
  QWidget* list = dlg.findChild<QWidget*>("splitter");
  ASSERT_NE(list, nullptr);
  bool centred = false;
  RunDialogWith(dlg, [&] {
    const QRect s = dlg.screen()->geometry(), f = dlg.frameGeometry();
    centred = f.x() == (s.width() - f.width()) / 2 && f.y() == (s.height() - f.height()) / 3;
    EXPECT_GE(panel->mapTo(&dlg, QPoint(0, 0)).x(), list->mapTo(&dlg, QPoint(list->width(), 0)).x());
    QTest::keyClick(&dlg, Qt::Key_Escape);
  });
  EXPECT_TRUE(centred);
}

TEST(OpenSaveDialog, TypedNameShowsThumbnailAndInformationAndOKReturnsIt) {
  TScratchFolder dir("opendlg");
  Save(Gradient(500, 300), dir.Path("wide.bmp"));
  Save(Gradient(1000, 1), dir.Path("line.bmp"));
  TPGOpenDialog dlg;
  dlg.SetInitialDir(dir.Dir());
  dlg.SetFileName("wide.bmp"); // a preset name is previewed too
  EXPECT_EQ(dlg.FilterFormatCount(), 16);
  EXPECT_EQ(dlg.FilterExtension(2), "bmp"); // entry 1 lists all formats
  EXPECT_EQ(dlg.FilterExtension(5), "jpeg");
  EXPECT_EQ(dlg.FilterExtension(18), "");
  const bool ok = RunDialogWith(dlg, [&] {
    EXPECT_EQ(dlg.nameFilters().size(), 18);
    EXPECT_EQ(dlg.nameFilters().front().left(12), "Image files ");
    ASSERT_TRUE(WaitThumbnail(dlg));
    int w = 0, h = 0;
    TCreateOpenSaveDialogPaintPGThread::ReducedSize(500, 300, dlg.ThumbnailMaxWidth(), dlg.ThumbnailMaxHeight(), w, h);
    EXPECT_EQ(dlg.Thumbnail()->Width(), w);
    EXPECT_EQ(dlg.Thumbnail()->Height(), h);
    EXPECT_EQ(dlg.Thumbnail()->BitCountNum(), 24); // 24-bit screen: no conversion
    EXPECT_EQ(dlg.InfoLines().back(), "500x300x16.7M 24 bit");
    // Drawn centred in the area: the middle pixel shows the picture, not the face.
    const QImage shot = dlg.PreviewArea()->grab().toImage();
    const int cx = dlg.PreviewArea()->width() / 2, top = (dlg.PreviewArea()->height() - h) / 2;
    EXPECT_NE(shot.pixel(cx, top + h / 2), dlg.palette().color(QPalette::Button).rgb());
    EXPECT_EQ(shot.pixel(cx, top - 1), dlg.palette().color(QPalette::Button).rgb());

    TypeName(dlg, "line.bmp");
    ASSERT_TRUE(WaitThumbnail(dlg));
    EXPECT_EQ(dlg.Thumbnail()->Height(), 1);
    QTest::keyClick(NameEdit(dlg), Qt::Key_Return);
  });
  EXPECT_TRUE(ok);
  EXPECT_EQ(dlg.FileName(), dir.Path("line.bmp"));
  EXPECT_EQ(dlg.Thumbnail(), nullptr); // freed with the dialog window
}

TEST(OpenSaveDialog, InformationLinesOfEachWritableFormat) {
  TScratchFolder dir("opendlginfo");
  for (const char* ext : {"bmp", "jpg", "png", "ppm", "tga", "tif"}) Save(Gradient(40, 30), dir.Path(std::string("p.") + ext));
  TPGOpenDialog dlg;
  dlg.SetInitialDir(dir.Dir());
  RunDialogWith(dlg, [&] {
    for (const char* ext : {"bmp", "jpg", "png", "ppm", "tga", "tif"}) {
      SCOPED_TRACE(ext);
      TypeName(dlg, QString("p.") + ext);
      ASSERT_TRUE(WaitThumbnail(dlg));
      const std::vector<std::string> lines = dlg.InfoLines();
      ASSERT_GE(lines.size(), 2u);
      std::string description;
      TPGFileInfo info;
      ASSERT_TRUE(GetFileInfo(dir.Path(std::string("p.") + ext), 0, description, info));
      EXPECT_EQ(lines.front(), description);
      EXPECT_EQ(lines.back(), "40x30x" + info.ColorsText + " 24 bit");
    }
    // In the program's language the readers' English words are translated.
    TGerman german;
    TypeName(dlg, "p.tga");
    ASSERT_TRUE(WaitThumbnail(dlg));
    EXPECT_EQ(dlg.InfoLines(), (std::vector<std::string>{"Truevision Targa", "Unkomprimiert", "Echtfarben",
                                                          "40x30x16,7 Mio. 24 Bit"}));
    TypeName(dlg, "p.jpg");
    ASSERT_TRUE(WaitThumbnail(dlg));
    EXPECT_EQ(dlg.InfoLines(), (std::vector<std::string>{"JPEG (JFIF-kompatibel)", "JFIF, YCbCr", "40x30x16,7 Mio. 24 Bit"}));
    dlg.SetShowInfo(false);
    EXPECT_TRUE(dlg.InfoLines().empty());
  });
}

TEST(OpenSaveDialog, SeveralSelectedFilesPreviewTheFirst) {
  TScratchFolder dir("opendlgmulti");
  Save(Gradient(30, 20), dir.Path("a.bmp"));
  Save(Gradient(50, 10), dir.Path("b.png"));
  TPGOpenDialog dlg;
  dlg.SetInitialDir(dir.Dir());
  dlg.SetOptions(dlg.Options() | OpenOptionBit(ofAllowMultiSelect));
  const bool ok = RunDialogWith(dlg, [&] {
    TypeName(dlg, "\"a.bmp\" \"b.png\"");
    ASSERT_TRUE(WaitThumbnail(dlg));
    EXPECT_EQ(dlg.SelectedFilePath(), dir.Path("a.bmp"));
    EXPECT_EQ(dlg.Thumbnail()->Width(), 30);
    QTest::keyClick(NameEdit(dlg), Qt::Key_Return);
  });
  ASSERT_TRUE(ok);
  EXPECT_EQ(dlg.Files().size(), 2u);
  EXPECT_EQ(dlg.FileName(), dir.Path("a.bmp"));
}

TEST(OpenSaveDialog, ThumbnailFollowsTheScreenDepth) {
  TScratchFolder dir("opendlgdepth");
  Save(Gradient(60, 40), dir.Path("g.bmp"));
  for (int depth : {4, 8}) {
    TScreenDepth screen(depth);
    TPGOpenDialog dlg;
    dlg.SetInitialDir(dir.Dir());
    RunDialogWith(dlg, [&] {
      TypeName(dlg, "g.bmp");
      ASSERT_TRUE(WaitThumbnail(dlg));
      EXPECT_EQ(dlg.Thumbnail()->BitCountNum(), depth);
      if (depth == 4) {
        EXPECT_EQ(dlg.Thumbnail()->PaletteIdent(), pSys16);
      }
    });
  }
}

TEST(OpenSaveDialog, DamagedFileShowsInformationWithoutThumbnailAndUnknownShowsNothing) {
  TScratchFolder dir("opendlgbad");
  Save(Gradient(300, 200), dir.Path("full.png"));
  std::string bytes = testutil::ReadFileText(dir.Path("full.png"));
  bytes[bytes.size() / 2] ^= 0x55; // compressed data whose checksum fails
  testutil::WriteFileText(dir.Path("cut.png"), bytes);
  testutil::WriteFileText(dir.Path("junk.bmp"), "not a picture at all");
  TPGOpenDialog dlg;
  dlg.SetInitialDir(dir.Dir());
  RunDialogWith(dlg, [&] {
    TypeName(dlg, "cut.png");
    ASSERT_TRUE(WaitUntil([&] { return dlg.InfoValid() && !dlg.Loading(); }));
    QTest::qWait(50);
    EXPECT_EQ(dlg.Thumbnail(), nullptr);
    EXPECT_EQ(dlg.InfoLines().back(), "300x200x16.7M 24 bit");
    TypeName(dlg, "junk.bmp");
    QTest::qWait(400);
    EXPECT_FALSE(dlg.InfoValid());
    EXPECT_EQ(dlg.Thumbnail(), nullptr);
    EXPECT_TRUE(dlg.InfoLines().empty());
  });
}

TEST(OpenSaveDialog, NewSelectionTerminatesTheRunningLoad) {
  TScratchFolder dir("opendlgstop");
  Save(Gradient(3000, 2000), dir.Path("big.jpg"));
  Save(Gradient(20, 10), dir.Path("small.bmp"));
  TPGOpenDialog dlg;
  dlg.SetReducedJPEGPreview(false); // a full-size decode: long enough to interrupt
  dlg.SetProgressClockLineColor(Qt::red);
  dlg.SetInitialDir(dir.Dir());
  RunDialogWith(dlg, [&] {
    TypeName(dlg, "big.jpg");
    ASSERT_TRUE(WaitUntil([&] { return dlg.Loading(); }));
    // The loading clock in the middle of the area.
    QWidget* area = dlg.PreviewArea();
    EXPECT_TRUE(WaitUntil([&] {
      const QImage shot = area->grab().toImage();
      for (int y = -8; y < 8; ++y)
        for (int x = -8; x < 8; ++x)
          if (shot.pixel(area->width() / 2 + x, area->height() / 2 + y) == qRgb(255, 0, 0)) return true;
      return !dlg.Loading();
    }) && dlg.Loading());
    TypeName(dlg, "small.bmp");
    EXPECT_FALSE(dlg.Loading()); // stopped and joined at once
    ASSERT_TRUE(WaitThumbnail(dlg));
    QTest::qWait(100); // nothing of the big picture arrives late
    EXPECT_EQ(dlg.Thumbnail()->Width(), 20);
    // Closing while a load runs stops it too.
    TypeName(dlg, "big.jpg");
    ASSERT_TRUE(WaitUntil([&] { return dlg.Loading(); }));
    QTest::keyClick(NameEdit(dlg), Qt::Key_Escape);
  });
  EXPECT_FALSE(dlg.Loading());
}

TEST(OpenSaveDialog, SaveDialogKeepsTheExtensionInStepWithTheType) {
  TScratchFolder dir("savedlg");
  TPGSaveDialog dlg;
  dlg.SetInitialDir(dir.Dir());
  EXPECT_EQ(dlg.FilterExtension(1), "bmp");
  EXPECT_EQ(dlg.FilterExtension(2), "jpg");
  // The name "bild", type changed to the JPG entry: the field follows.
  dlg.SetFileName("bild");
  RunDialogWith(dlg, [&] {
    ChooseType(dlg, 2); // BMP -> JPG
    EXPECT_EQ(NameEdit(dlg)->text(), "bild.jpg");
    QTest::keyClick(&dlg, Qt::Key_Escape);
  });
  // OK with "bild" while BMP is selected: the extension is supplied.
  dlg.SetFileName("");
  dlg.SetFilterIndex(1);
  ASSERT_TRUE(RunDialogWith(dlg, [&] {
    TypeName(dlg, "bild");
    QTest::keyClick(NameEdit(dlg), Qt::Key_Return);
  }));
  EXPECT_EQ(dlg.FileName(), dir.Path("bild.bmp"));
  EXPECT_EQ(dlg.FilterIndex(), 1);
  // An initial name ending in .png preselects the PNG entry, and the type
  // change starts from it.
  dlg.SetFileName("x.PNG");
  int preselected = 0;
  RunDialogWith(dlg, [&] {
    preselected = dlg.CurrentFilterIndex();
    ChooseType(dlg, preselected + 1); // PNG -> PPM
    EXPECT_EQ(NameEdit(dlg)->text(), "x.ppm");
  });
  EXPECT_EQ(dlg.FilterExtension(preselected), "png");
}

TEST(OpenSaveDialog, SaveDialogAsksBeforeReplacingTheFileItsExtensionNames) {
  TScratchFolder dir("savedlgover");
  testutil::WriteFileText(dir.Path("bild.bmp"), "old");
  TPGSaveDialog dlg;
  dlg.SetInitialDir(dir.Dir());
  dlg.SetOptions(dlg.Options() | OpenOptionBit(ofOverwritePrompt));
  bool asked = false;
  RunDialogWith(dlg, [&] {
    TypeName(dlg, "bild");
    QTimer::singleShot(100, [&] {
      if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
        asked = true;
        box->reject();
      }
    });
    QTest::keyClick(NameEdit(dlg), Qt::Key_Return);
  });
  EXPECT_TRUE(asked);
}

TEST(OpenSaveDialog, WithoutDefaultFilterTheFilterIsUsedUnchanged) {
  TScratchFolder dir("savedlgnofilter");
  TPGSaveDialog dlg;
  dlg.SetUseDefaultFilter(false);
  dlg.SetFilter("Raw|*.raw|Any|*");
  dlg.SetInitialDir(dir.Dir());
  EXPECT_EQ(dlg.FilterExtension(1), "");
  EXPECT_EQ(dlg.FilterFormatCount(), 0);
  ASSERT_TRUE(RunDialogWith(dlg, [&] {
    EXPECT_EQ(dlg.nameFilters(), QStringList({"Raw (*.raw)", "Any (*)"}));
    TypeName(dlg, "bild");
    QTest::keyClick(NameEdit(dlg), Qt::Key_Return);
  }));
  EXPECT_EQ(dlg.Filter(), "Raw|*.raw|Any|*");
  EXPECT_EQ(dlg.FileName(), dir.Path("bild"));
}

TEST(OpenSaveDialog, OptionsWithoutShareAwareAreCorrectedWithAMessage) {
  std::string shown;
  auto old = platform::SetMessageBoxHook([&](const std::string& text, const std::string&, platform::TMsgButtons,
                                             platform::TMsgIcon) {
    shown = text;
    return int(platform::mrOk);
  });
  TPGSaveDialog dlg;
  EXPECT_EQ(dlg.Options(), OpenOptionBit(ofHideReadOnly) | OpenOptionBit(ofShareAware));
  dlg.SetOptions(OpenOptionBit(ofOverwritePrompt));
  platform::SetMessageBoxHook(old);
  EXPECT_EQ(shown, "TPGOpenDialog.Options and TPGSaveDialog.Options must include ofShareAware!");
  EXPECT_EQ(dlg.Options(), OpenOptionBit(ofOverwritePrompt) | OpenOptionBit(ofShareAware));
}

namespace {

// Types text into the name field one key at a time, as a person does, the
// keys going where the window system sends them: to the completion list
// while it is open.
void TypeSlowly(TPGOpenDialog& dlg, const QString& text) {
  for (QChar c : text) {
    QWidget* target = QApplication::activePopupWidget();
    QTest::keyClicks(target ? target : static_cast<QWidget*>(NameEdit(dlg)), QString(c));
    QTest::qWait(2);
  }
}

QWidget* CompletionList(TPGOpenDialog& dlg) {
  auto* completer = NameEdit(dlg)->completer();
  return completer ? completer->popup() : nullptr;
}

} // namespace

// Whatever the dialog shows while open goes with it, however it is closed
// while the completion list of a typed path is open: Enter (which the list
// receives), the Open button, Abbrechen, Escape; in the open and the save
// dialog. A completion that arrives after the dialog closed opens nothing.
TEST(OpenSaveDialog, NoPopupStaysOpenAfterTheDialogCloses) {
  TScratchFolder dir("popup");
  Save(Gradient(40, 30), dir.Path("szene_links.bmp"));
  Save(Gradient(40, 30), dir.Path("szene_rechts.bmp"));
  TPGOpenDialog open;
  TPGSaveDialog save;
  const QString typed = QString::fromStdString(dir.Path("szene_l"));
  enum TWay { wEnter, wOpen, wCancel, wEscape };
  for (TPGOpenDialog* dlg : {&open, static_cast<TPGOpenDialog*>(&save)}) {
    for (TWay way : {wEnter, wOpen, wCancel, wEscape}) {
      SCOPED_TRACE(dlg->objectName().toStdString() + " " + std::to_string(way));
      QWidget* list = nullptr;
      RunDialogWith(*dlg, [&] {
        dlg->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(dlg));
        NameEdit(*dlg)->setFocus();
        TypeSlowly(*dlg, typed);
        ASSERT_TRUE(WaitUntil([&] { return CompletionList(*dlg) && CompletionList(*dlg)->isVisible(); }));
        list = CompletionList(*dlg);
        auto* buttons = dlg->findChild<QDialogButtonBox*>("buttonBox");
        switch (way) {
          case wEnter:
            TypeSlowly(*dlg, "inks.bmp");
            QTest::keyClick(QApplication::activePopupWidget() ? QApplication::activePopupWidget() : NameEdit(*dlg),
                            Qt::Key_Return);
            break;
          case wOpen:
            QTest::keyClicks(NameEdit(*dlg), "inks.bmp");
            buttons->button(dlg == &save ? QDialogButtonBox::Save : QDialogButtonBox::Open)->click();
            break;
          case wCancel:
            buttons->button(QDialogButtonBox::Cancel)->click();
            break;
          case wEscape:
            dlg->reject();
            break;
        }
      });
      QTest::qWait(50);
      EXPECT_FALSE(dlg->isVisible());
      ASSERT_NE(list, nullptr);
      EXPECT_FALSE(list->isVisible());
      EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
      if (way == wEnter || way == wOpen) {
        EXPECT_EQ(dlg->FileName(), dir.Path("szene_links.bmp"));
      }
    }
  }
  NameEdit(open)->completer()->complete();
  QTest::qWait(50);
  EXPECT_FALSE(CompletionList(open)->isVisible());
}

// The preset name is selected, so that a typed name replaces it; an empty
// preset leaves the field empty, whatever an earlier run left in it.
TEST(OpenSaveDialog, NameFieldOffersOnlyThePresetNameSelected) {
  TScratchFolder dir("namefield");
  Save(Gradient(20, 10), dir.Path("links.bmp"));
  Save(Gradient(20, 10), dir.Path("rechts.bmp"));
  TPGOpenDialog dlg;
  dlg.SetFileName(dir.Path("links.bmp"));
  ASSERT_TRUE(RunDialogWith(dlg, [&] {
    dlg.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dlg));
    EXPECT_TRUE(NameEdit(dlg)->hasFocus());
    EXPECT_EQ(NameEdit(dlg)->selectedText(), "links.bmp");
    QTest::keyClicks(NameEdit(dlg), "rechts.bmp");
    EXPECT_EQ(NameEdit(dlg)->text(), "rechts.bmp");
    QTest::keyClick(NameEdit(dlg), Qt::Key_Return);
  }));
  EXPECT_EQ(dlg.FileName(), dir.Path("rechts.bmp"));
  dlg.SetFileName("");
  RunDialogWith(dlg, [&] {
    EXPECT_EQ(NameEdit(dlg)->text(), "");
    QTest::keyClick(&dlg, Qt::Key_Escape);
  });
}


// The dialog's captions and the preview panel's information lines show whole
// whatever the font: the panel is measured in dialog units of the dialog's
// font, the information drawn in its own small font.
TEST(OpenSaveDialog, CaptionsAndInformationShowWholeInAnyFont) {
  TScratchFolder dir("opendlgfont");
  Save(Gradient(4000, 3000), dir.Path("gross.bmp"));
  TGerman german;
  for (const captiontest::TTrialFont& font : captiontest::TrialFonts()) {
    SCOPED_TRACE(std::string(font.Family) + " " + std::to_string(font.PointSize));
    captiontest::TAppFont app(font.Family, font.PointSize);
    TPGOpenDialog dlg;
    dlg.SetInitialDir(dir.Dir());
    RunDialogWith(dlg, [&] {
      TypeName(dlg, "gross.bmp");
      ASSERT_TRUE(WaitThumbnail(dlg));
      EXPECT_EQ(captiontest::CutCaptions(&dlg), std::vector<std::string>{});
      const QFontMetrics fm(TPGOpenDialog::InfoFont());
      const std::vector<std::string> lines = dlg.InfoLines();
      ASSERT_EQ(lines.size(), 3u);
      for (const std::string& line : lines) EXPECT_LE(fm.horizontalAdvance(QString::fromStdString(line)), dlg.InfoArea()->width()) << line;
      EXPECT_LE(int(lines.size()) * fm.height(), dlg.InfoArea()->height());
    });
  }
}
