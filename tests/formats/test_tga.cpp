#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <random>
#include <vector>

#include "pgraphic/core/messages.h"
#include "pgraphic/formats/registry.h"
#include "pgraphic/formats/tga.h"
#include "platform/stream.h"
#include "format_test_util.h"

namespace {

using fmttest::Bytes;

struct TGASpec {
  uint8_t IDLength = 0, ColorMapType = 0, ImageType = 2;
  uint16_t FirstEntry = 0, MapLength = 0;
  uint8_t MapEntrySize = 0;
  uint16_t Width = 0, Height = 0;
  uint8_t Depth = 24, Descriptor = 0;
};

Bytes Header(const TGASpec& s) {
  Bytes h(18, 0);
  h[0] = s.IDLength;
  h[1] = s.ColorMapType;
  h[2] = s.ImageType;
  h[3] = static_cast<uint8_t>(s.FirstEntry);
  h[4] = static_cast<uint8_t>(s.FirstEntry >> 8);
  h[5] = static_cast<uint8_t>(s.MapLength);
  h[6] = static_cast<uint8_t>(s.MapLength >> 8);
  h[7] = s.MapEntrySize;
  h[12] = static_cast<uint8_t>(s.Width);
  h[13] = static_cast<uint8_t>(s.Width >> 8);
  h[14] = static_cast<uint8_t>(s.Height);
  h[15] = static_cast<uint8_t>(s.Height >> 8);
  h[16] = s.Depth;
  h[17] = s.Descriptor;
  for (int i = 0; i < s.IDLength; ++i) h.push_back(static_cast<uint8_t>('A' + i));
  return h;
}

using fmttest::Append;

void Load(const Bytes& data, TPixelGraphic& g) { fmttest::ReadFromMemory<TTGAFileFormatReader>(data, g); }

Bytes Save(TPixelGraphic& g) {
  TMemoryStream s;
  TTGAFileFormatWriter().WriteGraphic(s, g);
  return s.Data();
}

using fmttest::ExpectMessage;

// A 24-bit reference image whose colours differ in every channel.
TColorRef RefColor(int x, int y) { return RGBColor(x * 40 + 3, y * 70 + 5, (x * 13 + y * 29) & 0xFF); }

// File pixels of the reference image for a given origin, as the file stores
// them: rows from the origin's edge, pixels from its side.
Bytes RefPixels(int w, int h, int depth, uint8_t descriptor) {
  Bytes out;
  for (int n = 0; n < h; ++n) {
    const int y = (descriptor & 0x20) ? n : h - 1 - n;
    for (int i = 0; i < w; ++i) {
      const int x = (descriptor & 0x10) ? w - 1 - i : i;
      const TColorRef c = RefColor(x, y);
      out.push_back(static_cast<uint8_t>(GetBValue(c)));
      out.push_back(static_cast<uint8_t>(GetGValue(c)));
      out.push_back(static_cast<uint8_t>(GetRValue(c)));
      if (depth == 32) out.push_back(0x77);
    }
  }
  return out;
}

// Run-length encodes whole pixels greedily, packets free to cross rows.
Bytes EncodeRLE(const Bytes& pixels, int bpp, int maxPacket = 128) {
  Bytes out;
  const size_t n = pixels.size() / static_cast<size_t>(bpp);
  auto same = [&](size_t a, size_t b) {
    return std::memcmp(&pixels[a * static_cast<size_t>(bpp)], &pixels[b * static_cast<size_t>(bpp)],
                       static_cast<size_t>(bpp)) == 0;
  };
  size_t i = 0;
  while (i < n) {
    size_t run = 1;
    while (i + run < n && run < static_cast<size_t>(maxPacket) && same(i, i + run)) ++run;
    if (run > 1) {
      out.push_back(static_cast<uint8_t>(0x80 | (run - 1)));
      out.insert(out.end(), pixels.begin() + static_cast<long>(i * static_cast<size_t>(bpp)),
                 pixels.begin() + static_cast<long>((i + 1) * static_cast<size_t>(bpp)));
      i += run;
    } else {
      size_t raw = 1;
      while (i + raw < n && raw < static_cast<size_t>(maxPacket) && !(i + raw + 1 < n && same(i + raw, i + raw + 1)))
        ++raw;
      out.push_back(static_cast<uint8_t>(raw - 1));
      out.insert(out.end(), pixels.begin() + static_cast<long>(i * static_cast<size_t>(bpp)),
                 pixels.begin() + static_cast<long>((i + raw) * static_cast<size_t>(bpp)));
      i += raw;
    }
  }
  return out;
}

void ExpectReference(const TPixelGraphic& g, int w, int h) {
  ASSERT_EQ(g.Width(), w);
  ASSERT_EQ(g.Height(), h);
  ASSERT_EQ(g.BitCount(), bc24Bit);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) ASSERT_EQ(g.Pixels(x, y), RefColor(x, y)) << x << "," << y;
}

