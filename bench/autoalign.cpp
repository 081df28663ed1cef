// The automatic alignment of a 24-megapixel pair (6000 x 4000, the rendered
// scene of the samples enlarged five times, with a fine grain, its right view
// shifted 1.5 % of the height, rolled 2 degrees and scaled by 1.015):
//   BM_AutoAlign24MP         AutoAlign on the loaded pair (wall clock)
//   BM_RowsBeforeAfter24MP   the row residual before and after (counters)
//   BM_ScaleStep24MP         the composition's scale step on the right photograph
//   BM_ComposeAutoAligned    the left-right image with that alignment (scale
//                            step, turn, crop) ...
//   BM_ComposeHandTilt       ... and with a hand alignment of the same roll
//                            (turn only), for the cost the scale step adds
// Counters: the errors of roll (degrees) and scale and the peak memory the
// alignment added (MB; one photograph is 72 MB); the row residual of the
// composed left-right image (median |row difference| of independent SIFT
// matches, px) before and after.

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <string>

#include "app/core/autoalign.h"
#include "app/core/compose.h"
#include "app/core/correction.h"
#include "tests/common/stereo_pairs.h"

namespace {

constexpr int kWidth = 6000, kHeight = 4000;
const stereotest::TMisalignment kTruth{0.015 * kHeight, 2.0, 1.015};

stereotest::TPair& Pair() {
  static stereotest::TPair pair = [] {
    TPixelGraphic base;
    base.LoadFromFile(std::string(ZWILLO_SOURCE_DIR) + "/samples/szene_l.jpg");
    return stereotest::MakePair(base, kWidth, kHeight, kTruth, 5.0, 10.0);
  }();
  return pair;
}

const TAutoAlignResult& Found() {
  static const TAutoAlignResult result = AutoAlign(*Pair().Left, *Pair().Right);
  return result;
}

// Resident and peak memory of the process in kB (the peak reset first).
long StatusKB(const char* key) {
  std::ifstream f("/proc/self/status");
  std::string line;
  while (std::getline(f, line))
    if (line.rfind(key, 0) == 0) return std::stol(line.substr(std::string(key).size()));
  return 0;
}

void ResetPeak() { std::ofstream("/proc/self/clear_refs") << "5"; }

void BM_AutoAlign24MP(benchmark::State& state) {
  stereotest::TPair& pair = Pair();
  TAutoAlignResult result;
  ResetPeak();
  const long before = StatusKB("VmRSS:");
  for (auto _ : state) result = AutoAlign(*pair.Left, *pair.Right);
  state.counters["extra_MB"] = static_cast<double>(StatusKB("VmHWM:") - before) / 1024;
  state.counters["roll_err"] = std::fabs(result.Roll - kTruth.Roll);
  state.counters["scale_err"] = std::fabs(result.Scale - kTruth.Scale);
  state.counters["matches"] = result.Matches;
}
BENCHMARK(BM_AutoAlign24MP)->Unit(benchmark::kMillisecond)->Iterations(5);

// The row residual of the composed image before and after (one run; the
// measure itself takes long at this size).
void BM_RowsBeforeAfter24MP(benchmark::State& state) {
  stereotest::TPair& pair = Pair();
  TPixelGraphic work;
  for (auto _ : state) {
    TStereoResult unaligned = ComposePictures(smLeftRight, *pair.Left, *pair.Right, TPairAlignment(), work);
    state.counters["rows_before"] = stereotest::RowResidual(*unaligned.Image).Median;
    unaligned.Owned.reset();
    TStereoResult aligned = ComposePictures(smLeftRight, *pair.Left, *pair.Right, Found().Alignment, work);
    state.counters["rows_after"] = stereotest::RowResidual(*aligned.Image).Median;
  }
}
BENCHMARK(BM_RowsBeforeAfter24MP)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_ScaleStep24MP(benchmark::State& state) {
  stereotest::TPair& pair = Pair();
  TRightCorrection c;
  c.Automatic = c.Resample = true;
  c.Factor = kTruth.Scale;
  c.CenterX = kWidth / 2;
  c.CenterY = kHeight / 2;
  c.SourceX = c.CenterX + 0.37;
  c.SourceY = c.CenterY - 0.21;
  for (auto _ : state) benchmark::DoNotOptimize(ScaleCompensated(*pair.Right, c));
}
BENCHMARK(BM_ScaleStep24MP)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_ComposeAutoAligned(benchmark::State& state) {
  stereotest::TPair& pair = Pair();
  const TPairAlignment a = Found().Alignment;
  TPixelGraphic work;
  for (auto _ : state) benchmark::DoNotOptimize(ComposePictures(smLeftRight, *pair.Left, *pair.Right, a, work));
}
BENCHMARK(BM_ComposeAutoAligned)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_ComposeHandTilt(benchmark::State& state) {
  stereotest::TPair& pair = Pair();
  TPairAlignment a = Found().Alignment;
  a.Left.Scale.reset();
  a.Right.Scale.reset();
  a.Right.Exact.reset();
  TPixelGraphic work;
  for (auto _ : state) benchmark::DoNotOptimize(ComposePictures(smLeftRight, *pair.Left, *pair.Right, a, work));
}
BENCHMARK(BM_ComposeHandTilt)->Unit(benchmark::kMillisecond)->Iterations(5);

} // namespace
