// The bulk operations that run on the library's threads: pixels, progress
// reports and an abort half-way must be those of one thread, with and
// without a progress handler.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <random>
#include <vector>

#include "pgraphic/core/filters.h"
#include "pgraphic/core/pixelgraphic.h"
#include "pgraphic/core/rotation.h"
#include "pgraphic/core/threadpool.h"

namespace {

using TImage = std::unique_ptr<TPixelGraphic>;
using TOperation = std::function<void(TPixelGraphic& target)>;

// An image of noise; palette images get a palette of random colours.
TImage Noise(int w, int h, uint8_t bitCount, unsigned seed) {
  auto img = std::make_unique<TPixelGraphic>();
  img->SetSize(w, h, bitCount);
  std::mt19937 rng(seed);
  if (bitCount != bc24Bit) {
    img->SetPaletteCount(img->PaletteSize());
    for (int i = 0; i < img->PaletteSize(); ++i) img->SetPaletteColor(i, rng() & 0xFFFFFF);
  }
  for (int y = 0; y < h; ++y) {
    uint8_t* row = img->ScanLine(y);
    for (int i = 0; i < img->BytesPerRow(); ++i) row[i] = static_cast<uint8_t>(rng());
  }
  return img;
}

struct TRun {
  TImage Target;
  std::vector<int> Steps;
};

// The operation on a copy of start on the given number of threads; with
// report, the progress steps are recorded and abortAt (>= 0) aborts there.
TRun RunOn(const TPixelGraphic& start, int threads, const TOperation& op, bool report = true, int abortAt = -1) {
  TRun run;
  run.Target = std::make_unique<TPixelGraphic>();
  run.Target->Assign(&start);
  if (report)
    run.Target->OnProgress = [&run, abortAt](TObject*, int step, int, bool& abort) {
      run.Steps.push_back(step);
      abort = step == abortAt;
    };
  PGSetThreadCount(threads);
  op(*run.Target);
  PGSetThreadCount(0);
  return run;
}

void ExpectSame(const TRun& a, const TRun& b) {
  ASSERT_EQ(a.Steps, b.Steps);
  const TPixelGraphic &x = *a.Target, &y = *b.Target;
  ASSERT_EQ(x.Width(), y.Width());
  ASSERT_EQ(x.Height(), y.Height());
  for (int r = 0; r < x.Height(); ++r)
    ASSERT_EQ(0, std::memcmp(x.ScanLine(r), y.ScanLine(r), static_cast<size_t>(x.BytesPerRow()))) << "row " << r;
}

// The operation on 2 and 3 threads against one thread: whole, without a
// progress handler, and aborted half-way.
void ExpectAsOnOneThread(const TPixelGraphic& start, const TOperation& op) {
  const TRun one = RunOn(start, 1, op);
  ASSERT_FALSE(one.Steps.empty());
  const TRun oneSilent = RunOn(start, 1, op, false);
  for (int threads : {2, 3}) {
    ExpectSame(RunOn(start, threads, op), one);
    ExpectSame(RunOn(start, threads, op, false), oneSilent);
  }
  const int half = one.Steps[one.Steps.size() / 2];
  ExpectSame(RunOn(start, 2, op, true, half), RunOn(start, 1, op, true, half));
}

TEST(ParallelOperations, StretchCopyInEveryMode) {
  const TImage src = Noise(1001, 667, bc24Bit, 11);
  struct Case {
    TStretchMode mode;
    int dw, dh, destX, destY, srcX, srcY, srcW, srcH;
  };
  const Case cases[] = {
      {smMedium, 613, 409, 0, 0, 0, 0, 1001, 667},      // linear shrink
      {smPrecise, 613, 409, 0, 0, 0, 0, 1001, 667},     // box shrink
      {smPrecise, 1201, 803, 0, 0, 0, 0, 1001, 667},    // linear enlarge
      {smMedium, 701, 333, -5, 7, -9, 13, 1003, 650},   // offsets, clipped, rows outside the source
      {smFast, 517, 311, 3, -2, 0, 0, 1001, 667},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "case " << (&c - cases));
    const TImage start = Noise(c.dw, c.dh, bc24Bit, 3);
    start->SetStretchMode(c.mode);
    ExpectAsOnOneThread(*start, [&](TPixelGraphic& t) {
      t.StretchCopy(c.destX, c.destY, *src, c.srcH, c.srcW, c.srcY, c.srcX, c.dh, c.dw);
    });
  }
  // A part of the target's rectangle: the pixels of the whole computed there.
  const TImage whole = Noise(700, 500, bc24Bit, 4);
  whole->StretchFrom(*src);
  const TImage part = Noise(300, 260, bc24Bit, 5);
  part->StretchCopy(-250, -120, *src, 667, 1001, 0, 0, 500, 700);
  for (int y = 0; y < 260; ++y)
    ASSERT_EQ(0, std::memcmp(part->ScanLine(y), whole->ScanLine(y + 120) + 3 * 250, 3 * 300)) << "row " << y;
}

