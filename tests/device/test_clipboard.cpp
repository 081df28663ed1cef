#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <cstring>
#include <gtest/gtest.h>

#include "device_test_util.h"
#include "pgraphic/device/clipboard.h"

namespace {

void ExpectSame(const TPixelGraphic& a, const TPixelGraphic& b) {
  ASSERT_EQ(a.Width(), b.Width());
  ASSERT_EQ(a.Height(), b.Height());
  ASSERT_EQ(a.BitCount(), b.BitCount());
  ASSERT_EQ(a.PaletteCount(), b.PaletteCount());
  for (int i = 0; i < a.PaletteCount(); ++i) EXPECT_EQ(a.PaletteColors(i), b.PaletteColors(i));
  EXPECT_EQ(0, std::memcmp(a.Bits(), b.Bits(), static_cast<size_t>(a.ByteSize())));
}

} // namespace

// Through the system clipboard at every resolution: the BMP form comes back
// exactly; the image form alone gives the same colours at 24 bit.
TEST(Clipboard, RoundTripEveryDepthBothForms) {
  for (uint8_t bc : {bc1Bit, bc4Bit, bc8Bit, bc24Bit}) {
    TPixelGraphic g;
    devtest::FillPattern(g, 9, 5, bc);
    SaveToClipboard(g);
    const QMimeData* offered = QGuiApplication::clipboard()->mimeData();
    ASSERT_NE(offered, nullptr);
    const QByteArray bmp = offered->data(QStringLiteral("image/bmp"));
    ASSERT_GE(bmp.size(), 54);
    EXPECT_EQ(bmp.left(2), QByteArray("BM"));
    EXPECT_EQ(static_cast<uint8_t>(bmp[2]) | (static_cast<uint8_t>(bmp[3]) << 8), bmp.size());
    TPixelGraphic back;
    LoadFromClipboard(back);
    ExpectSame(g, back);

    auto* imageOnly = new QMimeData;
    imageOnly->setImageData(offered->imageData());
    QGuiApplication::clipboard()->setMimeData(imageOnly);
    TPixelGraphic fromImage;
    LoadFromClipboard(fromImage);
    ASSERT_EQ(fromImage.BitCount(), bc24Bit);
    for (int y = 0; y < 5; ++y)
      for (int x = 0; x < 9; ++x) ASSERT_EQ(fromImage.PixelColors(x, y), g.PixelColors(x, y));
  }
}

// Text, an empty clipboard, no mime data at all, and a broken bitmap without
// an image beside it.
TEST(Clipboard, OtherContentIsAnUnknownFormat) {
  TPixelGraphic g;
  QGuiApplication::clipboard()->setText(QStringLiteral("no picture"));
  EXPECT_THROW(LoadFromClipboard(g), EPGUnknownClipboardFormat);
  QGuiApplication::clipboard()->clear();
  EXPECT_THROW(LoadFromClipboard(g), EPGUnknownClipboardFormat);
  try {
    LoadFromMimeData(g, nullptr);
    ADD_FAILURE();
  } catch (const EPGUnknownClipboardFormat& e) {
    EXPECT_STREQ(e.what(), "Unknown clipboard format");
  }
  QMimeData broken;
  broken.setData(QStringLiteral("image/bmp"), QByteArray("BM"));
  EXPECT_THROW(LoadFromMimeData(g, &broken), EPGUnknownClipboardFormat);
}
