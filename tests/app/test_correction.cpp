#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "app/core/compose.h"
#include "app/core/correction.h"
#include "common/stereo_pairs.h"
#include "pgraphic/core/threadpool.h"

namespace {

const std::string kSamples = std::string(ZWILLO_SOURCE_DIR) + "/samples/";

// A 24-bit picture whose pixel (x, y) is (x, y, x + y) in blue, green, red.
std::unique_ptr<TPixelGraphic> Ramp(int w, int h) {
  auto g = std::make_unique<TPixelGraphic>();
  g->SetSize(w, h, bc24Bit);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      uint8_t* p = g->ScanLine(y) + 3 * x;
      p[0] = static_cast<uint8_t>(x);
      p[1] = static_cast<uint8_t>(y);
      p[2] = static_cast<uint8_t>(x + y);
    }
  return g;
}

const uint8_t* At(const TPixelGraphic& g, int x, int y) { return g.ScanLine(y) + 3 * x; }

// ------------------------------------------------------------------ the scale step

TEST(ScaleStep, ResamplesAboutTheIdenticalPoint) {
  auto r = Ramp(40, 30);
  TRightCorrection c;
  c.Automatic = c.Resample = true;
  c.CenterX = 20;
  c.CenterY = 15;
  // A whole-pixel shift copies; pixels whose source lies outside get the background.
  c.SourceX = 23;
  c.SourceY = 14;
  auto s = ScaleCompensated(*r, c);
  ASSERT_TRUE(s);
  EXPECT_EQ(s->Width(), 40);
  EXPECT_EQ(s->BitCount(), bc24Bit);
  EXPECT_EQ(At(*s, 20, 15)[0], 23);
  EXPECT_EQ(At(*s, 20, 15)[1], 14);
  EXPECT_EQ(At(*s, 0, 1)[0], 3);
  EXPECT_EQ(At(*s, 0, 1)[1], 0);
  EXPECT_EQ(std::memcmp(At(*s, 0, 0), "\0\0\0", 3), 0);  // source row -1
  EXPECT_EQ(At(*s, 36, 5)[0], 39);
  EXPECT_EQ(std::memcmp(At(*s, 37, 5), "\0\0\0", 3), 0); // source column 40
  // Half a pixel down interpolates; half a pixel beyond the edge takes the
  // edge; twice the size (Factor 0.5) interpolates too.
  c.SourceX = 20;
  c.SourceY = 15.5;
  s = ScaleCompensated(*r, c);
  EXPECT_EQ(At(*s, 10, 10)[0], 10);
  EXPECT_EQ(At(*s, 10, 10)[1], 11); // 10.5 rounded up
  EXPECT_EQ(At(*s, 10, 29)[1], 29); // source row 29.5
  c.SourceY = 15;
  c.Factor = 0.5;
  s = ScaleCompensated(*r, c);
  EXPECT_EQ(At(*s, 21, 15)[0], 21); // 20.5
  EXPECT_EQ(At(*s, 22, 17)[0], 21);
  EXPECT_EQ(At(*s, 22, 17)[1], 16);
  // Half the size (Factor 2) averages two by two pixels.
  c.Factor = 2;
  s = ScaleCompensated(*r, c);
  EXPECT_EQ(At(*s, 21, 16)[0], 22); // 22 +- 1 averaged
  EXPECT_EQ(At(*s, 15, 15)[0], 10);
  EXPECT_EQ(At(*s, 5, 15)[0], 0); // source -10: background
  // Nothing to do without the step.
  c.Resample = false;
  EXPECT_FALSE(ScaleCompensated(*r, c));
}

