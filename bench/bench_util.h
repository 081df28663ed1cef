#pragma once

// Helpers shared by the benchmarks: photograph-like test images, PPM copies
// for the peer tools, and timing of our work against a peer command (wall and
// CPU time, the peer's as a child process).

#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "pgraphic/core/pixelgraphic.h"
#include "platform/stream.h"

namespace benchutil {

// Wall-clock timing of the Qt benchmarks, which time single steps by hand.
using Clock = std::chrono::steady_clock;
inline double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }
inline double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

// ------------------------------------------------------------ test images

// Smooth gradients with a fine texture and a little noise, like a photograph.
inline void MakeTexturedPhoto(TPixelGraphic& g, int width, int height) {
  g.SetSize(width, height, bc24Bit);
  uint32_t seed = 1;
  for (int y = 0; y < height; ++y) {
    uint8_t* row = g.ScanLine(y);
    for (int x = 0; x < width; ++x) {
      seed = seed * 1664525u + 1013904223u;
      const int noise = static_cast<int>((seed >> 24) & 15) - 8;
      const int texture = ((x * 7 + y * 3) % 23) - 11 + (((x / 9) ^ (y / 7)) & 7);
      int r = 60 + x * 150 / width + texture + noise;
      int gr = 40 + y * 170 / height + (texture >> 1) + noise;
      int b = 200 - (x + y) * 150 / (width + height) - texture + (noise >> 1);
      row[3 * x + 0] = static_cast<uint8_t>(b < 0 ? 0 : b > 255 ? 255 : b);
      row[3 * x + 1] = static_cast<uint8_t>(gr < 0 ? 0 : gr > 255 ? 255 : gr);
      row[3 * x + 2] = static_cast<uint8_t>(r < 0 ? 0 : r > 255 ? 255 : r);
    }
  }
}

// Gradients, a few soft waves and fine noise: smooth areas and texture, like
// a photograph, so no path can profit from flat colour. Fills a 24-bit image.
inline void FillWavyPhoto(TPixelGraphic& img) {
  uint32_t seed = 12345;
  for (int y = 0; y < img.Height(); ++y) {
    uint8_t* row = img.ScanLine(y);
    for (int x = 0; x < img.Width(); ++x) {
      seed = seed * 1664525u + 1013904223u;
      const int noise = static_cast<int>((seed >> 24) & 31) - 16;
      const double fx = static_cast<double>(x) / img.Width(), fy = static_cast<double>(y) / img.Height();
      const double wave = 40 * std::sin(fx * 37 + fy * 11) * std::cos(fy * 23 - fx * 5);
      const int r = static_cast<int>(200 * fx + 30 + wave) + noise;
      const int g = static_cast<int>(180 * fy + 40 - wave * 0.5) + noise / 2;
      const int b = static_cast<int>(120 * (1 - fx) * fy + 60 + wave * 0.7) - noise;
      row[3 * x + 0] = static_cast<uint8_t>(std::clamp(b, 0, 255));
      row[3 * x + 1] = static_cast<uint8_t>(std::clamp(g, 0, 255));
      row[3 * x + 2] = static_cast<uint8_t>(std::clamp(r, 0, 255));
    }
  }
}

// A 24-bit image as a binary PPM (RGB order), the input of the peer tools.
inline void WritePPM(const TPixelGraphic& img, const std::string& path) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return;
  std::fprintf(f, "P6\n%d %d\n255\n", img.Width(), img.Height());
  std::vector<uint8_t> rgb(3 * static_cast<size_t>(img.Width()));
  for (int y = 0; y < img.Height(); ++y) {
    const uint8_t* row = img.ScanLine(y);
    for (int x = 0; x < img.Width(); ++x) {
      rgb[3 * x + 0] = row[3 * x + 2];
      rgb[3 * x + 1] = row[3 * x + 1];
      rgb[3 * x + 2] = row[3 * x + 0];
    }
    std::fwrite(rgb.data(), 1, rgb.size(), f);
  }
  std::fclose(f);
}

// A fresh temporary folder /tmp/zwillo_bench_<name>_XXXXXX holding a
// textured photograph and its PPM copy (photo.ppm) for the peer tools; the
// folder is removed at the end.
struct TPhotoFolder {
  std::string dir, ppm;
  TPixelGraphic photo;
  TPhotoFolder(const std::string& name, int width, int height) {
    std::string tmpl = "/tmp/zwillo_bench_" + name + "_XXXXXX";
    dir = ::mkdtemp(tmpl.data());
    ppm = dir + "/photo.ppm";
    MakeTexturedPhoto(photo, width, height);
    WritePPM(photo, ppm);
  }
  ~TPhotoFolder() { std::system(("rm -rf '" + dir + "'").c_str()); }
};

