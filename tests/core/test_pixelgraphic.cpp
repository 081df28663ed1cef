#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <random>

#include "pgraphic/core/messages.h"
#include "pgraphic/core/palettes.h"
#include "pgraphic/core/pixelgraphic.h"

namespace {

uint32_t LE32(const uint8_t* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (uint32_t(p[3]) << 24); }

// ------------------------------------------------------------ storage layout

struct LayoutCase {
  int width, height, bitCountNum, stride;
};

class StorageLayout : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(StorageLayout, StrideSizeAndHeader) {
  const LayoutCase c = GetParam();
  TPixelGraphic img;
  img.SetSize(c.width, c.height, TPixelGraphic::NumToBitCount(c.bitCountNum));
  EXPECT_EQ(img.BytesPerRow(), c.stride);
  EXPECT_EQ(img.ByteSize(), c.stride * c.height);
  const auto& info = img.BitmapInfo();
  const int table = c.bitCountNum == 24 ? 0 : (1 << c.bitCountNum);
  ASSERT_EQ(info.size(), size_t(40 + 4 * table));
  EXPECT_EQ(LE32(&info[0]), 40u);
  EXPECT_EQ(int32_t(LE32(&info[4])), c.width);
  EXPECT_EQ(int32_t(LE32(&info[8])), c.height);  // positive: bottom-up
  EXPECT_EQ(info[12] | (info[13] << 8), 1);
  EXPECT_EQ(info[14] | (info[15] << 8), c.bitCountNum);
  EXPECT_EQ(LE32(&info[16]), 0u);
  EXPECT_EQ(LE32(&info[20]), uint32_t(c.stride * c.height));
  // Freshly allocated memory is zero.
  for (int i = 0; i < img.ByteSize(); ++i) ASSERT_EQ(img.Bits()[i], 0);
}

INSTANTIATE_TEST_SUITE_P(Depths, StorageLayout,
                         ::testing::Values(LayoutCase{1, 2, 1, 4}, LayoutCase{33, 3, 1, 8}, LayoutCase{7, 2, 4, 4},
                                           LayoutCase{9, 2, 4, 8}, LayoutCase{5, 3, 8, 8}, LayoutCase{4, 1, 8, 4},
                                           LayoutCase{1, 1, 24, 4}, LayoutCase{5, 2, 24, 16},
                                           LayoutCase{4, 2, 24, 12}));

TEST(PixelGraphic, BottomUpRowsAndPixelPacking) {
  // 1 bit, width 10: pixel x is bit 7 - x mod 8 of byte x div 8.
  TPixelGraphic b;
  b.SetSize(10, 2, bc1Bit);
  b.SetPixels(0, 0, 1);
  b.SetPixels(9, 0, 1);
  b.SetPixels(3, 1, 1);
  const uint8_t expect1[8] = {0x10, 0x00, 0, 0, 0x80, 0x40, 0, 0};  // row 1 first (bottom-up)
  EXPECT_EQ(std::memcmp(b.Bits(), expect1, 8), 0);
  b.SetPixels(9, 0, 2);  // any value but 1 clears the bit
  EXPECT_EQ(b.Pixels(9, 0), 0u);

  // 4 bit, odd width: the last pixel sits in the high nibble of the last used byte.
  TPixelGraphic n;
  n.SetSize(5, 1, bc4Bit);
  for (int x = 0; x < 5; ++x) n.SetPixels(x, 0, 0xF0 | uint32_t(x + 1));  // only the low 4 bits count
  const uint8_t expect4[4] = {0x12, 0x34, 0x50, 0x00};
  EXPECT_EQ(std::memcmp(n.Bits(), expect4, 4), 0);
  for (int x = 0; x < 5; ++x) EXPECT_EQ(n.Pixels(x, 0), uint32_t(x + 1));

  // 8 bit: low byte; 24 bit: blue, green, red.
  TPixelGraphic e;
  e.SetSize(3, 2, bc8Bit);
  e.SetPixels(2, 0, 0x1AB);
  EXPECT_EQ(e.Bits()[4 + 2], 0xAB);  // top row is the second stored row
  TPixelGraphic t;
  t.SetSize(2, 2, bc24Bit);
  t.SetPixels(1, 1, RGBColor(1, 2, 3));
  const uint8_t expect24[3] = {3, 2, 1};
  EXPECT_EQ(std::memcmp(t.Bits() + 3, expect24, 3), 0);
  EXPECT_EQ(t.ScanLine(1), t.Bits());
  EXPECT_EQ(t.ScanLine(0), t.Bits() + t.BytesPerRow());
  EXPECT_EQ(t.PixelColors(1, 1), RGBColor(1, 2, 3));
}

TEST(PixelGraphic, RandomPixelsRoundTripEveryDepth) {
  std::mt19937 rng(7);
  for (uint8_t bc : {bc1Bit, bc4Bit, bc8Bit, bc24Bit}) {
    TPixelGraphic img;
    img.SetSize(37, 11, bc);
    const uint32_t mask = bc == bc24Bit ? 0xFFFFFF : (1u << TPixelGraphic::BitCountToNum(bc)) - 1;
    std::vector<uint32_t> ref(37 * 11);
    for (int y = 0; y < 11; ++y)
      for (int x = 0; x < 37; ++x) {
        ref[y * 37 + x] = rng() & mask;
        img.SetPixels(x, y, ref[y * 37 + x]);
      }
    for (int y = 0; y < 11; ++y)
      for (int x = 0; x < 37; ++x) ASSERT_EQ(img.Pixels(x, y), ref[y * 37 + x]) << int(bc) << " " << x << "," << y;
  }
}

// ------------------------------------------------------------ size rules

TEST(PixelGraphic, SizeChangesDiscardPixelsButSameSizeClears) {
  TPixelGraphic img;
  int changes = 0;
  img.OnChange = [&](TObject* s) {
    EXPECT_EQ(s, &img);
    ++changes;
  };
  img.SetSize(3, 4, bc24Bit);
  EXPECT_EQ(changes, 1);
  img.SetPixels(1, 1, 0xFFFFFF);
  img.SetWidth(3);  // same value: nothing happens
  EXPECT_EQ(img.Pixels(1, 1), 0xFFFFFFu);
  EXPECT_EQ(changes, 1);
  img.SetBackGroundColor(RGBColor(9, 8, 7));
  img.SetSize(3, 4, bc24Bit);  // same size: cleared to the background colour
  EXPECT_EQ(img.Pixels(1, 1), RGBColor(9, 8, 7));
  EXPECT_EQ(img.Pixels(2, 3), RGBColor(9, 8, 7));
  EXPECT_EQ(img.Bits()[9], 0);  // row padding is untouched
  img.SetPixels(1, 1, 0xFFFFFF);
  img.SetWidth(5);  // new width: fresh zeroed memory
  EXPECT_EQ(img.Pixels(1, 1), 0u);
  img.SetBitCountNum(8);
  EXPECT_EQ(img.BitCount(), bc8Bit);
  EXPECT_THROW(img.SetBitCountNum(16), EPGInvalidBitCountNum);
  try {
    img.SetBitCountNum(32);
  } catch (const EPGInvalidBitCountNum& e) {
    EXPECT_STREQ(e.what(), "Invalid value for BitCountNum");
  }
}

TEST(PixelGraphic, NegativeSizesRaiseAndZeroSizeIsEmpty) {
  TPixelGraphic img;
  EXPECT_TRUE(img.Empty());
  try {
    img.SetSize(-1, -1, bc24Bit);
    FAIL();
  } catch (const EPGInvalidSize& e) {
    EXPECT_STREQ(e.what(), "Negative width");
  }
  try {
    img.SetSize(1, -1, bc24Bit);
    FAIL();
  } catch (const EPGInvalidSize& e) {
    EXPECT_STREQ(e.what(), "Negative height");
  }
  img.SetSize(0, 10, bc8Bit);
  EXPECT_TRUE(img.Empty());
  EXPECT_EQ(img.ScanLine(0), nullptr);
  EXPECT_EQ(img.Pixels(0, 0), img.BackGroundColor());
}

TEST(PixelGraphic, HugeSizesFailCleanlyInsteadOfOverflowing) {
  TPixelGraphic img;
  img.SetSize(2, 2, bc24Bit);
  // Stride * height overflows 32 bits; computed in 64 bits it is refused.
  for (auto [w, h] : {std::pair{70000, 70000}, std::pair{std::numeric_limits<int32_t>::max(), 2},
                      std::pair{0x40000000, 1},
                      std::pair{std::numeric_limits<int32_t>::max(), std::numeric_limits<int32_t>::max()}}) {
    try {
      img.SetSize(w, h, bc24Bit);
      FAIL() << w << "x" << h;
    } catch (const EPixelGraphic& e) {
      EXPECT_STREQ(e.what(), "CreateDIBSection failed");
    }
    EXPECT_TRUE(img.Empty());
    EXPECT_EQ(img.Width(), 0);
    EXPECT_EQ(img.Height(), 0);
    EXPECT_EQ(img.Pixels(5, 5), 0u);
  }
  // The library-wide cap works the same way.
  const int64_t old = PGMaxImageBytes;
  PGMaxImageBytes = 1000;
  EXPECT_THROW(img.SetSize(100, 100, bc8Bit), EPixelGraphic);
  EXPECT_NO_THROW(img.SetSize(10, 10, bc8Bit));
  PGMaxImageBytes = old;
  // A size that fits is allocated lazily and fully usable.
  img.SetSize(20000, 20000, bc1Bit);
  img.SetPixels(19999, 19999, 1);
  EXPECT_EQ(img.Pixels(19999, 19999), 1u);
}

TEST(PixelGraphic, OutOfRangeAccessBothWays) {
  TPixelGraphic img;
  img.SetSize(3, 3, bc8Bit);
  img.SetPaletteIdent(pGray256);
  img.SetBackGroundColorRaw(77);
  EXPECT_EQ(img.Pixels(-1, 0), 77u);
  EXPECT_EQ(img.Pixels(0, 3), 77u);
  img.SetPixels(3, 0, 5);  // ignored
  img.SetRaiseOnIndexError(true);
  try {
    img.Pixels(-1, 0);
    FAIL();
  } catch (const EPGXYIndexOutOfRange& e) {
    EXPECT_STREQ(e.what(), "X, Y index out of range");
  }
  EXPECT_THROW(img.SetPixels(0, -1, 1), EPGXYIndexOutOfRange);
  EXPECT_NO_THROW(img.Pixels(2, 2));
}

// ------------------------------------------------------------ palette

TEST(PixelGraphic, PaletteInvariants) {
  TPixelGraphic img;
  EXPECT_EQ(img.PaletteIdent(), pTrueColor);
  EXPECT_EQ(img.PaletteColors(12345), 12345u);  // true colour: the index itself
  EXPECT_THROW(img.SetPaletteColor(0, 0), EPGNoPalette);
  img.SetSize(4, 4, bc8Bit);
  img.SetPaletteIdent(pGray256);
  EXPECT_EQ(img.PaletteCount(), 256);
  EXPECT_EQ(img.PaletteColors(200), RGBColor(200, 200, 200));
  img.SetPaletteColor(3, RGBColor(1, 2, 3));
  EXPECT_EQ(img.PaletteIdent(), pUnknown);  // until the next detection
  try {
    img.PaletteColors(256);
    FAIL();
  } catch (const EPGInvalidPaletteIndex& e) {
    EXPECT_STREQ(e.what(), "Invalid palette index");
  }
  EXPECT_THROW(img.SetPaletteColor(-1, 0), EPGInvalidPaletteIndex);
  img.SetPaletteCount(0);
  EXPECT_EQ(img.PaletteIdent(), pNone);
  EXPECT_THROW(img.ColorToIndex(0), EPGNoPalette);
  EXPECT_THROW(img.SetPaletteCount(257), EPGInvalidPaletteIndex);
  // Resizing to 24 bit drops the palette.
  img.SetPaletteIdent(pSys16);
  img.SetSize(4, 4, bc24Bit);
  EXPECT_EQ(img.PaletteIdent(), pTrueColor);
  EXPECT_EQ(img.PaletteCount(), 0);
  // A palette larger than the new table is cut to it.
  img.SetSize(2, 2, bc8Bit);
  img.SetPaletteIdent(pSpecial252);
  img.SetSize(2, 2, bc4Bit);
  EXPECT_EQ(img.PaletteCount(), 16);
}

TEST(PixelGraphic, ColourTableFollowsPaletteAndRepeatsEntryZero) {
  TPixelGraphic img;
  img.SetSize(2, 2, bc4Bit);
  img.SetPaletteCount(2);
  img.SetPaletteColor(0, RGBColor(10, 20, 30));
  img.SetPaletteColor(1, RGBColor(40, 50, 60));
  const auto& info = img.BitmapInfo();
  EXPECT_EQ(LE32(&info[32]), 2u);  // biClrUsed
  const uint8_t e0[4] = {30, 20, 10, 0}, e1[4] = {60, 50, 40, 0};
  EXPECT_EQ(std::memcmp(&info[40], e0, 4), 0);
  EXPECT_EQ(std::memcmp(&info[44], e1, 4), 0);
  for (int i = 2; i < 16; ++i) EXPECT_EQ(std::memcmp(&info[40 + 4 * i], e0, 4), 0) << i;
}

class StandardPaletteDetection : public ::testing::TestWithParam<TPaletteIdent> {};

TEST_P(StandardPaletteDetection, EveryStandardPaletteIsRecognised) {
  const TPaletteIdent ident = GetParam();
  TPixelGraphic img;
  img.SetSize(1, 1, bc8Bit);
  img.SetPaletteIdent(ident);
  // Copy the entries one by one: the ident becomes pUnknown, detection restores it.
  TPixelGraphic copy;
  copy.SetSize(1, 1, bc8Bit);
  copy.SetPaletteCount(img.PaletteCount());
  for (int i = 0; i < img.PaletteCount(); ++i) copy.SetPaletteColor(i, img.PaletteColors(i));
  EXPECT_EQ(copy.PaletteIdent(), pUnknown);
  copy.DetectPaletteIdent();
  EXPECT_EQ(copy.PaletteIdent(), ident);
  // One changed entry makes it an unknown palette.
  copy.SetPaletteColor(copy.PaletteCount() - 1, RGBColor(1, 2, 3));
  copy.DetectPaletteIdent();
  EXPECT_EQ(copy.PaletteIdent(), pUnknown);
}

INSTANTIATE_TEST_SUITE_P(All, StandardPaletteDetection,
                         ::testing::Values(pBlackWhite, pSysGray4, pSys16, pGray4, pGray16, pGray236, pGray256,
                                           pSpecial125, pSpecial216, pSpecial252),
                         [](const ::testing::TestParamInfo<TPaletteIdent>& info) {
                           return "Ident" + std::to_string(int(info.param));
                         });

TEST(PixelGraphic, StandardPaletteContents) {
  const auto g236 = pg::StandardPalette(pGray236);
  ASSERT_EQ(g236.size(), 236u);
  EXPECT_EQ(g236[1], RGBColor(1, 1, 1));      // 255/235 = 1.085
  EXPECT_EQ(g236[118], RGBColor(128, 128, 128));  // 128.04
  EXPECT_EQ(g236[235], RGBColor(255, 255, 255));
  const auto s125 = pg::StandardPalette(pSpecial125);
  EXPECT_EQ(s125[25 * 1 + 5 * 2 + 3], RGBColor(64, 128, 192));
  EXPECT_EQ(s125[124], RGBColor(255, 255, 255));
  const auto s216 = pg::StandardPalette(pSpecial216);
  EXPECT_EQ(s216[36 * 1 + 6 * 2 + 5], RGBColor(51, 102, 255));
  // 252 table: system colours, then the cube without them (109), then the tail.
  const auto s252 = pg::StandardPalette(pSpecial252);
  ASSERT_EQ(s252.size(), 252u);
  EXPECT_EQ(s252[15], RGBColor(255, 255, 255));
  EXPECT_EQ(s252[16], RGBColor(0, 0, 64));
  EXPECT_EQ(s252[124], RGBColor(255, 255, 192));
  EXPECT_EQ(s252[125], RGBColor(32, 32, 32));
  EXPECT_EQ(s252[251], RGBColor(224, 96, 192));
  // Every colour of the table is distinct.
  for (size_t i = 0; i < s252.size(); ++i)
    for (size_t j = i + 1; j < s252.size(); ++j) ASSERT_NE(s252[i], s252[j]) << i << " " << j;
}

TEST(PixelGraphic, DetectionOfEmptyPalettesAndGreyFlag) {
  TPixelGraphic img;
  img.SetSize(2, 2, bc8Bit);
  img.DetectPaletteIdent();
  EXPECT_EQ(img.PaletteIdent(), pNone);
  img.SetSize(2, 2, bc24Bit);
  img.DetectPaletteIdent();
  EXPECT_EQ(img.PaletteIdent(), pTrueColor);
  EXPECT_FALSE(img.GrayPalette());
  img.SetSize(2, 2, bc8Bit);
  img.SetPaletteCount(3);
  img.SetPaletteColor(1, RGBColor(5, 5, 5));
  img.SetPaletteColor(2, RGBColor(9, 9, 9));
  img.DetectPaletteIdent();
  EXPECT_EQ(img.PaletteIdent(), pUnknown);
  EXPECT_TRUE(img.GrayPalette());
  img.SetPaletteColor(2, RGBColor(9, 9, 8));
  img.DetectPaletteIdent();
  EXPECT_FALSE(img.GrayPalette());
}

TEST(PixelGraphic, ColourWritesMapToNearestEntry) {
  TPixelGraphic img;
  img.SetSize(2, 1, bc4Bit);
  img.SetPaletteIdent(pSys16);
  img.SetPixelColors(0, 0, RGBColor(250, 5, 5));
  EXPECT_EQ(img.Pixels(0, 0), 9u);
  EXPECT_EQ(img.PixelColors(0, 0), RGBColor(255, 0, 0));
  // An index beyond the palette reads as entry 0's colour, like the colour table.
  img.SetPaletteCount(2);
  img.SetPixels(1, 0, 15);
  EXPECT_EQ(img.PixelColors(1, 0), RGBColor(0, 0, 0));
}

// ------------------------------------------------------------ background and clear

TEST(PixelGraphic, ClearFillsEveryDepthWithTheBackground) {
  for (uint8_t bc : {bc1Bit, bc4Bit, bc8Bit, bc24Bit}) {
    TPixelGraphic img;
    img.SetSize(13, 3, bc);
    if (bc != bc24Bit) img.SetPaletteIdent(bc == bc1Bit ? pBlackWhite : bc == bc4Bit ? pSys16 : pSpecial216);
    img.SetBackGroundColor(RGBColor(255, 255, 255));
    const uint32_t raw = img.BackGroundColor();
    EXPECT_EQ(img.BackGroundColorValue(), RGBColor(255, 255, 255));
    img.Clear();
    for (int y = 0; y < 3; ++y)
      for (int x = 0; x < 13; ++x) ASSERT_EQ(img.Pixels(x, y), raw) << int(bc);
  }
}

// ------------------------------------------------------------ update bracket and Assign

TEST(PixelGraphic, UpdateBracketDefersTheChangeEvent) {
  TPixelGraphic img;
  int changes = 0;
  img.OnChange = [&](TObject*) { ++changes; };
  img.BeginUpdate();
  img.SetSize(3, 3, bc24Bit);
  img.Clear();
  EXPECT_EQ(changes, 0);
  img.BeginUpdate();
  img.EndUpdate();
  EXPECT_EQ(changes, 0);
  img.EndUpdate();
  EXPECT_EQ(changes, 1);
  img.SetColorCacheEnabled(false);
  EXPECT_EQ(changes, 2);
}

TEST(PixelGraphic, ProgressHelpersReportAbort) {
  TPixelGraphic img;
  std::vector<std::string> log;
  img.OnProgressStart = [&](TObject*) { log.push_back("start"); };
  img.OnProgress = [&](TObject*, int step, int max, bool& abort) {
    EXPECT_FALSE(abort);
    log.push_back(std::to_string(step) + "/" + std::to_string(max));
    abort = step == 1;
  };
  img.OnProgressEnd = [&](TObject*) { log.push_back("end"); };
  img.DoProgressStart(&img);
  EXPECT_FALSE(img.DoProgress(&img, 0, 2));
  EXPECT_TRUE(img.DoProgress(&img, 1, 2));
  img.DoProgressEnd(&img);
  EXPECT_EQ(log, (std::vector<std::string>{"start", "0/2", "1/2", "end"}));
}

TEST(PixelGraphic, AssignCopiesPixelsPaletteAndEveryField) {
  TPixelGraphic src;
  src.SetSize(7, 5, bc8Bit);
  src.SetPaletteCount(3);
  src.SetPaletteColor(0, RGBColor(1, 2, 3));
  src.SetPaletteColor(1, RGBColor(4, 5, 6));
  src.SetPaletteColor(2, RGBColor(7, 8, 9));
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 7; ++x) src.SetPixels(x, y, uint32_t((x + y) % 3));
  src.SetBackGroundColorRaw(2);
  src.SetDither(false);
  src.SetDitherErrorLimit(99);
  src.SetDitherErrorLimitAuto(false);
  src.SetDitherErrorLimitSoft(false);
  src.SetColorCacheEnabled(false);
  src.SetGamma(2.2L);
  src.SetRGBWeighting(false);
  src.SetInterpolate(false);
  src.SetStretchMode(smFast);
  src.SetReadWarningAction(pgwaIgnore);
  src.SetTransparent(true);
  src.SetRaiseOnIndexError(true);
  src.SetSaveColorResWarningAction(pgwaRaise);

