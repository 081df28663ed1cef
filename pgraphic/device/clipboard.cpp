#include "pgraphic/device/clipboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QMimeData>

#include <vector>

#include "pgraphic/core/messages.h"
#include "pgraphic/device/drawing.h"
#include "pgraphic/formats/settings.h"

namespace {

const QString kBmpMime = QStringLiteral("image/bmp");

void PutLE32(char* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<char>(v >> (8 * i));
}

[[noreturn]] void Unknown() { throw EPGUnknownClipboardFormat(GetMessage(msgUnknownClipboardFormat)); }

// A 24-bit copy of an image Qt hands over (alpha is dropped).
void LoadFromQImage(TPixelGraphic& image, const QImage& source) {
  const QImage rgb = source.convertToFormat(QImage::Format_RGB32);
  image.BeginUpdate();
  try {
    image.SetSize(0, 0, bc24Bit);
    image.SetSize(rgb.width(), rgb.height(), bc24Bit);
    for (int y = 0; y < rgb.height(); ++y) {
      const QRgb* in = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
      uint8_t* o = image.ScanLine(y);
      for (int x = 0; x < rgb.width(); ++x, o += 3) {
        o[0] = static_cast<uint8_t>(qBlue(in[x]));
        o[1] = static_cast<uint8_t>(qGreen(in[x]));
        o[2] = static_cast<uint8_t>(qRed(in[x]));
      }
    }
    image.SetGamma(PGDefaultGamma);
    image.DetectPaletteIdent();
  } catch (...) {
    image.EndUpdate();
    throw;
  }
  image.EndUpdate();
}

} // namespace

QByteArray ClipboardBmp(TPixelGraphic& image) {
  uint32_t format, palette;
  std::vector<uint8_t> block;
  image.SaveToClipboardFormat(format, block, palette);
  // The block carries 18 bytes of allocation slack after the pixels; the
  // file holds exactly the header, colour table and pixels.
  const uint32_t entries = static_cast<uint32_t>(block[32]) | (static_cast<uint32_t>(block[33]) << 8);
  const uint32_t offBits = 14 + 40 + 4 * entries;
  const uint32_t fileSize = offBits + static_cast<uint32_t>(image.ByteSize());
  QByteArray bmp(14, '\0');
  bmp[0] = 'B';
  bmp[1] = 'M';
  PutLE32(bmp.data() + 2, fileSize);
  PutLE32(bmp.data() + 10, offBits);
  bmp.append(reinterpret_cast<const char*>(block.data()), static_cast<qsizetype>(fileSize - 14));
  return bmp;
}

QMimeData* ClipboardMimeData(TPixelGraphic& image) {
  auto* data = new QMimeData;
  data->setData(kBmpMime, ClipboardBmp(image));
  data->setImageData(ToQImage(image));
  return data;
}

void LoadFromMimeData(TPixelGraphic& image, const QMimeData* data) {
  if (!data) Unknown();
  if (data->hasFormat(kBmpMime)) {
    const QByteArray bmp = data->data(kBmpMime);
    if (bmp.size() > 14 && bmp[0] == 'B' && bmp[1] == 'M') {
      try {
        image.LoadFromClipboardFormat(CF_DIB, reinterpret_cast<const uint8_t*>(bmp.constData()) + 14,
                                      bmp.size() - 14);
        return;
      } catch (const EPixelGraphic&) {
        // A bitmap of a kind the library does not read (for example a
        // version-5 header from another program): the image form may serve.
        if (!data->hasImage()) throw;
      }
    }
  }
  if (data->hasImage()) {
    const QImage qimage = qvariant_cast<QImage>(data->imageData());
    if (!qimage.isNull()) {
      LoadFromQImage(image, qimage);
      return;
    }
  }
  Unknown();
}

void SaveToClipboard(TPixelGraphic& image, QClipboard* clipboard) {
  if (!clipboard) clipboard = QGuiApplication::clipboard();
  clipboard->setMimeData(ClipboardMimeData(image));
}

void LoadFromClipboard(TPixelGraphic& image, QClipboard* clipboard) {
  if (!clipboard) clipboard = QGuiApplication::clipboard();
  LoadFromMimeData(image, clipboard->mimeData());
}
