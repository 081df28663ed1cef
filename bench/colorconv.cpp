// Reducing a 6000 x 4000 photograph-like picture to 8 bits: optimised palette
// (252 colours with the 16 system colours) and Floyd-Steinberg dithering,
// against ImageMagick's `convert -dither FloydSteinberg -colors 256` on the
// same picture in the same run; and colour-mapping throughput per palette.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

#include "pgraphic/core/colorconv.h"

namespace {

constexpr int kW = 6000, kH = 4000;

// Smooth gradients with some structure, fine texture and noise: enough
// distinct colours that palette building and dithering do real work.
TPixelGraphic& Photo() {
  static TPixelGraphic img;
  if (!img.Empty()) return img;
  img.SetSize(kW, kH, bc24Bit);
  std::vector<double> sx(kW), cx(kW), tx(kW), sy(kH), cy(kH), ty(kH);
  for (int x = 0; x < kW; ++x) {
    sx[x] = std::sin(x * 0.0011);
    cx[x] = std::cos(x * 0.0011);
    tx[x] = std::sin(x * 0.031);
  }
  for (int y = 0; y < kH; ++y) {
    sy[y] = std::sin(y * 0.0017);
    cy[y] = std::cos(y * 0.0017);
    ty[y] = std::cos(y * 0.027);
  }
  uint32_t seed = 12345;
  auto noise = [&seed]() {
    seed ^= seed << 13;
    seed ^= seed >> 17;
    seed ^= seed << 5;
    return static_cast<int>(seed % 25) - 12;
  };
  auto clamp = [](double v) { return static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v)); };
  for (int y = 0; y < kH; ++y) {
    uint8_t* p = img.ScanLine(y);
    for (int x = 0; x < kW; ++x, p += 3) {
      const double s = sx[x] * cy[y] + cx[x] * sy[y];  // sin(a + b)
      const double c = cx[x] * cy[y] - sx[x] * sy[y];  // cos(a + b)
      const double tex = 18 * tx[x] * ty[y];
      const double sky = 255.0 * y / kH;
      p[2] = clamp(120 + 90 * s + tex + 0.2 * sky + noise());              // red
      p[1] = clamp(110 + 70 * c - 0.3 * tex + 0.3 * sky + noise());        // green
      p[0] = clamp(100 + 60 * s * c + 50 * sx[x] + 0.4 * sky + noise());   // blue
    }
  }
  return img;
}

void ReduceTo8Bit(TPixelGraphic& source, TPixelGraphic& target) {
  BuildOptimizedPalette(target, source, 252, true);
  target.BeginDither();
  for (int y = 0; y < kH; ++y) {
    target.NextDitherRow();
    const uint8_t* row = source.ScanLine(y);
    if ((y & 1) == 0) {
      for (int x = 0; x < kW; ++x) target.DitherPixel(x, y, row[3 * x + 2], row[3 * x + 1], row[3 * x]);
    } else {
      for (int x = kW - 1; x >= 0; --x) target.DitherPixel(x, y, row[3 * x + 2], row[3 * x + 1], row[3 * x]);
    }
  }
  target.EndDither();
}

std::string gTempDir;  // created on first use, removed at exit

std::string TempDir() {
  if (gTempDir.empty()) {
    gTempDir = "/tmp/zwillo_bench_colorconv_" + std::to_string(getpid());
    if (std::system(("mkdir -p " + gTempDir).c_str()) != 0) std::fprintf(stderr, "cannot create %s\n", gTempDir.c_str());
  }
  return gTempDir;
}

struct TCleanup {
  ~TCleanup() {
    if (!gTempDir.empty() && std::system(("rm -rf " + gTempDir).c_str()) != 0)
      std::fprintf(stderr, "cannot remove %s\n", gTempDir.c_str());
  }
} cleanup;

