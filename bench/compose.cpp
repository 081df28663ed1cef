// The whole compose pipeline on a 24-megapixel pair (quality 90 in, colour
// anaglyph, quality 80 out), timed in the same run against the codec work of
// Debian's libjpeg-turbo tools: djpeg of both photographs plus
// "cjpeg -quality 80 -dct float" of the result as a PPM.
//   BM_ComposeFilesVsCodec        ComposeFiles: the pair loads on two threads
//   BM_ComposeSequentialVsCodec   the same steps with the photographs loaded one after the other
// The ratio counter is ours / the tools' sum (wall clock).

#include <benchmark/benchmark.h>

#include <string>

#include "app/core/compose.h"
#include "pgraphic/core/pixelgraphic.h"
#include "pgraphic/formats/settings.h"
#include "bench_util.h"

namespace {

constexpr int kWidth = 6000, kHeight = 4000;

struct TFiles : benchutil::TPhotoFolder {
  std::string left = dir + "/left.jpg", right = dir + "/right.jpg", out = dir + "/out.jpg";
  std::string result = dir + "/result.ppm";
  TFiles() : TPhotoFolder("compose", kWidth, kHeight) {
    PGJPEGQuality = 90;
    photo.SaveToFile(left);
    // The right photograph: the scene seen 40 pixels further left, as in a pair.
    TPixelGraphic shifted;
    shifted.SetSize(kWidth, kHeight, bc24Bit);
    shifted.CopyRect(40, 0, photo, 0, 0, kHeight, kWidth - 40);
    shifted.SaveToFile(right);
    PGJPEGQuality = 80;
    PGJPEGWriteDCTMethod = 2;
    // The peer encodes exactly the pixels the pipeline saves.
    TStereoPair pair = LoadStereoPair(left, right);
    TPixelGraphic work;
    ComposePictures(smColorAnaglyph, *pair.Left, *pair.Right, TPairAlignment(), work);
    benchutil::WritePPM(work, result);
  }
  std::string Peer() const {
    return "djpeg -outfile /dev/null '" + left + "' && djpeg -outfile /dev/null '" + right +
           "' && cjpeg -quality 80 -dct float -outfile '" + out + ".peer' '" + result + "'";
  }
};

TFiles& Files() {
  static TFiles files;
  return files;
}

void BM_ComposeFilesVsCodec(benchmark::State& state) {
  TFiles& files = Files();
  TComposeFilesJob job;
  job.Mode = smColorAnaglyph;
  job.LeftName = files.left;
  job.RightName = files.right;
  job.OutputName = files.out;
  job.UseParameterFiles = false;
  benchutil::OursVsPeer(state, [&](auto&) { ComposeFiles(job); }, files.Peer());
}
BENCHMARK(BM_ComposeFilesVsCodec)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

void BM_ComposeSequentialVsCodec(benchmark::State& state) {
  TFiles& files = Files();
  benchutil::OursVsPeer(
      state,
      [&](auto&) {
        auto left = std::make_unique<TPixelGraphic>(), right = std::make_unique<TPixelGraphic>();
        left->LoadFromFile(files.left);
        right->LoadFromFile(files.right);
        TPixelGraphic work;
        ComposePictures(smColorAnaglyph, *left, *right, TPairAlignment(), work, {}, [&](TPixelGraphic& result) {
          left.reset();
          right.reset();
          result.SaveToFile(files.out);
        });
      },
      files.Peer());
}
BENCHMARK(BM_ComposeSequentialVsCodec)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

} // namespace
