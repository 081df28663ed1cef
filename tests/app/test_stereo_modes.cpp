// The stereo modes after the seven of the design, each against a reference
// computed here in double precision from the pictures' pixels, and the eye
// swap of every mode.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <memory>
#include <random>
#include <string>

#include "app/core/compose.h"
#include "app/core/stereo_core.h"
#include "common/file_test_util.h"
#include "common/pixel_test_util.h"
#include "app/core/stereo_modes.h"
#include "pgraphic/core/exceptions.h"
#include "pgraphic/core/threadpool.h"

using testutil::SameColours;

namespace {

std::unique_ptr<TPixelGraphic> Random(int w, int h, uint8_t bitCount, uint32_t seed) {
  std::mt19937 rng(seed);
  auto img = std::make_unique<TPixelGraphic>();
  img->SetSize(w, h, bitCount);
  if (bitCount != bc24Bit) {
    img->SetPaletteCount(1 << TPixelGraphic::BitCountToNum(bitCount));
    for (int i = 0; i < img->PaletteCount(); ++i) img->SetPaletteColor(i, rng() & 0xFFFFFF);
  }
  const uint32_t mask = bitCount == bc24Bit ? 0xFFFFFF : static_cast<uint32_t>(img->PaletteCount() - 1);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) img->SetPixels(x, y, rng() & mask);
  return img;
}

using TRgb = std::array<double, 3>; // red, green, blue

// The pixel of a picture as the layouts see it: black outside.
TRgb At(const TPixelGraphic& img, int64_t x, int64_t y) {
  if (x < 0 || y < 0 || x >= img.Width() || y >= img.Height()) return {0, 0, 0};
  const TColorRef c = img.PixelColors(static_cast<int>(x), static_cast<int>(y));
  return {double(GetRValue(c)), double(GetGValue(c)), double(GetBValue(c))};
}

double Clamp255(double v) { return std::nearbyint(std::min(255.0, std::max(0.0, v))); }

// The published least-squares red-cyan matrices and the luma weights.
const double DL[3][3] = {{0.456100, 0.500484, 0.176381},
                         {-0.0400822, -0.0378246, -0.0157589},
                         {-0.0152161, -0.0205971, -0.00546856}};
const double DR[3][3] = {{-0.0434706, -0.0879388, -0.00155529},
                         {0.378476, 0.73364, -0.0184503},
                         {-0.0721527, -0.112961, 1.2264}};
double Luma(const TRgb& p) { return 0.299 * p[0] + 0.587 * p[1] + 0.114 * p[2]; }

TRgb AnaglyphPixel(int mode, const TRgb& l, const TRgb& r) {
  switch (mode) {
    case smDubois: {
      TRgb o{};
      for (int c = 0; c < 3; ++c) {
        double s = 0;
        for (int k = 0; k < 3; ++k) s += DL[c][k] * l[k] + DR[c][k] * r[k];
        o[c] = Clamp255(s);
      }
      return o;
    }
    case smHalfColour:
      return {Clamp255(Luma(l)), r[1], r[2]};
    case smOptimised:
      return {Clamp255(255 * std::pow((0.7 * l[1] + 0.3 * l[2]) / 255, 1 / 1.5)), r[1], r[2]};
    default: // grey
      return {Clamp255(Luma(l)), Clamp255(Luma(r)), Clamp255(Luma(r))};
  }
}

// The reference result of a new mode as rows of pixels.
struct TRef {
  int W = 0, H = 0;
  std::vector<TRgb> P;
  TRgb& operator()(int x, int y) { return P[static_cast<size_t>(y) * W + x]; }
};