TEST(ScaleStep, PaletteSourceAndParallelBandsGiveTheColours) {
  // 1024 x 1024 runs in bands on several threads; a palette source is read
  // through its colours.
  TPixelGraphic p;
  p.SetSize(1024, 1024, bc8Bit);
  p.SetPaletteCount(256);
  for (int i = 0; i < 256; ++i) p.SetPaletteColor(i, RGBColor(i, 255 - i, 7));
  for (int y = 0; y < 1024; ++y)
    for (int x = 0; x < 1024; ++x) p.ScanLine(y)[x] = static_cast<uint8_t>(y / 4);
  TRightCorrection c;
  c.Resample = true;
  c.CenterX = c.CenterY = 500;
  c.SourceX = 500;
  c.SourceY = 504; // four rows down: one colour on
  auto s = ScaleCompensated(p, c);
  for (int y : {0, 300, 700, 1018}) {
    SCOPED_TRACE(y);
    EXPECT_EQ(At(*s, 9, y)[2], (y + 4) / 4);
    EXPECT_EQ(At(*s, 9, y)[1], 255 - (y + 4) / 4);
    EXPECT_EQ(At(*s, 9, y)[0], 7);
  }
  // Set to one thread, the library computes every row on the calling thread
  // (a report per row), with the same pixels.
  PGSetThreadCount(1);
  int reports = 0;
  auto one = ScaleCompensated(p, c, {}, [&](TObject*, int step, int, bool&) { EXPECT_EQ(step, ++reports); });
  PGSetThreadCount(0);
  EXPECT_EQ(reports, 1024);
  for (int y = 0; y < 1024; ++y) ASSERT_EQ(std::memcmp(one->ScanLine(y), s->ScanLine(y), 3 * 1024), 0) << y;
}

// ------------------------------------------------------------------ the wedge-free area

// Is left pixel (x, y) filled by both pictures after the corrections? The
// same geometry written out directly.
bool Filled(const TRightCorrection& c, int wR, int hR, int x, int y) {
  const long double a = c.Tilt ? c.Delta * 3.14159265358979323846L / 180 : 0;
  const long double ux = c.CenterX + std::cos(a) * (x - c.LeftX) + std::sin(a) * (y - c.LeftY);
  const long double uy = c.CenterY - std::sin(a) * (x - c.LeftX) + std::cos(a) * (y - c.LeftY);
  if (ux < 0 || uy < 0 || ux > wR - 1 || uy > hR - 1) return false;
  if (!c.Resample) return true;
  const long double sx = c.SourceX + c.Factor * (ux - c.CenterX), sy = c.SourceY + c.Factor * (uy - c.CenterY);
  return sx >= 0 && sy >= 0 && sx <= wR - 1 && sy <= hR - 1;
}

TEST(WedgeFreeArea, LargestFilledRectangle) {
  const int wL = 70, hL = 50, wR = 64, hR = 52;
  TPairAlignment a;
  a.Left.Point = {35, 25};
  a.Right.Point = {30, 27};
  const TCommonArea area = CommonArea(wL, hL, wR, hR, a.Left.Point, a.Right.Point);
  // Without a turn or scale it is the common area itself.
  TRightCorrection c = RightCorrection(a);
  const TCommonArea same = WedgeFreeArea(area, wR, hR, c);
  EXPECT_EQ(same.X0, area.X0);
  EXPECT_EQ(same.Y0, area.Y0);
  EXPECT_EQ(same.W, area.W);
  EXPECT_EQ(same.H, area.H);

  for (const double delta : {4.0, -7.5}) {
    for (const double factor : {1.0, 1.03}) {
      SCOPED_TRACE(testing::Message() << delta << " degrees, factor " << factor);
      c.Tilt = true;
      c.Delta = delta;
      c.Resample = factor != 1;
      c.Factor = factor;
      c.SourceX = c.CenterX + 0.3;
      c.SourceY = c.CenterY - 0.4;
      const TCommonArea r = WedgeFreeArea(area, wR, hR, c);
      EXPECT_EQ(r.Dx, area.Dx);
      // Every pixel of it is filled ...
      for (int y = r.Y0; y < r.Y0 + r.H; ++y)
        for (int x = r.X0; x < r.X0 + r.W; ++x) ASSERT_TRUE(Filled(c, wR, hR, x, y)) << x << "," << y;
      // ... and no filled rectangle inside the common area is larger: for
      // every band of rows, the longest run of columns filled all through it.
      int64_t best = 0;
      for (int y0 = area.Y0; y0 < area.Y0 + area.H; ++y0) {
        std::vector<char> column(static_cast<size_t>(area.W), 1);
        for (int y1 = y0; y1 < area.Y0 + area.H; ++y1) {
          int run = 0;
          for (int x = 0; x < area.W; ++x) {
            column[static_cast<size_t>(x)] &= Filled(c, wR, hR, area.X0 + x, y1) ? 1 : 0;
            run = column[static_cast<size_t>(x)] ? run + 1 : 0;
            best = std::max<int64_t>(best, int64_t{run} * (y1 - y0 + 1));
          }
        }
      }
      EXPECT_EQ(int64_t{r.W} * r.H, best);
    }
  }
  // Nothing filled: empty.
  c.Resample = true;
  c.SourceX = 500;
  EXPECT_EQ(WedgeFreeArea(area, wR, hR, c).W, 0);
}

