#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <memory>
#include <numbers>
#include <string>
#include <thread>
#include <vector>

#include "app/core/autoalign.h"
#include "app/core/compose.h"
#include "app/core/correction.h"
#include "common/stereo_pairs.h"
#include "pgraphic/core/colorconv.h"

namespace {

const std::string kSamples = std::string(ZWILLO_SOURCE_DIR) + "/samples/";

// The rendered scene of the samples, the base of the synthetic pairs.
TPixelGraphic& Scene() {
  static TPixelGraphic* base = [] {
    static TPixelGraphic g;
    g.LoadFromFile(kSamples + "szene_l.jpg");
    return &g;
  }();
  return *base;
}

TStereoResult LeftRight(TPixelGraphic& l, TPixelGraphic& r, const TPairAlignment& a, TPixelGraphic& work,
                        bool crop = false) {
  return ComposePictures(smLeftRight, l, r, a, work, {}, {}, crop);
}

// ------------------------------------------------------------------ accuracy

// Rectified pairs given a known vertical shift, roll and scale: the roll and
// scale are found, and the composed left-right image has its details on the
// same rows (measured with another detector, SIFT) and no black corners.
TEST(AutoAlign, SyntheticPairsComeOutAligned) {
  const stereotest::TMisalignment cases[] = {{10.6, 0, 1}, {-7.3, 2.6, 1.016}, {4.2, -3.0, 0.982}};
  for (const auto& m : cases) {
    SCOPED_TRACE(testing::Message() << m.Shift << " px, " << m.Roll << " degrees, scale " << m.Scale);
    stereotest::TPair p = stereotest::MakePair(Scene(), 720, 540, m);
    const TAutoAlignResult r = AutoAlign(*p.Left, *p.Right);
    ASSERT_EQ(r.Status, aasAligned);
    EXPECT_NEAR(r.Roll, m.Roll, 0.05);
    EXPECT_NEAR(r.Scale, m.Scale, 0.002);
    EXPECT_NEAR(r.VerticalOffset, m.Shift, 0.1);
    EXPECT_TRUE(r.Refined);
    EXPECT_GT(r.Matches, 100);
    EXPECT_LT(r.Residual, 0.1);
    EXPECT_GT(r.ResidualBefore, 3.0);

    TPixelGraphic work;
    TStereoResult before = LeftRight(*p.Left, *p.Right, TPairAlignment(), work);
    const double rowsBefore = stereotest::RowResidual(*before.Image).Median;
    TStereoResult after = LeftRight(*p.Left, *p.Right, r.Alignment, work);
    const stereotest::TRowResidual rows = stereotest::RowResidual(*after.Image);
    EXPECT_GT(rows.Matches, 100);
    // Undoing the misalignment exactly scores about 0.1 here; 0.35 is the limit.
    EXPECT_LE(rows.Median, 0.2);
    EXPECT_LT(rows.Median, rowsBefore);
    EXPECT_EQ(stereotest::BlackPixels(*after.Image), 0);
  }
}

// The disparities run from about 2 (top) to 40 pixels (bottom): the window
// lies on the nearest detail, at the bottom, and the deviation of about 50 per
// mille gets the warning.
TEST(AutoAlign, WindowOnTheNearestDetailAndDeviation) {
  stereotest::TPair p = stereotest::MakePair(Scene(), 720, 540, {3, 1, 1});
  const TAutoAlignResult r = AutoAlign(*p.Left, *p.Right);
  ASSERT_EQ(r.Status, aasAligned);
  EXPECT_GT(r.NearDisparity, 33);
  EXPECT_LT(r.NearDisparity, 41);
  EXPECT_GT(r.FarDisparity, 1);
  EXPECT_LT(r.FarDisparity, 12);
  EXPECT_NEAR(r.Deviation, (r.NearDisparity - r.FarDisparity) / 720 * 1000, 1e-9);
  EXPECT_TRUE(r.DeviationWarning);
  EXPECT_GT(r.WindowLeft.Y, 270);
  // The identical points carry the window: the left pixel and its exact right place.
  EXPECT_EQ(r.Alignment.Left.Point.X, r.WindowLeft.X);
  EXPECT_EQ(r.Alignment.Left.Point.Y, r.WindowLeft.Y);
  ASSERT_TRUE(r.Alignment.Right.Exact);
  EXPECT_EQ(r.Alignment.Right.Exact->X, r.WindowRight.X);
}

// A pair without misalignment gets no correction at all: no resampling, no
// turn, the composition is the design's shift of the photographs.
TEST(AutoAlign, AlignedPairIsLeftAsItIs) {
  stereotest::TPair p = stereotest::MakePair(Scene(), 720, 540, {});
  const TAutoAlignResult r = AutoAlign(*p.Left, *p.Right);
  ASSERT_EQ(r.Status, aasAligned);
  EXPECT_EQ(r.Roll, 0);
  EXPECT_EQ(r.Scale, 1);
  const TRightCorrection c = RightCorrection(r.Alignment);
  EXPECT_TRUE(c.Automatic);
  EXPECT_FALSE(c.Resample);
  EXPECT_TRUE(c.Tilt);
  EXPECT_EQ(c.Delta, 0);
  TPixelGraphic work, plainWork;
  TPairAlignment plain;
  plain.Left.Point = r.Alignment.Left.Point;
  plain.Right.Point = r.Alignment.Right.Point;
  TStereoResult a = LeftRight(*p.Left, *p.Right, r.Alignment, work);
  TStereoResult b = LeftRight(*p.Left, *p.Right, plain, plainWork);
  ASSERT_EQ(a.Image->Width(), b.Image->Width());
  ASSERT_EQ(a.Image->Height(), b.Image->Height());
  EXPECT_EQ(std::memcmp(a.Image->Bits(), b.Image->Bits(), static_cast<size_t>(a.Image->ByteSize())), 0);
}

// Palette pictures are read through their colours: a grey 8-bit copy of the
// pair aligns as the pair does.
TEST(AutoAlign, PalettePicturesAlign) {
  stereotest::TPair p = stereotest::MakePair(Scene(), 480, 360, {5.5, -1.5, 1.008});
  TPixelGraphic l8, r8;
  ConvertColorResolution(l8, *p.Left, bc8Bit, pGray256);
  ConvertColorResolution(r8, *p.Right, bc8Bit, pGray256);
  ASSERT_EQ(r8.BitCount(), bc8Bit);
  const TAutoAlignResult r = AutoAlign(l8, r8);
  ASSERT_EQ(r.Status, aasAligned);
  EXPECT_NEAR(r.Roll, -1.5, 0.05);
  EXPECT_NEAR(r.Scale, 1.008, 0.002);
}

// ------------------------------------------------------------------ pictures without enough in common

TEST(AutoAlign, TooLittleInCommonIsReported) {
  TPixelGraphic& scene = Scene();
  TPixelGraphic sky, noise, mirrored, tiny;
  sky.SetSize(800, 600, bc24Bit);
  noise.SetSize(800, 600, bc24Bit);
  mirrored.SetSize(scene.Width(), scene.Height(), bc24Bit);
  uint32_t seed = 7;
  for (int y = 0; y < 600; ++y)
    for (int x = 0; x < 800; ++x) {
      uint8_t* s = sky.ScanLine(y) + 3 * x;
      s[0] = 230, s[1] = static_cast<uint8_t>(160 + y / 10), s[2] = 120;
      seed = seed * 1664525u + 1013904223u;
      uint8_t* n = noise.ScanLine(y) + 3 * x;
      n[0] = n[1] = n[2] = static_cast<uint8_t>(seed >> 24);
    }
  // The scene's own mirror image: its symmetric floor matches in places, by chance.
  for (int y = 0; y < scene.Height(); ++y)
    for (int x = 0; x < scene.Width(); ++x)
      for (int c = 0; c < 3; ++c) mirrored.ScanLine(y)[3 * (scene.Width() - 1 - x) + c] = scene.ScanLine(y)[3 * x + c];
  EXPECT_EQ(AutoAlign(scene, sky).Status, aasTooLittleInCommon);
  EXPECT_EQ(AutoAlign(noise, scene).Status, aasTooLittleInCommon);
  EXPECT_EQ(AutoAlign(scene, mirrored).Status, aasTooLittleInCommon);
  tiny.SetSize(120, 90, bc24Bit);
  tiny.SetStretchMode(smPrecise);
  tiny.StretchFrom(scene);
  const TAutoAlignResult r = AutoAlign(tiny, tiny);
  EXPECT_EQ(r.Status, aasTooSmall);
  EXPECT_EQ(AutoAlign(TPixelGraphic(), scene).Status, aasTooSmall);
  // Nothing to take over from a failed result.
  EXPECT_FALSE(r.Alignment.Left.Scale || r.Alignment.Right.Scale);
  EXPECT_NE(AutoAlignMessage(aasTooLittleInCommon, true).find("zu wenig gemeinsam"), std::string::npos);
  EXPECT_EQ(AutoAlignMessage(aasAligned, false), "");
}

// Progress rises to 100; the cancel flag stops the work at the next step.
TEST(AutoAlign, ProgressAndCancel) {
  stereotest::TPair p = stereotest::MakePair(Scene(), 480, 360, {2, 0.5, 1});
  std::vector<int> seen;
  TAutoAlignControl control;
  control.Progress = [&](int percent) { seen.push_back(percent); };
  EXPECT_EQ(AutoAlign(*p.Left, *p.Right, control).Status, aasAligned);
  ASSERT_FALSE(seen.empty());
  EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
  EXPECT_EQ(seen.back(), 100);

  std::atomic<bool> cancel{false};
  int after = 0;
  control.Cancel = &cancel;
  control.Progress = [&](int percent) {
    if (percent >= 10) cancel = true;
    if (cancel) ++after;
  };
  EXPECT_EQ(AutoAlign(*p.Left, *p.Right, control).Status, aasCancelled);
  EXPECT_EQ(after, 1);
}

// Two alignments at the same time (the window's worker and another) share
// nothing: both give what one alone gives.
TEST(AutoAlign, ConcurrentAlignmentsAgree) {
  stereotest::TPair p = stereotest::MakePair(Scene(), 480, 360, {-4.4, 1.2, 1.01});
  const TAutoAlignResult alone = AutoAlign(*p.Left, *p.Right);
  ASSERT_EQ(alone.Status, aasAligned);
  TAutoAlignResult both[2];
  std::thread other([&] { both[1] = AutoAlign(*p.Left, *p.Right); });
  both[0] = AutoAlign(*p.Left, *p.Right);
  other.join();
  for (const TAutoAlignResult& r : both) {
    EXPECT_EQ(r.Status, aasAligned);
    EXPECT_EQ(r.Roll, alone.Roll);
    EXPECT_EQ(r.Scale, alone.Scale);
    EXPECT_EQ(r.Matches, alone.Matches);
    EXPECT_EQ(r.WindowRight.Y, alone.WindowRight.Y);
  }
}

// ------------------------------------------------------------------ mapping onto the design's alignment

// The tilt lines carry the roll to well below a thousandth of a degree, the
// exact right point lands on its whole pixel through the scale step, and the
// left pixel's right place follows the model.
TEST(AutoAlign, ModelMapsOntoPointsLinesAndScale) {
  for (const double roll : {0.0, 0.37, -2.91, 3.0}) {
    SCOPED_TRACE(roll);
    const double scale = 1.013, tx = 3.5, ty = -6.25, disparity = 31.5;
    const TPairAlignment a = AlignmentForModel(scale, roll, tx, ty, disparity, {400, 300}, 1000);
    long double delta = 0;
    ASSERT_TRUE(TiltDifference(a, delta));
    EXPECT_NEAR(static_cast<double>(delta), -roll, 1e-3);
    EXPECT_EQ(a.Left.Line.Y1, 300);
    EXPECT_EQ(a.Left.Line.Y2, 300);
    ASSERT_TRUE(a.Left.Scale && a.Right.Scale && a.Right.Exact);
    EXPECT_EQ(*a.Left.Scale, 1);
    EXPECT_EQ(*a.Right.Scale, scale);
    const double phi = roll * std::numbers::pi / 180;
    // The right point lies on the left point's row, on a whole column within
    // half a pixel of the window's disparity.
    const double u = (a.Right.Exact->X - tx + scale * std::sin(phi) * 300) / (scale * std::cos(phi));
    EXPECT_EQ(a.Right.Exact->X, std::round(a.Right.Exact->X));
    EXPECT_NEAR(u, 400 - disparity, 0.51);
    // (to the thousandth of a pixel the parameter file holds)
    EXPECT_NEAR(a.Right.Exact->Y, scale * (std::sin(phi) * u + std::cos(phi) * 300) + ty, 5e-4);
    EXPECT_EQ(a.Right.Point.X, std::lround(a.Right.Exact->X));
    const TRightCorrection c = RightCorrection(a);
    EXPECT_TRUE(c.Automatic && c.Resample);
    EXPECT_DOUBLE_EQ(c.Factor, scale);
    EXPECT_EQ(c.SourceX, a.Right.Exact->X);
    EXPECT_EQ(c.SourceY, a.Right.Exact->Y);
  }
}

} // namespace
