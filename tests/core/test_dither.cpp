// Error-diffusion dithering: the error flow on tiny images worked out by hand,
// the error limits and their soft knee, the grey-palette rule, and the row
// buffers against a straightforward whole-image reference.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "pgraphic/core/pixelgraphic.h"

namespace {

// Dithers colours (row-major, width w) into target the way the bulk
// operations do: NextDitherRow before each row, serpentine order.
void DitherAll(TPixelGraphic& target, const std::vector<TColorRef>& colors) {
  const int w = target.Width(), h = target.Height();
  target.BeginDither();
  for (int y = 0; y < h; ++y) {
    target.NextDitherRow();
    for (int i = 0; i < w; ++i) {
      const int x = (y & 1) ? w - 1 - i : i;
      const TColorRef c = colors[static_cast<size_t>(y * w + x)];
      target.DitherPixel(x, y, int(GetRValue(c)), int(GetGValue(c)), int(GetBValue(c)));
    }
  }
  target.EndDither();
}

std::vector<uint32_t> Indices(const TPixelGraphic& img) {
  std::vector<uint32_t> out;
  for (int y = 0; y < img.Height(); ++y)
    for (int x = 0; x < img.Width(); ++x) out.push_back(img.Pixels(x, y));
  return out;
}

std::vector<TColorRef> Greys(std::initializer_list<unsigned> values) {
  std::vector<TColorRef> out;
  for (unsigned v : values) out.push_back(RGBColor(v, v, v));
  return out;
}

struct Target : TPixelGraphic {
  Target(int w, int h, uint8_t bitCount, TPaletteIdent ident) {
    SetSize(w, h, bitCount);
    SetPaletteIdent(ident);
  }
};

void SetLimit(TPixelGraphic& img, int limit, bool soft) {
  img.SetDitherErrorLimitAuto(false);
  img.SetDitherErrorLimit(static_cast<uint8_t>(limit));
  img.SetDitherErrorLimitSoft(soft);
}

// The limit table written out independently: identity, capped at L, with
// the soft knee between L div 2 and 3L div 2.
int LimitOf(int e, int limit, bool soft) {
  const int a = e < 0 ? -e : e;
  int t = a;
  if (limit != 255 && a >= limit) t = limit;
  if (soft && a >= limit / 2 && a <= (3 * limit) / 2 && a < 255) t = a / 2 + limit / 4;
  return e < 0 ? -t : t;
}

int AutoLimit(TPaletteIdent ident) {
  switch (ident) {
    case pBlackWhite: return 255;
    case pSysGray4: case pSys16: case pGray4: return 128;
    case pGray236: return 3;
    case pGray256: return 2;
    case pSpecial125: case pSpecial252: return 104;
    case pSpecial216: return 86;
    default: return 32;
  }
}

// Whole-image reference: one error plane of (h + 1) x (w + 2) x 3 in
// sixteenths, nothing swapped or cleared.
std::vector<uint32_t> ReferenceDither(TPixelGraphic& target, const std::vector<TColorRef>& colors) {
  const int w = target.Width(), h = target.Height();
  const bool autoLimit = target.DitherErrorLimitAuto();
  const int limit = autoLimit ? AutoLimit(target.PaletteIdent()) : target.DitherErrorLimit();
  const bool soft = autoLimit ? true : target.DitherErrorLimitSoft();
  bool grey = true;
  for (int i = 0; i < target.PaletteCount(); ++i) {
    const TColorRef p = target.PaletteColors(i);
    grey = grey && GetRValue(p) == GetGValue(p) && GetGValue(p) == GetBValue(p);
  }
  std::vector<int> err(static_cast<size_t>((h + 1) * (w + 2) * 3), 0);
  auto at = [&](int y, int x, int c) -> int& { return err[static_cast<size_t>((y * (w + 2) + x + 1) * 3 + c)]; };
  auto round16 = [](int a) { return a >= 0 ? (a + 8) / 16 : -((-a + 8) / 16); };
  auto clamp = [](int v) { return v < 0 ? 0 : (v > 255 ? 255 : v); };
  std::vector<uint32_t> out(static_cast<size_t>(w * h));
  for (int y = 0; y < h; ++y) {
    const int dir = (y % 2 == 0) ? 1 : -1;
    for (int i = 0; i < w; ++i) {
      const int x = dir > 0 ? i : w - 1 - i;
      const TColorRef c = colors[static_cast<size_t>(y * w + x)];
      const int v[3] = {int(GetRValue(c)), int(GetGValue(c)), int(GetBValue(c))};
      int t[3], e[3] = {0, 0, 0};
      uint32_t index;
      if (grey) {
        const int g = clamp(PGGreyValue(c, target.RGBWeighting()) / 3 + LimitOf(round16(at(y, x, 1)), limit, soft));
        index = target.ColorToIndex(RGBColor(unsigned(g), unsigned(g), unsigned(g)));
        e[1] = g - int(GetGValue(target.PaletteColors(int(index))));
      } else {
        for (int k = 0; k < 3; ++k) t[k] = clamp(v[k] + LimitOf(round16(at(y, x, k)), limit, soft));
        index = target.ColorToIndex(RGBColor(unsigned(t[0]), unsigned(t[1]), unsigned(t[2])));
        const TColorRef p = target.PaletteColors(int(index));
        const int pc[3] = {int(GetRValue(p)), int(GetGValue(p)), int(GetBValue(p))};
        for (int k = 0; k < 3; ++k) e[k] = t[k] - pc[k];
      }
      out[static_cast<size_t>(y * w + x)] = index;
      for (int k = 0; k < 3; ++k) {
        at(y, x + dir, k) += 7 * e[k];
        at(y + 1, x - dir, k) += 3 * e[k];
        at(y + 1, x, k) += 5 * e[k];
        at(y + 1, x + dir, k) += e[k];
      }
    }
  }
  return out;
}

std::vector<TColorRef> PhotoLike(int w, int h, unsigned seed) {
  std::mt19937 rng(seed);
  std::vector<TColorRef> out;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const int n = int(rng() % 41) - 20;
      auto ch = [&](int base) { return unsigned(std::clamp(base + n, 0, 255)); };
      out.push_back(RGBColor(ch(x * 255 / std::max(w - 1, 1)), ch(y * 255 / std::max(h - 1, 1)), ch((x + y) * 3 % 256)));
    }
  return out;
}

} // namespace

