// Targa reading and writing on a 6000 x 4000 image (24-bit true colour and
// 8-bit colour-mapped, uncompressed and run-length encoded), against
// ImageMagick's convert on the same files in the same run.
//
// Bytes processed = the image's pixel bytes (width x height x bytes per pixel).
// The peer runs as a process: its figures include start-up and file access,
// as ours include the file access.

#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "pgraphic/formats/tga.h"
#include "platform/stream.h"

namespace {

constexpr int W = 6000, H = 4000;

// A photograph-like test image: smooth areas with fine noise on part of them,
// so that run-length data mixes runs and literal packets.
uint8_t Noise(std::mt19937& rng) { return static_cast<uint8_t>(rng() % 3); }

void WriteRLE(const std::string& path, const TPixelGraphic& g, bool mapped) {
  const int bpp = mapped ? 1 : 3;
  std::vector<uint8_t> out;
  uint8_t h[18] = {};
  h[1] = mapped ? 1 : 0;
  h[2] = mapped ? 9 : 10;
  if (mapped) {
    h[5] = 0;
    h[6] = 1;
    h[7] = 24;
  }
  h[12] = W & 0xFF;
  h[13] = W >> 8;
  h[14] = H & 0xFF;
  h[15] = H >> 8;
  h[16] = mapped ? 8 : 24;
  out.insert(out.end(), h, h + 18);
  if (mapped)
    for (int i = 0; i < 256; ++i) {
      const TColorRef c = g.PaletteData()[i];
      out.insert(out.end(), {static_cast<uint8_t>(GetBValue(c)), static_cast<uint8_t>(GetGValue(c)),
                             static_cast<uint8_t>(GetRValue(c))});
    }
  for (int s = 0; s < H; ++s) {
    const uint8_t* row = g.ScanLine(H - 1 - s);
    int x = 0;
    while (x < W) {
      int run = 1;
      while (x + run < W && run < 128 && std::memcmp(row + (x + run) * bpp, row + x * bpp, static_cast<size_t>(bpp)) == 0)
        ++run;
      if (run > 1) {
        out.push_back(static_cast<uint8_t>(0x80 | (run - 1)));
        out.insert(out.end(), row + x * bpp, row + (x + 1) * bpp);
        x += run;
      } else {
        int raw = 1;
        while (x + raw < W && raw < 128 &&
               !(x + raw + 1 < W &&
                 std::memcmp(row + (x + raw) * bpp, row + (x + raw + 1) * bpp, static_cast<size_t>(bpp)) == 0))
          ++raw;
        out.push_back(static_cast<uint8_t>(raw - 1));
        out.insert(out.end(), row + x * bpp, row + (x + raw) * bpp);
        x += raw;
      }
    }
  }
  TFileStream f(path, fmCreate);
  f.WriteBuffer(out.data(), static_cast<int64_t>(out.size()));
}

struct Files {
  std::string dir;
  TPixelGraphic img24, img8;
  std::string raw24, rle24, raw8, rle8;
  Files() {
    dir = std::filesystem::temp_directory_path().string() + "/bench_tga_" + std::to_string(getpid());
    std::filesystem::create_directories(dir);
    std::mt19937 rng(1);
    img24.SetSize(W, H, bc24Bit);
    img8.SetSize(W, H, bc8Bit);
    img8.SetPaletteCount(256);
    for (int i = 0; i < 256; ++i) img8.SetPaletteColor(i, rng() & 0xFFFFFF);
    for (int y = 0; y < H; ++y) {
      uint8_t* p = img24.ScanLine(y);
      uint8_t* q = img8.ScanLine(y);
      for (int x = 0; x < W; ++x) {
        const bool noisy = ((x / 64) + (y / 64)) % 2 == 0;
        const uint8_t n = noisy ? Noise(rng) : 0;
        p[3 * x] = static_cast<uint8_t>(x / 24 + n);
        p[3 * x + 1] = static_cast<uint8_t>(y / 16 + n);
        p[3 * x + 2] = static_cast<uint8_t>((x + y) / 40);
        q[x] = static_cast<uint8_t>((x / 24 + y / 16) + n);
      }
    }
    raw24 = dir + "/raw24.tga";
    raw8 = dir + "/raw8.tga";
    rle24 = dir + "/rle24.tga";
    rle8 = dir + "/rle8.tga";
    {
      TFileStream f(raw24, fmCreate);
      TTGAFileFormatWriter().WriteGraphic(f, img24);
    }
    {
      TFileStream f(raw8, fmCreate);
      TTGAFileFormatWriter().WriteGraphic(f, img8);
    }
    WriteRLE(rle24, img24, false);
    WriteRLE(rle8, img8, true);
  }
  ~Files() { std::filesystem::remove_all(dir); }
};

Files& F() {
  static Files files;
  return files;
}

void Read(benchmark::State& state, const std::string& path, int bpp) {
  for (auto _ : state) {
    TFileStream s(path, fmOpenRead);
    TPixelGraphic g;
    TTGAFileFormatReader().ReadGraphic(s, g, 0);
    benchmark::DoNotOptimize(g.Bits());
  }
  state.SetBytesProcessed(state.iterations() * int64_t{W} * H * bpp);
}

void Write(benchmark::State& state, TPixelGraphic& g, int bpp) {
  const std::string out = F().dir + "/out.tga";
  for (auto _ : state) {
    TFileStream s(out, fmCreate);
    TTGAFileFormatWriter().WriteGraphic(s, g);
  }
  state.SetBytesProcessed(state.iterations() * int64_t{W} * H * bpp);
}

void Peer(benchmark::State& state, const std::string& command, int bpp) {
  const std::string cmd = command + " >/dev/null 2>&1";
  for (auto _ : state)
    if (std::system(cmd.c_str()) != 0) state.SkipWithError(("failed: " + command).c_str());
  state.SetBytesProcessed(state.iterations() * int64_t{W} * H * bpp);
}

void BM_TGA_Read24_Uncompressed(benchmark::State& s) { Read(s, F().raw24, 3); }
void BM_Convert_Read24_Uncompressed(benchmark::State& s) { Peer(s, "convert " + F().raw24 + " null:", 3); }
void BM_TGA_Read24_RLE(benchmark::State& s) { Read(s, F().rle24, 3); }
void BM_Convert_Read24_RLE(benchmark::State& s) { Peer(s, "convert " + F().rle24 + " null:", 3); }
void BM_TGA_Read8_ColorMapped(benchmark::State& s) { Read(s, F().raw8, 1); }
void BM_Convert_Read8_ColorMapped(benchmark::State& s) { Peer(s, "convert " + F().raw8 + " null:", 1); }
void BM_TGA_Read8_ColorMappedRLE(benchmark::State& s) { Read(s, F().rle8, 1); }
void BM_Convert_Read8_ColorMappedRLE(benchmark::State& s) { Peer(s, "convert " + F().rle8 + " null:", 1); }
void BM_TGA_Write24(benchmark::State& s) { Write(s, F().img24, 3); }
// The peer's write includes reading its source; the read figure above tells how much.
void BM_Convert_Write24(benchmark::State& s) {
  Peer(s, "convert " + F().raw24 + " -compress None " + F().dir + "/peer24.tga", 3);
}
void BM_TGA_Write8_ColorMapped(benchmark::State& s) { Write(s, F().img8, 1); }
void BM_Convert_Write8_ColorMapped(benchmark::State& s) {
  Peer(s, "convert " + F().raw8 + " -compress None " + F().dir + "/peer8.tga", 1);
}

BENCHMARK(BM_TGA_Read24_Uncompressed)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Convert_Read24_Uncompressed)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_TGA_Read24_RLE)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Convert_Read24_RLE)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_TGA_Read8_ColorMapped)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Convert_Read8_ColorMapped)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_TGA_Read8_ColorMappedRLE)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Convert_Read8_ColorMappedRLE)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_TGA_Write24)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Convert_Write24)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_TGA_Write8_ColorMapped)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Convert_Write8_ColorMapped)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

}  // namespace
