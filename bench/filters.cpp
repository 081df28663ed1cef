// Point filters on a 6000 x 4000 photograph-like 24-bit image. The grey
// filter in place is the stereo composition's hot path (target: at least 200
// million pixels per second). ImageMagick's grey conversion runs on the same
// image for comparison (a whole command; its baseline is a 1 x 1 crop).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <vector>

#include "pgraphic/core/filters.h"
#include "pgraphic/core/pixelgraphic.h"

namespace {

// User and system time of the finished child processes, in seconds.
double ChildCpuSeconds() {
  rusage u{};
  ::getrusage(RUSAGE_CHILDREN, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) * 1e-6;
}

constexpr int kWidth = 6000, kHeight = 4000;
const std::string kDir = "/dev/shm/zwillo_bench";

void FillPhoto(TPixelGraphic& img) {
  uint32_t seed = 12345;
  for (int y = 0; y < img.Height(); ++y) {
    uint8_t* row = img.ScanLine(y);
    for (int x = 0; x < img.Width(); ++x) {
      seed = seed * 1664525u + 1013904223u;
      const int noise = static_cast<int>((seed >> 24) & 31) - 16;
      const double fx = static_cast<double>(x) / img.Width(), fy = static_cast<double>(y) / img.Height();
      const double wave = 40 * std::sin(fx * 37 + fy * 11) * std::cos(fy * 23 - fx * 5);
      row[3 * x + 0] = static_cast<uint8_t>(std::clamp(static_cast<int>(120 * (1 - fx) * fy + 60 + wave * 0.7) - noise, 0, 255));
      row[3 * x + 1] = static_cast<uint8_t>(std::clamp(static_cast<int>(180 * fy + 40 - wave * 0.5) + noise / 2, 0, 255));
      row[3 * x + 2] = static_cast<uint8_t>(std::clamp(static_cast<int>(200 * fx + 30 + wave) + noise, 0, 255));
    }
  }
}

std::unique_ptr<TPixelGraphic> NewPhoto() {
  auto p = std::make_unique<TPixelGraphic>();
  p->SetSize(kWidth, kHeight, bc24Bit);
  FillPhoto(*p);
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
    auto img = NewPhoto();
    FILE* f = std::fopen((kDir + "/photo.ppm").c_str(), "wb");
    if (f) {
      std::fprintf(f, "P6\n%d %d\n255\n", kWidth, kHeight);
      std::vector<uint8_t> rgb(3 * static_cast<size_t>(kWidth));
      for (int y = 0; y < kHeight; ++y) {
        const uint8_t* row = img->ScanLine(y);
        for (int x = 0; x < kWidth; ++x)
          for (int c = 0; c < 3; ++c) rgb[3 * x + c] = row[3 * x + 2 - c];
        std::fwrite(rgb.data(), 1, rgb.size(), f);
      }
      std::fclose(f);
    }
  }
  std::string cmd = command;
  for (size_t p; (p = cmd.find("$D")) != std::string::npos;) cmd.replace(p, 2, kDir);
  cmd += " >/dev/null 2>&1";
  double childCpu = 0;
  for (auto _ : state) {
    const double before = ChildCpuSeconds();
    if (std::system(cmd.c_str()) != 0) state.SkipWithError("peer command failed");
    childCpu += ChildCpuSeconds() - before;
  }
  state.counters["peer_cpu_ms"] = 1000 * childCpu / static_cast<double>(state.iterations());
}
BENCHMARK_CAPTURE(BM_Peer, IM_baseline_crop, "convert $D/photo.ppm -crop 1x1+0+0 +repage $D/out.ppm")
    ->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK_CAPTURE(BM_Peer, IM_grayscale_Rec601Luma, "convert $D/photo.ppm -grayscale Rec601Luma $D/out.pgm")
    ->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

}  // namespace
