// Point filters: each filter's formula, the palette path, the pixel path and
// its fast paths against the plain per-pixel application.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <random>

#include "pgraphic/core/filters.h"
#include "pgraphic/core/pixelgraphic.h"

namespace {

using Image = std::unique_ptr<TPixelGraphic>;

Image NewImage(int w, int h, uint8_t bitCount) {
  auto img = std::make_unique<TPixelGraphic>();
  img->SetSize(w, h, bitCount);
  return img;
}

Image RandomImage(int w, int h, uint8_t bitCount, std::mt19937& rng) {
  auto img = NewImage(w, h, bitCount);
  if (bitCount != bc24Bit) {
    const int n = img->PaletteSize();
    img->SetPaletteCount(n);
    for (int i = 0; i < n; ++i) img->SetPaletteColor(i, rng() & 0xFFFFFF);
  }
  for (int y = 0; y < h; ++y) {
    uint8_t* row = img->ScanLine(y);
    for (int i = 0; i < img->BytesPerRow(); ++i) row[i] = static_cast<uint8_t>(rng());
  }
  return img;
}

Image Clone(const TPixelGraphic& img) {
  auto c = std::make_unique<TPixelGraphic>();
  c->Assign(&img);
  return c;
}

void ExpectSamePixels(const TPixelGraphic& a, const TPixelGraphic& b) {
  ASSERT_EQ(a.Width(), b.Width());
  ASSERT_EQ(a.Height(), b.Height());
  ASSERT_EQ(a.BitCount(), b.BitCount());
  ASSERT_EQ(a.PaletteCount(), b.PaletteCount());
  for (int i = 0; i < a.PaletteCount(); ++i) ASSERT_EQ(a.PaletteColors(i), b.PaletteColors(i));
  for (int y = 0; y < a.Height(); ++y)
    for (int x = 0; x < a.Width(); ++x) ASSERT_EQ(a.Pixels(x, y), b.Pixels(x, y)) << "at " << x << "," << y;
}

// Subclasses that change nothing: ApplyFilter cannot know that, so they run
// through the general per-pixel path, the reference for the fast paths.
class TPlainGray : public TGrayScaleFilter {};
class TPlainBCG : public TBCGFilter {};
class TPlainRGB : public TRGBFilter {};
class TPlainCMY : public TCMYFilter {};

// A filter that is not a colour filter.
class TShiftFilter : public TPGFilter {
public:
  TColorRef GetFilteredPixel(int x, int y) override { return Source()->PixelColors(x + 1, y); }
};

}  // namespace

// ============================================================ formulas

TEST(GrayScaleFilter, WeightedAndUnweightedGrey) {
  TGrayScaleFilter f;
  // 3 * (299*200 + 587*100 + 114*50) div 1000 = 372; div 3 = 124.
  EXPECT_EQ(f.MapColor(RGBColor(200, 100, 50)), RGBColor(124, 124, 124));
  f.SetRGBWeighting(false);
  EXPECT_EQ(f.MapColor(RGBColor(200, 100, 50)), RGBColor(116, 116, 116));
  EXPECT_EQ(f.MapColor(RGBColor(255, 255, 255)), RGBColor(255, 255, 255));
  EXPECT_TRUE(f.IsColorFilter());
}

