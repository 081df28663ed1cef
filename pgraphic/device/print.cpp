#include "pgraphic/device/print.h"

#include <QGuiApplication>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>

#include "pgraphic/core/messages.h"
#include "pgraphic/core/printing.h"
#include "pgraphic/device/drawing.h"

QString PrintJobTitle(const TPixelGraphic& image) {
  return QGuiApplication::applicationDisplayName() + QStringLiteral(" Graphic ") + QString::number(image.Width()) +
         QStringLiteral("x") + QString::number(image.Height()) + QStringLiteral("x") +
         QString::number(qint64(1) << image.BitCountNum());
}

void PrintPage(const TPixelGraphic& image, QPainter& painter, int pageWidth, int pageHeight, int dpiX, int dpiY) {
  // A device pixel's relative width grows as the horizontal resolution falls:
  // aspect X : aspect Y = dpiY : dpiX.
  const TPGPageRect r = PGPrintPageRect(image.Width(), image.Height(), pageWidth, pageHeight, dpiY, dpiX);
  if (r.Right <= r.Left || r.Bottom <= r.Top) return;
  StretchDraw(painter, Rect(r.Left, r.Top, r.Right, r.Bottom), image);
}

void Print(const TPixelGraphic& image, QPrinter& printer, bool autoOrientation) {
  if (image.Empty()) return;
  const QPageLayout::Orientation remembered = printer.pageLayout().orientation();
  try {
    if (autoOrientation) {
      if (image.Width() > image.Height()) printer.setPageOrientation(QPageLayout::Landscape);
      if (image.Width() < image.Height()) printer.setPageOrientation(QPageLayout::Portrait);
    }
    printer.setDocName(PrintJobTitle(image));
    QPainter painter;
    if (!painter.begin(&printer)) throw EPixelGraphic(GetMessage1(msgFailed, "BeginDoc"));
    try {
      PrintPage(image, painter, printer.width(), printer.height(), printer.logicalDpiX(), printer.logicalDpiY());
    } catch (...) {
      printer.abort();
      painter.end();
      throw;
    }
    painter.end();
  } catch (...) {
    printer.setPageOrientation(remembered);
    throw;
  }
  printer.setPageOrientation(remembered);
}

void Print(const TPixelGraphic& image, bool showDialog, bool autoOrientation, QWidget* owner) {
  if (image.Empty()) return;
  QPrinter printer(QPrinter::HighResolution);
  if (showDialog) {
    QPrintDialog dialog(&printer, owner);
    if (dialog.exec() != QDialog::Accepted) return;
  }
  Print(image, printer, autoOrientation);
}