TEST(TGAReader, AllOriginsUncompressedAndRunLengthLoadUpright) {
  const int w = 5, h = 3;
  for (uint8_t descriptor : {0x00, 0x10, 0x20, 0x30}) {
    for (int depth : {24, 32}) {
      for (bool rle : {false, true}) {
        SCOPED_TRACE(::testing::Message() << "descriptor " << int(descriptor) << " depth " << depth << " rle " << rle);
        TGASpec s;
        s.Width = w;
        s.Height = h;
        s.Depth = static_cast<uint8_t>(depth);
        s.Descriptor = static_cast<uint8_t>(descriptor | (depth == 32 ? 8 : 0));
        s.ImageType = rle ? 10 : 2;
        Bytes file = Header(s);
        const Bytes px = RefPixels(w, h, depth, descriptor);
        Append(file, rle ? EncodeRLE(px, depth / 8) : px);
        TPixelGraphic g;
        Load(file, g);
        ExpectReference(g, w, h);
      }
    }
  }
}

TEST(TGAReader, RunLengthTopLeft32BitDropsAlpha) {
  // Long runs of one colour with varying alpha bytes: alpha must not leak.
  const int w = 300, h = 4;
  Bytes px;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const uint8_t v = static_cast<uint8_t>(x / 100 + 10 * y);
      px.insert(px.end(), {v, static_cast<uint8_t>(v + 1), static_cast<uint8_t>(v + 2), 0xFF});
    }
  TGASpec s;
  s.Width = w;
  s.Height = h;
  s.Depth = 32;
  s.ImageType = 10;
  s.Descriptor = 0x28;
  Bytes file = Header(s);
  Append(file, EncodeRLE(px, 4));
  TPixelGraphic g;
  Load(file, g);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const unsigned v = static_cast<unsigned>(x / 100 + 10 * y);
      ASSERT_EQ(g.Pixels(x, y), RGBColor(v + 2, v + 1, v));
    }
}

TEST(TGAReader, RunLengthPacketCarriesOverTheRowEnd) {
  // One run of 6 pixels and one raw packet of 4 pixels cover two rows of 5.
  TGASpec s;
  s.Width = 5;
  s.Height = 2;
  s.Depth = 8;
  s.ImageType = 11;
  s.Descriptor = 0x20;
  Bytes file = Header(s);
  Append(file, {0x85, 9, 0x03, 1, 2, 3, 4});
  TPixelGraphic g;
  Load(file, g);
  const uint32_t expect[2][5] = {{9, 9, 9, 9, 9}, {9, 1, 2, 3, 4}};
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 5; ++x) EXPECT_EQ(g.Pixels(x, y), expect[y][x]) << x << "," << y;
  // A packet running past the last row is cut off without harm.
  Bytes longRun = Header(s);
  Append(longRun, {0xFF, 7});
  Load(longRun, g);
  EXPECT_EQ(g.Pixels(4, 1), 7u);
}

