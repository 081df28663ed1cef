// Stereo pairs in one file: loading MPO, JPS and side-by-side pictures as a
// pair, the parameter files of their sides, and the aligned pair saved as MPO
// or JPS.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>

#include "app/core/paramfile.h"
#include "app/core/stereofile.h"
#include "common/file_test_util.h"
#include "compose_failure.h"
#include "pgraphic/formats/mpo.h"
#include "pgraphic/formats/registry.h"
#include "pgraphic/formats/settings.h"

namespace {

void MakePicture(TPixelGraphic& g, int w, int h, int seed) {
  g.SetSize(w, h, bc24Bit);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) g.SetPixels(x, y, RGBColor((x * 5 + seed * 60) % 256, (y * 7 + seed) % 256, (x + y) * 3 % 256));
}

bool Same(const TPixelGraphic& a, const TPixelGraphic& b) {
  if (a.Width() != b.Width() || a.Height() != b.Height()) return false;
  for (int y = 0; y < a.Height(); ++y)
    for (int x = 0; x < a.Width(); ++x)
      if (a.PixelColors(x, y) != b.PixelColors(x, y)) return false;
  return true;
}

std::unique_ptr<TPixelGraphic> Load(const std::string& name, int index = 0) {
  auto g = std::make_unique<TPixelGraphic>();
  g->LoadFileImage(name, index);
  return g;
}

std::unique_ptr<TPixelGraphic> Copy(const TPixelGraphic& g) {
  auto c = std::make_unique<TPixelGraphic>();
  c->Assign(&g);
  return c;
}

class StereoFile : public ::testing::Test {
protected:
  void SetUp() override {
    PGResetFormatSettings();
    MakePicture(L, 64, 40, 1);
    MakePicture(R, 60, 44, 2);
  }
  void TearDown() override { PGResetFormatSettings(); }
  std::string Path(const std::string& name) const { return Dir.Path(name); }
  testutil::TScratchFolder Dir{"stereofile"};
  TPixelGraphic L, R;
};

TEST_F(StereoFile, PairsInOneFileLoadInParallelAsTheirViews) {
  SaveStereoPair(L, R, Path("pair.mpo"));
  R.SetSize(64, 40, bc24Bit); // JPS views have one size
  MakePicture(R, 64, 40, 2);
  SaveStereoPair(L, R, Path("pair.jps"));
  for (const char* name : {"pair.mpo", "pair.jps"}) {
    SCOPED_TRACE(name);
    std::atomic<int> leftDone{0}, rightDone{0};
    TComposeProgress progress;
    progress.Detail = [&](TComposeStep step, int percent) {
      if (percent == 100) ++(step == csLoadLeft ? leftDone : rightDone);
    };
    EXPECT_TRUE(HoldsStereoPair(Path(name)));
    const TStereoPair pair = LoadStereoFile(Path(name), psStereoFile, progress);
    EXPECT_TRUE(Same(*pair.Left, *Load(Path(name), 0)));
    EXPECT_TRUE(Same(*pair.Right, *Load(Path(name), 1)));
    EXPECT_GT(leftDone.load(), 0);
    EXPECT_GT(rightDone.load(), 0);
  }

  // A JPS split by hand: its descriptor overridden, the whole picture split.
  const TStereoPair parallel = LoadStereoFile(Path("pair.jps"), psParallel);
  EXPECT_TRUE(Same(*parallel.Left, *Load(Path("pair.jps"), 1)));

  // A card scanned side by side or one view over the other.
  TPixelGraphic card;
  card.SetSize(31, 20, bc24Bit);
  card.CopyRect(0, 0, L, 0, 0, 20, 31);
  card.SaveToFile(Path("card.png"));
  const struct {
    TPairSource source;
    int lx, ly, rx, ry, w, h;
  } splits[] = {{psParallel, 0, 0, 16, 0, 15, 20}, {psCross, 16, 0, 0, 0, 15, 20}, {psOverUnder, 0, 0, 0, 10, 31, 10}};
  for (const auto& s : splits) {
    const TStereoPair pair = LoadStereoFile(Path("card.png"), s.source);
    ASSERT_EQ(pair.Left->Width(), s.w);
    ASSERT_EQ(pair.Left->Height(), s.h);
    EXPECT_EQ(pair.Left->PixelColors(0, 0), card.PixelColors(s.lx, s.ly));
    EXPECT_EQ(pair.Right->PixelColors(s.w - 1, s.h - 1), card.PixelColors(s.rx + s.w - 1, s.ry + s.h - 1));
  }
}

