#include <QBitmap>
#include <QWidget>
#include <gtest/gtest.h>

#include "pgraphic/view/companions.h"
#include "pgraphic/view/cursors.h"

// The four cursors: 32 x 32 bitmaps with their hot spots, drawn (some black,
// some white) and not all alike.
TEST(ViewCursors, BitmapsAndHotSpots) {
  const QPoint hot[] = {{16, 12}, {16, 12}, {15, 15}, {16, 15}};
  QImage seen[4];
  for (int i = 0; i < 4; ++i) {
    const QCursor c = PGCursor(static_cast<TPGCursor>(i));
    EXPECT_EQ(c.shape(), Qt::BitmapCursor);
    EXPECT_EQ(c.hotSpot(), hot[i]) << i;
    const QImage bits = c.bitmap().toImage(), mask = c.mask().toImage();
    ASSERT_EQ(bits.size(), QSize(32, 32));
    ASSERT_EQ(mask.size(), QSize(32, 32));
    seen[i] = bits.convertToFormat(QImage::Format_Grayscale8);
    for (int j = 0; j < i; ++j) EXPECT_NE(seen[i], seen[j]) << i << " like " << j;
  }
  // The cross-hair's centre is open.
  const QImage mask = PGCursor(pgcCrossHair).mask().toImage().convertToFormat(QImage::Format_Grayscale8);
  EXPECT_NE(mask.pixelColor(15, 15), mask.pixelColor(15, 6));
}

// A transparent label lets what lies beneath through; switched off it
// fills its background. Invalidating nested companions ends.
TEST(ViewCompanions, TransparencyAndNestedInvalidate) {
  QWidget parent;
  parent.resize(60, 40);
  QPalette red = parent.palette();
  red.setColor(QPalette::Window, QColor(200, 0, 0));
  parent.setPalette(red);
  parent.setAutoFillBackground(true);
  auto* group = new TPGGroupBox(&parent);
  group->setGeometry(0, 0, 60, 40);
  auto* label = new TPGLabel(group);
  label->setGeometry(30, 25, 20, 10);
  QPalette blue = label->palette();
  blue.setColor(QPalette::Window, QColor(0, 0, 200));
  label->setPalette(blue);
  EXPECT_TRUE(label->Transparent());
  QImage shot = parent.grab().toImage();
  EXPECT_EQ(shot.pixelColor(40, 30), shot.pixelColor(25, 30));
  EXPECT_EQ(shot.pixelColor(40, 30).blue(), 0);
  label->SetTransparent(false);
  EXPECT_EQ(parent.grab().toImage().pixelColor(40, 30), QColor(0, 0, 200));
  label->Invalidate();
  group->Invalidate();
  auto* bevel = new TPGBevel(&parent);
  bevel->SetTransparent(false);
  EXPECT_TRUE(bevel->Transparent());
}
