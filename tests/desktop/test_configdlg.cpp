// The settings dialog, driven as a user does: keys into its fields, OK and Escape.
#include "app/desktop/forms/configdlg.h"

#include "pgraphic/formats/settings.h"
#include "platform/messagebox.h"

#include <QTemporaryDir>
#include <functional>

namespace {

class ConfigDlgTest : public testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(FDir.isValid());
    FOldConfig = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", FDir.path().toUtf8());
    FOldQuality = PGJPEGQuality;
    PGJPEGQuality = 80;
  }
  void TearDown() override {
    PGJPEGQuality = FOldQuality;
    if (FOldConfig.isEmpty())
      qunsetenv("XDG_CONFIG_HOME");
    else
      qputenv("XDG_CONFIG_HOME", FOldConfig);
  }

  QString IniPath() const { return FDir.path() + "/zwillo/VEXO.INI"; }
  void WriteIni(const QByteArray& text) const {
    QDir().mkpath(FDir.path() + "/zwillo");
    QFile f(IniPath());
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(text);
  }
  QByteArray ReadIni() const {
    QFile f(IniPath());
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
  }

  // Runs the dialog modally while act works in it as a user; true for OK.
  static bool Run(TConfigDlg& dlg, const std::function<void()>& act) {
    QTimer::singleShot(0, &dlg, [&] {
      act();
      if (dlg.isVisible()) {
        ADD_FAILURE() << "the dialog stayed open";
        dlg.reject();
      }
    });
    return dlg.Execute();
  }
  static void Retype(QLineEdit* edit, const QString& text) {
    QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
    if (text.isEmpty())
      QTest::keyClick(edit, Qt::Key_Backspace);
    else
      QTest::keyClicks(edit, text);
  }

  QTemporaryDir FDir;
  QByteArray FOldConfig;
  uint8_t FOldQuality = 80;
};

TEST_F(ConfigDlgTest, FirstStartDefaultsAndLayout) {
  TConfigDlg dlg;
  EXPECT_EQ(dlg.JPEGQuality(), 80);
  EXPECT_EQ(dlg.ZoomType(), 0);
  EXPECT_EQ(dlg.ZoomPercent(), 100);
  EXPECT_EQ(dlg.ZoomPixel(), 640);
  EXPECT_TRUE(dlg.ShowELSAViewer());
  EXPECT_EQ(dlg.ELSAViewer(), TConfigDlg::ReplacementViewer(QCoreApplication::applicationDirPath()));
  EXPECT_FALSE(QFile::exists(IniPath()));  // reading creates nothing

  EXPECT_EQ(dlg.objectName(), "ConfigDlg");
  // 426 x 274 for the design font, larger for a larger one.
  EXPECT_GE(dlg.width(), 426);
  EXPECT_GE(dlg.height(), 274);
  EXPECT_EQ(dlg.PageControl1->tabText(1), "ELSA 3D REVELATOR");
  EXPECT_EQ(dlg.TrackBar1->tickInterval(), 5);
  EXPECT_TRUE(dlg.BitBtn1->isDefault());
  for (const char* name : {"EdQuality", "TrackBar1", "RadioButton1", "EdPercent", "RadioButton2", "EdPixel",
                           "EdStereo3D", "SpeedButton1", "CbStereo3D", "BitBtn1", "BitBtn2", "OpenDialog1"})
    EXPECT_NE(dlg.findChild<QObject*>(name), nullptr) << name;
  // The row below the zoom group is whole inside its page.
  dlg.show();
  QApplication::processEvents();
  EXPECT_TRUE(dlg.TabSheet1->rect().contains(dlg.CbCropWedges->geometry())) << dlg.TabSheet1->height();
  dlg.hide();
}

