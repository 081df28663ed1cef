#include <QCoreApplication>
#include <QFile>
#include <QGuiApplication>
#include <QPainter>
#include <QPicture>
#include <QPrinter>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "device_test_util.h"
#include "pgraphic/device/print.h"

// 200 x 100 on a portrait page with square device pixels spans the page
// width and is centred vertically; drawn through a recording device (the
// path printers take) and replayed after the image is gone.
TEST(Print, PageSpansWidthCentredVertically) {
  TPixelGraphic g;
  devtest::FillPattern(g, 200, 100, bc8Bit);
  QPicture picture;
  QPainter rec(&picture);
  PrintPage(g, rec, 600, 800, 300, 300);
  rec.end();
  // The recording holds its own copy of the pixels.
  TPixelGraphic ref;
  ref.Assign(&g);
  g.SetSize(0, 0, bc24Bit);
  QImage page(600, 800, QImage::Format_RGB32);
  page.fill(0xFFFFFFFFu);
  QPainter play(&page);
  play.drawPicture(0, 0, picture);
  play.end();
  for (int x : {0, 1, 299, 598, 599})
    for (int y : {250, 251, 400, 548, 549})
      ASSERT_EQ(page.pixel(x, y), devtest::ToRgb(ref.PixelColors(x / 3, (y - 250) / 3))) << x << "," << y;
  for (int x : {0, 300, 599}) {
    EXPECT_EQ(page.pixel(x, 249), 0xFFFFFFFFu);
    EXPECT_EQ(page.pixel(x, 550), 0xFFFFFFFFu);
  }
}

// Into a PDF file: one landscape page for a wide image with the job title,
// the printer's own orientation restored afterwards; a printer that cannot
// start restores it as well and raises.
TEST(Print, PdfWithTitleAndOrientationRestored) {
  const QString oldName = QGuiApplication::applicationDisplayName();
  QGuiApplication::setApplicationDisplayName(QStringLiteral("Zwillo"));
  TPixelGraphic g;
  devtest::FillPattern(g, 200, 100, bc24Bit);
  EXPECT_EQ(PrintJobTitle(g), QStringLiteral("Zwillo Graphic 200x100x16777216"));
  QTemporaryDir dir;
  QPrinter printer(QPrinter::HighResolution);
  printer.setOutputFormat(QPrinter::PdfFormat);
  printer.setOutputFileName(dir.filePath(QStringLiteral("page.pdf")));
  printer.setPageSize(QPageSize(QPageSize::A4));
  printer.setPageOrientation(QPageLayout::Portrait);
  Print(g, printer, true);
  EXPECT_EQ(printer.pageLayout().orientation(), QPageLayout::Portrait);
  QFile pdf(dir.filePath(QStringLiteral("page.pdf")));
  ASSERT_TRUE(pdf.open(QIODevice::ReadOnly));
  const QByteArray bytes = pdf.readAll();
  EXPECT_TRUE(bytes.contains("/Count 1"));
  EXPECT_TRUE(bytes.contains("/MediaBox [0 0 841.") || bytes.contains("/MediaBox [0 0 842")) << "not landscape";
  EXPECT_TRUE(bytes.contains("/Width 200"));
  // The document title, as a UTF-16 string with its byte-order mark.
  QByteArray title("/Title (\xFE\xFF", 10);
  for (QChar ch : QStringLiteral("Zwillo Graphic 200x100x16777216")) title.append('\0').append(char(ch.unicode()));
  EXPECT_TRUE(bytes.contains(title));

  printer.setOutputFileName(dir.filePath(QStringLiteral("missing/folder/page.pdf")));
  EXPECT_THROW(Print(g, printer, true), EPixelGraphic);
  EXPECT_EQ(printer.pageLayout().orientation(), QPageLayout::Portrait);
  QGuiApplication::setApplicationDisplayName(oldName);
}
