// PCX files written by other programs (netpbm's ppmtopcx, ImageMagick's
// convert). A handful are kept in tests/data/pcx; when the tools are installed,
// the test set-up also makes every variant afresh.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "pgraphic/formats/pcx.h"
#include "platform/stream.h"

namespace {

constexpr int W = 37, H = 23;

TColorRef Ref24(int x, int y) { return RGBColor((x * 7) % 256, (y * 11) % 256, (x * y * 3 + 40) % 256); }
const TColorRef Pal16[16] = {
    RGBColor(0, 0, 0),     RGBColor(255, 255, 255), RGBColor(255, 0, 0),    RGBColor(0, 255, 0),
    RGBColor(0, 0, 255),   RGBColor(255, 255, 0),   RGBColor(0, 255, 255),  RGBColor(255, 0, 255),
    RGBColor(128, 64, 32), RGBColor(10, 200, 90),   RGBColor(90, 90, 90),   RGBColor(200, 100, 250),
    RGBColor(33, 66, 99),  RGBColor(250, 128, 0),   RGBColor(17, 170, 34),  RGBColor(64, 0, 128)};
TColorRef Ref16(int x, int y) { return Pal16[(x / 3 + y / 2) % 16]; }
bool Black(int x, int y) { return (x + y) % 3 == 0 || x == y; }
TColorRef Ref2(int x, int y) { return Black(x, y) ? RGBColor(0, 0, 0) : RGBColor(255, 255, 255); }

void WriteSources(const std::string& dir) {
  std::ofstream p6(dir + "/src24.ppm", std::ios::binary), p16(dir + "/src16.ppm", std::ios::binary),
      p4(dir + "/src2.pbm", std::ios::binary);
  const std::string size = std::to_string(W) + " " + std::to_string(H) + "\n";
  p6 << "P6\n" << size << "255\n";
  p16 << "P6\n" << size << "255\n";
  p4 << "P4\n" << size;
  for (int y = 0; y < H; ++y) {
    for (int x = 0; x < W; ++x) {
      const TColorRef a = Ref24(x, y), b = Ref16(x, y);
      p6.put(static_cast<char>(GetRValue(a))).put(static_cast<char>(GetGValue(a))).put(static_cast<char>(GetBValue(a)));
      p16.put(static_cast<char>(GetRValue(b))).put(static_cast<char>(GetGValue(b))).put(static_cast<char>(GetBValue(b)));
    }
    for (int x0 = 0; x0 < W; x0 += 8) {
      unsigned byte = 0;
      for (int k = 0; k < 8; ++k) byte = (byte << 1) | (x0 + k < W && Black(x0 + k, y) ? 1u : 0u);
      p4.put(static_cast<char>(byte));
    }
  }
}

bool ToolsPresent() {
  return std::system("command -v ppmtopcx >/dev/null 2>&1 && command -v convert >/dev/null 2>&1") == 0;
}

struct Variant {
  const char* name;
  const char* command;
  TColorRef (*ref)(int, int);  // null: refused as "Unknown subformat"
  uint8_t bitCount;
};

const Variant Variants[] = {
    // 37 bytes per line and plane: odd, so the planes start at L div 3 = 37 and 74.
    {"ppmtopcx_24.pcx", "ppmtopcx src24.ppm > ppmtopcx_24.pcx", Ref24, bc24Bit},
    {"ppmtopcx_16.pcx", "ppmtopcx src16.ppm > ppmtopcx_16.pcx", Ref16, bc4Bit},
    {"ppmtopcx_8.pcx", "ppmtopcx -8bit src16.ppm > ppmtopcx_8.pcx", Ref16, bc8Bit},
    {"ppmtopcx_1.pcx", "ppmtopcx src2.pbm > ppmtopcx_1.pcx", Ref2, bc1Bit},
    {"ppmtopcx_packed.pcx", "ppmtopcx -packed src16.ppm > ppmtopcx_packed.pcx", nullptr, bc4Bit},
    {"im_24.pcx", "convert src24.ppm im_24.pcx", Ref24, bc24Bit},
    {"im_8.pcx", "convert src16.ppm -type Palette im_8.pcx", Ref16, bc8Bit},
    {"im_1.pcx", "convert src2.pbm im_1.pcx", Ref2, bc24Bit},
};

void CheckFile(const std::string& path, const Variant& v) {
  SCOPED_TRACE(path);
  TFileStream s(path, fmOpenRead);
  TPixelGraphic g;
  if (!v.ref) {
    try {
      TPCXFileFormatReader().ReadGraphic(s, g, 0);
      ADD_FAILURE() << "accepted";
    } catch (const EPGPCXFileFormatReader& e) {
      EXPECT_STREQ(e.what(), "PCX: Unknown subformat");
    }
    return;
  }
  TPCXFileFormatReader().ReadGraphic(s, g, 0);
  ASSERT_EQ(g.Width(), W);
  ASSERT_EQ(g.Height(), H);
  ASSERT_EQ(g.BitCount(), v.bitCount);
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) ASSERT_EQ(g.PixelColors(x, y), v.ref(x, y)) << x << "," << y;
}

TEST(PCXConformance, KeptFiles) {
  int checked = 0;
  for (const Variant& v : Variants) {
    const std::string path = std::string(ZWILLO_TEST_DATA) + "/pcx/" + v.name;
    if (!std::filesystem::exists(path)) continue;
    CheckFile(path, v);
    ++checked;
  }
  EXPECT_GE(checked, 4);
}

TEST(PCXConformance, FilesMadeByOtherPrograms) {
  if (!ToolsPresent()) GTEST_SKIP() << "netpbm or ImageMagick not installed";
  std::string dir = ::testing::TempDir() + "pcxconfXXXXXX";
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
