#include <gtest/gtest.h>

#include <array>
#include <random>

#include "pgraphic/core/messages.h"
#include "pgraphic/core/palettes.h"
#include "pgraphic/core/pixelgraphic.h"
#include "pgraphic/formats/bmp.h"
#include "pgraphic/formats/registry.h"
#include "pgraphic/formats/settings.h"
#include "platform/stream.h"

namespace {

// Builds bitmap files byte by byte.
struct TBytes {
  std::vector<uint8_t> d;
  TBytes& u8(uint32_t v) {
    d.push_back(static_cast<uint8_t>(v));
    return *this;
  }
  TBytes& u16(uint32_t v) { return u8(v).u8(v >> 8); }
  TBytes& u32(uint32_t v) { return u16(v).u16(v >> 16); }
  TBytes& bytes(std::initializer_list<uint8_t> b) {
    d.insert(d.end(), b);
    return *this;
  }
  TBytes& zeros(size_t n) {
    d.insert(d.end(), n, 0);
    return *this;
  }
};

TBytes FileHeader() { return TBytes().u8('B').u8('M').u32(0).u32(0).u32(0); }

TBytes InfoHeader(int32_t w, int32_t h, int bits, uint32_t comp = 0, uint32_t sizeImage = 0, uint32_t clrUsed = 0,
                  int planes = 1) {
  TBytes b = FileHeader();
  b.u32(40).u32(static_cast<uint32_t>(w)).u32(static_cast<uint32_t>(h)).u16(planes).u16(bits).u32(comp).u32(sizeImage);
  b.u32(0).u32(0).u32(clrUsed).u32(0);
  return b;
}

// A header of the later Windows versions (52, 56, 108 or 124 bytes): the info
// header, the red, green, blue (and alpha) masks, the rest filled with 0xEE
// (colour space, gamma, profile: ignored).
TBytes LaterHeader(uint32_t size, int32_t w, int32_t h, int bits, uint32_t comp, uint32_t clrUsed,
                   std::array<uint32_t, 3> masks) {
  TBytes b = FileHeader();
  b.u32(size).u32(static_cast<uint32_t>(w)).u32(static_cast<uint32_t>(h)).u16(1).u16(bits).u32(comp).u32(0);
  b.u32(0).u32(0).u32(clrUsed).u32(0);
  b.u32(masks[0]).u32(masks[1]).u32(masks[2]);
  for (size_t n = 52; n < size; ++n) b.u8(0xEE);
  return b;
}

TBytes CoreHeader(int w, int h, int bits, int planes = 1) {
  return FileHeader().u32(12).u16(w).u16(h).u16(planes).u16(bits);
}

class BMP : public ::testing::Test {
protected:
  void SetUp() override {
    MessageLanguage = 0;
    PGResetFormatSettings();
  }
  static void Load(TPixelGraphic& g, const TBytes& b) {
    TReadOnlyMemoryStream s(b.d.data(), static_cast<int64_t>(b.d.size()));
    g.LoadFromStream(s);
  }
  static std::string LoadError(const TBytes& b) {
    TPixelGraphic g;
    try {
      Load(g, b);
    } catch (const EPGBMPFileFormatReader& e) {
      return e.Message();
    }
    return "(loaded)";
  }
};

// ---------------------------------------------------------------- round trips

// An image of each colour-resolution code with random pixels.
void MakeImage(TPixelGraphic& g, int code, int w, int h, uint32_t seed) {
  static const uint8_t bitCounts[8] = {bc1Bit, bc1Bit, bc4Bit, bc4Bit, bc4Bit, bc8Bit, bc8Bit, bc24Bit};
  g.SetSize(w, h, bitCounts[code]);
  std::mt19937 rng(seed);
  switch (code) {
    case crBlackWhite:
      g.SetPaletteIdent(pBlackWhite);
      break;
    case cr16Gray:
      g.SetPaletteIdent(pGray16);
      break;
    case cr16System:
      g.SetPaletteIdent(pSys16);
      break;
    case cr256Gray:
      g.SetPaletteIdent(pGray256);
      break;
    case cr2Colors:
    case cr16Colors:
    case cr256Colors: {
      const int n = code == cr2Colors ? 2 : code == cr16Colors ? 16 : 200;
      g.SetPaletteCount(n);
      for (int i = 0; i < n; ++i) g.SetPaletteColor(i, rng() & 0xFFFFFF);
      break;
    }
    default:
      break;
  }
  const uint32_t mask = code == crTrueColor ? 0xFFFFFF : static_cast<uint32_t>(g.PaletteSize() - 1);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) g.SetPixels(x, y, rng() & mask);
  g.DetectPaletteIdent();
}