TEST(ParallelOperations, RotateBilinearNearestAndQuarterTurns) {
  const TImage src24 = Noise(450, 300, bc24Bit, 21);
  const TImage src8 = Noise(450, 300, bc8Bit, 22);
  const TImage start = Noise(500, 350, bc24Bit, 23);
  struct Case {
    long double angle;
    bool interpolate;
    const TPixelGraphic* src;
  };
  const Case cases[] = {
      {1.7L, true, src24.get()},    // bilinear
      {-33.3L, true, src8.get()},   // bilinear from a palette picture
      {-33.3L, false, src24.get()}, // nearest pixel
      {270.0L, true, src24.get()},  // quarter turns: blocks of rows
      {90.0L, false, src8.get()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "case " << (&c - cases));
    start->SetInterpolate(c.interpolate);
    // The turned source covers only part of the target: the rest keeps its noise.
    ExpectAsOnOneThread(*start, [&](TPixelGraphic& t) {
      t.Rotate(215, 190, const_cast<TPixelGraphic&>(*c.src), 280, 400, 10, 15, 150, 210, c.angle);
    });
  }
  // The AVX2 kernel and the plain one give the same pixels.
  start->SetInterpolate(true);
  pg::SetRotateVectors(false);
  auto turn = [&](TPixelGraphic& t) { t.Rotate(250, 175, *src24, 300, 450, 0, 0, 150, 225, 3.3L); };
  const TRun plain = RunOn(*start, 1, turn);
  pg::SetRotateVectors(true);
  ExpectSame(RunOn(*start, 2, turn), plain);
}

TEST(ParallelOperations, FiltersInPlaceAndIntoAnotherImage) {
  const TImage photo = Noise(400, 300, bc24Bit, 31);
  const TImage palette = Noise(400, 300, bc8Bit, 32);
  TGrayScaleFilter grey;
  TBCGFilter bcg;
  bcg.SetBrightness(7);
  bcg.SetContrast(1.4L);
  bcg.SetGamma(0.7L);
  TBCGFilter bcgY;
  bcgY.SetBrightness(-12);
  bcgY.SetContrast(0.8L);
  bcgY.SetGamma(1.6L);
  bcgY.SetUseY(true);
  TRGBFilter rgb;
  rgb.SetPercentages(20, -10, 5);
  TCMYFilter cmy;
  cmy.SetPercentages(-30, 10, 40);
  for (TPGFilter* f : std::initializer_list<TPGFilter*>{&grey, &bcg, &bcgY, &rgb, &cmy}) {
    SCOPED_TRACE(typeid(*f).name());
    ExpectAsOnOneThread(*photo, [&](TPixelGraphic& t) { t.ApplyFilter(*f, t); });
    const TImage target = Noise(10, 10, bc24Bit, 33);
    for (const TPixelGraphic* src : {photo.get(), palette.get()})
      ExpectAsOnOneThread(*target, [&](TPixelGraphic& t) { t.ApplyFilter(*f, const_cast<TPixelGraphic&>(*src)); });
  }
}

TEST(ParallelOperations, MirrorAndBlockCopyInEveryResolution) {
  for (uint8_t bc : {bc1Bit, bc4Bit, bc8Bit, bc24Bit}) {
    SCOPED_TRACE(testing::Message() << "bit count " << int(bc));
    // Large enough in bytes to be cut into blocks also at 1 bit per pixel.
    const int w = bc == bc1Bit ? 3001 : bc == bc4Bit ? 1001 : 601;
    ExpectAsOnOneThread(*Noise(w, 700, bc, 41), [](TPixelGraphic& t) { t.MirrorHorizontal(); });
  }
  // 24 to 24 bit without progress reports: pixels only.
  const TImage src = Noise(900, 600, bc24Bit, 42);
  const TImage start = Noise(800, 700, bc24Bit, 43);
  auto copy = [&](TPixelGraphic& t) { t.CopyRect(-7, 40, *src, 5, 20, 640, 850); };
  ExpectSame(RunOn(*start, 2, copy, false), RunOn(*start, 1, copy, false));
}

TEST(ParallelOperations, OneImageAsSourceAndTargetStaysInRowOrder) {
  // Rows that read rows written before them: on one thread in row order,
  // whatever the thread count, never racing.
  const TImage start = Noise(700, 500, bc24Bit, 51);
  start->SetStretchMode(smMedium);
  ExpectAsOnOneThread(*start, [](TPixelGraphic& t) { t.StretchCopy(0, 0, t, 500, 700, 0, 0, 450, 650); });
  ExpectAsOnOneThread(*start, [](TPixelGraphic& t) { t.Rotate(350, 250, t, 500, 700, 0, 0, 250, 350, 2.5L); });
  auto copy = [](TPixelGraphic& t) { t.CopyRect(3, 2, t, 0, 0, 480, 690); };
  ExpectSame(RunOn(*start, 2, copy, false), RunOn(*start, 1, copy, false));
}

} // namespace
