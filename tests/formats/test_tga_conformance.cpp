// Targa files written by other programs (netpbm's ppmtotga, ImageMagick's
// convert). A handful are kept in tests/data/tga; when the tools are
// installed, the test set-up also makes every variant afresh. Each is loaded
// through the registry by its name.

#include <gtest/gtest.h>

#include <string>

#include "pgraphic/formats/tga.h"
#include "platform/stream.h"
#include "format_test_util.h"

namespace {

using namespace fmttest::conformance;

struct Variant {
  const char* name;
  const char* command;  // run in the folder of the sources, writes name
  TColorRef (*ref)(int, int);
  bool grey;  // read as an 8-bit grey image
  // ImageMagick keeps the pixels in their order and records "-orient" in the
  // descriptor, so a file that says bottom or right shows the source flipped.
  bool flipV = false, flipH = false;
};

const Variant Variants[] = {
    {"ppmtotga_rle24.tga", "ppmtotga src24.ppm > ppmtotga_rle24.tga", Ref24, false},
    {"ppmtotga_raw24.tga", "ppmtotga -rgb -norle src24.ppm > ppmtotga_raw24.tga", Ref24, false},
    {"ppmtotga_cmap.tga", "ppmtotga -cmap -norle src16.ppm > ppmtotga_cmap.tga", Ref16, false},
    {"ppmtotga_cmaprle.tga", "ppmtotga -cmap src16.ppm > ppmtotga_cmaprle.tga", Ref16, false},
    {"ppmtotga_grey.tga", "ppmtotga -mono -norle srcgrey.pgm > ppmtotga_grey.tga", RefGrey, true},
    {"ppmtotga_greyrle.tga", "ppmtotga -mono srcgrey.pgm > ppmtotga_greyrle.tga", RefGrey, true},
    // A 10-character image ID (the source name before its dot) makes the first
    // byte 0x0A, as in Paintbrush files.
    {"ppmtotga_id10_cmap.tga", "cp src16.ppm pal16_id10.ppm && ppmtotga -cmap -norle pal16_id10.ppm > ppmtotga_id10_cmap.tga",
     Ref16, false},
    {"ppmtotga_id10_cmaprle.tga", "cp src16.ppm pal16_id10.ppm && ppmtotga -cmap pal16_id10.ppm > ppmtotga_id10_cmaprle.tga",
     Ref16, false},
    {"ppmtotga_id10_raw24.tga", "cp src24.ppm rgb24_id10.ppm && ppmtotga -rgb -norle rgb24_id10.ppm > ppmtotga_id10_raw24.tga",
     Ref24, false},
    {"ppmtotga_id10_rle24.tga", "cp src24.ppm rgb24_id10.ppm && ppmtotga -rgb rgb24_id10.ppm > ppmtotga_id10_rle24.tga",
     Ref24, false},
    {"im_raw_bottomleft.tga", "convert src24.ppm -orient BottomLeft -compress None im_raw_bottomleft.tga", Ref24, false, true, false},
    {"im_raw_bottomright.tga", "convert src24.ppm -orient BottomRight -compress None im_raw_bottomright.tga", Ref24,
     false, true, true},
    {"im_raw_topleft.tga", "convert src24.ppm -orient TopLeft -compress None im_raw_topleft.tga", Ref24, false},
    {"im_raw_topright.tga", "convert src24.ppm -orient TopRight -compress None im_raw_topright.tga", Ref24, false, false, true},
    {"im_rle_bottomleft.tga", "convert src24.ppm -orient BottomLeft -compress RLE im_rle_bottomleft.tga", Ref24, false, true, false},
    {"im_rle_bottomright.tga", "convert src24.ppm -orient BottomRight -compress RLE im_rle_bottomright.tga", Ref24,
     false, true, true},
    {"im_rle_topleft.tga", "convert src24.ppm -orient TopLeft -compress RLE im_rle_topleft.tga", Ref24, false},
    {"im_rle_topright.tga", "convert src24.ppm -orient TopRight -compress RLE im_rle_topright.tga", Ref24, false, false, true},
    {"im_rle32_topleft.tga", "convert src24.ppm -alpha on -orient TopLeft -compress RLE im_rle32_topleft.tga", Ref24,
     false},
    {"im_raw32_bottomright.tga",
     "convert src24.ppm -alpha on -orient BottomRight -compress None im_raw32_bottomright.tga", Ref24, false, true, true},
    {"im_cmap.tga", "convert src16.ppm -type Palette -orient TopLeft -compress None im_cmap.tga", Ref16, false},
    {"im_cmaprle.tga", "convert src16.ppm -type Palette -orient TopLeft -compress RLE im_cmaprle.tga", Ref16, false},
    {"im_grey.tga", "convert srcgrey.pgm -orient TopLeft -compress None im_grey.tga", RefGrey, true},
    {"im_greyrle.tga", "convert srcgrey.pgm -orient TopLeft -compress RLE im_greyrle.tga", RefGrey, true},
};

void CheckFile(const std::string& path, const Variant& v) {
  SCOPED_TRACE(path);
  // Through the registry, as a program opens a .tga file.
  TPixelGraphic g;
  g.LoadFromFile(path);
  ASSERT_EQ(g.Width(), W);
  ASSERT_EQ(g.Height(), H);
  if (v.grey) {
    EXPECT_EQ(g.BitCount(), bc8Bit);
    EXPECT_EQ(g.PaletteIdent(), pGray256);
  }
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x)
      ASSERT_EQ(g.PixelColors(x, y), v.ref(v.flipH ? W - 1 - x : x, v.flipV ? H - 1 - y : y)) << x << "," << y;
}

TEST(TGAConformance, KeptFiles) { EXPECT_GE(CheckKeptFiles("tga", Variants, CheckFile), 5); }

TEST(TGAConformance, FilesMadeByOtherPrograms) {
  if (!ToolsPresent({"ppmtotga", "convert"})) GTEST_SKIP() << "netpbm or ImageMagick not installed";
  MakeAndCheckFiles("tgaconf", Variants, CheckFile);
}

}  // namespace