void ExpectSameImage(const TPixelGraphic& a, const TPixelGraphic& b) {
  ASSERT_EQ(a.Width(), b.Width());
  ASSERT_EQ(a.Height(), b.Height());
  ASSERT_EQ(a.BitCount(), b.BitCount());
  ASSERT_EQ(a.PaletteCount(), b.PaletteCount());
  EXPECT_EQ(a.PaletteIdent(), b.PaletteIdent());
  for (int i = 0; i < a.PaletteCount(); ++i) EXPECT_EQ(a.PaletteData()[i], b.PaletteData()[i]);
  ASSERT_EQ(a.ByteSize(), b.ByteSize());
  // Whole rows, padding included: the writer stores the storage byte for byte.
  EXPECT_EQ(0, std::memcmp(a.Bits(), b.Bits(), static_cast<size_t>(a.ByteSize())));
}

TEST_F(BMP, EveryColourResolutionRoundTripsByteForByte) {
  for (int code = 0; code < 8; ++code) {
    for (int w : {1, 7, 33}) {
      SCOPED_TRACE(testing::Message() << "code " << code << " width " << w);
      TPixelGraphic src, dst;
      MakeImage(src, code, w, 5, static_cast<uint32_t>(code * 100 + w));
      ASSERT_EQ(code, PGColorResCode(src));
      TMemoryStream s;
      src.SaveStreamAs(s, "bmp");
      s.SetPosition(0);
      dst.LoadFromStream(s);
      ExpectSameImage(src, dst);
      EXPECT_EQ(code, PGColorResCode(dst));
    }
  }
}

TEST_F(BMP, WrittenHeadersFollowTheFileLayout) {
  TPixelGraphic g;
  MakeImage(g, cr16Colors, 5, 3, 1);
  TMemoryStream s;
  g.SaveToStream(s);
  const auto& d = s.Data();
  const uint32_t table = 4 * 16, pixels = 4 * 3;
  ASSERT_EQ(54 + table + pixels, d.size());
  auto u32 = [&](size_t o) { return d[o] | d[o + 1] << 8 | d[o + 2] << 16 | static_cast<uint32_t>(d[o + 3]) << 24; };
  EXPECT_EQ('B', d[0]);
  EXPECT_EQ('M', d[1]);
  EXPECT_EQ(54 + table + pixels, u32(2));
  EXPECT_EQ(0u, u32(6));
  EXPECT_EQ(54 + table, u32(10));
  EXPECT_EQ(40u, u32(14));
  EXPECT_EQ(5u, u32(18));
  EXPECT_EQ(3u, u32(22));
  EXPECT_EQ(1u, d[26] | d[27] << 8);
  EXPECT_EQ(4u, d[28] | d[29] << 8);
  EXPECT_EQ(0u, u32(30));
  EXPECT_EQ(pixels, u32(34));
  EXPECT_EQ(16u, u32(46));
  const TColorRef c = g.PaletteData()[3];
  EXPECT_EQ(GetBValue(c), d[54 + 12]);
  EXPECT_EQ(GetGValue(c), d[54 + 13]);
  EXPECT_EQ(GetRValue(c), d[54 + 14]);
  EXPECT_EQ(0, d[54 + 15]);
  EXPECT_EQ(g.PackedBitmapSize(), static_cast<int64_t>(d.size()) + 4);  // 58: a safe clipboard size
}

TEST_F(BMP, FormStreamingConsumesExactlyTheCountedBytes) {
  TPixelGraphic g, back;
  MakeImage(g, cr256Colors, 9, 4, 7);
  // A counted length different from the bitmap's: the stream continues after the counted bytes.
  TMemoryStream s;
  s.WriteBuffer("xy", 2);
  g.WriteData(s);
  const int64_t end = s.Position();
  s.WriteBuffer("tail", 4);
  const auto& d = s.Data();
  const uint32_t length = d[2] | d[3] << 8 | d[4] << 16 | static_cast<uint32_t>(d[5]) << 24;
  EXPECT_EQ(end - 6, static_cast<int64_t>(length));
  s.SetPosition(2);
  back.ReadData(s);
  EXPECT_EQ(end, s.Position());
  ExpectSameImage(g, back);
  TMemoryStream padded;
  padded.WriteBuffer("\x10\x00\x00\x00", 4);  // wrong: claims 16 bytes
  g.SaveToStream(padded);
  padded.SetPosition(0);
  back.ReadData(padded);
  EXPECT_EQ(20, padded.Position());
}

// ---------------------------------------------------------------- headers and errors

