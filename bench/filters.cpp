// Point filters on a 6000 x 4000 photograph-like 24-bit image, on one thread
// and on two. The grey filter in place is the stereo composition's hot path
// (target: at least 200 million pixels per second). ImageMagick's grey conversion runs on the same
// image for comparison (a whole command; its baseline is a 1 x 1 crop).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <sys/stat.h>

#include "pgraphic/core/filters.h"
#include "pgraphic/core/pixelgraphic.h"
#include "pgraphic/core/threadpool.h"
#include "bench_util.h"

namespace {

constexpr int kWidth = 6000, kHeight = 4000;
const std::string kDir = "/dev/shm/zwillo_bench";

std::unique_ptr<TPixelGraphic> NewPhoto() {
  auto p = std::make_unique<TPixelGraphic>();
  p->SetSize(kWidth, kHeight, bc24Bit);
  benchutil::FillWavyPhoto(*p);
  return p;
}

// Each filter on one thread and on two (argument: threads).
void RunFilter(benchmark::State& state, TPGFilter& filter, bool inPlace) {
  PGSetThreadCount(static_cast<int>(state.range(0)));
  auto img = NewPhoto();
  TPixelGraphic dst;
  TPixelGraphic& target = inPlace ? *img : dst;
  for (auto _ : state) {
    // A filter of a filtered picture is the same arithmetic as of the photograph.
    target.ApplyFilter(filter, *img);
    benchmark::DoNotOptimize(target.Bits());
  }
  PGSetThreadCount(0);
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(kWidth) * kHeight);
}

void BM_GreyInPlace(benchmark::State& state) {
  TGrayScaleFilter grey;
  RunFilter(state, grey, true);
}
BENCHMARK(BM_GreyInPlace)->ArgName("threads")->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_RGBInPlace(benchmark::State& state) {
  TRGBFilter rgb;
  rgb.SetPercentages(10, -10, 5);
  RunFilter(state, rgb, true);
}
BENCHMARK(BM_RGBInPlace)->ArgName("threads")->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_CMYInPlace(benchmark::State& state) {
  TCMYFilter cmy;
  cmy.SetPercentages(-20, 15, 5);
  RunFilter(state, cmy, true);
}
BENCHMARK(BM_CMYInPlace)->ArgName("threads")->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_BCGIntoNewImage(benchmark::State& state) {
  TBCGFilter bcg;
  bcg.SetBrightness(5);
  bcg.SetContrast(1.3L);
  bcg.SetGamma(0.8L);
  RunFilter(state, bcg, false);
}
BENCHMARK(BM_BCGIntoNewImage)->ArgName("threads")->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Peer(benchmark::State& state, const char* command) {
  static bool prepared = false;
  if (!prepared) {
    prepared = true;
    ::mkdir(kDir.c_str(), 0755);
    benchutil::WritePPM(*NewPhoto(), kDir + "/photo.ppm");
  }
  benchutil::PeerInDir(state, kDir, command);
}
BENCHMARK_CAPTURE(BM_Peer, IM_baseline_crop, "convert $D/photo.ppm -crop 1x1+0+0 +repage $D/out.ppm")
    ->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK_CAPTURE(BM_Peer, IM_grayscale_Rec601Luma, "convert $D/photo.ppm -grayscale Rec601Luma $D/out.pgm")
    ->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

}  // namespace