// ------------------------------------------------------------ timing

inline double Seconds(std::chrono::steady_clock::time_point a, std::chrono::steady_clock::time_point b) {
  return std::chrono::duration<double>(b - a).count();
}

// CPU time (user + system) of this process (RUSAGE_SELF), or of its finished
// children (RUSAGE_CHILDREN).
inline double CpuSeconds(int who) {
  rusage u{};
  ::getrusage(who, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

struct TTimes {
  double wall = 0, cpu = 0;
  TTimes& operator+=(const TTimes& t) {
    wall += t.wall;
    cpu += t.cpu;
    return *this;
  }
};

// Runs a peer tool; its wall time and the CPU time it used.
inline TTimes RunTool(const std::string& command) {
  const double c0 = CpuSeconds(RUSAGE_CHILDREN);
  const auto t0 = std::chrono::steady_clock::now();
  if (std::system(command.c_str()) != 0) std::fprintf(stderr, "failed: %s\n", command.c_str());
  return {Seconds(t0, std::chrono::steady_clock::now()), CpuSeconds(RUSAGE_CHILDREN) - c0};
}

// Times one of our own operations.
template <class F>
TTimes TimeOurs(F&& fn) {
  const double c0 = CpuSeconds(RUSAGE_SELF);
  const auto t0 = std::chrono::steady_clock::now();
  fn();
  return {Seconds(t0, std::chrono::steady_clock::now()), CpuSeconds(RUSAGE_SELF) - c0};
}

// Wall times are what a user waits; CPU times are steadier on a busy machine.
inline void Report(benchmark::State& state, const TTimes& ours, const TTimes& peer, int n) {
  state.counters["ours_ms"] = 1000 * ours.wall / n;
  state.counters["peer_ms"] = 1000 * peer.wall / n;
  state.counters["ratio"] = ours.wall / peer.wall;
  state.counters["ours_cpu_ms"] = 1000 * ours.cpu / n;
  state.counters["peer_cpu_ms"] = 1000 * peer.cpu / n;
  state.counters["cpu_ratio"] = ours.cpu / peer.cpu;
}

struct TNoFresh {};

// Every iteration makes a fresh Fresh outside the timing (a new image, as a
// view loading a new photograph; destroyed after the peer ran), times
// ours(fresh) as the manual iteration time, then runs the peer command; the
// counters report both and their ratio.
template <class Fresh = TNoFresh, class F>
void OursVsPeer(benchmark::State& state, F&& ours, const std::string& peerCommand) {
  TTimes oursSum, peerSum;
  int n = 0;
  for (auto _ : state) {
    Fresh fresh;
    const TTimes t = TimeOurs([&] { ours(fresh); });
    state.SetIterationTime(t.wall);
    oursSum += t;
    peerSum += RunTool(peerCommand);
    ++n;
  }
  Report(state, oursSum, peerSum, n);
}

// Runs a peer command (output discarded) per iteration.
inline void PeerCommand(benchmark::State& state, const std::string& command, int64_t bytesPerIteration) {
  const std::string cmd = command + " >/dev/null 2>&1";
  for (auto _ : state)
    if (std::system(cmd.c_str()) != 0) state.SkipWithError(("failed: " + command).c_str());
  state.SetBytesProcessed(state.iterations() * bytesPerIteration);
}

// Reads a file with one of our readers per iteration.
template <class Reader>
void ReadFile(benchmark::State& state, const std::string& path, int64_t bytesPerIteration) {
  for (auto _ : state) {
    TFileStream s(path, fmOpenRead);
    TPixelGraphic g;
    Reader().ReadGraphic(s, g, 0);
    benchmark::DoNotOptimize(g.Bits());
  }
  state.SetBytesProcessed(state.iterations() * bytesPerIteration);
}

// A peer command with "$D" standing for dir, run per iteration; reports the
// peer's own processor time (all its threads).
inline void PeerInDir(benchmark::State& state, const std::string& dir, const char* command) {
  std::string cmd = command;
  for (size_t p; (p = cmd.find("$D")) != std::string::npos;) cmd.replace(p, 2, dir);
  cmd += " >/dev/null 2>&1";
  double childCpu = 0;
  for (auto _ : state) {
    const double before = CpuSeconds(RUSAGE_CHILDREN);
    const int rc = std::system(cmd.c_str());
    childCpu += CpuSeconds(RUSAGE_CHILDREN) - before;
    if (rc != 0) state.SkipWithError("peer command failed");
  }
  state.counters["peer_cpu_ms"] = 1000 * childCpu / static_cast<double>(state.iterations());
}

}  // namespace benchutil