TEST_F(BMP, EveryReaderErrorHasItsMessage) {
  EXPECT_EQ("BMP: Invalid size of BitmapInfoHeader/BitmapCoreHeader",
            LoadError(FileHeader().u32(64).zeros(60)));  // OS/2 2.x
  EXPECT_EQ("BMP: Invalid size of BitmapInfoHeader/BitmapCoreHeader", LoadError(FileHeader().u32(41).zeros(37)));
  EXPECT_EQ("BMP: Invalid size of BitmapInfoHeader/BitmapCoreHeader", LoadError(FileHeader()));
  EXPECT_EQ("BMP: BitmapCoreHeader.bcPlanes invalid", LoadError(CoreHeader(1, 1, 8, 2)));
  EXPECT_EQ("BMP: BitmapCoreHeader.bcBitCount invalid", LoadError(CoreHeader(1, 1, 16)));
  EXPECT_EQ("BMP: BitmapInfoHeader.biPlanes invalid", LoadError(InfoHeader(1, 1, 8, 0, 0, 0, 0)));
  EXPECT_EQ("BMP: BitmapInfoHeader.biBitCount invalid", LoadError(InfoHeader(1, 1, 2)));
  EXPECT_EQ("BMP: BitmapInfoHeader.biBitCount invalid", LoadError(InfoHeader(1, 1, 64)));
  for (auto [bits, comp] : {std::pair{4, 1}, {8, 2}, {24, 1}, {24, 3}, {8, 3}, {16, 1}, {32, 4}, {1, 2}})
    EXPECT_EQ("BMP: BitmapInfoHeader.biCompression invalid", LoadError(InfoHeader(1, 1, bits, comp)))
        << bits << "/" << comp;
  EXPECT_EQ("BMP: BitmapInfoHeader.biCompression invalid", LoadError(InfoHeader(1, -1, 8, 1)));
  EXPECT_EQ("BMP: BitmapInfoHeader.biCompression invalid", LoadError(InfoHeader(1, -1, 4, 2)));

  // Index errors: message 7 when reading, message 20 from GetInfo.
  const TBytes ok = InfoHeader(1, 1, 24).zeros(4);
  TBMPFileFormatReader reader;
  TPixelGraphic g;
  TReadOnlyMemoryStream s(ok.d.data(), static_cast<int64_t>(ok.d.size()));
  try {
    reader.ReadGraphic(s, g, 1);
    FAIL();
  } catch (const EPGBMPFileFormatReader& e) {
    EXPECT_EQ("BMP: Index invalid", e.Message());
  }
  TPGFileInfo info;
  try {
    reader.GetInfo(s, 1, info);
    FAIL();
  } catch (const EPGBMPFileFormatReader& e) {
    EXPECT_EQ("BMP: Invalid value for Index", e.Message());
  }
  MessageLanguage = 1;
  EXPECT_EQ("BMP: BitmapInfoHeader.biPlanes ungültig", LoadError(InfoHeader(1, 1, 8, 0, 0, 0, 0)));
}

TEST_F(BMP, GetInfoReportsTheHeaders) {
  struct TCase {
    TBytes file;
    int w, h, bpp;
    const char* colors;
    const char* details;
  };
  const TCase cases[] = {
      {CoreHeader(3, 2, 4), 3, 2, 4, "16", "OS/2"},
      {InfoHeader(7, -5, 24), 7, -5, 24, "16.7M", "Windows, RGB, Top-Down"},
      {InfoHeader(7, 5, 8, 1), 7, 5, 8, "256", "Windows, RLE8"},
      {InfoHeader(7, 5, 4, 2), 7, 5, 4, "16", "Windows, RLE4"},
      {InfoHeader(7, 5, 16, 3), 7, 5, 16, "64K", "Windows"},
      {InfoHeader(7, 5, 32, 0), 7, 5, 32, "16.7M", "Windows, RGB"},
      {InfoHeader(7, 5, 1, 0), 7, 5, 1, "2", "Windows, RGB"},
  };
  for (const TCase& c : cases) {
    std::string description;
    TPGFileInfo info;
    TReadOnlyMemoryStream s(c.file.d.data(), static_cast<int64_t>(c.file.d.size()));
    ASSERT_TRUE(GetStreamInfo(s, "", 0, description, info)) << c.details;
    EXPECT_EQ(0, s.Position());
    EXPECT_EQ("Bitmap", description);
    EXPECT_EQ(1, info.ImageCount);
    EXPECT_EQ(c.w, info.Width);
    EXPECT_EQ(c.h, info.Height);
    EXPECT_EQ(c.bpp, info.BitsPerPixel);
    EXPECT_EQ(c.colors, info.ColorsText);
    EXPECT_EQ(c.details, info.DetailsText);
    EXPECT_EQ("", info.KindText);
  }
}

