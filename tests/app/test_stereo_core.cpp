#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "app/core/stereo_core.h"
#include "pgraphic/core/exceptions.h"
#include "pgraphic/core/filters.h"

namespace {

// ------------------------------------------------------------------ helpers

std::unique_ptr<TPixelGraphic> RandomImage(int w, int h, uint8_t bitCount, uint32_t seed, int paletteCount = -1) {
  std::mt19937 rng(seed);
  auto img = std::make_unique<TPixelGraphic>();
  img->SetSize(w, h, bitCount);
  if (bitCount != bc24Bit) {
    const int table = 1 << TPixelGraphic::BitCountToNum(bitCount);
    img->SetPaletteCount(paletteCount < 0 ? table : paletteCount);
    for (int i = 0; i < img->PaletteCount(); ++i) img->SetPaletteColor(i, rng() & 0xFFFFFF);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) img->SetPixels(x, y, rng() % static_cast<unsigned>(table));
  } else {
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) img->SetPixels(x, y, rng() & 0xFFFFFF);
  }
  return img;
}

std::unique_ptr<TPixelGraphic> Filled(int w, int h, TColorRef c) {
  auto img = std::make_unique<TPixelGraphic>();
  img->SetSize(w, h, bc24Bit);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) img->SetPixels(x, y, c);
  return img;
}

// The same picture as a 24-bit image (every pixel's colour).
std::unique_ptr<TPixelGraphic> As24(const TPixelGraphic& src) {
  auto img = std::make_unique<TPixelGraphic>();
  img->SetSize(src.Width(), src.Height(), bc24Bit);
  for (int y = 0; y < src.Height(); ++y)
    for (int x = 0; x < src.Width(); ++x) img->SetPixels(x, y, src.PixelColors(x, y));
  return img;
}

void ExpectSameImage(const TPixelGraphic& a, const TPixelGraphic& b, const std::string& what) {
  ASSERT_EQ(a.Width(), b.Width()) << what;
  ASSERT_EQ(a.Height(), b.Height()) << what;
  ASSERT_EQ(a.BitCount(), b.BitCount()) << what;
  for (int y = 0; y < a.Height(); ++y)
    for (int x = 0; x < a.Width(); ++x)
      if (a.PixelColors(x, y) != b.PixelColors(x, y)) {
        ADD_FAILURE() << what << ": pixel (" << x << ", " << y << ") " << std::hex << a.PixelColors(x, y)
                      << " != " << b.PixelColors(x, y);
        return;
      }
}

int GreyOf(TColorRef c) {
  return ((299 * static_cast<int>(GetRValue(c)) + 587 * static_cast<int>(GetGValue(c)) +
           114 * static_cast<int>(GetBValue(c))) *
              3 / 1000) /
         3;
}

