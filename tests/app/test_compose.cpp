#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <optional>
#include <set>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "app/core/compose.h"
#include "compose_failure.h"
#include "common/file_test_util.h"
#include "pgraphic/core/exceptions.h"
#include "platform/messagebox.h"

namespace {

const std::string kSamples = std::string(ZWILLO_SOURCE_DIR) + "/samples/";
const std::string kJpegData = std::string(ZWILLO_TEST_DATA) + "/jpeg/";

std::unique_ptr<TPixelGraphic> Load(const std::string& name) {
  auto img = std::make_unique<TPixelGraphic>();
  img->LoadFromFile(name);
  return img;
}

bool SameBytes(const TPixelGraphic& a, const TPixelGraphic& b) {
  return a.Width() == b.Width() && a.Height() == b.Height() && a.BitCount() == b.BitCount() &&
         a.PaletteCount() == b.PaletteCount() && std::memcmp(a.Bits(), b.Bits(), a.ByteSize()) == 0;
}

// The message of loading a file directly.
std::string LoadError(const std::string& name) {
  try {
    Load(name);
  } catch (const std::exception& e) {
    return e.what();
  }
  return "";
}

std::pair<TComposeStep, std::string> Failure(const std::function<void()>& f) { return ComposeFailure(f); }

// ------------------------------------------------------------------ loading the pair

// Both photographs decode at the same time into exactly what loading them one
// after the other gives; repeated so that a race has chances to show.
TEST(ComposePipeline, ParallelLoadGivesTheSequentialPictures) {
  const auto wantL = Load(kSamples + "szene_l.jpg");
  const auto wantR = Load(kSamples + "szene_r.jpg");
  std::atomic<int> inside{0}, overlaps{0}, reports{0};
  TComposeProgress progress;
  progress.Detail = [&](TComposeStep step, int percent) {
    if (inside.fetch_add(1) != 0) ++overlaps;
    EXPECT_TRUE(step == csLoadLeft || step == csLoadRight);
    EXPECT_GE(percent, 0);
    EXPECT_LE(percent, 100);
    ++reports;
    inside.fetch_sub(1);
  };
  for (int run = 0; run < 4; ++run) {
    TStereoPair pair = LoadStereoPair(kSamples + "szene_l.jpg", kSamples + "szene_r.jpg", progress);
    ASSERT_TRUE(pair.Left && pair.Right);
    EXPECT_TRUE(SameBytes(*pair.Left, *wantL));
    EXPECT_TRUE(SameBytes(*pair.Right, *wantR));
    // The handlers referred to the loader's locals: they are gone.
    EXPECT_FALSE(pair.Left->OnProgress || pair.Right->OnProgressStart);
  }
  EXPECT_EQ(overlaps.load(), 0);
  EXPECT_GT(reports.load(), 4 * 2 * 900);
}

// The error of a failed load is the left photograph's when it fails, else the
// right one's, with the message a single load gives.
TEST(ComposePipeline, ParallelLoadFailureNamesThatPhotograph) {
  testutil::TScratchFolder dir("compose");
  const std::string good = kSamples + "szene_l.jpg", missing = dir.Path("missing.jpg");
  testutil::WriteFileText(dir.Path("text.jpg"), "hello");
  const std::string broken = dir.Path("text.jpg");

  auto f = Failure([&] { LoadStereoPair(missing, good); });
  EXPECT_EQ(f.first, csLoadLeft);
  EXPECT_EQ(f.second, LoadError(missing));
  f = Failure([&] { LoadStereoPair(good, broken); });
  EXPECT_EQ(f.first, csLoadRight);
  EXPECT_EQ(f.second, LoadError(broken));
  f = Failure([&] { LoadStereoPair(broken, missing); });
  EXPECT_EQ(f.first, csLoadLeft);
  EXPECT_EQ(f.second, LoadError(broken));
  // The original error passes on unchanged inside.
  try {
    LoadStereoPair(good, broken);
  } catch (const EComposeFailed& e) {
    EXPECT_THROW(e.Rethrow(), EPGUnknownFileFormat);
  }
}

// Reader warnings of both loads reach the message box; a refused one fails that load.
TEST(ComposePipeline, ParallelLoadWarningsOfBothPhotographs) {
  std::atomic<int> boxes{0};
  auto old = platform::SetMessageBoxHook([&](const std::string&, const std::string&, platform::TMsgButtons,
                                             platform::TMsgIcon) {
    ++boxes;
    return static_cast<int>(platform::mrOk);
  });
  TStereoPair pair = LoadStereoPair(kJpegData + "truncated.jpg", kJpegData + "truncated.jpg");
  EXPECT_EQ(boxes.load(), 2);
  platform::SetMessageBoxHook([](const std::string&, const std::string&, platform::TMsgButtons,
                                 platform::TMsgIcon) { return static_cast<int>(platform::mrCancel); });
  EXPECT_EQ(Failure([&] { LoadStereoPair(kSamples + "szene_l.jpg", kJpegData + "truncated.jpg"); }).first,
            csLoadRight);
  platform::SetMessageBoxHook(old);
}

// ------------------------------------------------------------------ composing pictures

struct TReports {
  std::vector<std::pair<std::string, int>> List;
  TComposeProgress Progress() {
    TComposeProgress p;
    p.Report = [this](const std::string& text, int percent) { List.emplace_back(text, percent); };
    return p;
  }
};

TEST(ComposePipeline, PicturesStayUnchangedAndReportsFollowTheCommand) {
  auto L = Load(kSamples + "szene_l.jpg");
  auto R = Load(kSamples + "szene_r.jpg");
  TPixelGraphic leftCopy, rightCopy;
  leftCopy.Assign(L.get());
  rightCopy.Assign(R.get());
  TPairAlignment a;
  a.Left.Point = {185, 210};
  a.Right.Point = {152, 205};
  a.Left.Line = {20, 300, 1100, 300};
  a.Right.Line = {20, 310, 1100, 290};

  TReports reports;
  TPixelGraphic work;
  const TPixelGraphic* stored = nullptr;
  TStereoResult r = ComposePictures(smRedGreen, *L, *R, a, work, reports.Progress(),
                                    [&](TPixelGraphic& result) { stored = &result; });
  EXPECT_EQ(r.Image, &work);
  EXPECT_EQ(stored, &work);
  const std::vector<std::pair<std::string, int>> want = {{"Verkantung ausgleichen", 0},
                                                         {"Stereobild berechnen", 30},
                                                         {"Stereobild berechnen", 60},
                                                         {"Stereobild berechnen", 80},
                                                         {"Fertig.", 100}};
  EXPECT_EQ(reports.List, want);
  EXPECT_TRUE(SameBytes(*L, leftCopy));
  EXPECT_TRUE(SameBytes(*R, rightCopy));

  // The same steps by hand.
  auto turned = std::make_unique<TPixelGraphic>();
  turned->Assign(R.get());
  ASSERT_TRUE(CompensateTilt(turned, a));
  TPixelGraphic work2;
  ComposeStereo(smRedGreen, *L, *turned, CommonArea(1200, 900, 1200, 900, a.Left.Point, a.Right.Point), work2);
  EXPECT_TRUE(SameBytes(work, work2));

  // A pair handed over: the turned picture takes the right photograph's place.
  TStereoPair pair{std::move(L), std::move(R)};
  const TPixelGraphic* photograph = pair.Right.get();
  TPixelGraphic work3;
  ComposePictures(smRedGreen, pair, a, work3);
  EXPECT_NE(pair.Right.get(), photograph);
  EXPECT_TRUE(SameBytes(*pair.Right, *turned));
  EXPECT_TRUE(SameBytes(work3, work2));
  L = std::move(pair.Left);
  R = Load(kSamples + "szene_r.jpg");

  // Without a tilt, a pair mode: its own result, one worker report.
  reports.List.clear();
  r = ComposePictures(smMirror, *L, *R, TPairAlignment(), work, reports.Progress());
  ASSERT_NE(r.Owned, nullptr);
  EXPECT_EQ(r.Image->Width(), 2 * 1200 + 10);
  EXPECT_EQ(reports.List, (std::vector<std::pair<std::string, int>>{{"Stereobild berechnen", 0}, {"Fertig.", 100}}));
}

// Failures tell the tilt compensation from the later steps, and the original error survives.
TEST(ComposePipeline, FailuresNameTheirStep) {
  auto L = Load(kSamples + "szene_l.jpg");
  auto R = Load(kSamples + "szene_r.jpg");
  TPixelGraphic work;
  TPairAlignment tilted;
  tilted.Left.Line = {10, 100, 110, 100};
  tilted.Right.Line = {10, 110, 110, 100};

  TComposeProgress failingRows;
  failingRows.Detail = [](TComposeStep step, int percent) {
    if (step == csTilt && percent > 50) throw EPixelGraphic("row failure");
  };
  auto f = Failure([&] { ComposePictures(smColorAnaglyph, *L, *R, tilted, work, failingRows); });
  EXPECT_EQ(f.first, csTilt);
  EXPECT_EQ(f.second, "row failure");

  // Identical points that leave a negative common width: SetSize refuses it.
  TPairAlignment apart;
  apart.Right.Point = {5000, 0};
  f = Failure([&] { ComposePictures(smLeftRight, *L, *R, apart, work); });
  EXPECT_EQ(f.first, csCompose);
  try {
    ComposePictures(smLeftRight, *L, *R, apart, work);
  } catch (const EComposeFailed& e) {
    EXPECT_THROW(e.Rethrow(), EPGInvalidSize);
  }

  f = Failure([&] {
    ComposePictures(smRedGreen, *L, *R, TPairAlignment(), work, {}, [](TPixelGraphic&) { throw std::bad_alloc(); });
  });
  EXPECT_EQ(f.first, csStore);
}

// ------------------------------------------------------------------ by rows

// The row-by-row composition writes the very file of the whole-picture path
// (eye swap, shifted and cropped areas, progressive files); every other job,
// and every file with a warning, is left to that path without a file behind.
TEST(ComposeByRows, WritesTheWholePathsFileOrLeavesThePair) {
  testutil::TScratchFolder dir("rows");
  auto job = [&](const std::string& left, const std::string& right, int mode) {
    TComposeFilesJob j;
    j.LeftName = left;
    j.RightName = right;
    j.Mode = mode;
    j.UseParameterFiles = false;
    j.OutputName = dir.Path("rows.jpg");
    return j;
  };
  const std::string l = kSamples + "szene_l.jpg", r = kSamples + "szene_r.jpg";
  std::vector<std::pair<const char*, TComposeFilesJob>> taken = {
      {"plain", job(l, r, smRedGreen)},
      {"swapped colour", job(l, r, smColorAnaglyph | smSwapEyes)},
      {"shifted", job(l, r, smRedGreen | smSwapEyes)},
      {"progressive", job(kJpegData + "progressive.jpg", kJpegData + "colour.jpg", smColorAnaglyph)},
  };
  taken[2].second.Overrides.LeftPoint = TStereoPoint{185, 226};
  taken[2].second.Overrides.RightPoint = TStereoPoint{152, 300};
  taken[2].second.CropWedges = true;
  for (auto& [name, j] : taken) {
    const std::optional<TComposeFilesResult> byRows = ComposeFilesByRows(j);
    ASSERT_TRUE(byRows) << name;
    j.OutputName = dir.Path("whole.jpg");
    const TComposeFilesResult whole = ComposeFiles(j);
    EXPECT_EQ(byRows->Width, whole.Width) << name;
    EXPECT_EQ(byRows->Height, whole.Height) << name;
    EXPECT_EQ(testutil::ReadFileBytes(dir.Path("rows.jpg")), testutil::ReadFileBytes(dir.Path("whole.jpg"))) << name;
  }
  std::filesystem::remove(dir.Path("rows.jpg"));

  std::vector<std::pair<const char*, TComposeFilesJob>> left = {
      {"mirror", job(l, r, smMirror)},
      {"tilt", job(l, r, smRedGreen)},
      {"grey", job(kJpegData + "colour.jpg", kJpegData + "grey.jpg", smRedGreen)},
      {"warning", job(kJpegData + "colour.jpg", kJpegData + "truncated.jpg", smRedGreen)},
      {"missing", job(l, dir.Path("none.jpg"), smRedGreen)},
      {"png output", job(l, r, smRedGreen)},
  };
  left[1].second.Overrides.LeftLine = TStereoLine{5, 354, 1190, 354};
  left[1].second.Overrides.RightLine = TStereoLine{5, 338, 1190, 371};
  left[5].second.OutputName = dir.Path("rows.png");
  for (const auto& [name, j] : left) {
    EXPECT_FALSE(ComposeFilesByRows(j)) << name;
    EXPECT_EQ(testutil::FolderListing(dir.Path("")), std::set<std::string>({"whole.jpg"})) << name;
  }
}

} // namespace