// The headers of the later Windows versions begin with the info header; their
// masks serve bit-field files (no masks follow them), colour tables and pixels
// follow the whole header, and the file information names the version.
TEST_F(BMP, LaterWindowsHeadersReadLikeTheInfoHeader) {
  const std::array<uint32_t, 3> bgrMasks = {0x0000FF00, 0x00FF0000, 0xFF000000}; // red, green, blue
  const struct {
    uint32_t Size;
    const char* Details;
  } versions[] = {{52, "Windows V2"}, {56, "Windows V3"}, {108, "Windows V4"}, {124, "Windows V5"}};
  for (const auto& v : versions) {
    SCOPED_TRACE(v.Size);
    // 32-bit bit fields, top-down: two pixels a row.
    TBytes b = LaterHeader(v.Size, 2, -2, 32, 3, 0, bgrMasks);
    b.u32(0x11223300).u32(0xAABBCC00).u32(0x01020300).u32(0xFFFFFF00);
    TPixelGraphic g;
    Load(g, b);
    ASSERT_EQ(2, g.Width());
    ASSERT_EQ(2, g.Height());
    EXPECT_EQ(RGBColor(0x33, 0x22, 0x11), g.PixelColors(0, 0));
    EXPECT_EQ(RGBColor(0xCC, 0xBB, 0xAA), g.PixelColors(1, 0));
    EXPECT_EQ(RGBColor(0x03, 0x02, 0x01), g.PixelColors(0, 1));
    // 4 bit with a 3-entry colour table after the header, one row of 3 pixels.
    TBytes p = LaterHeader(v.Size, 3, 1, 4, 0, 3, {});
    p.bytes({10, 20, 30, 0, 40, 50, 60, 0, 70, 80, 90, 0}).bytes({0x12, 0x00, 0, 0});
    Load(g, p);
    ASSERT_EQ(3, g.PaletteCount());
    EXPECT_EQ(RGBColor(60, 50, 40), g.PixelColors(0, 0));
    EXPECT_EQ(RGBColor(90, 80, 70), g.PixelColors(1, 0));
    EXPECT_EQ(RGBColor(30, 20, 10), g.PixelColors(2, 0));
    // Without bit fields the masks in the header are not used: 16 bit is 555.
    TBytes f = LaterHeader(v.Size, 1, 1, 16, 0, 0, {0xF800, 0x07E0, 0x001F});
    f.u16(0x7C00).u16(0);
    Load(g, f);
    EXPECT_EQ(RGBColor(255, 0, 0), g.PixelColors(0, 0));

    std::string description;
    TPGFileInfo info;
    TReadOnlyMemoryStream s(b.d.data(), static_cast<int64_t>(b.d.size()));
    ASSERT_TRUE(GetStreamInfo(s, "", 0, description, info));
    EXPECT_EQ(std::string(v.Details) + ", Top-Down", info.DetailsText);
    EXPECT_EQ(-2, info.Height);
    TReadOnlyMemoryStream s2(p.d.data(), static_cast<int64_t>(p.d.size()));
    ASSERT_TRUE(GetStreamInfo(s2, "", 0, description, info));
    EXPECT_EQ(std::string(v.Details) + ", RGB", info.DetailsText);
    // The same checks as the info header's.
    EXPECT_EQ("BMP: BitmapInfoHeader.biCompression invalid", LoadError(LaterHeader(v.Size, 1, 1, 24, 3, 0, {})));
  }
}

// Files as ImageMagick writes them by default (version 4 and 5 headers, RLE8
// for palette pictures) load with the pixels ImageMagick itself decodes.
TEST_F(BMP, ImageMagickFilesLoadAsImageMagickReadsThem) {
  const std::string dir = std::string(ZWILLO_TEST_DATA) + "/imagemagick/";
  const struct {
    const char* Name;
    int Bits;
    const char* Details;
  } files[] = {{"im1", 1, "Windows V4, RGB"},
               {"im8", 8, "Windows V5, RLE8"},
               {"im8raw", 8, "Windows V5, RGB"},
               {"im24", 24, "Windows V5, RGB"},
               {"im32", 24, "Windows V5"}};
  for (const auto& f : files) {
    SCOPED_TRACE(f.Name);
    TPixelGraphic bmp, reference;
    bmp.LoadFromFile(dir + f.Name + ".bmp");
    reference.LoadFromFile(dir + f.Name + ".ppm");
    EXPECT_EQ(f.Bits, bmp.BitCountNum());
    ASSERT_EQ(37, bmp.Width());
    ASSERT_EQ(23, bmp.Height());
    int mismatches = 0;
    for (int y = 0; y < 23; ++y)
      for (int x = 0; x < 37; ++x)
        if (bmp.PixelColors(x, y) != reference.PixelColors(x, y) && ++mismatches < 4)
          ADD_FAILURE() << "pixel " << x << "," << y;
    std::string description;
    TPGFileInfo info;
    ASSERT_TRUE(GetFileInfo(dir + f.Name + ".bmp", 0, description, info));
    EXPECT_EQ(f.Details, info.DetailsText);
  }
}

// ---------------------------------------------------------------- pixel layouts

