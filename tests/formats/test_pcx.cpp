#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "pgraphic/core/palettes.h"
#include "pgraphic/formats/pcx.h"
#include "platform/stream.h"
#include "format_test_util.h"

namespace {

using fmttest::Bytes;

struct PCXSpec {
  uint8_t Version = 5, Bits = 8, Planes = 1, Reserved = 0;
  uint16_t XMin = 0, YMin = 0, XMax = 0, YMax = 0, BytesPerLine = 0, PaletteInfo = 1;
  uint8_t ColorMap[48] = {};
};

Bytes Header(const PCXSpec& s) {
  Bytes h(128, 0);
  h[0] = 0x0A;
  h[1] = s.Version;
  h[2] = 1;
  h[3] = s.Bits;
  auto put = [&](int at, uint16_t v) {
    h[static_cast<size_t>(at)] = static_cast<uint8_t>(v);
    h[static_cast<size_t>(at) + 1] = static_cast<uint8_t>(v >> 8);
  };
  put(4, s.XMin);
  put(6, s.YMin);
  put(8, s.XMax);
  put(10, s.YMax);
  std::memcpy(&h[16], s.ColorMap, 48);
  h[64] = s.Reserved;
  h[65] = s.Planes;
  put(66, s.BytesPerLine);
  put(68, s.PaletteInfo);
  return h;
}

// Run-length encodes each scan line on its own, as PCX writers do.
Bytes EncodeLines(const Bytes& raw, size_t lineLength) {
  Bytes out;
  for (size_t start = 0; start < raw.size(); start += lineLength) {
    size_t i = start;
    const size_t end = start + lineLength;
    while (i < end) {
      size_t run = 1;
      while (i + run < end && run < 63 && raw[i + run] == raw[i]) ++run;
      if (run > 1 || raw[i] >= 0xC0) {
        out.push_back(static_cast<uint8_t>(0xC0 | run));
        out.push_back(raw[i]);
      } else {
        out.push_back(raw[i]);
      }
      i += run;
    }
  }
  return out;
}

using fmttest::Append;

void Load(const Bytes& data, TPixelGraphic& g, int index = 0) { fmttest::ReadFromMemory<TPCXFileFormatReader>(data, g, index); }

using fmttest::ExpectMessage;

Bytes Palette256(uint8_t marker = 0x0C) {
  Bytes p{marker};
  for (int i = 0; i < 256; ++i) Append(p, {static_cast<uint8_t>(i), static_cast<uint8_t>(255 - i), 7});
  return p;
}

TEST(PCXReader, TwentyFourBitPlanesByLDiv3WithOddBytesPerLine) {
  // Width 4, bytes per line 5 (odd, one more than the width): L = 15, planes at
  // 0, 5, 10. Locating planes by the width (0, 4, 8) would mix the colours.
  PCXSpec s;
  s.Planes = 3;
  s.XMax = 3;
  s.YMax = 1;
  s.BytesPerLine = 5;
  Bytes raw;
  for (int y = 0; y < 2; ++y)
    for (int plane = 0; plane < 3; ++plane)
      for (int x = 0; x < 5; ++x) raw.push_back(static_cast<uint8_t>(x < 4 ? 10 * plane + x + 100 * y : 0xEE));
  Bytes file = Header(s);
  Append(file, EncodeLines(raw, 15));
  TPixelGraphic g;
  Load(file, g);
  ASSERT_EQ(g.BitCount(), bc24Bit);
  ASSERT_EQ(g.Width(), 4);
  ASSERT_EQ(g.Height(), 2);
  for (int y = 0; y < 2; ++y)
    for (unsigned x = 0; x < 4; ++x)
      EXPECT_EQ(g.Pixels(static_cast<int>(x), y), RGBColor(x + 100 * y, 10 + x + 100 * y, 20 + x + 100 * y));
}

TEST(PCXReader, EightBitWithTrailingPalette) {
  PCXSpec s;
  s.XMin = 10;
  s.XMax = 12;  // width 3
  s.YMax = 0;
  s.BytesPerLine = 4;
  Bytes file = Header(s);
  Append(file, {0xC2, 200, 5, 0});  // run 200, 200; 5; padding 0
  Append(file, Palette256());
  TPixelGraphic g;
  TReadOnlyMemoryStream st(file.data(), static_cast<int64_t>(file.size()));
  TPCXFileFormatReader().ReadGraphic(st, g, 0);
  ASSERT_EQ(g.BitCount(), bc8Bit);
  ASSERT_EQ(g.PaletteCount(), 256);
  EXPECT_EQ(g.Pixels(0, 0), 200u);
  EXPECT_EQ(g.Pixels(2, 0), 5u);
  EXPECT_EQ(g.PixelColors(2, 0), RGBColor(5, 250, 7));
  // The palette is read from the end, and the scan lines from where the header ended.
  EXPECT_GE(st.Position(), 128 + 4);
}

TEST(PCXReader, MissingPaletteMarkerRestoresPosition) {
  PCXSpec s;
  s.XMax = 2;
  s.BytesPerLine = 4;
  Bytes file = Header(s);
  Append(file, {1, 2, 3, 4});
  Append(file, Palette256(0x0B));
  TReadOnlyMemoryStream st(file.data(), static_cast<int64_t>(file.size()));
  TPixelGraphic g;
  ExpectMessage<EPGPCXFileFormatReader>([&] { TPCXFileFormatReader().ReadGraphic(st, g, 0); },
                                        "PCX: Unknown subformat");
  EXPECT_EQ(st.Position(), 128);
  // A file too short to hold a palette at all.
  const Bytes tiny = Header(s);
  TReadOnlyMemoryStream st2(tiny.data(), static_cast<int64_t>(tiny.size()));
  ExpectMessage<EPGPCXFileFormatReader>([&] { TPCXFileFormatReader().ReadGraphic(st2, g, 0); },
                                        "PCX: Unknown subformat");
  EXPECT_EQ(st2.Position(), 128);
}

TEST(PCXReader, RunSpanningTheLineEndLosesItsSurplus) {
  PCXSpec s;
  s.XMax = 3;
  s.YMax = 1;
  s.BytesPerLine = 4;
  Bytes file = Header(s);
  // Line 0: 1, 2, then a run of 5 x 9 of which only 2 fit. Line 1: 3, 4, 5, 6.
  Append(file, {1, 2, 0xC5, 9, 3, 4, 5, 6});
  Append(file, Palette256());
  TPixelGraphic g;
  Load(file, g);
  const uint32_t expect[2][4] = {{1, 2, 9, 9}, {3, 4, 5, 6}};
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 4; ++x) EXPECT_EQ(g.Pixels(x, y), expect[y][x]) << x << "," << y;
}

