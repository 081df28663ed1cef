// PCX reading on a 6000 x 4000 image (8-bit with its 256-colour palette, and
// 24-bit in three planes), against ImageMagick's convert reading the same files
// in the same run. There is no PCX writer.
//
// Bytes processed = the image's pixel bytes. The peer runs as a process: its
// figures include start-up and file access, as ours include the file access.

#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "pgraphic/formats/pcx.h"
#include "platform/stream.h"

namespace {

constexpr int W = 6000, H = 4000;

// Encodes scan lines of planes x W bytes (W is even, so no padding) the way
// PCX writers do: runs of up to 63, single bytes below 0xC0 as themselves.
void EncodeLine(std::vector<uint8_t>& out, const uint8_t* line, size_t n) {
  size_t i = 0;
  while (i < n) {
    size_t run = 1;
    while (i + run < n && run < 63 && line[i + run] == line[i]) ++run;
    if (run > 1 || line[i] >= 0xC0) {
      out.push_back(static_cast<uint8_t>(0xC0 | run));
      out.push_back(line[i]);
    } else {
      out.push_back(line[i]);
    }
    i += run;
  }
}

std::vector<uint8_t> Header(int bits, int planes) {
  std::vector<uint8_t> h(128, 0);
  h[0] = 0x0A;
  h[1] = 5;
  h[2] = 1;
  h[3] = static_cast<uint8_t>(bits);
  h[8] = (W - 1) & 0xFF;
  h[9] = (W - 1) >> 8;
  h[10] = (H - 1) & 0xFF;
  h[11] = (H - 1) >> 8;
  h[65] = static_cast<uint8_t>(planes);
  h[66] = W & 0xFF;
  h[67] = W >> 8;
  h[68] = 1;
  return h;
}

struct Files {
  std::string dir, pcx8, pcx24;
  Files() {
    dir = std::filesystem::temp_directory_path().string() + "/bench_pcx_" + std::to_string(getpid());
    std::filesystem::create_directories(dir);
    std::mt19937 rng(1);
    std::vector<uint8_t> f8 = Header(8, 1), f24 = Header(8, 3);
    std::vector<uint8_t> line8(W), line24(3 * W);
    for (int y = 0; y < H; ++y) {
      for (int x = 0; x < W; ++x) {
        const bool noisy = ((x / 64) + (y / 64)) % 2 == 0;
        const uint8_t n = noisy ? static_cast<uint8_t>(rng() % 3) : 0;
        line8[static_cast<size_t>(x)] = static_cast<uint8_t>(x / 24 + y / 16 + n);
        line24[static_cast<size_t>(x)] = static_cast<uint8_t>((x + y) / 40);
        line24[static_cast<size_t>(W + x)] = static_cast<uint8_t>(y / 16 + n);
        line24[static_cast<size_t>(2 * W + x)] = static_cast<uint8_t>(x / 24 + n);
      }
      EncodeLine(f8, line8.data(), line8.size());
      EncodeLine(f24, line24.data(), line24.size());
    }
    f8.push_back(0x0C);
    for (int i = 0; i < 768; ++i) f8.push_back(static_cast<uint8_t>(rng()));
    pcx8 = dir + "/img8.pcx";
    pcx24 = dir + "/img24.pcx";
    TFileStream(pcx8, fmCreate).WriteBuffer(f8.data(), static_cast<int64_t>(f8.size()));
    TFileStream(pcx24, fmCreate).WriteBuffer(f24.data(), static_cast<int64_t>(f24.size()));
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
    TPCXFileFormatReader().ReadGraphic(s, g, 0);
    benchmark::DoNotOptimize(g.Bits());
  }
  state.SetBytesProcessed(state.iterations() * int64_t{W} * H * bpp);
}

void Peer(benchmark::State& state, const std::string& command, int bpp) {
  const std::string cmd = command + " >/dev/null 2>&1";
  for (auto _ : state)
    if (std::system(cmd.c_str()) != 0) state.SkipWithError(("failed: " + command).c_str());
  state.SetBytesProcessed(state.iterations() * int64_t{W} * H * bpp);
}

void BM_PCX_Read8(benchmark::State& s) { Read(s, F().pcx8, 1); }
void BM_Convert_Read8(benchmark::State& s) { Peer(s, "convert " + F().pcx8 + " null:", 1); }
void BM_PCX_Read24(benchmark::State& s) { Read(s, F().pcx24, 3); }
void BM_Convert_Read24(benchmark::State& s) { Peer(s, "convert " + F().pcx24 + " null:", 3); }

BENCHMARK(BM_PCX_Read8)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Convert_Read8)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_PCX_Read24)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Convert_Read24)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

}  // namespace
