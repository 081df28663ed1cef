// StretchCopy into large 24-bit targets runs on several threads: the pixels,
// the progress reports and an abort must be those of one thread.
#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <vector>

#include "pgraphic/core/pixelgraphic.h"
#include "pgraphic/core/threadpool.h"

namespace {

struct TRun {
  std::unique_ptr<TPixelGraphic> Target;
  std::vector<int> Steps;
};

// One StretchCopy on the given number of threads into a target prefilled
// with noise; abortAt >= 0 aborts at that progress step.
TRun Stretch(const TPixelGraphic& src, int threads, TStretchMode mode, int dw, int dh, int destX, int destY, int srcX,
             int srcY, int srcW, int srcH, int abortAt = -1) {
  TRun run;
  run.Target = std::make_unique<TPixelGraphic>();
  run.Target->SetSize(dw, dh, bc24Bit);
  std::mt19937 rng(3);
  for (int y = 0; y < dh; ++y) {
    uint8_t* row = run.Target->ScanLine(y);
    for (int i = 0; i < 3 * dw; ++i) row[i] = static_cast<uint8_t>(rng());
  }
  run.Target->SetStretchMode(mode);
  run.Target->OnProgress = [&run, abortAt](TObject*, int step, int, bool& abort) {
    run.Steps.push_back(step);
    abort = step == abortAt;
  };
  PGSetThreadCount(threads);
  run.Target->StretchCopy(destX, destY, const_cast<TPixelGraphic&>(src), srcH, srcW, srcY, srcX, dh, dw);
  PGSetThreadCount(0);
  return run;
}

void ExpectSame(const TRun& a, const TRun& b) {
  ASSERT_EQ(a.Steps, b.Steps);
  const TPixelGraphic &x = *a.Target, &y = *b.Target;
  for (int r = 0; r < x.Height(); ++r)
    ASSERT_EQ(0, std::memcmp(x.ScanLine(r), y.ScanLine(r), 3 * static_cast<size_t>(x.Width()))) << "row " << r;
}

TEST(ParallelStretchCopy, MatchesOneThreadOnOddSizes) {
  auto src = std::make_unique<TPixelGraphic>();
  src->SetSize(1001, 667, bc24Bit);
  std::mt19937 rng(11);
  for (int y = 0; y < src->Height(); ++y) {
    uint8_t* row = src->ScanLine(y);
    for (int i = 0; i < 3 * src->Width(); ++i) row[i] = static_cast<uint8_t>(rng());
  }
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
    const TRun one = Stretch(*src, 1, c.mode, c.dw, c.dh, c.destX, c.destY, c.srcX, c.srcY, c.srcW, c.srcH);
    ASSERT_FALSE(one.Steps.empty());
    for (int threads : {2, 3}) ExpectSame(Stretch(*src, threads, c.mode, c.dw, c.dh, c.destX, c.destY, c.srcX, c.srcY, c.srcW, c.srcH), one);
    // An abort half-way leaves the later rows as they were, as on one thread.
    const int half = one.Steps[one.Steps.size() / 2];
    const TRun oneAborted = Stretch(*src, 1, c.mode, c.dw, c.dh, c.destX, c.destY, c.srcX, c.srcY, c.srcW, c.srcH, half);
    ExpectSame(Stretch(*src, 2, c.mode, c.dw, c.dh, c.destX, c.destY, c.srcX, c.srcY, c.srcW, c.srcH, half), oneAborted);
  }
}

} // namespace