TEST(PCXReader, SixteenColorsVersion3SystemPaletteElseHeaderMap) {
  // Width 3: pixel values 0b0101 = 5, 0b1010 = 10, 0b1111 = 15 from four planes.
  PCXSpec s;
  s.Bits = 1;
  s.Planes = 4;
  s.XMax = 2;
  s.BytesPerLine = 2;  // L = 8, planes at 0, 2, 4, 6
  for (int i = 0; i < 16; ++i) {
    s.ColorMap[3 * i] = static_cast<uint8_t>(i * 16);
    s.ColorMap[3 * i + 1] = static_cast<uint8_t>(i);
    s.ColorMap[3 * i + 2] = 99;
  }
  const Bytes planes = {0xA0, 0xFF, 0x60, 0xFF, 0xA0, 0xFF, 0x60, 0xFF};
  for (uint8_t version : {3, 5}) {
    s.Version = version;
    Bytes file = Header(s);
    Append(file, EncodeLines(planes, 8));
    TPixelGraphic g;
    Load(file, g);
    ASSERT_EQ(g.BitCount(), bc4Bit);
    EXPECT_EQ(g.Pixels(0, 0), 5u);
    EXPECT_EQ(g.Pixels(1, 0), 10u);
    EXPECT_EQ(g.Pixels(2, 0), 15u);
    if (version == 3) {
      EXPECT_EQ(g.PaletteIdent(), pSys16);
      EXPECT_EQ(g.PaletteColors(5), pg::SystemColors16[5]);
    } else {
      EXPECT_EQ(g.PaletteCount(), 16);
      EXPECT_EQ(g.PaletteColors(10), RGBColor(160, 10, 99));
    }
  }
}

