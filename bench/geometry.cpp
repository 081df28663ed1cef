// Resampling and rotation of a 6000 x 4000 photograph-like 24-bit image,
// with ImageMagick and libvips doing the same work on the same image in the
// same run. The image is written once as PPM (and as a vips file) to
// /dev/shm/zwillo_bench; each peer runs as a whole command, so its figure
// includes start-up, reading and writing; the "baseline" commands (a 1 x 1
// crop) measure that overhead alone.
//
//   bench_geometry --benchmark_filter=...   (all by default)
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>

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

// Gradients, a few soft waves and fine noise: smooth areas and texture, like
// a photograph, so no path can profit from flat colour.
void FillPhoto(TPixelGraphic& img) {
  uint32_t seed = 12345;
  for (int y = 0; y < img.Height(); ++y) {
    uint8_t* row = img.ScanLine(y);
    for (int x = 0; x < img.Width(); ++x) {
      seed = seed * 1664525u + 1013904223u;
      const int noise = static_cast<int>((seed >> 24) & 31) - 16;
      const double fx = static_cast<double>(x) / img.Width(), fy = static_cast<double>(y) / img.Height();
      const double wave = 40 * std::sin(fx * 37 + fy * 11) * std::cos(fy * 23 - fx * 5);
      const int r = static_cast<int>(200 * fx + 30 + wave) + noise;
      const int g = static_cast<int>(180 * fy + 40 - wave * 0.5) + noise / 2;
      const int b = static_cast<int>(120 * (1 - fx) * fy + 60 + wave * 0.7) - noise;
      row[3 * x + 0] = static_cast<uint8_t>(std::clamp(b, 0, 255));
      row[3 * x + 1] = static_cast<uint8_t>(std::clamp(g, 0, 255));
      row[3 * x + 2] = static_cast<uint8_t>(std::clamp(r, 0, 255));
    }
  }
}

void WritePPM(const TPixelGraphic& img, const std::string& name) {
  FILE* f = std::fopen(name.c_str(), "wb");
  if (!f) return;
  std::fprintf(f, "P6\n%d %d\n255\n", img.Width(), img.Height());
  std::vector<uint8_t> rgb(3 * static_cast<size_t>(img.Width()));
  for (int y = 0; y < img.Height(); ++y) {
    const uint8_t* row = img.ScanLine(y);
    for (int x = 0; x < img.Width(); ++x) {
      rgb[3 * x + 0] = row[3 * x + 2];
      rgb[3 * x + 1] = row[3 * x + 1];
      rgb[3 * x + 2] = row[3 * x + 0];
    }
    std::fwrite(rgb.data(), 1, rgb.size(), f);
  }
  std::fclose(f);
}

TPixelGraphic& Photo() {
  static std::unique_ptr<TPixelGraphic> img = [] {
    auto p = std::make_unique<TPixelGraphic>();
    p->SetSize(kWidth, kHeight, bc24Bit);
    FillPhoto(*p);
    return p;
  }();
  return *img;
}

TPixelGraphic& SmallPhoto() {
  static std::unique_ptr<TPixelGraphic> img = [] {
    auto p = std::make_unique<TPixelGraphic>();
    p->SetSize(1500, 1000, bc24Bit);
    p->SetStretchMode(smPrecise);
    p->StretchFrom(Photo());
    return p;
  }();
  return *img;
}

// Writes the peer input files once.
void PreparePeerFiles() {
  static bool done = false;
  if (done) return;
  done = true;
  ::mkdir(kDir.c_str(), 0755);
  WritePPM(Photo(), kDir + "/photo.ppm");
  WritePPM(SmallPhoto(), kDir + "/small.ppm");
  std::system(("vips copy " + kDir + "/photo.ppm " + kDir + "/photo.v").c_str());
  std::system(("vips copy " + kDir + "/small.ppm " + kDir + "/small.v").c_str());
}

// ------------------------------------------------------------ this library

