// The image view on a 24-megapixel photograph (6000 x 4000, 24 bit) in a
// 1600 x 1000 view: a paint fitted, at 1:1 scrolled to the middle and at
// zoom 2, each beside Qt's own drawImage of a top-down 32-bit QImage into a
// widget of the same size with the same geometry; the first paint after an
// image change; paints and termination while a smPrecise display copy is
// computed; one mouse move of a selection drag; loading a JPEG through
// FileName until the first paint against the library's load plus one paint.
// Every figure is the median of its iterations (counter "median_ms").
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QWidget>

#include "bench_util.h"
#include "qt_bench_main.h"
#include "pgraphic/device/drawing.h"
#include "pgraphic/view/imageview.h"

namespace {

constexpr int kW = 6000, kH = 4000, kViewW = 1600, kViewH = 1000;

using benchutil::Clock;
using benchutil::Median;
using benchutil::Ms;

const TPixelGraphic& Photo() {
  static TPixelGraphic g;
  if (g.Empty()) benchutil::MakeTexturedPhoto(g, kW, kH);
  return g;
}

// 0 fitted, 1 1:1 in the middle, 2 zoom 2 in the middle.
void Arrange(TPGImage& view, int64_t kind) {
  if (kind == 0) {
    view.SetStretch(sAlwaysKAR);
  } else {
    view.SetStretch(sZoomKAR);
    view.SetZoomFactor(kind == 1 ? 1.0L : 2.0L);
    view.horizontalScrollBar()->setValue(view.horizontalScrollBar()->maximum() / 2);
    view.verticalScrollBar()->setValue(view.verticalScrollBar()->maximum() / 2);
  }
}

std::unique_ptr<TPGImage> PhotoView() {
  auto view = std::make_unique<TPGImage>();
  view->SetBorderStyle(bsNone);
  view->SetBounds(0, 0, kViewW, kViewH);
  view->SetPixelGraphic(&Photo());
  view->show();
  QApplication::processEvents();
  return view;
}

// A widget painting the photograph as a top-down 32-bit QImage with drawImage.
class TQtReference : public QWidget {
public:
  QImage Image = ToQImage(Photo());
  QRect Target;
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    p.drawImage(Target, Image);
  }
};

void BM_ViewPaint(benchmark::State& state) {
  auto view = PhotoView();
  Arrange(*view, state.range(0));
  view->viewport()->repaint();
  std::vector<double> times;
  for (auto _ : state) {
    const auto t0 = Clock::now();
    view->viewport()->repaint();
    times.push_back(Ms(Clock::now() - t0));
  }
  state.counters["median_ms"] = Median(times);
  state.counters["client_w"] = view->ClientWidth();
}

void BM_QtDrawImageWidget(benchmark::State& state) {
  auto view = PhotoView();
  Arrange(*view, state.range(0));
  const QRect box = view->PicBoxRect();
  const QSize client(view->ClientWidth(), view->ClientHeight());
  view.reset();
  TQtReference ref;
  ref.setAttribute(Qt::WA_OpaquePaintEvent);
  ref.resize(client);
  ref.Target = box;
  ref.show();
  QApplication::processEvents();
  std::vector<double> times;
  for (auto _ : state) {
    const auto t0 = Clock::now();
    ref.repaint();
    times.push_back(Ms(Clock::now() - t0));
  }
  state.counters["median_ms"] = Median(times);
}

// Handing the view a new picture (adopting it, no copy) until its first paint is done.
void BM_ImageChangeToFirstPaint(benchmark::State& state) {
  auto view = PhotoView();
  view->SetStretch(sAlwaysKAR);
  std::vector<double> times;
  for (auto _ : state) {
    state.PauseTiming();
    auto copy = std::make_unique<TPixelGraphic>();
    copy->Assign(&Photo());
    state.ResumeTiming();
    const auto t0 = Clock::now();
    view->AdoptPixelGraphic(std::move(copy));
    view->viewport()->repaint();
    times.push_back(Ms(Clock::now() - t0));
  }
  state.counters["median_ms"] = Median(times);
}

// smPrecise: while the worker computes the 1600 x 1000 copy, the view paints
// frame and clocks; then stopping the worker.
void BM_PreciseCopyPaintAndTerminate(benchmark::State& state) {
  auto view = PhotoView();
  view->SetStretch(sAlways);
  view->SetStretchMode(smPrecise);
  std::vector<double> paints, stops;
  for (auto _ : state) {
    view->DisplayChanged();
    view->viewport()->repaint(); // starts the worker
    for (int i = 0; i < 5; ++i) {
      const auto t0 = Clock::now();
      view->viewport()->repaint();
      paints.push_back(Ms(Clock::now() - t0));
    }
    const auto t0 = Clock::now();
    view->PixelGraphic(); // stops the worker
    stops.push_back(Ms(Clock::now() - t0));
    QApplication::processEvents();
  }
  state.counters["paint_median_ms"] = Median(paints);
  state.counters["paint_max_ms"] = *std::max_element(paints.begin(), paints.end());
  state.counters["terminate_median_ms"] = Median(stops);
  state.counters["terminate_max_ms"] = *std::max_element(stops.begin(), stops.end());
}