TEST(PCXReader, OneBitRowsAndPadding) {
  // Width 32: every byte of the 4-byte storage row is pixel data, and nothing
  // may be cleared past it. Width 12: bits past the width are cleared.
  for (uint16_t width : {32, 12}) {
    PCXSpec s;
    s.Bits = 1;
    s.Planes = 1;
    s.XMax = static_cast<uint16_t>(width - 1);
    s.YMax = 1;
    s.BytesPerLine = 6;
    Bytes raw = {0xF0, 0x0F, 0xAA, 0x55, 0x77, 0x77, 0x11, 0x22, 0x33, 0x44, 0x77, 0x77};
    Bytes file = Header(s);
    Append(file, EncodeLines(raw, 6));
    TPixelGraphic g;
    Load(file, g);
    ASSERT_EQ(g.BitCount(), bc1Bit);
    EXPECT_EQ(g.PaletteIdent(), pBlackWhite);
    if (width == 32) {
      EXPECT_EQ(std::memcmp(g.ScanLine(0), raw.data(), 4), 0);
      EXPECT_EQ(std::memcmp(g.ScanLine(1), raw.data() + 6, 4), 0);
    } else {
      EXPECT_EQ(g.ScanLine(0)[0], 0xF0);
      EXPECT_EQ(g.ScanLine(0)[1], 0x00);
      EXPECT_EQ(g.ScanLine(1)[1], 0x20);
    }
  }
}

TEST(PCXReader, BytesPerLineTooSmallForTheWidth) {
  // Bytes per line 1 for a width of 50: the missing pixels read as zero, and
  // nothing outside the line buffer is touched (checked under the sanitizer).
  for (auto [bits, planes] : {std::pair{8, 3}, {8, 1}, {1, 4}, {1, 1}}) {
    PCXSpec s;
    s.Bits = static_cast<uint8_t>(bits);
    s.Planes = static_cast<uint8_t>(planes);
    s.XMax = 49;
    s.YMax = 2;
    s.BytesPerLine = 1;
    Bytes file = Header(s);
    Append(file, Bytes(3 * planes, 0x3F));
    if (bits == 8 && planes == 1) Append(file, Palette256());
    TPixelGraphic g;
    Load(file, g);
    EXPECT_EQ(g.Width(), 50);
    EXPECT_EQ(g.Pixels(49, 2) & 0xFF, 0u);
  }
}

TEST(PCXReader, Refusals) {
  TPixelGraphic g;
  PCXSpec s;
  s.XMax = 1;
  s.BytesPerLine = 2;
  s.PaletteInfo = 2;  // grey
  ExpectMessage<EPGPCXFileFormatReader>([&] { Load(Header(s), g); }, "PCX: Unknown subformat");
  s.PaletteInfo = 0;
  ExpectMessage<EPGPCXFileFormatReader>([&] { Load(Header(s), g); }, "PCX: Unknown subformat");
  s.PaletteInfo = 1;
  s.Reserved = 1;
  ExpectMessage<EPGPCXFileFormatReader>([&] { Load(Header(s), g); }, "PCX: Unknown subformat");
  s.Reserved = 0;
  for (auto [bits, planes] : {std::pair{1, 3}, {2, 1}, {4, 1}, {8, 4}}) {
    s.Bits = static_cast<uint8_t>(bits);
    s.Planes = static_cast<uint8_t>(planes);
    ExpectMessage<EPGPCXFileFormatReader>([&] { Load(Header(s), g); }, "PCX: Unknown subformat");
  }
  s.Bits = 8;
  s.Planes = 3;
  s.XMin = 5;
  s.XMax = 1;
  ExpectMessage<EPGPCXFileFormatReader>([&] { Load(Header(s), g); }, "PCX: Invalid value for XMax");
  s.XMin = 0;
  ExpectMessage<EPGPCXFileFormatReader>([&] { Load(Header(s), g, 1); }, "PCX: Index invalid");
  Bytes cut = Header(s);
  Append(cut, {1, 2, 0xC3});
  ExpectMessage<EPGPCXFileFormatReader>([&] { Load(cut, g); }, "PCX: Unexpected end of file");
  EXPECT_THROW(Load(Bytes(100, 0x0A), g), EReadError);  // short header
}