void BM_StretchFrom(benchmark::State& state, TStretchMode mode, bool enlarge) {
  TPixelGraphic& src = enlarge ? SmallPhoto() : Photo();
  TPixelGraphic dst;
  dst.SetSize(enlarge ? kWidth : 1500, enlarge ? kHeight : 1000, bc24Bit);
  dst.SetStretchMode(mode);
  for (auto _ : state) {
    dst.StretchFrom(src);
    benchmark::DoNotOptimize(dst.Bits());
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(dst.Width()) * dst.Height());
}
BENCHMARK_CAPTURE(BM_StretchFrom, Shrink_smPrecise_6000x4000_to_1500x1000, smPrecise, false)
    ->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_StretchFrom, Shrink_smMedium_6000x4000_to_1500x1000, smMedium, false)
    ->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_StretchFrom, Enlarge_smPrecise_1500x1000_to_6000x4000, smPrecise, true)
    ->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_RotateFrom(benchmark::State& state, long double angle) {
  TPixelGraphic& src = Photo();
  TPixelGraphic dst;
  dst.SetInterpolate(true);
  for (auto _ : state) {
    dst.RotateFrom(true, src, angle);
    benchmark::DoNotOptimize(dst.Bits());
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(dst.Width()) * dst.Height());
}
BENCHMARK_CAPTURE(BM_RotateFrom, Bilinear_5_71deg, 5.71L)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_RotateFrom, Quarter_90deg, 90.0L)->Unit(benchmark::kMillisecond)->UseRealTime();

// ------------------------------------------------------------ peers

void BM_Peer(benchmark::State& state, const char* command) {
  PreparePeerFiles();
  std::string cmd = command;
  for (size_t p; (p = cmd.find("$D")) != std::string::npos;) cmd.replace(p, 2, kDir);
  cmd += " >/dev/null 2>&1";
  double childCpu = 0;
  for (auto _ : state) {
    const double before = ChildCpuSeconds();
    const int rc = std::system(cmd.c_str());
    childCpu += ChildCpuSeconds() - before;
    if (rc != 0) state.SkipWithError("peer command failed");
  }
  // The peer's own processor time (all its threads), comparable with the
  // CPU column of this library's single-threaded runs.
  state.counters["peer_cpu_ms"] = 1000 * childCpu / static_cast<double>(state.iterations());
}
#define PEER(name, cmd) \
  BENCHMARK_CAPTURE(BM_Peer, name, cmd)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3)

PEER(IM_baseline_crop_6000x4000, "convert $D/photo.ppm -crop 1x1+0+0 +repage $D/out.ppm");
PEER(IM_scale_to_1500x1000, "convert $D/photo.ppm -scale 1500x1000! $D/out.ppm");
PEER(IM_resize_to_1500x1000, "convert $D/photo.ppm -resize 1500x1000! $D/out.ppm");
PEER(IM_baseline_crop_1500x1000, "convert $D/small.ppm -crop 1x1+0+0 +repage $D/out.ppm");
PEER(IM_resize_1500x1000_to_6000x4000, "convert $D/small.ppm -resize 6000x4000! $D/out.ppm");
PEER(IM_scale_1500x1000_to_6000x4000, "convert $D/small.ppm -scale 6000x4000! $D/out.ppm");
PEER(IM_rotate_5_71deg, "convert $D/photo.ppm -rotate 5.71 $D/out.ppm");
PEER(vips_baseline_crop_6000x4000, "vips crop $D/photo.v $D/out.v 0 0 1 1");
PEER(vips_resize_0_25, "vips resize $D/photo.v $D/out.v 0.25");
PEER(vips_baseline_crop_1500x1000, "vips crop $D/small.v $D/out.v 0 0 1 1");
PEER(vips_resize_4, "vips resize $D/small.v $D/out.v 4");
PEER(vips_rotate_5_71deg, "vips rotate $D/photo.v $D/out.v 5.71");
PEER(vips_similarity_5_71deg, "vips similarity $D/photo.v $D/out.v --angle 5.71");
PEER(IM_rotate_90deg, "convert $D/photo.ppm -rotate 90 $D/out.ppm");
PEER(vips_rot_90deg, "vips rot $D/photo.v $D/out.v d90");

}  // namespace
