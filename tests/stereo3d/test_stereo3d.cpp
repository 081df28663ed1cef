// The replacement Stereo3D viewer: splitting the pair, the colour anaglyph, the
// four display modes read back from the rendered window, its keys and the
// messages for a missing or damaged hand-off file.
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include "app/stereo3d/stereo3dview.h"
#include "pgraphic/core/messages.h"

namespace {

// Distinct colours per pixel and half, so a swapped or shifted half shows.
QRgb LeftColor(int x, int y) { return qRgb(10 + 20 * x, 5 + 30 * y, 200); }
QRgb RightColor(int x, int y) { return qRgb(90, 250 - 20 * x, 7 + 35 * y); }

void FillPair(TPixelGraphic& pair, int halfWidth, int width, int height) {
  pair.SetSize(width, height, bc24Bit);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const QRgb c = x < halfWidth ? LeftColor(x, y) : x < 2 * halfWidth ? RightColor(x - halfWidth, y)
                                                                          : qRgb(255, 255, 255);
      pair.SetPixels(x, y, RGBColor(qRed(c), qGreen(c), qBlue(c)));
    }
}

QRgb At(const TPixelGraphic& g, int x, int y) {
  const uint32_t c = g.PixelColors(x, y);
  return qRgb(GetRValue(c), GetGValue(c), GetBValue(c));
}

// An 8 x 6 half on each side, written as the stereo program hands it over.
void WritePair(const QString& folder) {
  TPixelGraphic pair;
  FillPair(pair, 8, 16, 6);
  pair.SaveToFile(QDir(folder).filePath(HandOffFileName).toStdString());
}

QRgb Shown(const QImage& shot, int x, int y) { return shot.pixel(x, y) | 0xFF000000u; }

}  // namespace

TEST(Stereo3DPair, SplitsHalvesDropsOddColumnAndBuildsColourAnaglyph) {
  TPixelGraphic pair;
  FillPair(pair, 8, 17, 6);  // 17 wide: the last (white) column belongs to neither half
  TStereoHalves h = SplitHalves(pair);
  ASSERT_TRUE(h.Left && h.Right);
  EXPECT_EQ(h.Left->Width(), 8);
  EXPECT_EQ(h.Right->Width(), 8);
  EXPECT_EQ(h.Right->Height(), 6);
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 8; ++x) {
      ASSERT_EQ(At(*h.Left, x, y), LeftColor(x, y));
      ASSERT_EQ(At(*h.Right, x, y), RightColor(x, y));
    }
  auto ana = ColorAnaglyph(*h.Left, *h.Right);
  ASSERT_EQ(ana->Width(), 8);
  ASSERT_EQ(ana->Height(), 6);
  EXPECT_EQ(ana->BitCount(), bc24Bit);
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 8; ++x)
      ASSERT_EQ(At(*ana, x, y), qRgb(qRed(LeftColor(x, y)), qGreen(RightColor(x, y)), qBlue(RightColor(x, y))));

  TPixelGraphic narrow;
  narrow.SetSize(1, 4, bc24Bit);
  EXPECT_FALSE(SplitHalves(narrow).Left);
}

TEST(Stereo3DViewer, ModesDrawHalvesAnaglyphAndAlternatingFrames) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  WritePair(dir.path());
  TStereo3DViewer v;
  ASSERT_TRUE(v.LoadFromFolder(dir.path())) << v.ErrorMessage().toStdString();
  v.resize(160, 60);  // the pair fills it at 10 x 10 screen pixels per picture pixel
  EXPECT_EQ(v.Mode(), vmParallel);

  QImage shot = v.grab().toImage();
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 8; ++x) {
      ASSERT_EQ(Shown(shot, 10 * x + 5, 10 * y + 5), LeftColor(x, y));
      ASSERT_EQ(Shown(shot, 85 + 10 * x, 10 * y + 5), RightColor(x, y));
    }

  QTest::keyClick(&v, Qt::Key_2);
  EXPECT_EQ(v.Mode(), vmCrossed);
  shot = v.grab().toImage();
  EXPECT_EQ(Shown(shot, 5, 5), RightColor(0, 0));
  EXPECT_EQ(Shown(shot, 155, 55), LeftColor(7, 5));

  // One half's frame fitted into the window: 80 x 60 centred, black beside it.
  QTest::keyClick(&v, Qt::Key_3);
  EXPECT_EQ(v.Mode(), vmAnaglyph);
  shot = v.grab().toImage();
  EXPECT_EQ(Shown(shot, 39, 30), qRgb(0, 0, 0));
  EXPECT_EQ(Shown(shot, 120, 30), qRgb(0, 0, 0));
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 8; ++x)
      ASSERT_EQ(Shown(shot, 45 + 10 * x, 10 * y + 5),
                qRgb(qRed(LeftColor(x, y)), qGreen(RightColor(x, y)), qBlue(RightColor(x, y))));

  QTest::keyClick(&v, Qt::Key_4);
  EXPECT_EQ(v.Mode(), vmAlternate);
  EXPECT_FALSE(v.ShowingRight());
  EXPECT_EQ(Shown(v.grab().toImage(), 45, 5), LeftColor(0, 0));
  v.AdvanceFrame();
  EXPECT_TRUE(v.ShowingRight());
  EXPECT_EQ(Shown(v.grab().toImage(), 45, 5), RightColor(0, 0));
  v.AdvanceFrame();
  EXPECT_EQ(Shown(v.grab().toImage(), 45, 5), LeftColor(0, 0));
  EXPECT_GE(v.FrameInterval(), 1);

}