TEST(TGAReader, FastPathMatchesPerPixelPath) {
  // The 8-bit and 24-bit uncompressed left-to-right files are read in place;
  // the same pixels as 32-bit and as run-length data take the per-pixel path.
  std::mt19937 rng(7);
  const int w = 67, h = 9;  // 67 * 3 is not a multiple of 4: storage rows are padded
  Bytes px24;
  for (int i = 0; i < w * h * 3; ++i) px24.push_back(static_cast<uint8_t>(rng()));
  Bytes px32;
  for (size_t i = 0; i < px24.size(); i += 3) px32.insert(px32.end(), {px24[i], px24[i + 1], px24[i + 2], 0});
  for (uint8_t descriptor : {0x00, 0x20}) {
    TGASpec s;
    s.Width = w;
    s.Height = h;
    s.Descriptor = descriptor;
    Bytes fast = Header(s);
    Append(fast, px24);
    s.Depth = 32;
    Bytes slow = Header(s);
    Append(slow, px32);
    s.Depth = 24;
    s.ImageType = 10;
    Bytes rle = Header(s);
    Append(rle, EncodeRLE(px24, 3));
    TPixelGraphic a, b, c;
    Load(fast, a);
    Load(slow, b);
    Load(rle, c);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        const int n = (descriptor & 0x20) ? y : h - 1 - y;
        const uint8_t* p = &px24[static_cast<size_t>((n * w + x) * 3)];
        const TColorRef expect = RGBColor(p[2], p[1], p[0]);
        ASSERT_EQ(a.Pixels(x, y), expect);
        ASSERT_EQ(b.Pixels(x, y), expect);
        ASSERT_EQ(c.Pixels(x, y), expect);
      }
  }
}

TEST(TGAReader, GreyImageGetsTheGreyPalette) {
  TGASpec s;
  s.ImageType = 3;
  s.Width = 4;
  s.Height = 1;
  s.Depth = 8;
  s.Descriptor = 0x10;  // right to left: the 8-bit per-pixel path
  Bytes file = Header(s);
  Append(file, {10, 20, 30, 40});
  TPixelGraphic g;
  Load(file, g);
  EXPECT_EQ(g.BitCount(), bc8Bit);
  EXPECT_EQ(g.PaletteIdent(), pGray256);
  EXPECT_EQ(g.PaletteCount(), 256);
  EXPECT_EQ(g.Pixels(0, 0), 40u);
  EXPECT_EQ(g.Pixels(3, 0), 10u);
  EXPECT_EQ(g.PixelColors(0, 0), RGBColor(40, 40, 40));
}