  // Into a fresh image, into one of the same size, and without the pixels
  // (AssignFormat) into a fresh image.
  for (int round = 0; round < 3; ++round) {
    TPixelGraphic dst;
    if (round == 1) dst.SetSize(7, 5, bc8Bit);
    int changes = 0;
    dst.OnChange = [&](TObject*) { ++changes; };
    if (round < 2)
      dst.Assign(&src);
    else
      dst.AssignFormat(&src);
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(dst.Width(), 7);
    EXPECT_EQ(dst.Height(), 5);
    EXPECT_EQ(dst.BitCount(), bc8Bit);
    ASSERT_EQ(dst.ByteSize(), src.ByteSize());
    if (round < 2)
      EXPECT_EQ(std::memcmp(dst.Bits(), src.Bits(), size_t(src.ByteSize())), 0);
    else
      EXPECT_EQ(std::count(dst.Bits(), dst.Bits() + dst.ByteSize(), 0), dst.ByteSize());
    ASSERT_EQ(dst.PaletteCount(), 3);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(dst.PaletteColors(i), src.PaletteColors(i));
    EXPECT_EQ(dst.PaletteIdent(), pUnknown);
    EXPECT_EQ(dst.BackGroundColor(), 2u);
    EXPECT_FALSE(dst.Dither());
    EXPECT_EQ(dst.DitherErrorLimit(), 99);
    EXPECT_FALSE(dst.DitherErrorLimitAuto());
    EXPECT_FALSE(dst.DitherErrorLimitSoft());
    EXPECT_FALSE(dst.ColorCacheEnabled());
    EXPECT_EQ(dst.Gamma(), 2.2L);
    EXPECT_FALSE(dst.RGBWeighting());
    EXPECT_FALSE(dst.Interpolate());
    EXPECT_EQ(dst.StretchMode(), smFast);
    EXPECT_EQ(dst.ReadWarningAction(), pgwaIgnore);
    EXPECT_TRUE(dst.Transparent());
    EXPECT_TRUE(dst.RaiseOnIndexError());
    EXPECT_EQ(dst.SaveColorResWarningAction(), pgwaRaise);
  }

