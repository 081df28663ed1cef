// TIFF reader and writer on a 6000 x 4000 24-bit image, uncompressed and
// PackBits, each next to ImageMagick's convert reading or writing the same file
// in the same run. BM_Ratios reports convert's time divided by ours (above 1:
// we are faster). convert's write time is taken net of reading its raw input.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

#include "pgraphic/core/pixelgraphic.h"
#include "pgraphic/formats/settings.h"
#include "pgraphic/formats/tiff.h"
#include "platform/stream.h"

namespace fs = std::filesystem;

namespace {

constexpr int W = 6000, H = 4000;
constexpr int64_t ImageBytes = int64_t{W} * H * 3;

// Seconds per operation of each benchmark, for the ratios.
std::map<std::string, double>& Times() {
  static std::map<std::string, double> t;
  return t;
}

fs::path WorkDir() {
  static const fs::path dir = [] {
    fs::path d = fs::temp_directory_path() / ("zwillo_bench_tiff_" + std::to_string(::getpid()));
    fs::create_directories(d);
    return d;
  }();
  return dir;
}

std::string Convert() {
  static const std::string c = fs::exists("/usr/bin/convert") ? "/usr/bin/convert" : "convert";
  return c;
}

// A photograph-like picture: smooth shading, fine noise and flat areas, so
// PackBits meets both literal stretches and runs.
TPixelGraphic& Picture() {
  static TPixelGraphic* g = [] {
    auto* p = new TPixelGraphic;
    p->SetSize(W, H, bc24Bit);
    std::mt19937 rng(7);
    for (int y = 0; y < H; ++y) {
      uint8_t* row = p->ScanLine(y);
      const bool flat = (y / 250) % 4 == 3;
      for (int x = 0; x < W; ++x) {
        const int n = flat ? 0 : static_cast<int>(rng() % 7) - 3;
        const bool sky = flat && x < W / 2;
        row[3 * x] = static_cast<uint8_t>(sky ? 200 : std::clamp((x / 25 + y / 40) % 256 + n, 0, 255));
        row[3 * x + 1] = static_cast<uint8_t>(sky ? 150 : std::clamp((x / 31 + 2 * y / 50) % 256 + n, 0, 255));
        row[3 * x + 2] = static_cast<uint8_t>(sky ? 90 : std::clamp((x * y / 50000) % 256 + n, 0, 255));
      }
    }
    return p;
  }();
  return *g;
}

fs::path FileFor(int compression) {
  const fs::path f = WorkDir() / (compression == 1 ? "plain.tif" : "packbits.tif");
  if (!fs::exists(f)) {
    PGResetFormatSettings();
    PGTIFFCompression = compression;
    TFileStream s(f.string(), fmCreate);
    TTIFFileFormatWriter().WriteGraphic(s, Picture());
    PGResetFormatSettings();
  }
  return f;
}

fs::path RawFile() {
  const fs::path f = WorkDir() / "picture.rgb";
  if (!fs::exists(f)) {
    TFileStream s(f.string(), fmCreate);
    std::vector<uint8_t> row(static_cast<size_t>(W) * 3);
    for (int y = 0; y < H; ++y) {
      const uint8_t* src = Picture().ScanLine(y);
      for (int x = 0; x < W; ++x) {
        row[3 * x] = src[3 * x + 2];
        row[3 * x + 1] = src[3 * x + 1];
        row[3 * x + 2] = src[3 * x];
      }
      s.WriteBuffer(row.data(), static_cast<int64_t>(row.size()));
    }
  }
  return f;
}

template <typename F>
void Timed(benchmark::State& state, const std::string& name, F&& f) {
  double total = 0;
  for (auto _ : state) {
    const auto t0 = std::chrono::steady_clock::now();
    f();
    const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    state.SetIterationTime(s);
    total += s;
  }
  state.SetBytesProcessed(state.iterations() * ImageBytes);
  Times()[name] = total / static_cast<double>(state.iterations());
}

void Run(benchmark::State& state, const std::string& command) {
  if (std::system(command.c_str()) != 0) state.SkipWithError(("failed: " + command).c_str());
}

void BM_Read(benchmark::State& state) {
  const int comp = static_cast<int>(state.range(0));
  const fs::path f = FileFor(comp);
  Timed(state, "read" + std::to_string(comp), [&] {
    TFileStream s(f.string(), fmOpenRead);
    TPixelGraphic g;
    TTIFFileFormatReader().ReadGraphic(s, g, 0);
    benchmark::DoNotOptimize(g.Bits());
  });
}

void BM_Write(benchmark::State& state) {
  const int comp = static_cast<int>(state.range(0));
  const fs::path f = WorkDir() / "out.tif";
  TPixelGraphic& g = Picture();
  Timed(state, "write" + std::to_string(comp), [&] {
    PGTIFFCompression = comp;
    TFileStream s(f.string(), fmCreate);
    TTIFFileFormatWriter().WriteGraphic(s, g);
    PGTIFFCompression = 1;
  });
}

void BM_ConvertRead(benchmark::State& state) {
  const int comp = static_cast<int>(state.range(0));
  const std::string cmd = Convert() + " '" + FileFor(comp).string() + "' null: 2>/dev/null";
  Timed(state, "convert_read" + std::to_string(comp), [&] { Run(state, cmd); });
}

void BM_ConvertRawRead(benchmark::State& state) {
  const std::string cmd =
      Convert() + " -size " + std::to_string(W) + "x" + std::to_string(H) + " -depth 8 'rgb:" + RawFile().string() +
      "' null: 2>/dev/null";
  Timed(state, "convert_raw", [&] { Run(state, cmd); });
}

void BM_ConvertWrite(benchmark::State& state) {
  const int comp = static_cast<int>(state.range(0));
  const std::string cmd = Convert() + " -size " + std::to_string(W) + "x" + std::to_string(H) + " -depth 8 'rgb:" +
                          RawFile().string() + "' -compress " + (comp == 1 ? "None" : "RLE") + " '" +
                          (WorkDir() / "im_out.tif").string() + "' 2>/dev/null";
  Timed(state, "convert_write" + std::to_string(comp), [&] { Run(state, cmd); });
}

void BM_Ratios(benchmark::State& state) {
  for (auto _ : state) {
  }
  auto& t = Times();
  for (int comp : {1, 32773}) {
    const std::string c = std::to_string(comp);
    const std::string tag = comp == 1 ? "uncompr" : "packbits";
    if (t.count("read" + c) && t.count("convert_read" + c))
      state.counters["read_" + tag + "_vs_convert"] = t["convert_read" + c] / t["read" + c];
    if (t.count("write" + c) && t.count("convert_write" + c) && t.count("convert_raw")) {
      state.counters["write_" + tag + "_vs_convert_net"] =
          (t["convert_write" + c] - t["convert_raw"]) / t["write" + c];
      state.counters["write_" + tag + "_vs_convert_gross"] = t["convert_write" + c] / t["write" + c];
    }
    if (t.count("read" + c)) state.counters["read_" + tag + "_MBps"] = ImageBytes / 1e6 / t["read" + c];
    if (t.count("write" + c)) state.counters["write_" + tag + "_MBps"] = ImageBytes / 1e6 / t["write" + c];
  }
  fs::remove_all(WorkDir());
}

} // namespace

BENCHMARK(BM_Read)->Arg(1)->Arg(32773)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_Write)->Arg(1)->Arg(32773)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_ConvertRead)->Arg(1)->Arg(32773)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ConvertRawRead)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ConvertWrite)->Arg(1)->Arg(32773)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_Ratios)->Iterations(1);
