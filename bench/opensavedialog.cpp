// The open dialog's preview of a 24-megapixel photograph (6000 x 4000 JPEG):
// the file information (GetFileInfo), the thumbnail worker's load, reduction
// and screen adaptation with and without the reduced DCT scale of preview
// loads, and the whole way in a shown dialog from a name put into the
// file-name field until the thumbnail is painted (the 150 ms settling time
// subtracted). Every figure is the median of its iterations ("median_ms").
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include <QApplication>
#include <QLineEdit>

#include "bench_util.h"
#include "qt_bench_main.h"
#include "pgraphic/formats/registry.h"
#include "pgraphic/view/opensavedialog.h"

namespace {

using benchutil::Clock;
using benchutil::Median;
using benchutil::Ms;

const std::string kName = "/tmp/pgdialog_bench_photo.jpg";

void MakePhotoJpeg() {
  TPixelGraphic g;
  g.SetSize(6000, 4000, bc24Bit);
  benchutil::FillWavyPhoto(g);
  g.SaveToFile(kName);
}

void BM_FileInfo(benchmark::State& state) {
  std::vector<double> times;
  for (auto _ : state) {
    std::string description;
    TPGFileInfo info;
    const auto t0 = Clock::now();
    benchmark::DoNotOptimize(GetFileInfo(kName, 0, description, info));
    times.push_back(Ms(Clock::now() - t0));
  }
  state.counters["median_ms"] = Median(times);
}

// The worker's body on the window thread: load, reduce, adapt.
void BM_ThumbnailWorker(benchmark::State& state) {
  TPGOpenDialog dlg;
  std::vector<double> times;
  for (auto _ : state) {
    TPGThumbnailSettings settings;
    settings.FileName = kName;
    settings.MaxWidth = dlg.ThumbnailMaxWidth();
    settings.MaxHeight = dlg.ThumbnailMaxHeight();
    settings.ScreenBitsPerPixel = 24;
    settings.ReducedJPEGDecode = state.range(0) != 0;
    TCreateOpenSaveDialogPaintPGThread worker(settings);
    const auto t0 = Clock::now();
    auto thumbnail = worker.Body();
    times.push_back(Ms(Clock::now() - t0));
    if (!thumbnail) state.SkipWithError("no thumbnail");
  }
  state.counters["median_ms"] = Median(times);
}

// A shown dialog: the name pasted into the field, then events processed until
// the thumbnail has been painted.
void BM_DialogSelectionToThumbnailOnScreen(benchmark::State& state) {
  TPGOpenDialog dlg;
  dlg.SetReducedJPEGPreview(state.range(0) != 0);
  dlg.setDirectory("/tmp");
  dlg.show();
  QApplication::processEvents();
  auto* edit = dlg.findChild<QLineEdit*>("fileNameEdit");
  std::vector<double> times;
  for (auto _ : state) {
    edit->setText("x");
    QApplication::processEvents();
    const auto t0 = Clock::now();
    edit->setText(QString::fromStdString(kName));
    while (!dlg.Thumbnail()) QApplication::processEvents(QEventLoop::AllEvents, 5);
    dlg.PreviewArea()->repaint();
    times.push_back(Ms(Clock::now() - t0) - 150);
  }
  state.counters["median_ms"] = Median(times);
}

} // namespace

BENCHMARK(BM_FileInfo)->Iterations(50)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ThumbnailWorker)->ArgName("reduced")->DenseRange(0, 1)->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DialogSelectionToThumbnailOnScreen)->ArgName("reduced")->DenseRange(0, 1)->Iterations(5)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
  return benchutil::RunQtBenchmarks(argc, argv, MakePhotoJpeg, [] { std::remove(kName.c_str()); });
}