TEST_F(BMP, CoreHeaderReadsThreeByteColourTable) {
  TBytes b = CoreHeader(3, 2, 1);
  b.bytes({10, 20, 30, 40, 50, 60});        // two entries blue, green, red
  b.bytes({0xA0, 0, 0, 0, 0x40, 0, 0, 0});  // bottom row 101, top row 010
  TPixelGraphic g;
  Load(g, b);
  ASSERT_EQ(bc1Bit, g.BitCount());
  ASSERT_EQ(2, g.PaletteCount());
  EXPECT_EQ(RGBColor(30, 20, 10), g.PaletteData()[0]);
  EXPECT_EQ(RGBColor(60, 50, 40), g.PaletteData()[1]);
  EXPECT_EQ(1u, g.Pixels(0, 1));
  EXPECT_EQ(0u, g.Pixels(1, 1));
  EXPECT_EQ(1u, g.Pixels(2, 1));
  EXPECT_EQ(1u, g.Pixels(1, 0));
}

TEST_F(BMP, TopDownFilesLoadUpright) {
  TBytes b = InfoHeader(1, -3, 24);
  b.bytes({1, 2, 3, 0, 4, 5, 6, 0, 7, 8, 9, 0});
  TPixelGraphic g;
  Load(g, b);
  EXPECT_EQ(RGBColor(3, 2, 1), g.PixelColors(0, 0));
  EXPECT_EQ(RGBColor(6, 5, 4), g.PixelColors(0, 1));
  EXPECT_EQ(RGBColor(9, 8, 7), g.PixelColors(0, 2));
  TBytes p = InfoHeader(1, -2, 8, 0, 0, 2);
  p.bytes({0, 0, 0, 0, 255, 255, 255, 0}).bytes({1, 0, 0, 0, 0, 0, 0, 0});
  Load(g, p);
  EXPECT_EQ(1u, g.Pixels(0, 0));
  EXPECT_EQ(0u, g.Pixels(0, 1));
}

TEST_F(BMP, SixteenBitMasksAlignAndExpand) {
  // 565 with masks: white, a green value of 1, black; 2 pixels of padding per row.
  auto file565 = [] {
    TBytes b = InfoHeader(3, 1, 16, 3);
    b.u32(0xF800).u32(0x07E0).u32(0x001F);
    b.u16(0xFFFF).u16(1 << 5).u16(0).u16(0);
    return b;
  };
  TPixelGraphic g;
  Load(g, file565());
  EXPECT_EQ(pTrueColor, g.PaletteIdent());
  EXPECT_EQ(RGBColor(255, 255, 255), g.PixelColors(0, 0));
  EXPECT_EQ(RGBColor(0, 8, 0), g.PixelColors(1, 0));
  EXPECT_EQ(0u, g.PixelColors(2, 0));
  PGExpand16BitColors = false;
  Load(g, file565());
  EXPECT_EQ(RGBColor(248, 252, 248), g.PixelColors(0, 0));
  EXPECT_EQ(RGBColor(0, 4, 0), g.PixelColors(1, 0));

  // Without masks: 555.
  TBytes b = InfoHeader(1, 1, 16);
  b.u16(0x7FFF).u16(0);
  Load(g, b);
  EXPECT_EQ(RGBColor(248, 248, 248), g.PixelColors(0, 0));
  PGExpand16BitColors = true;
  Load(g, b);
  EXPECT_EQ(RGBColor(255, 255, 255), g.PixelColors(0, 0));
}

TEST_F(BMP, BitFieldEdgeMasks) {
  // A zero mask gives 0; a mask wider than 8 bits saturates; a 1-bit mask
  // lands on bit 7 (plus expansion for 16-bit files).
  TBytes b = InfoHeader(2, 1, 16, 3);
  b.u32(0).u32(0x3FF0).u32(0x8000);
  b.u16(0xFFFF).u16(0x0010);
  TPixelGraphic g;
  Load(g, b);
  EXPECT_EQ(RGBColor(0, 255, 255), g.PixelColors(0, 0));
  EXPECT_EQ(RGBColor(0, 2, 0), g.PixelColors(1, 0));

  // 32 bit: default masks, a colour table announced by biClrUsed is skipped.
  TBytes c = InfoHeader(2, 1, 32, 0, 0, 3);
  c.zeros(12).u32(0x00112233).u32(0xFF000000);
  Load(g, c);
  EXPECT_EQ(RGBColor(0x11, 0x22, 0x33), g.PixelColors(0, 0));
  EXPECT_EQ(0u, g.PixelColors(1, 0));
  // 32 bit with masks, top-down.
  TBytes d = InfoHeader(1, -2, 32, 3);
  d.u32(0xFF).u32(0xFF00).u32(0xFF0000);
  d.u32(0x0A0B0C).u32(0x010203);
  Load(g, d);
  EXPECT_EQ(RGBColor(0x0C, 0x0B, 0x0A), g.PixelColors(0, 0));
  EXPECT_EQ(RGBColor(3, 2, 1), g.PixelColors(0, 1));
}