TEST(BCGFilter, CurveIdentityAndParameters) {
  TBCGFilter f;
  f.SetBrightness(0);
  f.BuildCurve();
  for (int i = 0; i < 256; ++i) ASSERT_EQ(f.Curve()[i], i);
  // Brightness 10 adds 25.5: ties go to the even neighbour.
  f.SetBrightness(10);
  f.BuildCurve();
  EXPECT_EQ(f.Curve()[0], 26);    // 25.5
  EXPECT_EQ(f.Curve()[255], 255); // 280.5, limited
  // Contrast around 127.5: (i - 127.5) * 1.5 + 127.5.
  f.SetBrightness(0);
  f.SetContrast(1.5L);
  f.BuildCurve();
  EXPECT_EQ(f.Curve()[100], 86);  // 86.25
  EXPECT_EQ(f.Curve()[0], 0);     // -63.75
  EXPECT_EQ(f.Curve()[255], 255);
  // Gamma 2: (i/255)^2 * 255.
  f.SetContrast(1);
  f.SetGamma(2);
  f.BuildCurve();
  EXPECT_EQ(f.Curve()[128], 64);   // 64.25
  EXPECT_EQ(f.Curve()[255], 255);
  // Gamma 0: every value 255 (power 1); contrast 0 collapses to 127.5 -> 128.
  f.SetGamma(0);
  f.BuildCurve();
  EXPECT_EQ(f.Curve()[0], 255);
  f.SetGamma(1);
  f.SetContrast(0);
  f.BuildCurve();
  EXPECT_EQ(f.Curve()[0], 128);
  EXPECT_EQ(f.Curve()[255], 128);
  // The default Brightness is 1 percent: 2.55 added.
  TBCGFilter d;
  d.BuildCurve();
  EXPECT_EQ(d.Curve()[0], 3);
}

TEST(BCGFilter, LumaPathKeepsGreysWithTheIdentityCurve) {
  TBCGFilter f;
  f.SetBrightness(0);
  f.SetUseY(true);
  f.BuildCurve();
  for (unsigned v : {0u, 1u, 64u, 128u, 200u, 255u}) EXPECT_EQ(f.MapColor(RGBColor(v, v, v)), RGBColor(v, v, v));
  // Brightening the luma of a colour raises every channel alike.
  f.SetBrightness(20);
  f.BuildCurve();
  const TColorRef c = f.MapColor(RGBColor(100, 50, 20));
  EXPECT_EQ(GetRValue(c), 151u);
  EXPECT_EQ(GetGValue(c), 101u);
  EXPECT_EQ(GetBValue(c), 71u);
}

TEST(XXXFilter, CurvesFromPercentages) {
  TRGBFilter rgb;
  for (int i = 0; i < 256; ++i) ASSERT_EQ(rgb.Curve1[i], i);
  PGFillFilterCurves(rgb, 100, -100, -3);
  EXPECT_EQ(rgb.MapColor(RGBColor(0, 255, 100)), RGBColor(255, 0, 93)); // -3 * 255 div 100 = -7
  PGFillFilterCurves(rgb, 150, 0, 0);  // clamped to 100
  EXPECT_EQ(rgb.Curve1[0], 255);
  EXPECT_EQ(rgb.Curve2[77], 77);

  TCMYFilter cmy;
  cmy.SetPercentages(100, 0, 0);
  // Full cyan ink removes all red.
  EXPECT_EQ(cmy.MapColor(RGBColor(255, 10, 20)), RGBColor(0, 10, 20));
  cmy.SetPercentages(0, 0, -100);
  EXPECT_EQ(cmy.MapColor(RGBColor(3, 4, 5)), RGBColor(3, 4, 255));
}

TEST(FilterDialogSliders, FactorsAndPositions) {
  EXPECT_EQ(PGFactorToSlider(1.0L), 0);
  EXPECT_EQ(PGFactorToSlider(10), 100);
  EXPECT_EQ(PGFactorToSlider(0.1L), -100);
  EXPECT_EQ(PGFactorToSlider(2), 43);
  EXPECT_NEAR(static_cast<double>(PGSliderToFactor(43)), 1.998, 0.0005);
  EXPECT_NEAR(static_cast<double>(PGSliderToRoundedFactor(43)), 2.0, 1e-12);
  EXPECT_NEAR(static_cast<double>(PGSliderToFactor(-100)), 0.2, 1e-15);
  EXPECT_NEAR(static_cast<double>(PGSliderToRoundedFactor(50)), 2.24, 1e-12);
}

// ============================================================ ApplyFilter