// The composition written out step by step as the modes define it: mode 0
// turns copies of both pictures grey in place with the library's grey-scale
// filter, colours are read through PixelColors, block copies go through the
// library's CopyRect and the mirror through MirrorHorizontal.
std::unique_ptr<TPixelGraphic> Reference(int mode, TPixelGraphic& Lin, TPixelGraphic& Rin, const TCommonArea& a) {
  TPixelGraphic L, R;
  L.Assign(&Lin);
  R.Assign(&Rin);
  if (mode == 0) {
    TGrayScaleFilter grey;
    grey.SetRGBWeighting(true);
    L.ApplyFilter(grey, L);
    R.ApplyFilter(grey, R);
  }
  auto t = std::make_unique<TPixelGraphic>();
  const int W = a.W, H = a.H, lx = a.X0, ly = a.Y0, rx = a.X0 - a.Dx, ry = a.Y0 - a.Dy;
  switch (mode) {
    case 0:
    case 2:
      t->SetSize(W, H, bc24Bit);
      for (int x = 0; x < W; ++x)
        for (int y = 0; y < H; ++y) {
          const TColorRef c = L.PixelColors(lx + x, ly + y), d = R.PixelColors(rx + x, ry + y);
          if (mode == 0) {
            t->SetPixelColors(x, y, RGBColor(GetRValue(c), GetRValue(d), GetRValue(d)));
          } else {
            t->SetPixelColors(x, y, RGBColor(GetRValue(c), GetGValue(d), GetBValue(d)));
          }
        }
      break;
    case 3:
      t->SetSize(W, H, bc24Bit);
      for (int x = 0; x < W; ++x)
        for (int y = 0; y < H; ++y)
          t->SetPixelColors(x, y, y % 2 == 0 ? L.PixelColors(lx + x, ly + y) : R.PixelColors(rx + x, ry + y));
      break;
    case 1: {
      t->SetSize(2 * W + 10, H, bc24Bit);
      t->CopyRect(W + 10, 0, L, ly, lx, H, W);
      t->MirrorHorizontal();
      t->CopyRect(W + 10, 0, R, ry, rx, H, W);
      break;
    }
    case 4:
      t->SetSize(2 * W, H, bc24Bit);
      t->CopyRect(0, 0, L, ly, lx, H, W);
      t->CopyRect(W, 0, R, ry, rx, H, W);
      break;
    case 5:
      t->SetSize(2 * W, H, bc24Bit);
      t->CopyRect(0, 0, R, ry, rx, H, W);
      t->CopyRect(W, 0, L, ly, lx, H, W);
      break;
    case 6: {
      int64_t f, g;
      if (!ElsaFrame(W, H, f, g)) return nullptr;
      t->SetSize(static_cast<int>(2 * f), static_cast<int>(g), bc24Bit);
      const int ox = static_cast<int>((f - W) / 2), oy = static_cast<int>((g - H) / 2);
      t->CopyRect(ox, oy, L, ly, lx, H, W);
      t->CopyRect(static_cast<int>(f) + ox, oy, R, ry, rx, H, W);
      break;
    }
  }
  return t;
}

TStereoResult Compose(int mode, TPixelGraphic& L, TPixelGraphic& R, const TCommonArea& a, TPixelGraphic& work,
                      std::vector<std::pair<std::string, int>>* reports = nullptr) {
  return ComposeStereo(mode, L, R, a, work, [reports](const std::string& t, int p) {
    if (reports) reports->emplace_back(t, p);
  });
}

// ------------------------------------------------------------------ arithmetic

TEST(CommonArea, WorkedExampleAndUnsetPoints) {
  const TCommonArea a = CommonArea(800, 600, 800, 600, {400, 300}, {380, 310});
  EXPECT_EQ(a.Dx, 20);
  EXPECT_EQ(a.Dy, -10);
  EXPECT_EQ(a.X0, 20);
  EXPECT_EQ(a.Y0, 0);
  EXPECT_EQ(a.W, 780);
  EXPECT_EQ(a.H, 590);
  EXPECT_EQ(a.X0 - a.Dx, 0); // right area start
  EXPECT_EQ(a.Y0 - a.Dy, 10);

  const TCommonArea b = CommonArea(640, 480, 600, 500, {0, 0}, {0, 0});
  EXPECT_EQ(b.Dx, 0);
  EXPECT_EQ(b.X0, 0);
  EXPECT_EQ(b.W, 600);
  EXPECT_EQ(b.H, 480);

  // Points far outside the pictures (from a foreign parameter file) give a
  // negative area, computed without overflow.
  const TCommonArea c = CommonArea(100, 100, 100, 100, {INT32_MAX, 0}, {INT32_MIN, 0});
  EXPECT_LT(c.W, 0);
}

TEST(LineAngle, DirectionsAndTiltExample) {
  EXPECT_EQ(LineAngle(0, 0, 0, 0), 0);
  EXPECT_NEAR(static_cast<double>(LineAngle(0, 0, 0, 10)), 0.0, 1e-12);   // down
  EXPECT_NEAR(static_cast<double>(LineAngle(0, 0, 10, 0)), 90.0, 1e-12);  // right
  EXPECT_NEAR(static_cast<double>(LineAngle(0, 0, 0, -10)), 180.0, 1e-12); // up
  EXPECT_NEAR(static_cast<double>(LineAngle(0, 0, -10, 0)), 270.0, 1e-12); // left
  EXPECT_NEAR(static_cast<double>(LineAngle(0, 0, 10, 10)), 45.0, 1e-9);
  EXPECT_NEAR(static_cast<double>(LineAngle(0, 0, -10, 10)), 315.0, 1e-9);
  EXPECT_NEAR(static_cast<double>(LineAngle(10, 110, 110, 100)), 95.71, 0.005);
  EXPECT_NEAR(static_cast<double>(LineAngle(10, 110, 110, 100)), 180 - std::atan(10.0) * 180 / M_PI, 1e-9);
}