TEST(TGAReader, ColorMapsOf16_24And32Bits) {
  // Three entries, red, green and blue apart, in each entry size.
  const TColorRef colors[3] = {RGBColor(248, 0, 0), RGBColor(0, 248, 0), RGBColor(8, 16, 248)};
  for (int entrySize : {16, 24, 32}) {
    SCOPED_TRACE(entrySize);
    TGASpec s;
    s.ColorMapType = 1;
    s.ImageType = 1;
    s.MapLength = 3;
    s.MapEntrySize = static_cast<uint8_t>(entrySize);
    s.Width = 3;
    s.Height = 1;
    s.Depth = 8;
    s.IDLength = 3;
    Bytes file = Header(s);
    for (TColorRef c : colors) {
      const unsigned r = GetRValue(c), g = GetGValue(c), b = GetBValue(c);
      if (entrySize == 16) {
        const unsigned w = ((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3) | 0x8000;
        Append(file, {static_cast<uint8_t>(w), static_cast<uint8_t>(w >> 8)});
      } else {
        Append(file, {static_cast<uint8_t>(b), static_cast<uint8_t>(g), static_cast<uint8_t>(r)});
        if (entrySize == 32) file.push_back(0x55);
      }
    }
    Append(file, {2, 0, 1});
    TPixelGraphic g;
    Load(file, g);
    ASSERT_EQ(g.BitCount(), bc8Bit);
    ASSERT_EQ(g.PaletteCount(), 3);
    EXPECT_EQ(g.PixelColors(0, 0), colors[2]);
    EXPECT_EQ(g.PixelColors(1, 0), colors[0]);
    EXPECT_EQ(g.PixelColors(2, 0), colors[1]);
  }
}

TEST(TGAReader, ColorMapWithFirstEntryIndexAbove0) {
  // Entries 0, 1 of the file's map are indices 2, 3; indices below stay black.
  TGASpec s;
  s.ColorMapType = 1;
  s.ImageType = 1;
  s.FirstEntry = 2;
  s.MapLength = 2;
  s.MapEntrySize = 24;
  s.Width = 2;
  s.Height = 1;
  s.Depth = 8;
  Bytes file = Header(s);
  Append(file, {0, 0, 200, 0, 100, 0});
  Append(file, {2, 3});
  TPixelGraphic g;
  Load(file, g);
  ASSERT_EQ(g.PaletteCount(), 4);
  EXPECT_EQ(g.PaletteColors(0), 0u);
  EXPECT_EQ(g.PixelColors(0, 0), RGBColor(200, 0, 0));
  EXPECT_EQ(g.PixelColors(1, 0), RGBColor(0, 100, 0));
}

TEST(TGAReader, SixteenBitPixels) {
  TGASpec s;
  s.Width = 2;
  s.Height = 1;
  s.Depth = 16;
  Bytes file = Header(s);
  const unsigned a = (31u << 10) | (1u << 5) | 2u | 0x8000;  // bit 15 ignored
  const unsigned b = (3u << 10) | (31u << 5);
  Append(file, {static_cast<uint8_t>(a), static_cast<uint8_t>(a >> 8), static_cast<uint8_t>(b),
                static_cast<uint8_t>(b >> 8)});
  TPixelGraphic g;
  Load(file, g);
  ASSERT_EQ(g.BitCount(), bc24Bit);
  EXPECT_EQ(g.Pixels(0, 0), RGBColor(248, 8, 16));
  EXPECT_EQ(g.Pixels(1, 0), RGBColor(24, 248, 0));
}

TEST(TGAReader, TrueColorFileSkipsItsColorMap) {
  TGASpec s;
  s.ColorMapType = 1;
  s.MapLength = 2;
  s.MapEntrySize = 15;  // not read for a true-colour file, only skipped (2 * 15 div 8 = 3 bytes)
  s.Width = 1;
  s.Height = 1;
  Bytes file = Header(s);
  Append(file, {9, 9, 9, 1, 2, 3});
  TPixelGraphic g;
  Load(file, g);
  EXPECT_EQ(g.Pixels(0, 0), RGBColor(3, 2, 1));
}

TEST(TGAReader, Refusals) {
  TPixelGraphic g;
  TGASpec s;
  s.Width = 1;
  s.Height = 1;
  s.Depth = 15;
  ExpectMessage<EPGTGAFileFormatReader>([&] { Load(Header(s), g); }, "TGA: Not supported subformat");
  s.Depth = 8;
  s.ColorMapType = 1;
  s.MapLength = 1;
  s.MapEntrySize = 15;
  ExpectMessage<EPGTGAFileFormatReader>([&] { Load(Header(s), g); }, "TGA: Not supported subformat");
  const Bytes ok = [] {
    TGASpec t;
    t.Width = 1;
    t.Height = 1;
    Bytes f = Header(t);
    Append(f, {1, 2, 3});
    return f;
  }();
  ExpectMessage<EPGTGAFileFormatReader>(
      [&] {
        TReadOnlyMemoryStream st(ok.data(), static_cast<int64_t>(ok.size()));
        TTGAFileFormatReader().ReadGraphic(st, g, 1);
      },
      "TGA: Index invalid");
}

TEST(TGAReader, TruncatedData) {
  TGASpec s;
  s.Width = 4;
  s.Height = 4;
  Bytes raw = Header(s);
  Append(raw, Bytes(40, 1));  // 48 needed
  TPixelGraphic g;
  EXPECT_THROW(Load(raw, g), EReadError);
  EXPECT_EQ(g.Width(), 4);  // left as far as reading got
  EXPECT_EQ(g.Pixels(0, 3), RGBColor(1, 1, 1));

  s.ImageType = 10;
  Bytes rle = Header(s);
  Append(rle, {0x83, 1, 2, 3, 0x80});
  ExpectMessage<EPGTGAFileFormatReader>([&] { Load(rle, g); }, "TGA: Unexpected end of file");
}

TEST(TGAInfo, TextsByImageType) {
  struct Case {
    uint8_t type, depth;
    const char *details, *kind, *colors;
  };
  const Case cases[] = {
      {1, 8, "Uncompressed", "Color-mapped", "256"},
      {2, 16, "Uncompressed", "True-color", "65536"},
      {3, 8, "Uncompressed", "\"Black-and-white\"", "256"},
      {9, 8, "Run-length encoded", "Color-mapped", "256"},
      {10, 24, "Run-length encoded", "True-color", "16.7M"},
      {11, 8, "Run-length encoded", "\"Black-and-white\"", "256"},
      {2, 32, "Uncompressed", "True-color", "16.7M ?"},
  };
  for (const Case& c : cases) {
    TGASpec s;
    s.ImageType = c.type;
    s.Depth = c.depth;
    s.Width = 640;
    s.Height = 480;
    const Bytes file = Header(s);
    TReadOnlyMemoryStream st(file.data(), static_cast<int64_t>(file.size()));
    TPGFileInfo info;
    TTGAFileFormatReader().GetInfo(st, 0, info);
    EXPECT_EQ(info.DetailsText, c.details);
    EXPECT_EQ(info.KindText, c.kind);
    EXPECT_EQ(info.ColorsText, c.colors);
    EXPECT_EQ(info.BitsPerPixel, c.depth);
    EXPECT_EQ(info.Width, 640);
    EXPECT_EQ(info.Height, 480);
    EXPECT_EQ(info.ImageCount, 1);
  }
  TGASpec s;
  s.ImageType = 0;
  const Bytes file = Header(s);
  TPGFileInfo info;
  ExpectMessage<EPGTGAFileFormatReader>(
      [&] {
        TReadOnlyMemoryStream st(file.data(), static_cast<int64_t>(file.size()));
        TTGAFileFormatReader().GetInfo(st, 0, info);
      },
      "TGA: Invalid value for ImageType");
  ExpectMessage<EPGTGAFileFormatReader>(
      [&] {
        TReadOnlyMemoryStream st(file.data(), static_cast<int64_t>(file.size()));
        TTGAFileFormatReader().GetInfo(st, 1, info);
      },
      "TGA: Invalid value for Index");
}

TEST(TGAWriter, TrueColorRoundTripAndHeader) {
  std::mt19937 rng(3);
  TPixelGraphic g;
  g.SetSize(13, 7, bc24Bit);
  for (int y = 0; y < 7; ++y)
    for (int x = 0; x < 13; ++x) g.SetPixels(x, y, rng() & 0xFFFFFF);
  const Bytes file = Save(g);
  ASSERT_EQ(file.size(), 18u + 13 * 7 * 3);
  EXPECT_EQ(file[1], 0);
  EXPECT_EQ(file[2], 2);
  EXPECT_EQ(file[12], 13);
  EXPECT_EQ(file[14], 7);
  EXPECT_EQ(file[16], 24);
  EXPECT_EQ(file[17], 0);
  // First pixel in the file: bottom-left, blue first.
  const TColorRef bl = g.Pixels(0, 6);
  EXPECT_EQ(file[18], GetBValue(bl));
  EXPECT_EQ(file[20], GetRValue(bl));
  TPixelGraphic back;
  Load(file, back);
  ASSERT_EQ(back.BitCount(), bc24Bit);
  for (int y = 0; y < 7; ++y)
    for (int x = 0; x < 13; ++x) ASSERT_EQ(back.Pixels(x, y), g.Pixels(x, y));
}

TEST(TGAWriter, ColorMappedRoundTripForEveryPaletteDepth) {
  std::mt19937 rng(5);
  for (uint8_t bc : {bc1Bit, bc4Bit, bc8Bit}) {
    SCOPED_TRACE(int(bc));
    TPixelGraphic g;
    g.SetSize(11, 5, bc);
    const int size = g.PaletteSize();
    g.SetPaletteCount(size);
    for (int i = 0; i < size; ++i) g.SetPaletteColor(i, rng() & 0xFFFFFF);
    for (int y = 0; y < 5; ++y)
      for (int x = 0; x < 11; ++x) g.SetPixels(x, y, rng() % static_cast<unsigned>(size));
    const Bytes file = Save(g);
    EXPECT_EQ(file[1], 1);
    EXPECT_EQ(file[2], 1);
    EXPECT_EQ(file[5] | (file[6] << 8), size);
    EXPECT_EQ(file[7], 24);
    EXPECT_EQ(file[16], 8);
    EXPECT_EQ(file.size(), 18u + 3u * static_cast<unsigned>(size) + 11 * 5);
    TPixelGraphic back;
    Load(file, back);
    ASSERT_EQ(back.BitCount(), bc8Bit);
    ASSERT_EQ(back.PaletteCount(), size);
    for (int y = 0; y < 5; ++y)
      for (int x = 0; x < 11; ++x) {
        ASSERT_EQ(back.Pixels(x, y), g.Pixels(x, y));
        ASSERT_EQ(back.PixelColors(x, y), g.PixelColors(x, y));
      }
  }
}

TEST(TGAWriter, ShortPaletteRepeatsEntry0AndProgressReportsRows) {
  TPixelGraphic g;
  g.SetSize(2, 3, bc8Bit);
  g.SetPaletteCount(2);
  g.SetPaletteColor(0, RGBColor(1, 2, 3));
  g.SetPaletteColor(1, RGBColor(4, 5, 6));
  std::vector<int> steps;
  TObject* sender = nullptr;
  g.OnProgress = [&](TObject* s, int step, int max, bool&) {
    steps.push_back(step);
    sender = s;
    EXPECT_EQ(max, 3);
  };
  const Bytes file = Save(g);
  EXPECT_EQ(steps, (std::vector<int>{0, 1, 2}));
  EXPECT_EQ(sender, &g);
  ASSERT_EQ(file.size(), 18u + 768 + 6);
  EXPECT_EQ(file[18 + 3 * 200], 3);  // entry 200 = entry 0, blue first
  EXPECT_EQ(file[18 + 3 * 200 + 2], 1);
}

TEST(TGAWriter, EmptyImageWritesHeaderOnly) {
  TPixelGraphic g;
  const Bytes file = Save(g);
  EXPECT_EQ(file.size(), 18u);
  TPixelGraphic back;
  Load(file, back);
  EXPECT_TRUE(back.Empty());
}

TEST(TGAFormats, Registration) {
  TPGFormatLists lists;
  RegisterTGAFormats(lists);
  ASSERT_EQ(lists.Readers.size(), 1u);
  ASSERT_EQ(lists.Writers.size(), 1u);
  EXPECT_FALSE(lists.Readers[0]->DetectsByContent);
  EXPECT_EQ(lists.Readers[0]->Extension, "tga");
  EXPECT_EQ(lists.Readers[0]->Description, "Truevision Targa");
  EXPECT_EQ(lists.Writers[0]->CanWriteResolutions, (1 << 6) | (1 << 7));
  EXPECT_STREQ(lists.Writers[0]->ClassName(), "TTGAFileFormatWriter");
  uint8_t header[17] = {0, 0, 2};
  EXPECT_FALSE(lists.Readers[0]->IsFormat(header));
}

}  // namespace

