// Stereo composition on two 6000 x 4000 24-bit photographs, shifted against
// each other as a real pair is (common area 5960 x 3980), on one thread and
// on two. The figure to watch is Mpixel/s of result pixels; the pair modes
// are compared with plain row copies of the same amount of data
// (BM_RowCopyBaseline).
#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>

#include "app/core/stereo_core.h"
#include "pgraphic/core/pixelgraphic.h"
#include "pgraphic/core/threadpool.h"

namespace {

constexpr int kW = 6000, kH = 4000;

// A photograph-like picture: smooth gradients with a little noise.
TPixelGraphic& Photo(int which) {
  static TPixelGraphic photos[2];
  TPixelGraphic& img = photos[which];
  if (img.Empty()) {
    img.SetSize(kW, kH, bc24Bit);
    uint32_t v = 12345u + static_cast<uint32_t>(which);
    for (int y = 0; y < kH; ++y) {
      uint8_t* row = img.ScanLine(y);
      for (int x = 0; x < kW; ++x) {
        v = v * 1103515245u + 12345u;
        const int n = static_cast<int>((v >> 16) & 15);
        row[3 * x] = static_cast<uint8_t>((x / 24 + n) & 0xFF);
        row[3 * x + 1] = static_cast<uint8_t>((y / 16 + n) & 0xFF);
        row[3 * x + 2] = static_cast<uint8_t>(((x + y) / 40 + n) & 0xFF);
      }
    }
  }
  return img;
}

TCommonArea Area() { return CommonArea(kW, kH, kW, kH, {2040, 1510}, {2000, 1530}); }

int64_t ResultPixels(int mode, const TCommonArea& a) {
  const int64_t w = a.W, h = a.H;
  switch (mode) {
    case smMirror:
      return (2 * w + 10) * h;
    case smLeftRight:
    case smRightLeft:
    case smOverUnder:
      return 2 * w * h;
    case smHalfSideBySide:
      return 2 * ((w + 1) / 2) * h;
    case smHalfOverUnder:
      return 2 * w * ((h + 1) / 2);
    case smElsa: {
      int64_t f, g;
      ElsaFrame(w, h, f, g);
      return 2 * f * g;
    }
    default:
      return w * h;
  }
}

// Arguments: the mode, the threads (0 = one per core).
void BM_ComposeStereo(benchmark::State& state) {
  const int mode = static_cast<int>(state.range(0));
  PGSetThreadCount(static_cast<int>(state.range(1)));
  TPixelGraphic &L = Photo(0), &R = Photo(1);
  const TCommonArea a = Area();
  TPixelGraphic work;
  for (auto _ : state) {
    TStereoResult r = ComposeStereo(mode, L, R, a, work);
    benchmark::DoNotOptimize(r.Image);
  }
  PGSetThreadCount(0);
  state.SetLabel(StereoModeCaption(mode));
  state.counters["Mpixel/s"] =
      benchmark::Counter(static_cast<double>(ResultPixels(mode, a)) * 1e-6, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_ComposeStereo)
    ->ArgNames({"mode", "threads"})
    ->ArgsProduct({benchmark::CreateDenseRange(0, StereoModeCount - 1, 1), {1, 2}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The floor of the pair modes: a fresh 2W x H result and two row-by-row block
// copies into it.
void BM_RowCopyBaseline(benchmark::State& state) {
  TPixelGraphic &L = Photo(0), &R = Photo(1);
  const TCommonArea a = Area();
  for (auto _ : state) {
    auto t = std::make_unique<TPixelGraphic>();
    t->SetSize(2 * a.W, a.H, bc24Bit);
    for (int y = 0; y < a.H; ++y) {
      std::memcpy(t->ScanLine(y), L.ScanLine(a.Y0 + y) + 3 * a.X0, 3 * static_cast<size_t>(a.W));
      std::memcpy(t->ScanLine(y) + 3 * static_cast<size_t>(a.W), R.ScanLine(a.Y0 - a.Dy + y) + 3 * (a.X0 - a.Dx),
                  3 * static_cast<size_t>(a.W));
    }
    benchmark::DoNotOptimize(t.get());
  }
  state.counters["Mpixel/s"] = benchmark::Counter(2.0 * a.W * a.H * 1e-6, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_RowCopyBaseline)->Unit(benchmark::kMillisecond)->UseRealTime();

// Tilt compensation: one rotation of the right photograph.
void BM_CompensateTilt(benchmark::State& state) {
  TPairAlignment p;
  p.Right.Point = {2000, 1530};
  p.Left.Line = {5, 354, 5990, 354};
  p.Right.Line = {5, 338, 5990, 371};
  for (auto _ : state) {
    state.PauseTiming();
    auto r = std::make_unique<TPixelGraphic>();
    r->Assign(&Photo(1));
    state.ResumeTiming();
    CompensateTilt(r, p);
    benchmark::DoNotOptimize(r.get());
  }
  state.counters["Mpixel/s"] = benchmark::Counter(double(kW) * kH * 1e-6, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_CompensateTilt)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// The rotation alone, as CompensateTilt calls it (its floor).
void BM_RotateOnly(benchmark::State& state) {
  TPairAlignment p;
  p.Left.Line = {5, 354, 5990, 354};
  p.Right.Line = {5, 338, 5990, 371};
  long double delta = 0;
  TiltDifference(p, delta);
  TPixelGraphic& r = Photo(1);
  TPixelGraphic d;
  d.SetSize(kW, kH, bc24Bit);
  d.SetInterpolate(true);
  for (auto _ : state) {
    d.Rotate(2000, 1530, r, kH, kW, 0, 0, 1530, 2000, delta);
    benchmark::DoNotOptimize(d.Bits());
  }
  state.counters["Mpixel/s"] = benchmark::Counter(double(kW) * kH * 1e-6, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_RotateOnly)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

} // namespace
