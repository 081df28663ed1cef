// Point filters on a 6000 x 4000 photograph-like 24-bit image. The grey
// filter in place is the stereo composition's hot path (target: at least 200
// million pixels per second). ImageMagick's grey conversion runs on the same
// image for comparison (a whole command; its baseline is a 1 x 1 crop).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <sys/stat.h>

#include "pgraphic/core/filters.h"
#include "pgraphic/core/pixelgraphic.h"
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

void BM_GreyInPlace(benchmark::State& state) {
  auto img = NewPhoto();
  TGrayScaleFilter grey;
  for (auto _ : state) {
    // Grey of grey is the same arithmetic as grey of colour.
    img->ApplyFilter(grey, *img);
    benchmark::DoNotOptimize(img->Bits());
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(kWidth) * kHeight);
}
BENCHMARK(BM_GreyInPlace)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_RGBInPlace(benchmark::State& state) {
  auto img = NewPhoto();
  TRGBFilter rgb;
  rgb.SetPercentages(10, -10, 5);
  for (auto _ : state) {
    img->ApplyFilter(rgb, *img);
    benchmark::DoNotOptimize(img->Bits());
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(kWidth) * kHeight);
}
BENCHMARK(BM_RGBInPlace)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_BCGIntoNewImage(benchmark::State& state) {
  auto img = NewPhoto();
  TBCGFilter bcg;
  bcg.SetBrightness(5);
  bcg.SetContrast(1.3L);
  bcg.SetGamma(0.8L);
  TPixelGraphic dst;
  for (auto _ : state) {
    dst.ApplyFilter(bcg, *img);
    benchmark::DoNotOptimize(dst.Bits());
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(kWidth) * kHeight);
}
BENCHMARK(BM_BCGIntoNewImage)->Unit(benchmark::kMillisecond)->UseRealTime();

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
