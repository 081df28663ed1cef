// Targa files written by other programs (netpbm's ppmtotga, ImageMagick's
// convert). A handful are kept in tests/data/tga; when the tools are
// installed, the test set-up also makes every variant afresh.

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "pgraphic/formats/tga.h"
#include "platform/stream.h"

namespace {

constexpr int W = 37, H = 23;

// The source images the files were made from (the same formulas made the kept files).
TColorRef Ref24(int x, int y) { return RGBColor((x * 7) % 256, (y * 11) % 256, (x * y * 3 + 40) % 256); }
const TColorRef Pal16[16] = {
    RGBColor(0, 0, 0),     RGBColor(255, 255, 255), RGBColor(255, 0, 0),    RGBColor(0, 255, 0),
    RGBColor(0, 0, 255),   RGBColor(255, 255, 0),   RGBColor(0, 255, 255),  RGBColor(255, 0, 255),
    RGBColor(128, 64, 32), RGBColor(10, 200, 90),   RGBColor(90, 90, 90),   RGBColor(200, 100, 250),
    RGBColor(33, 66, 99),  RGBColor(250, 128, 0),   RGBColor(17, 170, 34),  RGBColor(64, 0, 128)};
TColorRef Ref16(int x, int y) { return Pal16[(x / 3 + y / 2) % 16]; }
TColorRef RefGrey(int x, int y) {
  const unsigned v = static_cast<unsigned>(x * 6 + y * 5) % 256;
  return RGBColor(v, v, v);
}

void WriteSources(const std::string& dir) {
  std::ofstream p6(dir + "/src24.ppm", std::ios::binary), p16(dir + "/src16.ppm", std::ios::binary),
      p5(dir + "/srcgrey.pgm", std::ios::binary);
  const std::string head = std::to_string(W) + " " + std::to_string(H) + "\n255\n";
  p6 << "P6\n" << head;
  p16 << "P6\n" << head;
  p5 << "P5\n" << head;
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      const TColorRef a = Ref24(x, y), b = Ref16(x, y);
      p6.put(static_cast<char>(GetRValue(a))).put(static_cast<char>(GetGValue(a))).put(static_cast<char>(GetBValue(a)));
      p16.put(static_cast<char>(GetRValue(b))).put(static_cast<char>(GetGValue(b))).put(static_cast<char>(GetBValue(b)));
      p5.put(static_cast<char>(GetRValue(RefGrey(x, y))));
    }
}

bool ToolsPresent() {
  return std::system("command -v ppmtotga >/dev/null 2>&1 && command -v convert >/dev/null 2>&1") == 0;
}

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
  TFileStream s(path, fmOpenRead);
  TPixelGraphic g;
  TTGAFileFormatReader().ReadGraphic(s, g, 0);
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

TEST(TGAConformance, KeptFiles) {
  int checked = 0;
  for (const Variant& v : Variants) {
    const std::string path = std::string(ZWILLO_TEST_DATA) + "/tga/" + v.name;
    if (!std::filesystem::exists(path)) continue;
    CheckFile(path, v);
    ++checked;
  }
  EXPECT_GE(checked, 5);
}

TEST(TGAConformance, FilesMadeByOtherPrograms) {
  if (!ToolsPresent()) GTEST_SKIP() << "netpbm or ImageMagick not installed";
  std::string dir = ::testing::TempDir() + "tgaconfXXXXXX";
  ASSERT_NE(mkdtemp(dir.data()), nullptr);
  WriteSources(dir);
  for (const Variant& v : Variants) {
    const std::string cmd = "cd '" + dir + "' && " + v.command + " 2>/dev/null";
    ASSERT_EQ(std::system(cmd.c_str()), 0) << v.command;
    CheckFile(dir + "/" + v.name, v);
  }
  std::filesystem::remove_all(dir);
}

}  // namespace