TEST(ApplyFilter, GreyInPlaceOn24Bit) {
  std::mt19937 rng(1);
  auto img = RandomImage(31, 7, bc24Bit, rng);
  auto orig = Clone(*img);
  TGrayScaleFilter f;
  img->ApplyFilter(f, *img);
  for (int y = 0; y < 7; ++y)
    for (int x = 0; x < 31; ++x) {
      const TColorRef c = orig->Pixels(x, y);
      const unsigned g = static_cast<unsigned>(3 * (299 * GetRValue(c) + 587 * GetGValue(c) + 114 * GetBValue(c)) / 1000 / 3);
      ASSERT_EQ(img->Pixels(x, y), RGBColor(g, g, g));
    }
  EXPECT_EQ(f.Source(), nullptr);
}

TEST(ApplyFilter, PaletteTargetKeepsIndicesAndMapsThePalette) {
  std::mt19937 rng(2);
  auto src = RandomImage(9, 5, bc8Bit, rng);
  auto dst = NewImage(3, 3, bc8Bit);
  TRGBFilter f;
  f.SetPercentages(100, 0, -100);
  dst->ApplyFilter(f, *src);
  ASSERT_EQ(dst->Width(), 9);
  ASSERT_EQ(dst->PaletteCount(), 256);
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 9; ++x) ASSERT_EQ(dst->Pixels(x, y), src->Pixels(x, y));
  for (int i = 0; i < 256; ++i) {
    const TColorRef c = src->PaletteColors(i);
    ASSERT_EQ(dst->PaletteColors(i), RGBColor(255, GetGValue(c), 0));
  }
  // In place on a 4-bit image: the same.
  auto four = RandomImage(5, 5, bc4Bit, rng);
  auto before = Clone(*four);
  TGrayScaleFilter g;
  four->ApplyFilter(g, *four);
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 5; ++x) ASSERT_EQ(four->Pixels(x, y), before->Pixels(x, y));
  for (int i = 0; i < 16; ++i) ASSERT_EQ(four->PaletteColors(i), g.MapColor(before->PaletteColors(i)));
}

TEST(ApplyFilter, RedAndCyanExtremesOnPixels) {
  std::mt19937 rng(4);
  auto src = RandomImage(8, 8, bc24Bit, rng);
  auto dst = NewImage(1, 1, bc24Bit);
  TRGBFilter red;
  red.SetPercentages(100, 0, 0);
  dst->ApplyFilter(red, *src);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) {
      ASSERT_EQ(GetRValue(dst->Pixels(x, y)), 255u);
      ASSERT_EQ(GetGValue(dst->Pixels(x, y)), GetGValue(src->Pixels(x, y)));
    }
  red.SetPercentages(-100, 0, 0);
  dst->ApplyFilter(red, *src);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) ASSERT_EQ(GetRValue(dst->Pixels(x, y)), 0u);
  TCMYFilter cyan;
  cyan.SetPercentages(100, 0, 0);
  dst->ApplyFilter(cyan, *src);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) {
      ASSERT_EQ(GetRValue(dst->Pixels(x, y)), 0u);
      ASSERT_EQ(GetBValue(dst->Pixels(x, y)), GetBValue(src->Pixels(x, y)));
    }
}

TEST(ApplyFilter, NonColourFilterInPlaceIsRefused) {
  auto img = NewImage(4, 4, bc24Bit);
  TShiftFilter f;
  try {
    img->ApplyFilter(f, *img);
    FAIL() << "no exception";
  } catch (const EPGFilter& e) {
    EXPECT_STREQ(e.what(), "Cannot apply this filter to a source that is identical to the target");
  }
  // From another image it runs pixel by pixel.
  auto src = NewImage(3, 1, bc24Bit);
  src->SetPixels(1, 0, RGBColor(1, 2, 3));
  src->SetPixels(2, 0, RGBColor(4, 5, 6));
  img->ApplyFilter(f, *src);
  ASSERT_EQ(img->Width(), 3);
  EXPECT_EQ(img->Pixels(0, 0), RGBColor(1, 2, 3));
  EXPECT_EQ(img->Pixels(1, 0), RGBColor(4, 5, 6));
  EXPECT_EQ(img->Pixels(2, 0), 0u);  // background of the source outside it
  EXPECT_EQ(f.Source(), nullptr);
}