// 3 x 2 pixels of grey 100 into black and white, limit 255 without knee:
//  row 0 (left to right)
//   x0: E 0,  t 100 -> black, e 100: x1 += 700; below: x-1 += 300, x0 += 500, x1 += 100
//   x1: E (700 + 8) div 16 = 44, t 144 -> white, e -111: x2 += -777; below x0 167, x1 -455, x2 -111
//   x2: E -((777 + 8) div 16) = -49, t 51 -> black, e 51: below x1 -302, x2 144
//  row 1 (right to left)
//   x2: E (144 + 8) div 16 = 9, t 109 -> black, e 109: x1 += 763 -> 461
//   x1: E 29, t 129 -> white, e -126: x0 += -882 -> -715
//   x0: E -45, t 55 -> black
TEST(Dither, ErrorFlowOnATinyImage) {
  Target img(3, 2, bc1Bit, pBlackWhite);
  SetLimit(img, 255, false);
  DitherAll(img, Greys({100, 100, 100, 100, 100, 100}));
  EXPECT_EQ(Indices(img), (std::vector<uint32_t>{0, 1, 0, 0, 1, 0}));
}

// The second row runs right to left: its first pixel (x 1) gets the error
// pushed below-behind and below by row 0, and passes 7/16 of its own to x 0.
TEST(Dither, OddRowsRunRightToLeft) {
  Target img(2, 2, bc1Bit, pBlackWhite);
  SetLimit(img, 255, false);
  // Row 0: x0 100 -> black, e 100 (x1 += 700, below x0 += 500, x1 += 100);
  //        x1 0 + E 44 = 44 -> black, e 44 (below x0 += 132, x1 += 220).
  // Row 1 from the right: x1 a 320 -> E 20, 110 + 20 = 130 -> white, e -125,
  //        x0 a 632 - 875 = -243 -> E -15, 130 - 15 = 115 -> black.
  DitherAll(img, Greys({100, 0, 130, 110}));
  EXPECT_EQ(Indices(img), (std::vector<uint32_t>{0, 0, 0, 1}));
}

TEST(Dither, LimitAndSoftKnee) {
  // First pixel grey 100 -> black, error 100, so the second sees E = 44.
  struct TCase {
    int limit;
    bool soft;
    unsigned second;
    uint32_t expected;
  } cases[] = {
      {40, true, 90, 0},    // knee: 44 div 2 + 40 div 4 = 32; 122 stays black
      {40, false, 90, 1},   // capped at 40: 130 is white
      {40, false, 86, 0},   // 126
      {255, false, 86, 1},  // no limit: 130
      {0, false, 127, 0},   // no diffusion at all
      {0, true, 127, 0},
  };
  for (const TCase& c : cases) {
    Target img(2, 1, bc8Bit, pBlackWhite);
    SetLimit(img, c.limit, c.soft);
    DitherAll(img, Greys({100, c.second}));
    EXPECT_EQ(img.Pixels(1, 0), c.expected) << c.limit << (c.soft ? " soft " : " hard ") << c.second;
  }
  // Automatic for black and white: limit 255 with a knee from 127 on, so an
  // error of 44 passes whole.
  Target img(2, 1, bc8Bit, pBlackWhite);
  DitherAll(img, Greys({100, 86}));
  EXPECT_EQ(img.Pixels(1, 0), 1u);
}