// The full smPrecise copy for reference (not a target).
void BM_PreciseCopyComplete(benchmark::State& state) {
  auto view = PhotoView();
  view->SetStretch(sAlways);
  view->SetUseThread(false);
  view->SetStretchMode(smPrecise);
  std::vector<double> times;
  for (auto _ : state) {
    view->DisplayChanged();
    const auto t0 = Clock::now();
    view->viewport()->repaint();
    times.push_back(Ms(Clock::now() - t0));
  }
  state.counters["median_ms"] = Median(times);
}

// One mouse move of a selection drag over the photograph (fitted and 1:1).
void BM_SelectionDragMove(benchmark::State& state) {
  auto view = PhotoView();
  Arrange(*view, state.range(0));
  view->SetActionMode(amMoveResizeCreateSelection);
  TPicBox* box = view->PicBox();
  const QPoint start(box->mapFromParent(QPoint(200, 200)));
  auto send = [&](QEvent::Type type, QPoint p, Qt::MouseButton button, Qt::MouseButtons buttons) {
    QMouseEvent e(type, QPointF(p), QPointF(box->mapToGlobal(p)), button, buttons, Qt::NoModifier);
    QCoreApplication::sendEvent(box, &e);
  };
  send(QEvent::MouseButtonPress, start, Qt::LeftButton, Qt::LeftButton);
  QApplication::processEvents();
  std::vector<double> times;
  int i = 0;
  for (auto _ : state) {
    const QPoint p = start + QPoint(300 + (i % 400), 200 + (i % 300));
    ++i;
    const auto t0 = Clock::now();
    send(QEvent::MouseMove, p, Qt::NoButton, Qt::LeftButton);
    times.push_back(Ms(Clock::now() - t0));
  }
  send(QEvent::MouseButtonRelease, start, Qt::LeftButton, Qt::NoButton);
  state.counters["median_ms"] = Median(times);
}

const std::string& PhotoJpeg() {
  static std::string name;
  if (name.empty()) {
    name = "/tmp/pgview_bench_photo.jpg";
    TPixelGraphic g;
    g.Assign(&Photo());
    g.SaveToFile(name);
  }
  return name;
}

void BM_LoadThroughFileNameToFirstPaint(benchmark::State& state) {
  const std::string& name = PhotoJpeg();
  auto view = std::make_unique<TPGImage>();
  view->SetBorderStyle(bsNone);
  view->SetBounds(0, 0, kViewW, kViewH);
  view->SetStretch(sAlwaysKAR);
  view->show();
  QApplication::processEvents();
  std::vector<double> times;
  for (auto _ : state) {
    const auto t0 = Clock::now();
    view->SetFileName(name);
    view->viewport()->repaint();
    times.push_back(Ms(Clock::now() - t0));
  }
  state.counters["median_ms"] = Median(times);
}

void BM_LibraryLoadPlusOnePaint(benchmark::State& state) {
  const std::string& name = PhotoJpeg();
  QWidget target;
  target.resize(kViewW, kViewH);
  target.setAttribute(Qt::WA_OpaquePaintEvent);
  std::unique_ptr<TPixelGraphic> image;
  struct TPainted : QWidget {
    std::unique_ptr<TPixelGraphic>* Image;
    void paintEvent(QPaintEvent*) override {
      QPainter p(this);
      if (*Image) DrawToDC(**Image, p, Rect(50, 0, 1550, 1000));
    }
  } painted;
  painted.Image = &image;
  painted.resize(kViewW, kViewH);
  painted.setAttribute(Qt::WA_OpaquePaintEvent);
  painted.show();
  QApplication::processEvents();
  std::vector<double> times;
  for (auto _ : state) {
    image.reset();
    const auto t0 = Clock::now();
    image = std::make_unique<TPixelGraphic>();
    image->LoadFromFile(name);
    painted.repaint();
    times.push_back(Ms(Clock::now() - t0));
  }
  state.counters["median_ms"] = Median(times);
}

} // namespace

BENCHMARK(BM_ViewPaint)->ArgName("fit0_1to1_1_zoom2_2")->DenseRange(0, 2)->Iterations(40)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_QtDrawImageWidget)->ArgName("fit0_1to1_1_zoom2_2")->DenseRange(0, 2)->Iterations(40)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ImageChangeToFirstPaint)->Iterations(10)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PreciseCopyPaintAndTerminate)->Iterations(10)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PreciseCopyComplete)->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SelectionDragMove)->ArgName("fit0_1to1_1")->DenseRange(0, 1)->Iterations(200)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadThroughFileNameToFirstPaint)->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LibraryLoadPlusOnePaint)->Iterations(5)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
  return benchutil::RunQtBenchmarks(argc, argv, {}, [] { std::remove("/tmp/pgview_bench_photo.jpg"); });
}
