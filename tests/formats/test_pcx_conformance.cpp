// PCX files written by other programs (netpbm's ppmtopcx, ImageMagick's
// convert). A handful are kept in tests/data/pcx; when the tools are installed,
// the test set-up also makes every variant afresh.

#include <gtest/gtest.h>

#include <string>

#include "pgraphic/formats/pcx.h"
#include "pgraphic/formats/registry.h"
#include "platform/stream.h"
#include "format_test_util.h"

namespace {

using namespace fmttest::conformance;

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
  CheckReadOrRefused<TPCXFileFormatReader, EPGPCXFileFormatReader>(path, v, "PCX: Unknown subformat");
  // Every one is recognised by its content, whatever its name.
  TFileStream s(path, fmOpenRead);
  const TFileFormatReader* reader = FindFileFormatReader(s, "dat");
  ASSERT_NE(reader, nullptr);
  EXPECT_EQ(reader->Extension, "pcx");
}

TEST(PCXConformance, KeptFiles) { EXPECT_GE(CheckKeptFiles("pcx", Variants, CheckFile), 4); }

TEST(PCXConformance, FilesMadeByOtherPrograms) {
  if (!ToolsPresent({"ppmtopcx", "convert"})) GTEST_SKIP() << "netpbm or ImageMagick not installed";
  MakeAndCheckFiles("pcxconf", Variants, CheckFile);
}

}  // namespace
