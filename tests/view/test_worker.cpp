// The background workers of the views and dialogs: the common worker shape,
// results handed to the window thread with their generation, and what the
// receivers do with results of an earlier generation. These tests also run
// under ThreadSanitizer.
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include <QApplication>

#include "pgraphic/core/filters.h"
#include "pgraphic/formats/fileformat.h"
#include "pgraphic/view/filterdialogs.h"
#include "pgraphic/view/opensavedialog.h"
#include "view_test_util.h"

using viewtest::Gradient;
using viewtest::MakeView;

namespace {

// A body that counts its runs and works until it is told to stop.
class TSpinWorker final : public TPGWorker {
public:
  explicit TSpinWorker(bool inert = false) : FInert(inert) {}
  ~TSpinWorker() override { Stop(); }
  std::atomic<int> Runs{0};
  std::atomic<bool> Running{false};

protected:
  void Execute() override {
    ++Runs;
    Running = true;
    while (!Terminated()) std::this_thread::yield();
  }
  bool Inert() const override { return FInert; }

private:
  bool FInert;
};

// Collects the results of one event type that reach it.
template <class TEvent>
class TCatcher : public QObject {
public:
  std::vector<uint64_t> Generations;
  std::vector<decltype(TEvent::Result)> Results;
  bool event(QEvent* e) override {
    if (auto* r = TEvent::Cast(e)) {
      Generations.push_back(r->Generation);
      Results.push_back(std::move(r->Result));
      return true;
    }
    return QObject::event(e);
  }
};

bool RunUntil(const std::function<bool()>& done) {
  for (int i = 0; i < 1000 && !done(); ++i) {
    QApplication::processEvents();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return done();
}

} // namespace

// Started once, stopped by Terminate and joined; an inert worker never runs;
// destroying a running worker stops it first.
TEST(Worker, RunsOnceStopsAndJoins) {
  TSpinWorker worker;
  EXPECT_FALSE(worker.Started());
  worker.Resume();
  worker.Resume();
  ASSERT_TRUE(RunUntil([&] { return worker.Running.load(); }));
  EXPECT_FALSE(worker.Finished());
  worker.Stop();
  EXPECT_TRUE(worker.Finished());
  EXPECT_EQ(worker.Runs, 1);
  worker.Resume(); // not again
  worker.WaitFor();
  EXPECT_EQ(worker.Runs, 1);

  TSpinWorker inert(true);
  inert.Resume();
  inert.WaitFor();
  EXPECT_FALSE(inert.Started());
  EXPECT_EQ(inert.Runs, 0);

  auto running = std::make_unique<TSpinWorker>();
  running->Resume();
  ASSERT_TRUE(RunUntil([&] { return running->Running.load(); }));
  running.reset(); // returns only once the body has ended
}

// Results of the filter dialog's workers and the thumbnail loader reach the
// window thread with the generation of the worker that made them; a result
// whose receiver is gone is freed with the pending event.
TEST(Worker, ResultsCarryTheirGenerationAndAreFreedWithoutReceiver) {
  auto source = Gradient(300, 200);
  TPixelGraphic reduced;
  reduced.SetSize(60, 40, bc24Bit);
  TCatcher<TPGFilterPreviewEvent> form;
  {
    TCreateSrcPGThread worker(TPGPreviewSourceSettings{&form, source.get(), &reduced});
    worker.SetGeneration(7);
    worker.Resume();
    worker.WaitFor();
  }
  TCMYFilter filter;
  PGFillFilterCurves(filter, 0, 5, 0);
  {
    auto own = std::make_unique<TCMYFilter>();
    PGFillFilterCurves(*own, 0, 5, 0);
    TCreateDestPGThread worker(TPGPreviewSettings{&form, &reduced}, std::move(own));
    worker.SetGeneration(8);
    worker.Resume();
    worker.WaitFor();
  }
  QCoreApplication::sendPostedEvents(&form);
  ASSERT_EQ(form.Generations, (std::vector<uint64_t>{7, 8}));
  EXPECT_EQ(form.Results[0].Kind, 1);
  ASSERT_EQ(form.Results[1].Kind, 2);
  TPixelGraphic expected;
  expected.ApplyFilter(filter, reduced);
  EXPECT_EQ(form.Results[1].Target->Pixels(30, 20), expected.Pixels(30, 20));

  const std::string file = "/tmp/zwillo_worker_thumbnail.bmp";
  source->SaveToFile(file);
  TCatcher<TPGThumbnailEvent> panel;
  TPGThumbnailSettings settings;
  settings.ChildDialogWindow = &panel;
  settings.FileName = file;
  settings.MaxWidth = 30;
  settings.MaxHeight = 30;
  TCreateOpenSaveDialogPaintPGThread thumbnail(settings);
  thumbnail.SetGeneration(3);
  thumbnail.Resume();
  thumbnail.WaitFor();
  EXPECT_TRUE(thumbnail.Finished());
  QCoreApplication::sendPostedEvents(&panel);
  ASSERT_EQ(panel.Generations, std::vector<uint64_t>{3});
  EXPECT_EQ(panel.Results[0]->Width(), 30);
  EXPECT_EQ(panel.Results[0]->Height(), 20);

  // Posted to a receiver that is destroyed before delivery: freed with it
  // (the sanitizer builds report a leak otherwise).
  auto gone = std::make_unique<QObject>();
  TCreateOpenSaveDialogPaintPGThread lost([&] {
    TPGThumbnailSettings s = settings;
    s.ChildDialogWindow = gone.get();
    return s;
  }());
  lost.Resume();
  lost.WaitFor();
  gone.reset();
  QCoreApplication::processEvents();
  std::remove(file.c_str());
}

// A display copy finished for the picture the view held before is not shown
// for the picture it holds now; the copy of the new picture follows.
TEST(Worker, ViewDropsTheCopyOfAnEarlierPicture) {
  auto view = MakeView(100, 100, Gradient(30, 30));
  view->SetStretchMode(smPrecise);
  view->SetStretch(sAlways);
  view->viewport()->repaint();
  view->PaintThread().WaitFor(); // finished and posted, not yet delivered
  auto other = Gradient(30, 30);
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 30; ++x) other->SetPixels(x, y, RGBColor(0, 0, 200));
  view->AdoptPixelGraphic(std::move(other));
  QApplication::processEvents(); // the old copy arrives
  const TPixelGraphic* copy = view->PaintPixelGraphic();
  EXPECT_TRUE(copy == nullptr || copy->Pixels(50, 50) == RGBColor(0, 0, 200));
  view->viewport()->repaint();
  ASSERT_TRUE(RunUntil([&] { return view->PaintPixelGraphic() != nullptr; }));
  EXPECT_EQ(view->PaintPixelGraphic()->Pixels(50, 50), RGBColor(0, 0, 200));
}