TEST_F(StereoFile, FilesWithoutAPairAreRefusedInTheirStep) {
  L.SaveToFile(Path("plain.jpg"));
  const std::string notPair = "Not a MPO/JPS file";
  EXPECT_EQ(ComposeFailure([&] { LoadStereoFile(Path("plain.jpg"), psStereoFile); }),
            std::make_pair(csLoadLeft, notPair));
  EXPECT_EQ(ComposeFailure([&] { LoadStereoFile(Path("missing.mpo"), psStereoFile); }).first, csLoadLeft);
  EXPECT_EQ(ComposeFailure([&] { LoadStereoFile(Path("missing.png"), psCross); }).first, csLoadLeft);

  // A photograph with a preview image (no disparity images) is no pair.
  SaveStereoPair(L, R, Path("pair.mpo"));
  std::vector<uint8_t> file = testutil::ReadFileBytes(Path("pair.mpo"));
  TReadOnlyMemoryStream in(file.data(), static_cast<int64_t>(file.size()));
  const TMPOIndex mpo = ReadMPOIndex(in);
  const size_t type2 = static_cast<size_t>(mpo.HeaderPos) + 8 + 2 + 3 * 12 + 4 + 16;
  file[type2 + 2] = 0x01; // disparity 0x020002 -> large thumbnail 0x010002
  testutil::WriteFileText(Path("preview.jpg"), std::string(file.begin(), file.end()));
  for (const char* name : {"preview.jpg", "plain.jpg", "missing.mpo"}) EXPECT_FALSE(HoldsStereoPair(Path(name)));
  EXPECT_EQ(ComposeFailure([&] { LoadStereoFile(Path("preview.jpg"), psStereoFile); }),
            std::make_pair(csLoadLeft, "MPO: " + notPair));
  // The right view cut off: the right side's step.
  file = testutil::ReadFileBytes(Path("pair.mpo"));
  file.resize(static_cast<size_t>(mpo.Images[1].Start) + 1);
  testutil::WriteFileText(Path("cut.mpo"), std::string(file.begin(), file.end()));
  EXPECT_EQ(ComposeFailure([&] { LoadStereoFile(Path("cut.mpo"), psStereoFile); }),
            std::make_pair(csLoadRight, std::string("MPO: Offset of image 2 invalid")));
}

TEST_F(StereoFile, AlignedPairIsTheTwoHalvesOfTheLeftRightImage) {
  TPairAlignment a;
  a.Left.Point = {30, 20};
  a.Right.Point = {25, 24};
  a.Left.Line = {10, 10, 50, 12};
  a.Right.Line = {10, 12, 50, 10};
  // A palette picture on the right: the views are 24 bit like the stereo image.
  TPixelGraphic palette;
  palette.SetSize(R.Width(), R.Height(), bc8Bit);
  palette.SetPaletteIdent(pSpecial216);
  palette.CopyRect(0, 0, R, 0, 0, R.Height(), R.Width());
  TPixelGraphic work;
  const TStereoResult sbs = ComposePictures(smLeftRight, L, palette, a, work);
  TStereoPair pair{Copy(L), Copy(palette)};
  const TStereoPair views = AlignedPair(pair, a);
  ASSERT_TRUE(views.Left && views.Right);
  const int w = views.Left->Width(), h = views.Left->Height();
  ASSERT_EQ(2 * w, sbs.Image->Width());
  ASSERT_EQ(h, sbs.Image->Height());
  EXPECT_EQ(views.Right->BitCount(), bc24Bit);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      ASSERT_EQ(views.Left->PixelColors(x, y), sbs.Image->PixelColors(x, y));
      ASSERT_EQ(views.Right->PixelColors(x, y), sbs.Image->PixelColors(w + x, y));
    }
  // The same from pictures the caller keeps, which stay as they were; with an
  // automatic alignment's scale step too.
  const std::unique_ptr<TPixelGraphic> before = Copy(palette);
  for (const double scale : {0.0, 1.1}) {
    SCOPED_TRACE(scale);
    if (scale > 0) {
      a.Left.Scale = 1.0;
      a.Right.Scale = scale;
    }
    TStereoPair handed{Copy(L), Copy(palette)};
    const TStereoPair want = AlignedPair(handed, a);
    const TStereoPair kept = AlignedPair(L, palette, a);
    ASSERT_TRUE(want.Left && kept.Left);
    EXPECT_TRUE(Same(*kept.Left, *want.Left));
    EXPECT_TRUE(Same(*kept.Right, *want.Right));
    EXPECT_TRUE(Same(palette, *before));
  }
  a.Left.Scale.reset();
  a.Right.Scale.reset();
  // Identical points that leave no common area: no views.
  a.Right.Point = {-500, 0};
  TStereoPair far{Copy(L), Copy(R)};
  EXPECT_FALSE(AlignedPair(far, a).Left);
}