TEST(PCXInfo, Texts) {
  struct Case {
    uint8_t version, bits, planes;
    const char *details, *colors;
    int bpp;
  };
  const Case cases[] = {
      {0, 1, 1, "Version 2.5 (0)", "2", 1},
      {2, 1, 4, "Version 2.8 (2) with Palette", "16", 4},
      {3, 1, 4, "Version 2.8 (3) without Palette", "16", 4},
      {5, 8, 1, "Version 3.0 (5)", "256", 8},
      {4, 8, 3, "", "16.7M", 24},
      {5, 8, 4, "Version 3.0 (5)", "4294967296", 32},
  };
  for (const Case& c : cases) {
    PCXSpec s;
    s.Version = c.version;
    s.Bits = c.bits;
    s.Planes = c.planes;
    s.XMin = 2;
    s.XMax = 101;
    s.YMax = 49;
    const Bytes file = Header(s);
    TReadOnlyMemoryStream st(file.data(), static_cast<int64_t>(file.size()));
    TPGFileInfo info;
    TPCXFileFormatReader().GetInfo(st, 0, info);
    EXPECT_EQ(info.DetailsText, c.details);
    EXPECT_EQ(info.ColorsText, c.colors);
    EXPECT_EQ(info.BitsPerPixel, c.bpp);
    EXPECT_EQ(info.Width, 100);
    EXPECT_EQ(info.Height, 50);
  }
  PCXSpec s;
  const Bytes file = Header(s);
  TPGFileInfo info;
  ExpectMessage<EPGPCXFileFormatReader>(
      [&] {
        TReadOnlyMemoryStream st(file.data(), static_cast<int64_t>(file.size()));
        TPCXFileFormatReader().GetInfo(st, 1, info);
      },
      "PCX: Invalid value for Index");
  s.PaletteInfo = 2;
  const Bytes grey = Header(s);
  ExpectMessage<EPGPCXFileFormatReader>(
      [&] {
        TReadOnlyMemoryStream st(grey.data(), static_cast<int64_t>(grey.size()));
        TPCXFileFormatReader().GetInfo(st, 0, info);
      },
      "PCX: Unknown subformat");
}

TEST(PCXFormats, Registration) {
  TPGFormatLists lists;
  RegisterPCXFormats(lists);
  ASSERT_EQ(lists.Readers.size(), 1u);
  EXPECT_TRUE(lists.Writers.empty());
  EXPECT_TRUE(lists.Readers[0]->DetectsByContent);
  EXPECT_EQ(lists.Readers[0]->Extension, "pcx");
  EXPECT_EQ(lists.Readers[0]->Description, "Paintbrush");
  // Manufacturer, version, encoding and bits per pixel must all fit.
  const TFileFormatReader& pcx = *lists.Readers[0];
  for (uint8_t version : {0, 2, 3, 4, 5})
    for (uint8_t bits : {1, 2, 4, 8}) {
      const uint8_t header[17] = {0x0A, version, 1, bits};
      EXPECT_TRUE(pcx.IsFormat(header)) << int(version) << " " << int(bits);
    }
  const uint8_t other[][17] = {{0x0B, 5, 1, 8}, {0x0A, 1, 1, 8}, {0x0A, 6, 1, 8}, {0x0A, 5, 0, 8},
                               {0x0A, 5, 2, 8}, {0x0A, 5, 1, 0}, {0x0A, 5, 1, 3}, {0x0A, 5, 1, 24}};
  for (const auto& header : other) EXPECT_FALSE(pcx.IsFormat(header)) << int(header[1]) << " " << int(header[3]);
}

}  // namespace

namespace {

TEST(PCXRegistry, ChosenByContent) {
  PCXSpec s;
  s.Planes = 3;
  s.BytesPerLine = 1;
  Bytes file = Header(s);
  Append(file, {1, 2, 3});
  TPixelGraphic g;
  TReadOnlyMemoryStream a(file.data(), static_cast<int64_t>(file.size()));
  g.LoadStreamAs(a, "dat", 0);
  EXPECT_EQ(g.Pixels(0, 0), RGBColor(1, 2, 3));
}

}  // namespace