TRef Reference(int mode, const TPixelGraphic& L, const TPixelGraphic& R, const TCommonArea& a) {
  // Pixel (x, y) of the left (side 0) or right (side 1) area.
  auto pixel = [&](int side, int x, int y) {
    return side == 0 ? At(L, int64_t{a.X0} + x, int64_t{a.Y0} + y)
                     : At(R, int64_t{a.X0} - a.Dx + x, int64_t{a.Y0} - a.Dy + y);
  };
  auto left = [&](int x, int y) { return pixel(0, x, y); };
  auto right = [&](int x, int y) { return pixel(1, x, y); };
  auto mean = [](const TRgb& p, const TRgb& q) {
    return TRgb{std::nearbyint((p[0] + q[0]) / 2), std::nearbyint((p[1] + q[1]) / 2), std::nearbyint((p[2] + q[2]) / 2)};
  };
  const int W = a.W, H = a.H, hw = (W + 1) / 2, hh = (H + 1) / 2;
  TRef t;
  t.W = mode == smHalfSideBySide ? 2 * hw : W;
  t.H = mode == smOverUnder ? 2 * H : mode == smHalfOverUnder ? 2 * hh : H;
  t.P.resize(static_cast<size_t>(t.W) * t.H);
  for (int y = 0; y < t.H; ++y)
    for (int x = 0; x < t.W; ++x) {
      switch (mode) {
        case smHalfSideBySide: {
          const int side = x < hw ? 0 : 1, j = x % hw;
          t(x, y) = mean(pixel(side, 2 * j, y), pixel(side, std::min(2 * j + 1, W - 1), y));
          break;
        }
        case smOverUnder:
          t(x, y) = y < H ? left(x, y) : right(x, y - H);
          break;
        case smHalfOverUnder: {
          const int side = y < hh ? 0 : 1, j = y % hh;
          t(x, y) = mean(pixel(side, x, 2 * j), pixel(side, x, std::min(2 * j + 1, H - 1)));
          break;
        }
        case smColumnInterleaved:
          t(x, y) = x % 2 == 0 ? left(x, y) : right(x, y);
          break;
        case smCheckerboard:
          t(x, y) = (x + y) % 2 == 0 ? left(x, y) : right(x, y);
          break;
        default:
          t(x, y) = AnaglyphPixel(mode, left(x, y), right(x, y));
          break;
      }
    }
  return t;
}

// Largest channel difference between a result and its reference.
int MaxDifference(const TPixelGraphic& img, TRef& ref, const std::string& what) {
  EXPECT_EQ(img.Width(), ref.W) << what;
  EXPECT_EQ(img.Height(), ref.H) << what;
  EXPECT_EQ(img.BitCount(), bc24Bit) << what;
  if (img.Width() != ref.W || img.Height() != ref.H) return 999;
  int worst = 0;
  for (int y = 0; y < ref.H; ++y)
    for (int x = 0; x < ref.W; ++x) {
      const TRgb p = At(img, x, y);
      for (int c = 0; c < 3; ++c) worst = std::max(worst, static_cast<int>(std::fabs(p[c] - ref(x, y)[c])));
    }
  return worst;
}

bool IsAnaglyph(int mode) { return mode >= smDubois && mode <= smGreyAnaglyph; }

} // namespace

// Random pixels, odd and even sizes around the vector kernels' group widths,
// palette pictures, shifts in both directions and areas reaching outside the
// pictures (black there): at most 1 off for the anaglyphs, exact for the
// layouts; and the reports.
TEST(ExtraModes, MatchDoublePrecisionReference) {
  struct TCase {
    int wL, hL, wR, hR;
    TStereoPoint pl, pr;
    uint8_t bl, br;
  };
  const TCase cases[] = {
      {1, 1, 1, 1, {}, {}, bc24Bit, bc24Bit},
      {2, 3, 2, 3, {}, {}, bc24Bit, bc24Bit},
      {67, 9, 70, 11, {5, 3}, {2, 4}, bc24Bit, bc24Bit},
      {100, 6, 97, 8, {10, 1}, {13, 2}, bc24Bit, bc24Bit},
      {49, 7, 40, 5, {3, 2}, {1, 0}, bc8Bit, bc24Bit},
      {35, 5, 35, 5, {}, {}, bc1Bit, bc4Bit},
      {33, 4, 34, 5, {0, 0}, {0, 0}, bc24Bit, bc24Bit},
      // Identical points outside the pictures (a parameter file for others).
      {20, 6, 20, 6, {30, 2}, {4, 5}, bc24Bit, bc8Bit},
  };
  uint32_t seed = 500;
  for (const TCase& c : cases) {
    auto L = Random(c.wL, c.hL, c.bl, seed++);
    auto R = Random(c.wR, c.hR, c.br, seed++);
    TCommonArea a = CommonArea(c.wL, c.hL, c.wR, c.hR, c.pl, c.pr);
    if (c.pl.X == 30) a.W = 20; // the area as far as the left picture reaches
    for (int mode = smDubois; mode < StereoModeCount; ++mode) {
      const std::string what = StereoModeCaption(mode) + " on " + std::to_string(a.W) + " x " + std::to_string(a.H);
      TPixelGraphic work;
      std::vector<std::pair<std::string, int>> reports;
      TStereoResult r = ComposeStereo(mode, *L, *R, a, work,
                                      [&](const std::string& t, int p) { reports.emplace_back(t, p); });
      ASSERT_NE(r.Image, nullptr) << what;
      EXPECT_EQ(r.Image == &work, ModeUsesWorkImage(mode)) << what;
      TRef ref = Reference(mode, *L, *R, a);
      EXPECT_LE(MaxDifference(*r.Image, ref, what), IsAnaglyph(mode) ? 1 : 0) << what;
      EXPECT_EQ(reports, (std::vector<std::pair<std::string, int>>{{"Stereobild berechnen", 0}})) << what;
    }
  }
}

