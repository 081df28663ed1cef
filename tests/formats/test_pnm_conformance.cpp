// PBM, PGM and PPM files written by other programs (netpbm, ImageMagick's
// convert). A handful are kept in tests/data/pnm; when the tools are installed,
// the test set-up also makes every variant afresh.

#include <gtest/gtest.h>

#include <string>

#include "pgraphic/formats/pnm.h"
#include "platform/stream.h"
#include "format_test_util.h"

namespace {

using namespace fmttest::conformance;

// pnmdepth 15 rounds to the new maxval; reading scales back by v * 255 div 15.
TColorRef RefGrey15(int x, int y) {
  const unsigned q = (GreyValue(x, y) * 15 + 127) / 255, v = q * 255 / 15;
  return RGBColor(v, v, v);
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
  CheckReadOrRefused<TPPMFileFormatReader, EPGPxMFileFormatReader>(path, v, "PBM, PGM, PPM: Not supported subformat");
}

TEST(PxMConformance, KeptFiles) { EXPECT_GE(CheckKeptFiles("pnm", Variants, CheckFile), 5); }

TEST(PxMConformance, FilesMadeByOtherPrograms) {
  if (!ToolsPresent({"pnmtoplainpnm", "pnmdepth", "convert"})) GTEST_SKIP() << "netpbm or ImageMagick not installed";
  MakeAndCheckFiles("pnmconf", Variants, CheckFile);
}

}  // namespace
