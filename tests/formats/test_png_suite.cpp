#include <gtest/gtest.h>

#include <csetjmp>
#include <cstring>
#include <string>
#include <vector>

#include <png.h>

#include "pgraphic/formats/png.h"
#include "pgraphic/formats/settings.h"
#include "platform/messagebox.h"
#include "platform/stream.h"

// The basic PNG suite: every file loads with the storage its colour type and
// depth call for, and with the pixels libpng delivers once transparency is
// composited onto the background. The expected colours are computed here
// independently: libpng expands every file to 8- or 16-bit RGBA, and the
// composition uses libpng's own composite formulas.

namespace {

const std::string kSuite = std::string(ZWILLO_TEST_DATA) + "/pngsuite/";

const char* const kPlainFiles[] = {
    "basn0g01", "basn0g02", "basn0g04", "basn0g08", "basn0g16", "basn2c08", "basn2c16", "basn3p01",
    "basn3p02", "basn3p04", "basn3p08", "basn4a08", "basn4a16", "basn6a08", "basn6a16", "ftbbn0g01",
    "ftbbn0g02", "ftbbn0g04", "ftbbn2c16", "ftbbn3p08", "ftbgn2c16", "ftbgn3p08", "ftbrn2c08", "ftbwn0g16",
    "ftbwn3p08", "ftbyn3p08", "ftp0n0g08", "ftp0n2c08", "ftp0n3p08", "ftp1n3p08"};

struct TRgba {
  unsigned r, g, b, a;  // in the file's expanded depth (8 or 16)
};

struct TReference {
  int width = 0, height = 0, depth = 0, colorType = 0;
  int outDepth = 8;  // depth of the expanded samples
  std::vector<TRgba> pixels;
  std::vector<png_color> palette;
  bool hasBackground = false;
  png_color_16 background{};
  bool transparent = false;
};

bool DecodeReference(const std::string& file, TReference& ref) {
  FILE* f = std::fopen(file.c_str(), "rb");
  if (!f) return false;
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  std::vector<png_bytep> rows;
  std::vector<uint8_t> data;
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(f);
    return false;
  }
  png_init_io(png, f);
  png_read_info(png, info);
  ref.width = static_cast<int>(png_get_image_width(png, info));
  ref.height = static_cast<int>(png_get_image_height(png, info));
  ref.depth = png_get_bit_depth(png, info);
  ref.colorType = png_get_color_type(png, info);
  ref.outDepth = ref.depth == 16 ? 16 : 8;
  ref.transparent = png_get_valid(png, info, PNG_INFO_tRNS) || (ref.colorType & PNG_COLOR_MASK_ALPHA);
  png_colorp pal = nullptr;
  int count = 0;
  if (png_get_PLTE(png, info, &pal, &count)) ref.palette.assign(pal, pal + count);
  png_color_16p bk = nullptr;
  if (png_get_bKGD(png, info, &bk)) {
    ref.hasBackground = true;
    ref.background = *bk;
  }
  png_set_expand(png);
  png_set_gray_to_rgb(png);
  if (!(ref.colorType & PNG_COLOR_MASK_ALPHA) && !png_get_valid(png, info, PNG_INFO_tRNS))
    png_set_filler(png, ref.outDepth == 16 ? 0xFFFF : 0xFF, PNG_FILLER_AFTER);
  png_set_interlace_handling(png);
  png_read_update_info(png, info);
  const size_t rowBytes = png_get_rowbytes(png, info);
  data.resize(rowBytes * static_cast<size_t>(ref.height));
  for (int y = 0; y < ref.height; ++y) rows.push_back(data.data() + rowBytes * static_cast<size_t>(y));
  png_read_image(png, rows.data());
  png_destroy_read_struct(&png, &info, nullptr);
  std::fclose(f);
  for (int y = 0; y < ref.height; ++y)
    for (int x = 0; x < ref.width; ++x) {
      const uint8_t* p = rows[static_cast<size_t>(y)] + (ref.outDepth == 16 ? 8 : 4) * x;
      if (ref.outDepth == 16)
        ref.pixels.push_back({p[0] * 256u + p[1], p[2] * 256u + p[3], p[4] * 256u + p[5], p[6] * 256u + p[7]});
      else
        ref.pixels.push_back({p[0], p[1], p[2], p[3]});
    }
  return true;
}