TEST(Tilt, LinesWinOverSecondPoints) {
  TPairAlignment p;
  long double d = 0;
  EXPECT_FALSE(TiltDifference(p, d));

  p.Left.Line = {10, 100, 110, 100};
  p.Right.Line = {10, 110, 110, 100};
  ASSERT_TRUE(TiltDifference(p, d));
  EXPECT_NEAR(static_cast<double>(d), 5.71, 0.005);

  // Second points in both pictures too: the lines still win.
  p.Left.Point = {50, 50};
  p.Right.Point = {50, 50};
  p.Left.TurnPoint = {50, 150};   // angle 0
  p.Right.TurnPoint = {150, 50};  // angle 90
  ASSERT_TRUE(TiltDifference(p, d));
  EXPECT_NEAR(static_cast<double>(d), 5.71, 0.005);
  p.Left.Line = p.Right.Line = {};
  ASSERT_TRUE(TiltDifference(p, d));
  EXPECT_NEAR(static_cast<double>(d), 90.0, 1e-9);
  // A second point with a zero coordinate does not count.
  p.Right.TurnPoint = {150, 0};
  EXPECT_FALSE(TiltDifference(p, d));

}

// A line in one photograph only is no tilt (the missing line would count as
// pointing down, turning the other photograph by 90 degrees), nor is a line
// without length; second points in both photographs still count then.
TEST(Tilt, LinesCountOnlyWhenBothPhotographsHaveOne) {
  TPairAlignment q;
  long double d = 0;
  q.Left.Line = {5, 5, 50, 5};
  EXPECT_EQ(TiltLinesGiven(q), tlLeftOnly);
  EXPECT_FALSE(TiltDifference(q, d));
  q.Left.Line = {};
  q.Right.Line = {5, 5, 5, 50};
  EXPECT_EQ(TiltLinesGiven(q), tlRightOnly);
  EXPECT_FALSE(TiltDifference(q, d));
  q.Left.Line = {7, 7, 7, 7}; // a click in tilt-line mode without a drag
  EXPECT_EQ(TiltLinesGiven(q), tlRightOnly);
  q.Left.Line = {-1, 0, 0, 0}; // sum not above 0
  EXPECT_EQ(TiltLinesGiven(q), tlRightOnly);
  q.Left.Point = q.Right.Point = {50, 50};
  q.Left.TurnPoint = {50, 150};
  q.Right.TurnPoint = {150, 50};
  ASSERT_TRUE(TiltDifference(q, d));
  EXPECT_NEAR(static_cast<double>(d), 90.0, 1e-9);
  q.Left.Line = {5, 5, 50, 5};
  EXPECT_EQ(TiltLinesGiven(q), tlBoth);
  ASSERT_TRUE(TiltDifference(q, d));
  EXPECT_NEAR(static_cast<double>(d), -90.0, 1e-12);
}

TEST(ElsaFrame, WorkedExamples) {
  struct Case {
    int w, h, f, g, ox, oy;
  } cases[] = {
      {700, 400, 700, 525, 0, 62},
      {600, 900, 1200, 900, 300, 0},
      {600, 481, 641, 481, 20, 0},
      {300, 200, 640, 480, 170, 140},
      {640, 480, 640, 480, 0, 0},
      {0, 480, 640, 480, 320, 0},
  };
  for (const Case& c : cases) {
    int64_t f = 0, g = 0;
    ASSERT_TRUE(ElsaFrame(c.w, c.h, f, g)) << c.w << "x" << c.h;
    EXPECT_EQ(f, c.f) << c.w << "x" << c.h;
    EXPECT_EQ(g, c.g) << c.w << "x" << c.h;
    EXPECT_EQ((f - c.w) / 2, c.ox);
    EXPECT_EQ((g - c.h) / 2, c.oy);
  }
  int64_t f, g;
  EXPECT_FALSE(ElsaFrame(0, 481, f, g));
}