TEST(Stereo3DViewer, AlternatingTimerRunsOnlyWhileShownInThatMode) {
  QTemporaryDir dir;
  WritePair(dir.path());
  TStereo3DViewer v;
  ASSERT_TRUE(v.LoadFromFolder(dir.path()));
  v.show();
  auto* timer = v.findChild<QTimer*>("FrameTimer");
  ASSERT_NE(timer, nullptr);
  EXPECT_FALSE(timer->isActive());
  QTest::keyClick(&v, Qt::Key_4);
  EXPECT_TRUE(timer->isActive());
  EXPECT_EQ(timer->interval(), v.FrameInterval());
  const bool first = v.ShowingRight();
  QTRY_VERIFY_WITH_TIMEOUT(v.ShowingRight() != first, 2000);
  QTest::keyClick(&v, Qt::Key_3);
  EXPECT_FALSE(timer->isActive());
}

TEST(Stereo3DViewer, HelpFullScreenAndEscapeKeys) {
  TStereo3DViewer v;
  v.show();
  auto* help = v.findChild<QLabel*>("LbHelp");
  ASSERT_NE(help, nullptr);
  EXPECT_FALSE(v.HelpVisible());
  QTest::keyClick(&v, Qt::Key_F1);
  EXPECT_TRUE(v.HelpVisible());
  // The help lists every key and what the alternating mode needs.
  for (const char* s : {"F11", "Esc", "Kreuzblick", "Farb-Anaglyphenbild", "vertikale Synchronisation",
                        "synchronisiert", "ELSAVIEWER.BMP"})
    EXPECT_TRUE(help->text().contains(QString::fromUtf8(s))) << s;
  QTest::keyClick(&v, Qt::Key_H);
  EXPECT_FALSE(v.HelpVisible());

  QTest::keyClick(&v, Qt::Key_F);
  EXPECT_TRUE(v.isFullScreen());
  QTest::keyClick(&v, Qt::Key_F11);
  EXPECT_FALSE(v.isFullScreen());

  QTest::keyClick(&v, Qt::Key_Escape);
  EXPECT_FALSE(v.isVisible());
}

TEST(Stereo3DViewer, MissingAndDamagedFileShowGermanMessageAndWorkingDirectoryFileClearsIt) {
  const int language = MessageLanguage;
  MessageLanguage = 1;
  QTemporaryDir dir;
  TStereo3DViewer v;
  auto* message = v.findChild<QLabel*>("LbMessage");
  ASSERT_NE(message, nullptr);

  EXPECT_FALSE(v.LoadFromFolder(dir.path()));
  EXPECT_FALSE(v.Loaded());
  EXPECT_FALSE(message->isHidden());
  EXPECT_TRUE(message->text().contains("\"ELSAVIEWER.BMP\""));
  EXPECT_TRUE(message->text().contains("nicht gefunden"));
  EXPECT_EQ(v.grab().toImage().pixel(1, 1) | 0xFF000000u, qRgb(0, 0, 0));

  QFile bad(QDir(dir.path()).filePath(HandOffFileName));
  ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
  bad.write("BM\x10\x00\x00\x00 not a bitmap", 20);
  bad.close();
  EXPECT_FALSE(v.LoadFromFolder(dir.path()));
  EXPECT_TRUE(message->text().startsWith(QString::fromUtf8("Die Datei ")));
  EXPECT_TRUE(message->text().contains("konnte nicht gelesen werden"));
  EXPECT_GT(message->text().section('\n', 1).size(), 0);  // the reader's own reason follows

  // A good file, found in the working directory as the stereo program starts
  // the viewer there, clears the message.
  ASSERT_TRUE(QFile::remove(bad.fileName()));
  WritePair(dir.path());
  const QString previous = QDir::currentPath();
  ASSERT_TRUE(QDir::setCurrent(dir.path()));
  const bool loaded = v.LoadFromWorkingDirectory();
  QDir::setCurrent(previous);
  EXPECT_TRUE(loaded) << v.ErrorMessage().toStdString();
  EXPECT_TRUE(message->isHidden());
  EXPECT_TRUE(v.ErrorMessage().isEmpty());
  v.resize(160, 60);
  EXPECT_EQ(Shown(v.grab().toImage(), 85, 5), RightColor(0, 0));
  MessageLanguage = language;
}