namespace {

TEST(TGARegistry, ChosenByExtensionOnly) {
  TGASpec s;
  s.Width = 2;
  s.Height = 1;
  Bytes file = Header(s);
  Append(file, {1, 2, 3, 4, 5, 6});
  TPixelGraphic g;
  TReadOnlyMemoryStream a(file.data(), static_cast<int64_t>(file.size()));
  g.LoadStreamAs(a, "TGA", 0);
  EXPECT_EQ(g.Pixels(1, 0), RGBColor(6, 5, 4));
  TReadOnlyMemoryStream b(file.data(), static_cast<int64_t>(file.size()));
  ExpectMessage<EPGUnknownFileFormat>([&] { g.LoadStreamAs(b, "dat", 0); }, "Unknown file format");
}

TEST(TGARegistry, TenByteImageIDIsNotTakenForPaintbrush) {
  // An image ID of 10 bytes (often a file name) makes the first byte 0x0A, the
  // Paintbrush signature; the file is still read as Targa by its extension.
  const int w = 3, h = 2;
  for (uint8_t type : {1, 2, 9, 10}) {
    SCOPED_TRACE(static_cast<int>(type));
    const bool mapped = (type & 7) == 1;
    TGASpec s;
    s.IDLength = 10;
    s.ImageType = type;
    s.Width = w;
    s.Height = h;
    Bytes pixels = RefPixels(w, h, 24, 0);
    Bytes file;
    if (mapped) {
      s.ColorMapType = 1;
      s.MapLength = w * h;
      s.MapEntrySize = 24;
      s.Depth = 8;
      file = Header(s);
      // Entry i is pixel i of the file, bottom row first.
      Append(file, pixels);
      pixels.clear();
      for (int i = 0; i < w * h; ++i) pixels.push_back(static_cast<uint8_t>(i));
    } else {
      file = Header(s);
    }
    Append(file, (type & 8) ? EncodeRLE(pixels, mapped ? 1 : 3) : pixels);
    ASSERT_EQ(file[0], 0x0A);

    TPixelGraphic g;
    TReadOnlyMemoryStream a(file.data(), static_cast<int64_t>(file.size()));
    g.LoadStreamAs(a, "tga", 0);
    ASSERT_EQ(g.Width(), w);
    EXPECT_EQ(g.BitCount(), mapped ? bc8Bit : bc24Bit);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) EXPECT_EQ(g.PixelColors(x, y), RefColor(x, y)) << x << "," << y;
    TReadOnlyMemoryStream b(file.data(), static_cast<int64_t>(file.size()));
    std::string description;
    TPGFileInfo info;
    EXPECT_TRUE(GetStreamInfo(b, "TGA", 0, description, info));
    EXPECT_EQ(description, "Truevision Targa");
    TReadOnlyMemoryStream c(file.data(), static_cast<int64_t>(file.size()));
    ExpectMessage<EPGUnknownFileFormat>([&] { g.LoadStreamAs(c, "dat", 0); }, "Unknown file format");
  }
}