TEST_F(StereoFile, ComposingFromAPairFileEqualsComposingFromTwoFiles) {
  // The same pictures as two JPEG files and as one MPO, each with parameter
  // files of the same values: one result.
  L.SaveToFile(Path("l.jpg"));
  R.SaveToFile(Path("r.jpg"));
  SaveStereoPair(L, R, Path("pair.mpo"));
  TSideAlignment left, right;
  left.Point = {30, 20};
  right.Point = {26, 22};
  right.Line = {5, 30, 55, 28};
  left.Line = {5, 30, 55, 30};
  WriteParameters(Path("l.jpg"), left);
  WriteParameters(Path("r.jpg"), right);
  WritePairParameters(Path("pair.mpo"), false, left);
  WritePairParameters(Path("pair.mpo"), true, right);
  EXPECT_EQ(PairParameterFileName(Path("pair.mpo"), false), Path("pair_l.3DF"));
  EXPECT_TRUE(std::filesystem::exists(Path("pair_l.3DF")));
  EXPECT_TRUE(std::filesystem::exists(Path("pair_r.3DF")));
  const TPairAlignment back = ReadPairParameters(Path("pair.mpo"));
  EXPECT_EQ(back.Right.Line.Y1, 30);
  EXPECT_EQ(back.Left.Point.X, 30);

  TComposeFilesJob job;
  job.Mode = smColorAnaglyph;
  job.LeftName = Path("l.jpg");
  job.RightName = Path("r.jpg");
  job.OutputName = Path("two.png");
  ComposeFiles(job);
  job.LeftName = Path("pair.mpo");
  job.RightName.clear();
  job.OutputName = Path("one.png");
  ComposeFiles(job);
  EXPECT_EQ(testutil::ReadFileBytes(Path("one.png")), testutil::ReadFileBytes(Path("two.png")));

  // The aligned pair as MPO and as JPS, also scaled; reading it back gives the
  // views as a JPEG of them would.
  job.LeftName = Path("l.jpg");
  job.RightName = Path("r.jpg");
  TStereoPair pair{Load(Path("l.jpg")), Load(Path("r.jpg"))};
  const TStereoPair views = AlignedPair(pair, JobAlignment(job));
  for (const char* out : {"aligned.mpo", "aligned.jps"}) {
    SCOPED_TRACE(out);
    job.OutputName = Path(out);
    job.Zoom = 0;
    const TComposeFilesResult r = ComposeFiles(job);
    ASSERT_TRUE(r.Saved);
    EXPECT_EQ(r.Width, views.Left->Width());
    for (int side : {0, 1}) {
      TPixelGraphic& view = side == 0 ? *views.Left : *views.Right;
      view.SaveToFile(Path("view.jpg"));
      if (std::strcmp(out, "aligned.mpo") == 0) EXPECT_TRUE(Same(*Load(Path(out), side), *Load(Path("view.jpg"))));
      else EXPECT_EQ(Load(Path(out), side)->Width(), view.Width());
    }
    job.Zoom = 0.5L;
    const TComposeFilesResult half = ComposeFiles(job);
    EXPECT_EQ(half.Width, views.Left->Width() / 2);
    EXPECT_EQ(Load(Path(out), 1)->Height(), views.Left->Height() / 2);
  }
  // No common area: nothing saved.
  job.Overrides.RightPoint = TStereoPoint{-1000, 0};
  job.OutputName = Path("none.mpo");
  EXPECT_FALSE(ComposeFiles(job).Saved);
  EXPECT_FALSE(std::filesystem::exists(Path("none.mpo")));
}

} // namespace