std::string WritePPM(TPixelGraphic& img) {
  const std::string name = TempDir() + "/in.ppm";
  FILE* f = std::fopen(name.c_str(), "wb");
  if (!f) return {};
  std::fprintf(f, "P6\n%d %d\n255\n", img.Width(), img.Height());
  std::vector<uint8_t> row(3 * static_cast<size_t>(img.Width()));
  for (int y = 0; y < img.Height(); ++y) {
    const uint8_t* p = img.ScanLine(y);
    for (int x = 0; x < img.Width(); ++x) {
      row[3 * x] = p[3 * x + 2];
      row[3 * x + 1] = p[3 * x + 1];
      row[3 * x + 2] = p[3 * x];
    }
    std::fwrite(row.data(), 1, row.size(), f);
  }
  std::fclose(f);
  return name;
}

double gPeerSeconds = 0;

// ImageMagick (the real binary when present), timed around the process; its
// time includes reading the PPM and writing the BMP.
void BM_Peer_ConvertDitherColors256(benchmark::State& state) {
  const std::string in = WritePPM(Photo());
  const std::string convert = access("/usr/bin/convert", X_OK) == 0 ? "/usr/bin/convert" : "convert";
  const std::string cmd =
      convert + " " + in + " -dither FloydSteinberg -colors 256 " + TempDir() + "/out.bmp >/dev/null 2>&1";
  double total = 0;
  for (auto _ : state) {
    const auto t0 = std::chrono::steady_clock::now();
    const int rc = std::system(cmd.c_str());
    const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    if (rc != 0) {
      state.SkipWithError("convert failed");
      return;
    }
    state.SetIterationTime(s);
    total += s;
  }
  gPeerSeconds = total / static_cast<double>(state.iterations());
}

void BM_ReduceTo8BitOptimized252Dither(benchmark::State& state) {
  TPixelGraphic& src = Photo();
  TPixelGraphic target;
  target.SetSize(kW, kH, bc8Bit);
  double total = 0;
  for (auto _ : state) {
    const auto t0 = std::chrono::steady_clock::now();
    ReduceTo8Bit(src, target);
    total += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    benchmark::DoNotOptimize(target.Bits());
  }
  const double ours = total / static_cast<double>(state.iterations());
  if (gPeerSeconds > 0) state.counters["convert_time_ratio"] = gPeerSeconds / ours;  // > 1: faster than convert
  state.counters["Mpixel/s"] = benchmark::Counter(double(kW) * kH * 1e-6, benchmark::Counter::kIsIterationInvariantRate);
}

void BM_BuildOptimizedPalette252(benchmark::State& state) {
  TPixelGraphic& src = Photo();
  TPixelGraphic target;
  target.SetSize(1, 1, bc8Bit);
  for (auto _ : state) {
    BuildOptimizedPalette(target, src, 252, true);
    benchmark::DoNotOptimize(target.PaletteData());
  }
}

// ColorToIndex over the photograph's pixels for one kind of palette
// (pUnknown: the optimised palette through the colour cache).
void BM_ColorToIndex(benchmark::State& state) {
  TPixelGraphic& src = Photo();
  TPixelGraphic target;
  target.SetSize(1, 1, bc8Bit);
  const auto ident = static_cast<TPaletteIdent>(state.range(0));
  if (ident == pUnknown)
    BuildOptimizedPalette(target, src, 252, true);
  else
    target.SetPaletteIdent(ident);
  for (auto _ : state) {
    uint32_t sum = 0;
    for (int y = 0; y < kH; ++y) {
      const uint8_t* p = src.ScanLine(y);
      for (int x = 0; x < kW; ++x, p += 3) sum += target.ColorToIndex(RGBColor(p[2], p[1], p[0]));
    }
    benchmark::DoNotOptimize(sum);
  }
  state.SetLabel(ident == pUnknown ? "pUnknown (cache)" : "");
  state.counters["Mpixel/s"] = benchmark::Counter(double(kW) * kH * 1e-6, benchmark::Counter::kIsIterationInvariantRate);
}

} // namespace

BENCHMARK(BM_Peer_ConvertDitherColors256)->UseManualTime()->Iterations(2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReduceTo8BitOptimized252Dither)->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BuildOptimizedPalette252)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ColorToIndex)
    ->Arg(pUnknown)
    ->Arg(pSpecial252)
    ->Arg(pSpecial216)
    ->Arg(pSpecial125)
    ->Arg(pSys16)
    ->Arg(pGray256)
    ->Arg(pBlackWhite)
    ->Unit(benchmark::kMillisecond);