TEST_F(BMP, ColourTableSizes) {
  // biClrUsed = 20 on 8 bit: a 20-entry palette.
  TBytes b = InfoHeader(1, 1, 8, 0, 0, 20);
  for (int i = 0; i < 20; ++i) b.u8(i).u8(i).u8(i).u8(0);
  b.bytes({19, 0, 0, 0});
  TPixelGraphic g;
  Load(g, b);
  EXPECT_EQ(20, g.PaletteCount());
  EXPECT_EQ(RGBColor(19, 19, 19), g.PixelColors(0, 0));

  // More entries than the bit depth addresses: the palette keeps the table's
  // size, the pixels are still found after the whole announced table.
  TBytes c = InfoHeader(2, 1, 1, 0, 0, 5);
  for (int i = 0; i < 5; ++i) c.u8(10 * i).u8(0).u8(0).u8(0);
  c.bytes({0x40, 0, 0, 0});
  Load(g, c);
  EXPECT_EQ(2, g.PaletteCount());
  EXPECT_EQ(RGBColor(0, 0, 10), g.PaletteData()[1]);
  EXPECT_EQ(0u, g.Pixels(0, 0));
  EXPECT_EQ(1u, g.Pixels(1, 0));

  // An absurd count allocates nothing big and loads what can be loaded.
  TBytes d = InfoHeader(1, 1, 8, 0, 0, 0xFFFFFFF0u);
  d.bytes({1, 2, 3, 0, 5});
  Load(g, d);
  EXPECT_EQ(256, g.PaletteCount());
  EXPECT_EQ(RGBColor(3, 2, 1), g.PaletteData()[0]);
  EXPECT_EQ(0u, g.Pixels(0, 0));
}

TEST_F(BMP, DegenerateAndOversizedDimensions) {
  TPixelGraphic g;
  // No pixels at all, however many rows the header claims: loads at once.
  Load(g, InfoHeader(0, 0x7FFFFFFF, 16));
  EXPECT_TRUE(g.Empty());
  Load(g, InfoHeader(100000, 0, 32, 3));
  EXPECT_TRUE(g.Empty());
  // Sizes the image cannot take fail in its sizing, before any allocation.
  auto sizingError = [&](const TBytes& b) -> std::string {
    try {
      Load(g, b);
    } catch (const EPGBMPFileFormatReader&) {
      return "(reader error)";
    } catch (const EPixelGraphic& e) {
      return e.Message();
    }
    return "(loaded)";
  };
  EXPECT_EQ("Negative width", sizingError(InfoHeader(-5, 5, 24)));
  EXPECT_EQ("CreateDIBSection failed", sizingError(InfoHeader(3000000, 2000000, 24)));
  EXPECT_EQ("CreateDIBSection failed", sizingError(InfoHeader(5, INT32_MIN, 8)));
  EXPECT_EQ("CreateDIBSection failed", sizingError(CoreHeader(65535, 65535, 24)));
}

TEST_F(BMP, PixelsFollowTheColourTableWhateverBfOffBitsSays) {
  TBytes b = InfoHeader(1, 1, 24);
  b.d[10] = 200;  // bfOffBits claims a gap
  b.bytes({1, 2, 3, 0});
  TPixelGraphic g;
  Load(g, b);
  EXPECT_EQ(RGBColor(3, 2, 1), g.PixelColors(0, 0));
}

TEST_F(BMP, ShortStreamsTakeWhatIsThere) {
  // 8 bit, 4 x 2, only the bottom row present.
  TBytes b = InfoHeader(4, 2, 8, 0, 0, 2);
  b.bytes({0, 0, 0, 0, 9, 9, 9, 0}).bytes({1, 1, 0});
  TPixelGraphic g;
  Load(g, b);
  EXPECT_EQ(1u, g.Pixels(0, 1));
  EXPECT_EQ(1u, g.Pixels(1, 1));
  EXPECT_EQ(0u, g.Pixels(2, 1));
  EXPECT_EQ(0u, g.Pixels(0, 0));
  // 16 bit, cut inside the first row.
  TBytes c = InfoHeader(3, 2, 16);
  c.u16(0x7FFF).u8(0xFF);
  Load(g, c);
  EXPECT_EQ(RGBColor(255, 255, 255), g.PixelColors(0, 1));
  EXPECT_EQ(0u, g.PixelColors(1, 1));
  // Top-down, cut after the first stored row: that row is the top one.
  TBytes t = InfoHeader(2, -5, 8, 0, 0, 2);
  t.bytes({0, 0, 0, 0, 9, 9, 9, 0}).bytes({1, 0, 0, 0, 1});
  Load(g, t);
  EXPECT_EQ(1u, g.Pixels(0, 0));
  EXPECT_EQ(0u, g.Pixels(1, 0));
  EXPECT_EQ(0u, g.Pixels(1, 1));  // the second row had one byte
  EXPECT_EQ(1u, g.Pixels(0, 1));
  for (int y = 2; y < 5; ++y) EXPECT_EQ(0u, g.Pixels(0, y)) << y;
  // A header cut short fails its checks instead of reading garbage.
  TBytes d = InfoHeader(3, 2, 16);
  d.d.resize(26);
  EXPECT_EQ("BMP: BitmapInfoHeader.biPlanes invalid", LoadError(d));
}