// A background sample of the file's depth, expanded as libpng expands samples.
unsigned ExpandSample(unsigned v, int depth) {
  if (depth >= 8) return v;
  return v * 255 / ((1u << depth) - 1);
}

// The expected colour of every pixel, for a background given as a COLORREF
// (the image's) or taken from the file.
std::vector<TColorRef> ExpectedColours(const TReference& ref, bool useFileBackground, TColorRef imageBackground) {
  // The background in the expanded depth.
  unsigned br, bg, bb;
  const bool grey = (ref.colorType & PNG_COLOR_MASK_COLOR) == 0;
  if (useFileBackground && ref.hasBackground) {
    if (grey) {
      br = bg = bb = ExpandSample(ref.background.gray, ref.depth);
    } else {
      br = ref.background.red;
      bg = ref.background.green;
      bb = ref.background.blue;
    }
  } else {
    const unsigned r = GetRValue(imageBackground), g = GetGValue(imageBackground), b = GetBValue(imageBackground);
    if (grey) {
      const unsigned g16 = (r + g + b) * 256 / 3;
      const unsigned v = ref.depth == 16 ? g16 : g16 >> (16 - ref.depth);
      br = bg = bb = ExpandSample(v, ref.depth);
    } else if (ref.depth == 16) {
      br = r * 256;
      bg = g * 256;
      bb = b * 256;
    } else {
      br = r;
      bg = g;
      bb = b;
    }
  }
  std::vector<TColorRef> out;
  for (const TRgba& p : ref.pixels) {
    unsigned r = p.r, g = p.g, b = p.b;
    // Palette files keep their stored palette: nothing is composited.
    if (ref.transparent && ref.colorType != PNG_COLOR_TYPE_PALETTE) {
      if (ref.outDepth == 16) {
        png_uint_16 cr, cg, cb;
        png_composite_16(cr, r, p.a, br);
        png_composite_16(cg, g, p.a, bg);
        png_composite_16(cb, b, p.a, bb);
        r = cr, g = cg, b = cb;
      } else {
        png_byte cr, cg, cb;
        png_composite(cr, r, p.a, br);
        png_composite(cg, g, p.a, bg);
        png_composite(cb, b, p.a, bb);
        r = cr, g = cg, b = cb;
      }
    }
    if (ref.outDepth == 16) r >>= 8, g >>= 8, b >>= 8;
    out.push_back(RGBColor(r, g, b));
  }
  return out;
}

void ReadPng(const std::string& file, TPixelGraphic& g) {
  TFileStream in(file, fmOpenRead);
  TPNGFileFormatReader().ReadGraphic(in, g, 0);
}

uint8_t ExpectedBitCount(const TReference& ref) {
  if (ref.colorType == PNG_COLOR_TYPE_RGB || ref.colorType == PNG_COLOR_TYPE_RGB_ALPHA) return bc24Bit;
  if (ref.depth == 1) return bc1Bit;
  if (ref.depth <= 4) return bc4Bit;
  return bc8Bit;
}

class PngSuiteTest : public ::testing::TestWithParam<const char*> {
protected:
  void SetUp() override {
    PGResetFormatSettings();
    FOldHook = platform::SetMessageBoxHook(
        [](const std::string&, const std::string&, platform::TMsgButtons, platform::TMsgIcon) { return 1; });
  }
  void TearDown() override {
    platform::SetMessageBoxHook(FOldHook);
    PGResetFormatSettings();
  }
  platform::TMessageBoxHook FOldHook;
};