TEST(Dither, Gray256KeepsASmoothRampUndithered) {
  // Non-grey colours of a slow ramp: every grey value falls on a palette
  // entry, and the automatic limit of 2 keeps small errors from spreading.
  const int w = 256, h = 8;
  std::vector<TColorRef> ramp;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) ramp.push_back(RGBColor(unsigned(x), unsigned(std::min(x + 3, 255)), unsigned(x / 2)));
  Target img(w, h, bc8Bit, pGray256);
  DitherAll(img, ramp);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      ASSERT_EQ(img.Pixels(x, y), uint32_t(PGGreyValue(ramp[size_t(y * w + x)], true) / 3)) << x << "," << y;
  // The same ramp into 16 greys is dithered: neighbours differ from the
  // plain nearest entry.
  Target g16(w, h, bc8Bit, pGray16);
  DitherAll(g16, ramp);
  int differ = 0;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) differ += g16.Pixels(x, y) != g16.ColorToIndex(ramp[size_t(y * w + x)]);
  EXPECT_GT(differ, w * h / 10);
}

TEST(Dither, GreyPaletteCarriesOnlyTheGreenError) {
  // A grey palette set up entry by entry (pUnknown) still takes the grey
  // rule: pure red has grey value 3 * 299 * 255 div 1000 = 228 -> 76.
  Target img(4, 3, bc8Bit, pNone);
  img.SetPaletteCount(3);
  img.SetPaletteColor(0, RGBColor(0, 0, 0));
  img.SetPaletteColor(1, RGBColor(128, 128, 128));
  img.SetPaletteColor(2, RGBColor(255, 255, 255));
  const std::vector<TColorRef> red(12, RGBColor(255, 0, 0));
  const std::vector<uint32_t> expected = ReferenceDither(img, red);
  DitherAll(img, red);
  EXPECT_EQ(Indices(img), expected);
  // 76 alone maps to 128 (index 1); with the error fed forward some pixels
  // become black.
  EXPECT_EQ(img.Pixels(0, 0), 1u);
  EXPECT_NE(std::count(expected.begin(), expected.end(), 0u), 0);
}

TEST(Dither, MatchesTheWholeImageReference) {
  struct TCase {
    uint8_t bits;
    TPaletteIdent ident;
    int limit;  // -1: automatic
    bool soft;
    bool weighting;
  } cases[] = {
      {bc8Bit, pSpecial252, -1, true, true}, {bc8Bit, pSpecial216, -1, true, true},
      {bc8Bit, pSpecial125, 20, false, true}, {bc4Bit, pSys16, -1, true, true},
      {bc4Bit, pGray16, 60, true, false},    {bc1Bit, pBlackWhite, -1, true, true},
      {bc8Bit, pGray236, -1, true, true},    {bc8Bit, pUnknown, -1, true, true},
      {bc8Bit, pUnknown, 255, false, true},  {bc4Bit, pSysGray4, 7, true, true},
  };
  for (const TCase& c : cases) {
    for (int w : {1, 2, 37}) {
      const int h = 9;
      TPixelGraphic img;
      img.SetSize(w, h, c.bits);
      if (c.ident == pUnknown) {
        std::mt19937 rng(3);
        img.SetPaletteCount(c.bits == bc8Bit ? 200 : 16);
        for (int i = 0; i < img.PaletteCount(); ++i) img.SetPaletteColor(i, rng() & 0xFFFFFF);
      } else {
        img.SetPaletteIdent(c.ident);
      }
      if (c.limit >= 0) SetLimit(img, c.limit, c.soft);
      img.SetRGBWeighting(c.weighting);
      const std::vector<TColorRef> colors = PhotoLike(w, h, unsigned(w + c.ident));
      const std::vector<uint32_t> expected = ReferenceDither(img, colors);
      DitherAll(img, colors);
      ASSERT_EQ(Indices(img), expected) << "ident " << int(c.ident) << " width " << w;
    }
  }
}

TEST(Dither, OutsideTheBracketOrTheImageIsSafe) {
  Target img(3, 3, bc8Bit, pSpecial216);
  // Without BeginDither: the plain nearest entry.
  img.DitherPixel(1, 1, 250, 0, 0);
  EXPECT_EQ(img.Pixels(1, 1), 180u);
  img.BeginDither();
  img.NextDitherRow();
  img.DitherPixel(-1, 0, 10, 10, 10);
  img.DitherPixel(3, 0, 10, 10, 10);
  img.DitherPixel(0, 3, 10, 10, 10);
  img.DitherPixel(0, 0, 300, -5, 20);  // channels are clamped
  EXPECT_EQ(img.Pixels(0, 0), 180u);
  img.EndDither();
  EXPECT_FALSE(img.Dithering());
  // A true-colour target stores the colour itself.
  TPixelGraphic rgb;
  rgb.SetSize(2, 1, bc24Bit);
  rgb.BeginDither();
  rgb.NextDitherRow();
  rgb.DitherPixel(1, 0, 1, 2, 3);
  rgb.EndDither();
  EXPECT_EQ(rgb.Pixels(1, 0), RGBColor(1, 2, 3));
}