TEST_F(BMP, RawRowsReportTenChunksAndStopOnAbort) {
  TBytes b = InfoHeader(10, 20, 24);
  for (int i = 0; i < 20 * 32; ++i) b.u8(0x55);
  TPixelGraphic g;
  std::vector<std::pair<int, int>> steps;
  int starts = 0, ends = 0;
  g.OnProgressStart = [&](TObject* sender) {
    EXPECT_EQ(&g, sender);
    ++starts;
  };
  g.OnProgressEnd = [&](TObject*) { ++ends; };
  g.OnProgress = [&](TObject*, int step, int max, bool& abort) {
    steps.emplace_back(step, max);
    abort = step == 3;
  };
  Load(g, b);
  EXPECT_EQ(1, starts);
  EXPECT_EQ(1, ends);
  ASSERT_EQ(3u, steps.size());
  EXPECT_EQ(std::make_pair(1, 10), steps[0]);
  EXPECT_EQ(std::make_pair(3, 10), steps[2]);
  // Three tenths of 640 bytes: 192 bytes, the bottom 6 rows.
  EXPECT_EQ(0x555555u, g.Pixels(0, 19));
  EXPECT_EQ(0x555555u, g.Pixels(9, 14));
  EXPECT_EQ(0u, g.Pixels(0, 13));

  // Progress end also fires when reading fails.
  ends = 0;
  steps.clear();
  EXPECT_THROW(Load(g, InfoHeader(1, 1, 8, 0, 0, 0, 3)), EPGBMPFileFormatReader);
  EXPECT_EQ(1, ends);
}

// ---------------------------------------------------------------- RLE

TEST_F(BMP, RLE8EveryEscape) {
  // 6 x 4: run, absolute run (odd length, padded), end of line, delta, end of bitmap.
  TBytes data;
  data.bytes({3, 7});                 // 3 x index 7 on the bottom row
  data.bytes({0, 3, 1, 2, 3, 0});     // absolute 1 2 3 + pad
  data.bytes({0, 0});                 // next row up
  data.bytes({0, 2, 2, 1});           // delta: x + 2, y - 1
  data.bytes({2, 9});                 // 2 x index 9 at (2..3, row 1 from top)
  data.bytes({0, 1});                 // end of bitmap
  data.bytes({5, 5});                 // never reached
  TBytes b = InfoHeader(6, 4, 8, 1, static_cast<uint32_t>(data.d.size()), 10);
  b.zeros(40);
  b.d.insert(b.d.end(), data.d.begin(), data.d.end());
  TPixelGraphic g;
  Load(g, b);
  const uint32_t bottom[6] = {7, 7, 7, 1, 2, 3};
  for (int x = 0; x < 6; ++x) EXPECT_EQ(bottom[x], g.Pixels(x, 3)) << x;
  for (int x = 0; x < 6; ++x) EXPECT_EQ(0u, g.Pixels(x, 2)) << x;  // skipped by the delta
  EXPECT_EQ(0u, g.Pixels(1, 1));
  EXPECT_EQ(9u, g.Pixels(2, 1));
  EXPECT_EQ(9u, g.Pixels(3, 1));
  EXPECT_EQ(0u, g.Pixels(4, 1));
  EXPECT_EQ(0u, g.Pixels(0, 0));
}

TEST_F(BMP, RLE4RunsAndAbsoluteNibbles) {
  // 5 x 2: a run longer than the row is cut; absolute nibbles high first.
  TBytes data;
  data.bytes({7, 0x12});            // 1 2 1 2 1 (2 2 dropped)
  data.bytes({0, 0});
  data.bytes({0, 5, 0xAB, 0xCD, 0xE0, 0});  // A B C D E, 3 bytes + pad
  TBytes b = InfoHeader(5, 2, 4, 2, static_cast<uint32_t>(data.d.size()), 16);
  b.zeros(64);
  b.d.insert(b.d.end(), data.d.begin(), data.d.end());
  TPixelGraphic g;
  Load(g, b);
  const uint32_t bottom[5] = {1, 2, 1, 2, 1}, top[5] = {0xA, 0xB, 0xC, 0xD, 0xE};
  for (int x = 0; x < 5; ++x) {
    EXPECT_EQ(bottom[x], g.Pixels(x, 1)) << x;
    EXPECT_EQ(top[x], g.Pixels(x, 0)) << x;
  }
  // The pad nibble of the row was not touched.
  EXPECT_EQ(0, g.ScanLine(1)[2] & 0x0F);
}

