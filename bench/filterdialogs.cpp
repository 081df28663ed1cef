// The BCG filter dialog on a 24-megapixel photograph (6000 x 4000, 24 bit):
// from Execute to the first preview drawn on screen, and from the last
// slider step to the new preview drawn (the 100 ms pause included); beside
// them the reduction of the photograph to the preview size alone, which the
// source worker computes. Every figure is the median of its iterations
// (counter "median_ms").
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <vector>

#include <QApplication>
#include <QTest>
#include <QTimer>

#include "bench_util.h"
#include "qt_bench_main.h"
#include "pgraphic/view/filterdialogs.h"
#include "pgraphic/view/imageview.h"

namespace {

constexpr int kW = 6000, kH = 4000;

using benchutil::Clock;
using benchutil::Median;
using benchutil::Ms;

TPixelGraphic& Photo() {
  static TPixelGraphic g;
  if (g.Empty()) benchutil::MakeTexturedPhoto(g, kW, kH);
  return g;
}

// Waits until the preview holds an image other than old, then paints it
// synchronously (on a true-colour screen the view draws the image itself).
void WaitForPreviewOnScreen(TFilterDialogForm& f, const TPixelGraphic* old) {
  TPGImage& view = *f.PreviewImage();
  const auto end = Clock::now() + std::chrono::seconds(10);
  while (Clock::now() < end) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
    const TPixelGraphic* shown = view.PixelGraphicNoWait();
    if (shown && shown != old) break;
  }
  view.viewport()->repaint();
}

void BM_OpenToFirstPreview(benchmark::State& state) {
  TPixelGraphic& photo = Photo();
  TBCGFilterDialog dlg;
  std::vector<double> times;
  for (auto _ : state) {
    Clock::time_point t0;
    QTimer::singleShot(0, [&] {
      TFilterDialogForm& f = *dlg.DialogWindow();
      WaitForPreviewOnScreen(f, nullptr);
      times.push_back(Ms(Clock::now() - t0));
      f.reject();
    });
    t0 = Clock::now();
    dlg.Execute(photo);
  }
  state.counters["median_ms"] = Median(times);
}

void BM_SliderStopToNewPreview(benchmark::State& state) {
  TPixelGraphic& photo = Photo();
  TBCGFilterDialog dlg;
  std::vector<double> times;
  QTimer::singleShot(0, [&] {
    TFilterDialogForm& f = *dlg.DialogWindow();
    WaitForPreviewOnScreen(f, nullptr);
    for (auto _ : state) {
      const TPixelGraphic* old = f.PreviewImage()->PixelGraphicNoWait();
      QTest::keyClick(f.TrackBar(1), Qt::Key_PageUp);
      const auto t0 = Clock::now();
      WaitForPreviewOnScreen(f, old);
      times.push_back(Ms(Clock::now() - t0));
    }
    f.reject();
  });
  dlg.Execute(photo);
  state.counters["median_ms"] = Median(times);
}

void BM_ReduceToPreviewSize(benchmark::State& state) {
  TPixelGraphic& photo = Photo();
  std::vector<double> times;
  for (auto _ : state) {
    TPixelGraphic target;
    target.SetSize(136, 91, bc24Bit);
    const auto t0 = Clock::now();
    target.StretchFrom(photo);
    times.push_back(Ms(Clock::now() - t0));
  }
  state.counters["median_ms"] = Median(times);
}

} // namespace

BENCHMARK(BM_OpenToFirstPreview)->Iterations(7)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SliderStopToNewPreview)->Iterations(15)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReduceToPreviewSize)->Iterations(7)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) { return benchutil::RunQtBenchmarks(argc, argv); }