TEST(TGARegistry, NoWellFormedTargaHeaderIsClaimedByASignature) {
  // Every image ID length with every consistent pair of colour map type (0 or
  // 1, the second byte) and image type: the content pass finds nothing, so the
  // extension decides. The signatures' second bytes ("BM", FF D8, the PNG
  // signature, "P1".."P6", "II", "MM") are never 0 or 1, and a PCX version of
  // 0 with encoding 1 would need a colour-mapped image without a colour map.
  const struct {
    uint8_t mapType, imageType, depth;
  } kinds[] = {{1, 1, 8}, {1, 9, 8}, {0, 2, 24}, {0, 10, 32}, {0, 3, 8}, {0, 11, 8}, {1, 2, 24}, {1, 10, 16}};
  for (int id = 0; id < 256; ++id)
    for (const auto& k : kinds) {
      TGASpec s;
      s.IDLength = static_cast<uint8_t>(id);
      s.ColorMapType = k.mapType;
      s.ImageType = k.imageType;
      s.Depth = k.depth;
      s.Width = 640;
      s.Height = 480;
      if (k.mapType == 1) {
        s.MapLength = 256;
        s.MapEntrySize = 24;
      }
      const Bytes file = Header(s);
      TReadOnlyMemoryStream stream(file.data(), static_cast<int64_t>(file.size()));
      const TFileFormatReader* reader = FindFileFormatReader(stream, "tga");
      ASSERT_NE(reader, nullptr);
      EXPECT_EQ(reader->Extension, "tga") << "ID length " << id << ", image type " << int(k.imageType);
    }
}

TEST(TGARegistry, GreyImageIsSavedColorMapped) {
  TPixelGraphic g;
  g.SetSize(4, 2, bc8Bit);
  g.SetPaletteIdent(pGray256);
  g.SetSaveColorResWarningAction(pgwaIgnore);
  TMemoryStream s;
  g.SaveStreamAs(s, "tga");
  ASSERT_GE(s.Size(), 18);
  EXPECT_EQ(s.Data()[1], 1);  // colour map present
  EXPECT_EQ(s.Data()[2], 1);  // colour-mapped
  EXPECT_EQ(s.Data()[16], 8);
  EXPECT_EQ(g.BitCount(), bc8Bit);  // the image itself is not converted
  EXPECT_EQ(g.PaletteIdent(), pGray256);

  TPixelGraphic rgb;
  rgb.SetSize(1, 1, bc24Bit);
  TMemoryStream t;
  rgb.SaveStreamAs(t, "tga");
  EXPECT_EQ(t.Data()[2], 2);
  EXPECT_EQ(t.Size(), 18 + 3);
}

}  // namespace