// Every 8-bit value in each input channel, with and without the vector
// kernels: the same pixels, and the reference's.
TEST(ExtraModes, VectorKernelMatchesScalarOnAllValues) {
  auto L = std::make_unique<TPixelGraphic>(), R = std::make_unique<TPixelGraphic>();
  const int w = 256 + 13, h = 64;
  L->SetSize(w, h, bc24Bit);
  R->SetSize(w, h, bc24Bit);
  std::mt19937 rng(9);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      // Column x holds value x in one channel of one picture, the rest random.
      const int k = y % 6, v = x & 255;
      const uint32_t l = rng() & 0xFFFFFF, r = rng() & 0xFFFFFF;
      L->SetPixels(x, y, k < 3 ? (l & ~(0xFFu << (8 * k))) | (static_cast<uint32_t>(v) << (8 * k)) : l);
      R->SetPixels(x, y, k >= 3 ? (r & ~(0xFFu << (8 * (k - 3)))) | (static_cast<uint32_t>(v) << (8 * (k - 3))) : r);
    }
  const TCommonArea a = CommonArea(w, h, w, h, {}, {});
  auto run = [&](int mode, bool vectors) {
    SetStereoVectors(vectors);
    TPixelGraphic work;
    TStereoResult r = ComposeStereo(mode, *L, *R, a, work);
    SetStereoVectors(true);
    auto out = std::make_unique<TPixelGraphic>();
    out->Assign(r.Image);
    return out;
  };
  for (int mode = smDubois; mode < StereoModeCount; ++mode) {
    auto fast = run(mode, true), plain = run(mode, false);
    EXPECT_TRUE(SameColours(*fast, *plain)) << StereoModeCaption(mode);
    TRef ref = Reference(mode, *L, *R, a);
    EXPECT_LE(MaxDifference(*fast, ref, StereoModeCaption(mode)), IsAnaglyph(mode) ? 1 : 0) << StereoModeCaption(mode);
  }
}

// Swapping the eyes of any mode gives what the mode gives on the exchanged
// pair with its identical points exchanged; left-right swapped is right-left.
TEST(ExtraModes, EyeSwapOfEveryMode) {
  auto L = Random(41, 17, bc24Bit, 31);
  auto R = Random(38, 19, bc8Bit, 32);
  const TStereoPoint pl{12, 6}, pr{7, 9};
  const TCommonArea a = CommonArea(41, 17, 38, 19, pl, pr);
  const TCommonArea b = CommonArea(38, 19, 41, 17, pr, pl);
  for (int mode = 0; mode < StereoModeCount; ++mode) {
    TPixelGraphic w1, w2;
    TStereoResult swapped = ComposeStereo(mode | smSwapEyes, *L, *R, a, w1);
    TStereoResult exchanged = ComposeStereo(mode, *R, *L, b, w2);
    ASSERT_NE(swapped.Image, nullptr) << mode;
    ASSERT_NE(exchanged.Image, nullptr) << mode;
    EXPECT_TRUE(SameColours(*swapped.Image, *exchanged.Image)) << StereoModeCaption(mode);
    EXPECT_EQ(swapped.Image == &w1, ModeUsesWorkImage(mode | smSwapEyes)) << mode;
  }
  TPixelGraphic w1, w2;
  TStereoResult lr = ComposeStereo(smLeftRight | smSwapEyes, *L, *R, a, w1);
  TStereoResult rl = ComposeStereo(smRightLeft, *L, *R, a, w2);
  EXPECT_TRUE(SameColours(*lr.Image, *rl.Image));
}

TEST(ExtraModes, CaptionsSizesAndModesOutsideTheList) {
  const char* const captions[] = {"Dubois-Anaglyphenbild",
                                  "Halbfarb-Anaglyphenbild",
                                  "Optimiertes Anaglyphenbild",
                                  "Grau-Anaglyphenbild",
                                  "Stereobild links-rechts, halbe Breite",
                                  "Stereobild oben-unten",
                                  "Stereobild oben-unten, halbe Höhe",
                                  "Stereobild spaltenweise verschachtelt",
                                  "Schachbrett-Stereobild"};
  for (int mode = smDubois; mode < StereoModeCount; ++mode) {
    EXPECT_EQ(StereoModeCaption(mode), captions[mode - smDubois]);
    EXPECT_EQ(StereoModeCaption(mode | smSwapEyes), captions[mode - smDubois]);
  }
  EXPECT_EQ(StereoModeCaption(StereoModeCount), "");
  EXPECT_EQ(StereoModeCaption(-1), "");

  auto L = Random(10, 10, bc24Bit, 1);
  auto R = Random(10, 10, bc24Bit, 2);
  TPixelGraphic work;
  for (int mode : {StereoModeCount, StereoModeCount | smSwapEyes, -1, -1 & ~smSwapEyes})
    EXPECT_EQ(ComposeStereo(mode, *L, *R, CommonArea(10, 10, 10, 10, {}, {}), work).Image, nullptr) << mode;
  // A negative area is refused with the size error, a zero one gives an empty picture.
  const TCommonArea neg{0, 0, 0, 0, -20, 10}, zero{0, 0, 0, 0, 0, 10}, flat{0, 0, 0, 0, 10, -3};
  for (int mode = smDubois; mode < StereoModeCount; ++mode) {
    EXPECT_THROW(ComposeStereo(mode, *L, *R, neg, work), EPGInvalidSize) << mode;
    EXPECT_THROW(ComposeStereo(mode, *L, *R, flat, work), EPGInvalidSize) << mode;
    TStereoResult r = ComposeStereo(mode, *L, *R, zero, work);
    ASSERT_NE(r.Image, nullptr) << mode;
    EXPECT_TRUE(r.Image->Empty()) << mode;
  }
}