TEST(ApplyFilter, FastPathsMatchThePerPixelPath) {
  std::mt19937 rng(8);
  auto makeFilters = [](int k, std::unique_ptr<TPGFilter>& fast, std::unique_ptr<TPGFilter>& plain) {
    switch (k) {
      case 0: fast = std::make_unique<TGrayScaleFilter>(); plain = std::make_unique<TPlainGray>(); break;
      case 1: {
        auto a = std::make_unique<TGrayScaleFilter>();
        auto b = std::make_unique<TPlainGray>();
        a->SetRGBWeighting(false);
        b->SetRGBWeighting(false);
        fast = std::move(a), plain = std::move(b);
        break;
      }
      case 2:
      case 3: {
        auto a = std::make_unique<TBCGFilter>();
        auto b = std::make_unique<TPlainBCG>();
        for (TBCGFilter* f : {a.get(), static_cast<TBCGFilter*>(b.get())}) {
          f->SetBrightness(-12);
          f->SetContrast(1.7L);
          f->SetGamma(0.6L);
          f->SetUseY(k == 3);
        }
        fast = std::move(a), plain = std::move(b);
        break;
      }
      case 4: {
        auto a = std::make_unique<TRGBFilter>();
        auto b = std::make_unique<TPlainRGB>();
        a->SetPercentages(30, -45, 7);
        b->SetPercentages(30, -45, 7);
        fast = std::move(a), plain = std::move(b);
        break;
      }
      default: {
        auto a = std::make_unique<TCMYFilter>();
        auto b = std::make_unique<TPlainCMY>();
        a->SetPercentages(-20, 55, 100);
        b->SetPercentages(-20, 55, 100);
        fast = std::move(a), plain = std::move(b);
        break;
      }
    }
  };
  for (int k = 0; k < 6; ++k)
    for (uint8_t sbc : {bc1Bit, bc4Bit, bc8Bit, bc24Bit})
      for (uint8_t tbc : {bc1Bit, bc4Bit, bc8Bit, bc24Bit})
        for (bool dither : {false, true}) {
          std::unique_ptr<TPGFilter> fast, plain;
          makeFilters(k, fast, plain);
          auto src = RandomImage(19, 6, sbc, rng);
          auto a = RandomImage(2, 2, tbc, rng);
          a->SetDither(dither);
          auto b = Clone(*a);
          a->ApplyFilter(*fast, *src);
          b->ApplyFilter(*plain, *src);
          SCOPED_TRACE(testing::Message() << "filter " << k << " src " << int(sbc) << " dst " << int(tbc)
                                          << " dither " << dither);
          ExpectSamePixels(*a, *b);
          // In place on 24 bit.
          if (sbc == bc24Bit && tbc == bc24Bit) {
            auto c = Clone(*src), d = Clone(*src);
            c->ApplyFilter(*fast, *c);
            d->ApplyFilter(*plain, *d);
            ExpectSamePixels(*c, *d);
          }
        }
}

TEST(ApplyFilter, ProgressAbortStopsAfterTheRow) {
  std::mt19937 rng(6);
  auto img = RandomImage(5, 5, bc24Bit, rng);
  auto orig = Clone(*img);
  int steps = 0;
  img->OnProgress = [&](TObject*, int step, int max, bool& abort) {
    EXPECT_EQ(max, 4);
    ++steps;
    abort = step == 0;
  };
  TGrayScaleFilter f;
  img->ApplyFilter(f, *img);
  EXPECT_EQ(steps, 1);
  EXPECT_EQ(img->Pixels(2, 1), orig->Pixels(2, 1));
  EXPECT_EQ(img->Pixels(2, 0), f.MapColor(orig->Pixels(2, 0)));
}