TEST_F(ConfigDlgTest, CreationHandsTheFileQualityToTheWriterAndShowsItWithinRange) {
  WriteIni("[Settings]\nJPEG=300\nZoomType=7\nZoomPercent=0x20\nELSAViewer=/opt/v/St3DView.EXE\nShowELSAViewer=0\n");
  TConfigDlg dlg;
  EXPECT_EQ(PGJPEGQuality, 300 & 0xFF);
  EXPECT_EQ(dlg.JPEGQuality(), 300);  // taken as read
  EXPECT_EQ(dlg.ZoomPercent(), 32);
  EXPECT_EQ(dlg.ELSAViewer(), "/opt/v/St3DView.EXE");  // a set viewer wins over the fallback
  const QByteArray before = ReadIni();
  EXPECT_FALSE(Run(dlg, [&] {
    EXPECT_EQ(dlg.TrackBar1->value(), 100);
    EXPECT_EQ(dlg.EdQuality->text(), "100");
    EXPECT_TRUE(dlg.RadioButton2->isChecked());
    EXPECT_EQ(dlg.EdPercent->text(), "32");
    EXPECT_FALSE(dlg.CbStereo3D->isChecked());
    EXPECT_EQ(dlg.EdStereo3D->text(), "/opt/v/St3DView.EXE");
    QTest::keyClick(&dlg, Qt::Key_Escape);
  }));
  EXPECT_EQ(dlg.JPEGQuality(), 300);
  EXPECT_EQ(ReadIni(), before);
}

TEST_F(ConfigDlgTest, FieldRulesAndOkWritesTheFileAtOnce) {
  TConfigDlg dlg;
  ASSERT_TRUE(Run(dlg, [&] {
    Retype(dlg.EdQuality, "35");
    EXPECT_EQ(dlg.TrackBar1->value(), 35);
    Retype(dlg.EdQuality, "150");  // "1", "15", then 150 is refused
    EXPECT_EQ(dlg.EdQuality->text(), "15");
    EXPECT_EQ(dlg.TrackBar1->value(), 15);
    Retype(dlg.EdQuality, "");
    EXPECT_EQ(dlg.EdQuality->text(), "15");  // back to the track bar
    QTest::keyClick(dlg.TrackBar1, Qt::Key_PageUp);
    EXPECT_EQ(dlg.EdQuality->text(), QString::number(dlg.TrackBar1->value()));
    Retype(dlg.EdQuality, "42");

    Retype(dlg.EdPercent, "");
    EXPECT_EQ(dlg.EdPercent->text(), "0");  // the emptied field shows 0
    EXPECT_EQ(dlg.PendingPercent, 0);
    QTest::keyClicks(dlg.EdPercent, "5");  // the caret went to the start, before the 0
    EXPECT_EQ(dlg.EdPercent->text(), "50");
    EXPECT_EQ(dlg.PendingPercent, 50);
    Retype(dlg.EdPercent, "");
    Retype(dlg.EdPixel, "800");
    Retype(dlg.EdPixel, "abc");
    EXPECT_EQ(dlg.EdPixel->text(), "800");  // the last accepted value
    EXPECT_EQ(dlg.EdPixel->cursorPosition(), 0);
    Retype(dlg.EdPixel, "0");
    EXPECT_EQ(dlg.EdPixel->text(), "800");
    Retype(dlg.EdPixel, "-");
    EXPECT_EQ(dlg.EdPixel->text(), "800");
    EXPECT_EQ(dlg.PendingPixel, 800);

    QTest::mouseClick(dlg.RadioButton2, Qt::LeftButton);
    dlg.PageControl1->setCurrentIndex(1);
    QTest::mouseClick(dlg.CbStereo3D, Qt::LeftButton);
    Retype(dlg.EdStereo3D, "/usr/bin/viewer");
    QTest::keyClick(dlg.EdStereo3D, Qt::Key_Return);  // Enter: OK
  }));
  EXPECT_EQ(dlg.JPEGQuality(), 42);
  EXPECT_EQ(PGJPEGQuality, 42);
  EXPECT_EQ(dlg.ZoomType(), 1);
  EXPECT_EQ(dlg.ZoomPercent(), 0);
  EXPECT_EQ(dlg.ZoomPixel(), 800);
  EXPECT_EQ(dlg.ELSAViewer(), "/usr/bin/viewer");
  EXPECT_FALSE(dlg.ShowELSAViewer());
  EXPECT_EQ(ReadIni(), QByteArray("[Settings]\nJPEG=42\nZoomType=1\nZoomPercent=0\nZoomPixel=800\n"
                                  "ELSAViewer=/usr/bin/viewer\nShowELSAViewer=0\n"));
  TConfigDlg again;  // the next start reads what OK wrote
  EXPECT_EQ(again.ZoomPixel(), 800);
  EXPECT_EQ(PGJPEGQuality, 42);
}