// The work image of the anaglyph-like modes may be one of the inputs.
TEST(ExtraModes, WorkImageMayBeAnInput) {
  auto L = Random(21, 9, bc24Bit, 41);
  auto R = Random(21, 9, bc24Bit, 42);
  const TCommonArea a = CommonArea(21, 9, 21, 9, {4, 4}, {2, 3});
  for (int mode = smDubois; mode < StereoModeCount; ++mode) {
    if (!ModeUsesWorkImage(mode)) continue;
    TPixelGraphic expected, work;
    ComposeStereo(mode, *L, *R, a, expected);
    work.Assign(R.get());
    TStereoResult r = ComposeStereo(mode, *L, work, a, work);
    ASSERT_EQ(r.Image, &work);
    EXPECT_TRUE(SameColours(work, expected)) << StereoModeCaption(mode);
  }
}

// Every mode, with and without the swap, on pictures large enough for the row
// loops to be shared out, against the same computation on one thread: the
// same pixels and the same reports.
TEST(ExtraModes, ParallelRowsMatchOneThread) {
  struct TThreads {
    ~TThreads() { PGSetThreadCount(0); }
  } restore;
  auto L = Random(701, 401, bc24Bit, 71);
  auto R = Random(690, 410, bc8Bit, 72);
  const TCommonArea a = CommonArea(701, 401, 690, 410, {40, 17}, {31, 22});
  using TReports = std::vector<std::pair<std::string, int>>;
  auto run = [&](int mode, int threads, TReports& reports) {
    PGSetThreadCount(threads);
    TPixelGraphic work;
    TStereoResult r =
        ComposeStereo(mode, *L, *R, a, work, [&](const std::string& t, int p) { reports.emplace_back(t, p); });
    auto out = std::make_unique<TPixelGraphic>();
    out->Assign(r.Image);
    return out;
  };
  for (int swap : {0, smSwapEyes})
    for (int mode = 0; mode < StereoModeCount; ++mode) {
      TReports one, many;
      auto serial = run(mode | swap, 1, one);
      auto parallel = run(mode | swap, 3, many);
      EXPECT_TRUE(SameColours(*serial, *parallel)) << StereoModeCaption(mode) << (swap ? " swapped" : "");
      EXPECT_EQ(one, many) << mode;
    }
}

// An aligned pair saved as MPO with the eyes swapped holds the views the other
// way round.
TEST(ExtraModes, EyeSwapOfAnAlignedPairOutput) {
  testutil::TScratchFolder dir("swap");
  Random(64, 40, bc24Bit, 81)->SaveToFile(dir.Path("l.bmp"));
  Random(60, 44, bc24Bit, 82)->SaveToFile(dir.Path("r.bmp"));
  TComposeFilesJob job;
  job.LeftName = dir.Path("l.bmp");
  job.RightName = dir.Path("r.bmp");
  job.UseParameterFiles = false;
  job.Overrides.LeftPoint = TStereoPoint{10, 8};
  job.Overrides.RightPoint = TStereoPoint{6, 9};
  job.OutputName = dir.Path("plain.mpo");
  ASSERT_TRUE(ComposeFiles(job).Saved);
  job.Mode = smSwapEyes;
  job.OutputName = dir.Path("swapped.mpo");
  ASSERT_TRUE(ComposeFiles(job).Saved);
  for (int view : {0, 1}) {
    TPixelGraphic a, b;
    a.LoadFileImage(dir.Path("plain.mpo"), view);
    b.LoadFileImage(dir.Path("swapped.mpo"), 1 - view);
    EXPECT_TRUE(SameColours(a, b)) << view;
  }
}
