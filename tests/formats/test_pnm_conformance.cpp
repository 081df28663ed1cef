// PBM, PGM and PPM files written by other programs (netpbm, ImageMagick's
// convert). A handful are kept in tests/data/pnm; when the tools are installed,
// the test set-up also makes every variant afresh.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "pgraphic/formats/pnm.h"
#include "platform/stream.h"

namespace {

constexpr int W = 37, H = 23;

TColorRef Ref24(int x, int y) { return RGBColor((x * 7) % 256, (y * 11) % 256, (x * y * 3 + 40) % 256); }
unsigned GreyValue(int x, int y) { return static_cast<unsigned>(x * 6 + y * 5) % 256; }
TColorRef RefGrey(int x, int y) { return RGBColor(GreyValue(x, y), GreyValue(x, y), GreyValue(x, y)); }
bool Black(int x, int y) { return (x + y) % 3 == 0 || x == y; }
TColorRef Ref2(int x, int y) { return Black(x, y) ? RGBColor(0, 0, 0) : RGBColor(255, 255, 255); }
// pnmdepth 15 rounds to the new maxval; reading scales back by v * 255 div 15.
TColorRef RefGrey15(int x, int y) {
  const unsigned q = (GreyValue(x, y) * 15 + 127) / 255, v = q * 255 / 15;
  return RGBColor(v, v, v);
}

void WriteSources(const std::string& dir) {
  std::ofstream p6(dir + "/src24.ppm", std::ios::binary), p5(dir + "/srcgrey.pgm", std::ios::binary),
      p4(dir + "/src2.pbm", std::ios::binary);
  const std::string size = std::to_string(W) + " " + std::to_string(H) + "\n";
  p6 << "P6\n" << size << "255\n";
  p5 << "P5\n" << size << "255\n";
  p4 << "P4\n" << size;
  for (int y = 0; y < H; ++y) {
    for (int x = 0; x < W; ++x) {
      const TColorRef c = Ref24(x, y);
      p6.put(static_cast<char>(GetRValue(c))).put(static_cast<char>(GetGValue(c))).put(static_cast<char>(GetBValue(c)));
      p5.put(static_cast<char>(GreyValue(x, y)));
    }
    for (int x0 = 0; x0 < W; x0 += 8) {
      unsigned byte = 0;
      for (int k = 0; k < 8; ++k) byte = (byte << 1) | (x0 + k < W && Black(x0 + k, y) ? 1u : 0u);
      p4.put(static_cast<char>(byte));
    }
  }
}

bool ToolsPresent() {
  return std::system("command -v pnmtoplainpnm >/dev/null 2>&1 && command -v pnmdepth >/dev/null 2>&1 && "
                     "command -v convert >/dev/null 2>&1") == 0;
}

struct Variant {
  const char* name;
  const char* command;
  TColorRef (*ref)(int, int);  // null: the file is refused as "Not supported subformat"
  uint8_t bitCount;
};

const Variant Variants[] = {
    {"netpbm_plain.pbm", "pnmtoplainpnm src2.pbm > netpbm_plain.pbm", Ref2, bc1Bit},
    {"netpbm_plain.pgm", "pnmtoplainpnm srcgrey.pgm > netpbm_plain.pgm", RefGrey, bc8Bit},
    {"netpbm_plain.ppm", "pnmtoplainpnm src24.ppm > netpbm_plain.ppm", Ref24, bc24Bit},
    {"netpbm_maxval15.pgm", "pnmdepth 15 srcgrey.pgm > netpbm_maxval15.pgm", RefGrey15, bc8Bit},
    {"im_plain.pbm", "convert src2.pbm -compress none im_plain.pbm", Ref2, bc1Bit},
    {"im_plain.pgm", "convert srcgrey.pgm -compress none im_plain.pgm", RefGrey, bc8Bit},
    {"im_plain.ppm", "convert src24.ppm -compress none im_plain.ppm", Ref24, bc24Bit},
    {"im_plain16.pgm", "convert srcgrey.pgm -depth 16 -compress none im_plain16.pgm", RefGrey, bc8Bit},
    {"im_plain16.ppm", "convert src24.ppm -depth 16 -compress none im_plain16.ppm", Ref24, bc24Bit},
    {"im_raw.pbm", "convert src2.pbm im_raw.pbm", Ref2, bc1Bit},
    {"im_raw.pgm", "convert srcgrey.pgm im_raw.pgm", RefGrey, bc8Bit},
    {"im_raw.ppm", "convert src24.ppm im_raw.ppm", Ref24, bc24Bit},
    {"im_raw16.pgm", "convert srcgrey.pgm -depth 16 im_raw16.pgm", nullptr, bc8Bit},
};

void CheckFile(const std::string& path, const Variant& v) {
  SCOPED_TRACE(path);
  TFileStream s(path, fmOpenRead);
  TPixelGraphic g;
  if (!v.ref) {
    try {
      TPPMFileFormatReader().ReadGraphic(s, g, 0);
      ADD_FAILURE() << "accepted";
    } catch (const EPGPxMFileFormatReader& e) {
      EXPECT_STREQ(e.what(), "PBM, PGM, PPM: Not supported subformat");
    }
    return;
  }
  TPPMFileFormatReader().ReadGraphic(s, g, 0);
  ASSERT_EQ(g.Width(), W);
  ASSERT_EQ(g.Height(), H);
  ASSERT_EQ(g.BitCount(), v.bitCount);
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) ASSERT_EQ(g.PixelColors(x, y), v.ref(x, y)) << x << "," << y;
}

TEST(PxMConformance, KeptFiles) {
  int checked = 0;
  for (const Variant& v : Variants) {
    const std::string path = std::string(ZWILLO_TEST_DATA) + "/pnm/" + v.name;
    if (!std::filesystem::exists(path)) continue;
    CheckFile(path, v);
    ++checked;
  }
  EXPECT_GE(checked, 5);
}

TEST(PxMConformance, FilesMadeByOtherPrograms) {
  if (!ToolsPresent()) GTEST_SKIP() << "netpbm or ImageMagick not installed";
  std::string dir = ::testing::TempDir() + "pnmconfXXXXXX";
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
