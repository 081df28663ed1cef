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
#include <sys/stat.h>

#include "pgraphic/core/pixelgraphic.h"
#include "pgraphic/core/resample.h"
#include "pgraphic/core/rotation.h"
#include "pgraphic/core/threadpool.h"
#include "bench_util.h"

namespace {

constexpr int kWidth = 6000, kHeight = 4000;
const std::string kDir = "/dev/shm/zwillo_bench";

TPixelGraphic& Photo() {
  static std::unique_ptr<TPixelGraphic> img = [] {
    auto p = std::make_unique<TPixelGraphic>();
    p->SetSize(kWidth, kHeight, bc24Bit);
    benchutil::FillWavyPhoto(*p);
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
  benchutil::WritePPM(Photo(), kDir + "/photo.ppm");
  benchutil::WritePPM(SmallPhoto(), kDir + "/small.ppm");
  std::system(("vips copy " + kDir + "/photo.ppm " + kDir + "/photo.v").c_str());
  std::system(("vips copy " + kDir + "/small.ppm " + kDir + "/small.v").c_str());
}

// ------------------------------------------------------------ this library

// Argument: threads (0 = one per core).
void BM_StretchFrom(benchmark::State& state, TStretchMode mode, bool enlarge) {
  PGSetThreadCount(static_cast<int>(state.range(0)));
  TPixelGraphic& src = enlarge ? SmallPhoto() : Photo();
  TPixelGraphic dst;
  dst.SetSize(enlarge ? kWidth : 1500, enlarge ? kHeight : 1000, bc24Bit);
  dst.SetStretchMode(mode);
  for (auto _ : state) {
    dst.StretchFrom(src);
    benchmark::DoNotOptimize(dst.Bits());
  }
  PGSetThreadCount(0);
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(dst.Width()) * dst.Height());
}
BENCHMARK_CAPTURE(BM_StretchFrom, Shrink_smPrecise_6000x4000_to_1500x1000, smPrecise, false)
    ->ArgName("threads")->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_StretchFrom, Shrink_smMedium_6000x4000_to_1500x1000, smMedium, false)
    ->ArgName("threads")->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_StretchFrom, Shrink_smFast_6000x4000_to_1500x1000, smFast, false)
    ->ArgName("threads")->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_StretchFrom, Enlarge_smPrecise_1500x1000_to_6000x4000, smPrecise, true)
    ->ArgName("threads")->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_StretchFrom, Enlarge_smMedium_1500x1000_to_6000x4000, smMedium, true)
    ->ArgName("threads")->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

// The mirror in place (argument: threads).
void BM_Mirror(benchmark::State& state) {
  PGSetThreadCount(static_cast<int>(state.range(0)));
  TPixelGraphic img;
  img.Assign(&Photo());
  for (auto _ : state) {
    img.MirrorHorizontal();
    benchmark::DoNotOptimize(img.Bits());
  }
  PGSetThreadCount(0);
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(kWidth) * kHeight);
}
BENCHMARK(BM_Mirror)->ArgName("threads")->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

// The view's display copy of a 6000 x 4000 photograph at zoom 0.8 and 0.6
// (smMedium, the picture box's size), newly allocated as the view does.
// Arguments: zoom in tenths, threads (0 = one per core), the specialised row
// engine on (1) or off (0).
void BM_DisplayCopy(benchmark::State& state) {
  const int zoom = static_cast<int>(state.range(0));
  PGSetThreadCount(static_cast<int>(state.range(1)));
  pg::SetStretchFastRows(state.range(2) != 0);
  TPixelGraphic& src = Photo();
  for (auto _ : state) {
    TPixelGraphic dst;
    dst.SetSize(kWidth * zoom / 10, kHeight * zoom / 10, bc24Bit);
    dst.SetStretchMode(smMedium);
    dst.StretchFrom(src);
    benchmark::DoNotOptimize(dst.Bits());
  }
  PGSetThreadCount(0);
  pg::SetStretchFastRows(true);
}
BENCHMARK(BM_DisplayCopy)
    ->ArgNames({"zoom10", "threads", "fast"})
    ->Args({8, 1, 0})
    ->Args({8, 1, 1})
    ->Args({8, 0, 1})
    ->Args({6, 1, 0})
    ->Args({6, 1, 1})
    ->Args({6, 0, 1})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// Arguments: threads (0 = one per core), the AVX2 kernel on (1) or off (0).
void BM_RotateFrom(benchmark::State& state, long double angle) {
  PGSetThreadCount(static_cast<int>(state.range(0)));
  pg::SetRotateVectors(state.range(1) != 0);
  TPixelGraphic& src = Photo();
  TPixelGraphic dst;
  dst.SetInterpolate(true);
  for (auto _ : state) {
    dst.RotateFrom(true, src, angle);
    benchmark::DoNotOptimize(dst.Bits());
  }
  PGSetThreadCount(0);
  pg::SetRotateVectors(true);
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(dst.Width()) * dst.Height());
}
BENCHMARK_CAPTURE(BM_RotateFrom, Bilinear_5_71deg, 5.71L)
    ->ArgNames({"threads", "avx2"})->Args({1, 0})->Args({1, 1})->Args({2, 1})
    ->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_RotateFrom, Bilinear_1_7deg, 1.7L)
    ->ArgNames({"threads", "avx2"})->Args({1, 1})->Args({2, 1})->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_RotateFrom, Quarter_90deg, 90.0L)
    ->ArgNames({"threads", "avx2"})->Args({1, 1})->Args({2, 1})->Unit(benchmark::kMillisecond)->UseRealTime();

// ------------------------------------------------------------ peers

void BM_Peer(benchmark::State& state, const char* command) {
  PreparePeerFiles();
  // The peer's own processor time (all its threads), comparable with the
  // CPU column of this library's single-threaded runs.
  benchutil::PeerInDir(state, kDir, command);
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
