// Pixel access and whole-image copy on a 6000 x 4000 photograph-sized image.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "pgraphic/core/pixelgraphic.h"

namespace {

constexpr int kW = 6000, kH = 4000;

TPixelGraphic& Image(uint8_t bitCount) {
  static TPixelGraphic images[4];
  TPixelGraphic& img = images[bitCount];
  if (img.Empty()) {
    img.SetSize(kW, kH, bitCount);
    if (bitCount == bc1Bit) img.SetPaletteIdent(pBlackWhite);
    if (bitCount == bc4Bit) img.SetPaletteIdent(pGray16);
    if (bitCount == bc8Bit) img.SetPaletteIdent(pGray256);
    uint32_t v = 1;
    for (int i = 0; i < img.ByteSize(); ++i) img.Bits()[i] = static_cast<uint8_t>(v = v * 1103515245u + 12345u);
  }
  return img;
}

void BM_PixelsRead(benchmark::State& state) {
  TPixelGraphic& img = Image(static_cast<uint8_t>(state.range(0)));
  for (auto _ : state) {
    uint32_t sum = 0;
    for (int y = 0; y < kH; ++y)
      for (int x = 0; x < kW; ++x) sum += img.Pixels(x, y);
    benchmark::DoNotOptimize(sum);
  }
  state.counters["Mpixel/s"] = benchmark::Counter(double(kW) * kH * 1e-6, benchmark::Counter::kIsIterationInvariantRate);
}

void BM_PixelsWrite(benchmark::State& state) {
  TPixelGraphic& img = Image(static_cast<uint8_t>(state.range(0)));
  for (auto _ : state) {
    for (int y = 0; y < kH; ++y)
      for (int x = 0; x < kW; ++x) img.SetPixels(x, y, static_cast<uint32_t>(x ^ y));
    benchmark::ClobberMemory();
  }
  state.counters["Mpixel/s"] = benchmark::Counter(double(kW) * kH * 1e-6, benchmark::Counter::kIsIterationInvariantRate);
}

void BM_PixelColorsRead(benchmark::State& state) {
  TPixelGraphic& img = Image(static_cast<uint8_t>(state.range(0)));
  for (auto _ : state) {
    uint32_t sum = 0;
    for (int y = 0; y < kH; ++y)
      for (int x = 0; x < kW; ++x) sum += img.PixelColors(x, y);
    benchmark::DoNotOptimize(sum);
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * img.ByteSize());
  state.counters["Mpixel/s"] = benchmark::Counter(double(kW) * kH * 1e-6, benchmark::Counter::kIsIterationInvariantRate);
}

void BM_PixelColorsWrite(benchmark::State& state) {
  TPixelGraphic& img = Image(static_cast<uint8_t>(state.range(0)));
  for (auto _ : state) {
    for (int y = 0; y < kH; ++y)
      for (int x = 0; x < kW; ++x) img.SetPixelColors(x, y, RGBColor(x, y, x + y));
    benchmark::ClobberMemory();
  }
  state.counters["Mpixel/s"] = benchmark::Counter(double(kW) * kH * 1e-6, benchmark::Counter::kIsIterationInvariantRate);
}

// The yardstick for the read pass: memcpy of the same bytes.
void BM_MemcpyImageBytes(benchmark::State& state) {
  TPixelGraphic& img = Image(bc24Bit);
  std::vector<uint8_t> dst(static_cast<size_t>(img.ByteSize()));
  std::memset(dst.data(), 1, dst.size());
  for (auto _ : state) {
    std::memcpy(dst.data(), img.Bits(), dst.size());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * img.ByteSize());
}

void BM_Assign24(benchmark::State& state) {
  TPixelGraphic& src = Image(bc24Bit);
  TPixelGraphic dst;
  dst.Assign(&src);
  for (auto _ : state) {
    dst.Assign(&src);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * src.ByteSize());
}

void BM_Assign24FreshTarget(benchmark::State& state) {
  TPixelGraphic& src = Image(bc24Bit);
  for (auto _ : state) {
    TPixelGraphic dst;
    dst.Assign(&src);
    benchmark::DoNotOptimize(dst.Bits());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * src.ByteSize());
}

} // namespace

BENCHMARK(BM_PixelsRead)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PixelsWrite)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PixelColorsRead)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PixelColorsWrite)->Arg(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MemcpyImageBytes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Assign24)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Assign24FreshTarget)->Unit(benchmark::kMillisecond);
