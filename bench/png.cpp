// PNG reading and writing of a 24-megapixel photograph-like image, each timed
// against ImageMagick's convert on the same data in the same run:
//   read  (through the registry) vs convert photo.png ppm:/dev/null
//   write (through the registry) vs convert photo.ppm out.png
// Both sides use their library's default compression. Every iteration runs
// both; the counters report both times and their ratio.

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>
#include <unistd.h>

#include "pgraphic/core/pixelgraphic.h"
#include "platform/stream.h"
#include "bench_util.h"

namespace {

constexpr int kWidth = 6000, kHeight = 4000;
// The real ImageMagick, not a wrapper earlier in the path.
const char* const kConvert = "/usr/bin/convert";

struct TFiles : benchutil::TPhotoFolder {
  std::string png = dir + "/photo.png", out = dir + "/out.png";
  TFiles() : TPhotoFolder("png", kWidth, kHeight) { photo.SaveToFile(png); }
};

TFiles& Files() {
  static TFiles files;
  return files;
}

void BM_PNGReadVsConvert(benchmark::State& state) {
  TFiles& files = Files();
  // A fresh image each time, as a view loading a new photograph.
  benchutil::OursVsPeer<TPixelGraphic>(state, [&](TPixelGraphic& g) { g.LoadFromFile(files.png); },
                                       std::string(kConvert) + " '" + files.png + "' ppm:/dev/null");
}
BENCHMARK(BM_PNGReadVsConvert)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_PNGWriteVsConvert(benchmark::State& state) {
  TFiles& files = Files();
  benchutil::OursVsPeer(state, [&](auto&) { files.photo.SaveToFile(files.out); },
                        std::string(kConvert) + " '" + files.ppm + "' '" + files.out + ".peer.png'");
}
BENCHMARK(BM_PNGWriteVsConvert)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace
