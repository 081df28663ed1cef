// PBM/PGM/PPM reading and writing on a 6000 x 4000 24-bit image (binary P6 and
// ASCII P3) and its 8-bit grey version (P5), against ImageMagick's convert on
// the same files in the same run.
//
// Bytes processed = the file's size (for ASCII files the text, which is what
// the parser walks through). The peer runs as a process: its figures include
// start-up and file access, as ours include the file access.

#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <random>
#include <string>

#include "pgraphic/formats/pnm.h"
#include "pgraphic/formats/settings.h"
#include "platform/stream.h"

namespace {

constexpr int W = 6000, H = 4000;

struct Files {
  std::string dir;
  TPixelGraphic img24, img8;
  std::string p6, p3, p5;
  Files() {
    dir = std::filesystem::temp_directory_path().string() + "/bench_pnm_" + std::to_string(getpid());
    std::filesystem::create_directories(dir);
    std::mt19937 rng(1);
    img24.SetSize(W, H, bc24Bit);
    img8.SetSize(W, H, bc8Bit);
    img8.SetPaletteIdent(pGray256);
    for (int y = 0; y < H; ++y) {
      uint8_t* p = img24.ScanLine(y);
      uint8_t* q = img8.ScanLine(y);
      for (int x = 0; x < W; ++x) {
        const uint8_t n = static_cast<uint8_t>(rng() % 8);
        p[3 * x] = static_cast<uint8_t>(x / 24 + n);
        p[3 * x + 1] = static_cast<uint8_t>(y / 16 + n);
        p[3 * x + 2] = static_cast<uint8_t>((x + y) / 40);
        q[x] = static_cast<uint8_t>(x / 24 + y / 16 + n);
      }
    }
    p6 = dir + "/img.ppm";
    p3 = dir + "/plain.ppm";
    p5 = dir + "/img.pgm";
    Save(p6, TPPMFileFormatWriter(), img24, true);
    Save(p3, TPPMFileFormatWriter(), img24, false);
    Save(p5, TPGMFileFormatWriter(), img8, true);
  }
  static void Save(const std::string& path, TFileFormatWriter&& w, TPixelGraphic& g, bool binary) {
    PGPxMWriteBinary = binary;
    TFileStream f(path, fmCreate);
    w.WriteGraphic(f, g);
    PGPxMWriteBinary = false;
  }
  ~Files() { std::filesystem::remove_all(dir); }
};

Files& F() {
  static Files files;
  return files;
}

int64_t FileSize(const std::string& path) { return static_cast<int64_t>(std::filesystem::file_size(path)); }

void Read(benchmark::State& state, const std::string& path) {
  for (auto _ : state) {
    TFileStream s(path, fmOpenRead);
    TPixelGraphic g;
    TPPMFileFormatReader().ReadGraphic(s, g, 0);
    benchmark::DoNotOptimize(g.Bits());
  }
  state.SetBytesProcessed(state.iterations() * FileSize(path));
}

void Write(benchmark::State& state, TFileFormatWriter&& w, TPixelGraphic& g, bool binary, const std::string& like) {
  const std::string out = F().dir + "/out.pnm";
  for (auto _ : state) {
    PGPxMWriteBinary = binary;
    TFileStream s(out, fmCreate);
    w.WriteGraphic(s, g);
    PGPxMWriteBinary = false;
  }
  state.SetBytesProcessed(state.iterations() * FileSize(like));
}

void Peer(benchmark::State& state, const std::string& command, const std::string& like) {
  const std::string cmd = command + " >/dev/null 2>&1";
  for (auto _ : state)
    if (std::system(cmd.c_str()) != 0) state.SkipWithError(("failed: " + command).c_str());
  state.SetBytesProcessed(state.iterations() * FileSize(like));
}

void BM_PxM_ReadP6(benchmark::State& s) { Read(s, F().p6); }
void BM_Convert_ReadP6(benchmark::State& s) { Peer(s, "convert " + F().p6 + " null:", F().p6); }
void BM_PxM_ReadP5(benchmark::State& s) { Read(s, F().p5); }
void BM_Convert_ReadP5(benchmark::State& s) { Peer(s, "convert " + F().p5 + " null:", F().p5); }
void BM_PxM_ReadP3_ASCII(benchmark::State& s) { Read(s, F().p3); }
void BM_Convert_ReadP3_ASCII(benchmark::State& s) { Peer(s, "convert " + F().p3 + " null:", F().p3); }
void BM_PxM_WriteP6(benchmark::State& s) { Write(s, TPPMFileFormatWriter(), F().img24, true, F().p6); }
// The peer's writes include reading its binary source; the read figure above tells how much.
void BM_Convert_WriteP6(benchmark::State& s) { Peer(s, "convert " + F().p6 + " " + F().dir + "/peer.ppm", F().p6); }
void BM_PxM_WriteP3_ASCII(benchmark::State& s) { Write(s, TPPMFileFormatWriter(), F().img24, false, F().p3); }
void BM_Convert_WriteP3_ASCII(benchmark::State& s) {
  Peer(s, "convert " + F().p6 + " -compress none " + F().dir + "/peerplain.ppm", F().p3);
}

BENCHMARK(BM_PxM_ReadP6)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Convert_ReadP6)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_PxM_ReadP5)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Convert_ReadP5)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_PxM_ReadP3_ASCII)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Convert_ReadP3_ASCII)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_PxM_WriteP6)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Convert_WriteP6)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_PxM_WriteP3_ASCII)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Convert_WriteP3_ASCII)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

}  // namespace