void CheckFile(const std::string& name, bool useFileBackground, TColorRef imageBackground) {
  SCOPED_TRACE(name);
  TReference ref;
  ASSERT_TRUE(DecodeReference(kSuite + name + ".png", ref));
  PGPNGUseFileBackground = useFileBackground;
  TPixelGraphic g;
  g.SetBackGroundColor(imageBackground);
  ReadPng(kSuite + name + ".png", g);
  ASSERT_EQ(g.Width(), ref.width);
  ASSERT_EQ(g.Height(), ref.height);
  ASSERT_EQ(g.BitCount(), ExpectedBitCount(ref));
  if (ref.colorType == PNG_COLOR_TYPE_PALETTE) {
    ASSERT_EQ(static_cast<size_t>(g.PaletteCount()), ref.palette.size());
    for (int i = 0; i < g.PaletteCount(); ++i) {
      const png_color& c = ref.palette[static_cast<size_t>(i)];
      EXPECT_EQ(g.PaletteColors(i), RGBColor(c.red, c.green, c.blue));
    }
  } else if (ref.colorType == PNG_COLOR_TYPE_GRAY || ref.colorType == PNG_COLOR_TYPE_GRAY_ALPHA) {
    const TPaletteIdent ident =
        ref.depth == 1 ? pBlackWhite : ref.depth == 2 ? pGray4 : ref.depth == 4 ? pGray16 : pGray256;
    EXPECT_EQ(g.PaletteIdent(), ident);
  }
  const std::vector<TColorRef> expected = ExpectedColours(ref, useFileBackground, imageBackground);
  int wrong = 0;
  for (int y = 0; y < ref.height; ++y)
    for (int x = 0; x < ref.width; ++x) {
      const TColorRef want = expected[static_cast<size_t>(y * ref.width + x)];
      const TColorRef got = g.PixelColors(x, y);
      if (got != want && ++wrong <= 3) ADD_FAILURE() << "pixel " << x << "," << y << ": " << std::hex << got << " != " << want;
    }
  EXPECT_EQ(wrong, 0);
}

TEST_P(PngSuiteTest, LoadsWithLibpngPixels) {
  const std::string name = GetParam();
  CheckFile(name, true, 0);
  CheckFile(name, false, 0);
  CheckFile(name, false, RGBColor(255, 255, 255));
  CheckFile(name, false, RGBColor(200, 100, 30));
  CheckFile("i" + name, true, 0);
  CheckFile("i" + name, false, RGBColor(200, 100, 30));
}

// The interlaced twins hold the same pixels. Their ancillary chunks differ, so
// both are flattened onto the image's background; the palette twins were
// encoded with their palettes in another order, so those compare by colour.
TEST_P(PngSuiteTest, InterlacedTwinLoadsIdentically) {
  const std::string name = GetParam();
  PGPNGUseFileBackground = false;
  TPixelGraphic plain, interlaced;
  plain.SetBackGroundColor(RGBColor(10, 200, 90));
  interlaced.SetBackGroundColor(RGBColor(10, 200, 90));
  ReadPng(kSuite + name + ".png", plain);
  ReadPng(kSuite + "i" + name + ".png", interlaced);
  ASSERT_EQ(plain.ByteSize(), interlaced.ByteSize());
  ASSERT_EQ(plain.BitCount(), interlaced.BitCount());
  if (plain.PaletteIdent() == pUnknown) {
    for (int y = 0; y < plain.Height(); ++y)
      for (int x = 0; x < plain.Width(); ++x) ASSERT_EQ(plain.PixelColors(x, y), interlaced.PixelColors(x, y));
  } else {
    EXPECT_EQ(plain.PaletteIdent(), interlaced.PaletteIdent());
    EXPECT_EQ(0, std::memcmp(plain.Bits(), interlaced.Bits(), static_cast<size_t>(plain.ByteSize())));
  }
}

INSTANTIATE_TEST_SUITE_P(Basic, PngSuiteTest, ::testing::ValuesIn(kPlainFiles),
                         [](const ::testing::TestParamInfo<const char*>& info) { return std::string(info.param); });

} // namespace