TEST(StereoCaptions, AllModes) {
  EXPECT_EQ(StereoModeCaption(0), "Rot-Grün-Anaglyphenbild");
  EXPECT_EQ(StereoModeCaption(1), "Spiegel-Stereobild");
  EXPECT_EQ(StereoModeCaption(2), "Farb-Anaglyphenbild");
  EXPECT_EQ(StereoModeCaption(3), "Field-Sequential LCD Stereobild");
  EXPECT_EQ(StereoModeCaption(4), "Stereobild links-rechts");
  EXPECT_EQ(StereoModeCaption(5), "Stereobild rechts-links");
  EXPECT_EQ(StereoModeCaption(6), "Stereobild für ELSA 3D Revelator");
  EXPECT_EQ(StereoModeCaption(StereoModeCount), "");
  EXPECT_EQ(StereoModeCaption(-1), "");
}

// ------------------------------------------------------------------ workers

TEST(ComposeStereo, AnaglyphGreyValuesAndColour) {
  auto L = Filled(4, 3, RGBColor(255, 0, 0));
  auto R = Filled(4, 3, RGBColor(0, 0, 255));
  const TCommonArea a = CommonArea(4, 3, 4, 3, {0, 0}, {0, 0});
  TPixelGraphic work;
  std::vector<std::pair<std::string, int>> reports;
  TStereoResult r = Compose(0, *L, *R, a, work, &reports);
  ASSERT_EQ(r.Image, &work);
  EXPECT_EQ(r.Owned, nullptr);
  EXPECT_EQ(work.BitCount(), bc24Bit);
  EXPECT_EQ(work.PixelColors(2, 1), RGBColor(76, 29, 29));
  const std::vector<std::pair<std::string, int>> expected = {
      {"Stereobild berechnen", 30}, {"Stereobild berechnen", 60}, {"Stereobild berechnen", 80}};
  EXPECT_EQ(reports, expected);

  Compose(2, *L, *R, a, work);
  EXPECT_EQ(work.PixelColors(3, 2), RGBColor(255, 0, 255));
  // The inputs stay as they were.
  EXPECT_EQ(L->PixelColors(0, 0), RGBColor(255, 0, 0));
}

TEST(ComposeStereo, FieldSequentialRowsAndSingleRow) {
  auto L = Filled(5, 4, RGBColor(1, 2, 3));
  auto R = Filled(5, 4, RGBColor(4, 5, 6));
  TPixelGraphic work;
  std::vector<std::pair<std::string, int>> reports;
  Compose(3, *L, *R, CommonArea(5, 4, 5, 4, {}, {}), work, &reports);
  EXPECT_EQ(work.PixelColors(0, 0), RGBColor(1, 2, 3));
  EXPECT_EQ(work.PixelColors(4, 1), RGBColor(4, 5, 6));
  EXPECT_EQ(work.PixelColors(2, 3), RGBColor(4, 5, 6));
  EXPECT_EQ(reports, (std::vector<std::pair<std::string, int>>{{"Stereobild berechnen", 0}}));
  TCommonArea one{0, 0, 0, 0, 5, 1};
  Compose(3, *L, *R, one, work);
  EXPECT_EQ(work.Height(), 1);
  EXPECT_EQ(work.PixelColors(3, 0), RGBColor(1, 2, 3));
}

TEST(ComposeStereo, MirrorGap) {
  auto L = RandomImage(120, 20, bc24Bit, 1);
  auto R = RandomImage(120, 20, bc24Bit, 2);
  TCommonArea a{0, 0, 0, 0, 100, 20};
  TPixelGraphic work;
  TStereoResult r = Compose(1, *L, *R, a, work);
  ASSERT_NE(r.Owned, nullptr);
  EXPECT_EQ(r.Image, r.Owned.get());
  EXPECT_EQ(r.Image->Width(), 210);
  EXPECT_EQ(r.Image->Height(), 20);
  for (int y = 0; y < 20; ++y) {
    for (int x = 100; x < 110; ++x) EXPECT_EQ(r.Image->PixelColors(x, y), 0u);
    EXPECT_EQ(r.Image->PixelColors(99, y), L->PixelColors(0, y));
    EXPECT_EQ(r.Image->PixelColors(0, y), L->PixelColors(99, y));
    EXPECT_EQ(r.Image->PixelColors(110, y), R->PixelColors(0, y));
  }
  EXPECT_TRUE(work.Empty()); // pair modes leave the work image alone
}

