// Composing from a stereo camera's file against composing from two files: the
// same 2 x 12-megapixel pair (4000 x 3000, quality 90) once as one MPO and once
// as two JPEGs, the colour anaglyph saved at quality 80. Each iteration runs
// both, one after the other, so they meet the same machine load.
//   BM_ComposeFromMPOVsTwoJPEGs   ours_ms: from the MPO; peer_ms: from the two JPEGs
//   BM_AlignedPairToMPO           ComposeFiles from the two JPEGs into an MPO (the aligned pair)
// The ratio counter is MPO / two files (wall clock).

#include <benchmark/benchmark.h>

#include <string>

#include "app/core/compose.h"
#include "app/core/stereofile.h"
#include "bench_util.h"
#include "pgraphic/core/pixelgraphic.h"
#include "pgraphic/formats/settings.h"

namespace {

constexpr int kWidth = 4000, kHeight = 3000;

struct TFiles : benchutil::TPhotoFolder {
  std::string left = dir + "/left.jpg", right = dir + "/right.jpg", pair = dir + "/pair.mpo";
  TFiles() : TPhotoFolder("stereofile", kWidth, kHeight) {
    PGJPEGQuality = 90;
    // The right view: the scene 40 pixels further left.
    TPixelGraphic shifted;
    shifted.SetSize(kWidth, kHeight, bc24Bit);
    shifted.CopyRect(40, 0, photo, 0, 0, kHeight, kWidth - 40);
    photo.SaveToFile(left);
    shifted.SaveToFile(right);
    SaveStereoPair(photo, shifted, pair);
    PGJPEGQuality = 80;
  }
  TComposeFilesJob Job(bool fromPair, const std::string& out) const {
    TComposeFilesJob job;
    job.Mode = smColorAnaglyph;
    job.LeftName = fromPair ? pair : left;
    job.RightName = fromPair ? "" : right;
    job.OutputName = dir + "/" + out;
    job.UseParameterFiles = false;
    return job;
  }
};

TFiles& Files() {
  static TFiles files;
  return files;
}

void BM_ComposeFromMPOVsTwoJPEGs(benchmark::State& state) {
  TFiles& files = Files();
  const TComposeFilesJob fromPair = files.Job(true, "a.jpg"), fromTwo = files.Job(false, "b.jpg");
  benchutil::TTimes pairSum, twoSum;
  int n = 0;
  for (auto _ : state) {
    const benchutil::TTimes p = benchutil::TimeOurs([&] { ComposeFiles(fromPair); });
    state.SetIterationTime(p.wall);
    pairSum += p;
    twoSum += benchutil::TimeOurs([&] { ComposeFiles(fromTwo); });
    ++n;
  }
  benchutil::Report(state, pairSum, twoSum, n);
}
BENCHMARK(BM_ComposeFromMPOVsTwoJPEGs)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(8);

void BM_AlignedPairToMPO(benchmark::State& state) {
  const TComposeFilesJob job = Files().Job(false, "aligned.mpo");
  for (auto _ : state) ComposeFiles(job);
}
BENCHMARK(BM_AlignedPairToMPO)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace
