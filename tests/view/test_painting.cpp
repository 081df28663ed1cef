// Painting: tiles and mirroring in the rendered pixels, the progress clocks,
// the display copy and the lifecycle of its worker.
#include <atomic>
#include <cstring>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "view_test_util.h"

using viewtest::Gradient;
using viewtest::MakeView;
using viewtest::Rendered;
using viewtest::Rgb;

namespace {

// A tick source that blocks the worker at its n-th tick read until opened.
class TTickGate {
public:
  explicit TTickGate(int blockAt) : FBlockAt(blockAt) {
    SetPGTickSource([this] {
      std::unique_lock<std::mutex> lock(FMutex);
      if (++FCalls >= FBlockAt) {
        FReached = true;
        FCv.notify_all();
        FCv.wait(lock, [this] { return FOpen; });
      }
      return FTick;
    });
  }
  ~TTickGate() {
    Open();
    SetPGTickSource(nullptr);
  }
  bool WaitReached() {
    std::unique_lock<std::mutex> lock(FMutex);
    return FCv.wait_for(lock, std::chrono::seconds(10), [this] { return FReached; });
  }
  void Open() {
    std::lock_guard<std::mutex> lock(FMutex);
    FOpen = true;
    FCv.notify_all();
  }
  // Opens the gate from another thread after a delay (the window thread is
  // then waiting for the worker).
  std::thread OpenLater(int ms) {
    return std::thread([this, ms] {
      std::this_thread::sleep_for(std::chrono::milliseconds(ms));
      Open();
    });
  }

private:
  std::mutex FMutex;
  std::condition_variable FCv;
  int FBlockAt, FCalls = 0;
  bool FReached = false, FOpen = false;
  uint32_t FTick = 0;
};

// Counts the finished display copies that reach an object, and their widths.
class TResultSpy : public QObject {
public:
  std::vector<int> Widths;
  bool eventFilter(QObject*, QEvent* e) override {
    if (const auto* r = TPGPaintResultEvent::Cast(e)) Widths.push_back(r->Result->Width());
    return false;
  }
};

void RunUntil(const std::function<bool()>& done) {
  for (int i = 0; i < 500 && !done(); ++i) {
    QApplication::processEvents();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

} // namespace

// Every client pixel of a 3x2 picture centred in 20x20 and tiled with
// mirroring: odd columns mirrored left-right, odd rows top-bottom.
TEST(ImageViewPainting, TilingAndMirroringCoverTheClientArea) {
  struct TCase {
    TTiling Tiling;
    bool FlipH, FlipV;
  };
  for (const TCase c : {TCase{tMirror, false, false}, TCase{tRepeat, false, true}, TCase{tMirrorHorizontal, true, false},
                        TCase{tNone, true, true}}) {
    auto view = MakeView(20, 20, Gradient(3, 2));
    view->SetCenter(true);
    view->SetColor(QColor(1, 2, 3));
    view->SetTiling(c.Tiling);
    view->SetFlipHorizontal(c.FlipH);
    view->SetFlipVertical(c.FlipV);
    ASSERT_EQ(view->PicBoxRect(), QRect(8, 9, 3, 2));
    const QImage img = Rendered(*view);
    const bool mirrorCols = c.Tiling == tMirror || c.Tiling == tMirrorHorizontal;
    const bool mirrorRows = c.Tiling == tMirror || c.Tiling == tMirrorVertical;
    for (int y = 0; y < 20; ++y)
      for (int x = 0; x < 20; ++x) {
        const int col = (x - 8 + 300) / 3 - 100, row = (y - 9 + 200) / 2 - 100;
        QRgb expected;
        if (c.Tiling == tNone && (col != 0 || row != 0)) {
          expected = qRgb(1, 2, 3);
        } else {
          int lx = x - 8 - 3 * col, ly = y - 9 - 2 * row;
          if (c.FlipH != (mirrorCols && (col & 1))) lx = 2 - lx;
          if (c.FlipV != (mirrorRows && (row & 1))) ly = 1 - ly;
          expected = Rgb(RGBColor(lx, ly, 7));
        }
        ASSERT_EQ(img.pixel(x, y), expected) << "tiling " << int(c.Tiling) << " at " << x << "," << y;
      }
  }
}

TEST(ImageViewPainting, ClockGeometry) {
  auto view = MakeView(300, 300, Gradient(100, 100));
  std::vector<QRect> rects = view->ProgressClockRects();
  ASSERT_EQ(rects.size(), 1u);
  EXPECT_EQ(rects[0], QRect(43, 43, 15, 15));
  view->AdoptPixelGraphic(Gradient(101, 101));
  rects = view->ProgressClockRects();
  ASSERT_EQ(rects.size(), 5u);
  EXPECT_EQ(rects[1], QRect(5, 5, 15, 15));
  EXPECT_EQ(rects[2], QRect(101 - 20, 5, 15, 15));
  EXPECT_EQ(rects[4], QRect(81, 81, 15, 15));
  view->SetProgress5Clocks(false);
  EXPECT_EQ(view->ProgressClockRects().size(), 1u);
  view->AdoptPixelGraphic(Gradient(20, 50));
  EXPECT_TRUE(view->ProgressClockRects().empty());
}

// While the worker computes, frame and clocks show; a progress message of
// 25 % in step 1 turns the minute hand to 3 o'clock and the hour hand to 7.5°.
TEST(ImageViewPainting, ClocksShowTheWorkersProgress) {
  TTickGate gate(1);
  auto view = MakeView(200, 200, Gradient(50, 50));
  view->SetStretchMode(smPrecise);
  view->SetStretch(sAlwaysKAR);
  view->SetProgressClockLineColor(QColor(0, 0, 0));
  view->SetProgressClockBkColor(QColor(255, 255, 0));
  view->SetPicBoxFrameColor(QColor(0, 0, 255));
  view->SetPicBoxColor(QColor(0, 255, 0));
  view->viewport()->repaint();
  ASSERT_TRUE(gate.WaitReached());
  TPGPaintProgressEvent progress(0, {1, 25});
  QCoreApplication::sendEvent(view.get(), &progress);
  const QImage img = Rendered(*view);
  const QRect c = view->ProgressClockRects()[0];
  EXPECT_EQ(img.pixel(c.left() + 13, c.top() + 7), qRgb(0, 0, 0));      // minute hand
  EXPECT_EQ(img.pixel(c.left() + 7, c.top() + 3), qRgb(0, 0, 0));       // hour hand
  EXPECT_EQ(img.pixel(c.left() + 7, c.top() + 11), qRgb(255, 255, 0));  // face below the centre
  EXPECT_EQ(img.pixel(c.left() + 3, c.top() + 7), qRgb(255, 255, 0));   // face left of the centre
  EXPECT_EQ(img.pixel(0, 0), qRgb(0, 0, 255));                          // frame
  EXPECT_EQ(img.pixel(30, 30), qRgb(0, 255, 0));                        // inside the frame
  gate.Open();
  RunUntil([&] { return view->PaintPixelGraphic() != nullptr; });
  ASSERT_NE(view->PaintPixelGraphic(), nullptr);
  EXPECT_EQ(view->PaintPixelGraphic()->Width(), 200);
}

TEST(ImageViewPainting, ProgressIsThrottledToOneMessagePerTickBucketAndPercent) {
  uint32_t tick = 1000;
  SetPGTickSource([&] { return tick; });
  QObject receiver;
  struct TSpy : QObject {
    std::vector<int> Percents;
    bool eventFilter(QObject*, QEvent* e) override {
      if (e->type() == TPGPaintProgressEvent::EventType()) Percents.push_back(static_cast<TPGPaintProgressEvent*>(e)->Result.Percent);
      return false;
    }
  } spy;
  receiver.installEventFilter(&spy);
  TPGPaintSettings settings;
  settings.ViewWindow = &receiver;
  settings.PostMessages = true;
  TCreatePaintPGThread worker(settings, nullptr, nullptr);
  worker.StartProgressClock();
  bool abort = true;
  worker.Progress(5, 10, abort); // same 50 ms bucket: nothing
  EXPECT_FALSE(abort);
  tick = 1050;
  worker.Progress(5, 10, abort); // 50 %
  tick = 1099;
  worker.Progress(9, 10, abort); // same bucket
  tick = 1100;
  worker.Progress(5, 10, abort); // unchanged percentage
  tick = 1150;
  worker.Progress(0, 0, abort); // Max 0: 100 %
  worker.Terminate();
  worker.Progress(0, 0, abort);
  EXPECT_TRUE(abort);
  QCoreApplication::sendPostedEvents(&receiver);
  EXPECT_EQ(spy.Percents, (std::vector<int>{50, 100}));
  SetPGTickSource(nullptr);
}

TEST(ImageViewPainting, SmoothingCopyWithoutThreadIsDrawnByTheSamePaint) {
  auto view = MakeView(100, 100, Gradient(50, 50));
  view->SetUseThread(false);
  view->SetStretchMode(smPrecise);
  view->SetStretch(sAlways);
  const QImage img = Rendered(*view);
  ASSERT_NE(view->PaintPixelGraphic(), nullptr);
  EXPECT_EQ(view->PaintPixelGraphic()->Width(), 100);
  EXPECT_EQ(img.pixel(99, 99), Rgb(view->PaintPixelGraphic()->PixelColors(99, 99)));
  // Back to smFast on a true-colour screen: the picture itself is drawn.
  view->SetStretchMode(smFast);
  Rendered(*view);
  EXPECT_EQ(view->PaintPixelGraphic(), nullptr);
}

// A view without thread asked for a large copy (a zoom step on a big
// photograph) makes the part it shows at once, with the whole copy's pixels,
// and the whole copy on the worker; what a scroll brings into view meanwhile
// is drawn unsmoothed, and the final frame is the whole copy's.
TEST(ImageViewPainting, LargeCopyWithoutThreadShowsItsVisiblePartFirst) {
  auto view = MakeView(200, 150, Gradient(2400, 2000));
  view->SetUseThread(false);
  view->SetStretchMode(smMedium);
  view->SetStretch(sZoomKAR);
  view->SetZoomFactor(0.8L);
  const QImage first = Rendered(*view);
  const TPixelGraphic* part = view->PartialPaintPixelGraphic();
  ASSERT_NE(part, nullptr);
  const QRect at = view->PartialPaintRect();
  EXPECT_LE(int64_t{part->Width()} * part->Height(), 200 * 150);

  TPixelGraphic whole;
  whole.SetSize(1920, 1600, bc24Bit);
  whole.SetStretchMode(smMedium);
  TPixelGraphic source; // the view's picture, read while its worker runs
  source.Assign(view->PixelGraphicNoWait());
  whole.StretchFrom(source);
  for (int y = 0; y < part->Height(); y += 3)
    ASSERT_EQ(0, std::memcmp(part->ScanLine(y), whole.ScanLine(y + at.top()) + 3 * at.left(), 3 * size_t(part->Width())))
        << y;

  RunUntil([&] { return view->PaintPixelGraphic() != nullptr; });
  EXPECT_EQ(view->PartialPaintPixelGraphic(), nullptr);
  EXPECT_EQ(Rendered(*view), first);
  // Small copies stay as they were: made whole by the paint.
  view->SetZoomFactor(0.1L);
  Rendered(*view);
  EXPECT_EQ(view->PartialPaintPixelGraphic(), nullptr);
  EXPECT_NE(view->PaintPixelGraphic(), nullptr);
}

TEST(ImageViewPainting, WorkerTerminatedMidComputationPostsNothing) {
  TTickGate gate(3); // blocks inside the resampling's progress
  auto view = MakeView(100, 100, Gradient(300, 300));
  view->SetStretchMode(smPrecise);
  view->SetStretch(sAlways);
  TResultSpy spy;
  view->installEventFilter(&spy);
  view->viewport()->repaint();
  ASSERT_TRUE(gate.WaitReached());
  std::thread opener = gate.OpenLater(20);
  view->PixelGraphic(); // stops the worker
  opener.join();
  EXPECT_TRUE(view->PaintThread().Terminated());
  QApplication::processEvents();
  EXPECT_TRUE(spy.Widths.empty());
  EXPECT_EQ(view->PaintPixelGraphic(), nullptr);
  // The next paint starts a new worker, which delivers.
  view->viewport()->repaint();
  RunUntil([&] { return view->PaintPixelGraphic() != nullptr; });
  EXPECT_EQ(spy.Widths, std::vector<int>{100});
  view->removeEventFilter(&spy);
}

// A result posted before the view changed is installed, then replaced by
// the newer one.
TEST(ImageViewPainting, StaleResultIsDeliveredThenReplaced) {
  auto view = MakeView(100, 100, Gradient(30, 30));
  view->SetStretchMode(smPrecise);
  view->SetStretch(sAlways);
  TResultSpy spy;
  view->installEventFilter(&spy);
  view->viewport()->repaint();
  view->PaintThread().WaitFor(); // finished and posted, not yet delivered
  view->SetBounds(0, 0, 120, 90);
  view->viewport()->repaint(); // the size changed: a new copy is started
  view->PaintThread().WaitFor();
  RunUntil([&] { return spy.Widths.size() == 2; });
  EXPECT_EQ(spy.Widths, (std::vector<int>{100, 120}));
  ASSERT_NE(view->PaintPixelGraphic(), nullptr);
  EXPECT_EQ(view->PaintPixelGraphic()->Width(), 120);
  EXPECT_EQ(view->PaintPixelGraphic()->Height(), 90);
  view->removeEventFilter(&spy);
}

TEST(ImageViewPainting, ViewDestroyedWhileItsWorkerRunsOrItsResultIsPending) {
  {
    TTickGate gate(3);
    auto view = MakeView(100, 100, Gradient(300, 300));
    view->SetStretchMode(smPrecise);
    view->SetStretch(sAlways);
    view->viewport()->repaint();
    ASSERT_TRUE(gate.WaitReached());
    std::thread opener = gate.OpenLater(20);
    view.reset(); // waits for the worker
    opener.join();
    QApplication::processEvents();
  }
  {
    auto view = MakeView(100, 100, Gradient(30, 30));
    view->SetStretchMode(smPrecise);
    view->SetStretch(sAlways);
    view->viewport()->repaint();
    view->PaintThread().WaitFor();
    view.reset(); // the posted result is freed with the view's pending events
    QApplication::processEvents();
  }
}

TEST(ImageViewPainting, KeptOldCopyStaysUntilTheNewOneArrives) {
  auto view = MakeView(100, 100, Gradient(30, 30));
  view->SetStretchMode(smPrecise);
  view->SetStretch(sAlways);
  view->SetKeepOldPaintPixelGraphic(true);
  view->viewport()->repaint();
  RunUntil([&] { return view->PaintPixelGraphic() != nullptr; });
  const TPixelGraphic* old = view->PaintPixelGraphic();
  ASSERT_NE(old, nullptr);
  TTickGate gate(1);
  view->AdoptPixelGraphic(Gradient(40, 20));
  view->viewport()->repaint();
  ASSERT_TRUE(gate.WaitReached());
  EXPECT_EQ(view->PaintPixelGraphic(), old); // still shown, stretched into the new box
  const QImage img = Rendered(*view);
  EXPECT_EQ(img.pixel(0, 0), Rgb(old->PixelColors(0, 0)));
  gate.Open();
  RunUntil([&] { return view->PaintPixelGraphic() != old; });
  EXPECT_NE(view->PaintPixelGraphic(), old);
}

// With ReduceOnLoad the delivered copy replaces the image itself; a newer
// worker reading that image is stopped before it is freed.
TEST(ImageViewPainting, ReducedImageReplacesTheSourceOnlyAfterStoppingTheNewerWorker) {
  auto view = MakeView(100, 100, Gradient(300, 300));
  view->SetStretchMode(smPrecise);
  view->SetStretch(sAlways);
  view->SetReduceOnLoad(true);
  view->viewport()->repaint();
  view->PaintThread().WaitFor(); // the first copy is posted
  TTickGate gate(1);
  view->DisplayChanged();
  view->viewport()->repaint(); // a second worker starts on the same image
  ASSERT_TRUE(gate.WaitReached());
  std::thread opener = gate.OpenLater(20);
  QApplication::processEvents(); // the first copy arrives and becomes the image
  opener.join();
  ASSERT_FALSE(view->Empty());
  EXPECT_EQ(view->PixelGraphicNoWait()->Width(), 100);
  EXPECT_EQ(view->PaintPixelGraphic(), nullptr);
  QApplication::processEvents();
  EXPECT_EQ(view->PixelGraphic()->Width(), 100);
}

TEST(ImageViewPainting, HandlersDrawOverThePictureThroughTheirPainters) {
  auto view = MakeView(100, 100, Gradient(50, 50));
  view->SetCenter(true);
  EXPECT_EQ(view->Canvas(), nullptr);
  std::string order;
  view->OnPainting = [&](TObject*) { order += "painting "; };
  view->OnPaint = [&](TObject*) {
    order += "paint ";
    ASSERT_NE(view->Canvas(), nullptr);
    view->Canvas()->fillRect(0, 0, 2, 2, QColor(255, 0, 255)); // view client coordinates
  };
  view->PicBoxOnPaint = [&](TObject* sender, QPainter& canvas) {
    order += "picbox ";
    EXPECT_EQ(sender, static_cast<TObject*>(view->PicBox()));
    canvas.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
    canvas.fillRect(5, 5, 1, 1, QColor(255, 255, 255)); // picture-box coordinates
  };
  const QImage img = Rendered(*view);
  EXPECT_EQ(order, "painting paint picbox ");
  EXPECT_EQ(img.pixel(1, 1), qRgb(255, 0, 255));
  EXPECT_EQ(img.pixel(25 + 5, 25 + 5), qRgb(255 - 5, 255 - 5, 255 - 7));
}

// Handing the view its own image back is a copy made before the old image goes.
TEST(ImageViewPainting, SettingTheViewsOwnImageKeepsIt) {
  auto view = MakeView(100, 100, Gradient(30, 20));
  view->SetPixelGraphic(view->PixelGraphic());
  ASSERT_FALSE(view->Empty());
  EXPECT_EQ(view->PixelGraphic()->PixelColors(29, 19), RGBColor(29, 19, 7));
  EXPECT_EQ(view->PicBox()->size(), QSize(30, 20));
}
