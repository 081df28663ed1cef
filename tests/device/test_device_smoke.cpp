#include <QImage>
#include <QPainter>
#include <gtest/gtest.h>

// The Qt suites run headless: a painter on an image works without a display.
TEST(DeviceSuite, PaintsHeadless) {
  QImage img(4, 4, QImage::Format_RGB32);
  img.fill(Qt::black);
  QPainter p(&img);
  p.fillRect(0, 0, 2, 2, Qt::white);
  p.end();
  EXPECT_EQ(img.pixel(1, 1), qRgb(255, 255, 255));
  EXPECT_EQ(img.pixel(2, 2), qRgb(0, 0, 0));
}