TEST_F(ConfigDlgTest, CancelChangesNothingAndTheNextShowRefillsThePendingValues) {
  WriteIni("[Settings]\nZoomPercent=0\n");
  const QByteArray before = ReadIni();
  TConfigDlg dlg;
  EXPECT_FALSE(Run(dlg, [&] {
    Retype(dlg.EdPercent, "50");
    Retype(dlg.EdQuality, "10");
    QTest::mouseClick(dlg.RadioButton2, Qt::LeftButton);
    QTest::keyClick(&dlg, Qt::Key_Escape);
  }));
  EXPECT_EQ(dlg.ZoomPercent(), 0);
  EXPECT_EQ(dlg.ZoomType(), 0);
  EXPECT_EQ(dlg.JPEGQuality(), 80);
  EXPECT_EQ(PGJPEGQuality, 80);
  EXPECT_EQ(ReadIni(), before);
  // Shown again, the stored 0 is what the field shows and what OK keeps.
  EXPECT_TRUE(Run(dlg, [&] {
    EXPECT_EQ(dlg.EdPercent->text(), "0");
    EXPECT_EQ(dlg.EdQuality->text(), "80");
    EXPECT_TRUE(dlg.RadioButton1->isChecked());
    QTest::mouseClick(dlg.BitBtn1, Qt::LeftButton);
  }));
  EXPECT_EQ(dlg.ZoomPercent(), 0);
  EXPECT_TRUE(ReadIni().contains("ZoomPercent=0\n"));
}

TEST_F(ConfigDlgTest, UnwritableFileIsReportedAndTheValuesStayTakenOver) {
  QFile blocker(FDir.path() + "/zwillo");  // a file where the folder should be
  ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
  blocker.close();
  std::string reported;
  const auto old = platform::SetMessageBoxHook([&](const std::string& text, const std::string&,
                                                   platform::TMsgButtons, platform::TMsgIcon) {
    reported = text;
    return platform::mrOk;
  });
  TConfigDlg dlg;
  const bool ok = Run(dlg, [&] {
    Retype(dlg.EdQuality, "55");
    QTest::mouseClick(dlg.BitBtn1, Qt::LeftButton);
  });
  platform::SetMessageBoxHook(old);
  EXPECT_TRUE(ok);
  EXPECT_NE(reported.find("kann nicht geschrieben werden"), std::string::npos) << reported;
  EXPECT_EQ(dlg.JPEGQuality(), 55);
  EXPECT_EQ(PGJPEGQuality, 55);
}

TEST_F(ConfigDlgTest, ReplacementViewerInTheProgramFolderAndBrowsing) {
  QTemporaryDir program;
  EXPECT_EQ(TConfigDlg::ReplacementViewer(program.path()), "");
  QFile viewer(program.filePath("zwillo-stereo3d"));
  ASSERT_TRUE(viewer.open(QIODevice::WriteOnly));
  viewer.close();
  EXPECT_EQ(TConfigDlg::ReplacementViewer(program.path()), "");  // not executable
  viewer.setPermissions(viewer.permissions() | QFileDevice::ExeOwner);
  EXPECT_EQ(TConfigDlg::ReplacementViewer(program.path()), viewer.fileName());

  TConfigDlg dlg;
  EXPECT_TRUE(Run(dlg, [&] {
    dlg.PageControl1->setCurrentIndex(1);
    // Answers the file dialog once it is up: types the path and clicks "Open".
    std::function<void()> answer = [&] {
      auto* open = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
      if (!open) {
        QTimer::singleShot(10, &dlg, answer);
        return;
      }
      EXPECT_TRUE(open->testOption(QFileDialog::DontUseNativeDialog));
      auto* name = open->findChild<QLineEdit*>("fileNameEdit");
      auto* buttons = open->findChild<QDialogButtonBox*>("buttonBox");
      if (!name || !buttons) {
        ADD_FAILURE() << "file dialog without name field or buttons";
        open->reject();
        return;
      }
      open->setDirectory(program.path());  // as if the user went there
      QTest::keyClicks(name, "zwillo-stereo3d");
      QTest::mouseClick(buttons->button(QDialogButtonBox::Open), Qt::LeftButton);
      if (open->isVisible()) {
        ADD_FAILURE() << "the file dialog did not take the name";
        open->reject();
      }
    };
    QTimer::singleShot(0, &dlg, answer);
    QTest::mouseClick(dlg.SpeedButton1, Qt::LeftButton);  // returns when the file dialog closed
    EXPECT_EQ(dlg.EdStereo3D->text(), viewer.fileName());
    QTest::mouseClick(dlg.BitBtn1, Qt::LeftButton);
  }));
  EXPECT_EQ(dlg.ELSAViewer(), viewer.fileName());
}


} // namespace
