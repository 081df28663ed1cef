// Drawing a 6000 x 4000 24-bit photograph into a 1600 x 1000 view-sized
// target: DrawToDC fitted, at 1:1 scrolled to the middle and at zoom 2, each
// next to Qt's own drawImage of a top-down 32-bit QImage of the same picture
// into the same target with the same geometry (no smoothing).
#include <benchmark/benchmark.h>

#include <QImage>
#include <QPainter>

#include "bench_util.h"
#include "pgraphic/device/drawing.h"

namespace {

constexpr int kW = 6000, kH = 4000, kViewW = 1600, kViewH = 1000;

const TPixelGraphic& Photo() {
  static TPixelGraphic g;
  if (g.Empty()) benchutil::MakeTexturedPhoto(g, kW, kH);
  return g;
}

const QImage& PhotoQImage() {
  static QImage q = ToQImage(Photo());
  return q;
}

// 0 fitted (keeping the aspect ratio, centred), 1 1:1 in the middle, 2 zoom 2 in the middle.
TRect Geometry(int64_t kind) {
  switch (kind) {
    case 0:
      return Rect(50, 0, 1550, 1000);
    case 1:
      return Rect(kViewW / 2 - kW / 2, kViewH / 2 - kH / 2, kViewW / 2 + kW / 2, kViewH / 2 + kH / 2);
    default:
      return Rect(kViewW / 2 - kW, kViewH / 2 - kH, kViewW / 2 + kW, kViewH / 2 + kH);
  }
}

void BM_DrawToDC(benchmark::State& state) {
  const TPixelGraphic& g = Photo();
  QImage target(kViewW, kViewH, QImage::Format_ARGB32_Premultiplied);
  const TRect r = Geometry(state.range(0));
  for (auto _ : state) {
    QPainter p(&target);
    DrawToDC(g, p, r);
    p.end();
    benchmark::ClobberMemory();
  }
}

void BM_QtDrawImage(benchmark::State& state) {
  const QImage& q = PhotoQImage();
  QImage target(kViewW, kViewH, QImage::Format_ARGB32_Premultiplied);
  const TRect r = Geometry(state.range(0));
  for (auto _ : state) {
    QPainter p(&target);
    p.setRenderHint(QPainter::SmoothPixmapTransform, false);
    p.drawImage(QRect(r.Left, r.Top, r.Width(), r.Height()), q);
    p.end();
    benchmark::ClobberMemory();
  }
}

} // namespace

BENCHMARK(BM_DrawToDC)->ArgName("fit0_1to1_1_zoom2_2")->DenseRange(0, 2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_QtDrawImage)->ArgName("fit0_1to1_1_zoom2_2")->DenseRange(0, 2)->Unit(benchmark::kMillisecond);