// ------------------------------------------------------------------ in the composition

// A hand-made tilt leaves black wedges, as designed; asked to, the
// composition crops them, and an automatic alignment (Scale on both sides)
// always does; a pair handed over gives the same pixels as borrowed pictures.
TEST(ComposeCorrections, WedgesCroppedAndPairMatchesPictures) {
  TPixelGraphic left, right;
  left.LoadFromFile(kSamples + "szene_l.jpg");
  right.LoadFromFile(kSamples + "szene_r.jpg");
  TPairAlignment a;
  a.Left.Point = {185, 226};
  a.Right.Point = {152, 221};
  a.Left.Line = {5, 354, 1190, 354};
  a.Right.Line = {5, 338, 1190, 371};
  using stereotest::BlackPixels;
  TPixelGraphic work;
  TStereoResult plain = ComposePictures(smLeftRight, left, right, a, work);
  EXPECT_GT(BlackPixels(*plain.Image), 1000);
  EXPECT_EQ(plain.Image->Width(), 2 * CommonArea(1200, 900, 1200, 900, a.Left.Point, a.Right.Point).W);
  TStereoResult cropped = ComposePictures(smLeftRight, left, right, a, work, {}, {}, true);
  EXPECT_EQ(BlackPixels(*cropped.Image), 0);
  EXPECT_LT(cropped.Image->Width(), plain.Image->Width());

  a.Left.Scale = 1.0;
  a.Right.Scale = 1.012;
  a.Right.Exact = TExactPoint{152.25, 220.6};
  std::vector<std::string> reports;
  TComposeProgress progress;
  progress.Report = [&](const std::string& text, int) { reports.push_back(text); };
  TStereoResult automatic = ComposePictures(smLeftRight, left, right, a, work, progress);
  EXPECT_EQ(BlackPixels(*automatic.Image), 0);
  EXPECT_EQ(reports.front(), "Maßstab angleichen");
  EXPECT_EQ(reports.at(1), "Verkantung ausgleichen");

  TStereoPair pair;
  pair.Left = std::make_unique<TPixelGraphic>();
  pair.Right = std::make_unique<TPixelGraphic>();
  pair.Left->Assign(&left);
  pair.Right->Assign(&right);
  TStereoResult owned = ComposePictures(smLeftRight, pair, a, work);
  ASSERT_EQ(owned.Image->Width(), automatic.Image->Width());
  ASSERT_EQ(owned.Image->Height(), automatic.Image->Height());
  EXPECT_EQ(std::memcmp(owned.Image->Bits(), automatic.Image->Bits(), static_cast<size_t>(owned.Image->ByteSize())),
            0);
  // The right photograph was replaced by its corrected copies on the way.
  EXPECT_EQ(pair.Right->BitCount(), bc24Bit);
  EXPECT_NE(std::memcmp(pair.Right->Bits(), right.Bits(), static_cast<size_t>(right.ByteSize())), 0);
}

} // namespace