  TPixelGraphic grey;
  grey.SetSize(2, 2, bc8Bit);
  grey.SetPaletteIdent(pGray256);
  TPixelGraphic dst;
  dst.Assign(&grey);
  EXPECT_EQ(dst.PaletteIdent(), pGray256);
  dst.Assign(nullptr);
  EXPECT_TRUE(dst.Empty());
  EXPECT_EQ(dst.BitCount(), bc24Bit);
  dst.Assign(&dst);  // assigning an image to itself keeps it
}

} // namespace

// Kept pixel memory: a picture of about the same size takes a freed one's
// memory, cleared by SetSize and left to the caller by SetSizeToOverwrite
// (whose row padding is still zero); the limit bounds what is kept.
TEST(PixelMemoryReuse, ReusesWithinTheLimitAndClearsUnlessOverwritten) {
  PGSetPixelMemoryReuse(8 << 20);
  auto fill = [](TPixelGraphic& g) { std::memset(g.Bits(), 0xFF, static_cast<size_t>(g.ByteSize())); };
  const uint8_t* first;
  {
    TPixelGraphic a;
    a.SetSize(1001, 1000, bc24Bit);  // 3 MB, rows of 3003 bytes and 1 padding byte
    fill(a);
    first = a.Bits();
  }
  EXPECT_GT(PGPixelMemoryKept(), 3000000);
  {
    TPixelGraphic b;
    b.SetSizeToOverwrite(1001, 1000, bc24Bit);
    ASSERT_EQ(b.Bits(), first);
    EXPECT_EQ(PGPixelMemoryKept(), 0);
    EXPECT_EQ(b.ScanLine(5)[3002], 0xFF);
    EXPECT_EQ(b.ScanLine(5)[3003], 0);
    fill(b);
  }
  {
    TPixelGraphic c, d;
    c.SetSize(1000, 999, bc24Bit);  // a little smaller: the same memory, cleared
    ASSERT_EQ(c.Bits(), first);
    EXPECT_TRUE(std::all_of(c.Bits(), c.Bits() + c.ByteSize(), [](uint8_t v) { return v == 0; }));
    d.SetSize(500, 500, bc24Bit);  // far smaller: fresh memory
    EXPECT_NE(d.Bits(), first);
    TPixelGraphic big;
    big.SetSize(2000, 2000, bc24Bit);  // 12 MB: beyond the limit, returned when freed
  }
  EXPECT_LE(PGPixelMemoryKept(), 8 << 20);
  EXPECT_GT(PGPixelMemoryKept(), 0);
  PGSetPixelMemoryReuse(0);
  EXPECT_EQ(PGPixelMemoryKept(), 0);
}