TEST(ComposeStereo, ElsaPlacementAndNoResult) {
  auto L = Filled(700, 400, RGBColor(10, 20, 30));
  auto R = Filled(700, 400, RGBColor(40, 50, 60));
  TPixelGraphic work;
  TStereoResult r = Compose(6, *L, *R, CommonArea(700, 400, 700, 400, {}, {}), work);
  ASSERT_NE(r.Image, nullptr);
  EXPECT_EQ(r.Image->Width(), 1400);
  EXPECT_EQ(r.Image->Height(), 525);
  EXPECT_EQ(r.Image->PixelColors(0, 61), 0u);
  EXPECT_EQ(r.Image->PixelColors(0, 62), RGBColor(10, 20, 30));
  EXPECT_EQ(r.Image->PixelColors(699, 461), RGBColor(10, 20, 30));
  EXPECT_EQ(r.Image->PixelColors(699, 462), 0u);
  EXPECT_EQ(r.Image->PixelColors(700, 62), RGBColor(40, 50, 60));

  TCommonArea none{0, 0, 0, 0, 0, 481};
  TStereoResult n = Compose(6, *L, *R, none, work);
  EXPECT_EQ(n.Image, nullptr);
  EXPECT_EQ(n.Owned, nullptr);
  EXPECT_EQ(Compose(StereoModeCount, *L, *R, none, work).Image, nullptr);
  EXPECT_EQ(Compose(-1, *L, *R, none, work).Image, nullptr);
}

TEST(ComposeStereo, NegativeAreaRaisesSizeErrorAndZeroAreaIsEmpty) {
  auto L = Filled(10, 10, 0);
  auto R = Filled(10, 10, 0);
  TPixelGraphic work;
  TCommonArea neg{0, 0, 0, 0, -20, 10};
  for (int mode : {0, 1, 2, 3, 4, 5}) EXPECT_THROW(Compose(mode, *L, *R, neg, work), EPGInvalidSize) << mode;
  // Within 640 x 480 the ELSA frames are fixed: a black pair.
  TStereoResult e = Compose(6, *L, *R, neg, work);
  ASSERT_NE(e.Image, nullptr);
  EXPECT_EQ(e.Image->Width(), 1280);
  EXPECT_EQ(e.Image->Height(), 480);
  TCommonArea zero{0, 0, 0, 0, 0, 10};
  TStereoResult r = Compose(4, *L, *R, zero, work);
  ASSERT_NE(r.Image, nullptr);
  EXPECT_TRUE(r.Image->Empty());
  Compose(2, *L, *R, zero, work);
  EXPECT_TRUE(work.Empty());
  // A result too wide for the size field fails like an allocation.
  TCommonArea huge{0, 0, 0, 0, INT32_MAX / 2 + 10, 1};
  EXPECT_THROW(Compose(4, *L, *R, huge, work), EPixelGraphic);
}

// Every mode on every input resolution, shifted in both directions, against
// the per-pixel definition; palette inputs must give what their 24-bit
// equivalents give.
TEST(ComposeStereo, AllModesAllResolutionsMatchDefinition) {
  const uint8_t resolutions[] = {bc1Bit, bc4Bit, bc8Bit, bc24Bit};
  int seed = 10;
  for (uint8_t bl : resolutions)
    for (uint8_t br : resolutions) {
      auto L = RandomImage(37, 23, bl, seed++, bl == bc8Bit ? 100 : -1); // indices beyond the palette too
      auto R = RandomImage(33, 26, br, seed++);
      auto L24 = As24(*L), R24 = As24(*R);
      for (auto pts : {std::pair<TStereoPoint, TStereoPoint>{{12, 7}, {5, 9}},
                       std::pair<TStereoPoint, TStereoPoint>{{3, 15}, {20, 2}}}) {
        const TCommonArea a = CommonArea(37, 23, 33, 26, pts.first, pts.second);
        for (int mode = 0; mode <= 6; ++mode) {
          const std::string what = "mode " + std::to_string(mode) + " bits " + std::to_string(L->BitCountNum()) +
                                   "/" + std::to_string(R->BitCountNum());
          TPixelGraphic work, work24;
          TStereoResult r = Compose(mode, *L, *R, a, work);
          TStereoResult r24 = Compose(mode, *L24, *R24, a, work24);
          auto ref = Reference(mode, *L, *R, a);
          ASSERT_NE(r.Image, nullptr) << what;
          ExpectSameImage(*r.Image, *ref, what);
          ExpectSameImage(*r24.Image, *ref, what + " (24-bit inputs)");
        }
      }
    }
}