TEST_F(BMP, RLEHostileDataStaysInsideBufferAndImage) {
  TPixelGraphic g;
  auto rle = [&](int bits, std::initializer_list<uint8_t> data, int w = 4, int h = 3) {
    TBytes b = InfoHeader(w, h, bits, bits == 8 ? 1 : 2, static_cast<uint32_t>(data.size()), 1);
    b.zeros(4).bytes(data);
    Load(g, b);
  };
  // Absolute runs cut by the end of the data: what is there is stored.
  rle(8, {0, 200, 5, 6});
  EXPECT_EQ(5u, g.Pixels(0, 2));
  EXPECT_EQ(6u, g.Pixels(1, 2));
  EXPECT_EQ(0u, g.Pixels(2, 2));
  rle(4, {0, 200, 0x56});
  EXPECT_EQ(5u, g.Pixels(0, 2));
  EXPECT_EQ(6u, g.Pixels(1, 2));
  // Runs past the right edge, deltas below the bottom and far to the right,
  // rows above the top: nothing is written outside the image.
  rle(8, {255, 1, 0, 2, 255, 255, 255, 2, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 9, 3, 0, 3, 1, 2, 3, 0});
  EXPECT_EQ(1u, g.Pixels(3, 2));
  rle(4, {255, 0x11, 0, 2, 255, 0, 0, 0, 0, 0, 0, 0, 0, 0, 9, 0x33, 0, 4, 0x12, 0x34});
  EXPECT_EQ(1u, g.Pixels(3, 2));
  // A delta cut by the end of the data stops decoding.
  rle(8, {1, 4, 0, 2, 1});
  EXPECT_EQ(4u, g.Pixels(0, 2));
  // Huge declared size, little data.
  TBytes b = InfoHeader(4, 3, 8, 1, 0xFFFFFFFFu, 1);
  b.zeros(4).bytes({2, 8});
  Load(g, b);
  EXPECT_EQ(8u, g.Pixels(1, 2));
  EXPECT_EQ(0u, g.Pixels(2, 2));

  // With the image raising on index errors, an RLE8 store outside raises.
  TPixelGraphic strict;
  strict.SetRaiseOnIndexError(true);
  TBytes s = InfoHeader(2, 1, 8, 1, 2, 1);
  s.zeros(4).bytes({3, 1});
  TReadOnlyMemoryStream st(s.d.data(), static_cast<int64_t>(s.d.size()));
  EXPECT_THROW(strict.LoadFromStream(st), EPGXYIndexOutOfRange);
  EXPECT_EQ(1u, strict.Pixels(1, 0));  // stored up to the edge
}

TEST_F(BMP, RLEProgressSteps) {
  // 20 bytes of data: progress whenever p is a multiple of 2.
  TBytes data;
  for (int i = 0; i < 9; ++i) data.bytes({1, static_cast<uint8_t>(i)});
  data.bytes({0, 1});
  TBytes b = InfoHeader(9, 1, 8, 1, static_cast<uint32_t>(data.d.size()), 1);
  b.zeros(4);
  b.d.insert(b.d.end(), data.d.begin(), data.d.end());
  TPixelGraphic g;
  std::vector<int> steps;
  g.OnProgress = [&](TObject*, int step, int max, bool& abort) {
    EXPECT_EQ(10, max);
    steps.push_back(step);
    abort = step == 4;
  };
  Load(g, b);
  EXPECT_EQ((std::vector<int>{1, 2, 3, 4}), steps);
  EXPECT_EQ(3u, g.Pixels(3, 0));
  EXPECT_EQ(0u, g.Pixels(4, 0));  // decoding stopped
}

// ---------------------------------------------------------------- fast paths against per-pixel reading

TEST_F(BMP, RawReadingMatchesPerPixelDecoding) {
  std::mt19937 rng(5);
  for (int bits : {1, 4, 8, 24}) {
    const int w = 37, h = 29;
    const int64_t stride = PGBytesPerRow(w, bits);
    TBytes b = InfoHeader(w, h, bits, 0, 0, bits == 24 ? 0 : 1u << bits);
    if (bits != 24)
      for (int i = 0; i < (1 << bits); ++i) b.u32(rng() & 0xFFFFFF);
    const size_t pixelStart = b.d.size();
    for (int64_t i = 0; i < stride * h; ++i) b.u8(rng());
    TPixelGraphic g;
    Load(g, b);
    for (int y = 0; y < h; ++y) {
      const uint8_t* row = b.d.data() + pixelStart + static_cast<size_t>((h - 1 - y) * stride);
      for (int x = 0; x < w; ++x) {
        uint32_t v;
        if (bits == 24)
          v = RGBColor(row[3 * x + 2], row[3 * x + 1], row[3 * x]);
        else
          v = (row[x * bits / 8] >> (8 - bits - (x * bits) % 8)) & ((1u << bits) - 1);
        ASSERT_EQ(v, g.Pixels(x, y)) << bits << " " << x << "," << y;
      }
    }
  }
}

} // namespace
