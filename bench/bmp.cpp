// BMP reading and writing through memory streams.
//   bench_bmp --benchmark_counters_tabular=true
// Bytes per second are those of the file (raw) or of the decoded pixels (RLE8).

#include <benchmark/benchmark.h>

#include <cstring>
#include <random>

#include "pgraphic/core/pixelgraphic.h"
#include "pgraphic/formats/registry.h"
#include "platform/stream.h"

namespace {

constexpr int kW = 6000, kH = 4000;

void FillPhotoLike(TPixelGraphic& g) {
  g.SetSize(kW, kH, bc24Bit);
  std::mt19937 rng(1);
  for (int y = 0; y < kH; ++y) {
    uint8_t* row = g.ScanLine(y);
    for (int x = 0; x < 3 * kW; ++x) row[x] = static_cast<uint8_t>((x * 7 + y * 3) ^ (rng() & 15));
  }
}

// The floor: the same bytes copied once into freshly allocated memory, as
// loading does (the image's pixel memory is new on every load).
void BM_CopyBaseline(benchmark::State& state) {
  TPixelGraphic src;
  FillPhotoLike(src);
  for (auto _ : state) {
    TPixelGraphic g;
    g.SetSize(kW, kH, bc24Bit);
    std::memcpy(g.Bits(), src.Bits(), static_cast<size_t>(src.ByteSize()));
    benchmark::DoNotOptimize(g.Bits());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * src.ByteSize());
}
BENCHMARK(BM_CopyBaseline)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ReadBMP24(benchmark::State& state) {
  TPixelGraphic src;
  FillPhotoLike(src);
  TMemoryStream file;
  src.SaveToStream(file);
  TPixelGraphic g;
  for (auto _ : state) {
    TReadOnlyMemoryStream s(file.Memory(), file.Size());
    g.LoadFromStream(s);
    benchmark::DoNotOptimize(g.Bits());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * file.Size());
}
BENCHMARK(BM_ReadBMP24)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_WriteBMP24(benchmark::State& state) {
  TPixelGraphic src;
  FillPhotoLike(src);
  TMemoryStream file;
  src.SaveToStream(file);  // the stream's memory is there from now on
  for (auto _ : state) {
    file.SetPosition(0);
    src.SaveStreamAs(file, "bmp");
    benchmark::DoNotOptimize(file.Memory());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * file.Size());
}
BENCHMARK(BM_WriteBMP24)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_WriteBMP24FreshStream(benchmark::State& state) {
  TPixelGraphic src;
  FillPhotoLike(src);
  int64_t size = 0;
  for (auto _ : state) {
    TMemoryStream file;
    src.SaveToStream(file);
    size = file.Size();
    benchmark::DoNotOptimize(file.Memory());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * size);
}
BENCHMARK(BM_WriteBMP24FreshStream)->Unit(benchmark::kMillisecond)->UseRealTime();

// An 8-bit RLE file of typical runs: short and long encoded runs and absolute
// runs, one end-of-line per row.
std::vector<uint8_t> MakeRLE8File(int w, int h) {
  std::vector<uint8_t> data;
  std::mt19937 rng(2);
  for (int y = 0; y < h; ++y) {
    int x = 0;
    while (x < w) {
      const int kind = static_cast<int>(rng() % 4);
      if (kind < 3) {
        const int n = std::min(w - x, 2 + static_cast<int>(rng() % (kind == 0 ? 200 : 30)));
        data.push_back(static_cast<uint8_t>(n));
        data.push_back(static_cast<uint8_t>(rng()));
        x += n;
      } else {
        const int n = std::min(w - x, 3 + static_cast<int>(rng() % 20));
        if (n < 3) {
          data.push_back(static_cast<uint8_t>(n));
          data.push_back(0);
          x += n;
          continue;
        }
        data.push_back(0);
        data.push_back(static_cast<uint8_t>(n));
        for (int i = 0; i < n; ++i) data.push_back(static_cast<uint8_t>(rng()));
        if (n & 1) data.push_back(0);
        x += n;
      }
    }
    data.push_back(0);
    data.push_back(0);
  }
  data.push_back(0);
  data.push_back(1);
  std::vector<uint8_t> file(54 + 1024, 0);
  auto put32 = [&](size_t o, uint32_t v) {
    for (int i = 0; i < 4; ++i) file[o + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (8 * i));
  };
  file[0] = 'B';
  file[1] = 'M';
  put32(14, 40);
  put32(18, static_cast<uint32_t>(w));
  put32(22, static_cast<uint32_t>(h));
  file[26] = 1;
  file[28] = 8;
  put32(30, 1);
  put32(34, static_cast<uint32_t>(data.size()));
  for (int i = 0; i < 256; ++i) file[54 + 4 * static_cast<size_t>(i)] = static_cast<uint8_t>(i);
  file.insert(file.end(), data.begin(), data.end());
  return file;
}

void BM_ReadRLE8(benchmark::State& state) {
  const std::vector<uint8_t> file = MakeRLE8File(kW, kH);
  TPixelGraphic g;
  for (auto _ : state) {
    TReadOnlyMemoryStream s(file.data(), static_cast<int64_t>(file.size()));
    g.LoadFromStream(s);
    benchmark::DoNotOptimize(g.Bits());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * g.ByteSize());
  state.counters["compressed_MB"] = static_cast<double>(file.size()) / 1e6;
}
BENCHMARK(BM_ReadRLE8)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
