#include <gtest/gtest.h>

#include <cstring>

#include "pgraphic/core/messages.h"
#include "pgraphic/core/pixelgraphic.h"
#include "pgraphic/formats/settings.h"

namespace {

uint32_t LE32(const std::vector<uint8_t>& b, size_t at) {
  return uint32_t(b[at]) | (uint32_t(b[at + 1]) << 8) | (uint32_t(b[at + 2]) << 16) | (uint32_t(b[at + 3]) << 24);
}

void Pattern(TPixelGraphic& g, int w, int h, uint8_t bc, int paletteCount) {
  g.SetSize(w, h, bc);
  if (bc != bc24Bit) {
    g.SetPaletteCount(paletteCount);
    for (int i = 0; i < paletteCount; ++i) g.SetPaletteColor(i, RGBColor(i * 9, 255 - i, i * 31));
  }
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      g.SetPixels(x, y, bc == bc24Bit ? RGBColor(x * 20, y * 30, x + y) : uint32_t(x + 2 * y) % uint32_t(paletteCount));
}

} // namespace

// Save and load through a CF_DIB block at every resolution, including a
// palette shorter than the colour table: the block's layout, and the image
// coming back unchanged with the default gamma.
TEST(ClipboardFormat, PackedDibRoundTripEveryDepth) {
  struct Case {
    uint8_t bc;
    int count;
  } cases[] = {{bc1Bit, 2}, {bc4Bit, 16}, {bc4Bit, 5}, {bc8Bit, 256}, {bc8Bit, 20}, {bc24Bit, 0}};
  for (const Case& c : cases) {
    TPixelGraphic g;
    Pattern(g, 13, 7, c.bc, c.count);
    uint32_t format = 0, palette = 99;
    std::vector<uint8_t> block;
    g.SaveToClipboardFormat(format, block, palette);
    EXPECT_EQ(format, CF_DIB);
    EXPECT_EQ(palette, 0u);
    ASSERT_EQ(static_cast<int64_t>(block.size()), 4 * c.count + g.ByteSize() + 58);
    EXPECT_EQ(LE32(block, 0), 40u);
    EXPECT_EQ(LE32(block, 4), 13u);
    EXPECT_EQ(LE32(block, 8), 7u);  // positive: bottom-up
    EXPECT_EQ(block[14], g.BitCountNum());
    EXPECT_EQ(LE32(block, 20), static_cast<uint32_t>(g.ByteSize()));
    EXPECT_EQ(LE32(block, 32), static_cast<uint32_t>(c.count));  // biClrUsed
    EXPECT_EQ(0, std::memcmp(block.data() + 40 + 4 * c.count, g.Bits(), static_cast<size_t>(g.ByteSize())));

    TPixelGraphic back;
    back.SetGamma(1.0L);
    back.LoadFromClipboardFormat(format, block.data(), static_cast<int64_t>(block.size()), palette);
    EXPECT_EQ(back.Gamma(), PGDefaultGamma);
    ASSERT_EQ(back.BitCount(), g.BitCount());
    ASSERT_EQ(back.PaletteCount(), c.count);
    for (int i = 0; i < c.count; ++i) EXPECT_EQ(back.PaletteColors(i), g.PaletteColors(i));
    ASSERT_EQ(back.ByteSize(), g.ByteSize());
    EXPECT_EQ(0, std::memcmp(back.Bits(), g.Bits(), static_cast<size_t>(g.ByteSize())));
  }
}

// A palette image without palette entries still writes a readable block (its
// all-zero colour table), so the pixels survive the round trip.
TEST(ClipboardFormat, PaletteImageWithoutEntriesKeepsItsPixels) {
  TPixelGraphic g;
  g.SetSize(9, 3, bc8Bit);
  for (int x = 0; x < 9; ++x) g.SetPixels(x, 1, static_cast<uint32_t>(x * 7));
  uint32_t format, palette;
  std::vector<uint8_t> block;
  g.SaveToClipboardFormat(format, block, palette);
  EXPECT_EQ(LE32(block, 32), 256u);
  TPixelGraphic back;
  back.LoadFromClipboardFormat(format, block.data(), static_cast<int64_t>(block.size()));
  ASSERT_EQ(back.Width(), 9);
  for (int x = 0; x < 9; ++x) EXPECT_EQ(back.Pixels(x, 1), static_cast<uint32_t>(x * 7));
}

// Other formats, CF_BITMAP (a bitmap handle, not a packed bitmap), a missing
// block and a header of another size are refused.
TEST(ClipboardFormat, RefusesOtherFormatsAndHeaders) {
  TPixelGraphic g;
  Pattern(g, 4, 4, bc24Bit, 0);
  uint32_t format, palette;
  std::vector<uint8_t> block;
  g.SaveToClipboardFormat(format, block, palette);
  const int64_t n = static_cast<int64_t>(block.size());
  for (uint32_t f : {CF_BITMAP, 0u, 1u, 17u}) {
    try {
      g.LoadFromClipboardFormat(f, block.data(), n);
      ADD_FAILURE() << "format " << f << " accepted";
    } catch (const EPGUnknownClipboardFormat& e) {
      EXPECT_STREQ(e.what(), "Unknown clipboard format");
    }
  }
  EXPECT_THROW(g.LoadFromClipboardFormat(CF_DIB, nullptr, 0), EPGUnknownClipboardFormat);
  block[0] = 124;  // a version-5 header would be misread as an info header
  EXPECT_THROW(g.LoadFromClipboardFormat(CF_DIB, block.data(), n), EPGBMPFileFormatReader);
}
