// JPEG reading and writing of a 24-megapixel photograph-like image, each timed
// against Debian's libjpeg-turbo tools on the same data in the same run:
//   read  (quality 90 file, through the registry) vs djpeg -outfile /dev/null
//   write (quality 80, float DCT, through the registry) vs cjpeg -quality 80 -dct float from a PPM
// Every iteration runs both; the counters report both times and their ratio.

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/resource.h>
#include <unistd.h>

#include "pgraphic/core/pixelgraphic.h"
#include "pgraphic/formats/settings.h"
#include "platform/stream.h"

namespace {

constexpr int kWidth = 6000, kHeight = 4000;

// Smooth gradients with a fine texture and a little noise, like a photograph.
void MakePhoto(TPixelGraphic& g) {
  g.SetSize(kWidth, kHeight, bc24Bit);
  uint32_t seed = 1;
  for (int y = 0; y < kHeight; ++y) {
    uint8_t* row = g.ScanLine(y);
    for (int x = 0; x < kWidth; ++x) {
      seed = seed * 1664525u + 1013904223u;
      const int noise = static_cast<int>((seed >> 24) & 15) - 8;
      const int texture = ((x * 7 + y * 3) % 23) - 11 + (((x / 9) ^ (y / 7)) & 7);
      int r = 60 + x * 150 / kWidth + texture + noise;
      int gr = 40 + y * 170 / kHeight + (texture >> 1) + noise;
      int b = 200 - (x + y) * 150 / (kWidth + kHeight) - texture + (noise >> 1);
      row[3 * x + 0] = static_cast<uint8_t>(b < 0 ? 0 : b > 255 ? 255 : b);
      row[3 * x + 1] = static_cast<uint8_t>(gr < 0 ? 0 : gr > 255 ? 255 : gr);
      row[3 * x + 2] = static_cast<uint8_t>(r < 0 ? 0 : r > 255 ? 255 : r);
    }
  }
}

struct TFiles {
  std::string dir, jpeg90, ppm, out;
  TPixelGraphic photo;
  TFiles() {
    char tmpl[] = "/tmp/zwillo_bench_jpeg_XXXXXX";
    dir = ::mkdtemp(tmpl);
    jpeg90 = dir + "/photo_q90.jpg";
    ppm = dir + "/photo.ppm";
    out = dir + "/out.jpg";
    MakePhoto(photo);
    PGJPEGQuality = 90;
    photo.SaveToFile(jpeg90);
    PGJPEGQuality = 80;
    // The same pixels as a binary PPM for cjpeg.
    TFileStream f(ppm, fmCreate);
    const std::string header = "P6\n" + std::to_string(kWidth) + " " + std::to_string(kHeight) + "\n255\n";
    f.WriteBuffer(header.data(), static_cast<int64_t>(header.size()));
    std::string row(3 * static_cast<size_t>(kWidth), '\0');
    for (int y = 0; y < kHeight; ++y) {
      const uint8_t* s = photo.ScanLine(y);
      for (int x = 0; x < kWidth; ++x) {
        row[3 * x + 0] = static_cast<char>(s[3 * x + 2]);
        row[3 * x + 1] = static_cast<char>(s[3 * x + 1]);
        row[3 * x + 2] = static_cast<char>(s[3 * x + 0]);
      }
      f.WriteBuffer(row.data(), static_cast<int64_t>(row.size()));
    }
  }
  ~TFiles() { std::system(("rm -rf '" + dir + "'").c_str()); }
};

TFiles& Files() {
  static TFiles files;
  return files;
}

double Seconds(std::chrono::steady_clock::time_point a, std::chrono::steady_clock::time_point b) {
  return std::chrono::duration<double>(b - a).count();
}

// CPU time (user + system) of this process, and of its finished children.
double CpuSeconds(int who) {
  rusage u{};
  ::getrusage(who, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

struct TTimes {
  double wall = 0, cpu = 0;
};

// Runs a peer tool; its wall time and the CPU time it used.
TTimes RunTool(const std::string& command) {
  const double c0 = CpuSeconds(RUSAGE_CHILDREN);
  const auto t0 = std::chrono::steady_clock::now();
  if (std::system(command.c_str()) != 0) std::fprintf(stderr, "failed: %s\n", command.c_str());
  return {Seconds(t0, std::chrono::steady_clock::now()), CpuSeconds(RUSAGE_CHILDREN) - c0};
}

// Wall times are what a user waits; CPU times are steadier on a busy machine.
void Report(benchmark::State& state, const TTimes& ours, const TTimes& peer, int n) {
  state.counters["ours_ms"] = 1000 * ours.wall / n;
  state.counters["peer_ms"] = 1000 * peer.wall / n;
  state.counters["ratio"] = ours.wall / peer.wall;
  state.counters["ours_cpu_ms"] = 1000 * ours.cpu / n;
  state.counters["peer_cpu_ms"] = 1000 * peer.cpu / n;
  state.counters["cpu_ratio"] = ours.cpu / peer.cpu;
}

// Times one of our own operations.
template <class F>
TTimes TimeOurs(F&& fn) {
  const double c0 = CpuSeconds(RUSAGE_SELF);
  const auto t0 = std::chrono::steady_clock::now();
  fn();
  return {Seconds(t0, std::chrono::steady_clock::now()), CpuSeconds(RUSAGE_SELF) - c0};
}

void BM_JPEGReadVsDjpeg(benchmark::State& state) {
  TFiles& files = Files();
  TTimes ours, peer;
  int n = 0;
  for (auto _ : state) {
    TPixelGraphic g;  // a fresh image, as a view loading a new photograph
    const TTimes t = TimeOurs([&] { g.LoadFromFile(files.jpeg90); });
    state.SetIterationTime(t.wall);
    ours.wall += t.wall;
    ours.cpu += t.cpu;
    const TTimes p = RunTool("djpeg -outfile /dev/null '" + files.jpeg90 + "'");
    peer.wall += p.wall;
    peer.cpu += p.cpu;
    ++n;
  }
  Report(state, ours, peer, n);
}
BENCHMARK(BM_JPEGReadVsDjpeg)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(15);

void BM_JPEGWriteVsCjpeg(benchmark::State& state) {
  TFiles& files = Files();
  PGJPEGQuality = 80;
  PGJPEGWriteDCTMethod = 2;
  TTimes ours, peer;
  int n = 0;
  for (auto _ : state) {
    const TTimes t = TimeOurs([&] { files.photo.SaveToFile(files.out); });
    state.SetIterationTime(t.wall);
    ours.wall += t.wall;
    ours.cpu += t.cpu;
    const TTimes p = RunTool("cjpeg -quality 80 -dct float -outfile '" + files.out + ".peer' '" + files.ppm + "'");
    peer.wall += p.wall;
    peer.cpu += p.cpu;
    ++n;
  }
  Report(state, ours, peer, n);
}
BENCHMARK(BM_JPEGWriteVsCjpeg)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(15);

} // namespace
