// JPEG reading and writing of a 24-megapixel photograph-like image, each timed
// against Debian's libjpeg-turbo tools on the same data in the same run:
//   read  (quality 90 file, through the registry) vs djpeg -outfile /dev/null
//   write (quality 80, float DCT, through the registry) vs cjpeg -quality 80 -dct float from a PPM
// Every iteration runs both; the counters report both times and their ratio.

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>
#include <unistd.h>

#include "pgraphic/core/pixelgraphic.h"
#include "pgraphic/formats/settings.h"
#include "platform/stream.h"
#include "bench_util.h"

namespace {

constexpr int kWidth = 6000, kHeight = 4000;

struct TFiles : benchutil::TPhotoFolder {
  std::string jpeg90 = dir + "/photo_q90.jpg", out = dir + "/out.jpg";
  TFiles() : TPhotoFolder("jpeg", kWidth, kHeight) {
    PGJPEGQuality = 90;
    photo.SaveToFile(jpeg90);
    PGJPEGQuality = 80;
  }
};

TFiles& Files() {
  static TFiles files;
  return files;
}

void BM_JPEGReadVsDjpeg(benchmark::State& state) {
  TFiles& files = Files();
  // A fresh image each time, as a view loading a new photograph.
  benchutil::OursVsPeer<TPixelGraphic>(state, [&](TPixelGraphic& g) { g.LoadFromFile(files.jpeg90); },
                                       "djpeg -outfile /dev/null '" + files.jpeg90 + "'");
}
BENCHMARK(BM_JPEGReadVsDjpeg)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(15);

void BM_JPEGWriteVsCjpeg(benchmark::State& state) {
  TFiles& files = Files();
  PGJPEGQuality = 80;
  PGJPEGWriteDCTMethod = 2;
  benchutil::OursVsPeer(state, [&](auto&) { files.photo.SaveToFile(files.out); },
                        "cjpeg -quality 80 -dct float -outfile '" + files.out + ".peer' '" + files.ppm + "'");
}
BENCHMARK(BM_JPEGWriteVsCjpeg)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(15);

} // namespace