TEST(ComposeStereo, GreyValuesMatchGreyFilterOnEveryColourChannelMix) {
  // Every grey value of the weighted filter, through the fast path.
  auto L = RandomImage(64, 64, bc24Bit, 77);
  auto R = RandomImage(64, 64, bc24Bit, 78);
  TPixelGraphic work;
  Compose(0, *L, *R, CommonArea(64, 64, 64, 64, {}, {}), work);
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 64; ++x) {
      const int gl = GreyOf(L->PixelColors(x, y)), gr = GreyOf(R->PixelColors(x, y));
      ASSERT_EQ(work.PixelColors(x, y), RGBColor(gl, gr, gr));
    }
}

TEST(ComposeStereo, GreyValueOfAllColoursMatchesGreyFilter) {
  // All 16.7 million colours on the left, through the fast row path.
  auto L = std::make_unique<TPixelGraphic>();
  L->SetSize(4096, 4096, bc24Bit);
  for (int y = 0; y < 4096; ++y) {
    uint8_t* row = L->ScanLine(y);
    for (int x = 0; x < 4096; ++x) {
      const uint32_t c = static_cast<uint32_t>(y) * 4096 + static_cast<uint32_t>(x);
      row[3 * x] = static_cast<uint8_t>(c >> 16);
      row[3 * x + 1] = static_cast<uint8_t>(c >> 8);
      row[3 * x + 2] = static_cast<uint8_t>(c);
    }
  }
  TPixelGraphic work;
  Compose(0, *L, *L, CommonArea(4096, 4096, 4096, 4096, {}, {}), work);
  TGrayScaleFilter grey;
  grey.SetRGBWeighting(true);
  int bad = 0;
  for (int y = 0; y < 4096 && bad == 0; ++y) {
    const uint8_t* in = L->ScanLine(y);
    const uint8_t* out = work.ScanLine(y);
    for (int x = 0; x < 4096; ++x) {
      const TColorRef want = grey.MapColor(RGBColor(in[3 * x + 2], in[3 * x + 1], in[3 * x]));
      if (out[3 * x + 2] != GetRValue(want) || out[3 * x + 1] != GetRValue(want) || out[3 * x] != GetRValue(want))
        ++bad;
    }
  }
  EXPECT_EQ(bad, 0);
}

TEST(ComposeStereo, WorkImageMayBeAnInput) {
  auto L = RandomImage(20, 10, bc24Bit, 21);
  auto R = RandomImage(20, 10, bc8Bit, 22);
  const TCommonArea a = CommonArea(20, 10, 20, 10, {5, 5}, {3, 2});
  for (int mode : {0, 2, 3}) {
    auto ref = Reference(mode, *L, *R, a);
    TPixelGraphic work;
    work.Assign(L.get());
    TStereoResult r = Compose(mode, work, *R, a, work);
    ASSERT_EQ(r.Image, &work);
    ExpectSameImage(work, *ref, "work is left, mode " + std::to_string(mode));
  }
}

// ------------------------------------------------------------------ tilt

TEST(CompensateTilt, NoTiltLeavesPictureAlone) {
  std::unique_ptr<TPixelGraphic> R = RandomImage(20, 10, bc24Bit, 3);
  TPixelGraphic* before = R.get();
  std::vector<std::pair<std::string, int>> reports;
  TPairAlignment p;
  p.Right.Point = {5, 5};
  EXPECT_FALSE(CompensateTilt(R, p, [&](const std::string& t, int v) { reports.emplace_back(t, v); }));
  EXPECT_EQ(R.get(), before);
  EXPECT_TRUE(reports.empty());
}

TEST(CompensateTilt, QuarterTurnCounterClockwiseAboutIdenticalPoint) {
  // The left line horizontal, the right one downwards: a turn by -90 degrees, pixels copied.
  for (uint8_t bits : {bc24Bit, bc8Bit}) {
    std::unique_ptr<TPixelGraphic> R = RandomImage(30, 20, bits, 4);
    auto original = As24(*R);
    TPairAlignment p;
    p.Right.Point = {12, 8};
    p.Left.Line = {5, 5, 50, 5};
    p.Right.Line = {3, 3, 3, 30};
    std::vector<std::pair<std::string, int>> reports;
    ASSERT_TRUE(CompensateTilt(R, p, [&](const std::string& t, int v) { reports.emplace_back(t, v); }));
    EXPECT_EQ(reports, (std::vector<std::pair<std::string, int>>{{"Verkantung ausgleichen", 0}}));
    ASSERT_EQ(R->Width(), 30);
    ASSERT_EQ(R->Height(), 20);
    EXPECT_EQ(R->BitCount(), bits);
    const int cx = 12, cy = 8;
    for (int y = 0; y < 20; ++y)
      for (int x = 0; x < 30; ++x) {
        const int sx = cx - (y - cy), sy = cy + (x - cx);
        const bool inside = sx >= 0 && sx < 30 && sy >= 0 && sy < 20;
        if (inside) {
          ASSERT_EQ(R->PixelColors(x, y), original->PixelColors(sx, sy)) << x << "," << y;
        } else if (bits == bc24Bit) {
          ASSERT_EQ(R->PixelColors(x, y), 0u) << x << "," << y; // background
        }
      }
    // The identical point stays where it was.
    EXPECT_EQ(R->PixelColors(cx, cy), original->PixelColors(cx, cy));
  }
}

TEST(CompensateTilt, TurnByZeroIsPlainCopy) {
  std::unique_ptr<TPixelGraphic> R = RandomImage(16, 12, bc24Bit, 9);
  auto original = As24(*R);
  TPairAlignment p;
  p.Left.Line = {5, 5, 5, 50}; // both downwards: angle 0
  p.Right.Line = {9, 1, 9, 40};
  ASSERT_TRUE(CompensateTilt(R, p));
  ExpectSameImage(*R, *original, "turn by 0");
}

TEST(CompensateTilt, TurnsStraightFromThePictureAsIntoItsClearedCopy) {
  // The turned picture equals a turn into a copy of the right picture cleared
  // to its background colour, for every resolution and background; the right
  // picture is left as it was.
  TPairAlignment p;
  p.Right.Point = {23, 17};
  p.Left.Line = {10, 100, 110, 100};
  p.Right.Line = {10, 110, 110, 100}; // about 5.71 degrees
  long double delta = 0;
  ASSERT_TRUE(TiltDifference(p, delta));
  for (uint8_t bits : {bc24Bit, bc8Bit, bc4Bit})
    for (TColorRef background : {TColorRef{0}, RGBColor(40, 200, 90)}) {
      auto right = RandomImage(47, 35, bits, 12);
      right->SetBackGroundColor(background);
      right->SetDither(bits == bc8Bit);
      const auto original = As24(*right);
      TPixelGraphic expected;
      expected.Assign(right.get());
      expected.Clear();
      expected.SetInterpolate(true);
      expected.Rotate(23, 17, *right, 35, 47, 0, 0, 17, 23, delta);
      const auto turned = TiltCompensated(*right, p);
      ASSERT_NE(turned, nullptr);
      const std::string what = "bits " + std::to_string(bits) + " background " + std::to_string(background);
      EXPECT_EQ(turned->BitCount(), bits) << what;
      EXPECT_EQ(turned->BackGroundColor(), right->BackGroundColor()) << what;
      ExpectSameImage(*turned, expected, what);
      ExpectSameImage(*As24(*right), *original, what + ", the right picture");
    }
}

// An area reaching outside a picture (inconsistent inputs) takes the
// per-pixel path: the picture's background outside it, no out-of-range access.
TEST(ComposeStereo, AreaOutsidePicturesUsesBackground) {
  auto L = RandomImage(20, 10, bc24Bit, 5);
  auto R = RandomImage(20, 10, bc8Bit, 6);
  L->SetBackGroundColorRaw(RGBColor(7, 8, 9));
  TCommonArea a{-3, 2, 4, 5, 25, 12};
  for (int mode = 0; mode <= 6; ++mode) {
    TPixelGraphic work;
    TStereoResult r = Compose(mode, *L, *R, a, work);
    auto ref = Reference(mode, *L, *R, a);
    ASSERT_NE(r.Image, nullptr);
    ExpectSameImage(*r.Image, *ref, "outside, mode " + std::to_string(mode));
  }
}

} // namespace
